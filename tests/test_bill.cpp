// The operator's bill against the call log: reading bills (CSV in either code page, XLSX),
// numbers in one form, the pairing of calls within the tolerances, the classes and their sums.
#include "support/CallData.h"
#include "support/ReadingPlace.h"
#include "support/ReportPages.h"
#include "support/TestMain.h"

#include "data/Bill.h"
#include "data/Tariffs.h"
#include "db/Query.h"
#include "db/Transaction.h"
#include "runs/BillCheck.h"
#include "runs/BillReport.h"
#include "runs/Job.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace bill;

namespace {

const QDate Day(2026, 3, 2);

qint64 at(int h, int m, int s, QDate day = Day)
{
    return day.toJulianDay() * 86400 + h * 3600 + m * 60 + s;
}

qint64 key(const char* number, const char* city = "495")
{
    return numberKey(QString::fromLatin1(number), QString::fromLatin1(city));
}

BillCall billCall(const char* number, qint64 start, int seconds, qint64 cost = -1)
{
    BillCall c;
    c.number = key(number);
    c.start = start;
    c.seconds = seconds;
    c.cost = cost;
    return c;
}

LogCall logCall(qint64 dialled, qint64 start, int seconds, int line = 1)
{
    LogCall c;
    c.dialled = dialled;
    c.number = numberKey(dialled, u"495");
    c.start = start;
    c.seconds = seconds;
    c.line = line;
    return c;
}

// One rule for every number: a ruble a started minute.
std::unique_ptr<tariff::TariffBook> rubleAMinute()
{
    tariff::Rule r;
    r.zone = QStringLiteral("Все");
    r.minutePrice = tariff::PriceUnit;
    tariff::Plan p;
    p.id = 1;
    p.name = QStringLiteral("Оператор");
    p.isDefault = true;
    p.rules.push_back(r);
    return std::make_unique<tariff::TariffBook>(std::vector<tariff::Plan>{p}, QHash<int, int>{});
}

// The test's own price of a call: a ruble a started minute.
qint64 rubleAMinute(qint64 seconds)
{
    return (seconds + 59) / 60 * 100;
}

// The class of each bill call by the file line it carries, and of each log call left alone by
// its start.
struct Classes
{
    std::map<int, Kind> bill;
    std::map<qint64, Kind> log;
};

Classes classesOf(const Result& r)
{
    Classes c;
    for (const BillCall& b : r.bill)
        c.bill[b.line] = Kind::Match;
    for (const Row& row : r.rows) {
        if (row.bill >= 0)
            c.bill[r.bill[std::size_t(row.bill)].line] = row.kind;
        else
            c.log[r.log[std::size_t(row.log)].start] = row.kind;
    }
    return c;
}

// The classes of the bill lines in their order.
std::vector<Kind> billKinds(const Result& r)
{
    std::vector<Kind> kinds;
    for (const auto& [line, kind] : classesOf(r).bill)
        kinds.push_back(kind);
    return kinds;
}

// Every total of every class, one after another.
std::vector<qint64> totalsList(const std::array<Totals, KindCount>& totals)
{
    std::vector<qint64> list;
    for (const Totals& t : totals)
        list.insert(list.end(),
                    {t.calls, t.billSeconds, t.logSeconds, t.billKopecks, t.ourKopecks});
    return list;
}

// The file lines a reading refused.
std::vector<int> refusedLines(const BillCalls& calls)
{
    std::vector<int> lines;
    for (const auto& [line, why] : calls.refused)
        lines.push_back(line);
    return lines;
}

Result compareLines(std::vector<BillCall> bill, std::vector<LogCall> log, Options o = {},
                    const tariff::TariffBook* book = nullptr)
{
    for (std::size_t i = 0; i < bill.size(); ++i)
        bill[i].line = int(i) + 1;
    return compare(std::move(bill), std::move(log), o, book);
}

QString python(const QString& script, const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QString::fromUtf8(p.readAllStandardError());
    return {};
}

} // namespace

class TestBill : public QObject
{
    Q_OBJECT

private slots:
    void numberForms_data();
    void numberForms();
    void numbersThatAreNot();
    void moments();
    void durations();

    void csvUtf8WithQuotes();
    void csvWindows1251();
    void csvTabsAndBom();
    void xlsxBill();
    void unreadableLines();
    void wrongColumnChoice();
    void columnsStoredAsText();

    void startToleranceEdges();
    void durationToleranceEdges();
    void costWithinAKopeck();
    void twoCallsAMinuteApart();
    void systematicLagKeepsOrder();
    void eachCallMatchedOnce();
    void clockShift();
    void totalsAndDisputed();
    void totalsOverManyCalls();
    void reportStopsBetweenPages();

    void checkAgainstDemoLog();
    void checkRefusesEmptyPeriod();
    void checkStops();
    void checkAsAJob();
};

void TestBill::numberForms_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("national");
    const char* const forms[][3] = {
        {"8 and eleven", "84951234567", "+74951234567"},
        {"7 and eleven", "74951234567", "+74951234567"},
        {"+7 with spaces", "+7 (495) 123-45-67", "+74951234567"},
        {"ten digits", "4951234567", "+74951234567"},
        {"mobile 8", "89161234567", "+79161234567"},
        {"local seven", "1234567", "+74951234567"},
        {"international 810", "810447700900123", "447700900123"},
        {"international +", "+44 7700 900123", "447700900123"},
        {"international 00", "00447700900123", "447700900123"},
        {"ten digits abroad", "+3612345678", "3612345678"},
        {"ten digits abroad 810", "8103612345678", "3612345678"},
        {"short service", "112", "112"},
    };
    for (const auto& [name, written, national] : forms)
        QTest::newRow(name) << QString::fromUtf8(written) << QString::fromUtf8(national);
}

void TestBill::numberForms()
{
    QFETCH(QString, written);
    QFETCH(QString, national);
    QCOMPARE(keyText(numberKey(written, u"495")), national);
}

void TestBill::numbersThatAreNot()
{
    for (const char16_t* text : {u"01.03.2026", u"", u"abc"})
        QVERIFY2(numberKey(text, u"495") == -1, qPrintable(QString::fromUtf16(text)));
    QCOMPARE(numberKey(u"123456789012345678", u""), -1);
    // A local number without a city code stays as it is, and so does a number as the log keeps it.
    QCOMPARE(keyText(numberKey(u"1234567", u"")), QStringLiteral("1234567"));
    QCOMPARE(numberKey(qint64(84951234567), u"495"), numberKey(u"+74951234567", u"495"));
    QCOMPARE(numberKey(qint64(1234567), u"495"), numberKey(u"84951234567", u"495"));
}

void TestBill::moments()
{
    QCOMPARE(parseMoment(u"02.03.2026 10:05:07"), at(10, 5, 7));
    QCOMPARE(parseMoment(u"2026-03-02T10:05:07"), at(10, 5, 7));
    QCOMPARE(parseMoment(u"2026-03-02 10:05"), at(10, 5, 0));
    QCOMPARE(parseMoment(u"02/03/26 9:05:07"), at(9, 5, 7));
    QCOMPARE(parseMoment(u"02.03.2026"), at(0, 0, 0));
    for (const char16_t* text : {u"31.02.2026 10:00:00", u"02.03.2026 25:00:00", u"84951234567"})
        QVERIFY2(!parseMoment(text), qPrintable(QString::fromUtf16(text)));
    QCOMPARE(parseTimeOfDay(u"23:59:59"), 86399);
}

void TestBill::durations()
{
    QCOMPARE(parseDuration(u"75"), 75);
    QCOMPARE(parseDuration(u"75,0"), 75);
    QCOMPARE(parseDuration(u"1:15"), 75);
    QCOMPARE(parseDuration(u"125:00"), 7500);
    QCOMPARE(parseDuration(u"01:01:15"), 3675);
    for (const char16_t* text : {u"1:75", u"75,5", u"-5", u""})
        QVERIFY2(!parseDuration(text), qPrintable(QString::fromUtf16(text)));
}

void TestBill::csvUtf8WithQuotes()
{
    const QByteArray csv = "Дата;Номер;Длительность;Сумма\r\n"
                           "02.03.2026 10:00:00;\"8 (495) 123-45-67\";65;\"1,50\"\r\n"
                           "\"02.03.2026 10:05:00\";\"8916; \"\"офис\"\"\";1:05;2.00\r\n";
    const Table t = readCsv(csv);
    QVERIFY(t.error.isEmpty());
    QCOMPARE(t.rows.size(), std::size_t(3));
    QCOMPARE(t.rows[2][1], QStringLiteral("8916; \"офис\""));
    QVERIFY(t.format.contains(QStringLiteral("UTF-8")));
    QCOMPARE(guessColumns(t), (Columns{0, -1, 1, 2, 3, 1}));
    const BillCalls calls = readCalls(t, guessColumns(t), QStringLiteral("495"));
    QCOMPARE(calls.calls.size(), std::size_t(1));
    QCOMPARE(calls.calls[0].cost, 150);
    QCOMPARE(calls.calls[0].line, 2);
    QCOMPARE(refusedLines(calls), (std::vector<int>{3}));
    QVERIFY(calls.refused[0].second.contains(QStringLiteral("номер")));
}

void TestBill::csvWindows1251()
{
    const QString text = QStringLiteral("Детализация по договору № 7\n"
                                        "Дата,Время,Номер,Длит.,Стоимость, руб.\n"
                                        "02.03.2026,10:00:00,4951234567,01:05,\"1,50\"\n"
                                        "02.03.2026,10:10:00,4951234567,10:00,\"10,00\"\n"
                                        "Итого,,,,\"11,50\"\n");
    const Table t = readCsv(QStringEncoder("windows-1251").encode(text));
    QVERIFY(t.format.contains(QStringLiteral("Windows-1251")));
    QCOMPARE(t.rows[1][4], QStringLiteral("Стоимость"));
    QCOMPARE(guessColumns(t), (Columns{0, 1, 2, 3, 4, 2}));
    const BillCalls calls = readCalls(t, guessColumns(t), QStringLiteral("495"));
    QCOMPARE(calls.calls.size(), std::size_t(2));
    QCOMPARE(calls.calls[0].seconds, 65);
    QCOMPARE(calls.calls[1].seconds, 600);
    QCOMPARE(calls.calls[0].cost + calls.calls[1].cost, 1150);
    QCOMPARE(calls.calls[1].start, at(10, 10, 0));
    QCOMPARE(calls.first, at(10, 0, 0));
    QCOMPARE(calls.last, at(10, 10, 0));
    // The line of totals is named as not a call.
    QCOMPARE(refusedLines(calls), (std::vector<int>{5}));
}

void TestBill::csvTabsAndBom()
{
    const QByteArray csv = "\xEF\xBB\xBF"
                           "02.03.2026 10:00:00\t+74951234567\t60\t1,00\n"
                           "\n"
                           "02.03.2026 10:01:00\t+74951234567\t60\t1,00\n";
    const Table t = readCsv(csv);
    QCOMPARE(t.rows.size(), std::size_t(2));
    QCOMPARE(t.lines, (std::vector<int>{1, 3}));
    QCOMPARE(t.rows[0][0], QStringLiteral("02.03.2026 10:00:00"));
    QCOMPARE(t.rows[0].size(), 4);
}

void TestBill::xlsxBill()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bill.xlsx"));
    const QString script = QStringLiteral(
        "import sys, datetime, openpyxl\n"
        "b = openpyxl.Workbook()\n"
        "s = b.active\n"
        "s.title = 'Звонки'\n"
        "s.append(['Детализация'])\n"
        "s.append(['Дата и время', 'Номер', 'Длительность', 'Сумма'])\n"
        "s.append([datetime.datetime(2026, 3, 2, 10, 0, 5), 84951234567, '01:05', 1.5])\n"
        "s.append([datetime.datetime(2026, 3, 2, 23, 59, 59), '+7 916 123-45-67', 3600, 60])\n"
        "s.append([datetime.time(10, 0), 'нет', 'нет', 'нет'])\n"
        "o = b.create_sheet('Другой')\n"
        "o.append(['не этот лист'])\n"
        "b.save(sys.argv[1])\n");
    const QString failure = python(script, {path});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const Table t = readFile(path);
    QVERIFY2(t.error.isEmpty(), qPrintable(t.error));
    QCOMPARE(t.rows.size(), std::size_t(5));
    QCOMPARE(t.lines, (std::vector<int>{1, 2, 3, 4, 5}));
    QCOMPARE(t.rows[2][0], QStringLiteral("02.03.2026 10:00:05"));
    QCOMPARE(guessColumns(t), (Columns{0, -1, 1, 2, 3, 2}));
    const BillCalls calls = readCalls(t, guessColumns(t), QStringLiteral("495"));
    QCOMPARE(calls.calls.size(), std::size_t(2));
    QCOMPARE(calls.calls[0].start, at(10, 0, 5));
    QCOMPARE(calls.calls[0].number, key("+74951234567"));
    QCOMPARE(calls.calls[0].seconds, 65);
    QCOMPARE(calls.calls[0].cost, 150);
    QCOMPARE(calls.calls[1].start, at(23, 59, 59));
    QCOMPARE(calls.calls[1].number, key("89161234567"));
    QCOMPARE(calls.calls[1].cost, 6000);
    QCOMPARE(refusedLines(calls), (std::vector<int>{5}));
}

void TestBill::unreadableLines()
{
    const QByteArray csv = "02.03.2026 10:00:00;84951234567;60;1,00\n"
                           "32.03.2026 10:00:00;84951234567;60;1,00\n"
                           "02.03.2026 10:00:00;8495-ABC;60;1,00\n"
                           "02.03.2026 10:00:00;84951234567;1:75;1,00\n"
                           "02.03.2026 10:00:00;84951234567;60;один\n"
                           "02.03.2026 10:00:00;84951234567\n"
                           "02.03.2026 10:00:00;84951234567;60;\n";
    const BillCalls calls = readCalls(readCsv(csv), Columns{0, -1, 1, 2, 3, 0}, QString());
    QCOMPARE(calls.calls.size(), std::size_t(2));
    QCOMPARE(calls.calls[1].cost, -1);
    QCOMPARE(refusedLines(calls), (std::vector<int>{2, 3, 4, 5, 6}));
    QVERIFY(calls.refused[0].second.contains(QStringLiteral("«32.03.2026 10:00:00»")));
    QVERIFY(calls.refused[1].second.startsWith(QStringLiteral("номер «8495-ABC»")));
    QVERIFY(calls.refused[3].second.startsWith(QStringLiteral("стоимость «один»")));
    QVERIFY(calls.refused[4].second.startsWith(QStringLiteral("длительность «»")));
    QVERIFY(calls.error.isEmpty());
}

void TestBill::wrongColumnChoice()
{
    const Table t = readCsv("02.03.2026 10:00:00;84951234567;60\n"
                            "02.03.2026 10:01:00;84951234567;60\n");
    // The date chosen as the number: no line reads, and the reason says which value failed.
    const BillCalls swapped = readCalls(t, Columns{1, -1, 0, 2, -1, 0}, QString());
    QVERIFY(swapped.calls.empty());
    QVERIFY(swapped.error.contains(QStringLiteral("проверьте выбор столбцов")));
    QVERIFY(swapped.error.contains(QStringLiteral("строка 1")));
    QCOMPARE(readCalls(t, Columns{0, -1, 1, -1, -1, 0}, QString()).error,
             QStringLiteral("Не выбран столбец длительности звонка."));
    QVERIFY(readCalls(t, Columns{0, -1, 1, 1, -1, 0}, QString())
                .error.contains(QStringLiteral("Один столбец (2)")));
    QVERIFY(readCalls(t, Columns{0, -1, 1, 5, -1, 0}, QString())
                .error.contains(QStringLiteral("в файле нет")));
    QVERIFY(!readCalls(readCsv(""), Columns{0, -1, 1, 2, -1, 0}, QString()).error.isEmpty());
    QVERIFY(!readFile(QStringLiteral("/nonexistent/bill.csv")).error.isEmpty());
    // A damaged workbook is refused, not read as text.
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.xlsx"));
    QVERIFY(test::writeFile(broken, QByteArray("PK\x03\x04", 4) + QByteArray(100, 'x')));
    QVERIFY(!readFile(broken).error.isEmpty());
}

void TestBill::columnsStoredAsText()
{
    const Columns c{3, 4, 1, 2, -1, 7};
    QCOMPARE(Columns::fromText(c.text()), c);
    QVERIFY(!Columns::fromText(QStringLiteral("date=x")));
    QVERIFY(!Columns::fromText(QStringLiteral("date=1;time=2")));
}

void TestBill::startToleranceEdges()
{
    const Result r = compareLines(
        {billCall("84951111111", at(10, 0, 0), 60), billCall("84952222222", at(10, 0, 0), 60),
         billCall("84953333333", at(10, 0, 0), 60), billCall("84954444444", at(10, 0, 0), 60)},
        {logCall(84951111111, at(10, 2, 0), 60), logCall(84952222222, at(10, 2, 1), 60),
         logCall(84953333333, at(9, 58, 0), 60), logCall(84954444444, at(9, 57, 59), 60)});
    QCOMPARE(billKinds(r),
             (std::vector<Kind>{Kind::Match, Kind::NotInLog, Kind::Match, Kind::NotInLog}));
    QCOMPARE(classesOf(r).log, (std::map<qint64, Kind>{{at(10, 2, 1), Kind::NotInBill},
                                                       {at(9, 57, 59), Kind::NotInBill}}));
}

void TestBill::durationToleranceEdges()
{
    const Result r =
        compareLines({billCall("1111111", at(10, 0, 0), 62), billCall("2222222", at(10, 0, 0), 63),
                      billCall("3333333", at(10, 0, 0), 58), billCall("4444444", at(10, 0, 0), 57)},
                     {logCall(1111111, at(10, 0, 0), 60), logCall(2222222, at(10, 0, 0), 60),
                      logCall(3333333, at(10, 0, 0), 60), logCall(4444444, at(10, 0, 0), 60)});
    QCOMPARE(billKinds(r),
             (std::vector<Kind>{Kind::Match, Kind::Duration, Kind::Match, Kind::Duration}));
}

void TestBill::costWithinAKopeck()
{
    const auto book = rubleAMinute();
    // Our price of 60 s is 1,00.
    const Result r = compareLines(
        {billCall("1111111", at(10, 0, 0), 60, 101), billCall("2222222", at(10, 0, 0), 60, 102),
         billCall("3333333", at(10, 0, 0), 60, 98), billCall("4444444", at(10, 0, 0), 60)},
        {logCall(1111111, at(10, 0, 0), 60), logCall(2222222, at(10, 0, 0), 60),
         logCall(3333333, at(10, 0, 0), 60), logCall(4444444, at(10, 0, 0), 60)},
        {}, book.get());
    QCOMPARE(billKinds(r), (std::vector<Kind>{Kind::Match, Kind::Cost, Kind::Cost, Kind::Match}));
    QCOMPARE(r.disputed, 2); // only the dearer one is worth a claim
}

void TestBill::twoCallsAMinuteApart()
{
    // The second call is longer on the log, so a mix-up would show as two wrong durations.
    const Result r = compareLines(
        {billCall("84951234567", at(10, 0, 0), 30), billCall("84951234567", at(10, 1, 0), 90)},
        {logCall(1234567, at(10, 1, 3), 90), logCall(1234567, at(10, 0, 5), 30)});
    QVERIFY(r.rows.empty());
    QCOMPARE(r[Kind::Match].calls, 2);
    QCOMPARE(r[Kind::Match].logSeconds, 120);
}

void TestBill::systematicLagKeepsOrder()
{
    // The exchange's clock 80 s behind, a call redialled 40 s later: the nearest pair of all is
    // the second bill call with the first log call, but the calls keep their order.
    const Result r = compareLines(
        {billCall("84951234567", at(10, 1, 20), 10), billCall("84951234567", at(10, 2, 0), 300)},
        {logCall(1234567, at(10, 0, 0), 10), logCall(1234567, at(10, 0, 40), 300)});
    QVERIFY(r.rows.empty());
}

void TestBill::eachCallMatchedOnce()
{
    // Three bill lines, one log call within reach of all: one pair, the nearest.
    const Result r = compareLines({billCall("84951234567", at(10, 0, 0), 60),
                                   billCall("84951234567", at(10, 0, 50), 60),
                                   billCall("84951234567", at(10, 1, 40), 60)},
                                  {logCall(1234567, at(10, 0, 45), 60)});
    QCOMPARE(billKinds(r), (std::vector<Kind>{Kind::NotInLog, Kind::Match, Kind::NotInLog}));
    QVERIFY(classesOf(r).log.empty());
}

void TestBill::clockShift()
{
    // The bill in a zone two hours ahead of the exchange.
    std::vector<BillCall> bill{billCall("84951234567", at(12, 0, 30), 60)};
    std::vector<LogCall> log{logCall(1234567, at(10, 0, 0), 60)};
    QCOMPARE(compareLines(bill, log)[Kind::Match].calls, 0);
    Options shifted;
    shifted.clockShift = -2;
    const Result r = compareLines(bill, log, shifted);
    QCOMPARE(r[Kind::Match].calls, 1);
    QCOMPARE(r.bill[0].start, at(10, 0, 30));
}

void TestBill::totalsAndDisputed()
{
    const auto book = rubleAMinute();
    const Result r = compareLines(
        {billCall("84951111111", at(10, 0, 0), 60, 100),  // matches
         billCall("84952222222", at(10, 0, 0), 125, 300), // 65 s on the log: 2,00 ours
         billCall("84953333333", at(10, 0, 0), 60, 150),  // 1,00 ours
         billCall("84954444444", at(10, 0, 0), 30, 700)}, // never made
        {logCall(84951111111, at(10, 0, 1), 60), logCall(84952222222, at(10, 0, 0), 65),
         logCall(84953333333, at(10, 0, 0), 61), logCall(84955555555, at(11, 0, 0), 200)},
        {}, book.get());
    QCOMPARE(r[Kind::Match].calls, 1);
    QCOMPARE(r[Kind::Duration].billSeconds, 125);
    QCOMPARE(r[Kind::Duration].logSeconds, 65);
    QCOMPARE(r[Kind::Duration].billKopecks, 300);
    QCOMPARE(r[Kind::Duration].ourKopecks, 200);
    QCOMPARE(r[Kind::Cost].ourKopecks, 200);
    QCOMPARE(r[Kind::NotInLog].billKopecks, 700);
    QCOMPARE(r[Kind::NotInBill].calls, 1);
    QCOMPARE(r[Kind::NotInBill].ourKopecks, 400);
    QCOMPARE(r.disputed, 700 + 100);
    QCOMPARE(r.rows.size(), std::size_t(4));
}

void TestBill::totalsOverManyCalls()
{
    // A log of random calls and the bill made from it with known changes; the expected totals
    // are counted from the changes as they are made.
    QRandomGenerator random(31);
    const auto book = rubleAMinute();
    std::vector<LogCall> log;
    std::vector<BillCall> bill;
    std::array<Totals, KindCount> expected{};
    qint64 disputed = 0;
    qint64 start = at(0, 0, 0, QDate(2026, 3, 1));
    for (int i = 0; i < 100'000; ++i) {
        start += 5 + random.bounded(30);
        const qint64 dialled = 84950000000 + i % 5000; // the same number every 5000 calls
        const int seconds = 1 + random.bounded(600);
        const qint64 ours = rubleAMinute(seconds);
        const LogCall lc = logCall(dialled, start, seconds);
        BillCall bc;
        bc.number = lc.number;
        bc.start = start + random.bounded(-60, 61);
        bc.seconds = seconds;
        bc.cost = ours;
        bc.line = i + 1;
        Kind kind = Kind::Match;
        switch (random.bounded(20)) {
        case 0:
            kind = Kind::NotInBill;
            break;
        case 1:
            kind = Kind::Duration;
            bc.seconds += 60;
            bc.cost = rubleAMinute(bc.seconds);
            break;
        case 2:
            kind = Kind::Cost;
            bc.cost += 50;
            break;
        case 3:
            kind = Kind::NotInLog;
            bc.number = key("89990000000");
            break;
        }
        Totals& t = expected[std::size_t(kind)];
        ++t.calls;
        if (kind != Kind::NotInLog) {
            log.push_back(lc);
            t.logSeconds += seconds;
            t.ourKopecks += ours;
        }
        if (kind != Kind::NotInBill) {
            bc.start += 3 * 3600; // the bill three hours ahead
            bill.push_back(bc);
            t.billSeconds += bc.seconds;
            t.billKopecks += bc.cost;
            disputed += kind == Kind::NotInLog ? bc.cost : std::max<qint64>(bc.cost - ours, 0);
        }
    }
    Options o;
    o.clockShift = -3;
    const Result r = compare(std::move(bill), std::move(log), o, book.get());
    QCOMPARE(totalsList(r.totals), totalsList(expected));
    QCOMPARE(r.disputed, disputed);
}

void TestBill::reportStopsBetweenPages()
{
    // Three hundred calls the log does not have: a row each, over several pages.
    std::vector<BillCall> calls;
    for (int i = 0; i < 300; ++i)
        calls.push_back(billCall("84951234567", at(10, 0, 0) + i * 120, 60, 150));
    const Result r = compareLines(std::move(calls), {});
    report::ReportTemplate layout;
    QVERIFY(layout.load(QStringLiteral(KELVORA_SOURCE_DIR "/templates/report5.frf")));
    report::PreparedReport whole, part;
    QString error;
    QVERIFY2(prepareReport(layout, r, {}, whole, error), qPrintable(error));
    QVERIFY(whole.pages.size() > 3);
    QVERIFY(!prepareReport(layout, r, {}, part, error, [](int pages, int) { return pages < 2; }));
    QVERIFY2(error.isEmpty(), qPrintable(error)); // stopped, not failed
    QCOMPARE(part.pages.size(), 2);
}

namespace {

CheckRequest requestFor(const test::TestDatabase& t, QDate first, QDate last)
{
    CheckRequest request;
    request.place = test::readingPlace(t);
    request.first = first;
    request.last = last;
    return request;
}

CheckOutcome checkCalls(const CheckRequest& request, std::vector<BillCall> calls,
                        bool stopping = false)
{
    CancelSlot slot;
    return check(request, std::move(calls), slot, [stopping] { return stopping; });
}

// The national form of a number as the exchange keeps it, worked out here on its own.
QString nationalForm(qint64 dialled)
{
    const QString d = QString::number(dialled);
    if (d.size() == 7)
        return QStringLiteral("+7495") + d;
    if (d.size() == 11 && d.startsWith(u'8') && !d.startsWith(QStringLiteral("810")))
        return QStringLiteral("+7") + d.mid(1);
    if (d.startsWith(QStringLiteral("810")))
        return u'+' + d.mid(3);
    return d;
}

// The same number as an operator may write it.
QString written(const QString& national, int form)
{
    if (!national.startsWith(u'+'))
        return national; // a short local number
    if (!national.startsWith(QStringLiteral("+7")) || national.size() != 12)
        return form % 2 ? national : QStringLiteral("810") + national.mid(1);
    switch (form % 4) {
    case 0:
        return national;
    case 1:
        return u'8' + national.mid(2);
    case 2:
        return national.mid(2);
    default:
        return national.mid(1, 1) + u' ' + national.mid(2, 3) + u' ' + national.mid(5);
    }
}

} // namespace

void TestBill::checkAgainstDemoLog()
{
    // A demo log, and a bill made from its outgoing calls of March with known changes: calls
    // removed, lengthened, repriced and added; the bill written in the operator's forms with
    // its clock an hour and 37 s ahead.
    TEST_DEMO_CALL_LOG(t, 60000, QDateTime(QDate(2026, 3, 31), QTime(23, 0)));
    struct Made
    {
        qint64 start;
        qint64 dialled;
        int seconds;
        int line;
    };
    std::vector<Made> outgoing;
    {
        db::Transaction tr(t.database());
        tr.start();
        db::Query q(t.database(), tr);
        q.sql().add(QStringLiteral("SELECT RingDate, RLine, NumberOut, TimeHour, TimeMin, TimeSec "
                                   "FROM Rings WHERE NumberOut <> 0 AND RingDate >= '2026-03-01'"));
        q.open();
        const auto number = [&](const char* name) {
            return q.field(QLatin1String(name)).asInteger();
        };
        for (; !q.eof(); q.next()) {
            const QDateTime when = q.field(QStringLiteral("RingDate")).asDateTime();
            outgoing.push_back(
                {at(0, 0, when.time().msecsSinceStartOfDay() / 1000, when.date()),
                 qint64(q.field(QStringLiteral("NumberOut")).asDouble()),
                 number("TimeHour") * 3600 + number("TimeMin") * 60 + number("TimeSec"),
                 number("RLine")});
        }
    }
    QVERIFY(outgoing.size() > 5000);
    // Calls to one number within ten minutes of each other are left off the bill altogether,
    // so that what pairs with what is never in doubt.
    std::map<QString, std::vector<qint64>> byNumber;
    for (const Made& m : outgoing)
        byNumber[nationalForm(m.dialled)].push_back(m.start);
    auto crowded = [&](const Made& m) {
        const std::vector<qint64>& starts = byNumber[nationalForm(m.dialled)];
        return std::count_if(starts.begin(), starts.end(),
                             [&](qint64 other) { return std::llabs(other - m.start) < 600; }) > 1;
    };
    QRandomGenerator random(7);
    std::array<Totals, KindCount> expected{};
    QString csv = QStringLiteral("Дата;Номер;Длительность;Сумма\r\n");
    auto add = [&](qint64 start, const QString& number, int seconds, qint64 cost) {
        const qint64 s = start + 3600 + 37;
        csv += momentText(s) + u';' + number + u';' + QString::number(seconds / 60) + u':' +
               QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0')) + u';' +
               tariff::kopecksText(cost) + QStringLiteral("\r\n");
    };
    for (const Made& m : outgoing) {
        const qint64 ours = rubleAMinute(m.seconds);
        Kind kind = Kind::Match;
        const int change = random.bounded(20);
        if (crowded(m) || change == 0)
            kind = Kind::NotInBill;
        else if (change == 1)
            kind = Kind::Duration;
        else if (change == 2)
            kind = Kind::Cost;
        Totals& e = expected[std::size_t(kind)];
        ++e.calls;
        e.logSeconds += m.seconds;
        e.ourKopecks += ours;
        if (kind == Kind::NotInBill)
            continue;
        const int seconds = kind == Kind::Duration ? m.seconds + 30 : m.seconds;
        const qint64 cost = kind == Kind::Duration ? rubleAMinute(seconds)
                            : kind == Kind::Cost   ? ours + 100
                                                   : ours;
        e.billSeconds += seconds;
        e.billKopecks += cost;
        add(m.start, written(nationalForm(m.dialled), random.bounded(4)), seconds, cost);
        if (change == 3) {
            Totals& n = expected[std::size_t(Kind::NotInLog)];
            ++n.calls;
            n.billSeconds += 60;
            n.billKopecks += 250;
            add(m.start + 1, QStringLiteral("+79990000000"), 60, 250);
        }
    }
    const Table table = readCsv(csv.toUtf8());
    const Columns columns = guessColumns(table);
    QCOMPARE(columns, (Columns{0, -1, 1, 2, 3, 1}));
    BillCalls billCalls = readCalls(table, columns, QStringLiteral("495"));
    QVERIFY(billCalls.refused.empty());

    CheckRequest request = requestFor(t, QDate(2026, 3, 1), QDate(2026, 3, 31));
    request.cityCode = QStringLiteral("495");
    request.options.clockShift = -1;
    request.book = rubleAMinute();
    const CheckOutcome outcome = checkCalls(request, std::move(billCalls.calls));
    QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    QCOMPARE(totalsList(outcome.result.totals), totalsList(expected));
    // Only the lines asked for: another line's calls are neither read nor missing from the bill.
    request.lines = {1};
    const CheckOutcome one =
        checkCalls(request, readCalls(table, columns, QStringLiteral("495")).calls);
    QVERIFY(one.logCalls > 0);
    QVERIFY(one.logCalls < outcome.logCalls);
    QVERIFY(one.result[Kind::NotInBill].calls < outcome.result[Kind::NotInBill].calls);
}

void TestBill::checkRefusesEmptyPeriod()
{
    TEST_SMALL_CALL_LOG(t);
    CheckRequest request = requestFor(t, QDate(2025, 6, 1), QDate(2025, 6, 30));
    const std::vector<BillCall> june{billCall("84951234567", at(10, 0, 0, QDate(2025, 6, 2)), 60)};
    QVERIFY(checkCalls(request, june)
                .error.contains(QStringLiteral("В журнале нет исходящих звонков с 01.06.2025")));
    // The log has calls in March, the bill's calls are all in June.
    request.first = QDate(2026, 3, 1);
    request.last = QDate(2026, 3, 2);
    QVERIFY(checkCalls(request, june)
                .error.contains(QStringLiteral("Ни один звонок счёта не попал в период")));
    request.last = QDate(2026, 2, 1);
    QVERIFY(!checkCalls(request, {}).error.isEmpty());
}

void TestBill::checkStops()
{
    TEST_SMALL_CALL_LOG(t);
    const CheckOutcome outcome = checkCalls(requestFor(t, QDate(2026, 3, 1), QDate(2026, 3, 2)),
                                            {billCall("84951234567", at(10, 0, 0), 60)}, true);
    QVERIFY(outcome.stopped);
    QVERIFY(outcome.result.bill.empty());
}

void TestBill::checkAsAJob()
{
    // On the runs' pool: the check is a job's work, its end heard on this thread.
    TEST_SMALL_CALL_LOG(t);
    const CheckRequest request = requestFor(t, QDate(2026, 3, 1), QDate(2026, 3, 2));
    CheckOutcome outcome;
    std::optional<runs::RunState> end;
    runs::Job<int> job([](const int&) {}, [&](runs::RunState state) { end = state; });
    job.start([&](runs::JobContext<int>& context) {
        outcome = check(request, {billCall("84951234567", at(10, 0, 0), 60)}, context.cancelSlot(),
                        [&] { return context.stopping(); });
    });
    QTRY_VERIFY(end.has_value());
    QCOMPARE(*end, runs::RunState::Finished);
    QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    QCOMPARE(outcome.result[Kind::NotInLog].calls, 1);
    QCOMPARE(outcome.result[Kind::NotInBill].calls, outcome.logCalls);
}

KELVORA_TEST_MAIN(TestBill)
#include "test_bill.moc"
