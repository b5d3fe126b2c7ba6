#include "TMainForm.h"

#include "app/Messages.h"
#include "app/Pictures.h"
#include "app/TMainObject.h"
#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "data/TSimpleBox.h"
#include "db/DbError.h"
#include "ini/IniFile.h"
#include "stats/TReportForm.h"
#include "stats/TStat1Form.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/TAboutBox.h"
#include "ui/controls/TComboQuery.h"
#include "ui/editors/TDeptForm.h"
#include "ui/editors/TLineForm.h"
#include "ui/editors/TNumMaskForm.h"
#include "ui/editors/TUserForm.h"
#include "ui/main/TFileForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString GridRingsSection = QStringLiteral("GridRings");
const QString GridLinesSection = QStringLiteral("GridLines");
const QString GridUsersSection = QStringLiteral("GridUsers");

// The sort description of a grid's marked columns, upper-cased ("FIO DESC,...").
QString sortDescription(const grid::DataGrid& g)
{
    QString description;
    for (int c : g.sortMarkedColumns()) {
        if (!description.isEmpty())
            description += u',';
        description += g.columnField(c)->name();
        if (g.sortMarker(c) == grid::SortMarker::Descending)
            description += QStringLiteral(" DESC");
    }
    return description.toUpper();
}

const QString DeleteFailed = QStringLiteral("Ошибка . Попробуйте записать позже ...");

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Статистика звонков"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setBold(true);
    f.setPointSize(8);
    setFont(f);

    buildActionsAndMenus();

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    TabSheet1 = buildCallsTab();
    buildDirectoryTabs();
    PageControl->addTab(TabSheet1, QStringLiteral("Звонки"));
    PageControl->addTab(TabSheet2, QStringLiteral("Линии"));
    PageControl->addTab(TabSheet3, QStringLiteral("Пользователи"));
    setCentralWidget(PageControl);
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::PageControlChange);

    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(this);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    }
    StatusPanel[1]->setAlignment(Qt::AlignCenter);
    StatusPanel[2]->setAlignment(Qt::AlignCenter);
    StatusPanel[1]->setFixedWidth(100);
    StatusPanel[2]->setFixedWidth(150);
    statusBar()->addWidget(StatusPanel[0], 1);
    statusBar()->addPermanentWidget(StatusPanel[1]);
    statusBar()->addPermanentWidget(StatusPanel[2]);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &TMainForm::FormKeyDown);

    FormCreate();
}

void TMainForm::buildActionsAndMenus()
{
    QStyle* s = style();
    auto action = [this](const QString& name, const QIcon& icon, const QString& text,
                         const QString& hint) {
        auto* a = new QAction(icon, text, this);
        a->setObjectName(name);
        a->setToolTip(hint);
        a->setStatusTip(hint);
        return a;
    };
    ANew = action(QStringLiteral("ANew"), s->standardIcon(QStyle::SP_FileIcon),
                  QStringLiteral("Создать"), QStringLiteral("Создать"));
    AProperty =
        action(QStringLiteral("AProperty"), s->standardIcon(QStyle::SP_FileDialogDetailedView),
               QStringLiteral("Свойства"), QStringLiteral("Свойства"));
    AErase = action(QStringLiteral("AErase"), s->standardIcon(QStyle::SP_TrashIcon),
                    QStringLiteral("Удалить"), QStringLiteral("Удалить"));
    AExport = action(QStringLiteral("AExport"), s->standardIcon(QStyle::SP_DialogSaveButton),
                     QStringLiteral("Экспорт"), QStringLiteral("Экспорт таблицы"));
    ARefresh = action(QStringLiteral("ARefresh"), s->standardIcon(QStyle::SP_BrowserReload),
                      QStringLiteral("Обновить"), QStringLiteral("Обновить данные в сети"));
    connect(ARefresh, &QAction::triggered, this, &TMainForm::ARefreshExecute);
    connect(AExport, &QAction::triggered, this, &TMainForm::AExportExecute);
    connect(ANew, &QAction::triggered, this, &TMainForm::ANewExecute);
    connect(AProperty, &QAction::triggered, this, &TMainForm::APropertyExecute);
    connect(AErase, &QAction::triggered, this, &TMainForm::AEraseExecute);

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(20, 20));
    ToolBar1->addAction(ANew);
    ToolBar1->addAction(AProperty);
    ToolBar1->addAction(AErase);
    ToolBar1->addSeparator();
    ToolBar1->addAction(AExport);
    ToolBar1->addAction(ARefresh);
    ToolBar1->addSeparator();

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
    N23 = file->addAction(QStringLiteral("Маска номера"));
    N23->setObjectName(QStringLiteral("N23"));
    connect(N23, &QAction::triggered, this, &TMainForm::N23Click);
    file->addAction(AExport);
    file->addSeparator();
    AltF41 = file->addAction(QStringLiteral("Выход   Alt+F4"));
    AltF41->setObjectName(QStringLiteral("AltF41"));
    connect(AltF41, &QAction::triggered, this, &TMainForm::AltF41Click);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Правка"));
    edit->addAction(ANew);
    edit->addAction(AProperty);
    edit->addSeparator();
    edit->addAction(AErase);

    QMenu* stats = menuBar()->addMenu(QStringLiteral("&Статистика"));
    N5 = stats->addAction(QStringLiteral("Загрузка линий"));
    N5->setObjectName(QStringLiteral("N5"));
    N22 = stats->addAction(QStringLiteral("Отчеты"));
    N22->setObjectName(QStringLiteral("N22"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("С&правка"));
    N3 = help->addAction(QStringLiteral("О программе ..."));
    N3->setObjectName(QStringLiteral("N3"));
    N20 = help->addAction(QStringLiteral("Служебная информация"));
    N20->setObjectName(QStringLiteral("N20"));
    N20->setVisible(false);
    connect(N3, &QAction::triggered, this, &TMainForm::N3Click);
    connect(N20, &QAction::triggered, this, &TMainForm::N20Click);
    connect(N5, &QAction::triggered, this, &TMainForm::N5Click);
    connect(N22, &QAction::triggered, this, &TMainForm::N22Click);
}

QWidget* TMainForm::buildCallsTab()
{
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("TabSheet1"));
    auto* filter = new QWidget(tab);
    filter->setObjectName(QStringLiteral("PanelFilter"));
    auto* g = new QGridLayout(filter);
    g->setContentsMargins(4, 4, 4, 4);

    dOT = new QDateEdit(filter);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new QDateEdit(filter);
    dDo->setObjectName(QStringLiteral("dDo"));
    for (QDateEdit* d : {dOT, dDo}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    }
    cqUsers = new TComboQuery(filter);
    cqUsers->setObjectName(QStringLiteral("cqUsers"));
    cqLines = new TComboQuery(filter);
    cqLines->setObjectName(QStringLiteral("cqLines"));
    QFont hint(QStringLiteral("MS Sans Serif"));
    hint.setBold(true);
    hint.setPixelSize(11);
    for (TComboQuery* c : {cqUsers, cqLines}) {
        c->NeedFirstItem = true;
        c->FirstItem = QStringLiteral("ВСЕ");
        c->setHintFont(hint);
        c->setMinimumWidth(200);
    }
    cqUsers->KeyFieldName = QStringLiteral("NumberIN");
    cqUsers->ShowFieldName = QStringLiteral("FIO");
    cqLines->KeyFieldName = QStringLiteral("NumberLine");
    cqLines->ShowFieldName = QStringLiteral("NumberTown");
    cbIN = new QCheckBox(QStringLiteral("Входящие звонки"), filter);
    cbIN->setObjectName(QStringLiteral("cbIN"));
    cbIN->setChecked(true);
    cbOUT = new QCheckBox(QStringLiteral("Исходящие звонки"), filter);
    cbOUT->setObjectName(QStringLiteral("cbOUT"));
    cbOUT->setChecked(true);
    seNumberBeg = new QLineEdit(filter);
    seNumberBeg->setObjectName(QStringLiteral("seNumberBeg"));
    seNumberBeg->setMaxLength(20);
    // Only digits: the prefix goes into the statement text.
    seNumberBeg->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,20}")), seNumberBeg));
    seNumberBeg->setMaximumWidth(140);
    seRingLen = new QSpinBox(filter);
    seRingLen->setObjectName(QStringLiteral("seRingLen"));
    seRingLen->setRange(0, 9999999);
    sbStart = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay),
                              QStringLiteral("Показать"), filter);
    sbStart->setObjectName(QStringLiteral("sbStart"));
    connect(sbStart, &QPushButton::clicked, this, &TMainForm::sbStartClick);

    g->addWidget(ui::labelFor(QStringLiteral("Период с"), dOT, filter), 0, 0);
    g->addWidget(dOT, 0, 1);
    g->addWidget(ui::labelFor(QStringLiteral("по"), dDo, filter), 0, 2);
    g->addWidget(dDo, 0, 3);
    g->addWidget(ui::labelFor(QStringLiteral("Пользователи"), cqUsers, filter), 0, 4);
    g->addWidget(cqUsers, 0, 5);
    g->addWidget(cbIN, 0, 6);
    g->addWidget(ui::labelFor(QStringLiteral("Номер абонента с цифры"), seNumberBeg, filter), 0, 7);
    g->addWidget(seNumberBeg, 0, 8);
    g->addWidget(ui::labelFor(QStringLiteral("Линии"), cqLines, filter), 1, 4);
    g->addWidget(cqLines, 1, 5);
    g->addWidget(cbOUT, 1, 6);
    g->addWidget(ui::labelFor(QStringLiteral("Длительность более"), seRingLen, filter), 1, 7);
    auto* len = new QHBoxLayout;
    len->addWidget(seRingLen);
    len->addWidget(new QLabel(QStringLiteral("сек."), filter));
    g->addLayout(len, 1, 8);
    g->addWidget(sbStart, 0, 9, 2, 1);
    g->setColumnStretch(10, 1);

    GridRings = new grid::DataGrid(tab);
    GridRings->setObjectName(QStringLiteral("GridRings"));
    GridRings->setAutoSortMarking(true);
    GridRings->hide();
    connect(GridRings, &grid::DataGrid::sortMarkingChanged, this,
            &TMainForm::GridRingsSortMarkingChanged);
    // Incoming calls on silver while outgoing ones are shown too.
    GridRings->setRowBackgroundHook([this](const db::Query& q) -> std::optional<QColor> {
        if (!cbOUT->isChecked())
            return std::nullopt;
        const db::Field* out = q.findField(QStringLiteral("NUMBEROUT"));
        if (out && out->asDouble() == 0)
            return QColor(192, 192, 192);
        return std::nullopt;
    });
    connect(cbOUT, &QCheckBox::toggled, GridRings->viewport(), qOverload<>(&QWidget::update));

    PanelTotalString = ui::panel(tab, QStringLiteral("PanelTotalString"));
    PanelTotalTime = ui::panel(tab, QStringLiteral("PanelTotalTime"));
    PanelTotalTime->setMinimumWidth(200);
    auto* totals = new QHBoxLayout;
    totals->addStretch();
    totals->addWidget(ui::labelFor(QStringLiteral("Строк :"), PanelTotalString, tab));
    totals->addWidget(PanelTotalString);
    totals->addSpacing(16);
    totals->addWidget(ui::labelFor(QStringLiteral("Общее время разговора :"), PanelTotalTime, tab));
    totals->addWidget(PanelTotalTime);

    auto* v = new QVBoxLayout(tab);
    v->addWidget(filter);
    v->addWidget(GridRings, 1);
    v->addStretch(0);
    v->addLayout(totals);
    return tab;
}

void TMainForm::FormCreate()
{
    m_activated = false;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        m_workArea = screen->availableGeometry();
    setGeometry(
        QRect(0, 0, m_workArea.right() + 1, m_workArea.bottom() + 1).intersected(m_workArea));
    twDepts->setMaximumWidth((m_workArea.right() + 1) / 100 * 90);
    PageControl->setCurrentIndex(0);
}

void TMainForm::setDataModule(TDM& dm)
{
    m_dm = &dm;
    cqUsers->setConnection(dm.ibDatabase, dm.ibTranRO);
    cqLines->setConnection(dm.ibDatabase, dm.ibTranRO);
    GridRings->setQuery(&dm.ibQueryRings);
    GridLines->setQuery(&dm.ibQueryLines);
    GridUsers->setQuery(&dm.ibQueryUsers);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, &TMainForm::FormActivate);
    }
}

void TMainForm::FormActivate()
{
    if (!m_dm || !m_dm->MainObject->Connected) {
        close();
        return;
    }
    TMainObject& s = *m_dm->MainObject;
    m_treeWidth = std::clamp(s.vstDeptWth, twDepts->minimumWidth(), twDepts->maximumWidth());
    Splitter->setSizes({m_treeWidth, std::max(100, width() - m_treeWidth)});
    ShowConnectionInStatusBar();
    dOT->setDate(QDate::currentDate());
    dDo->setDate(QDate::currentDate());
    seNumberBeg->clear();
    ui::guarded(this, [&] {
        stmt::userChoices().applyTo(cqUsers->Query());
        cqUsers->FillItems(0);
        stmt::lineChoices().applyTo(cqLines->Query());
        cqLines->FillItems(0);
        ApplyMaskToLineFilter();
    });
    UpdateActions();
}

void TMainForm::ShowConnectionInStatusBar()
{
    StatusPanel[0]->setText(m_dm->MainObject->DatabasePath);
    StatusPanel[1]->setText(m_dm->MainObject->User);
    StatusPanel[2]->clear();
}

void TMainForm::ApplyMaskToLineFilter()
{
    for (int i = 1; i < cqLines->count(); ++i)
        cqLines->setItemText(i, m_dm->MainObject->FormatPhoneNumber(cqLines->itemText(i)));
    cqLines->setCurrentIndex(cqLines->count() > 0 ? 0 : -1);
}

void TMainForm::UpdateActions()
{
    const bool calls = PageControl->currentIndex() == 0;
    for (QAction* a : {ANew, AProperty, AErase})
        a->setEnabled(!calls);
    // On the calls tab there is something to export once the first query has shown the grid.
    AExport->setEnabled(!calls || !GridRings->isHidden());
}

void TMainForm::PageControlChange(int index)
{
    if (!m_dm || !m_dm->MainObject->Connected)
        return;
    ui::guarded(this, [&] {
        if (index == 1 && !m_dm->ibQueryLines.isOpen())
            LoadLines();
        if (index == 2 && !m_treeSized) {
            // The splitter can place the tree's width only once it has a width of its own.
            m_treeSized = true;
            QTimer::singleShot(0, this, [this] {
                Splitter->setSizes({m_treeWidth, std::max(100, Splitter->width() - m_treeWidth)});
            });
        }
        if (index == 2 && !m_dm->ibQueryUsers.isOpen())
            BuildDeptTree();
    });
    UpdateActions();
}

void TMainForm::FormKeyDown()
{
    if (Messages::confirm(QStringLiteral("Завершить работу ?"), this))
        close();
}

void TMainForm::AltF41Click()
{
    close();
}

void TMainForm::N23Click()
{
    TNumMaskForm form(*m_dm->MainObject, this);
    form.exec();
}

void TMainForm::AExportExecute()
{
    grid::DataGrid* const grids[] = {GridRings, GridLines, GridUsers};
    TFileForm form(m_dm->MainObject->ProgramDir, this);
    form.ExportGrid = grids[std::clamp(PageControl->currentIndex(), 0, 2)];
    form.exec();
}

void TMainForm::N5Click()
{
    TStat1Form form(*m_dm, dOT->date(), dDo->date(), *cqLines, *cqUsers, this);
    form.exec();
}

void TMainForm::N22Click()
{
    TReportForm form(*m_dm, this);
    form.dOT->setDate(dOT->date());
    form.dDo->setDate(dDo->date());
    form.exec();
}

void TMainForm::N3Click()
{
    TAboutBox box(this);
    box.exec();
}

QString TMainForm::ServiceInformation() const
{
    auto state = [](bool active) {
        return active ? QStringLiteral("Активна") : QStringLiteral("НЕ активна");
    };
    return QStringLiteral("Транзакция\t\t") + state(m_dm->ibTran.active()) + u'\n' +
           QStringLiteral("Транзакция RO\t") + state(m_dm->ibTranRO.active());
}

void TMainForm::N20Click()
{
    Messages::plain(ServiceInformation(), this);
}

void TMainForm::ARefreshExecute()
{
    ui::guarded(this, [&] {
        cqLines->FillItems(0);
        ApplyMaskToLineFilter();
        cqUsers->FillItems(0);
        LoadLines();
        BuildDeptTree();
    });
}

void TMainForm::sbStartClick()
{
    RunCallQuery();
}

QString TMainForm::CallSortTerm(int index)
{
    return stmt::CallFilter::sortTerm(index);
}

void TMainForm::saveGridLayout(grid::DataGrid* grid, const QString& section)
{
    ini::IniFile f(m_dm->MainObject->GridLayoutFile());
    f.load();
    grid->saveLayout(f, section);
    if (!f.save())
        Messages::error(QStringLiteral("Не удалось записать файл настроек %1\n%2")
                            .arg(f.path(), f.errorString()),
                        this);
}

void TMainForm::restoreGridLayout(grid::DataGrid* grid, const QString& section)
{
    ini::IniFile f(m_dm->MainObject->GridLayoutFile());
    f.load();
    grid->restoreLayout(f, section);
}

void TMainForm::SetColumnSortMarker(grid::DataGrid* grid, int column, int descending)
{
    grid->setColumnSortMarker(column, descending == 1 ? grid::SortMarker::Descending
                                                      : grid::SortMarker::Ascending);
}

void TMainForm::RunCallQuery()
{
    TMainObject& s = *m_dm->MainObject;
    db::Query& q = m_dm->ibQueryRings;
    sbStart->setEnabled(false);
    focusNextChild();
    const bool hadResult = q.isOpen();
    const QString oldRows = PanelTotalString->text();
    const QString oldTime = PanelTotalTime->text();
    GridRings->hide();
    PanelTotalTime->clear();
    PanelTotalString->clear();
    QCoreApplication::processEvents();
    if (hadResult)
        saveGridLayout(GridRings, GridRingsSection);
    qint64 sum = 0;
    if (!cbIN->isChecked() && !cbOUT->isChecked()) {
        cbIN->setChecked(true);
        cbOUT->setChecked(true);
    }
    stmt::CallFilter filter;
    filter.from = dOT->date();
    filter.to = dDo->date();
    filter.incoming = cbIN->isChecked();
    filter.outgoing = cbOUT->isChecked();
    filter.numberPrefix = seNumberBeg->text();
    filter.user = cqUsers->GetKeyValue();
    filter.line = cqLines->GetKeyValue();
    filter.longerThan = seRingLen->value();
    const int fieldRing =
        (s.FieldRing >= 0 && s.FieldRing < stmt::CallFilter::sortFieldCount()) ? s.FieldRing : 0;
    filter.sortField = fieldRing;
    filter.descending = s.DescRing == 1;

    GridRings->beginReload();
    const bool ran = ui::guarded(this, [&] {
        // The rows of the last run stay until the new statement is accepted by the server.
        filter.statement().applyTo(q);
        q.open();
        const db::Field& length = q.field(QStringLiteral("RINGLENGTH"));
        for (q.first(); !q.eof(); q.next())
            sum += length.asInt64();
    });
    if (!ran) {
        GridRings->endReload();
        if (q.isOpen()) {
            // The kept rows are those of the last run, in its order: its marker shows again
            // and its titles sort again.
            PanelTotalString->setText(oldRows);
            PanelTotalTime->setText(oldTime);
            GridRings->fitColumns();
            restoreGridLayout(GridRings, GridRingsSection);
            s.FieldRing = m_shownSort.first;
            s.DescRing = m_shownSort.second;
            MarkCallSortColumn(s.FieldRing);
            GridRings->show();
        }
        sbStart->setEnabled(true);
        UpdateActions();
        return;
    }
    GridRings->endReload();
    PanelTotalTime->setText(DurationText(sum));
    PanelTotalString->setText(QString::number(q.recordCount()));
    if (q.isOpen()) {
        GridRings->fitColumns();
        restoreGridLayout(GridRings, GridRingsSection);
    }
    MarkCallSortColumn(fieldRing);
    m_shownSort = {fieldRing, s.DescRing};
    sbStart->setEnabled(true);
    GridRings->show();
    UpdateActions();
}

void TMainForm::MarkCallSortColumn(int fieldRing)
{
    const QString marked = stmt::CallFilter::sortColumn(fieldRing);
    for (int c = 0; c < GridRings->columnCount(); ++c) {
        GridRings->setTitleButton(c, true);
        if (GridRings->columnField(c)->name().toUpper() == marked)
            SetColumnSortMarker(GridRings, c, m_dm->MainObject->DescRing);
    }
}

void TMainForm::GridRingsSortMarkingChanged()
{
    TMainObject& s = *m_dm->MainObject;
    const QString description = sortDescription(*GridRings);
    s.FieldRing = stmt::CallFilter::sortFieldOf(description, s.FieldRing);
    s.DescRing = description.contains(QLatin1String("DESC")) ? 1 : 0;
    RunCallQuery();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (m_dm && m_dm->MainObject->Connected) {
        m_dm->MainObject->vstDeptWth = m_treeWidth;
        const std::pair<grid::DataGrid*, QString> grids[] = {{GridRings, GridRingsSection},
                                                             {GridLines, GridLinesSection},
                                                             {GridUsers, GridUsersSection}};
        for (const auto& [grid, section] : grids)
            if (grid->query() && grid->query()->isOpen())
                saveGridLayout(grid, section);
    }
    event->accept();
}

// ---- the directories ------------------------------------------------------------------

void TMainForm::buildDirectoryTabs()
{
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addAction(ANew);
    PopupMenu->addAction(AProperty);
    PopupMenu->addSeparator();
    PopupMenu->addAction(AErase);

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    GridLines = new grid::DataGrid(TabSheet2);
    GridLines->setObjectName(QStringLiteral("GridLines"));
    GridLines->setAutoSortMarking(true);
    GridLines->setContextMenuPolicy(Qt::CustomContextMenu);
    (new QVBoxLayout(TabSheet2))->addWidget(GridLines);
    connect(GridLines, &grid::DataGrid::sortMarkingChanged, this,
            &TMainForm::GridLinesSortMarkingChanged);
    connect(GridLines, &QAbstractItemView::doubleClicked, this, [this] { APropertyExecute(); });

    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    Splitter = new QSplitter(Qt::Horizontal, TabSheet3);
    Splitter->setHandleWidth(3);
    Splitter->setChildrenCollapsible(false);
    twDepts = new QTreeWidget(Splitter);
    twDepts->setObjectName(QStringLiteral("twDepts"));
    twDepts->setHeaderHidden(true);
    twDepts->setMinimumWidth(50);
    twDepts->setRootIsDecorated(false);
    twDepts->setLineWidth(3);
    twDepts->setAcceptDrops(true);
    twDepts->viewport()->setAcceptDrops(true);
    twDepts->setDropIndicatorShown(true);
    twDepts->setContextMenuPolicy(Qt::CustomContextMenu);
    twDepts->viewport()->installEventFilter(this);
    GridUsers = new grid::DataGrid(Splitter);
    GridUsers->setObjectName(QStringLiteral("GridUsers"));
    GridUsers->setSelectionMode(QAbstractItemView::ExtendedSelection);
    GridUsers->setDragEnabled(true);
    GridUsers->setDragDropMode(QAbstractItemView::DragOnly);
    GridUsers->setContextMenuPolicy(Qt::CustomContextMenu);
    Splitter->addWidget(twDepts);
    Splitter->addWidget(GridUsers);
    Splitter->setStretchFactor(1, 1);
    connect(Splitter, &QSplitter::splitterMoved, this,
            [this] { m_treeWidth = Splitter->sizes().value(0, m_treeWidth); });
    (new QVBoxLayout(TabSheet3))->addWidget(Splitter);
    connect(GridUsers, &QAbstractItemView::doubleClicked, this, [this] { APropertyExecute(); });
    connect(twDepts, &QTreeWidget::currentItemChanged, this, [this] { twDeptsChange(); });
    connect(twDepts, &QTreeWidget::itemCollapsed, this, &TMainForm::twDeptsCollapsing);
    for (grid::DataGrid* g : {GridLines, GridUsers})
        connect(g, &QWidget::customContextMenuRequested, this, [this, g](const QPoint& pos) {
            PopupMenu->popup(g->viewport()->mapToGlobal(pos));
        });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N17 =
        PopupMenu1->addAction(ANew->icon(), QStringLiteral("Создать"), this, &TMainForm::N17Click);
    N18 = PopupMenu1->addAction(AProperty->icon(), QStringLiteral("Свойства"), this,
                                &TMainForm::N18Click);
    PopupMenu1->addSeparator();
    N19 = PopupMenu1->addAction(AErase->icon(), QStringLiteral("Удалить"), this,
                                &TMainForm::N19Click);
    connect(twDepts, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(twDepts->viewport()->mapToGlobal(pos));
    });

    // The mail column: a picture for users who get their reports by mail, 16 pixels wide.
    const QPixmap mail = Pictures::mail();
    GridUsers->setCellPaintHook([this, mail](QPainter* p, const QRect& r, const db::Field& f) {
        if (f.name() != QLatin1String("MAILICON"))
            return;
        const db::Field* send = m_dm->ibQueryUsers.findField(QStringLiteral("SENDMAIL"));
        if (send && send->asInteger() == 1)
            p->drawPixmap(r.topLeft(), mail);
    });
    connect(GridUsers->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this] { GridUsersColWidthsChanged(); });
}

QString TMainForm::LineSortTerm(int index)
{
    return stmt::LineList::sortTerm(index);
}

void TMainForm::openDirectoryQuery(grid::DataGrid* grid, db::Query& q, const QString& section)
{
    try {
        q.open();
    } catch (...) {
        grid->endReload();
        throw;
    }
    finishDirectoryLoad(grid, section);
}

void TMainForm::finishDirectoryLoad(grid::DataGrid* grid, const QString& section)
{
    ApplyFieldLabels(*grid->query());
    grid->endReload();
    grid->fitColumns();
    restoreGridLayout(grid, section);
}

void TMainForm::LoadLines()
{
    TMainObject& s = *m_dm->MainObject;
    db::Query& q = m_dm->ibQueryLines;
    const ui::WaitCursor busy;
    if (q.isOpen())
        saveGridLayout(GridLines, GridLinesSection);
    GridLines->beginReload();
    q.close();
    stmt::LineList{s.FieldLine, s.DescLine == 1}.statement().applyTo(q);
    openDirectoryQuery(GridLines, q, GridLinesSection);
    const QString marked = stmt::LineList::sortColumn(s.FieldLine);
    for (int c = 0; c < GridLines->columnCount(); ++c) {
        GridLines->setTitleButton(c, true);
        if (GridLines->columnField(c)->name() == marked)
            SetColumnSortMarker(GridLines, c, s.DescLine);
    }
}

void TMainForm::ReloadLines(int numberLine)
{
    db::Query& q = m_dm->ibQueryLines;
    saveGridLayout(GridLines, GridLinesSection);
    // The markers survive the reload: the statement and its order are the same.
    std::vector<std::pair<int, grid::SortMarker>> markers;
    for (int c : GridLines->sortMarkedColumns())
        markers.emplace_back(c, GridLines->sortMarker(c));
    GridLines->beginReload();
    q.close();
    openDirectoryQuery(GridLines, q, GridLinesSection);
    for (int c = 0; c < GridLines->columnCount(); ++c)
        GridLines->setTitleButton(c, true);
    for (const auto& [c, m] : markers)
        GridLines->setColumnSortMarker(c, m);
    cqLines->FillItems(0);
    ApplyMaskToLineFilter();
    if (numberLine > 0 && q.locate(QStringLiteral("NumberLine"), numberLine))
        GridLines->selectRow(int(q.recNo()));
}

void TMainForm::GridLinesSortMarkingChanged()
{
    TMainObject& s = *m_dm->MainObject;
    const QString description = sortDescription(*GridLines);
    s.FieldLine = stmt::LineList::sortFieldOf(description, s.FieldLine);
    s.DescLine = description.contains(QLatin1String("DESC")) ? 1 : 0;
    ui::guarded(this, [this] { LoadLines(); });
}

void TMainForm::BuildDeptTree()
{
    QSignalBlocker block(twDepts); // no user loads while the tree is rebuilt
    twDepts->clear();
    auto* root = new QTreeWidgetItem(twDepts, QStringList{QStringLiteral("Отделы")});
    root->setData(0, Qt::UserRole, 0);
    root->setIcon(0, QIcon(Pictures::treeRoot()));
    AddDeptChildren(nullptr, root);
    root->setExpanded(true);
    block.unblock();
    // The first department, or the root when there is none; either loads its users.
    QTreeWidgetItem* first = root->childCount() > 0 ? root->child(0) : root;
    twDepts->setCurrentItem(first);
    if (twDepts->currentItem() == first && !m_dm->ibQueryUsers.isOpen())
        twDeptsChange();
}

void TMainForm::AddDeptChildren(QTreeWidgetItem* parentNode, QTreeWidgetItem* under)
{
    db::Query& q = m_dm->ibQueryDepts;
    q.close();
    stmt::deptChildren(parentNode ? parentNode->data(0, Qt::UserRole).toInt() : 0).applyTo(q);
    q.open();
    QIcon icon(Pictures::department(false));
    icon.addPixmap(Pictures::department(true), QIcon::Selected);
    twDepts->setUpdatesEnabled(false);
    const db::Field& name = q.field(QStringLiteral("DeptName"));
    const db::Field& key = q.field(QStringLiteral("KeyID"));
    for (q.first(); !q.eof(); q.next()) {
        auto* node = new QTreeWidgetItem(under, QStringList{name.asString()});
        node->setData(0, Qt::UserRole, key.asInteger());
        node->setIcon(0, icon);
    }
    twDepts->setUpdatesEnabled(true);
}

int TMainForm::SelectedDeptKey() const
{
    const QTreeWidgetItem* node = twDepts->currentItem();
    return node ? node->data(0, Qt::UserRole).toInt() : 0;
}

void TMainForm::twDeptsChange()
{
    const QTreeWidgetItem* node = twDepts->currentItem();
    if (!node)
        return; // a moment with no node while the tree is rebuilt
    ui::guarded(this, [&] { LoadUsersOfDept(node->data(0, Qt::UserRole).toInt()); });
}

void TMainForm::twDeptsCollapsing(QTreeWidgetItem* item)
{
    // With the root selected nothing folds away.
    if (twDepts->currentItem() && twDepts->indexOfTopLevelItem(twDepts->currentItem()) == 0)
        item->setExpanded(true);
}

void TMainForm::LoadUsersOfDept(int deptKey)
{
    if (deptKey < 0)
        return;
    db::Query& q = m_dm->ibQueryUsers;
    const ui::WaitCursor busy;
    if (q.isOpen())
        saveGridLayout(GridUsers, GridUsersSection);
    GridUsers->beginReload();
    q.close();
    stmt::usersOfDept(deptKey).applyTo(q);
    openDirectoryQuery(GridUsers, q, GridUsersSection);
    GridUsersColWidthsChanged();
}

void TMainForm::ReloadUsers(int numberIn)
{
    db::Query& q = m_dm->ibQueryUsers;
    saveGridLayout(GridUsers, GridUsersSection);
    GridUsers->beginReload();
    q.close();
    openDirectoryQuery(GridUsers, q, GridUsersSection);
    GridUsersColWidthsChanged();
    cqUsers->FillItems(0);
    if (numberIn > 0 && q.locate(QStringLiteral("NumberIN"), numberIn))
        GridUsers->selectRow(int(q.recNo()));
}

void TMainForm::GridUsersColWidthsChanged()
{
    int column = GridUsers->findColumnByField(QStringLiteral("MAILICON"));
    if (column < 0)
        column = 0;
    if (column < GridUsers->columnCount() && GridUsers->columnWidth(column) != 16)
        GridUsers->setColumnWidth(column, 16);
}

void TMainForm::EditDirectoryItem(int mode, int kind)
{
    if (!m_dm || !m_dm->MainObject->Connected)
        return;
    ui::guarded(this, [&] {
        if (kind == LineKind) {
            TLineForm form(*m_dm, this);
            form.EditMode = quint8(mode);
            form.SourceData = &m_dm->ibQueryLines;
            if (form.exec() == 1)
                ReloadLines(form.SavedNumberLine);
        } else if (kind == UserKind) {
            TUserForm form(*m_dm, this);
            form.EditMode = quint8(mode);
            form.SourceData = &m_dm->ibQueryUsers;
            form.TreeDeptKey = SelectedDeptKey();
            if (form.exec() == 1)
                ReloadUsers(form.SavedNumberIn);
        } else {
            TDeptForm form(*m_dm, this);
            form.EditMode = quint8(mode);
            form.DeptKey = SelectedDeptKey();
            form.ParentKey = SelectedDeptKey();
            if (form.exec() == 1)
                BuildDeptTree();
        }
    });
}

namespace {
// The current row's key of a directory query as text; empty when it has no rows.
QString currentKey(const db::Query& q, const QString& field)
{
    if (!q.isOpen() || q.recordCount() == 0)
        return {};
    return q.field(field).asString();
}
} // namespace

void TMainForm::ANewExecute()
{
    if (PageControl->currentIndex() == 1)
        EditDirectoryItem(0, LineKind);
    else if (PageControl->currentIndex() == 2)
        EditDirectoryItem(0, UserKind);
}

void TMainForm::APropertyExecute()
{
    // The grid's current row is the row to edit.
    if (PageControl->currentIndex() == 1) {
        if (GridLines->currentIndex().isValid())
            m_dm->ibQueryLines.setRecNo(GridLines->currentIndex().row());
        if (!currentKey(m_dm->ibQueryLines, QStringLiteral("NumberLine")).isEmpty())
            EditDirectoryItem(1, LineKind);
    } else if (PageControl->currentIndex() == 2) {
        if (twDepts->hasFocus()) {
            EditDirectoryItem(1, DeptKind);
            return;
        }
        if (GridUsers->currentIndex().isValid())
            m_dm->ibQueryUsers.setRecNo(GridUsers->currentIndex().row());
        if (!currentKey(m_dm->ibQueryUsers, QStringLiteral("NumberIN")).isEmpty())
            EditDirectoryItem(1, UserKind);
    }
}

void TMainForm::AEraseExecute()
{
    if (PageControl->currentIndex() == 1)
        deleteRow(LineKind);
    else if (PageControl->currentIndex() == 2)
        deleteRow(UserKind);
}

void TMainForm::deleteRow(int kind)
{
    grid::DataGrid* grid = kind == LineKind ? GridLines : GridUsers;
    db::Query& q = kind == LineKind ? m_dm->ibQueryLines : m_dm->ibQueryUsers;
    if (grid->currentIndex().isValid())
        q.setRecNo(grid->currentIndex().row());
    const QString keyField =
        kind == LineKind ? QStringLiteral("NumberLine") : QStringLiteral("NumberIN");
    const QString key = currentKey(q, keyField);
    if (key.isEmpty())
        return;
    if (!Messages::confirm(QStringLiteral("Удалить ?"), this))
        return;
    ui::guarded(this, [&] {
        db::Query& tmp = m_dm->StartTmp();
        const int number = q.field(keyField).asInteger();
        (kind == LineKind ? stmt::deleteLine(number) : stmt::deleteUser(number)).applyTo(tmp);
        if (!m_dm->ExecuteTmp())
            Messages::error(DeleteFailed, this);
        m_dm->CommitWrite();
        if (kind == LineKind)
            ReloadLines(0);
        else
            ReloadUsers(0);
    });
}

void TMainForm::N17Click()
{
    EditDirectoryItem(0, DeptKind);
}

void TMainForm::N18Click()
{
    if (SelectedDeptKey() > 0)
        EditDirectoryItem(1, DeptKind);
}

void TMainForm::N19Click()
{
    QTreeWidgetItem* node = twDepts->currentItem();
    if (!node || node->data(0, Qt::UserRole).toInt() <= 0)
        return;
    if (!Messages::confirm(QStringLiteral("Удалить <") + node->text(0) + QStringLiteral(">?"),
                           this))
        return;
    ui::guarded(this, [&] {
        db::Query& tmp = m_dm->StartTmp();
        stmt::deleteDept(node->data(0, Qt::UserRole).toInt()).applyTo(tmp);
        if (!m_dm->ExecuteTmp())
            Messages::error(DeleteFailed, this);
        else
            delete node; // the selection moves on and loads that node's users
        m_dm->CommitWrite();
    });
}

void TMainForm::twDeptsDragDrop(QTreeWidgetItem* target, QObject* source)
{
    if (!target || source != GridUsers)
        return;
    db::Query& users = m_dm->ibQueryUsers;
    const int dept = target->data(0, Qt::UserRole).toInt();
    QModelIndexList rows = GridUsers->selectionModel()->selectedRows();
    try {
        db::Query& tmp = m_dm->StartTmp();
        stmt::moveUser(0, dept).applyTo(tmp);
        tmp.prepare();
        bool failed = false;
        for (const QModelIndex& row : rows) {
            users.setRecNo(row.row());
            const int number = users.field(QStringLiteral("NumberIN")).asInteger();
            if (number <= 0)
                continue;
            stmt::moveUser(number, dept).applyTo(tmp);
            if (!m_dm->ExecuteTmp()) {
                failed = true;
                break;
            }
        }
        if (failed) {
            // All of the drop or none of it.
            m_dm->ibTran.rollbackQuietly();
            Messages::error(DeleteFailed, this);
        } else {
            m_dm->CommitWrite();
        }
        ReloadUsers(0);
    } catch (...) {
        m_dm->ibTran.rollbackQuietly();
        ui::showFailure(this, std::current_exception());
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == twDepts->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDropEvent*>(event);
            // Only users from the users grid can be dropped on a department.
            if (e->source() == GridUsers && twDepts->itemAt(e->position().toPoint())) {
                e->acceptProposedAction();
            } else if (e->source() == GridUsers && event->type() == QEvent::DragEnter) {
                e->acceptProposedAction();
            } else {
                e->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            twDeptsDragDrop(twDepts->itemAt(e->position().toPoint()), e->source());
            e->acceptProposedAction();
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
