// Logging in to a database on a Firebird server on 127.0.0.1, with real credentials.
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "app/TPassForm.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "db/Transaction.h"
#include "support/CallData.h"
#include "support/MainControls.h"
#include "ui/controls/TComboQuery.h"
#include "ui/main/CallsTab.h"
#include "ui/main/TMainForm.h"

#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { Messages::setTestMode(true); }
    void loginWithRealCredentials();
    void aStoppedServerIsReconnected();

private:
    /// The server's name of a database file in `dir`, a folder the server may enter.
    QString databaseIn(const QTemporaryDir& dir) const;

    QString m_password;
    QString m_address;
};

void TestServer::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
    m_password = test::serverPassword();
    m_address = test::serverAddress();
    if (m_password.isEmpty() || m_address.isEmpty())
        QFAIL("the server fixture did not start a server (see firebird_server_start)");
}

QString TestServer::databaseIn(const QTemporaryDir& dir) const
{
    // The server may run as its own user: let it into the folder.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
    return m_address + u':' + dir.filePath(QStringLiteral("calls.fdb"));
}

void TestServer::loginWithRealCredentials()
{
    QTemporaryDir dir;
    const QString name = databaseIn(dir);
    const QStringList sysdba = demo::localParams(QStringLiteral("SYSDBA"), m_password);
    {
        db::Database creator;
        try {
            demo::createDatabase(creator, name, sysdba);
        } catch (const db::DbError& e) {
            QFAIL(qPrintable(QStringLiteral("no server on 127.0.0.1: ") + e.message()));
        }
    }
    QFile ini(dir.filePath(QStringLiteral("kelvora.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[RemoteBD]\r\nName=" + name.toUtf8() + "\r\n");
    ini.close();

    TDM dm(dir.path());
    TPassForm form(dm);
    form.show();
    form.eUserName->setText(QStringLiteral("SYSDBA"));
    form.meUserPass->setText(m_password + QStringLiteral("x"));
    QTest::mouseClick(form.bbOk, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown()[0].text, QStringLiteral("Невозможно открыть базу данных !"));
    QVERIFY(!dm.MainObject->Connected);

    form.meUserPass->setText(m_password);
    QTest::mouseClick(form.bbOk, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY(dm.MainObject->Connected);
    QVERIFY(dm.ibTranRO.active());

    // Another client, the collector, adds a call; re-reading shows it without a restart.
    dm.IBSQL.sql().add(QStringLiteral("SELECT COUNT(*) FROM Rings"));
    dm.IBSQL.execQuery();
    QCOMPARE(dm.IBSQL.fields().front()->asInteger(), 0);
    db::Database collector;
    collector.setDatabaseName(name);
    collector.params() = sysdba;
    collector.open();
    demo::DemoData data;
    data.addCallNow(collector);
    dm.IBSQL.execQuery();
    QCOMPARE(dm.IBSQL.fields().front()->asInteger(), 1);
}

namespace {
// Kills the test run's server or starts it again on its port.
bool server(const char* command)
{
    return QProcess::execute(
               QStringLiteral("bash"),
               {QStringLiteral(KELVORA_SOURCE_DIR "/tests/support/firebird-server.sh"),
                QLatin1String(command), QStringLiteral(KELVORA_TEST_BINARY_DIR)}) == 0;
}
} // namespace

void TestServer::aStoppedServerIsReconnected()
{
    QTemporaryDir dir;
    const QString name = databaseIn(dir);
    const QStringList sysdba = demo::localParams(QStringLiteral("SYSDBA"), m_password);
    {
        db::Database creator;
        demo::createDatabase(creator, name, sysdba);
        db::Transaction tr(creator);
        tr.start();
        db::Sql sql(creator, tr);
        const QDateTime at(QDate(2026, 3, 1), QTime(10, 0));
        for (const QString& s :
             {QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)"),
              QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов')"),
              test::insertCall(at, 30, 8125551, 1, 101),
              test::insertCall(at.addSecs(60), 40, 0, 1, 101)}) {
            sql.sql().clear();
            sql.sql().add(s);
            sql.execQuery();
        }
        tr.commit();
    }
    TDM dm(dir.path());
    dm.ibDatabase.setDatabaseName(name);
    dm.ibDatabase.params() = sysdba;
    dm.ibDatabase.open();
    dm.ibTranRO.start();
    dm.RememberDatabaseFile();
    dm.MainObject->Connected = true;
    TMainForm form;
    const test::MainControls tabs(form);
    form.setDataModule(dm);
    form.show();
    QVERIFY(QTest::qWaitFor([&] { return tabs.cqUsers->count() > 1; }));
    tabs.dOT->setDate(QDate(2026, 3, 1));
    tabs.dDo->setDate(QDate(2026, 3, 1));
    QTest::mouseClick(tabs.sbStart, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !form.TabSheet1->loading(); }));
    QCOMPARE(tabs.PanelTotalString->text(), QStringLiteral("2"));

    // The server goes away: said in the program's words, the rows on show stay.
    QVERIFY(server("halt"));
    Messages::clearShown();
    QTest::mouseClick(tabs.sbStart, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    // Told once, then why in the program's words, the client's own text only after
    // "подробности:", as a new connection meets it.
    QString told = QStringLiteral("Соединение с базой данных потеряно. Подключиться снова не "
                                  "удалось: ");
    db::Database probe;
    probe.setDatabaseName(name);
    probe.params() = sysdba;
    try {
        probe.open();
    } catch (const db::DbError& e) {
        QVERIFY(!TDM::ConnectionFailureWords(e).isEmpty());
        told += TDM::ConnectionFailureWords(e) + QStringLiteral(" (подробности: ") +
                e.message().trimmed() + QStringLiteral(").");
    }
    QVERIFY2(Messages::shown()[0].text == told,
             qPrintable(Messages::shown()[0].text + QStringLiteral(" <> ") + told));
    const QString before = told.section(QStringLiteral("(подробности:"), 0, 0);
    QVERIFY2(!before.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(before));
    QCOMPARE(tabs.PanelTotalString->text(), QStringLiteral("2"));
    QCOMPARE(tabs.GridRings->model()->rowCount(), 2);
    // Still away: every action says so again and the program stays usable.
    Messages::clearShown();
    QTest::mouseClick(tabs.sbStart, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY2(Messages::shown()[0].text == told,
             qPrintable(Messages::shown()[0].text + QStringLiteral(" <> ") + told));
    QCOMPARE(tabs.GridRings->model()->rowCount(), 2);

    // The server is back: the next action connects again with the login's credentials.
    QVERIFY(server("resume"));
    Messages::clearShown();
    tabs.dDo->setDate(QDate(2026, 3, 2));
    QTest::mouseClick(tabs.sbStart, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !form.TabSheet1->loading(); }));
    QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));
    QCOMPARE(tabs.PanelTotalString->text(), QStringLiteral("2"));
    QVERIFY(dm.ibTranRO.active());
    dm.StartWrite();
    QVERIFY(dm.WriteActive());
    dm.ibTran.rollback();
    form.close();
}

KELVORA_TEST_MAIN(TestServer)
#include "test_server.moc"
