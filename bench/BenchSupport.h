// Shared pieces of the benchmarks: the big database, timing, memory and a raw fetch.
#pragma once

#include "data/TDM.h"
#include "support/MainControls.h"
#include "ui/main/TMainForm.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <vector>

namespace bench {

/// What every benchmark starts with: the application object on the offscreen platform (unless
/// another is set) under the program's name, the numbers of its command line (the calls in the
/// benchmark database, first, and the rounds, second), the database and the period measured.
struct Setup
{
    Setup(int& argc, char** argv, qint64 defaultCalls = 1000000, int defaultRounds = 3);
    QApplication app;
    qint64 calls;
    int rounds;
    QString database; // bigDatabase(calls)
    QDate to = QDate::currentDate();
    QDate from = to.addYears(-1); // the year up to today
};

/// The data module attached to the benchmark database as a successful login leaves it.
void login(TDM& dm, const QString& path);

/// The program logged in to the benchmark database with its main window up and its call
/// filters filled (the benchmark ends with 1 when they never fill).
struct MainWindow
{
    explicit MainWindow(const QString& path);
    QTemporaryDir dir;
    TDM dm{dir.path()};
    TMainForm form;
    test::MainControls tabs{form};
};

/// Path of a database with `calls` calls over the year before today, made once and reused
/// (its name carries the number of calls). Prints what it does.
QString bigDatabase(qint64 calls);

/// Resident memory of the process in bytes (0 where unknown).
qint64 residentBytes();
/// Peak resident memory of the process in bytes (0 where unknown).
qint64 peakResidentBytes();
/// Starts the peak over at the present resident memory (Linux; elsewhere nothing).
void resetPeakResident();

/// The statement's lines as one text with its :d1 and :d2 made positional parameters, as
/// rawFetch takes them.
QString positional(const QStringList& lines);

/// The least of the values (a benchmark's best round).
double best(const std::vector<double>& values);

/// Milliseconds taken by fn.
double timeMs(const std::function<void()>& fn);

/// The statement run through the object API alone: prepare, bind two timestamps (when the
/// statement has them), fetch every row and sum the 64-bit column `sumColumn` (index).
/// Returns the sum; rows into `rows`, and when asked the milliseconds until the first row came.
qint64 rawFetch(const QString& database, const QString& sql, const QDateTime& d1,
                const QDateTime& d2, int sumColumn, qint64& rows, double* firstRowMs = nullptr);

/// How long the window went without answering: a 1 ms timer ticks on the event loop from
/// start() on, and the longest wait between two ticks is kept. `onTick` runs at every tick.
class LoopWatch
{
public:
    LoopWatch();
    /// Starts the clock and the ticks (the clock, the gap and its time from now).
    void start();
    void stop() { m_tick.stop(); }
    /// Counts no gap up to now: the time the benchmark itself spent drawing, say.
    void skipGap() { m_lastTick = m_clock.nsecsElapsed(); }
    double elapsedMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }
    double longestGapMs() const { return m_longestGapMs; }
    /// When the longest gap ended, in ms from start().
    double longestGapAtMs() const { return m_longestGapAtMs; }
    /// Starts, runs `press` (its own time counts as no gap) and then the event loop until
    /// `finished` holds at a tick; returns the milliseconds from the start until then.
    double runUntil(const std::function<void()>& press, const std::function<bool()>& finished);
    std::function<void()> onTick;

private:
    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_lastTick = 0;
    double m_longestGapMs = 0;
    double m_longestGapAtMs = 0;
};

} // namespace bench
