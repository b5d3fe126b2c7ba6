// Small call-log data sets made for the tests.
#pragma once

#include "support/TestDatabase.h"

#include <QDateTime>

namespace test {

/// One call as the collector writes it (the parts taken from `when`, fractions of a second
/// kept in RingDate only).
QString insertCall(const QDateTime& when, int seconds, double numberOut, int line, int numberIn);

/// Lines 1 (2150001) and 2 (2150002); users 101 "Иванов Иван Петрович" and 102 "Петрова Анна
/// Сергеевна"; calls on 1 and 2 March 2026 and around them, including calls whose line or
/// subscriber is not in the directories and one at 23:59:59.5 of 2 March.
void fillSmallCallLog(TestDatabase& t);

/// `count` more calls on 1 March 2026 from 10:00, one a second, on line 1 by subscriber 101,
/// lasting 1 to 59 s: a call log long enough for a report to take its time.
void addManyCalls(TestDatabase& t, int count);

/// The demo directories and `calls` demo calls spread from 1 January 2026 to `last`: a log busy
/// enough that reading it takes several slices.
void fillDemoLog(TestDatabase& t, qint64 calls, const QDateTime& last);

} // namespace test

/// A test database `t` made and filled with the small call log; the test fails when it cannot
/// be made.
#define TEST_SMALL_CALL_LOG(t)                                                                     \
    test::TestDatabase t;                                                                          \
    TEST_CREATE_DATABASE(t);                                                                       \
    test::fillSmallCallLog(t)

/// A test database `t` made and filled with the demo log of `calls` calls up to `last`; the
/// test fails when it cannot be made.
#define TEST_DEMO_CALL_LOG(t, calls, last)                                                         \
    test::TestDatabase t;                                                                          \
    TEST_CREATE_DATABASE(t);                                                                       \
    test::fillDemoLog(t, calls, last)
