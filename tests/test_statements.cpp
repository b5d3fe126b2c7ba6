// The statements built from values: their exact lines, and each one run by a real server.
#include "support/CallData.h"
#include "support/Login.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "data/Statements.h"
#include "data/TDM.h"
#include "db/Query.h"
#include "db/Sql.h"

#include <QTest>

namespace {

const QStringList CallHead = {
    QStringLiteral("SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,TimeMin,TimeSec,"
                   "NumberOut,L.NumberTown,U.FIO"),
    QStringLiteral("FROM Rings R,Lines L,Users U"),
    QStringLiteral("WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn")};
const QString Period = QStringLiteral("AND (R.RingDate between :d1 and :d2)");

stmt::CallFilter march(int fromDay, int toDay)
{
    stmt::CallFilter f;
    f.from = QDate(2026, 3, fromDay);
    f.to = QDate(2026, 3, toDay);
    return f;
}

QVariant valueOf(const stmt::Statement& s, const QString& name)
{
    for (const auto& [n, v] : s.values)
        if (n == name)
            return v;
    return {};
}

// Opens a select on the read-only transaction; the number of its rows.
qint64 rows(TDM& dm, const stmt::Statement& s)
{
    db::Query q(dm.ibDatabase, dm.ibTranRO);
    s.applyTo(q);
    q.open();
    return qint64(q.recordCount());
}

void write(TDM& dm, const stmt::Statement& s)
{
    QCOMPARE(dm.Write({s}, TDM::Refusal::RollBack), TDM::WriteResult::Written);
}

QString scalar(TDM& dm, const QString& select)
{
    dm.IBSQL.close();
    dm.IBSQL.sql().clear();
    dm.IBSQL.sql().add(select);
    dm.IBSQL.execQuery();
    const QString v = dm.IBSQL.eof() ? QString() : dm.IBSQL.fields().front()->asString();
    dm.IBSQL.close();
    return v;
}

// The rows of a select, each "NAME=value|..." with NULL told apart from 0 and the empty text.
QStringList rowTexts(TDM& dm, const stmt::Statement& s)
{
    db::Query q(dm.ibDatabase, dm.ibTranRO);
    s.applyTo(q);
    q.open();
    QStringList out;
    for (q.first(); !q.eof(); q.next()) {
        QStringList row;
        for (const auto& f : q.fields())
            row << f->name() + u'=' + (f->isNull() ? QStringLiteral("NULL") : f->asString());
        out << row.join(u'|');
    }
    q.close();
    return out;
}

// The summary and line reports' statement as it was before it read the period once: four
// correlated subqueries a subscriber or a line. The reference its rows are compared with.
stmt::Statement reportBySubqueries(ReportKind kind, const QDateTime& from, const QDateTime& to)
{
    const bool users = kind == ReportKind::BySubscriber;
    const QString row = users ? QStringLiteral("rings.numberin=users.numberin")
                              : QStringLiteral("rings.RLine=Lines.NumberLine");
    stmt::Statement s;
    s.add(users ? QStringLiteral("SELECT users.fio,users.NumberIN,")
                : QStringLiteral("SELECT Lines.NumberLine,Lines.NumberTown,"));
    const std::pair<const char*, const char*> parts[] = {{"count", "numberout=0) as CntInRing,"},
                                                         {"sum", "numberout=0) as InRing,"},
                                                         {"count", "numberout>0) as CntOutRing,"},
                                                         {"sum", "numberout>0) as OutRing"}};
    for (const auto& [aggregate, tail] : parts)
        s.add(
            QStringLiteral("(SELECT %1(rings.ringlength) FROM rings WHERE (rings.ringdate between "
                           ":d1 and :d2) and %2 AND rings.%3")
                .arg(QLatin1String(aggregate), row, QLatin1String(tail)));
    s.add(users ? QStringLiteral("FROM users") : QStringLiteral("FROM Lines"));
    // Equal names or town numbers in the order of their keys, as the directories were filled.
    s.add(users ? QStringLiteral("ORDER BY users.fio,users.NumberIN")
                : QStringLiteral("ORDER BY Lines.NumberTown,Lines.NumberLine"));
    s.bind(QStringLiteral("d1"), from);
    s.bind(QStringLiteral("d2"), to);
    return s;
}

} // namespace

class TestStatements : public QObject
{
    Q_OBJECT
private slots:
    void callFilterLines();
    void sortFieldsFromGridDescriptions();
    void talkSumAndDirectoryLines();
    void everyStatementRunsOnTheServer();
    void periodReadOnceGivesTheRowsOfOneSumEach();
};

void TestStatements::callFilterLines()
{
    stmt::CallFilter f = march(1, 2);
    stmt::Statement s = f.statement();
    QCOMPARE(s.lines, (CallHead + QStringList{Period, QStringLiteral("ORDER BY RingDate ")}));
    // The whole of both days: from midnight to the last second of the last day.
    QCOMPARE(valueOf(s, QStringLiteral("d1")).toDateTime(),
             QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    QCOMPARE(valueOf(s, QStringLiteral("d2")).toDateTime(),
             QDateTime(QDate(2026, 3, 2), QTime(23, 59, 59, 59)));

    f.outgoing = false;
    QCOMPARE(f.statement().lines[3], QStringLiteral("AND NumberOut=0"));
    f.outgoing = true;
    f.incoming = false;
    QCOMPARE(f.statement().lines[3], QStringLiteral("AND NumberOut>0"));
    f.outgoing = false; // neither: no direction condition (the window checks both again)
    QCOMPARE(f.statement().lines[3], Period);
    f.incoming = f.outgoing = true;

    // Only the digits of the prefix reach the text; nothing else typed can change it.
    f.numberPrefix = QStringLiteral(" 812 ");
    QCOMPARE(f.statement().lines[3], QStringLiteral("AND NumberOut STARTING WITH '812'"));
    f.numberPrefix = QStringLiteral("1' OR '1'='1");
    QCOMPARE(f.statement().lines[3], QStringLiteral("AND NumberOut STARTING WITH '111'"));
    f.numberPrefix = QStringLiteral("' --");
    QCOMPARE(f.statement().lines[3], Period);
    f.numberPrefix.clear();

    f.user = 102;
    f.line = 1;
    f.longerThan = 30;
    f.sortField = 2;
    f.descending = true;
    QCOMPARE(f.statement().lines,
             (CallHead + QStringList{Period, QStringLiteral("AND R.NumberIn=102"),
                                     QStringLiteral("AND R.RLine=1"),
                                     QStringLiteral("AND R.RINGLENGTH>30"),
                                     QStringLiteral("ORDER BY FIO DESC")}));
    f.sortField = 1;
    f.descending = false;
    QCOMPARE(f.statement().lines.last(), QStringLiteral("ORDER BY RHour ,RMin ,RSec "));
    f.sortField = 99; // a stored index out of range sorts by date
    QCOMPARE(f.statement().lines.last(), QStringLiteral("ORDER BY RingDate "));
    f.sortField = -1;
    QCOMPARE(stmt::CallFilter::sorts().column(f.sortField), QStringLiteral("RDATE"));

    // Read along the date index only in ascending date order over every line and subscriber.
    const QString plan = QStringLiteral("PLAN JOIN (R ORDER IX_RINGS_DATE INDEX (IX_RINGS_DATE), "
                                        "L INDEX (PK_LINES), U INDEX (PK_USERS))");
    stmt::CallFilter n = march(1, 2);
    n.navigateByDate = true;
    n.longerThan = 30;
    QCOMPARE(n.statement().lines.mid(n.statement().lines.size() - 2),
             QStringList({plan, QStringLiteral("ORDER BY RingDate ")}));
    for (auto narrow :
         {+[](stmt::CallFilter& c) { c.descending = true; },
          +[](stmt::CallFilter& c) { c.sortField = 2; }, +[](stmt::CallFilter& c) { c.user = 101; },
          +[](stmt::CallFilter& c) { c.line = 1; }}) {
        stmt::CallFilter other = n;
        narrow(other);
        QVERIFY(!other.statement().lines.contains(plan));
    }
}

void TestStatements::sortFieldsFromGridDescriptions()
{
    QCOMPARE(stmt::CallFilter::sorts().fieldOf(QStringLiteral("FIO DESC"), 0), 2);
    QCOMPARE(stmt::CallFilter::sorts().fieldOf(QStringLiteral("RLEN"), 0), 5);
    // Several named: the last in the program's order wins; none named: the current stays.
    QCOMPARE(stmt::CallFilter::sorts().fieldOf(QStringLiteral("NUMBERTOWN,RDATE"), 0), 4);
    QCOMPARE(stmt::CallFilter::sorts().fieldOf(QStringLiteral("RINGLENGTH"), 3), 3);
    QCOMPARE(stmt::LineList::sorts().fieldOf(QStringLiteral("NUMBERTOWN DESC"), 0), 1);
    QCOMPARE(stmt::LineList::sorts().fieldOf(QString(), 2), 2);
    QCOMPARE(stmt::LineList::sorts().column(3), QStringLiteral("ETC"));
    QCOMPARE(stmt::LineList::sorts().column(4), QStringLiteral("NUMBERLINE"));
}

void TestStatements::talkSumAndDirectoryLines()
{
    stmt::TalkSum sum;
    sum.keyColumn = stmt::TalkSum::UserColumn;
    sum.key = 102;
    sum.outgoing = false;
    const QStringList lines = sum.statement().lines;
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[3], QStringLiteral("AND NumberOut=0"));
    QCOMPARE(lines[4], QStringLiteral("AND R.NumberIn=102"));
    // Only the two known columns make a condition.
    sum.keyColumn = QStringLiteral("1=1 OR R.NumberIn");
    QCOMPARE(sum.statement().lines.size(), 5);

    QCOMPARE(stmt::usersOfDept(0).lines,
             (QStringList{QStringLiteral("SELECT ' ' as MailIcon,Users.* FROM Users"),
                          QStringLiteral("ORDER BY FIO")}));
    QCOMPARE(stmt::usersOfDept(7).lines[1], QStringLiteral("WHERE DeptNumber=7"));
    QCOMPARE((stmt::LineList{1, true}.statement().lines),
             (QStringList{QStringLiteral("SELECT * FROM Lines"),
                          QStringLiteral("ORDER BY NumberTown DESC")}));
    // Texts are bound, never written into the statement.
    const stmt::UserRecord user{105, QStringLiteral("О'Брайен"), QString(), true, 3};
    const stmt::Statement u = stmt::updateUser(101, user);
    QVERIFY(!u.lines.join(u' ').contains(QStringLiteral("Брайен")));
    QCOMPARE(valueOf(u, QStringLiteral("SendMail")).toInt(), 1);
    QCOMPARE(u.lines.last(), QStringLiteral("WHERE NumberIN=101"));
}

void TestStatements::everyStatementRunsOnTheServer()
{
    TEST_SMALL_CALL_LOG(t);
    TDM dm(t.dir());
    test::login(dm, t.path());

    QCOMPARE(rows(dm, march(1, 2).statement()), 3);
    // Read along the index, the same calls in the same order as sorted.
    QVERIFY(dm.HasIndexes(stmt::CallFilter::navigationIndexes()));
    QVERIFY(!dm.HasIndexes({QStringLiteral("IX_RINGS_DATE"), QStringLiteral("NO_SUCH_INDEX")}));
    auto order = [&dm](const stmt::CallFilter& c) {
        c.statement().applyTo(dm.ibQueryRings);
        dm.ibQueryRings.open();
        QStringList seen;
        for (dm.ibQueryRings.first(); !dm.ibQueryRings.eof(); dm.ibQueryRings.next())
            seen << dm.ibQueryRings.field(QStringLiteral("RDAY")).displayText() + u' ' +
                        dm.ibQueryRings.field(QStringLiteral("RHOUR")).displayText() + u':' +
                        dm.ibQueryRings.field(QStringLiteral("RMIN")).displayText() + u':' +
                        dm.ibQueryRings.field(QStringLiteral("RSEC")).displayText();
        dm.ibQueryRings.close();
        return seen;
    };
    stmt::CallFilter navigated = march(1, 3);
    navigated.navigateByDate = true;
    QCOMPARE(order(navigated), order(march(1, 3)));
    QCOMPARE(order(navigated).size(), 5);
    stmt::CallFilter f = march(1, 3);
    f.numberPrefix = QStringLiteral("812");
    QCOMPARE(rows(dm, f.statement()), 3); // 8125551, 8120000 on the 2nd and 8121111 on the 3rd
    f = march(1, 3);
    f.user = 102;
    f.longerThan = 100;
    QCOMPARE(rows(dm, f.statement()), 1);
    for (int i = 0; i < stmt::CallFilter::sorts().count(); ++i) {
        f.sortField = i;
        f.descending = i % 2 == 1;
        QCOMPARE(rows(dm, f.statement()), 1);
    }
    for (int i = 0; i < stmt::LineList::sorts().count(); ++i)
        QCOMPARE(rows(dm, (stmt::LineList{i, true}.statement())), 2);
    QCOMPARE(rows(dm, stmt::userChoices()), 2);
    QCOMPARE(rows(dm, stmt::lineChoices()), 2);
    QCOMPARE(rows(dm, stmt::usersOfDept(0)), 2);
    QCOMPARE(rows(dm, stmt::deptChoices()), 0);

    const QDateTime from(QDate(2026, 3, 1), QTime(0, 0));
    const QDateTime to(QDate(2026, 3, 2), QTime(23, 59, 59, 59));
    QCOMPARE(rows(dm, stmt::report(ReportKind::BySubscriber, from, to)), 2); // a row per subscriber
    QCOMPARE(rows(dm, stmt::report(ReportKind::Detailed, from, to)), 3);     // a row per call
    QCOMPARE(rows(dm, stmt::report(ReportKind::ByLine, from, to)), 2);       // a row per line

    stmt::TalkSum sum;
    sum.from = from;
    sum.to = to;
    db::Sql& sql = dm.IBSQL;
    sum.statement().applyTo(sql);
    sql.execQuery();
    QCOMPARE(sql.field(QStringLiteral("TIMESEC")).asInt64() +
                 60 * sql.field(QStringLiteral("TIMEMIN")).asInt64() +
                 3600 * sql.field(QStringLiteral("TIMEHOUR")).asInt64(),
             qint64(3820));
    sql.close();

    // The writes, and what they leave.
    write(dm, stmt::insertLine({3, 2150003, QStringLiteral("Факс"), QStringLiteral("a'b")}));
    QCOMPARE(scalar(dm, QStringLiteral("SELECT Etc FROM Lines WHERE NumberLine=3")),
             QStringLiteral("a'b"));
    write(dm, stmt::updateLine(3, {4, 2150004, QString(), QString()}));
    QCOMPARE(scalar(dm, QStringLiteral("SELECT NumberTown FROM Lines WHERE NumberLine=4")),
             QStringLiteral("2150004"));
    write(dm, stmt::deleteLine(4));
    QCOMPARE(scalar(dm, QStringLiteral("SELECT COUNT(*) FROM Lines")), QStringLiteral("2"));

    write(dm, stmt::insertDept(50, QStringLiteral("Бухгалтерия"), 0));
    write(dm, stmt::insertDept(51, QStringLiteral("Касса"), 50));
    QCOMPARE(rows(dm, stmt::deptChildren(0)), 1);
    QCOMPARE(rows(dm, stmt::deptChildren(50)), 1);
    write(dm, stmt::updateDept(51, QStringLiteral("Касса 2"), 0));
    QCOMPARE(rows(dm, stmt::deptChildren(0)), 2);
    QCOMPARE(rows(dm, stmt::deptByKey(51)), 1);

    write(dm, stmt::insertUser(
                  {103, QStringLiteral("О'Брайен Ольга"), QStringLiteral("o@x.ru"), true, 50}));
    write(dm, stmt::moveUser(101, 50));
    QCOMPARE(rows(dm, stmt::usersOfDept(50)), 2);
    write(dm, stmt::updateUser(103, {104, QStringLiteral("О'Брайен Ольга"), QString(), false, 51}));
    QCOMPARE(scalar(dm, QStringLiteral("SELECT FIO FROM Users WHERE NumberIN=104")),
             QStringLiteral("О'Брайен Ольга"));
    write(dm, stmt::deleteUser(104));
    write(dm, stmt::deleteDept(51));
    QCOMPARE(scalar(dm, QStringLiteral("SELECT COUNT(*) FROM Users")), QStringLiteral("2"));
    QCOMPARE(rows(dm, stmt::deptChoices()), 1);
}

// The summary and line reports and the statistics' talk time read the period once; on the demo
// log with a subscriber and a line without calls, a twin name and calls on the period's bounds,
// they give the rows and sums of one statement a subscriber, a line or a key.
void TestStatements::periodReadOnceGivesTheRowsOfOneSumEach()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    test::fillDemoLog(t, 3000, QDateTime(QDate(2026, 3, 31), QTime(23, 0)));
    const QDateTime from(QDate(2026, 2, 1), QTime(0, 0));
    const QDateTime to(QDate(2026, 2, 28), QTime(23, 59, 59, 59));
    t.exec({QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (9001, 'Без Звонков')"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (9002, NULL)"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) SELECT 9003, FIO FROM Users "
                           "WHERE NumberIN = (SELECT MIN(NumberIN) FROM Users)"),
            QStringLiteral("INSERT INTO Lines VALUES (9001, NULL, NULL, NULL)"),
            test::insertCall(from, 61, 0, 9001, 9003),                 // the first moment
            test::insertCall(to, 62, 8125551, 9001, 9003),             // the last
            test::insertCall(to.addMSecs(1), 63, 8125551, 9001, 9002), // after the period
            test::insertCall(from.addSecs(-1), 64, 0, 9001, 9002)});   // before it
    TDM dm(t.dir());
    test::login(dm, t.path());
    const std::pair<QDateTime, QDateTime> periods[] = {
        {from, to},
        {QDateTime(QDate(2026, 1, 1), QTime(0, 0)), to},
        {to.addDays(60), to.addDays(61)}};
    for (const auto& [start, end] : periods)
        for (const ReportKind kind : {ReportKind::BySubscriber, ReportKind::ByLine}) {
            const QStringList rows = rowTexts(dm, stmt::report(kind, start, end));
            QCOMPARE(rows, rowTexts(dm, reportBySubqueries(kind, start, end)));
            QVERIFY(rows.size() > 40);
        }
    // The rows that matter for the templates are there as the subqueries give them.
    const QStringList users = rowTexts(dm, stmt::report(ReportKind::BySubscriber, from, to));
    QVERIFY(users.contains(QStringLiteral(
        "FIO=Без Звонков|NUMBERIN=9001|CNTINRING=0|INRING=NULL|CNTOUTRING=0|OUTRING=NULL")));
    QVERIFY(users.contains(QStringLiteral(
        "FIO=NULL|NUMBERIN=9002|CNTINRING=0|INRING=NULL|CNTOUTRING=0|OUTRING=NULL")));

    // Talk time by key against one sum a key, both ways of keying and every direction.
    stmt::TalkSum sum;
    sum.from = from;
    sum.to = to;
    auto seconds = [](const db::DataSet& row) {
        return row.field(QStringLiteral("TIMESEC")).asInt64() +
               60 * row.field(QStringLiteral("TIMEMIN")).asInt64() +
               3600 * row.field(QStringLiteral("TIMEHOUR")).asInt64();
    };
    auto oneSum = [&](const stmt::TalkSum& one) {
        db::Query q(dm.ibDatabase, dm.ibTranRO);
        one.statement().applyTo(q);
        q.open();
        return seconds(q);
    };
    for (const QString& column : {stmt::TalkSum::LineColumn, stmt::TalkSum::UserColumn})
        for (const auto& [in, out] : {std::pair{true, true}, {true, false}, {false, true}}) {
            sum.keyColumn = column;
            sum.incoming = in;
            sum.outgoing = out;
            db::Query q(dm.ibDatabase, dm.ibTranRO);
            sum.byKey().applyTo(q);
            q.open();
            qint64 total = 0;
            int keys = 0;
            for (q.first(); !q.eof(); q.next(), ++keys) {
                sum.key = q.field(QStringLiteral("KEYNUMBER")).asInteger();
                total += seconds(q);
                QCOMPARE(oneSum(sum), seconds(q));
            }
            q.close();
            sum.key = 0;
            QCOMPARE(total, oneSum(sum));
            QVERIFY(keys > 10 && total > 0);
        }
}

KELVORA_TEST_GUILESS_MAIN(TestStatements)
#include "test_statements.moc"
