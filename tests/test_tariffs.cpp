// Call pricing: the worked cases, matching, the ready plan, price lists, the tables, and the
// call list's totals against a sum computed by the server from the same rules.
#include "support/CallData.h"
#include "support/Login.h"
#include "support/MainWindowSession.h"
#include "support/ReportPages.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "app/Messages.h"
#include "grid/DataGrid.h"
#include "report/ReportOutput.h"
#include "runs/ReportValues.h"
#include "ui/controls/DateField.h"
#include "ui/editors/TTariffForm.h"
#include "ui/main/CallsTab.h"
#include "ui/stats/TReportForm.h"
#include "ui/stats/TStat1Form.h"

#include "DemoData.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "data/TariffCsv.h"
#include "data/TariffStore.h"
#include "db/Query.h"
#include "db/Sql.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTest>
#include <QtCharts/QPieSeries>

using namespace tariff;

namespace {

Rule rule(const char* prefix, const char* length, const char* price, int first, int next,
          int free = 0, const char* fee = "0", QDate from = {})
{
    Rule r;
    r.prefix = QString::fromLatin1(prefix);
    r.setLengthText(QString::fromLatin1(length));
    r.zone = QString::fromLatin1(prefix) + u'/' + QString::fromLatin1(length);
    r.minutePrice = *parsePrice(QString::fromLatin1(price));
    r.firstInterval = first;
    r.nextInterval = next;
    r.freeSeconds = free;
    r.connectionFee = *parsePrice(QString::fromLatin1(fee));
    r.validFrom = from;
    return r;
}

Plan plan(int id, bool isDefault, std::vector<Rule> rules)
{
    Plan p;
    p.id = id;
    p.name = QStringLiteral("План %1").arg(id);
    p.isDefault = isDefault;
    p.rules = std::move(rules);
    return p;
}

// The zone a book gives a number dialled on a line on a day; "-" for none.
QString zoneOf(const TariffBook& book, const QString& number, int line = 1,
               QDate day = QDate(2026, 3, 10))
{
    const int r = book.match(line, day, number);
    return r < 0 ? QStringLiteral("-") : book.rule(r).zone;
}

const QDate RateChange(2026, 3, 15);

// The plans of the totals test: the default (id 1) and one of line 2's (id 2).
std::vector<Plan> totalsPlans()
{
    return {plan(1, true,
                 {rule("", "10", "1,50", 60, 60, 3), rule("89", "11", "2,40", 1, 1),
                  rule("89", "11", "3,00", 30, 6, 0, "0", RateChange),
                  rule("", "7", "1,00", 60, 60, 0, "0,50")}),
            plan(2, false, {rule("", "", "0,7", 1, 1, 5)})};
}

// The same rules written as CASE expressions over a call's number N, length D and day.
const char* const TotalsCase =
    "CASE WHEN R.RLine = 2 THEN (CASE WHEN D <= 5 THEN 0 ELSE D END * 7000 + 3000) / 6000 "
    "WHEN N STARTING WITH '89' AND CHAR_LENGTH(N) = 11 AND CAST(R.RingDate AS DATE) >= "
    "'2026-03-15' THEN (CASE WHEN D <= 0 THEN 0 WHEN D <= 30 THEN 30 "
    "ELSE 30 + (D - 30 + 5) / 6 * 6 END * 30000 + 3000) / 6000 "
    "WHEN N STARTING WITH '89' AND CHAR_LENGTH(N) = 11 THEN (CASE WHEN D <= 0 THEN 0 ELSE D END "
    "* 24000 + 3000) / 6000 "
    "WHEN CHAR_LENGTH(N) = 10 THEN (CASE WHEN D <= 3 THEN 0 "
    "WHEN D <= 60 THEN 60 ELSE 60 + (D - 60 + 59) / 60 * 60 END * 15000 + 3000) / 6000 "
    "WHEN CHAR_LENGTH(N) = 7 THEN CASE WHEN D <= 0 THEN 0 ELSE (300000 + "
    "CASE WHEN D <= 60 THEN 60 ELSE 60 + (D - 60 + 59) / 60 * 60 END * 10000 + 3000) / 6000 END "
    "END";

// The demo directories and `calls` calls of March 2026 in a new database `t`.
#define TEST_MARCH_DEMO_LOG(t, calls)                                                              \
    test::TestDatabase t;                                                                          \
    TEST_CREATE_DATABASE(t);                                                                       \
    demo::DemoData data(22);                                                                       \
    data.fillDirectories(t.database());                                                            \
    data.fillCalls(t.database(), calls, QDateTime(QDate(2026, 3, 1), QTime(8, 0)),                 \
                   QDateTime(QDate(2026, 3, 31), QTime(20, 0)))

// Types a cell's new text with the keyboard: F2, select all, the text, Enter.
void typeInCell(QTableWidget* grid, int row, int column, const QString& text)
{
    grid->setCurrentCell(row, column);
    QTest::keyClick(grid, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
}

int rowOfPrefix(const QTableWidget* grid, const QString& prefix)
{
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->item(r, 0)->text() == prefix)
            return r;
    return -1;
}

} // namespace

class TestTariffs : public QObject
{
    Q_OBJECT
private slots:
    void workedCases_data();
    void workedCases();
    void moneyTexts();
    void matching();
    void standardPlan();
    void csvImport();
    void tablesCreatedAndStoredExactly();
    void callListTotalsMatchServer();
    void costReportMatchesServer();
    void init() { Messages::setTestMode(true); }
    void cleanup() { Messages::clearShown(); }
    void tariffWindow();
    void callListShowsCosts();
};

void TestTariffs::workedCases_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("free");
    QTest::addColumn<QString>("fee");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("cost");
    QTest::newRow("free seconds") << "1,50" << 60 << 60 << 3 << "0" << 3 << "0,00";
    QTest::newRow("past free") << "1,50" << 60 << 60 << 3 << "0" << 4 << "1,50";
    QTest::newRow("one minute") << "1,50" << 60 << 60 << 3 << "0" << 60 << "1,50";
    QTest::newRow("into the 2nd") << "1,50" << 60 << 60 << 3 << "0" << 61 << "3,00";
    QTest::newRow("per second") << "2,40" << 1 << 1 << 0 << "0" << 61 << "2,44";
    QTest::newRow("30/6 short") << "3,00" << 30 << 6 << 0 << "0" << 5 << "1,50";
    QTest::newRow("30/6 long") << "3,00" << 30 << 6 << 0 << "0" << 31 << "1,80";
    QTest::newRow("fee") << "1,00" << 60 << 60 << 0 << "0,50" << 10 << "1,50";
    // 1,55 a minute for 1 s is 2,583 kopecks; 0,0001 for 3000 s is half a kopeck.
    QTest::newRow("half up") << "1,55" << 1 << 1 << 0 << "0" << 1 << "0,03";
    QTest::newRow("exact half") << "0,0001" << 1 << 1 << 0 << "0" << 3000 << "0,01";
    QTest::newRow("below half") << "0,0001" << 1 << 1 << 0 << "0" << 2999 << "0,00";
}

void TestTariffs::workedCases()
{
    QFETCH(QString, price);
    QFETCH(int, first);
    QFETCH(int, next);
    QFETCH(int, free);
    QFETCH(QString, fee);
    QFETCH(int, seconds);
    QFETCH(QString, cost);
    const Rule r = rule("", "", price.toLatin1(), first, next, free, fee.toLatin1());
    QCOMPARE(kopecksText(r.cost(seconds)), cost);
}

void TestTariffs::moneyTexts()
{
    QCOMPARE(parsePrice(QStringLiteral("2.40")), std::optional<qint64>(24000));
    QCOMPARE(parsePrice(QStringLiteral(" 1 200,0125 ")), std::optional<qint64>(12000125));
    QVERIFY(!parsePrice(QStringLiteral("1,23456")));
    QVERIFY(!parsePrice(QStringLiteral("-1")));
    QCOMPARE(priceText(12000125), QStringLiteral("1200,0125"));
    QCOMPARE(kopecksText(-5), QStringLiteral("-0,05"));
    // A sum the operator reads has its thousands apart; a cell's value does not.
    QCOMPARE(kopecksText(21310431), QStringLiteral("213104,31"));
    QCOMPARE(moneyText(21310431), QStringLiteral("213\u00A0104,31"));
    QCOMPARE(moneyText(-123456789), QStringLiteral("-1\u00A0234\u00A0567,89"));
    QCOMPARE(moneyText(99999), QStringLiteral("999,99"));
}

void TestTariffs::matching()
{
    const TariffBook book(
        {plan(1, true,
              {rule("8", "11", "1", 60, 60), rule("8495", "11", "1", 60, 60),
               rule("8495", "", "1", 60, 60), rule("9", "10", "1", 60, 60),
               rule("", "5-7", "1", 60, 60), rule("8495", "11", "2", 60, 60, 0, "0", RateChange)}),
         plan(7, false, {rule("", "", "1", 60, 60)})},
        {{3, 7}});
    QCOMPARE(zoneOf(book, QStringLiteral("84951234567")), QStringLiteral("8495/11")); // longest
    QCOMPARE(zoneOf(book, QStringLiteral("84731234567")), QStringLiteral("8/11"));
    QCOMPARE(zoneOf(book, QStringLiteral("849512345")), QStringLiteral("8495/")); // length
    QCOMPARE(zoneOf(book, QStringLiteral("91234567890")), QStringLiteral("-"));   // no tariff
    QCOMPARE(zoneOf(book, QStringLiteral("1234567")), QStringLiteral("/5-7"));
    QCOMPARE(zoneOf(book, QStringLiteral("+7 (123) 456-78-9")), QStringLiteral("-")); // 10 digits
    // The rate change: the old rule up to the day before, the new one from the day.
    const QDate before = RateChange.addDays(-1);
    QCOMPARE(book.rate(1, before, 84951234567, 60).cost, 100);
    QCOMPARE(book.rate(1, RateChange, 84951234567, 60).cost, 200);
    // Line 3 has a plan of its own; line 1 uses the default.
    QCOMPARE(book.planOf(3)->id, 7);
    QCOMPARE(zoneOf(book, QStringLiteral("12"), 3), QStringLiteral("/"));
    QCOMPARE(zoneOf(book, QStringLiteral("12"), 1), QStringLiteral("-"));
    QCOMPARE(book.rate(1, before, 12, 60).rule, -1);
}

void TestTariffs::standardPlan()
{
    std::vector<Plan> plans{tariff::standardPlan()};
    plans.front().isDefault = true;
    const TariffBook book(std::move(plans), {});
    const std::pair<const char*, const char*> cases[] = {
        {"88001234567", "Бесплатные"},
        {"78001234567", "Бесплатные"},
        {"89161234567", "Мобильные"},
        {"+7 916 123-45-67", "Мобильные"},
        {"84951234567", "Междугородные"},
        {"74951234567", "Междугородные"},
        {"81044123456789", "Международные"},
        {"2345678", "Местные"},
        {"112", "Бесплатные"},
        {"03", "Бесплатные"},
    };
    for (const auto& [number, zone] : cases)
        QCOMPARE(zoneOf(book, QString::fromUtf8(number)), QString::fromUtf8(zone));
    QCOMPARE(zoneOf(book, QStringLiteral("8495123")), QStringLiteral("Местные"));
    QCOMPARE(zoneOf(book, QStringLiteral("849512345678")), QStringLiteral("-"));
}

void TestTariffs::csvImport()
{
    const QByteArray good = "\xEF\xBB\xBF" + ruleTitles().join(u';').toUtf8() +
                            "\r\n8;11;Междугородные;1,50;60;60;3;;\r\n\r\n"
                            "89;10-11;Мобильные;2.4;1;1;0;0.50;15.03.2026\r\n";
    const CsvImport read = readCsv(good);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.refused.size(), std::size_t(0));
    QCOMPARE(read.rules.size(), std::size_t(2));
    QCOMPARE(read.rules[1].connectionFee, 5000);
    QCOMPARE(read.rules[1].validFrom, RateChange);
    // What is written reads back the same.
    QCOMPARE(ruleFields(readCsv(writeCsv(read.rules)).rules[1]), ruleFields(read.rules[1]));

    // Each refused line by its number, the value refused quoted; a line cut short is refused
    // too, and a quoted field may hold a ";".
    const QByteArray bad = ruleTitles().join(u';').toUtf8() +
                           "\n8;11;Зона;1,50;;;;;\n8a;;Зона;1;;;;;\n;;Зона;1,12345;;;;;\n;;;1;;;;;"
                           "\n;;Зона;1;;;;;31.02.2026\n7;11;Мобильные;1,5\n"
                           "5;;\"Зона; \"\"вторая\"\"\";1;;;;;\n";
    const CsvImport refused = readCsv(bad);
    QCOMPARE(refused.rules.size(), std::size_t(2));
    QCOMPARE(refused.refused.size(), std::size_t(5));
    QCOMPARE(refused.refused[0].first, 3);
    QVERIFY(refused.refused[0].second.startsWith(QStringLiteral("Префикс: «8a» — ")));
    QVERIFY(refused.refused[1].second.startsWith(QStringLiteral("Цена минуты: «1,12345» — ")));
    QVERIFY(refused.refused[2].second.startsWith(QStringLiteral("Зона:")));
    QCOMPARE(refused.refused[3].first, 6);
    QCOMPARE(refused.refused[3].second,
             QStringLiteral("Действует с: «31.02.2026» — такого дня нет в календаре"));
    QCOMPARE(refused.refused[4].first, 7);
    QVERIFY2(refused.refused[4].second.startsWith(QStringLiteral("полей 4 из 9, нет «Первый "
                                                                 "интервал», «Следующий")),
             qPrintable(refused.refused[4].second));
    QCOMPARE(refused.rules[1].zone, QStringLiteral("Зона; \"вторая\""));
    QCOMPARE(readCsv(writeCsv(refused.rules)).rules[1].zone, refused.rules[1].zone);

    QStringEncoder cp1251("windows-1251");
    const QByteArray legacy = cp1251.encode(ruleTitles().join(u';') + QStringLiteral("\n"));
    QVERIFY(readCsv(legacy).error.contains(QStringLiteral("UTF-8")));
}

void TestTariffs::tablesCreatedAndStoredExactly()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    // A database made before the tariffs: without their tables.
    t.exec({QStringLiteral("DROP TABLE LineTariffs"), QStringLiteral("DROP TABLE TariffRules"),
            QStringLiteral("DROP TABLE TariffPlans"),
            QStringLiteral("DROP GENERATOR GEN_TARIFFID")});
    TDM dm;
    test::login(dm, t.path());
    QVERIFY(!hasTables(dm.ibDatabase, dm.ibTranRO));
    QVERIFY(load(dm.ibDatabase, dm.ibTranRO)->plans().empty());
    // A bill's columns remembered before the plans were made: kept as they are, the second
    // choice for the same plan replacing the first.
    QVERIFY(hasBillColumns(dm.ibDatabase, dm.ibTranRO));
    QCOMPARE(saveBillColumns(dm, 0, QStringLiteral("first")), TDM::WriteResult::Written);
    QCOMPARE(saveBillColumns(dm, 0, QStringLiteral("second")), TDM::WriteResult::Written);
    QCOMPARE(createTables(dm), TDM::WriteResult::Written);
    QVERIFY(hasTables(dm.ibDatabase, dm.ibTranRO));
    QCOMPARE(billColumns(dm.ibDatabase, dm.ibTranRO, 0), QStringLiteral("second"));
    QCOMPARE(billColumns(dm.ibDatabase, dm.ibTranRO, 1), QString());
    const auto created = load(dm.ibDatabase, dm.ibTranRO);
    QCOMPARE(created->plans().size(), std::size_t(1));
    QCOMPARE(created->plans()[0].name, QStringLiteral("Типовой"));
    QVERIFY(created->plans()[0].isDefault);
    QCOMPARE(created->plans()[0].rules.size(), tariff::standardPlan().rules.size());

    // Prices below the kopeck survive the round trip; a second save replaces everything.
    std::vector<Plan> plans = totalsPlans();
    plans[1].rules[0].minutePrice = 125; // 0,0125
    plans[1].rules[0].validFrom = RateChange;
    QCOMPARE(save(dm, plans, {{2, 2}}), TDM::WriteResult::Written);
    const auto stored = load(dm.ibDatabase, dm.ibTranRO);
    QCOMPARE(stored->plans().size(), std::size_t(2));
    QCOMPARE(ruleFields(stored->plans()[1].rules[0]), ruleFields(plans[1].rules[0]));
    QCOMPARE(stored->planOf(2)->id, 2);
    db::Sql s(dm.ibDatabase, dm.ibTranRO);
    s.sql().add(QStringLiteral("SELECT CAST(MinutePrice AS VARCHAR(30)) AS P FROM TariffRules "
                               "WHERE PlanID = 2"));
    s.execQuery();
    QCOMPARE(s.field(QStringLiteral("P")).asString(), QStringLiteral("0.0125"));
    // A duplicate name is refused by the database and leaves the stored plans as they were.
    plans[1].name = plans[0].name;
    QCOMPARE(save(dm, plans, {}), TDM::WriteResult::Refused);
    QVERIFY(writeErrorText(dm.WriteRefusal()).contains(QStringLiteral("одинаково")));
    QVERIFY(!dm.WriteActive()); // rolled back
    QCOMPARE(load(dm.ibDatabase, dm.ibTranRO)->plans().size(), std::size_t(2));
    // A plan not stored yet gets a key of its own; its rules and lines follow it.
    plans[1].name = QStringLiteral("План 2");
    plans.push_back(plan(-1, false, {rule("8", "11", "2,00", 60, 60)}));
    plans.back().name = QStringLiteral("Новый");
    QCOMPARE(save(dm, plans, {{2, 2}, {3, -1}}), TDM::WriteResult::Written);
    const auto grown = load(dm.ibDatabase, dm.ibTranRO);
    const Plan* added = grown->planOf(3);
    QVERIFY(added);
    QCOMPARE(added->name, QStringLiteral("Новый"));
    QVERIFY(added->id > 2);
    QCOMPARE(added->rules.size(), std::size_t(1));
    QCOMPARE(grown->planOf(2)->id, 2);
}

void TestTariffs::callListTotalsMatchServer()
{
    TEST_MARCH_DEMO_LOG(t, 100000);
    TDM dm;
    test::login(dm, t.path());
    save(dm, totalsPlans(), {{2, 2}});
    dm.LoadTariffs();
    QVERIFY(dm.HasTariffs());

    stmt::CallFilter filter;
    filter.from = QDate(2026, 3, 1);
    filter.to = QDate(2026, 3, 31);
    filter.withLine = true;
    filter.statement().applyTo(dm.ibQueryRings);
    dm.ibQueryRings.open();
    const db::Field& zone = dm.ibQueryRings.field(QStringLiteral("RZone"));
    const db::Field& length = dm.ibQueryRings.field(QStringLiteral("RINGLENGTH"));
    qint64 total = 0;
    qint64 without = 0;
    for (; !dm.ibQueryRings.eof(); dm.ibQueryRings.next())
        if (const auto cost = dm.CallCosts.rowCost(zone, length)) {
            total += cost->kopecks;
            without += cost->rated ? 0 : 1;
        }

    db::Sql s(dm.ibDatabase, dm.ibTranRO);
    s.sql().add(QStringLiteral("SELECT SUM(C) AS TOTAL, COUNT(*) - COUNT(C) AS WITHOUT FROM "
                               "(SELECT ") +
                QString::fromLatin1(TotalsCase) +
                QStringLiteral(" AS C FROM (SELECT R.*, CAST(CAST(R.NumberOut AS BIGINT) AS "
                               "VARCHAR(20)) AS N, R.RingLength AS D FROM Rings R) R, Lines L, "
                               "Users U WHERE R.RLine = L.NumberLine AND R.NumberIn = U.NumberIn "
                               "AND R.NumberOut > 0)"));
    s.execQuery();
    QVERIFY(s.field(QStringLiteral("WITHOUT")).asInt64() > 0);
    QCOMPARE(without, s.field(QStringLiteral("WITHOUT")).asInt64());
    QCOMPARE(total, s.field(QStringLiteral("TOTAL")).asInt64());
}

// The cost report, run by a click on "Просмотр": its grand totals (every outgoing call of the
// period, those outside the directories too) and one department's are the sums the server
// computes with the rules as CASE expressions, and the page shows them.
void TestTariffs::costReportMatchesServer()
{
    TEST_MARCH_DEMO_LOG(t, 20000);
    QVERIFY(QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/report4.frf"),
                        t.dir() + QStringLiteral("/report4.frf")));
    TDM dm(t.dir());
    test::login(dm, t.path());
    save(dm, totalsPlans(), {{2, 2}});
    TReportForm form(dm);
    form.dOT->setDate(QDate(2026, 3, 1));
    form.dDo->setDate(QDate(2026, 3, 20)); // the rate change inside the period
    form.cbReport->setCurrentIndex(form.cbReport->findText(QStringLiteral("Стоимость звонков")));
    form.show();
    QTest::mouseClick(form.bbPreview, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !form.running(); }, 60000));
    QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));

    db::Sql s(dm.ibDatabase, dm.ibTranRO);
    s.sql().add(
        QStringLiteral("SELECT SUM(C) AS TOTAL, COUNT(*) - COUNT(C) AS WITHOUT, "
                       "COUNT(*) AS CALLS, MIN(DEPT) AS DEPT, "
                       "SUM(CASE WHEN LISTED = 1 AND DEPT = (SELECT MIN(D2.DeptName) FROM Users "
                       "U2 JOIN Depts D2 ON D2.KeyID = U2.DeptNumber) THEN C END)"
                       " AS FIRSTDEPT FROM (SELECT ") +
        QString::fromLatin1(TotalsCase) +
        QStringLiteral(" AS C, D.DeptName AS DEPT, IIF(L.NumberLine IS NULL, 0, 1) AS LISTED "
                       "FROM (SELECT R.*, CAST(CAST(R.NumberOut AS BIGINT) AS VARCHAR(20)) AS N, "
                       "R.RingLength AS D FROM Rings R) R LEFT JOIN Lines L ON R.RLine = "
                       "L.NumberLine LEFT JOIN Users U ON R.NumberIn = U.NumberIn "
                       "LEFT JOIN Depts D ON D.KeyID = U.DeptNumber WHERE "
                       "R.NumberOut > 0 AND R.RingDate BETWEEN '2026-03-01 00:00:00' "
                       "AND '2026-03-20 23:59:59.059')"));
    s.execQuery();
    QVERIFY(s.field(QStringLiteral("WITHOUT")).asInt64() > 0);
    QCOMPARE(form.SNoTariff, s.field(QStringLiteral("WITHOUT")).asInt64());
    QCOMPARE(form.SCntAllRing, s.field(QStringLiteral("CALLS")).asInt64());
    QCOMPARE(form.SCost, s.field(QStringLiteral("TOTAL")).asInt64());

    const QString pdf = t.dir() + QStringLiteral("/cost.pdf");
    QVERIFY(report::ReportOutput().writePdf(form.prepared(), pdf));
    const QString text = test::output(QStringLiteral("pdftotext"),
                                      {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    const QString dept = s.field(QStringLiteral("DEPT")).asString();
    // The department's first total row after its heading.
    const QRegularExpressionMatch deptTotal =
        QRegularExpression(QStringLiteral("Итого по отделу\\s+\\d+\\s+.*сек\\s+(\\S+ ?\\S*)\n"))
            .match(text.section(dept, 1));
    QVERIFY2(deptTotal.hasMatch(), qPrintable(text));
    // The report writes money as the locale does; pdftotext reads its space as a plain one.
    const auto money = [](qint64 kopecks) {
        return ReportMoneyText(kopecks).replace(QChar::Nbsp, u' ');
    };
    QCOMPARE(deptTotal.captured(1).trimmed(),
             money(s.field(QStringLiteral("FIRSTDEPT")).asInt64()));
    QVERIFY2(
        text.contains(QRegularExpression(QStringLiteral("Итого за период\\s+%1\\s+.*сек\\s+%2\n")
                                             .arg(form.SCntAllRing)
                                             .arg(QRegularExpression::escape(money(form.SCost))))),
        qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("без тарифа")));
    QVERIFY(text.contains(
        QStringLiteral("Без тарифа (стоимость не учтена), звонков: %1").arg(form.SNoTariff)));
}

void TestTariffs::tariffWindow()
{
    TEST_SMALL_CALL_LOG(t);
    TDM dm;
    test::login(dm, t.path());
    TTariffForm form(dm);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QVERIFY(form.lNoTables->isHidden());
    QCOMPARE(form.bbClose->text(), QStringLiteral("Закрыть"));
    QTest::mouseClick(form.sbStandardPlan, Qt::LeftButton);
    QCOMPARE(form.lbPlans->item(0)->text(), QStringLiteral("Типовой (по умолчанию)"));
    // A screen reader walking the lines' table reads each line's plan in its cell.
    QAccessibleTableInterface* lines =
        QAccessible::queryAccessibleInterface(form.GridLinePlans)->tableInterface();
    QVERIFY(lines);
    QCOMPARE(lines->cellAt(0, 2)->text(QAccessible::Name), QStringLiteral("(по умолчанию)"));
    const int mobile = rowOfPrefix(form.GridRules, QStringLiteral("89"));
    QVERIFY(mobile >= 0);
    for (const auto& [column, text] : {std::pair(3, "2,40"), std::pair(4, "1"), std::pair(5, "1")})
        typeInCell(form.GridRules, mobile, column, QLatin1String(text));
    // A wrong value is refused, named, and nothing is written.
    typeInCell(form.GridRules, 0, 3, QStringLiteral("1.5.0"));
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY(Messages::shown().last().text.contains(QStringLiteral("правило 1: Цена минуты")));
    QVERIFY(load(dm.ibDatabase, dm.ibTranRO)->plans().empty());
    typeInCell(form.GridRules, 0, 3, QStringLiteral("0"));
    // The check of a call works on what is typed, saved or not, on the day typed.
    QTest::mouseClick(form.eCheckNumber, Qt::LeftButton);
    QTest::keyClicks(form.eCheckNumber, QStringLiteral("8 916 123-45-67"));
    QTest::keyClick(form.eCheckNumber, Qt::Key_Tab);
    QVERIFY(form.eCheckDate->hasFocus());
    QTest::keyClicks(form.eCheckDate, QStringLiteral("05.03.2024"));
    QTest::keyClick(form.eCheckDate, Qt::Key_Tab);
    QCOMPARE(form.eCheckDate->date(), QDate(2024, 3, 5));
    form.eCheckSeconds->selectAll();
    QTest::keyClicks(form.eCheckSeconds, QStringLiteral("61"));
    QTest::mouseClick(form.sbCheck, Qt::LeftButton);
    QVERIFY2(form.lCheckResult->text().contains(QStringLiteral("Мобильные; к оплате 61 сек; "
                                                               "стоимость 2,44")),
             qPrintable(form.lCheckResult->text()));
    // Another line chosen: the answer for the first one goes, and the line stays chosen after
    // a save.
    QTest::keyClick(form.cbCheckLine, Qt::Key_Down);
    QCOMPARE(form.cbCheckLine->currentData().toInt(), 2);
    QVERIFY(form.lCheckResult->text().isEmpty());
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY(form.lStatus->text().startsWith(QStringLiteral("Тарифы сохранены")));
    QCOMPARE(form.cbCheckLine->currentData().toInt(), 2);
    const auto stored = load(dm.ibDatabase, dm.ibTranRO);
    QCOMPARE(stored->plans().size(), std::size_t(1));
    QCOMPARE(stored->rate(1, QDate(2026, 3, 1), 89161234567, 61).cost, 244);

    // A price list with a line cut short is refused with the line's number; a whole one is
    // shown rule by rule before it replaces the plan's.
    const QString csv = t.dir() + QStringLiteral("/rules.csv");
    const auto write = [&csv](const QByteArray& lines) {
        return test::writeFile(csv, ruleTitles().join(u';').toUtf8() + '\n' + lines);
    };
    QVERIFY(write("89;11;Мобильные;1,90;30;6;5;;\n7;11;Мобильные;1,5\n"));
    TTariffForm::setNextFileName(csv);
    QTest::mouseClick(form.sbImport, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 2);
    QVERIFY2(Messages::shown().last().text.contains(QStringLiteral("строка 3: полей 4 из 9")),
             qPrintable(Messages::shown().last().text));
    QCOMPARE(form.GridRules->rowCount(), int(tariff::standardPlan().rules.size()));
    QVERIFY(write("89;11;Мобильные;1,90;30;6;5;;\n8;11;Междугородные;2,95;30;6;5;;\n"));
    TTariffForm::setNextFileName(csv);
    QTest::mouseClick(form.sbImport, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 3);
    QVERIFY2(Messages::shown().last().text.contains(
                 QStringLiteral("2. префикс 8, длина 11: Междугородные, 2,95 за минуту, 30/6 сек, "
                                "бесплатно 5 сек")),
             qPrintable(Messages::shown().last().text));
    QCOMPARE(form.GridRules->rowCount(), 2);
    QCOMPARE(load(dm.ibDatabase, dm.ibTranRO)->plans()[0].rules.size(), std::size_t(2));
}

void TestTariffs::callListShowsCosts()
{
    TEST_SMALL_CALL_LOG(t);
    test::MainWindowSession s(t);
    QVERIFY(s.ok);
    save(s.dm, {plan(1, true, {rule("", "7", "1,00", 60, 60)})}, {});
    s.tabs.dOT->setDate(QDate(2026, 3, 1));
    s.tabs.dDo->setDate(QDate(2026, 3, 2));
    QTest::mouseClick(s.tabs.sbStart, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !s.form.TabSheet1->loading(); }, 60000));
    // 30 s to 8125551 costs 1,00; 4951234567 matches no rule; the incoming call costs nothing.
    QCOMPARE(s.form.TabSheet1->PanelTotalCost->text(), QStringLiteral("1,00 (без тарифа: 1)"));
    grid::DataGrid* g = s.tabs.GridRings;
    const int zone = g->findColumnByField(QStringLiteral("RZone"));
    const int cost = g->findColumnByField(QStringLiteral("RCost"));
    QVERIFY(zone >= 0 && cost >= 0);
    QStringList zones;
    for (int r = 0; r < g->model()->rowCount(); ++r)
        zones << g->model()->index(r, zone).data().toString() + u'=' +
                     g->model()->index(r, cost).data().toString();
    QCOMPARE(zones, (QStringList{QStringLiteral("/7=1,00"), QString(u'='),
                                 QStringLiteral("без тарифа=")}));
    QVERIFY(g->model()
                ->index(0, cost)
                .data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("30 сек, к оплате 60 сек")));

    // The statistics share the same cost among the lines: all of it on line 1.
    TStat1Form stats(s.dm, QDate(2026, 3, 1), QDate(2026, 3, 2), *s.tabs.cqLines, *s.tabs.cqUsers);
    stats.show();
    TStat1Form::SetAllChecked(*stats.clbLinesOut, true);
    // On the box itself: the check box is as wide as the column, its text is not.
    QTest::mouseClick(stats.cbByCost, Qt::LeftButton, {}, QPoint(8, stats.cbByCost->height() / 2));
    QTest::mouseClick(stats.bbSave, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !stats.computing(); }, 60000));
    QCOMPARE(stats.PanelTotalTime->text(), QStringLiteral("1,00 (без тарифа: 1)"));
    QCOMPARE(stats.Series1->slices().first()->percentage(), 1.0);
}

KELVORA_TEST_MAIN(TestTariffs)
#include "test_tariffs.moc"
