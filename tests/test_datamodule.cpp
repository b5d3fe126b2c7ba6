// The data module's write pattern and error texts against a real database.
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "support/Login.h"

#include <QTest>

namespace {

// Runs one statement the way the line editor does; returns the user's text of a failure.
QString write(TDM& dm, const QString& statement)
{
    switch (dm.Write({stmt::Statement().add(statement)}, TDM::Refusal::KeepOpen)) {
    case TDM::WriteResult::Written:
        return QString();
    case TDM::WriteResult::Refused:
        return dm.WriteErrorText();
    case TDM::WriteResult::NotCommitted:
        break;
    }
    return QStringLiteral("commit failed");
}

int count(TDM& dm, const QString& table)
{
    dm.IBSQL.sql().clear();
    dm.IBSQL.sql().add(QStringLiteral("SELECT COUNT(*) FROM ") + table);
    dm.IBSQL.execQuery();
    return dm.IBSQL.fields().front()->asInteger();
}

} // namespace

class TestDataModule : public QObject
{
    Q_OBJECT
private slots:
    void init() { Messages::setTestMode(true); }
    void errorTexts();
    void writesAndTheirFailures();
    void aRefusalEndsTheWriteAsAsked();
    void newIdsInOneTransaction();
    void readOnlyTransactionSeesOthersCommits();
    void conflictWithAnotherClientFailsAtOnce();
    void failedCommitRollsBack();
};

void TestDataModule::errorTexts()
{
    QCOMPARE(TDM::DbErrorText(QStringLiteral("VIOLATION OF PRIMARY OR UNIQUE KEY")),
             QStringLiteral("Номер уже существует"));
    QCOMPARE(TDM::DbErrorText(QStringLiteral("LOCK CONFLICT")),
             QStringLiteral("Ошибка (LOCK CONFLICT)"));
    QCOMPARE(TDM::DbErrorText(QString()), QStringLiteral("Ошибка ()"));
    // The test is case-sensitive: callers pass the message in upper case.
    QCOMPARE(TDM::DbErrorText(QStringLiteral("unique")), QStringLiteral("Ошибка (unique)"));
    QCOMPARE(TDM::UpperMessage(QStringLiteral("table \"Отделы\" abc")),
             QStringLiteral("TABLE \"Отделы\" ABC"));
}

void TestDataModule::writesAndTheirFailures()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.database().close();
    TDM dm(t.dir());
    test::login(dm, t.path());
    QCOMPARE(
        write(dm, QStringLiteral("INSERT INTO Lines (NumberLine, NumberTown) VALUES (5, 2150001)")),
        QString());
    QVERIFY(!dm.WriteActive());
    QCOMPARE(write(dm, QStringLiteral("INSERT INTO Lines (NumberLine) VALUES (5)")),
             QStringLiteral("Номер уже существует"));
    dm.ibTran.rollback();
    const QString other = write(dm, QStringLiteral("INSERT INTO Lines (NumberLine, AddInfo) VALUES "
                                                   "(6, '") +
                                        QString(60, u'x') + QStringLiteral("')"));
    QVERIFY2(other.startsWith(QStringLiteral("Ошибка (")) && other.endsWith(u')'),
             qPrintable(other));
    QVERIFY(other.contains(QLatin1String("STRING")));
    QCOMPARE(other, other.toUpper().replace(QStringLiteral("ОШИБКА"), QStringLiteral("Ошибка")));
    dm.ibTran.rollback();
    QCOMPARE(count(dm, QStringLiteral("Lines")), 1);
}

void TestDataModule::aRefusalEndsTheWriteAsAsked()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.database().close();
    TDM dm(t.dir());
    test::login(dm, t.path());
    auto line = [](int number) {
        return stmt::Statement()
            .add(QStringLiteral("INSERT INTO Lines (NumberLine) VALUES (:n)"))
            .bind(QStringLiteral("n"), number);
    };
    QCOMPARE(dm.Write({line(1), line(2)}, TDM::Refusal::RollBack), TDM::WriteResult::Written);
    QVERIFY(!dm.WriteActive());
    // The second statement refused: the first goes with it, is committed, or waits.
    QCOMPARE(dm.Write({line(3), line(1), line(4)}, TDM::Refusal::RollBack),
             TDM::WriteResult::Refused);
    QCOMPARE(dm.WriteErrorText(), QStringLiteral("Номер уже существует"));
    QVERIFY(!dm.WriteActive());
    QCOMPARE(count(dm, QStringLiteral("Lines")), 2);
    QCOMPARE(dm.Write({line(5), line(2), line(6)}, TDM::Refusal::Commit),
             TDM::WriteResult::Refused);
    QVERIFY(!dm.WriteActive());
    QCOMPARE(count(dm, QStringLiteral("Lines")), 3);
    QCOMPARE(dm.Write({line(7), line(5)}, TDM::Refusal::KeepOpen), TDM::WriteResult::Refused);
    QVERIFY(dm.WriteActive());
    QCOMPARE(count(dm, QStringLiteral("Lines")), 3); // not committed yet
    QCOMPARE(dm.Write({line(8)}, TDM::Refusal::KeepOpen), TDM::WriteResult::Written);
    QCOMPARE(count(dm, QStringLiteral("Lines")), 5);
    QVERIFY(Messages::shown().isEmpty());
}

void TestDataModule::newIdsInOneTransaction()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.database().close();
    TDM dm(t.dir());
    test::login(dm, t.path());
    dm.StartWrite();
    const int a = dm.GetNewID();
    const int b = dm.GetNewID();
    QVERIFY(a != b);
    dm.ibTran.rollback();
    dm.StartWrite();
    const int c = dm.GetNewID();
    QVERIFY(c != a && c != b); // keys are never handed out twice, even after a rollback
    QVERIFY(dm.CommitWrite());
}

void TestDataModule::readOnlyTransactionSeesOthersCommits()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    TDM dm(t.dir());
    test::login(dm, t.path());
    dm.ibQueryRings.close();
    QCOMPARE(count(dm, QStringLiteral("Users")), 0);
    // Another program (the test fixture's own attachment) commits rows later.
    t.exec({QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Смирнова')")});
    QCOMPARE(count(dm, QStringLiteral("Users")), 1);
    // The module's own committed write is seen as well.
    QCOMPARE(write(dm, QStringLiteral("INSERT INTO Users (NumberIN) VALUES (102)")), QString());
    QCOMPARE(count(dm, QStringLiteral("Users")), 2);
    QVERIFY(dm.ibTranRO.active());
}

void TestDataModule::conflictWithAnotherClientFailsAtOnce()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Depts (KeyID, DeptName) VALUES (1, 'Склад')")});
    db::Transaction other(t.database());
    other.params() = QStringList{QStringLiteral("nowait"), QStringLiteral("read_committed"),
                                 QStringLiteral("rec_version")};
    other.start();
    db::Sql hold(t.database(), other);
    hold.sql().add(QStringLiteral("UPDATE Depts SET DeptName = 'Склад 2' WHERE KeyID = 1"));
    hold.execQuery();

    TDM dm(t.dir());
    test::login(dm, t.path());
    const QString text = write(dm, QStringLiteral("DELETE FROM Depts WHERE KeyID = 1"));
    QVERIFY2(text.startsWith(QStringLiteral("Ошибка (")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("CONFLICT")));
    dm.ibTran.rollback();
    other.commit();
    QCOMPARE(write(dm, QStringLiteral("DELETE FROM Depts WHERE KeyID = 1")), QString());
    QCOMPARE(count(dm, QStringLiteral("Depts")), 0);
}

void TestDataModule::failedCommitRollsBack()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    // A database that refuses some commits: a commit trigger raising an exception.
    t.exec({QStringLiteral("CREATE EXCEPTION BUSY 'busy'")});
    t.exec({QStringLiteral("CREATE TRIGGER REFUSE ON TRANSACTION COMMIT AS BEGIN "
                           "IF (EXISTS(SELECT * FROM Lines WHERE NumberLine = 99)) THEN "
                           "EXCEPTION BUSY; END")});
    TDM dm(t.dir());
    test::login(dm, t.path());
    dm.StartWrite();
    dm.ibQueryTmp.sql().clear();
    dm.ibQueryTmp.sql().add(QStringLiteral("INSERT INTO Lines (NumberLine) VALUES (99)"));
    dm.ibQueryTmp.execSql();
    QVERIFY(!dm.CommitWrite());
    QVERIFY(!dm.WriteActive());
    const QList<Messages::Shown> shown = Messages::shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Messages::Kind::Error);
    QCOMPARE(shown[0].text, QStringLiteral("База временно занята ."));
    QCOMPARE(count(dm, QStringLiteral("Lines")), 0);
    // The next write goes through as usual.
    QCOMPARE(write(dm, QStringLiteral("INSERT INTO Lines (NumberLine) VALUES (1)")), QString());
}

KELVORA_TEST_MAIN(TestDataModule)
#include "test_datamodule.moc"
