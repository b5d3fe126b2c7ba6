// The lines and users tabs of the main window: loads, sorting, deletes, the department tree
// and moving users by dropping them on it.
#include "support/Modal.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "data/TDM.h"
#include "support/MainWindowSession.h"
#include "support/WindowSuite.h"
#include "ui/controls/TComboQuery.h"
#include "ui/editors/TDeptForm.h"
#include "ui/editors/TUserForm.h"
#include "ui/main/TMainForm.h"

#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

// The main window with helpers for the directory tabs.
struct Session : test::MainWindowSession
{
    using MainWindowSession::MainWindowSession;
    QVariant value(const QString& select)
    {
        dm.IBSQL.close();
        dm.IBSQL.sql().clear();
        dm.IBSQL.sql().add(select);
        dm.IBSQL.execQuery();
        return dm.IBSQL.eof() ? QVariant() : dm.IBSQL.fields().front()->value();
    }
    QStringList column(grid::DataGrid* g, const QString& field)
    {
        QStringList out;
        const int c = g->findColumnByField(field);
        for (int r = 0; r < g->model()->rowCount(); ++r)
            out << g->model()->index(r, c).data().toString();
        return out;
    }
    void clickTitle(grid::DataGrid* g, const QString& field)
    {
        QHeaderView* h = g->horizontalHeader();
        const int c = g->findColumnByField(field);
        QTest::mouseClick(
            h->viewport(), Qt::LeftButton, {},
            QPoint(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() / 2));
    }
    QTreeWidgetItem* node(const QString& text)
    {
        const auto found = tabs.twDepts->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    void selectUsers(const QList<int>& rows)
    {
        tabs.GridUsers->clearSelection();
        for (int r : rows)
            tabs.GridUsers->selectionModel()->select(tabs.GridUsers->model()->index(r, 0),
                                                     QItemSelectionModel::Select |
                                                         QItemSelectionModel::Rows);
    }
};

void fillDirectories(test::TestDatabase& t)
{
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150003, 'Б', 'в')"),
            QStringLiteral("INSERT INTO Lines VALUES (2, 2150001, 'В', 'а')"),
            QStringLiteral("INSERT INTO Lines VALUES (3, 2150002, 'А', 'б')"),
            QStringLiteral("INSERT INTO Depts VALUES (10, 'Склад', 0)"),
            QStringLiteral("INSERT INTO Depts VALUES (20, 'Бухгалтерия', 0)"),
            QStringLiteral("INSERT INTO Users VALUES (101, 'Яшин', 'y@x', 1, 10)"),
            QStringLiteral("INSERT INTO Users VALUES (102, 'Аверин', 'a@x', 0, 10)"),
            QStringLiteral("INSERT INTO Users VALUES (103, 'Борисова', 'b@x', 0, 20)"),
            QStringLiteral("INSERT INTO Users VALUES (104, 'Волков', 'v@x', 0, 0)")});
}

} // namespace

/// The test database `t` with the directories of fillDirectories.
#define TEST_DIRECTORIES(t)                                                                        \
    test::TestDatabase t;                                                                          \
    TEST_CREATE_DATABASE(t);                                                                       \
    fillDirectories(t)

/// The main window `s` over `t`, opened at the tab `tab` (1 the lines, 2 the users).
#define TEST_WINDOW_AT_TAB(s, t, tab)                                                              \
    Session s(t);                                                                                  \
    QVERIFY(s.ok);                                                                                 \
    s.form.PageControl->setCurrentIndex(tab)

class TestDirectories : public test::WindowSuite
{
    Q_OBJECT
private slots:
    void linesLoadOnceAndSortByEachColumn();
    void deleteLines();
    void treeShowsDepartmentsAndTheirUsers();
    void emptyTree();
    void dropUsersOnTheTree();
    void failedMoveMovesNobody();
    void deleteDepartmentKeepsItsUsers();
    void newUserThroughTheEditor();
    void refusedFilterListIsToldWhereItFails();
    void mailColumnStaysNarrow();
    void longNamesOnANarrowScreen();
};

void TestDirectories::linesLoadOnceAndSortByEachColumn()
{
    TEST_DIRECTORIES(t);
    {
        TEST_WINDOW_AT_TAB(s, t, 1);
        QCOMPARE(s.dm.ibQueryLines.sql().lines(),
                 (QStringList{QStringLiteral("SELECT * FROM Lines"),
                              QStringLiteral("ORDER BY NumberLine ")}));
        QCOMPARE(s.column(s.tabs.GridLines, QStringLiteral("NUMBERLINE")),
                 (QStringList{"1", "2", "3"}));
        QStringList titles;
        for (int c = 0; c < s.tabs.GridLines->columnCount(); ++c)
            titles << s.tabs.GridLines->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"Номер линии", "Городской номер", "Доп.", "Примечания"}));
        // A second visit does not load again.
        t.exec({QStringLiteral("INSERT INTO Lines VALUES (4, 2150004, NULL, NULL)")});
        s.form.PageControl->setCurrentIndex(0);
        s.form.PageControl->setCurrentIndex(1);
        QCOMPARE(s.tabs.GridLines->model()->rowCount(), 3);

        const std::pair<const char*, QStringList> sorts[] = {
            {"NUMBERTOWN", {"2", "3", "1", "4"}},
            {"ADDINFO", {"4", "3", "1", "2"}}, // an empty text comes first
            {"ETC", {"4", "2", "3", "1"}},
        };
        int index = 1;
        for (const auto& [field, order] : sorts) {
            s.clickTitle(s.tabs.GridLines, QString::fromLatin1(field));
            QCOMPARE(s.dm.MainObject->FieldLine, index++);
            QCOMPARE(s.column(s.tabs.GridLines, QStringLiteral("NUMBERLINE")), order);
        }
        QCOMPARE(s.dm.ibQueryLines.sql().lines().last(), QStringLiteral("ORDER BY Etc "));
        s.clickTitle(s.tabs.GridLines, QStringLiteral("ETC"));
        QCOMPARE(s.dm.MainObject->DescLine, 1);
        QCOMPARE(s.dm.ibQueryLines.sql().lines().last(), QStringLiteral("ORDER BY Etc DESC"));
        QCOMPARE(s.column(s.tabs.GridLines, QStringLiteral("NUMBERLINE")).first(),
                 QStringLiteral("1"));
        s.tabs.GridLines->horizontalHeader()->resizeSection(
            s.tabs.GridLines->findColumnByField(QStringLiteral("ADDINFO")), 222);
        s.form.close();
    }
    TEST_WINDOW_AT_TAB(s, t, 1);
    const int etc = s.tabs.GridLines->findColumnByField(QStringLiteral("ETC"));
    QCOMPARE(s.tabs.GridLines->sortMarker(etc), grid::SortMarker::Descending);
    QCOMPARE(s.tabs.GridLines->columnWidth(
                 s.tabs.GridLines->findColumnByField(QStringLiteral("ADDINFO"))),
             222);
}

void TestDirectories::deleteLines()
{
    TEST_DIRECTORIES(t);
    TEST_WINDOW_AT_TAB(s, t, 1);
    s.tabs.GridLines->selectRow(1); // line 2
    Messages::setNextAnswer(QMessageBox::Cancel);
    s.form.AErase->trigger();
    QCOMPARE(Messages::shown().last().text, QStringLiteral("Удалить ?"));
    QCOMPARE(s.tabs.GridLines->model()->rowCount(), 3);

    // Another client holds the row: the delete fails, is reported, and nothing is lost.
    test::OtherClient other(t.path());
    other.exec(QStringLiteral("UPDATE Lines SET Etc = 'занято' WHERE NumberLine = 2"));
    s.tabs.GridLines->selectRow(1);
    s.form.AErase->trigger();
    QCOMPARE(Messages::shown().last().text,
             QStringLiteral("Ошибка . Попробуйте записать позже ..."));
    QCOMPARE(s.tabs.GridLines->model()->rowCount(), 3);
    other.tr.commit();

    s.tabs.GridLines->selectRow(1);
    s.form.AErase->trigger();
    QCOMPARE(s.column(s.tabs.GridLines, QStringLiteral("NUMBERLINE")), (QStringList{"1", "3"}));
    QCOMPARE(s.tabs.cqLines->count(), 3); // the call filter's list follows
}

void TestDirectories::treeShowsDepartmentsAndTheirUsers()
{
    TEST_DIRECTORIES(t);
    t.exec({QStringLiteral("INSERT INTO Depts VALUES (30, 'Подотдел', 10)")});
    TEST_WINDOW_AT_TAB(s, t, 2);
    QTreeWidget* tree = s.tabs.twDepts;
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Отделы"));
    QCOMPARE(root->childCount(), 2); // one level only, by name
    QCOMPARE(root->child(0)->text(0), QStringLiteral("Бухгалтерия"));
    QCOMPARE(tree->currentItem(), root->child(0));
    QCOMPARE(s.column(s.tabs.GridUsers, QStringLiteral("FIO")),
             QStringList{QStringLiteral("Борисова")});
    tree->setCurrentItem(s.node(QStringLiteral("Склад")));
    QCOMPARE(s.column(s.tabs.GridUsers, QStringLiteral("FIO")), (QStringList{"Аверин", "Яшин"}));
    tree->setCurrentItem(root);
    QCOMPARE(s.column(s.tabs.GridUsers, QStringLiteral("FIO")),
             (QStringList{"Аверин", "Борисова", "Волков", "Яшин"}));
    // With the root selected the tree does not fold.
    root->setExpanded(false);
    QVERIFY(root->isExpanded());
    QStringList titles;
    for (int c = 0; c < s.tabs.GridUsers->columnCount(); ++c)
        titles << s.tabs.GridUsers->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles, (QStringList{" ", "Внутренний номер", "Ф.И.О.", "Эл.почта"}));
}

void TestDirectories::emptyTree()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Users VALUES (101, 'Яшин', NULL, 0, 5)")});
    TEST_WINDOW_AT_TAB(s, t, 2);
    QCOMPARE(s.tabs.twDepts->topLevelItem(0)->childCount(), 0);
    QCOMPARE(s.tabs.twDepts->currentItem(), s.tabs.twDepts->topLevelItem(0));
    QCOMPARE(s.tabs.GridUsers->model()->rowCount(), 1);
    s.form.N19Click(); // the root cannot be deleted: no question
    QVERIFY(Messages::shown().isEmpty());
}

void TestDirectories::dropUsersOnTheTree()
{
    TEST_DIRECTORIES(t);
    TEST_WINDOW_AT_TAB(s, t, 2);
    QTreeWidget* tree = s.tabs.twDepts;
    tree->setCurrentItem(tree->topLevelItem(0));
    s.selectUsers({0, 2, 3}); // Аверин, Волков, Яшин
    s.form.twDeptsDragDrop(s.node(QStringLiteral("Бухгалтерия")), s.tabs.GridUsers);
    QCOMPARE(s.value(QStringLiteral("SELECT COUNT(*) FROM Users WHERE DeptNumber = 20")).toInt(),
             4);
    // Onto empty space, or from somewhere else: nothing moves.
    s.selectUsers({0});
    s.form.twDeptsDragDrop(nullptr, s.tabs.GridUsers);
    s.form.twDeptsDragDrop(s.node(QStringLiteral("Склад")), s.tabs.GridLines);
    QCOMPARE(s.value(QStringLiteral("SELECT COUNT(*) FROM Users WHERE DeptNumber = 20")).toInt(),
             4);
    // Onto the root: no department, seen only under "Отделы".
    s.selectUsers({1, 2});
    s.form.twDeptsDragDrop(tree->topLevelItem(0), s.tabs.GridUsers);
    QCOMPARE(s.value(QStringLiteral("SELECT COUNT(*) FROM Users WHERE DeptNumber = 0")).toInt(), 2);
    tree->setCurrentItem(s.node(QStringLiteral("Бухгалтерия")));
    QCOMPARE(s.tabs.GridUsers->model()->rowCount(), 2);
    QVERIFY(Messages::shown().isEmpty());
}

void TestDirectories::failedMoveMovesNobody()
{
    TEST_DIRECTORIES(t);
    TEST_WINDOW_AT_TAB(s, t, 2);
    s.tabs.twDepts->setCurrentItem(s.tabs.twDepts->topLevelItem(0));
    test::OtherClient other(t.path());
    other.exec(QStringLiteral("UPDATE Users SET EMail = 'x' WHERE NumberIN = 104")); // Волков
    s.selectUsers({0, 2}); // Аверин moves, then Волков is held
    s.form.twDeptsDragDrop(s.node(QStringLiteral("Бухгалтерия")), s.tabs.GridUsers);
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown()[0].text, QStringLiteral("Ошибка . Попробуйте записать позже ..."));
    QVERIFY(!s.dm.WriteActive());
    other.tr.rollback();
    QCOMPARE(s.value(QStringLiteral("SELECT DeptNumber FROM Users WHERE NumberIN = 102")).toInt(),
             10);
    QCOMPARE(s.tabs.GridUsers->model()->rowCount(), 4);
}

void TestDirectories::deleteDepartmentKeepsItsUsers()
{
    TEST_DIRECTORIES(t);
    TEST_WINDOW_AT_TAB(s, t, 2);
    s.tabs.twDepts->setCurrentItem(s.node(QStringLiteral("Склад")));
    Messages::setNextAnswer(QMessageBox::Cancel);
    s.form.N19Click();
    QCOMPARE(Messages::shown().last().text, QStringLiteral("Удалить <Склад>?"));
    QVERIFY(s.node(QStringLiteral("Склад")));
    s.form.N19Click();
    QVERIFY(!s.node(QStringLiteral("Склад")));
    QVERIFY(s.value(QStringLiteral("SELECT KeyID FROM Depts WHERE KeyID = 10")).isNull());
    QCOMPARE(s.value(QStringLiteral("SELECT COUNT(*) FROM Users WHERE DeptNumber = 10")).toInt(),
             2);
    QVERIFY(s.tabs.twDepts->currentItem()); // the selection moved on
}

void TestDirectories::newUserThroughTheEditor()
{
    TEST_DIRECTORIES(t);
    Session s(t);
    QVERIFY(s.ok);
    s.tabs.cqUsers->setCurrentIndex(2);
    s.form.PageControl->setCurrentIndex(2);
    s.tabs.twDepts->setCurrentItem(s.node(QStringLiteral("Склад")));
    test::whenModal([](QDialog* d) {
        auto* form = qobject_cast<TUserForm*>(d);
        QVERIFY(form);
        form->seNumberIn->setValue(150);
        form->eFio->setText(QStringLiteral("Гусев"));
        QTest::mouseClick(form->bbSave, Qt::LeftButton);
    });
    s.form.ANew->trigger();
    QCOMPARE(s.column(s.tabs.GridUsers, QStringLiteral("FIO")),
             (QStringList{"Аверин", "Гусев", "Яшин"}));
    QCOMPARE(s.tabs.GridUsers->currentIndex().row(), 1);
    QCOMPARE(s.dm.ibQueryUsers.field(QStringLiteral("NUMBERIN")).asInteger(), 150);
    QCOMPARE(s.tabs.cqUsers->currentIndex(), 0);
    QCOMPARE(s.tabs.cqUsers->count(), 6);
    // Editing through a double click on the row, cancelled: nothing reloads.
    test::whenModal([](QDialog* d) { d->reject(); });
    s.form.APropertyExecute();
    QCOMPARE(s.tabs.GridUsers->currentIndex().row(), 1);
    // A new department is the selected one once made, not the first of the tree.
    test::whenModal([](QDialog* d) {
        auto* form = qobject_cast<TDeptForm*>(d);
        QVERIFY(form);
        form->eDeptName->setText(QStringLiteral("Юристы"));
        QTest::mouseClick(form->bbSave, Qt::LeftButton);
    });
    s.form.N17->trigger();
    QVERIFY(s.tabs.twDepts->currentItem());
    QCOMPARE(s.tabs.twDepts->currentItem()->text(0), QStringLiteral("Юристы"));
    QCOMPARE(s.column(s.tabs.GridUsers, QStringLiteral("FIO")), QStringList());
}

// The call filter's users' list is filled again in a slot of the users tab's signal. Where the
// database refuses that list (names in UTF-8 have no Cyrillic order of code page 1251), that is
// told there, and the tab goes on: the new user is selected.
void TestDirectories::refusedFilterListIsToldWhereItFails()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("DROP TABLE Users")});
    t.exec({QStringLiteral("CREATE TABLE Users (NumberIN INTEGER NOT NULL PRIMARY KEY, FIO "
                           "VARCHAR(50) CHARACTER SET UTF8, EMail VARCHAR(50), SendMail SMALLINT "
                           "DEFAULT 0, DeptNumber INTEGER DEFAULT 0)")});
    fillDirectories(t);
    Session s(t);
    QVERIFY(QTest::qWaitFor([&] { return s.tabs.cqLines->count() == 4; }));
    QCOMPARE(Messages::shown().size(), 1);
    s.form.PageControl->setCurrentIndex(2);
    test::whenModal([](QDialog* d) {
        auto* editor = qobject_cast<TUserForm*>(d);
        editor->seNumberIn->setValue(150);
        editor->eFio->setText(QStringLiteral("Гусев"));
        QTest::mouseClick(editor->bbSave, Qt::LeftButton);
    });
    s.form.ANew->trigger();
    QCOMPARE(Messages::shown().size(), 2);
    QCOMPARE(Messages::shown()[1].text, Messages::shown()[0].text);
    QCOMPARE(s.value(QStringLiteral("SELECT COUNT(*) FROM Users WHERE NumberIN = 150")).toInt(), 1);
    QCOMPARE(s.dm.ibQueryUsers.field(QStringLiteral("NUMBERIN")).asInteger(), 150);
}

void TestDirectories::mailColumnStaysNarrow()
{
    TEST_DIRECTORIES(t);
    TEST_WINDOW_AT_TAB(s, t, 2);
    const int mail = s.tabs.GridUsers->findColumnByField(QStringLiteral("MAILICON"));
    QCOMPARE(mail, 0);
    QCOMPARE(s.tabs.GridUsers->columnWidth(mail), 16);
    s.tabs.GridUsers->horizontalHeader()->resizeSection(mail, 40);
    QCOMPARE(s.tabs.GridUsers->columnWidth(mail), 16);
}

void TestDirectories::longNamesOnANarrowScreen()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    const QString dept = QStringLiteral("Отдел материально-технического снабжения и сбыта");
    t.exec({QStringLiteral("INSERT INTO Depts VALUES (10, '%1', 0)").arg(dept)});
    Session s(t);
    QVERIFY(s.ok);
    // The window fits a screen 1,024 pixels wide with room to spare, on every tab.
    for (int tab : {0, 1, 2}) {
        s.form.PageControl->setCurrentIndex(tab);
        s.form.resize(900, 700);
        QVERIFY(QTest::qWaitFor([&] { return s.form.width() == 900; }));
    }
    QTreeWidget* tree = s.tabs.twDepts;
    QTreeWidgetItem* node = tree->topLevelItem(0)->child(0);
    QCOMPARE(node->toolTip(0), dept);
    // The tree scrolls sideways to the end of the name.
    QVERIFY(tree->header()->sectionSize(0) >= tree->fontMetrics().horizontalAdvance(dept));
}

KELVORA_TEST_MAIN(TestDirectories)
#include "test_directories.moc"
