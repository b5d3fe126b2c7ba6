// The users tab of the main window: the department tree beside the users of the chosen one.
#pragma once

#include "MainTab.h"

class QPoint;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

/// Users dragged from the grid onto a department move there, all of them or none.
class UsersTab : public MainTab
{
    Q_OBJECT
public:
    explicit UsersTab(QWidget* parent = nullptr);

    void init(TDM& dm) override;
    void saveLayouts() override;

    /// The tree's width as stored, within what the tree allows; placed when the tab shows.
    void setTreeWidth(int width);
    int treeWidth() const { return m_treeWidth; }
    /// The tab is shown: the first time the splitter places the tree's width, and the
    /// department tree is built when the users are not loaded yet.
    void tabShown();

    void BuildDeptTree(int selectKey = 0);
    void AddDeptChildren(QTreeWidgetItem* parentNode, QTreeWidgetItem* under);
    void LoadUsersOfDept(int deptKey);
    void ReloadUsers(int numberIn);
    void twDeptsChange();
    void twDeptsCollapsing(QTreeWidgetItem* item);
    /// Moves the selected users of the users grid to the department of `target`.
    void twDeptsDragDrop(QTreeWidgetItem* target, QObject* source);
    void GridUsersColWidthsChanged();
    /// The key of the selected department node (0 for the root or no selection).
    int SelectedDeptKey() const;
    /// Makes the grid's current row the query's; false when there is no user to act on.
    bool selectCurrent();
    /// Open the editors of a user and of a department: new (mode 0) or the selected one
    /// (mode 1); a saved change shows at once. Errors reach the caller.
    void editUser(int mode);
    void editDept(int mode);
    /// Deletes the current user after the operator's consent.
    void deleteCurrent();
    /// Deletes the selected department after the operator's consent.
    void deleteSelectedDept();

    QTreeWidget* twDepts = nullptr;
    QSplitter* Splitter = nullptr;
    grid::DataGrid* GridUsers = nullptr;

signals:
    void editRequested();
    void menuRequested(const QPoint& globalPos);
    void treeMenuRequested(const QPoint& globalPos);
    /// The directory changed: the drop-down list of users must be filled again.
    void usersChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_treeSized = false;
    int m_treeWidth = 160; // kept apart: the tree has no width of its own until its tab shows
};
