// The long runs as plain jobs, without a window: their figures, a stop in the middle of each
// and a connection lost during each.
#include "support/CallData.h"
#include "support/LineLoadChecks.h"
#include "support/ReadingPlace.h"
#include "support/TestMain.h"

#include "data/TDM.h"
#include "runs/Job.h"
#include "runs/LineLoadRun.h"
#include "runs/ReportRun.h"
#include "runs/ShareRun.h"
#include "settings/TMainObject.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

namespace {

// Every other attachment cut off, as by a server going away.
void cutOthers(test::TestDatabase& t)
{
    t.exec({QStringLiteral("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> "
                           "CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0")});
}

// Waits for the run's end; the state it ended in.
template <class Run> runs::RunState ended(Run& run)
{
    QSignalSpy spy(&run, &Run::finished);
    if (run.running() && !spy.wait(120000))
        return runs::RunState::Running;
    return run.state();
}

// Holds the run's job at its first news until the test has stopped the run.
struct Hold
{
    QSemaphore reached;
    QSemaphore released;
    template <class News> std::function<void(News)> hook()
    {
        return [this, first = std::make_shared<bool>(true)](News) {
            if (std::exchange(*first, false)) {
                reached.release();
                released.acquire();
            }
        };
    }
    // Stops `run` once its job is held, and lets the job go on.
    template <class Run> void stop(Run& run)
    {
        reached.acquire();
        run.stop();
        released.release();
    }
};

// The run ends failed, its failure told as a lost connection.
#define FAILS_AS_LOST_CONNECTION(run)                                                              \
    QCOMPARE(ended(run), runs::RunState::Failed);                                                  \
    QVERIFY2(runs::failureText((run).failure()).contains(TDM::ConnectionLostText()),               \
             qPrintable(runs::failureText((run).failure())))

ShareRun::Request shareRequest(const test::TestDatabase& t, ShareRun::Measure measure)
{
    ShareRun::Request r;
    r.place = test::readingPlace(t);
    r.measure = measure;
    r.period = {QDate(2026, 3, 1), QDate(2026, 3, 2)};
    r.keyColumn = stmt::TalkSum::LineColumn;
    r.keys = {1, 2};
    r.book = std::make_shared<const tariff::TariffBook>();
    return r;
}

LineLoadRun::Request lineLoadRequest(const test::TestDatabase& t, const QDate& from,
                                     const QDate& to, int workers)
{
    LineLoadRun::Request r;
    r.place = test::readingPlace(t);
    r.options.from = from;
    r.options.to = to;
    r.options.lines = {1, 2};
    r.workers = workers;
    return r;
}

} // namespace

class TestRuns : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("kelvora")); }
    void statistics();
    void lineLoadInPieces();
    void lineLoadStopAndLostConnection();
    void reportRun();
    void reportStopAndLostConnection();
};

void TestRuns::statistics()
{
    TEST_SMALL_CALL_LOG(t);
    ShareRun run;
    run.start(shareRequest(t, ShareRun::Measure::TalkTime));
    QCOMPARE(ended(run), runs::RunState::Finished);
    QCOMPARE(run.result().total.value, 3820);
    QCOMPARE(run.result().items.size(), std::size_t(2));
    QCOMPARE(run.result().items[0].value + run.result().items[1].value, 3820);

    // Stopped once attached, before the total: nothing counted is kept.
    Hold hold;
    run.setStepHook(hold.hook<qint64>());
    run.start(shareRequest(t, ShareRun::Measure::TalkTime));
    hold.stop(run);
    QCOMPARE(ended(run), runs::RunState::Stopped);
    QCOMPARE(run.result().total.value, 3820); // the last finished run's

    // The cost read with its attachment cut off fails with the database's own error.
    test::addManyCalls(t, 60000);
    run.setStepHook([&t](qint64) { cutOthers(t); });
    run.start(shareRequest(t, ShareRun::Measure::Cost));
    FAILS_AS_LOST_CONNECTION(run);
}

void TestRuns::lineLoadInPieces()
{
    TEST_SMALL_CALL_LOG(t);
    // Calls on both lines over six weeks, some across midnight.
    QStringList calls;
    for (int day = 0; day < 42; ++day)
        for (int i = 0; i < 5; ++i)
            calls << test::insertCall(QDateTime(QDate(2026, 1, 1).addDays(day),
                                                QTime(9 + 3 * i, 17 * i % 60).addSecs(i * 3600)),
                                      600 + 300 * i, 8125550, 1 + i % 2, 101);
    t.exec(calls);
    LineLoadRun whole;
    whole.start(lineLoadRequest(t, QDate(2026, 1, 1), QDate(2026, 2, 11), 1));
    QCOMPARE(ended(whole), runs::RunState::Finished);
    LineLoadRun pieces;
    pieces.start(lineLoadRequest(t, QDate(2026, 1, 1), QDate(2026, 2, 11), 3));
    QCOMPARE(ended(pieces), runs::RunState::Finished);
    const LineLoadResult& a = whole.result();
    const LineLoadResult& b = pieces.result();
    QCOMPARE(a.calls, qint64(42 * 5));
    test::compareLineLoad(b, a);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(b.designErlangs, a.designErlangs);
}

void TestRuns::lineLoadStopAndLostConnection()
{
    TEST_SMALL_CALL_LOG(t);
    test::addManyCalls(t, 60000);
    LineLoadRun run;
    Hold hold;
    run.setStepHook(hold.hook<qint64>());
    run.start(lineLoadRequest(t, QDate(2026, 3, 1), QDate(2026, 3, 2), 1));
    hold.stop(run);
    QCOMPARE(ended(run), runs::RunState::Stopped);
    QVERIFY(!run.failure());

    // Cut off in the middle of the read: the database's error, told as a lost connection.
    run.setStepHook([&t](qint64) { cutOthers(t); });
    run.start(lineLoadRequest(t, QDate(2026, 3, 1), QDate(2026, 3, 2), 1));
    FAILS_AS_LOST_CONNECTION(run);
}

namespace {

ReportRun::Request reportRequest(const test::TestDatabase& t, const TMainObject& settings,
                                 ReportKind kind, const QString& templateName)
{
    ReportRun::Request r;
    r.place = test::readingPlace(t);
    r.kind = kind;
    r.from = QDate(2026, 3, 1);
    r.to = QDate(2026, 3, 2);
    r.settings = &settings;
    r.showPages = true;
    if (!r.layout.load(QStringLiteral(KELVORA_SOURCE_DIR "/templates/") + templateName))
        qWarning() << r.layout.errorString();
    return r;
}

} // namespace

void TestRuns::reportRun()
{
    TEST_SMALL_CALL_LOG(t);
    const TMainObject settings(t.dir());
    ReportRun run;
    run.start(reportRequest(t, settings, ReportKind::BySubscriber, QStringLiteral("report1.frf")));
    QCOMPARE(ended(run), runs::RunState::Finished);
    QCOMPARE(run.totals().SCntAllRing, 4);
    QCOMPARE(run.totals().SAllRing, 3870);
    QVERIFY(run.pages() && run.pages()->pages.size() == 1);

    // The cost report on a database without tariffs finishes with no pages.
    run.start(reportRequest(t, settings, ReportKind::Cost, QStringLiteral("report4.frf")));
    QCOMPARE(ended(run), runs::RunState::Finished);
    QVERIFY(run.noTariffs() && !run.pages());
}

void TestRuns::reportStopAndLostConnection()
{
    TEST_SMALL_CALL_LOG(t);
    test::addManyCalls(t, 30000);
    const TMainObject settings(t.dir());
    ReportRun run;
    QSignalSpy copies(&run, &ReportRun::pagesLaidOut);
    Hold hold;
    run.setStepHook(hold.hook<int>());
    run.start(reportRequest(t, settings, ReportKind::Detailed, QStringLiteral("report2.frf")));
    hold.stop(run);
    QCOMPARE(ended(run), runs::RunState::Stopped);
    QVERIFY(!run.pages() && !run.failure());

    // The detailed report shows its first pages while it goes on; cut off then, it fails
    // with the database's error and keeps no pages.
    run.setStepHook([&t, cut = false](int pages) mutable {
        if (pages > 3 && !std::exchange(cut, true))
            cutOthers(t);
    });
    run.start(reportRequest(t, settings, ReportKind::Detailed, QStringLiteral("report2.frf")));
    FAILS_AS_LOST_CONNECTION(run);
    QVERIFY(!run.pages());
    QVERIFY(!copies.isEmpty());
}

KELVORA_TEST_MAIN(TestRuns)
#include "test_runs.moc"
