// Checks of the line-load figures shared by the suites of the computation and of its run.
#pragma once

#include "runs/LineLoad.h"

#include <QTest>

namespace test {

/// Compares the figures of `got` with `want`, hour by hour and line by line (the design traffic
/// and the days apart); the test case fails at the first that differs (check
/// QTest::currentTestFailed() after it).
inline void compareLineLoad(const LineLoadResult& got, const LineLoadResult& want)
{
    QCOMPARE(got.days, want.days);
    QCOMPARE(got.countedSeconds, want.countedSeconds);
    for (std::size_t h = 0; h < got.hours.size(); ++h) {
        QCOMPARE(got.hours[h].counted, want.hours[h].counted);
        QCOMPARE(got.hours[h].busy, want.hours[h].busy);
        QCOMPARE(got.hours[h].peak, want.hours[h].peak);
        QCOMPARE(got.hours[h].erlangs, want.hours[h].erlangs);
    }
    QCOMPARE(got.busyHour, want.busyHour);
    QCOMPARE(got.busiestClockHour, want.busiestClockHour);
    QCOMPARE(got.busiestClockHourErlangs, want.busiestClockHourErlangs);
    QCOMPARE(got.peak, want.peak);
    QCOMPARE(got.peakFirst, want.peakFirst);
    QCOMPARE(got.allBusy, want.allBusy);
    QCOMPARE(got.calls, want.calls);
    QCOMPARE(got.lastDay, want.lastDay);
    QCOMPARE(got.periodSeconds, want.periodSeconds);
    QCOMPARE(got.lines.size(), want.lines.size());
    for (std::size_t i = 0; i < want.lines.size(); ++i) {
        QCOMPARE(got.lines[i].busy, want.lines[i].busy);
        QCOMPARE(got.lines[i].calls, want.lines[i].calls);
        QCOMPARE(got.lines[i].longest, want.lines[i].longest);
    }
}

} // namespace test
