#include "TMainForm.h"

#include "CallsTab.h"
#include "LinesTab.h"
#include "UsersTab.h"
#include "app/Messages.h"
#include "data/TDM.h"
#include "grid/DataGrid.h"
#include "settings/TMainObject.h"
#include "ui/common/Guarded.h"
#include "ui/common/TFileForm.h"
#include "ui/common/Widgets.h"
#include "ui/controls/TAboutBox.h"
#include "ui/editors/TMailSetForm.h"
#include "ui/editors/TNumMaskForm.h"
#include "ui/editors/TTariffForm.h"
#include "ui/stats/TBillForm.h"
#include "ui/stats/TLineLoadForm.h"
#include "ui/stats/TMailForm.h"
#include "ui/stats/TReportForm.h"
#include "ui/stats/TStat1Form.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Статистика звонков"));
    setFont(ui::windowFont());

    buildActionsAndMenus();
    buildTabs();
    buildPopupMenus();

    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(this);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    }
    // A long database path does not widen the window: it is cut, and whole in the tooltip.
    StatusPanel[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusPanel[1]->setAlignment(Qt::AlignCenter);
    StatusPanel[2]->setAlignment(Qt::AlignCenter);
    StatusPanel[1]->setFixedWidth(100);
    StatusPanel[2]->setFixedWidth(150);
    statusBar()->addWidget(StatusPanel[0], 1);
    // Its own place: a message of the status bar itself would hide panel 0, the database.
    StatusNote = new QLabel(this);
    StatusNote->setObjectName(QStringLiteral("StatusNote"));
    StatusNote->hide();
    statusBar()->addWidget(StatusNote);
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
    ToolBar1->addActions({ANew, AProperty, AErase});
    ToolBar1->addSeparator();
    ToolBar1->addActions({AExport, ARefresh});
    ToolBar1->addSeparator();

    // A menu item of its own, named and bound to its handler.
    auto item = [this](QMenu* menu, const char* name, const QString& text,
                       void (TMainForm::*handler)()) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
    N23 = item(file, "N23", QStringLiteral("Маска номера"), &TMainForm::N23Click);
    AMailSettings = item(file, "AMailSettings", QStringLiteral("Настройки почты"),
                         &TMainForm::AMailSettingsClick);
    file->addAction(AExport);
    file->addSeparator();
    AltF41 = item(file, "AltF41", QStringLiteral("Выход   Alt+F4"), &TMainForm::AltF41Click);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Правка"));
    edit->addActions({ANew, AProperty});
    edit->addSeparator();
    edit->addAction(AErase);

    QMenu* stats = menuBar()->addMenu(QStringLiteral("&Статистика"));
    N5 = item(stats, "N5", QStringLiteral("Загрузка линий"), &TMainForm::N5Click);
    ALineLoad =
        item(stats, "ALineLoad", QStringLiteral("Нагрузка на линии"), &TMainForm::ALineLoadClick);
    ABillCheck = item(stats, "ABillCheck", QStringLiteral("Сверка со счётом оператора"),
                      &TMainForm::ABillCheckClick);
    N22 = item(stats, "N22", QStringLiteral("Отчеты"), &TMainForm::N22Click);
    AMailReports = item(stats, "AMailReports", QStringLiteral("Рассылка отчетов"),
                        &TMainForm::AMailReportsClick);
    stats->addSeparator();
    item(stats, "ATariffs", QStringLiteral("Тарифы"), &TMainForm::ATariffsClick);

    QMenu* help = menuBar()->addMenu(QStringLiteral("С&правка"));
    N3 = item(help, "N3", QStringLiteral("О программе ..."), &TMainForm::N3Click);
    N20 = item(help, "N20", QStringLiteral("Служебная информация"), &TMainForm::N20Click);
    N20->setVisible(false);
}

void TMainForm::buildTabs()
{
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    TabSheet1 = new CallsTab;
    TabSheet2 = new LinesTab;
    TabSheet3 = new UsersTab;
    PageControl->addTab(TabSheet1, QStringLiteral("Звонки"));
    PageControl->addTab(TabSheet2, QStringLiteral("Линии"));
    PageControl->addTab(TabSheet3, QStringLiteral("Пользователи"));
    setCentralWidget(PageControl);
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::PageControlChange);

    connect(TabSheet1, &CallsTab::resultChanged, this, &TMainForm::UpdateActions);
    connect(TabSheet1, &CallsTab::statusMessage, this, [this](const QString& text) {
        StatusNote->setText(text);
        StatusNote->setVisible(!text.isEmpty());
    });
    connect(TabSheet2, &LinesTab::editRequested, this, &TMainForm::APropertyExecute);
    connect(TabSheet3, &UsersTab::editRequested, this, &TMainForm::APropertyExecute);
    // A changed directory fills the call filter's drop-down list again.
    connect(TabSheet2, &LinesTab::linesChanged, TabSheet1, &CallsTab::refillLines);
    connect(TabSheet3, &UsersTab::usersChanged, TabSheet1, &CallsTab::refillUsers);
}

void TMainForm::buildPopupMenus()
{
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addAction(ANew);
    PopupMenu->addAction(AProperty);
    PopupMenu->addSeparator();
    PopupMenu->addAction(AErase);
    auto popup = [this](const QPoint& at) { PopupMenu->popup(at); };
    connect(TabSheet2, &LinesTab::menuRequested, this, popup);
    connect(TabSheet3, &UsersTab::menuRequested, this, popup);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N17 =
        PopupMenu1->addAction(ANew->icon(), QStringLiteral("Создать"), this, &TMainForm::N17Click);
    N18 = PopupMenu1->addAction(AProperty->icon(), QStringLiteral("Свойства"), this,
                                &TMainForm::N18Click);
    PopupMenu1->addSeparator();
    N19 = PopupMenu1->addAction(AErase->icon(), QStringLiteral("Удалить"), this,
                                &TMainForm::N19Click);
    connect(TabSheet3, &UsersTab::treeMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(at); });
}

void TMainForm::FormCreate()
{
    m_activated = false;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        m_workArea = screen->availableGeometry();
    setGeometry(
        QRect(0, 0, m_workArea.right() + 1, m_workArea.bottom() + 1).intersected(m_workArea));
    // The whole work area as the window manager gives it, title bar included: the geometry
    // alone is the window's inside and would push the frame's title above the screen.
    setWindowState(windowState() | Qt::WindowMaximized);
    TabSheet3->twDepts->setMaximumWidth((m_workArea.right() + 1) / 100 * 90);
    PageControl->setCurrentIndex(0);
}

void TMainForm::setDataModule(TDM& dm)
{
    m_dm = &dm;
    TabSheet1->init(dm);
    TabSheet2->init(dm);
    TabSheet3->init(dm);
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
    TabSheet3->setTreeWidth(m_dm->MainObject->vstDeptWth);
    ShowConnectionInStatusBar();
    TabSheet1->activate();
    UpdateActions();
}

void TMainForm::ShowConnectionInStatusBar()
{
    StatusPanel[0]->setText(m_dm->MainObject->DatabasePath);
    StatusPanel[0]->setToolTip(m_dm->MainObject->DatabasePath);
    StatusPanel[1]->setText(m_dm->MainObject->User);
    StatusPanel[2]->clear();
}

void TMainForm::UpdateActions()
{
    const bool calls = PageControl->currentIndex() == 0;
    for (QAction* a : {ANew, AProperty, AErase})
        a->setEnabled(!calls);
    // On the calls tab there is something to export once the first query has shown the grid
    // and its last row has arrived.
    AExport->setEnabled(!calls || TabSheet1->hasResult());
    // The statistics and the reports wait until the call list has its rows.
    const bool idle = !TabSheet1->loading();
    N5->setEnabled(idle);
    N22->setEnabled(idle);
}

void TMainForm::PageControlChange(int index)
{
    if (!m_dm || !m_dm->MainObject->Connected)
        return;
    ui::guarded(this, [&] {
        if (index == 1 && !m_dm->ibQueryLines.isOpen())
            TabSheet2->LoadLines();
        if (index == 2)
            TabSheet3->tabShown();
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
    grid::DataGrid* const grids[] = {TabSheet1->GridRings, TabSheet2->GridLines,
                                     TabSheet3->GridUsers};
    TFileForm form(m_dm->MainObject->ProgramDir, this);
    form.ExportGrid = grids[std::clamp(PageControl->currentIndex(), 0, 2)];
    if (form.exec() == 1)
        m_dm->MainObject->LastExportDir = form.directory();
}

void TMainForm::N5Click()
{
    TStat1Form form(*m_dm, TabSheet1->dOT->date(), TabSheet1->dDo->date(), *TabSheet1->cqLines,
                    *TabSheet1->cqUsers, this);
    form.exec();
}

void TMainForm::ALineLoadClick()
{
    TLineLoadForm form(*m_dm, TabSheet1->dOT->date(), TabSheet1->dDo->date(), *TabSheet1->cqLines,
                       this);
    form.exec();
}

void TMainForm::ABillCheckClick()
{
    TBillForm form(*m_dm, this);
    form.exec();
}

void TMainForm::N22Click()
{
    TReportForm form(*m_dm, this);
    form.dOT->setDate(TabSheet1->dOT->date());
    form.dDo->setDate(TabSheet1->dDo->date());
    form.exec();
}

void TMainForm::ATariffsClick()
{
    TTariffForm form(*m_dm, this);
    form.exec();
}

void TMainForm::AMailReportsClick()
{
    TMailForm form(*m_dm, this);
    form.dOT->setDate(TabSheet1->dOT->date());
    form.dDo->setDate(TabSheet1->dDo->date());
    form.exec();
}

void TMainForm::AMailSettingsClick()
{
    TMailSetForm form(*m_dm->MainObject, this);
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
    return QStringLiteral("Транзакция\t\t") + state(m_dm->WriteActive()) + u'\n' +
           QStringLiteral("Транзакция RO\t") + state(m_dm->ibTranRO.active());
}

void TMainForm::N20Click()
{
    Messages::plain(ServiceInformation(), this);
}

void TMainForm::ARefreshExecute()
{
    ui::guarded(this, [&] {
        m_dm->EnsureUsable();
        TabSheet1->refillLines();
        TabSheet1->refillUsers();
        TabSheet2->LoadLines();
        TabSheet3->BuildDeptTree();
    });
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    TabSheet1->StopLoad();
    if (m_dm && m_dm->MainObject->Connected) {
        m_dm->MainObject->vstDeptWth = TabSheet3->treeWidth();
        TabSheet1->saveLayouts();
        TabSheet2->saveLayouts();
        TabSheet3->saveLayouts();
    }
    event->accept();
}

// ---- the directories' commands ----------------------------------------------------------

void TMainForm::EditDirectoryItem(int mode, int kind)
{
    if (!m_dm || !m_dm->MainObject->Connected)
        return;
    ui::guarded(this, [&] {
        if (kind == LineKind)
            TabSheet2->editLine(mode);
        else if (kind == UserKind)
            TabSheet3->editUser(mode);
        else
            TabSheet3->editDept(mode);
    });
}

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
        if (TabSheet2->selectCurrent())
            EditDirectoryItem(1, LineKind);
    } else if (PageControl->currentIndex() == 2) {
        if (TabSheet3->twDepts->hasFocus())
            EditDirectoryItem(1, DeptKind);
        else if (TabSheet3->selectCurrent())
            EditDirectoryItem(1, UserKind);
    }
}

void TMainForm::AEraseExecute()
{
    if (PageControl->currentIndex() == 1)
        TabSheet2->deleteCurrent();
    else if (PageControl->currentIndex() == 2)
        TabSheet3->deleteCurrent();
}

void TMainForm::N17Click()
{
    EditDirectoryItem(0, DeptKind);
}

void TMainForm::N18Click()
{
    if (TabSheet3->SelectedDeptKey() > 0)
        EditDirectoryItem(1, DeptKind);
}

void TMainForm::N19Click()
{
    TabSheet3->deleteSelectedDept();
}

void TMainForm::twDeptsDragDrop(QTreeWidgetItem* target, QObject* source)
{
    TabSheet3->twDeptsDragDrop(target, source);
}
