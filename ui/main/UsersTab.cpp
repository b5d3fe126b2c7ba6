#include "UsersTab.h"

#include "app/Messages.h"
#include "app/Pictures.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "grid/DataGrid.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/editors/TDeptForm.h"
#include "ui/editors/TUserForm.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QPainter>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const QString GridUsersSection = QStringLiteral("GridUsers");
}

UsersTab::UsersTab(QWidget* parent) : MainTab(parent)
{
    setObjectName(QStringLiteral("TabSheet3"));
    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setHandleWidth(3);
    Splitter->setChildrenCollapsible(false);
    twDepts = new QTreeWidget(Splitter);
    twDepts->setObjectName(QStringLiteral("twDepts"));
    twDepts->setHeaderHidden(true);
    // A long department name shows whole: the tree scrolls sideways, and the name is the
    // node's tooltip too.
    twDepts->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    twDepts->header()->setStretchLastSection(false);
    twDepts->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
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
    (new QVBoxLayout(this))->addWidget(Splitter);
    connect(GridUsers, &QAbstractItemView::doubleClicked, this, &UsersTab::editRequested);
    connect(twDepts, &QTreeWidget::currentItemChanged, this, [this] { twDeptsChange(); });
    connect(twDepts, &QTreeWidget::itemCollapsed, this, &UsersTab::twDeptsCollapsing);
    connect(GridUsers, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        emit menuRequested(GridUsers->viewport()->mapToGlobal(pos));
    });
    connect(twDepts, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        emit treeMenuRequested(twDepts->viewport()->mapToGlobal(pos));
    });
    connect(GridUsers->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this] { GridUsersColWidthsChanged(); });
}

void UsersTab::init(TDM& dm)
{
    MainTab::init(dm);
    GridUsers->setQuery(&dm.ibQueryUsers);
    // The mail column: a picture for users who get their reports by mail, 16 pixels wide.
    const QPixmap mail = Pictures::mail();
    GridUsers->setCellPaintHook([this, mail](QPainter* p, const QRect& r, const db::Field& f) {
        if (f.name() != QLatin1String("MAILICON"))
            return;
        const db::Field* send = m_dm->ibQueryUsers.findField(QStringLiteral("SENDMAIL"));
        if (send && send->asInteger() == 1)
            p->drawPixmap(r.topLeft(), mail);
    });
}

void UsersTab::saveLayouts()
{
    if (m_dm->ibQueryUsers.isOpen())
        saveGridLayout(GridUsers, GridUsersSection);
}

void UsersTab::setTreeWidth(int width)
{
    m_treeWidth = std::clamp(width, twDepts->minimumWidth(), twDepts->maximumWidth());
    Splitter->setSizes({m_treeWidth, std::max(100, window()->width() - m_treeWidth)});
}

void UsersTab::tabShown()
{
    if (!m_treeSized) {
        // The splitter can place the tree's width only once it has a width of its own.
        m_treeSized = true;
        QTimer::singleShot(0, this, [this] {
            Splitter->setSizes({m_treeWidth, std::max(100, Splitter->width() - m_treeWidth)});
        });
    }
    if (!m_dm->ibQueryUsers.isOpen())
        BuildDeptTree();
}

void UsersTab::BuildDeptTree(int selectKey)
{
    m_dm->EnsureUsable();
    QSignalBlocker block(twDepts); // no user loads while the tree is rebuilt
    twDepts->clear();
    auto* root = new QTreeWidgetItem(twDepts, QStringList{QStringLiteral("Отделы")});
    root->setData(0, Qt::UserRole, 0);
    root->setIcon(0, QIcon(Pictures::treeRoot()));
    AddDeptChildren(nullptr, root);
    root->setExpanded(true);
    block.unblock();
    // The department asked for (one just made or renamed), else the first, or the root when
    // there is none; either loads its users.
    QTreeWidgetItem* first = root->childCount() > 0 ? root->child(0) : root;
    for (int i = 0; selectKey > 0 && i < root->childCount(); ++i)
        if (root->child(i)->data(0, Qt::UserRole).toInt() == selectKey)
            first = root->child(i);
    twDepts->setCurrentItem(first);
    if (twDepts->currentItem() == first && !m_dm->ibQueryUsers.isOpen())
        twDeptsChange();
}

void UsersTab::AddDeptChildren(QTreeWidgetItem* parentNode, QTreeWidgetItem* under)
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
        node->setToolTip(0, node->text(0));
        node->setIcon(0, icon);
    }
    twDepts->setUpdatesEnabled(true);
}

int UsersTab::SelectedDeptKey() const
{
    const QTreeWidgetItem* node = twDepts->currentItem();
    return node ? node->data(0, Qt::UserRole).toInt() : 0;
}

void UsersTab::twDeptsChange()
{
    const QTreeWidgetItem* node = twDepts->currentItem();
    if (!node)
        return; // a moment with no node while the tree is rebuilt
    ui::guarded(this, [&] { LoadUsersOfDept(node->data(0, Qt::UserRole).toInt()); });
}

void UsersTab::twDeptsCollapsing(QTreeWidgetItem* item)
{
    // With the root selected nothing folds away.
    if (twDepts->currentItem() && twDepts->indexOfTopLevelItem(twDepts->currentItem()) == 0)
        item->setExpanded(true);
}

void UsersTab::LoadUsersOfDept(int deptKey)
{
    if (deptKey < 0)
        return;
    db::Query& q = m_dm->ibQueryUsers;
    const ui::WaitCursor busy;
    m_dm->EnsureUsable();
    if (q.isOpen())
        saveGridLayout(GridUsers, GridUsersSection);
    GridUsers->beginReload();
    q.close();
    stmt::usersOfDept(deptKey).applyTo(q);
    openDirectoryQuery(GridUsers, q, GridUsersSection);
    GridUsersColWidthsChanged();
}

void UsersTab::ReloadUsers(int numberIn)
{
    db::Query& q = m_dm->ibQueryUsers;
    saveGridLayout(GridUsers, GridUsersSection);
    GridUsers->beginReload();
    q.close();
    openDirectoryQuery(GridUsers, q, GridUsersSection);
    GridUsersColWidthsChanged();
    emit usersChanged();
    if (numberIn > 0 && q.locate(QStringLiteral("NumberIN"), numberIn))
        GridUsers->selectRow(int(q.recNo()));
}

void UsersTab::GridUsersColWidthsChanged()
{
    int column = GridUsers->findColumnByField(QStringLiteral("MAILICON"));
    if (column < 0)
        column = 0;
    if (column < GridUsers->columnCount() && GridUsers->columnWidth(column) != 16)
        GridUsers->setColumnWidth(column, 16);
}

bool UsersTab::selectCurrent()
{
    return selectCurrentRow(GridUsers, QStringLiteral("NumberIN"));
}

void UsersTab::deleteCurrent()
{
    if (!selectCurrent())
        return;
    const int number = m_dm->ibQueryUsers.field(QStringLiteral("NumberIN")).asInteger();
    deleteRow(stmt::deleteUser(number), [this] { ReloadUsers(0); });
}

void UsersTab::deleteSelectedDept()
{
    QTreeWidgetItem* node = twDepts->currentItem();
    if (!node || node->data(0, Qt::UserRole).toInt() <= 0)
        return;
    if (!Messages::confirm(QStringLiteral("Удалить <") + node->text(0) + QStringLiteral(">?"),
                           this))
        return;
    ui::guarded(this, [&] {
        switch (m_dm->Write({stmt::deleteDept(node->data(0, Qt::UserRole).toInt())},
                            TDM::Refusal::Commit)) {
        case TDM::WriteResult::Written:
            delete node; // the selection moves on and loads that node's users
            break;
        case TDM::WriteResult::Refused:
            Messages::error(DeleteFailedText(), this);
            break;
        case TDM::WriteResult::NotCommitted:
            break; // reported; the department is still there
        }
    });
}

void UsersTab::twDeptsDragDrop(QTreeWidgetItem* target, QObject* source)
{
    if (!target || source != GridUsers)
        return;
    db::Query& users = m_dm->ibQueryUsers;
    const int dept = target->data(0, Qt::UserRole).toInt();
    const QModelIndexList rows = GridUsers->selectionModel()->selectedRows();
    ui::guarded(this, [&] {
        std::vector<stmt::Statement> moves;
        for (const QModelIndex& row : rows) {
            users.setRecNo(row.row());
            const int number = users.field(QStringLiteral("NumberIN")).asInteger();
            if (number > 0)
                moves.push_back(stmt::moveUser(number, dept));
        }
        // All of the drop or none of it.
        if (m_dm->Write(moves, TDM::Refusal::RollBack) == TDM::WriteResult::Refused)
            Messages::error(DeleteFailedText(), this);
        ReloadUsers(0);
    });
}

bool UsersTab::eventFilter(QObject* watched, QEvent* event)
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
    return MainTab::eventFilter(watched, event);
}

void UsersTab::editUser(int mode)
{
    TUserForm form(*m_dm, window());
    form.EditMode = quint8(mode);
    form.SourceData = &m_dm->ibQueryUsers;
    form.TreeDeptKey = SelectedDeptKey();
    if (form.exec() == 1)
        ReloadUsers(form.SavedNumberIn);
}

void UsersTab::editDept(int mode)
{
    TDeptForm form(*m_dm, window());
    form.EditMode = quint8(mode);
    form.DeptKey = SelectedDeptKey();
    form.ParentKey = SelectedDeptKey();
    if (form.exec() == 1)
        BuildDeptTree(form.DeptKey);
}
