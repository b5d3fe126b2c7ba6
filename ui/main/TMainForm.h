// The main window: the call log, the directories of lines and users, and every command.
#pragma once

#include "grid/DataGrid.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TComboQuery;
class TDM;

/// Created hidden before the data module exists; bound to it with setDataModule(). At its
/// first activation it closes itself when the login did not open the database.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    void setDataModule(TDM& dm);

    // Handlers and operations.
    void FormActivate();
    void FormKeyDown();
    void PageControlChange(int index);
    void sbStartClick();
    void GridRingsSortMarkingChanged();
    void UpdateActions();
    void ApplyMaskToLineFilter();
    void ShowConnectionInStatusBar();
    void RunCallQuery();
    void SetColumnSortMarker(grid::DataGrid* grid, int column, int descending);
    /// Title buttons on every column of the call grid, the marker on the sorted one.
    void MarkCallSortColumn(int fieldRing);
    void ARefreshExecute();
    void N23Click();
    void AExportExecute();
    void N3Click();
    void N5Click();
    void N22Click();
    void N20Click();
    /// The text of the service information.
    QString ServiceInformation() const;
    void AltF41Click();

    // The directories.
    void LoadLines();
    void ReloadLines(int numberLine);
    void BuildDeptTree();
    void AddDeptChildren(QTreeWidgetItem* parentNode, QTreeWidgetItem* under);
    void LoadUsersOfDept(int deptKey);
    void ReloadUsers(int numberIn);
    void EditDirectoryItem(int mode, int kind);
    void ANewExecute();
    void APropertyExecute();
    void AEraseExecute();
    void GridLinesSortMarkingChanged();
    void twDeptsChange();
    void twDeptsCollapsing(QTreeWidgetItem* item);
    /// Moves the selected users of the users grid to the department of `target`.
    void twDeptsDragDrop(QTreeWidgetItem* target, QObject* source);
    void N17Click();
    void N18Click();
    void N19Click();
    void GridUsersColWidthsChanged();
    /// The key of the selected department node (0 for the root or no selection).
    int SelectedDeptKey() const;

    /// The ORDER BY terms of the lines grid, indexed by FieldLine.
    static QString LineSortTerm(int index);

    enum Kind
    {
        LineKind = 0,
        UserKind = 1,
        DeptKind = 2
    };

    /// The ORDER BY terms of the calls grid, indexed by FieldRing.
    static QString CallSortTerm(int index);

    QToolBar* ToolBar1 = nullptr;
    QAction* ANew = nullptr;
    QAction* AProperty = nullptr;
    QAction* AErase = nullptr;
    QAction* AExport = nullptr;
    QAction* ARefresh = nullptr;
    QAction* N23 = nullptr; // "Маска номера"
    QAction* AltF41 = nullptr;
    QAction* N5 = nullptr;  // "Загрузка линий"
    QAction* N22 = nullptr; // "Отчеты"
    QAction* N3 = nullptr;  // "О программе ..."
    QAction* N20 = nullptr; // "Служебная информация"

    QTabWidget* PageControl = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;

    QDateEdit* dOT = nullptr;
    QDateEdit* dDo = nullptr;
    TComboQuery* cqUsers = nullptr;
    TComboQuery* cqLines = nullptr;
    QCheckBox* cbIN = nullptr;
    QCheckBox* cbOUT = nullptr;
    QLineEdit* seNumberBeg = nullptr;
    QSpinBox* seRingLen = nullptr;
    QPushButton* sbStart = nullptr;
    grid::DataGrid* GridRings = nullptr;
    QLabel* PanelTotalString = nullptr;
    QLabel* PanelTotalTime = nullptr;

    grid::DataGrid* GridLines = nullptr;
    QTreeWidget* twDepts = nullptr;
    QSplitter* Splitter = nullptr;
    grid::DataGrid* GridUsers = nullptr;

    QLabel* StatusPanel[3] = {};
    QMenu* PopupMenu = nullptr;  // the grids of lines and users
    QMenu* PopupMenu1 = nullptr; // the department tree
    QAction* N17 = nullptr;      // tree "Создать"
    QAction* N18 = nullptr;      // tree "Свойства"
    QAction* N19 = nullptr;      // tree "Удалить"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    QWidget* buildCallsTab();
    void buildActionsAndMenus();
    void buildDirectoryTabs();
    void openDirectoryQuery(grid::DataGrid* grid, db::Query& q, const QString& section);
    void finishDirectoryLoad(grid::DataGrid* grid, const QString& section);
    void deleteRow(int kind);
    void saveGridLayout(grid::DataGrid* grid, const QString& section);
    void restoreGridLayout(grid::DataGrid* grid, const QString& section);

    TDM* m_dm = nullptr;
    bool m_activated = false;
    std::pair<int, int> m_shownSort{0, 0}; // FieldRing and DescRing of the rows on show
    QRect m_workArea;
    bool m_treeSized = false;
    int m_treeWidth = 160; // kept apart: the tree has no width of its own until its tab shows
};
