#include "TMainForm.h"

#include "app/Messages.h"
#include "app/TMainObject.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "ini/IniFile.h"
#include "ui/controls/TComboQuery.h"
#include "ui/editors/TNumMaskForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
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

// Calls grid: the sort term of each FieldRing and the column it belongs to.
struct CallSort
{
    const char* term;
    const char* column;
};
// The date term is the timestamp itself: chronological order, served by its index.
const CallSort CallSorts[] = {
    {"RingDate DESC_VAL", "RDATE"},
    {"RHour DESC_VAL,RMin DESC_VAL,RSec DESC_VAL", "RTIME"},
    {"FIO DESC_VAL", "FIO"},
    {"NumberOut DESC_VAL", "NUMBEROUT"},
    {"NumberTown DESC_VAL", "NUMBERTOWN"},
    {"RingLength DESC_VAL", "RLEN"},
};
// Sort-marked column names tested in this order; the last one found wins.
const std::pair<const char*, int> CallSortColumns[] = {
    {"RDATE", 0}, {"RTIME", 1}, {"FIO", 2}, {"NUMBEROUT", 3}, {"NUMBERTOWN", 4}, {"RLEN", 5},
};

QLabel* panel(QWidget* parent, const QString& name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(120);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

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
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    GridLines = new grid::DataGrid(TabSheet2);
    GridLines->setObjectName(QStringLiteral("GridLines"));
    (new QVBoxLayout(TabSheet2))->addWidget(GridLines);
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    Splitter = new QSplitter(Qt::Horizontal, TabSheet3);
    Splitter->setHandleWidth(3);
    twDepts = new QTreeWidget(Splitter);
    twDepts->setObjectName(QStringLiteral("twDepts"));
    twDepts->setHeaderHidden(true);
    twDepts->setMinimumWidth(50);
    GridUsers = new grid::DataGrid(Splitter);
    GridUsers->setObjectName(QStringLiteral("GridUsers"));
    GridUsers->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Splitter->addWidget(twDepts);
    Splitter->addWidget(GridUsers);
    Splitter->setStretchFactor(1, 1);
    connect(Splitter, &QSplitter::splitterMoved, this,
            [this] { m_treeWidth = Splitter->sizes().value(0, m_treeWidth); });
    (new QVBoxLayout(TabSheet3))->addWidget(Splitter);
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
    AProperty = action(QStringLiteral("AProperty"), s->standardIcon(QStyle::SP_FileDialogDetailedView),
                       QStringLiteral("Свойства"), QStringLiteral("Свойства"));
    AErase = action(QStringLiteral("AErase"), s->standardIcon(QStyle::SP_TrashIcon),
                    QStringLiteral("Удалить"), QStringLiteral("Удалить"));
    AExport = action(QStringLiteral("AExport"), s->standardIcon(QStyle::SP_DialogSaveButton),
                     QStringLiteral("Экспорт"), QStringLiteral("Экспорт таблицы"));
    ARefresh = action(QStringLiteral("ARefresh"), s->standardIcon(QStyle::SP_BrowserReload),
                      QStringLiteral("Обновить"), QStringLiteral("Обновить данные в сети"));
    connect(ARefresh, &QAction::triggered, this, &TMainForm::ARefreshExecute);

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
    // Statistics, reports and the about box come with their own windows.
    for (QAction* a : {N5, N22, N3})
        a->setEnabled(false);
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
    seNumberBeg->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,20}")), seNumberBeg));
    seNumberBeg->setMaximumWidth(140);
    seRingLen = new QSpinBox(filter);
    seRingLen->setObjectName(QStringLiteral("seRingLen"));
    seRingLen->setRange(0, 9999999);
    sbStart = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay),
                              QStringLiteral("Показать"), filter);
    sbStart->setObjectName(QStringLiteral("sbStart"));
    connect(sbStart, &QPushButton::clicked, this, &TMainForm::sbStartClick);

    g->addWidget(labelFor(QStringLiteral("Период с"), dOT, filter), 0, 0);
    g->addWidget(dOT, 0, 1);
    g->addWidget(labelFor(QStringLiteral("по"), dDo, filter), 0, 2);
    g->addWidget(dDo, 0, 3);
    g->addWidget(labelFor(QStringLiteral("Пользователи"), cqUsers, filter), 0, 4);
    g->addWidget(cqUsers, 0, 5);
    g->addWidget(cbIN, 0, 6);
    g->addWidget(labelFor(QStringLiteral("Номер абонента с цифры"), seNumberBeg, filter), 0, 7);
    g->addWidget(seNumberBeg, 0, 8);
    g->addWidget(labelFor(QStringLiteral("Линии"), cqLines, filter), 1, 4);
    g->addWidget(cqLines, 1, 5);
    g->addWidget(cbOUT, 1, 6);
    g->addWidget(labelFor(QStringLiteral("Длительность более"), seRingLen, filter), 1, 7);
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

    PanelTotalString = panel(tab, QStringLiteral("PanelTotalString"));
    PanelTotalTime = panel(tab, QStringLiteral("PanelTotalTime"));
    PanelTotalTime->setMinimumWidth(200);
    auto* totals = new QHBoxLayout;
    totals->addStretch();
    totals->addWidget(labelFor(QStringLiteral("Строк :"), PanelTotalString, tab));
    totals->addWidget(PanelTotalString);
    totals->addSpacing(16);
    totals->addWidget(labelFor(QStringLiteral("Общее время разговора :"), PanelTotalTime, tab));
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
    setGeometry(QRect(0, 0, m_workArea.right() + 1, m_workArea.bottom() + 1).intersected(m_workArea));
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
    try {
        cqUsers->Query().sql().clear();
        cqUsers->Query().sql().add(QStringLiteral(
            "SELECT NumberIN,FIO,upper(FIO COLLATE PXW_CYRL) as ForOrder FROM Users ORDER BY 3"));
        cqUsers->FillItems(0);
        cqLines->Query().sql().clear();
        cqLines->Query().sql().add(
            QStringLiteral("SELECT NumberLine,NumberTown,AddInfo,Etc FROM Lines ORDER BY NumberTown"));
        cqLines->FillItems(0);
        ApplyMaskToLineFilter();
    } catch (const db::DbError& e) {
        Messages::error(e.message(), this);
    }
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

void TMainForm::PageControlChange(int)
{
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

void TMainForm::ARefreshExecute()
{
    try {
        cqLines->FillItems(0);
        ApplyMaskToLineFilter();
        cqUsers->FillItems(0);
    } catch (const db::DbError& e) {
        Messages::error(e.message(), this);
    }
}

void TMainForm::sbStartClick()
{
    RunCallQuery();
}

QString TMainForm::CallSortTerm(int index)
{
    if (index < 0 || index >= int(std::size(CallSorts)))
        index = 0;
    return QString::fromLatin1(CallSorts[index].term);
}

void TMainForm::saveGridLayout(grid::DataGrid* grid, const QString& section)
{
    ini::IniFile f(m_dm->MainObject->GridLayoutFile());
    f.load();
    grid->saveLayout(f, section);
    if (!f.save())
        Messages::error(QStringLiteral("Не удалось записать файл настроек %1\n%2")
                            .arg(f.path(), f.errorText()),
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
    const QDateTime d1(dOT->date(), QTime(0, 0, 0, 0));
    const QDateTime d2(dDo->date(), QTime(23, 59, 59, 59));
    QCoreApplication::processEvents();
    if (hadResult)
        saveGridLayout(GridRings, GridRingsSection);
    qint64 sum = 0;
    if (!cbIN->isChecked() && !cbOUT->isChecked()) {
        cbIN->setChecked(true);
        cbOUT->setChecked(true);
    }
    // The rows of the last run stay until the new statement is accepted by the server.
    q.sql().clear();
    q.sql().add(QStringLiteral("SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,"
                               "TimeMin,TimeSec,NumberOut,L.NumberTown,U.FIO"));
    q.sql().add(QStringLiteral("FROM Rings R,Lines L,Users U"));
    q.sql().add(QStringLiteral("WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn"));
    if (cbIN->isChecked() && !cbOUT->isChecked())
        q.sql().add(QStringLiteral("AND NumberOut=0"));
    if (cbOUT->isChecked() && !cbIN->isChecked())
        q.sql().add(QStringLiteral("AND NumberOut>0"));
    // The field takes digits only, so nothing but digits reaches the statement.
    QString prefix = seNumberBeg->text().trimmed();
    prefix.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    if (!prefix.isEmpty())
        q.sql().add(QStringLiteral("AND NumberOut STARTING WITH '") + prefix + u'\'');
    q.sql().add(QStringLiteral("AND (R.RingDate between :d1 and :d2)"));
    if (const int user = cqUsers->GetKeyValue(); user > 0)
        q.sql().add(QStringLiteral("AND R.NumberIn=") + QString::number(user));
    if (const int line = cqLines->GetKeyValue(); line > 0)
        q.sql().add(QStringLiteral("AND R.RLine=") + QString::number(line));
    if (seRingLen->value() > 0)
        q.sql().add(QStringLiteral("AND R.RINGLENGTH>") + QString::number(seRingLen->value()));
    const int fieldRing = (s.FieldRing >= 0 && s.FieldRing < int(std::size(CallSorts))) ? s.FieldRing : 0;
    QString term = CallSortTerm(fieldRing);
    term.replace(QLatin1String("DESC_VAL"), s.DescRing == 1 ? QStringLiteral("DESC") : QString());
    q.sql().add(QStringLiteral("ORDER BY ") + term);

    GridRings->beginReload();
    try {
        q.paramByName(QStringLiteral("d1")).setDateTime(d1);
        q.paramByName(QStringLiteral("d2")).setDateTime(d2);
        q.open();
        const db::Field& length = q.field(QStringLiteral("RINGLENGTH"));
        for (q.first(); !q.eof(); q.next())
            sum += length.asInt64();
    } catch (const db::DbError& e) {
        GridRings->endReload();
        Messages::error(e.message(), this);
        if (q.isOpen()) {
            PanelTotalString->setText(oldRows);
            PanelTotalTime->setText(oldTime);
            GridRings->fitColumns();
            restoreGridLayout(GridRings, GridRingsSection);
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
    const QString marked = QString::fromLatin1(CallSorts[fieldRing].column);
    for (int c = 0; c < GridRings->columnCount(); ++c) {
        GridRings->setTitleButton(c, true);
        if (GridRings->columnField(c)->name().toUpper() == marked)
            SetColumnSortMarker(GridRings, c, s.DescRing);
    }
    sbStart->setEnabled(true);
    GridRings->show();
    UpdateActions();
}

void TMainForm::GridRingsSortMarkingChanged()
{
    TMainObject& s = *m_dm->MainObject;
    QString description;
    for (int c : GridRings->sortMarkedColumns()) {
        if (!description.isEmpty())
            description += u',';
        description += GridRings->columnField(c)->name();
        if (GridRings->sortMarker(c) == grid::SortMarker::Descending)
            description += QStringLiteral(" DESC");
    }
    description = description.toUpper();
    for (const auto& [name, index] : CallSortColumns)
        if (description.contains(QLatin1String(name)))
            s.FieldRing = index;
    s.DescRing = description.contains(QLatin1String("DESC")) ? 1 : 0;
    RunCallQuery();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (m_dm && m_dm->MainObject->Connected) {
        m_dm->MainObject->vstDeptWth = m_treeWidth;
        const std::pair<grid::DataGrid*, QString> grids[] = {
            {GridRings, GridRingsSection}, {GridLines, GridLinesSection}, {GridUsers, GridUsersSection}};
        for (const auto& [grid, section] : grids)
            if (grid->query() && grid->query()->isOpen())
                saveGridLayout(grid, section);
    }
    event->accept();
}
