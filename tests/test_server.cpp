// Logging in to a database on a Firebird server on 127.0.0.1, with real credentials.
#include "support/TestDatabase.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "app/TPassForm.h"
#include "data/TDM.h"
#include "db/DbError.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { Messages::setTestMode(true); }
    void loginWithRealCredentials();

private:
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

void TestServer::loginWithRealCredentials()
{
    QTemporaryDir dir;
    // The server may run as its own user: let it into the folder.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString name = m_address + u':' + dir.filePath(QStringLiteral("calls.fdb"));
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

QTEST_MAIN(TestServer)
#include "test_server.moc"
