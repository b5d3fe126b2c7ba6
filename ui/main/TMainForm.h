// The main window: the actions, menus and status bar over the tabs of calls, lines and users.
#pragma once

#include "grid/DataGrid.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;
class QTreeWidgetItem;
class CallsTab;
class LinesTab;
class TDM;
class UsersTab;

/// Created hidden before the data module exists; bound to it with setDataModule(). At its
/// first activation it closes itself when the login did not open the database. The tabs do
/// their own database work; the window dispatches the commands to them and to the editors.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    void setDataModule(TDM& dm);

    // Handlers.
    void FormActivate();
    void FormKeyDown();
    void PageControlChange(int index);
    void UpdateActions();
    void ShowConnectionInStatusBar();
    void ARefreshExecute();
    void N23Click();
    void AExportExecute();
    void N3Click();
    void N5Click();
    void ALineLoadClick();
    void ABillCheckClick();
    void N22Click();
    /// "Тарифы": the tariff plans and the lines' plans.
    void ATariffsClick();
    void AMailReportsClick();
    void AMailSettingsClick();
    void N20Click();
    /// The text of the service information.
    QString ServiceInformation() const;
    void AltF41Click();
    void EditDirectoryItem(int mode, int kind);
    void ANewExecute();
    void APropertyExecute();
    void AEraseExecute();
    void N17Click();
    void N18Click();
    void N19Click();
    /// Moves the selected users of the users grid to the department of `target`.
    void twDeptsDragDrop(QTreeWidgetItem* target, QObject* source);

    enum Kind
    {
        LineKind = 0,
        UserKind = 1,
        DeptKind = 2
    };

    QToolBar* ToolBar1 = nullptr;
    QAction* ANew = nullptr;
    QAction* AProperty = nullptr;
    QAction* AErase = nullptr;
    QAction* AExport = nullptr;
    QAction* ARefresh = nullptr;
    QAction* N23 = nullptr; // "Маска номера"
    QAction* AltF41 = nullptr;
    QAction* N5 = nullptr;            // "Загрузка линий"
    QAction* ALineLoad = nullptr;     // "Нагрузка на линии"
    QAction* ABillCheck = nullptr;    // "Сверка со счётом оператора"
    QAction* N22 = nullptr;           // "Отчеты"
    QAction* AMailReports = nullptr;  // "Рассылка отчетов"
    QAction* AMailSettings = nullptr; // "Настройки почты"
    QAction* N3 = nullptr;            // "О программе ..."
    QAction* N20 = nullptr;           // "Служебная информация"

    QTabWidget* PageControl = nullptr;
    CallsTab* TabSheet1 = nullptr;
    LinesTab* TabSheet2 = nullptr;
    UsersTab* TabSheet3 = nullptr;

    QLabel* StatusPanel[3] = {};
    /// A note about the call list on show ("Загрузка остановлена …"), beside panel 0; hidden
    /// when there is none.
    QLabel* StatusNote = nullptr;
    QMenu* PopupMenu = nullptr;  // the grids of lines and users
    QMenu* PopupMenu1 = nullptr; // the department tree
    QAction* N17 = nullptr;      // tree "Создать"
    QAction* N18 = nullptr;      // tree "Свойства"
    QAction* N19 = nullptr;      // tree "Удалить"

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void buildActionsAndMenus();
    void buildTabs();
    void buildPopupMenus();

    TDM* m_dm = nullptr;
    bool m_activated = false;
    QRect m_workArea;
};
