// How many exchange lines are busy at once, hour by hour and line by line, from calls in date
// order.
#pragma once

#include <QDate>
#include <QDateTime>

#include <array>
#include <vector>

/// What a computation counts: the period's days, the chosen lines and, optionally, working
/// hours and days.
struct LineLoadOptions
{
    QDate from;
    QDate to;
    std::vector<int> lines; ///< NumberLine of each chosen line; calls on other lines are ignored
    /// Only the hours [hourFrom, hourTo) of the days checked in `days` count; off: every hour
    /// of every day of the period.
    bool workingTime = false;
    int hourFrom = 9;
    int hourTo = 18;
    std::array<bool, 7> days{true, true, true, true, true, false, false}; ///< Monday first
    /// The period goes on one swept before it (a piece of split() but the first): a call begun
    /// before the period is that one's, unless it reached no counted time there.
    bool continuesEarlier = false;
};

/// The figures of one hour of the day (0-23) over all counted days.
struct LineLoadHour
{
    bool counted = false; ///< the hour lies in the counted time
    qint64 busy = 0;      ///< busy line-seconds
    double erlangs = 0;   ///< busy / (3600 x counted days): the mean number of lines busy
    int peak = 0;         ///< the most lines busy at once in this hour on any day
};

/// The figures of one day of the period.
struct LineLoadDay
{
    QDate date;
    qint64 countedSeconds = 0;  ///< the day's counted time by the hours and days chosen
    qint64 busy = 0;            ///< busy line-seconds in its counted time
    int peak = 0;               ///< the most lines busy at once in its counted time
    int busiestHour = -1;       ///< its clock hour (0-23) with the most traffic; -1: no traffic
    qint64 busiestHourBusy = 0; ///< busy line-seconds in that hour
    bool counted = false;       ///< a counted day: counted time, not after the last call
    int rank = 0;        ///< 1 for the counted day with the busiest hour, ...; 0: not counted
    bool design = false; ///< one of the busiest days the design traffic is the mean over
};

/// The figures of one chosen line.
struct LineLoadLine
{
    int line = 0;
    qint64 calls = 0;   ///< calls that took the line in the counted time (begun in it or earlier)
    qint64 busy = 0;    ///< seconds of the counted time the line was busy
    qint64 longest = 0; ///< talk time of the longest of those calls
    double sharePeriod = 0;  ///< busy over the whole period, 0..1
    double shareCounted = 0; ///< busy over the counted time (the working time), 0..1
};

/// Everything the window shows.
///
/// The log says nothing of the days after its last call (a period may end in the future): the
/// counted days are the days of the period with counted time up to the day of the last second
/// of the last call read, on any line; the means are taken over them.
///
/// The lines are sized for the design traffic: the mean of the busiest clock hour of each of the
/// busiest counted days, ranked by that hour's traffic (BusiestDays of them, or all when there
/// are fewer).
struct LineLoadResult
{
    /// How many busiest days the design traffic is the mean over.
    static constexpr int BusiestDays = 10;

    int lineCount = 0;         ///< N, the chosen lines
    int days = 0;              ///< counted days (of the checked weekdays, up to the last call)
    QDate lastDay;             ///< the day of the last call's last second in the period; null: none
    qint64 periodSeconds = 0;  ///< the period up to the end of lastDay, around the clock
    qint64 countedSeconds = 0; ///< the counted time of the counted days
    std::array<LineLoadHour, 24> hours{};
    int busyHour = -1;              ///< hour of the day with the most traffic; -1: no traffic
    double busyHourErlangs = 0;     ///< its mean traffic over the counted days
    std::vector<LineLoadDay> daily; ///< every day of the period, in order
    int designDays = 0;             ///< the busiest days the design traffic is the mean over
    double designErlangs = 0;       ///< the design traffic, the A of Erlang B
    QDateTime busiestClockHour;     ///< start of the single busiest hour of the period; null: none
    double busiestClockHourErlangs = 0;
    int peak = 0;                    ///< the most lines busy at once
    QDateTime peakFirst;             ///< when that first happened; null when nothing was busy
    qint64 allBusy = 0;              ///< seconds when every chosen line was busy at once
    std::vector<LineLoadLine> lines; ///< in the order of the options' lines
    qint64 calls = 0;                ///< calls that took a chosen line in the counted time
};

/// One sweep over the calls in RingDate order, keeping only the calls still in progress.
///
/// A call occupies its line from its start for its talk time; a call of 0 seconds occupies
/// nothing. A line is busy while at least one of its calls is in progress, so two records that
/// overlap on one line never make it count twice. Calls that began before the period (up to
/// carryIn() earlier) occupy its first seconds; a call running past the end of the period counts
/// up to that end. A line's calls are those that took it in the counted time: begun in it, or
/// begun earlier and still going on in it (a call of 0 seconds: begun in it). Everything is
/// counted in whole seconds; times are the database's local times, every day 86,400 seconds
/// long.
class LineLoad
{
public:
    /// How long before the period calls are read for the time they run into it.
    static constexpr qint64 carryIn() { return 86400; }

    explicit LineLoad(LineLoadOptions options);

    /// The second a date-time falls in (fractions dropped), on the scale add() takes.
    static qint64 secondOf(const QDate& date, const QTime& time);
    static QDateTime dateTimeOf(qint64 second);

    /// The period of `whole` cut at midnights into at most `parts` consecutive pieces of at least
    /// `minDays` days each (one piece when it is shorter), each to be swept on its own, calls
    /// read from carryIn() before its first day.
    static std::vector<LineLoadOptions> split(const LineLoadOptions& whole, int parts, int minDays);
    /// The figures of the pieces of split(), in their order, as one sweep over the whole period
    /// gives them.
    static LineLoadResult combine(const std::vector<LineLoadResult>& pieces);

    /// The next call: its start (secondOf), talk seconds and line. Starts must not decrease.
    void add(qint64 start, qint64 length, int line);
    /// Ends the sweep at the end of the period and works out the figures; add() no more.
    const LineLoadResult& finish();
    const LineLoadResult& result() const { return m_result; }

private:
    struct Running
    {
        qint64 end;
        int line; // index into the chosen lines
        bool operator>(const Running& o) const { return end > o.end; }
    };

    /// Works out the counted days, the means, the busy hour, the busiest days, the design
    /// traffic and the shares from the sums.
    static void derive(LineLoadResult& result);
    /// By the chosen weekdays and hours alone, whatever the period.
    bool dayChosen(qint64 day) const;
    bool hourChosen(qint64 clockHour) const;
    bool hourCounted(qint64 clockHour) const;
    qint64 countedSeconds(qint64 from, qint64 to) const;
    /// Whether any second of [from, to) lies in a chosen hour (in the period when `inPeriod`).
    bool anyChosen(qint64 from, qint64 to, bool inPeriod) const;
    void advanceTo(qint64 t);
    void accumulate(qint64 from, qint64 to);
    void closeClockHour();
    int lineIndex(int line) const;

    LineLoadOptions m_options;
    qint64 m_periodStart = 0; // first second of the period
    qint64 m_periodEnd = 0;   // first second after it
    qint64 m_now = 0;
    bool m_started = false;
    std::vector<Running> m_running; // a heap: the call that ends first on top
    std::vector<int> m_sortedLines; // line numbers, sorted, with their indexes below
    std::vector<int> m_sortedIndex;
    std::vector<int> m_activeCalls; // per line: calls in progress
    std::vector<qint64> m_busySince;
    int m_busyLines = 0;
    qint64 m_clockHour = -1; // the clock hour being added up
    qint64 m_clockHourBusy = 0;
    qint64 m_bestClockHourBusy = 0;
    qint64 m_bestClockHour = -1;
    qint64 m_lastSecond = -1; // the last second of the calls read, in the period; -1: none
    LineLoadResult m_result;
    bool m_finished = false;
};
