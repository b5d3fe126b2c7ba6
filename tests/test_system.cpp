// The program where it meets the system around it: other processes writing to the same local
// database file while the main window is open.
#include "support/CallData.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "db/EmbeddedEngine.h"
#include "support/MainWindowSession.h"
#include "ui/main/CallsTab.h"
#include "ui/main/TMainForm.h"

#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <csignal>

namespace {

QProcessEnvironment sharedEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& line : db::EmbeddedEngine::environment())
        env.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    return env;
}

// Runs a program to its end; its output when it fails.
QString run(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.setProcessEnvironment(sharedEnvironment());
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return program + QStringLiteral(" did not start");
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        return program + QStringLiteral(" did not finish");
    const QString out =
        QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    if (p.exitCode() != 0 || out.contains(QLatin1String("Statement failed")))
        return out.isEmpty() ? program + QStringLiteral(" failed") : out;
    return {};
}

} // namespace

class TestSystem : public QObject
{
    Q_OBJECT
private slots:
    void init() { Messages::setTestMode(true); }
    void otherProcessesWriteWhileTheProgramIsOpen();
    void terminationEndsTheProgramInOrder();
};

void TestSystem::otherProcessesWriteWhileTheProgramIsOpen()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    demo::DemoData data;
    data.fillDirectories(t.database());
    t.database().close();

    test::MainWindowSession s(t);
    QVERIFY(s.ok);
    QCOMPARE(s.tabs.dOT->date(), QDate::currentDate());
    QTest::mouseClick(s.tabs.sbStart, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !s.form.TabSheet1->loading(); }));
    QCOMPARE(s.tabs.PanelTotalString->text(), QStringLiteral("0"));

    // The demo collector adds five calls of now, in a process of its own.
    const QString collector =
        run(QStringLiteral(KELVORA_DEMO_EXE),
            {QStringLiteral("live"), t.path(), QStringLiteral("--count"), QStringLiteral("5"),
             QStringLiteral("--rate"), QStringLiteral("60000")});
    QVERIFY2(collector.isEmpty(), qPrintable(collector));
    // And isql-fb one more, on line 1 for subscriber 101 of the directories.
    const QString isql = run(
        QStringLiteral("isql-fb"),
        {QStringLiteral("-q"), QStringLiteral("-u"), QStringLiteral("SYSDBA"), t.path()},
        (test::insertCall(QDateTime(QDate::currentDate(), QTime(0, 0, 1)), 75, 5551234, 1, 101) +
         QStringLiteral(";\ncommit;\n"))
            .toUtf8());
    QVERIFY2(isql.isEmpty(), qPrintable(isql));

    // A second copy of the program's data module on the same file sees all six; the window
    // shows those whose line and subscriber are in the directories (the collector also makes
    // calls of extensions nobody entered).
    TDM second(t.dir());
    test::login(second, t.path());
    second.IBSQL.sql().add(QStringLiteral("SELECT COUNT(*) FROM Rings"));
    second.IBSQL.execQuery();
    QCOMPARE(second.IBSQL.fields().front()->asInteger(), 6);
    second.IBSQL.sql().clear();
    second.IBSQL.sql().add(QStringLiteral("SELECT COUNT(*) FROM Rings R, Lines L, Users U WHERE "
                                          "R.RLine = L.NumberLine AND R.NumberIn = U.NumberIn"));
    second.IBSQL.execQuery();
    const int shown = second.IBSQL.fields().front()->asInteger();
    QVERIFY(shown >= 1);

    QTest::mouseClick(s.tabs.sbStart, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !s.form.TabSheet1->loading(); }));
    QVERIFY(Messages::shown().isEmpty());
    QCOMPARE(s.tabs.PanelTotalString->text(), QString::number(shown));
}

// Before a login nothing is written at the end; what matters is an orderly end, not a death by
// the signal, with the settings file as it was.
void TestSystem::terminationEndsTheProgramInOrder()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.database().close();
    // The program reads its settings beside its executable: a copy of it in the test's folder.
    const QString exe = t.dir() + QStringLiteral("/kelvora");
    QVERIFY(QFile::copy(QStringLiteral(KELVORA_EXE), exe));
    const QString ini =
        t.writeIni(QStringLiteral("kelvora.ini"), QStringLiteral("[RemoteBD]\nName=") + t.path());
    QProcess program;
    QProcessEnvironment env = sharedEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(exe, {});
    QVERIFY(program.waitForStarted(10000));
    // The program has taken over SIGTERM (the kernel lists the signals a process catches).
    const auto catchesTerm = [&program] {
        QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
        return false;
    };
    QVERIFY(QTest::qWaitFor(catchesTerm, 30000));
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate(); // SIGTERM, as a session logout sends
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QFile f(ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray written = f.readAll();
    QVERIFY(written.contains(QFile::encodeName(t.path())));
}

KELVORA_TEST_MAIN(TestSystem)
#include "test_system.moc"
