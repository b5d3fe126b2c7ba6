// The sweep over the calls: busy lines between consecutive starts and ends, added up per hour.
#include "LineLoad.h"

#include <algorithm>
#include <functional>
#include <numeric>

namespace {

constexpr qint64 Day = 86400;
constexpr qint64 Hour = 3600;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

} // namespace

LineLoad::LineLoad(LineLoadOptions options) : m_options(std::move(options))
{
    if (m_options.hourFrom < 0)
        m_options.hourFrom = 0;
    if (m_options.hourTo > 24)
        m_options.hourTo = 24;
    m_periodStart = m_options.from.toJulianDay() * Day;
    m_periodEnd = (m_options.to.toJulianDay() + 1) * Day;
    if (m_periodEnd < m_periodStart)
        m_periodEnd = m_periodStart;

    const std::size_t n = m_options.lines.size();
    m_result.lineCount = int(n);
    m_result.lines.resize(n);
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [this](int a, int b) { return m_options.lines[a] < m_options.lines[b]; });
    for (int i : order) {
        m_sortedLines.push_back(m_options.lines[i]);
        m_sortedIndex.push_back(i);
        m_result.lines[i].line = m_options.lines[i];
    }
    m_activeCalls.assign(n, 0);
    m_busySince.assign(n, 0);

    for (qint64 day = m_periodStart / Day; day < m_periodEnd / Day; ++day) {
        LineLoadDay figures;
        figures.date = QDate::fromJulianDay(day);
        for (int h = 0; h < 24; ++h)
            if (hourCounted(day * 24 + h)) {
                figures.countedSeconds += Hour;
                m_result.hours[std::size_t(h)].counted = true;
            }
        m_result.daily.push_back(figures);
    }
}

qint64 LineLoad::secondOf(const QDate& date, const QTime& time)
{
    return date.toJulianDay() * Day + time.msecsSinceStartOfDay() / 1000;
}

QDateTime LineLoad::dateTimeOf(qint64 second)
{
    const qint64 day = floorDiv(second, Day);
    return QDateTime(QDate::fromJulianDay(day), QTime(0, 0).addSecs(int(second - day * Day)));
}

bool LineLoad::dayChosen(qint64 day) const
{
    // Julian day 0 was a Monday.
    return !m_options.workingTime || m_options.days[std::size_t(day - floorDiv(day, 7) * 7)];
}

bool LineLoad::hourChosen(qint64 clockHour) const
{
    const qint64 day = floorDiv(clockHour, 24);
    if (!dayChosen(day))
        return false;
    const int hour = int(clockHour - day * 24);
    return !m_options.workingTime || (hour >= m_options.hourFrom && hour < m_options.hourTo);
}

bool LineLoad::hourCounted(qint64 clockHour) const
{
    return clockHour * Hour >= m_periodStart && clockHour * Hour < m_periodEnd &&
           hourChosen(clockHour);
}

bool LineLoad::anyChosen(qint64 from, qint64 to, bool inPeriod) const
{
    if (inPeriod) {
        from = std::max(from, m_periodStart);
        to = std::min(to, m_periodEnd);
    }
    for (qint64 clockHour = floorDiv(from, Hour); clockHour * Hour < to; ++clockHour)
        if (hourChosen(clockHour))
            return true;
    return false;
}

qint64 LineLoad::countedSeconds(qint64 from, qint64 to) const
{
    from = std::max(from, m_periodStart);
    to = std::min(to, m_periodEnd);
    qint64 total = 0;
    for (qint64 t = from; t < to;) {
        const qint64 clockHour = floorDiv(t, Hour);
        const qint64 next = std::min(to, (clockHour + 1) * Hour);
        if (hourCounted(clockHour))
            total += next - t;
        t = next;
    }
    return total;
}

int LineLoad::lineIndex(int line) const
{
    const auto it = std::lower_bound(m_sortedLines.begin(), m_sortedLines.end(), line);
    if (it == m_sortedLines.end() || *it != line)
        return -1;
    return m_sortedIndex[std::size_t(it - m_sortedLines.begin())];
}

void LineLoad::closeClockHour()
{
    if (m_clockHour >= 0) {
        const qint64 hourOfDay = m_clockHour - floorDiv(m_clockHour, 24) * 24;
        LineLoadDay& day =
            m_result.daily[std::size_t(floorDiv(m_clockHour, 24) - m_periodStart / Day)];
        if (m_clockHourBusy > day.busiestHourBusy) {
            day.busiestHourBusy = m_clockHourBusy;
            day.busiestHour = int(hourOfDay);
        }
    }
    if (m_clockHour >= 0 && m_clockHourBusy > m_bestClockHourBusy) {
        m_bestClockHourBusy = m_clockHourBusy;
        m_bestClockHour = m_clockHour;
    }
    m_clockHourBusy = 0;
}

// The same m_busyLines lines are busy all through [from, to).
void LineLoad::accumulate(qint64 from, qint64 to)
{
    if (m_busyLines == 0)
        return;
    from = std::max(from, m_periodStart);
    to = std::min(to, m_periodEnd);
    const int c = m_busyLines;
    for (qint64 t = from; t < to;) {
        const qint64 clockHour = floorDiv(t, Hour);
        const qint64 next = std::min(to, (clockHour + 1) * Hour);
        if (hourCounted(clockHour)) {
            const qint64 seconds = next - t;
            const qint64 day = floorDiv(clockHour, 24);
            LineLoadHour& h = m_result.hours[std::size_t(clockHour - day * 24)];
            h.busy += c * seconds;
            h.peak = std::max(h.peak, c);
            LineLoadDay& d = m_result.daily[std::size_t(day - m_periodStart / Day)];
            d.busy += c * seconds;
            d.peak = std::max(d.peak, c);
            if (clockHour != m_clockHour) {
                closeClockHour();
                m_clockHour = clockHour;
            }
            m_clockHourBusy += c * seconds;
            if (c > m_result.peak) {
                m_result.peak = c;
                m_result.peakFirst = dateTimeOf(t);
            }
            if (c == m_result.lineCount)
                m_result.allBusy += seconds;
        }
        t = next;
    }
}

// Ends the calls that end by t, adding up the time between.
void LineLoad::advanceTo(qint64 t)
{
    while (!m_running.empty() && m_running.front().end <= t) {
        const Running done = m_running.front();
        std::pop_heap(m_running.begin(), m_running.end(), std::greater<>());
        m_running.pop_back();
        accumulate(m_now, done.end);
        m_now = std::max(m_now, done.end);
        const auto i = std::size_t(done.line);
        if (--m_activeCalls[i] == 0) {
            --m_busyLines;
            m_result.lines[i].busy += countedSeconds(m_busySince[i], done.end);
        }
    }
    if (t > m_now) {
        accumulate(m_now, t);
        m_now = t;
    }
}

void LineLoad::add(qint64 start, qint64 length, int line)
{
    if (m_finished || start >= m_periodEnd)
        return;
    // How far the log reaches into the period: a call on any line says so.
    const qint64 last = std::max(start, start + length - 1);
    if (last >= m_periodStart)
        m_lastSecond = std::max(m_lastSecond, std::min(last, m_periodEnd - 1));
    const int index = lineIndex(line);
    if (index < 0)
        return;
    if (!m_started) {
        m_started = true;
        m_now = start;
    }
    start = std::max(start, m_now); // starts do not decrease; a late one is taken as now
    advanceTo(start);
    const auto i = std::size_t(index);
    // The call is the line's where it first took the line in counted time; a call of 0
    // seconds, where it began.
    const qint64 end = start + std::max<qint64>(length, 1);
    const bool ours = start < m_periodStart && m_options.continuesEarlier
                          ? !anyChosen(start, m_periodStart, false) && anyChosen(start, end, true)
                          : anyChosen(start, end, true);
    if (ours) {
        LineLoadLine& l = m_result.lines[i];
        ++l.calls;
        ++m_result.calls;
        l.longest = std::max(l.longest, length);
    }
    if (length <= 0 || start + length <= m_periodStart)
        return; // occupies nothing that counts
    m_running.push_back({start + length, index});
    std::push_heap(m_running.begin(), m_running.end(), std::greater<>());
    if (m_activeCalls[i]++ == 0) {
        ++m_busyLines;
        m_busySince[i] = start;
    }
}

const LineLoadResult& LineLoad::finish()
{
    if (m_finished)
        return m_result;
    m_finished = true;
    if (m_started) {
        advanceTo(std::max(m_now, m_periodEnd));
        for (std::size_t i = 0; i < m_activeCalls.size(); ++i)
            if (m_activeCalls[i] > 0)
                m_result.lines[i].busy += countedSeconds(m_busySince[i], m_periodEnd);
    }
    closeClockHour();
    m_running.clear();
    if (m_bestClockHour >= 0) {
        m_result.busiestClockHour = dateTimeOf(m_bestClockHour * Hour);
        m_result.busiestClockHourErlangs = double(m_bestClockHourBusy) / double(Hour);
    }
    if (m_lastSecond >= 0)
        m_result.lastDay = dateTimeOf(m_lastSecond).date();
    derive(m_result);
    return m_result;
}

void LineLoad::derive(LineLoadResult& r)
{
    r.days = 0;
    r.periodSeconds = 0;
    r.countedSeconds = 0;
    std::vector<LineLoadDay*> busiest;
    for (LineLoadDay& day : r.daily) {
        const bool logged = r.lastDay.isValid() && day.date <= r.lastDay;
        day.counted = logged && day.countedSeconds > 0;
        day.rank = 0;
        day.design = false;
        if (logged)
            r.periodSeconds += Day;
        if (day.counted) {
            ++r.days;
            r.countedSeconds += day.countedSeconds;
            busiest.push_back(&day);
        }
    }

    double best = 0;
    r.busyHour = -1;
    for (int h = 0; h < 24; ++h) {
        LineLoadHour& hour = r.hours[std::size_t(h)];
        hour.erlangs = hour.counted && r.days > 0 ? double(hour.busy) / (double(Hour) * r.days) : 0;
        if (hour.erlangs > best) {
            best = hour.erlangs;
            r.busyHour = h;
        }
    }
    r.busyHourErlangs = best;

    // The busiest days by their busiest hour; of equal ones the earlier first.
    std::stable_sort(busiest.begin(), busiest.end(),
                     [](const LineLoadDay* a, const LineLoadDay* b) {
                         return a->busiestHourBusy > b->busiestHourBusy;
                     });
    r.designDays = std::min(int(busiest.size()), LineLoadResult::BusiestDays);
    qint64 designBusy = 0;
    for (std::size_t i = 0; i < busiest.size(); ++i) {
        busiest[i]->rank = int(i) + 1;
        busiest[i]->design = int(i) < r.designDays;
        if (busiest[i]->design)
            designBusy += busiest[i]->busiestHourBusy;
    }
    r.designErlangs = r.designDays > 0 ? double(designBusy) / (double(Hour) * r.designDays) : 0;

    for (LineLoadLine& l : r.lines) {
        l.sharePeriod = r.periodSeconds > 0 ? double(l.busy) / double(r.periodSeconds) : 0;
        l.shareCounted = r.countedSeconds > 0 ? double(l.busy) / double(r.countedSeconds) : 0;
    }
}

std::vector<LineLoadOptions> LineLoad::split(const LineLoadOptions& whole, int parts, int minDays)
{
    const qint64 days = std::max<qint64>(whole.from.daysTo(whole.to) + 1, 1);
    const qint64 n = std::clamp<qint64>(days / std::max(minDays, 1), 1, std::max(parts, 1));
    std::vector<LineLoadOptions> pieces;
    for (qint64 i = 0; i < n; ++i) {
        LineLoadOptions piece = whole;
        piece.from = whole.from.addDays(days * i / n);
        piece.to = whole.from.addDays(days * (i + 1) / n - 1);
        piece.continuesEarlier = whole.continuesEarlier || i > 0;
        pieces.push_back(std::move(piece));
    }
    if (whole.to < whole.from)
        pieces.front().to = whole.to; // an empty period stays empty
    return pieces;
}

LineLoadResult LineLoad::combine(const std::vector<LineLoadResult>& pieces)
{
    if (pieces.empty())
        return {};
    LineLoadResult r = pieces.front();
    for (std::size_t p = 1; p < pieces.size(); ++p) {
        const LineLoadResult& q = pieces[p];
        if (q.lastDay.isValid() && (!r.lastDay.isValid() || q.lastDay > r.lastDay))
            r.lastDay = q.lastDay;
        r.daily.insert(r.daily.end(), q.daily.begin(), q.daily.end());
        for (std::size_t h = 0; h < r.hours.size(); ++h) {
            r.hours[h].counted = r.hours[h].counted || q.hours[h].counted;
            r.hours[h].busy += q.hours[h].busy;
            r.hours[h].peak = std::max(r.hours[h].peak, q.hours[h].peak);
        }
        // Later pieces win only when higher: the first time stays the first.
        if (q.busiestClockHourErlangs > r.busiestClockHourErlangs) {
            r.busiestClockHourErlangs = q.busiestClockHourErlangs;
            r.busiestClockHour = q.busiestClockHour;
        }
        if (q.peak > r.peak) {
            r.peak = q.peak;
            r.peakFirst = q.peakFirst;
        }
        r.allBusy += q.allBusy;
        r.calls += q.calls;
        for (std::size_t i = 0; i < r.lines.size() && i < q.lines.size(); ++i) {
            r.lines[i].calls += q.lines[i].calls;
            r.lines[i].busy += q.lines[i].busy;
            r.lines[i].longest = std::max(r.lines[i].longest, q.lines[i].longest);
        }
    }
    derive(r);
    return r;
}
