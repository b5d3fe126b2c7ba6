// The line, user and department editors and the department list, against a real database,
// with a second client holding locks.
#include "support/CallData.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "support/Login.h"
#include "support/WindowSuite.h"
#include "ui/controls/TSimpleBox.h"
#include "ui/editors/TDeptForm.h"
#include "ui/editors/TLineForm.h"
#include "ui/editors/TUserForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QWindow>

namespace {

struct Program
{
    explicit Program(test::TestDatabase& t) : dm(t.dir()) { test::login(dm, t.path()); }
    // One value of the database, read fresh.
    QVariant value(const QString& select)
    {
        dm.IBSQL.close();
        dm.IBSQL.sql().clear();
        dm.IBSQL.sql().add(select);
        dm.IBSQL.execQuery();
        return dm.IBSQL.eof() ? QVariant() : dm.IBSQL.fields().front()->value();
    }
    db::Query& open(db::Query& q, const QString& select)
    {
        q.close();
        q.sql().clear();
        q.sql().add(select);
        q.open();
        return q;
    }
    TDM dm;
};

QStringList texts()
{
    QStringList out;
    for (const Messages::Shown& s : Messages::shown())
        out << s.text;
    return out;
}

} // namespace

class TestEditors : public test::WindowSuite
{
    Q_OBJECT
private slots:
    void lineEditor();
    void lineHeldByAnotherClient();
    void userEditor();
    void userEditorRollsBackAFailure();
    void renumberingANumberThatHasCalls();
    void departmentEditor();
    void departmentList();
    void keysTypedIntoTheWindows();
    void aLostConnectionIsReportedInTheWindow();
};

void TestEditors::lineEditor()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    Program p(t);
    {
        TLineForm form(p.dm);
        form.show();
        QCOMPARE(form.windowTitle(), QStringLiteral("Линия"));
        QCOMPARE(form.seNumberLine->value(), 1);
        QCOMPARE(form.seNumberLine->maximum(), 200);
        QCOMPARE(form.seNumberTown->maximum(), 999999999);
        QCOMPARE(form.eAddInfo->maxLength(), 50);
        form.seNumberLine->setValue(5);
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(texts(), QStringList{QStringLiteral("Запишите номер телефона")});
        QCOMPARE(form.focusWidget(), form.seNumberTown);
        QVERIFY(form.isVisible());
        QVERIFY(!p.dm.WriteActive()); // nothing was started
        form.seNumberTown->setValue(2150005);
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), 1);
        QCOMPARE(form.SavedNumberLine, 5);
    }
    // Empty texts are written as empty strings, not as nulls.
    QCOMPARE(p.value(QStringLiteral("SELECT AddInfo || '|' || Etc FROM Lines WHERE NumberLine=5"))
                 .toString(),
             QStringLiteral("|"));
    Messages::clearShown();
    {
        TLineForm form(p.dm);
        form.show();
        form.seNumberLine->setValue(5);
        form.seNumberTown->setValue(2150099);
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(texts(), QStringList{QStringLiteral("Номер уже существует")});
        QVERIFY(form.isVisible());
        QCOMPARE(form.seNumberTown->value(), 2150099); // the input stays
        QVERIFY(p.dm.WriteActive());                 // and the transaction, as it was
        QTest::mouseClick(form.bbCancel, Qt::LeftButton);
        QCOMPARE(form.result(), 2);
    }
    // Editing line 5 into line 6, with texts.
    db::Query& lines = p.open(p.dm.ibQueryLines, QStringLiteral("SELECT * FROM Lines"));
    {
        TLineForm form(p.dm);
        form.EditMode = 1;
        form.SourceData = &lines;
        form.show();
        QCOMPARE(form.seNumberLine->value(), 5);
        QCOMPARE(form.seNumberTown->value(), 2150005);
        form.seNumberLine->setValue(6);
        form.eAddInfo->setText(QStringLiteral("Факс"));
        form.mEtc->setPlainText(QStringLiteral("первая\nвторая"));
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), 1);
        QCOMPARE(form.SavedNumberLine, 6);
    }
    QCOMPARE(p.value(QStringLiteral("SELECT COUNT(*) FROM Lines")).toInt(), 1);
    QCOMPARE(p.value(QStringLiteral("SELECT Etc FROM Lines WHERE NumberLine=6")).toString(),
             QStringLiteral("первая\nвторая"));
    QCOMPARE(p.value(QStringLiteral("SELECT AddInfo FROM Lines WHERE NumberLine=6")).toString(),
             QStringLiteral("Факс"));
    // Escape is "Отменить".
    TLineForm form(p.dm);
    form.show();
    QTest::keyClick(form.seNumberTown, Qt::Key_Escape);
    QCOMPARE(form.result(), 2);
}

void TestEditors::lineHeldByAnotherClient()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)")});
    Program p(t);
    test::OtherClient other(t.path());
    other.exec(QStringLiteral("UPDATE Lines SET AddInfo = 'чужое' WHERE NumberLine = 1"));
    db::Query& lines = p.open(p.dm.ibQueryLines, QStringLiteral("SELECT * FROM Lines"));
    TLineForm form(p.dm);
    form.EditMode = 1;
    form.SourceData = &lines;
    form.show();
    form.seNumberTown->setValue(2150002);
    QTest::mouseClick(form.bbSave, Qt::LeftButton); // fails at once, does not wait
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY2(texts()[0].startsWith(QStringLiteral("Ошибка (")) &&
                 texts()[0].contains(QLatin1String("CONFLICT")),
             qPrintable(texts()[0]));
    QVERIFY(form.isVisible());
    QCOMPARE(form.seNumberTown->value(), 2150002);
    other.tr.commit();
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QCOMPARE(form.result(), 1);
    QCOMPARE(p.value(QStringLiteral("SELECT NumberTown FROM Lines WHERE NumberLine=1")).toInt(),
             2150002);
}

void TestEditors::userEditor()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Depts VALUES (7, 'Бухгалтерия', 0)"),
            QStringLiteral("INSERT INTO Depts VALUES (3, 'Склад', 0)"),
            QStringLiteral("INSERT INTO Users VALUES (101, 'Иванов', 'i@x.ru', 2, 99)")});
    Program p(t);
    {
        TUserForm form(p.dm);
        form.TreeDeptKey = 3;
        form.show();
        QCOMPARE(form.windowTitle(), QStringLiteral("Пользователь"));
        QCOMPARE(form.cbDept->count(), 3);
        QCOMPARE(form.cbDept->itemText(0), QStringLiteral("-"));
        QCOMPARE(form.cbDept->itemText(1), QStringLiteral("Бухгалтерия"));
        QCOMPARE(form.cbDept->currentText(), QStringLiteral("Склад")); // the tree's department
        form.seNumberIn->setValue(102);
        form.eFio->setText(QStringLiteral("   "));
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(texts(), QStringList{QStringLiteral("Запишите фамилию")});
        QCOMPARE(form.focusWidget(), form.eFio);
        form.eFio->setText(QStringLiteral("  Петрова Анна"));
        form.cbSendMail->setChecked(true);
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), 1);
        QCOMPARE(form.SavedNumberIn, 102);
    }
    QCOMPARE(p.value(QStringLiteral("SELECT FIO FROM Users WHERE NumberIN=102")).toString(),
             QStringLiteral("  Петрова Анна"));
    QCOMPARE(
        p.value(QStringLiteral("SELECT SendMail * 10 + DeptNumber FROM Users WHERE NumberIN=102"))
            .toInt(),
        13);
    // A user whose department is gone opens on "-"; SendMail 2 is not "checked".
    db::Query& users =
        p.open(p.dm.ibQueryUsers, QStringLiteral("SELECT * FROM Users WHERE NumberIN=101"));
    {
        TUserForm form(p.dm);
        form.EditMode = 1;
        form.SourceData = &users;
        form.show();
        QCOMPARE(form.cbDept->currentIndex(), 0);
        QVERIFY(!form.cbSendMail->isChecked());
        QCOMPARE(form.eEMail->text(), QStringLiteral("i@x.ru"));
        form.seNumberIn->setValue(111);
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), 1);
    }
    QCOMPARE(
        p.value(QStringLiteral("SELECT SendMail * 1000 + DeptNumber FROM Users WHERE NumberIN=111"))
            .toInt(),
        0);
    QVERIFY(p.value(QStringLiteral("SELECT NumberIN FROM Users WHERE NumberIN=101")).isNull());
}

void TestEditors::renumberingANumberThatHasCalls()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    test::fillSmallCallLog(t); // line 1 has 5 calls, subscriber 101 has 4
    Program p(t);
    db::Query& lines =
        p.open(p.dm.ibQueryLines, QStringLiteral("SELECT * FROM Lines WHERE NumberLine=1"));
    TLineForm line(p.dm);
    line.EditMode = 1;
    line.SourceData = &lines;
    line.show();
    line.seNumberLine->setValue(7);
    // Unanswered, the question takes its default, as a single Enter does: nothing moves.
    QTest::mouseClick(line.bbSave, Qt::LeftButton);
    QVERIFY2(texts().size() == 1 && texts()[0].contains(QStringLiteral(
                                        "звонков: 5. Они останутся под старым номером 1")),
             qPrintable(texts()[0]));
    QCOMPARE(p.value(QStringLiteral("SELECT COUNT(*) FROM Lines WHERE NumberLine=1")).toInt(), 1);
    Messages::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(line.bbSave, Qt::LeftButton); // asked again, answered OK
    QCOMPARE(line.result(), 1);
    QCOMPARE(p.value(QStringLiteral("SELECT COUNT(*) FROM Lines WHERE NumberLine=7")).toInt(), 1);
    Messages::clearShown();
    db::Query& users =
        p.open(p.dm.ibQueryUsers, QStringLiteral("SELECT * FROM Users WHERE NumberIN=101"));
    TUserForm user(p.dm);
    user.EditMode = 1;
    user.SourceData = &users;
    user.show();
    user.seNumberIn->setValue(150);
    Messages::setNextAnswer(QMessageBox::Cancel);
    QTest::mouseClick(user.bbSave, Qt::LeftButton);
    QVERIFY2(texts().value(0).contains(QStringLiteral("звонков: 4. Они останутся под старым "
                                                      "номером 101")),
             qPrintable(texts().value(0)));
    QVERIFY(user.isVisible());
}

void TestEditors::userEditorRollsBackAFailure()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов')"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (102, 'Петров')")});
    Program p(t);
    TUserForm form(p.dm);
    form.show();
    form.seNumberIn->setValue(101);
    form.eFio->setText(QStringLiteral("Сидоров"));
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QCOMPARE(texts(), QStringList{QStringLiteral("Номер уже существует")});
    QVERIFY(!p.dm.WriteActive()); // rolled back, unlike the line editor
    QVERIFY(form.isVisible());
    QCOMPARE(form.eFio->text(), QStringLiteral("Сидоров"));
    form.seNumberIn->setValue(103);
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QCOMPARE(form.result(), 1);
    QCOMPARE(p.value(QStringLiteral("SELECT COUNT(*) FROM Users")).toInt(), 3);
}

void TestEditors::departmentEditor()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Depts VALUES (500, 'Склад', 77)")});
    Program p(t);
    {
        TDeptForm form(p.dm);
        form.DeptKey = 500; // created while a department is selected: still top level
        form.show();
        QCOMPARE(form.windowTitle(), QStringLiteral("Отдел"));
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(texts(), QStringList{QStringLiteral("Запишите название")});
        form.eDeptName->setText(QStringLiteral(" Охрана "));
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), 1);
        QVERIFY(form.DeptKey != 500);
    }
    QCOMPARE(
        p.value(QStringLiteral("SELECT DeptParent FROM Depts WHERE DeptName=' Охрана '")).toInt(),
        0);
    {
        TDeptForm form(p.dm);
        form.EditMode = 1;
        form.DeptKey = 500;
        form.show();
        QCOMPARE(form.eDeptName->text(), QStringLiteral("Склад"));
        form.eDeptName->setText(QStringLiteral("Склад №2"));
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), 1);
    }
    QCOMPARE(p.value(QStringLiteral("SELECT DeptName || DeptParent FROM Depts WHERE KeyID=500"))
                 .toString(),
             QStringLiteral("Склад №20"));
    {
        TDeptForm form(p.dm);
        form.EditMode = 1;
        form.DeptKey = 12345; // no such row: empty name; saving updates nothing, and closes
        form.show();
        QVERIFY(form.eDeptName->text().isEmpty());
        form.eDeptName->setText(QStringLiteral("Нигде"));
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), 1);
    }
    QCOMPARE(p.value(QStringLiteral("SELECT COUNT(*) FROM Depts")).toInt(), 2);
}

// Keys typed into the editors' windows go to the first input; Enter saves, Escape cancels.
void TestEditors::keysTypedIntoTheWindows()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    Program p(t);
    // Typed as a keyboard types: to the window, which hands each key to its focus. '\t' is Tab,
    // '\n' Enter, '\x1b' Escape.
    const auto typeInto = [](QDialog& form, const QString& keys) {
        form.show();
        if (!QTest::qWaitForWindowActive(&form))
            return -1;
        for (const QChar c : keys) {
            const Qt::Key key = c == u'\t'         ? Qt::Key_Tab
                                : c == u'\n'       ? Qt::Key_Return
                                : c == QChar(0x1b) ? Qt::Key_Escape
                                                   : Qt::Key(c.toUpper().unicode());
            QTest::sendKeyEvent(QTest::Click, form.windowHandle(), key,
                                c.isPrint() ? QString(c) : QString(), Qt::NoModifier);
        }
        return form.result();
    };
    const QString name = QStringLiteral("Отдел кадров и охраны труда");
    TDeptForm dept(p.dm);
    QCOMPARE(typeInto(dept, name + u'\n'), 1);
    QCOMPARE(p.value(QStringLiteral("SELECT DeptName FROM Depts")).toString(), name);
    TDeptForm rename(p.dm);
    rename.EditMode = 1;
    rename.DeptKey = p.value(QStringLiteral("SELECT KeyID FROM Depts")).toInt();
    QCOMPARE(typeInto(rename, QStringLiteral("Склад\x1b")), 2);
    QCOMPARE(rename.eDeptName->text(), QStringLiteral("Склад")); // typed over the whole name
    TLineForm line(p.dm);
    QCOMPARE(typeInto(line, QStringLiteral("12\t2150077\n")), 1);
    QCOMPARE(p.value(QStringLiteral("SELECT NumberTown FROM Lines WHERE NumberLine=12")).toInt(),
             2150077);
    TUserForm user(p.dm);
    QCOMPARE(typeInto(user, QStringLiteral("\t205\tСидоров\n")), 1);
    QCOMPARE(p.value(QStringLiteral("SELECT FIO FROM Users WHERE NumberIN=205")).toString(),
             QStringLiteral("Сидоров"));
}

void TestEditors::departmentList()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    Program p(t);
    {
        QComboBox box;
        TSimpleBox list(p.dm, 1, &box, true);
        list.FillBox(0);
        QCOMPARE(box.count(), 1);
        QCOMPARE(list.KeyAt(0), 0);
    }
    t.exec({QStringLiteral("INSERT INTO Depts VALUES (7, 'А-отдел', 0)"),
            QStringLiteral("INSERT INTO Depts VALUES (3, 'Б-отдел', 0)")});
    QComboBox box;
    TSimpleBox list(p.dm, 1, &box, true);
    list.FillBox(3);
    QCOMPARE(box.currentIndex(), 2);
    QCOMPARE(list.KeyAt(0), 0);
    QCOMPARE(list.KeyAt(1), 7);
    QCOMPARE(list.KeyAt(2), 3);
    QCOMPARE(list.KeyAt(9), 3); // past the end: the last row
    QComboBox other;
    TSimpleBox missing(p.dm, 1, &other, true);
    missing.FillBox(99);
    QCOMPARE(other.currentIndex(), 0);
}

void TestEditors::aLostConnectionIsReportedInTheWindow()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    Program p(t);
    p.dm.ibDatabase.close(); // every statement of the save now fails
    {
        TLineForm form(p.dm);
        form.show();
        form.seNumberTown->setValue(2150001);
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(Messages::shown().size(), 1);
        QVERIFY(form.isVisible());
        QCOMPARE(form.result(), 0);
    }
    {
        TUserForm form(p.dm);
        form.show();
        form.eFio->setText(QStringLiteral("Иванов"));
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QCOMPARE(form.result(), 0);
    }
    {
        TDeptForm form(p.dm);
        form.show();
        form.eDeptName->setText(QStringLiteral("Склад"));
        Messages::clearShown();
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(Messages::shown().size(), 1);
        QVERIFY(form.isVisible());
        QCOMPARE(form.result(), 0);
    }
}

KELVORA_TEST_MAIN(TestEditors)
#include "test_editors.moc"
