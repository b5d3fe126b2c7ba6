// The load of lines: the sweep against a count second by second, Erlang B against published
// values, and the window over a database.
#include "support/CallData.h"
#include "support/LineLoadChecks.h"
#include "support/MainWindowSession.h"
#include "support/Modal.h"
#include "support/TestMain.h"
#include "support/WindowSuite.h"

#include "app/Messages.h"
#include "runs/ErlangB.h"
#include "runs/LineLoad.h"
#include "ui/common/TFileForm.h"
#include "ui/stats/TLineLoadForm.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTableWidget>
#include <QTest>

#include <map>

namespace {

struct Call
{
    qint64 start;
    qint64 length;
    int line;
};

// Whether a clock hour (hours from Julian day 0) is in the time the options count.
bool counted(const LineLoadOptions& o, qint64 clockHour)
{
    const QDate d = QDate::fromJulianDay(clockHour / 24);
    const int hour = int(clockHour % 24);
    return !o.workingTime ||
           (o.days[std::size_t(d.dayOfWeek() - 1)] && hour >= o.hourFrom && hour < o.hourTo);
}

// The day of the last second of the last call reaching into the period, on any line.
QDate lastCallDay(const LineLoadOptions& o, const std::vector<Call>& calls)
{
    const qint64 p0 = o.from.toJulianDay() * 86400;
    const qint64 p1 = (o.to.toJulianDay() + 1) * 86400;
    qint64 last = -1;
    for (const Call& c : calls) {
        const qint64 end = std::max(c.start, c.start + c.length - 1);
        if (c.start < p1 && end >= p0)
            last = std::max(last, std::min(end, p1 - 1));
    }
    return last < 0 ? QDate() : QDate::fromJulianDay(last / 86400);
}

// Every figure counted the slow way: each second of the period, each line.
LineLoadResult bruteForce(const LineLoadOptions& o, const std::vector<Call>& calls)
{
    LineLoadResult r;
    const qint64 p0 = o.from.toJulianDay() * 86400;
    const qint64 p1 = (o.to.toJulianDay() + 1) * 86400;
    const int n = int(o.lines.size());
    r.lineCount = n;
    r.lastDay = lastCallDay(o, calls);
    const qint64 logged = r.lastDay.isValid() ? (r.lastDay.toJulianDay() + 1) * 86400 : p0;
    r.periodSeconds = logged - p0;
    r.lines.resize(std::size_t(n));
    for (qint64 day = p0 / 86400; day < logged / 86400; ++day)
        r.days += counted(o, day * 24 + o.hourFrom) ? 1 : 0;
    std::map<qint64, qint64> clockHours;
    for (qint64 t = p0; t < p1; ++t) {
        if (!counted(o, t / 3600))
            continue;
        r.countedSeconds += t < logged;
        int busy = 0;
        for (int i = 0; i < n; ++i) {
            bool on = false;
            for (const Call& c : calls)
                on = on ||
                     (c.line == o.lines[std::size_t(i)] && c.start <= t && t < c.start + c.length);
            busy += on;
            r.lines[std::size_t(i)].busy += on;
        }
        LineLoadHour& h = r.hours[std::size_t(t % 86400 / 3600)];
        h.counted = true;
        h.busy += busy;
        h.peak = std::max(h.peak, busy);
        clockHours[t / 3600] += busy;
        if (busy > r.peak) {
            r.peak = busy;
            r.peakFirst = LineLoad::dateTimeOf(t);
        }
        r.allBusy += busy == n;
    }
    for (const auto& [hour, busy] : clockHours)
        if (busy > 0 && double(busy) / 3600 > r.busiestClockHourErlangs) {
            r.busiestClockHourErlangs = double(busy) / 3600;
            r.busiestClockHour = LineLoad::dateTimeOf(hour * 3600);
        }
    for (int h = 0; h < 24; ++h) {
        LineLoadHour& hour = r.hours[std::size_t(h)];
        hour.erlangs = r.days ? double(hour.busy) / (3600.0 * r.days) : 0;
        if (hour.erlangs > r.busyHourErlangs) {
            r.busyHourErlangs = hour.erlangs;
            r.busyHour = h;
        }
    }
    // A line's calls: those with a second in its counted time (a call of 0 s: its start).
    for (const Call& c : calls)
        for (int i = 0; i < n; ++i) {
            bool took = false;
            for (qint64 t = c.start; t < c.start + std::max<qint64>(c.length, 1) && !took; ++t)
                took = t >= p0 && t < p1 && counted(o, t / 3600);
            if (c.line == o.lines[std::size_t(i)] && took) {
                ++r.lines[std::size_t(i)].calls;
                ++r.calls;
                r.lines[std::size_t(i)].longest =
                    std::max(r.lines[std::size_t(i)].longest, c.length);
            }
        }
    return r;
}

// The design traffic worked out on its own: each line's calls merged into the spans it was
// busy, each span's seconds added to the clock hours it covers when they are counted; of each
// counted day (its weekday chosen, not after the last call) the busiest clock hour; the mean
// of the ten highest of those (of all when fewer days). Returns the mean and the busiest hours
// of the days it is taken over, highest first.
std::pair<double, std::vector<qint64>> busiestDaysTraffic(const LineLoadOptions& o,
                                                          const std::vector<Call>& calls)
{
    const qint64 p0 = o.from.toJulianDay() * 86400;
    const QDate last = lastCallDay(o, calls);
    if (!last.isValid())
        return {0, {}};
    const qint64 p1 = (last.toJulianDay() + 1) * 86400;
    std::map<qint64, qint64> hours; // clock hour -> busy line-seconds
    for (int line : o.lines) {
        std::vector<std::pair<qint64, qint64>> spans;
        for (const Call& c : calls)
            if (c.line == line && c.length > 0)
                spans.push_back({c.start, c.start + c.length});
        std::sort(spans.begin(), spans.end());
        std::vector<std::pair<qint64, qint64>> merged;
        for (const auto& span : spans)
            if (!merged.empty() && span.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, span.second);
            else
                merged.push_back(span);
        for (auto [from, to] : merged) {
            from = std::max(from, p0);
            to = std::min(to, p1);
            for (qint64 h = from / 3600; h * 3600 < to; ++h)
                if (counted(o, h))
                    hours[h] += std::min(to, (h + 1) * 3600) - std::max(from, h * 3600);
        }
    }
    std::vector<qint64> daily; // the busiest hour of each counted day
    for (qint64 day = p0 / 86400; day < p1 / 86400; ++day) {
        bool dayCounted = false;
        qint64 best = 0;
        for (qint64 h = day * 24; h < day * 24 + 24; ++h)
            if (counted(o, h)) {
                dayCounted = true;
                best = std::max(best, hours.count(h) ? hours[h] : 0);
            }
        if (dayCounted)
            daily.push_back(best);
    }
    std::sort(daily.begin(), daily.end(), std::greater<>());
    daily.resize(std::min<std::size_t>(daily.size(), 10));
    qint64 sum = 0;
    for (qint64 busy : daily)
        sum += busy;
    return {daily.empty() ? 0 : double(sum) / (3600.0 * double(daily.size())), daily};
}

// The busiest hours of the days a result takes its design traffic over, highest first.
std::vector<qint64> designHours(const LineLoadResult& r)
{
    std::vector<qint64> hours;
    for (const LineLoadDay& d : r.daily)
        if (d.design)
            hours.push_back(d.busiestHourBusy);
    std::sort(hours.begin(), hours.end(), std::greater<>());
    return hours;
}

LineLoadResult sweep(const LineLoadOptions& o, const std::vector<Call>& calls)
{
    LineLoad load(o);
    for (const Call& c : calls)
        load.add(c.start, c.length, c.line);
    return load.finish();
}

// The period cut into pieces of a day, each swept over the calls read for it (from a day before
// its first), and the figures put together.
LineLoadResult pieces(const LineLoadOptions& o, const std::vector<Call>& calls)
{
    std::vector<LineLoadResult> parts;
    for (const LineLoadOptions& piece : LineLoad::split(o, 3, 1)) {
        LineLoad load(piece);
        const qint64 first = piece.from.toJulianDay() * 86400 - LineLoad::carryIn();
        for (const Call& c : calls)
            if (c.start >= first)
                load.add(c.start, c.length, c.line);
        parts.push_back(load.finish());
    }
    return LineLoad::combine(parts);
}

qint64 at(const QDate& d, int h, int m, int s = 0)
{
    return LineLoad::secondOf(d, QTime(h, m, s));
}

QString cell(const QTableWidget* t, int row, int column)
{
    return t->item(row, column) ? t->item(row, column)->text() : QString();
}

// The value of the summary row whose name begins with `name`; null when there is none.
QString summary(const TLineLoadForm& w, const QString& name)
{
    for (int row = 0; row < w.GridSummary->rowCount(); ++row)
        if (cell(w.GridSummary, row, 0).startsWith(name))
            return cell(w.GridSummary, row, 1);
    return {};
}

} // namespace

class TestLineLoad : public test::WindowSuite
{
    Q_OBJECT
private slots:
    void erlangBPublishedValues();
    void sweepAgreesWithSecondBySecond();
    void edgeCases();
    void designTrafficOverBusiestDays();
    void windowOverDatabase();
};

void TestLineLoad::erlangBPublishedValues()
{
    QVERIFY(qAbs(erlang::blocking(10, 5) - 0.01838) < 5e-6);
    QVERIFY(qAbs(erlang::blocking(11, 5) - 0.00829) < 5e-6);
    QVERIFY(qAbs(erlang::capacity(10, 0.01) - 4.461) < 5e-4);
    QVERIFY(qAbs(erlang::capacity(20, 0.01) - 12.031) < 5e-4);
    QCOMPARE(erlang::linesNeeded(5, 0.01), 11);
    QCOMPARE(erlang::linesNeeded(0, 0.01), 0);
    // Thousands of lines: no factorial overflows, B stays a probability near its known size.
    const double big = erlang::blocking(5000, 5000);
    QVERIFY(big > 0.01 && big < 0.02);
    QCOMPARE(erlang::verdict(10, 11), QStringLiteral("Линий не хватает: нужна ещё 1 линия"));
    QCOMPARE(erlang::verdict(10, 13), QStringLiteral("Линий не хватает: нужны ещё 3 линии"));
    QCOMPARE(erlang::verdict(10, 21), QStringLiteral("Линий не хватает: нужно ещё 11 линий"));
    QCOMPARE(erlang::verdict(10, 31), QStringLiteral("Линий не хватает: нужна ещё 21 линия"));
    QCOMPARE(erlang::verdict(14, 11),
             QStringLiteral("Линий достаточно; от 3 линий можно отказаться"));
    QCOMPARE(erlang::verdict(11, 11), QStringLiteral("Линий достаточно"));
}

void TestLineLoad::sweepAgreesWithSecondBySecond()
{
    QRandomGenerator random(20261209);
    for (int round = 0; round < 60; ++round) {
        LineLoadOptions o;
        o.from = QDate(2024, 2, 27 + int(random.bounded(3)));
        o.to = o.from.addDays(random.bounded(3));
        o.lines = {3, 1, 7};
        o.workingTime = random.bounded(2) == 1;
        o.hourFrom = int(random.bounded(12));
        o.hourTo = o.hourFrom + 1 + int(random.bounded(12));
        for (bool& d : o.days)
            d = random.bounded(4) != 0;
        const qint64 first = o.from.toJulianDay() * 86400 - 7200;
        const qint64 span = (o.to.toJulianDay() + 2) * 86400 - first;
        std::vector<Call> calls;
        for (int i = int(random.bounded(40)); i > 0; --i) {
            const int line = std::array{1, 3, 7, 9}[random.bounded(4)];
            calls.push_back({first + qint64(random.bounded(span)),
                             random.bounded(3) == 0 ? 0 : qint64(random.bounded(9000)), line});
        }
        std::sort(calls.begin(), calls.end(),
                  [](const Call& a, const Call& b) { return a.start < b.start; });
        const LineLoadResult want = bruteForce(o, calls);
        const auto busiest = busiestDaysTraffic(o, calls);
        for (const LineLoadResult& got : {sweep(o, calls), pieces(o, calls)}) {
            test::compareLineLoad(got, want);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(designHours(got), busiest.second);
            QCOMPARE(got.designErlangs, busiest.first);
        }
    }
}

void TestLineLoad::edgeCases()
{
    // One day, two lines: line 2 without a call, both busy together, a call cut by the
    // working hours, one running in from the day before and one past the end of the day.
    LineLoadOptions o;
    o.from = o.to = QDate(2026, 3, 2); // a Monday
    o.lines = {1, 2, 5};
    const QDate d = o.from;
    const std::vector<Call> calls = {
        {at(d.addDays(-1), 23, 50), 1200, 1}, // 10 minutes into the day
        {at(d, 8, 50), 1200, 1},              // 10 minutes before 9:00, 10 after
        {at(d, 9, 0), 300, 5},                // all three? no: line 2 stays free
        {at(d, 12, 0), 0, 5},                 // a call of 0 seconds occupies nothing
        {at(d, 23, 59, 30), 600, 5},          // 30 seconds in the period
    };
    LineLoadResult r = sweep(o, calls);
    QCOMPARE(r.days, 1);
    QCOMPARE(r.lines[1].busy, 0);
    QCOMPARE(r.lines[1].calls, 0);
    QCOMPARE(r.lines[0].busy, 600 + 1200);
    QCOMPARE(r.lines[0].calls, 2); // with the one from the day before that ran into it
    QCOMPARE(r.lines[2].calls, 3);
    QCOMPARE(r.lines[2].busy, 300 + 30);
    QCOMPARE(r.peak, 2);
    QCOMPARE(r.peakFirst, QDateTime(d, QTime(9, 0)));
    QCOMPARE(r.allBusy, 0);

    o.workingTime = true; // 9-18, Monday to Friday
    r = sweep(o, calls);
    QCOMPARE(r.lines[0].busy, 600);
    QCOMPARE(r.lines[0].calls, 1); // began at 8:50, still on the line at 9:00
    QCOMPARE(r.hours[8].counted, false);
    QCOMPARE(r.hours[9].busy, 600 + 300);
    QCOMPARE(r.lines[0].shareCounted, 600.0 / (9 * 3600));

    // All lines busy at once; a leap year's February.
    o = {};
    o.from = QDate(2024, 2, 1);
    o.to = QDate(2024, 2, 29);
    o.lines = {1, 2};
    const QDate leap(2024, 2, 29);
    r = sweep(o, {{at(leap, 23, 0), 7200, 1}, {at(leap, 23, 20), 600, 2}});
    QCOMPARE(r.days, 29);
    QCOMPARE(r.allBusy, 600);
    QCOMPARE(r.lines[0].busy, 3600);
    QCOMPARE(r.busiestClockHour, QDateTime(leap, QTime(23, 0)));
    QCOMPARE(r.busyHourErlangs, 4200.0 / (3600 * 29));
}

void TestLineLoad::designTrafficOverBusiestDays()
{
    QRandomGenerator random(20261210);
    const QDate today = QDate::currentDate();
    for (int round = 0; round < 8; ++round) {
        // Five weeks and their weekends; every other round a period running 40 days past today,
        // its calls up to today.
        const bool future = round % 2 == 1;
        LineLoadOptions o;
        o.from = future ? today.addDays(-30) : QDate(2026, 2, 4);
        o.to = future ? today.addDays(40) : o.from.addDays(34);
        o.lines = {1, 2, 3, 4, 5, 6};
        o.workingTime = round >= 4; // 9-18, Monday to Friday
        const QDate lastCalls = future ? today : o.to;
        std::vector<Call> calls;
        for (QDate d = o.from.addDays(-1); d <= lastCalls; d = d.addDays(1)) {
            const bool weekend = d.dayOfWeek() >= 6;
            int count = weekend ? int(random.bounded(6)) : 20 + int(random.bounded(60));
            for (; count > 0; --count)
                calls.push_back(
                    {LineLoad::secondOf(d, QTime(7 + int(random.bounded(13)),
                                                 int(random.bounded(60)), int(random.bounded(60)))),
                     30 + qint64(random.bounded(1800)),
                     1 + int(random.bounded(7))}); // line 7 is not chosen
        }
        std::sort(calls.begin(), calls.end(),
                  [](const Call& a, const Call& b) { return a.start < b.start; });
        const auto [design, hours] = busiestDaysTraffic(o, calls);
        const LineLoadResult got = sweep(o, calls);
        QCOMPARE(got.lastDay, future ? today : o.to);
        QCOMPARE(got.designDays, 10);
        QCOMPARE(designHours(got), hours);
        QCOMPARE(got.designErlangs, design);
        QCOMPARE(pieces(o, calls).designErlangs, design);
    }
}

void TestLineLoad::windowOverDatabase()
{
    TEST_NEW_DATABASE(t);
    auto when = [](int day, int h, int m, int s = 0) {
        return QDateTime(QDate(2026, 3, day), QTime(h, m, s));
    };
    auto shortDay = [](int day) {
        return QLocale().toString(QDate(2026, 3, day), QLocale::ShortFormat);
    };
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)"),
            QStringLiteral("INSERT INTO Lines VALUES (2, 2150002, NULL, NULL)"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов')"),
            test::insertCall(QDateTime(QDate(2026, 2, 28), QTime(23, 50)), 1200, 812, 1, 101),
            test::insertCall(when(1, 10, 0), 3600, 0, 1, 101),
            test::insertCall(when(1, 10, 30), 900, 813, 2, 300),
            test::insertCall(when(1, 10, 40), 900, 814, 9, 101), // no such line
            test::insertCall(when(2, 23, 59, 59), 3725, 815, 1, 101)});
    test::MainWindowSession s(t);
    QVERIFY(s.ok);
    TLineLoadForm w(s.dm, QDate(2026, 3, 1), QDate(2026, 3, 2), *s.tabs.cqLines);
    w.show();
    QCOMPARE(w.clbLines->count(), 2);
    QTest::mouseClick(w.bbSave, Qt::LeftButton);
    // Until the worker ends the choices are locked and the button stops the run.
    QCOMPARE(w.bbSave->text(), QStringLiteral("Стоп"));
    QVERIFY(!w.clbLines->isEnabled());
    QTRY_VERIFY(!w.running());
    QCOMPARE(w.bbSave->text(), QStringLiteral("Показать"));
    QVERIFY(w.hasResult());
    QCOMPARE(w.result().peak, 2);
    QCOMPARE(w.result().calls, 4); // with the one that ran into the period
    QCOMPARE(cell(w.GridLines, 0, 0), QStringLiteral("2150001"));
    QCOMPARE(cell(w.GridLines, 0, 2), QStringLiteral("1 ч 10 мин 01 сек")); // 600 + 3600 + 1
    QCOMPARE(cell(w.GridLines, 1, 2), QStringLiteral("0 ч 15 мин 00 сек"));
    const QString busyHour = QLocale().toString(0.625, 'f', 3); // 4500 / (3600 x 2)
    QCOMPARE(cell(w.GridHours, 10, 1), busyHour);
    QCOMPARE(cell(w.GridHours, 10, 2), QStringLiteral("2"));
    QCOMPARE(summary(w, QStringLiteral("Час наибольшей нагрузки")), QStringLiteral("10:00–11:00"));
    QCOMPARE(summary(w, QStringLiteral("Впервые")), shortDay(1) + QStringLiteral(" 10:30:00"));
    QCOMPARE(summary(w, QStringLiteral("Заняты все линии")), QStringLiteral("0 ч 15 мин 00 сек"));
    // The busiest hours of the two days: 10:00 on the 1st (4,500 line-seconds) and 23:00 on
    // the 2nd (1 second).
    // The days busiest first: the 1st (a Sunday) before the 2nd.
    QCOMPARE(cell(w.GridDays, 0, 1), shortDay(1) + QStringLiteral(" Вс"));
    QCOMPARE(summary(w, QStringLiteral("Расчётная нагрузка")),
             QLocale().toString(4501.0 / 7200, 'f', 3));
    // B(2; 0,625) is 10.7 %: at 1 % four lines are needed; at 20 % two do, while the busiest
    // clock hour's 1,25 E needs five and three.
    QCOMPARE(summary(w, QStringLiteral("Вывод")),
             QStringLiteral("Линий не хватает: нужны ещё 2 линии"));
    QCOMPARE(summary(w, QStringLiteral("Выводы расходятся")),
             QStringLiteral("при расчётной нагрузке нужны 4 линии, при нагрузке самого "
                            "загруженного часа — 5"));
    w.seGrade->setValue(20);
    QCOMPARE(summary(w, QStringLiteral("Вывод")), QStringLiteral("Линий достаточно"));
    QCOMPARE(summary(w, QStringLiteral("Вывод по самому загруженному часу")),
             QStringLiteral("Линий не хватает: нужна ещё 1 линия"));
    QCOMPARE(summary(w, QStringLiteral("Выводы расходятся")),
             QStringLiteral("при расчётной нагрузке нужны 2 линии, при нагрузке самого "
                            "загруженного часа — 3"));

    // The hours export through the export chooser.
    w.PageResult->setCurrentWidget(w.GridHours);
    test::whenModal([&t](QDialog* d) {
        auto* f = qobject_cast<TFileForm*>(d);
        f->setDirectory(t.dir());
        f->cbExt->setCurrentIndex(1); // TXT
        f->EditNameFile->setText(QStringLiteral("часы"));
        QTest::mouseClick(f->BitBtn1, Qt::LeftButton);
    });
    QTest::mouseClick(w.bbExport, Qt::LeftButton);
    QFile file(t.dir() + QStringLiteral("/часы.TXT"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringDecoder cp1251("windows-1251");
    const QString text = cp1251(file.readAll());
    QVERIFY(text.contains(QStringLiteral("Нагрузка, Эрл")));
    QVERIFY(text.contains(busyHour));

    // A period to a month from now: its days after the last call (3 March, where the call of
    // 23:59:59 on the 2nd ends) do not count, and the design traffic is the mean of the three
    // days' busiest hours: 4,500, 1 and 3,600 line-seconds.
    TLineLoadForm future(s.dm, QDate(2026, 3, 1), QDate::currentDate().addDays(30),
                         *s.tabs.cqLines);
    future.show();
    QTest::mouseClick(future.bbSave, Qt::LeftButton);
    QTRY_VERIFY(!future.running());
    QCOMPARE(summary(future, QStringLiteral("Учтено дней")),
             QStringLiteral("3 (по %1 — день последнего звонка; дни после него не учтены)")
                 .arg(shortDay(3)));
    QCOMPARE(summary(future, QStringLiteral("Расчётная нагрузка")),
             QLocale().toString(8101.0 / (3 * 3600), 'f', 3));
}

KELVORA_TEST_MAIN(TestLineLoad)
#include "test_lineload.moc"
