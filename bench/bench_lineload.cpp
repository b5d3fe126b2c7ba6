// The load of lines over a year of calls (1,000,000 by default): from the press of "Показать" to
// the figures on show, with the longest time the event loop went without a timer tick, against
// the plain fetch of the same statement with the object API, in one run.
#include "BenchSupport.h"

#include "data/Statements.h"
#include "data/TDM.h"
#include "runs/LineLoad.h"
#include "ui/main/TMainForm.h"
#include "ui/stats/TLineLoadForm.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

struct Run
{
    double ms = 0;
    double longestGapMs = 0;
};

// Presses "Показать" and runs the event loop until the figures are on show, ticking a 1 ms
// timer the while.
Run measure(TLineLoadForm& form)
{
    Run run;
    bench::LoopWatch watch;
    run.ms = watch.runUntil([&] { form.bbSave->click(); }, [&] { return !form.running(); });
    run.longestGapMs = watch.longestGapMs();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    bench::Setup setup(argc, argv);
    bench::MainWindow program(setup.database);
    TDM& dm = program.dm;
    TLineLoadForm form(dm, setup.from, setup.to, *program.tabs.cqLines);

    // The same statement, its talk time summed as a 64-bit column so every row is read.
    const QDateTime d1 = QDateTime(setup.from, QTime(0, 0)).addSecs(-LineLoad::carryIn());
    const QDateTime d2(setup.to, QTime(23, 59, 59, 59));
    const QString raw = bench::positional(stmt::lineLoadCalls(d1, d2, true).lines);
    std::vector<double> ours;
    std::vector<double> plain;
    double worstGap = 0;
    qint64 rows = 0;
    for (int round = 0; round < setup.rounds; ++round) {
        bench::resetPeakResident();
        const qint64 before = bench::residentBytes();
        const Run r = measure(form);
        const qint64 peak = bench::peakResidentBytes() - before;
        ours.push_back(r.ms);
        worstGap = std::max(worstGap, r.longestGapMs);
        plain.push_back(
            bench::timeMs([&] { bench::rawFetch(setup.database, raw, d1, d2, 2, rows); }));
        std::printf("round %d: figures %.0f ms (%lld calls counted, peak %d lines, busy hour %d "
                    "at %.3f E), longest gap %.1f ms, memory +%.1f MB; plain fetch %.0f ms "
                    "(%lld rows)\n",
                    round + 1, r.ms, form.result().calls, form.result().peak,
                    form.result().busyHour, form.result().busyHourErlangs, r.longestGapMs,
                    double(peak) / 1e6, plain.back(), rows);
        std::fflush(stdout);
    }
    // The sweep alone, over as many calls held in memory: 40 lines, calls of up to 10 minutes
    // spread over the year.
    std::vector<int> lineNumbers(40);
    for (int i = 0; i < 40; ++i)
        lineNumbers[std::size_t(i)] = i + 1;
    QRandomGenerator random(1);
    std::vector<qint64> starts(std::size_t(std::max<qint64>(setup.calls, 1)));
    const qint64 first = LineLoad::secondOf(setup.from, QTime(0, 0));
    const qint64 span = (setup.to.toJulianDay() - setup.from.toJulianDay() + 1) * 86400;
    for (qint64& start : starts)
        start = first + qint64(random.bounded(quint64(span)));
    std::sort(starts.begin(), starts.end());
    LineLoadOptions options;
    options.from = setup.from;
    options.to = setup.to;
    options.lines = lineNumbers;
    const double sweepMs = bench::timeMs([&] {
        LineLoad load(options);
        for (std::size_t i = 0; i < starts.size(); ++i)
            load.add(starts[i], qint64(i * 7919 % 600), int(i % 40) + 1);
        load.finish();
    });
    std::printf("the sweep alone over %lld calls in memory: %.0f ms\n", qint64(starts.size()),
                sweepMs);
    const double best = bench::best(ours);
    const double bestPlain = bench::best(plain);
    std::printf("best: figures %.0f ms (goal <= 2000 for a million), plain fetch %.0f ms, ratio "
                "%.2f; longest event-loop gap %.1f ms (goal <= 50)\n",
                best, bestPlain, best / bestPlain, worstGap);
    return 0;
}
