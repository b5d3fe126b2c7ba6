// The database layer against a real database through the embedded engine.
#include "support/CallData.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "DemoData.h"

#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Query.h"
#include "db/QueryLoader.h"
#include "db/ScriptRunner.h"
#include "db/Sql.h"
#include "db/StoredProc.h"
#include "db/Transaction.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

using namespace db;

namespace {

const long IscUniqueViolation = 335544665;

// A read-committed "nowait" transaction, started: read-only unless `readOnly` is false.
struct ReadCommitted : Transaction
{
    explicit ReadCommitted(Database& database, bool readOnly = true) : Transaction(database)
    {
        if (readOnly)
            params() << QStringLiteral("read");
        params() << QStringLiteral("nowait") << QStringLiteral("read_committed")
                 << QStringLiteral("rec_version");
        start();
    }
};

// A second attachment to the test's file, owned by the test so it can go before its clients.
std::unique_ptr<Database> attach(const QString& path)
{
    auto database = std::make_unique<Database>();
    database->setDatabaseName(path);
    database->params() = demo::localParams();
    database->open();
    return database;
}

// The first column of a one-row SELECT, read in a transaction of its own.
int scalar(Database& database, const QString& select)
{
    ReadCommitted tr(database);
    Sql sql(database, tr);
    sql.sql().add(select);
    sql.execQuery();
    const int n = sql.fields().front()->asInteger();
    tr.commit();
    return n;
}

// The DbError fn throws, if it throws one.
std::optional<DbError> failure(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const DbError& e) {
        return e;
    }
    return std::nullopt;
}

// The message of the DbError fn throws; empty when it throws none.
QString errorOf(const std::function<void()>& fn)
{
    const std::optional<DbError> e = failure(fn);
    return e ? e->message() : QString();
}

// The start of 1 March 2026, where the demo logs of these tests end.
QDateTime MarchFirst()
{
    return QDateTime(QDate(2026, 3, 1), QTime(0, 0));
}

// A statement the server refuses at once, and one it refuses half way (after the calls longer
// than 30 s, which come first).
const QString NoSuchColumn = QStringLiteral("SELECT Nothing FROM Rings");
const QString FailsHalfWay =
    QStringLiteral("SELECT R.RingLength, 1 / (CASE WHEN R.RingLength > 30 THEN 1 ELSE 0 END) AS X "
                   "FROM Rings R ORDER BY R.RingLength DESC");

// Subscribers 1 and 2 named `first` and `second`.
void addTwoUsers(test::TestDatabase& t, const QString& first, const QString& second)
{
    t.exec({QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (1, '%1')").arg(first),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (2, '%1')").arg(second)});
}

// Gives q the statement `select` in place of the one it had.
template <class Statement> void setSql(Statement& q, const QString& select)
{
    q.sql().clear();
    q.sql().add(select);
}

const QString CallSelect = QStringLiteral(
    "SELECT R.RingDate, R.RingLength, R.NumberOut, R.RLine, U.FIO FROM Rings R, Users U "
    "WHERE R.NumberIn = U.NumberIn ORDER BY R.RingDate, R.RLine, R.NumberIn, R.NumberOut, "
    "R.RingLength");

// Takes the rows of a background open in small slices until its fetch ends.
bool takeAll(Query& q, int budgetMs = 2)
{
    QElapsedTimer clock;
    clock.start();
    while (q.fetching() && clock.elapsed() < 60000)
        if (q.takeFetched(budgetMs) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !q.fetching();
}

// Takes the rows of a background open as they come until there are `rows` of them or the
// fetch ends.
void takeAtLeast(Query& q, std::size_t rows)
{
    QElapsedTimer clock;
    clock.start();
    while (q.recordCount() < rows && q.fetching() && clock.elapsed() < 30000)
        if (q.takeFetched(0) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// The attachments to the file other than the caller's, as the server lists them now.
QList<int> otherAttachments(Database& database)
{
    ReadCommitted tr(database); // the monitoring tables hold still for a transaction
    Query q(database, tr);
    q.sql().add(QStringLiteral("SELECT MON$ATTACHMENT_ID FROM MON$ATTACHMENTS WHERE "
                               "MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0"));
    q.open();
    QList<int> ids;
    for (; !q.eof(); q.next())
        ids << q.fields().front()->asInteger();
    return ids;
}

// Three rows at once, then a long search for a fourth.
const QString SlowFourthRow = QStringLiteral(
    "EXECUTE BLOCK RETURNS (N INTEGER) AS DECLARE I BIGINT = 0; BEGIN N = 1; SUSPEND; N = 2; "
    "SUSPEND; N = 3; SUSPEND; WHILE (I < 4000000000) DO I = I + 1; N = 4; SUSPEND; END");

} // namespace

class TestDb : public QObject
{
    Q_OBJECT
private slots:
    void valuesOfEveryTypeRoundTrip();
    void namedParameters();
    void cursorMovesAndLocate();
    void reorderMovesWholeRows();
    void forwardQueryHoldsOneRowAndCancels();
    void fieldDefinitionsAndHooks();
    void callRowsAreCompact();
    void backgroundFetchGivesTheSameRows();
    void backgroundFetchStopsFailsAndEnds();
    void backgroundFetchKeepsItsAttachment();
    void rowsGoOutWhileTheServerStillLooks();
    void loaderRunsAndTellsOnce();
    void readCommittedSeesLaterCommits();
    void nowaitConflictFailsAtOnce();
    void duplicateKeyAndOtherErrors();
    void storedProcedureAndSingleRow();
    void closingTheDatabaseEndsEverything();
    void databaseDestroyedBeforeItsClients();
    void clientsOfADestroyedDatabaseRefuseWork();
    void scriptSplitting();
    void failedOpen();
};

void TestDb::valuesOfEveryTypeRoundTrip()
{
    TEST_NEW_DATABASE(t);
    t.exec({QStringLiteral("CREATE TABLE T (I INTEGER, S SMALLINT, B BIGINT, D DOUBLE PRECISION, "
                           "N NUMERIC(10,2), V VARCHAR(30), C CHAR(6), TS TIMESTAMP, DT DATE, "
                           "TM TIME, BL BLOB SUB_TYPE TEXT)")});
    ReadCommitted tr(t.database(), false);
    Query q(t.database(), tr);
    const QDateTime stamp(QDate(2011, 3, 7), QTime(23, 59, 59, 59));
    q.sql().add(
        QStringLiteral("INSERT INTO T VALUES (:i, :s, :b, :d, :n, :v, :c, :ts, :dt, :tm, NULL)"));
    q.paramByName(QStringLiteral("i")).setInteger(-7);
    q.paramByName(QStringLiteral("s")).setInteger(12);
    q.paramByName(QStringLiteral("b")).setInteger(Q_INT64_C(9000000000));
    q.paramByName(QStringLiteral("d")).setDouble(89161234567.0);
    q.paramByName(QStringLiteral("n")).setDouble(12.5);
    q.paramByName(QStringLiteral("v")).setString(QStringLiteral("Ёлкин Щ. ю"));
    q.paramByName(QStringLiteral("c")).setString(QStringLiteral("аб"));
    q.paramByName(QStringLiteral("ts")).setDateTime(stamp);
    q.paramByName(QStringLiteral("dt")).setDate(QDate(1999, 12, 31));
    q.paramByName(QStringLiteral("tm")).setTime(QTime(9, 5, 0));
    q.execSql();
    setSql(q, QStringLiteral("INSERT INTO T (I) VALUES (NULL)"));
    q.execSql();
    setSql(q, QStringLiteral("SELECT * FROM T ORDER BY I NULLS LAST"));
    q.open();
    QCOMPARE(q.recordCount(), std::size_t(2));
    QCOMPARE(q.field(QStringLiteral("i")).asInteger(), -7);
    QCOMPARE(q.field(QStringLiteral("S")).asInteger(), 12);
    QCOMPARE(q.field(QStringLiteral("b")).type(), FieldType::BigInt);
    QCOMPARE(q.field(QStringLiteral("b")).asInt64(), Q_INT64_C(9000000000));
    QCOMPARE(q.field(QStringLiteral("D")).asDouble(), 89161234567.0);
    QCOMPARE(q.field(QStringLiteral("D")).displayText(), QStringLiteral("89161234567"));
    QCOMPARE(q.field(QStringLiteral("N")).asDouble(), 12.5);
    QCOMPARE(q.field(QStringLiteral("V")).asString(), QStringLiteral("Ёлкин Щ. ю"));
    QCOMPARE(q.field(QStringLiteral("C")).asString(), QStringLiteral("аб")); // padding dropped
    QCOMPARE(q.field(QStringLiteral("TS")).asDateTime(), stamp);
    QCOMPARE(q.field(QStringLiteral("DT")).asDate(), QDate(1999, 12, 31));
    QCOMPARE(q.field(QStringLiteral("TM")).asTime(), QTime(9, 5, 0));
    QVERIFY(q.field(QStringLiteral("BL")).isNull());
    q.next();
    QVERIFY(!q.eof());
    QVERIFY(q.field(QStringLiteral("I")).isNull());
    QVERIFY(q.field(QStringLiteral("V")).isNull());
    QCOMPARE(q.field(QStringLiteral("V")).displayText(), QString());
    QCOMPARE(q.field(QStringLiteral("I")).asInteger(), 0);
    QVERIFY(!q.findField(QStringLiteral("nosuch")));
    QVERIFY_THROWS_EXCEPTION(DbError, q.field(QStringLiteral("nosuch")));
}

void TestDb::namedParameters()
{
    TEST_NEW_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 100, 'a:b', NULL)"),
            QStringLiteral("INSERT INTO Lines VALUES (2, 200, ':x', NULL)"),
            QStringLiteral("INSERT INTO Lines VALUES (3, 300, NULL, NULL)")});
    ReadCommitted tr(t.database());
    Query q(t.database(), tr);
    // The same name twice, and ":x" inside a string literal, which is not a parameter.
    q.sql().add(QStringLiteral("SELECT NumberLine FROM Lines"));
    q.sql().add(
        QStringLiteral("WHERE (NumberLine = :k OR NumberTown = :k * 100) AND AddInfo <> ':x'"));
    QCOMPARE(q.params().size(), std::size_t(1));
    q.paramByName(QStringLiteral("K")).setInteger(1);
    q.open();
    QCOMPARE(q.recordCount(), std::size_t(1));
    QCOMPARE(q.field(QStringLiteral("NUMBERLINE")).asInteger(), 1);
    // The value stays bound across a re-open with another value.
    q.paramByName(QStringLiteral("k")).setInteger(3);
    q.open();
    QCOMPARE(q.recordCount(), std::size_t(0)); // AddInfo is NULL: the comparison is unknown
    QVERIFY(q.eof());
    QVERIFY_THROWS_EXCEPTION(DbError, q.paramByName(QStringLiteral("missing")));
    // A date-time parameter against a timestamp column, text against an integer column.
    Query r(t.database(), tr);
    r.sql().add(QStringLiteral("SELECT COUNT(*) AS N FROM Lines WHERE NumberTown = :town"));
    r.paramByName(QStringLiteral("town")).setString(QStringLiteral("200"));
    r.open();
    QCOMPARE(r.field(QStringLiteral("N")).asInteger(), 1);
    r.paramByName(QStringLiteral("town")).clear();
    r.open();
    QCOMPARE(r.field(QStringLiteral("N")).asInteger(), 0);
}

void TestDb::cursorMovesAndLocate()
{
    TEST_NEW_DATABASE(t);
    QStringList inserts;
    for (int i = 1; i <= 5; ++i)
        inserts << QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (%1, '%2')")
                       .arg(i)
                       .arg(QStringList{"Ан", "Бо", "Ва", "Гу", "Де"}[i - 1]);
    t.exec(inserts);
    ReadCommitted tr(t.database());
    Query q(t.database(), tr);
    q.sql().add(QStringLiteral("SELECT NumberIN, FIO FROM Users ORDER BY NumberIN"));
    q.open();
    QCOMPARE(q.recordCount(), std::size_t(5));
    QCOMPARE(q.recNo(), 0);
    QVERIFY(!q.eof());
    int sum = 0;
    for (q.first(); !q.eof(); q.next())
        sum += q.field(QStringLiteral("NumberIN")).asInteger();
    QCOMPARE(sum, 15);
    QCOMPARE(q.recNo(), 4); // the walk ends on the last row
    q.moveBy(-2);
    QCOMPARE(q.field(QStringLiteral("NUMBERIN")).asInteger(), 3);
    q.moveBy(-10);
    QVERIFY(q.bof());
    QCOMPARE(q.recNo(), 0);
    q.last();
    QCOMPARE(q.field(QStringLiteral("FIO")).asString(), QStringLiteral("Де"));
    QVERIFY(q.locate(QStringLiteral("fio"), QStringLiteral("ва"), true));
    QCOMPARE(q.field(QStringLiteral("NumberIN")).asInteger(), 3);
    QVERIFY(!q.locate(QStringLiteral("fio"), QStringLiteral("ва"), false));
    QCOMPARE(q.recNo(), 2); // stays put
    QVERIFY(q.locate(QStringLiteral("NumberIN"), 5));
    QCOMPARE(q.recNo(), 4);
    q.close();
    QVERIFY(!q.isOpen());
    QCOMPARE(q.recordCount(), std::size_t(0));
}

// Rows over more than one block of storage, a text and a calculated field in each, put in a
// new order as a view sorting by a computed value would.
void TestDb::reorderMovesWholeRows()
{
    TEST_NEW_DATABASE(t);
    ReadCommitted tr(t.database());
    Query q(t.database(), tr);
    q.setFieldDefs({FieldDef{QStringLiteral("N"), false, FieldType::BigInt, {}},
                    FieldDef{QStringLiteral("T"), false, FieldType::Text, {}},
                    FieldDef{QStringLiteral("Tenth"), true, FieldType::Integer, {}}});
    q.setCalcFieldsHook([](DataSet& ds) {
        ds.field(QStringLiteral("Tenth")).setInteger(ds.field(QStringLiteral("N")).asInt64() / 10);
    });
    constexpr std::size_t Rows = 40000;
    q.sql().add(QStringLiteral("SELECT n AS N, 'строка ' || n AS T FROM (SELECT ROW_NUMBER() "
                               "OVER () AS n FROM RDB$TYPES a, RDB$TYPES b ROWS %1)")
                    .arg(Rows));
    q.open();
    QCOMPARE(q.recordCount(), Rows);
    // Odd numbers first, descending, then the even ones ascending: every row moves.
    std::vector<std::size_t> order;
    for (std::size_t n = Rows; n >= 1; --n)
        if (n % 2 == 1)
            order.push_back(n - 1);
    for (std::size_t n = 2; n <= Rows; n += 2)
        order.push_back(n - 1);
    q.moveBy(5);
    q.reorder(order);
    QCOMPARE(q.recNo(), 0);
    bool whole = true;
    for (std::size_t i = 0; i < Rows && whole; ++i)
        q.atRow(qint64(i), [&] {
            const qint64 n = qint64(order[i]) + 1;
            whole = q.field(QStringLiteral("N")).asInt64() == n &&
                    q.field(QStringLiteral("T")).asString() == QStringLiteral("строка %1").arg(n) &&
                    q.field(QStringLiteral("Tenth")).asInteger() == n / 10;
        });
    QVERIFY(whole);
    // An order that is not one of the held rows moves nothing.
    std::vector<std::size_t> twice(Rows, 0);
    QVERIFY(!errorOf([&] { q.reorder(twice); }).isEmpty());
    QVERIFY(!errorOf([&] { q.reorder({0, 1}); }).isEmpty());
    q.first();
    QCOMPARE(q.field(QStringLiteral("N")).asInt64(), qint64(Rows - 1));
}

void TestDb::forwardQueryHoldsOneRowAndCancels()
{
    TEST_NEW_DATABASE(t);
    addTwoUsers(t, QStringLiteral("Ан"), QStringLiteral("Бо"));
    ReadCommitted tr(t.database());
    ForwardQuery q(t.database(), tr);
    q.sql().add(QStringLiteral("SELECT NumberIN, FIO FROM Users ORDER BY NumberIN"));
    q.open();
    QStringList seen;
    while (q.next()) {
        QCOMPARE(q.recordCount(), std::size_t(1));
        seen << q.field(QStringLiteral("FIO")).asString() +
                    QString::number(q.field(QStringLiteral("NumberIN")).asInteger());
    }
    QCOMPARE(seen, (QStringList{QStringLiteral("Ан1"), QStringLiteral("Бо2")}));
    QVERIFY(!q.isOpen());
    QVERIFY(!q.next()); // once more after the end: still nothing

    // A fetch that would run for hours ends with an error once another thread cancels it.
    ForwardQuery slow(t.database(), tr);
    slow.sql().add(QStringLiteral("SELECT COUNT(*) FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C, "
                                  "RDB$FIELDS D"));
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!done) {
            t.database().cancelOperation();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const QString error = errorOf([&] {
        slow.open();
        slow.next();
    });
    done = true;
    canceller.join();
    QVERIFY(!error.isEmpty());
}

void TestDb::fieldDefinitionsAndHooks()
{
    TEST_NEW_DATABASE(t);
    addTwoUsers(t, QStringLiteral("Один"), QStringLiteral("Два"));
    ReadCommitted tr(t.database());
    Query q(t.database(), tr);
    q.setFieldDefs(
        {FieldDef{QStringLiteral("Twice"), true, FieldType::Integer, {}, true, 0},
         FieldDef{QStringLiteral("FIO"), false, FieldType::Text, QStringLiteral("Ф.И.О.")},
         FieldDef{QStringLiteral("NUMBERIN"), false, FieldType::Integer, {}, false}});
    q.setCalcFieldsHook([](DataSet& ds) {
        const int n = ds.field(QStringLiteral("NumberIN")).asInteger();
        if (n == 2)
            throw DbError(QStringLiteral("a calculation that fails"));
        ds.field(QStringLiteral("Twice")).setInteger(n * 2);
    });
    int opens = 0;
    q.setAfterOpenHook([&opens](DataSet& ds) {
        ++opens;
        ds.field(QStringLiteral("FIO")).setDisplayTextHook([](const Field& f) {
            return u'<' + f.plainText() + u'>';
        });
    });
    q.sql().add(QStringLiteral("SELECT NumberIN, FIO, EMail, SendMail FROM Users ORDER BY 1"));
    q.open();
    QCOMPARE(opens, 1);
    QCOMPARE(q.fields().size(), std::size_t(3)); // EMail and SendMail are not kept
    QCOMPARE(q.fields()[0]->name(), QStringLiteral("Twice"));
    QCOMPARE(q.fields()[1]->displayLabel(), QStringLiteral("Ф.И.О."));
    QVERIFY(!q.fields()[2]->visible());
    QCOMPARE(q.field(QStringLiteral("Twice")).asInteger(), 2);
    QCOMPARE(q.field(QStringLiteral("FIO")).displayText(), QStringLiteral("<Один>"));
    q.next();
    QVERIFY(q.field(QStringLiteral("Twice")).isNull()); // the failed row stays empty
    QCOMPARE(q.field(QStringLiteral("FIO")).asString(), QStringLiteral("Два"));
    // Every open makes the fields anew, under a new generation even where a field lands at
    // the address of an old one.
    const std::uint64_t generation = q.fieldGeneration();
    q.close();
    q.open();
    QVERIFY(q.fieldGeneration() != generation);

    Query missing(t.database(), tr);
    missing.setFieldDefs(
        {FieldDef{QStringLiteral("NOPE"), false, FieldType::Integer, {}, true, 0}});
    missing.sql().add(QStringLiteral("SELECT NumberIN FROM Users"));
    QVERIFY_THROWS_EXCEPTION(DbError, missing.open());
    QVERIFY(!missing.isOpen());
}

void TestDb::callRowsAreCompact()
{
    TEST_DEMO_CALL_LOG(t, 20000, MarchFirst());
    ReadCommitted tr(t.database());
    Query q(t.database(), tr);
    q.sql().add(QStringLiteral("SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,"
                               "TimeMin,TimeSec,NumberOut,L.NumberTown,U.FIO"));
    q.sql().add(QStringLiteral("FROM Rings R,Lines L,Users U"));
    q.sql().add(QStringLiteral("WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn"));
    q.open();
    QVERIFY(q.recordCount() > 19000);
    const double perRow = double(q.bufferBytes()) / double(q.recordCount());
    QVERIFY2(perRow < 100, qPrintable(QString::number(perRow)));
    qint64 sum = 0;
    for (q.first(); !q.eof(); q.next())
        sum += q.field(QStringLiteral("RINGLENGTH")).asInt64();
    QCOMPARE(sum, qint64(scalar(t.database(),
                                QStringLiteral("SELECT SUM(RingLength) FROM Rings R,Lines L,Users "
                                               "U WHERE R.Rline=L.NumberLine AND R.NumberIn= "
                                               "U.NumberIn"))));
}

void TestDb::backgroundFetchGivesTheSameRows()
{
    TEST_DEMO_CALL_LOG(t, 30000, MarchFirst());
    ReadCommitted tr(t.database());
    Query plain(t.database(), tr);
    plain.sql().add(CallSelect);
    plain.open();

    Query q(t.database(), tr);
    q.sql().add(CallSelect);
    auto column = [](const char* name, bool calculated = false) {
        return FieldDef{QString::fromLatin1(name), calculated, FieldType::BigInt, {}, true, 0};
    };
    q.setFieldDefs({column("RINGDATE"), column("RINGLENGTH"), column("NUMBEROUT"), column("FIO"),
                    column("TWICE", true)});
    const std::thread::id self = std::this_thread::get_id();
    std::atomic<int> calls{0};
    std::atomic<int> fromHere{0};
    int opened = -1;
    q.setCalcFieldsHook([](DataSet& ds) {
        ds.field(QStringLiteral("TWICE"))
            .setInteger(2 * ds.field(QStringLiteral("RINGLENGTH")).asInt64());
    });
    q.setAfterOpenHook([&](DataSet& ds) { opened = int(ds.recordCount()); });
    q.openInBackground([&] {
        ++calls;
        if (std::this_thread::get_id() == self)
            ++fromHere;
    });
    QVERIFY(q.isOpen());
    QCOMPARE(opened, 0); // told at the start, before any row
    QVERIFY(q.fetching());
    QVERIFY(takeAll(q));
    QCOMPARE(q.fetchState(), DataSet::FetchState::Finished);
    QVERIFY(calls >= 2); // rows waiting, and the end
    QCOMPARE(fromHere.load(), 0);
    QVERIFY(plain.recordCount() > 29000);
    QCOMPARE(q.recordCount(), plain.recordCount());
    // Row by row the same values, the calculated field filled for every one.
    for (qint64 i = 0; i < qint64(plain.recordCount()); ++i) {
        plain.setRecNo(i);
        q.setRecNo(i);
        for (const char* name : {"RINGDATE", "RINGLENGTH", "NUMBEROUT", "FIO"}) {
            const QString n = QString::fromLatin1(name);
            if (plain.field(n).value() != q.field(n).value())
                QFAIL(qPrintable(QStringLiteral("row %1 differs in %2").arg(i).arg(n)));
        }
        if (q.field(QStringLiteral("TWICE")).asInt64() !=
            2 * plain.field(QStringLiteral("RINGLENGTH")).asInt64())
            QFAIL(qPrintable(QStringLiteral("row %1: calculated field").arg(i)));
    }
    // Held as compactly as by open().
    QVERIFY(double(q.bufferBytes()) / double(q.recordCount()) < 100);
    // A plain open afterwards is an open as before.
    q.open();
    QCOMPARE(q.recordCount(), plain.recordCount());
    QCOMPARE(q.fetchState(), DataSet::FetchState::None);
}

void TestDb::backgroundFetchStopsFailsAndEnds()
{
    TEST_DEMO_CALL_LOG(t, 30000, MarchFirst());
    ReadCommitted tr(t.database());

    {
        // Stopped after the first rows: those stay, no more come.
        Query q(t.database(), tr);
        q.sql().add(CallSelect);
        q.openInBackground({});
        takeAtLeast(q, 1);
        const std::size_t kept = q.recordCount();
        QVERIFY(kept > 0 && kept < 30000);
        q.stopFetch();
        QCOMPARE(q.fetchState(), DataSet::FetchState::Stopped);
        QVERIFY(!q.fetching());
        QCOMPARE(q.takeFetched(100), std::size_t(0));
        QCOMPARE(q.recordCount(), kept);
        QVERIFY(q.isOpen());
        q.last();
        QVERIFY(!q.field(QStringLiteral("FIO")).asString().isEmpty());
        // Stopped at once, before the worker attached, and stopped twice.
        q.openInBackground({});
        q.stopFetch();
        q.stopFetch();
        QCOMPARE(q.fetchState(), DataSet::FetchState::Stopped);
        QCOMPARE(q.recordCount(), std::size_t(0));
    }
    {
        // The server refuses a row half way: what came before stays, the error is kept.
        Query q(t.database(), tr);
        q.sql().add(FailsHalfWay);
        q.openInBackground({});
        QVERIFY(takeAll(q));
        QCOMPARE(q.fetchState(), DataSet::FetchState::Failed);
        QVERIFY(q.fetchError().has_value());
        QVERIFY2(q.fetchError()->message().contains(QLatin1String("divide"), Qt::CaseInsensitive) ||
                     q.fetchError()->message().contains(QLatin1String("arithmetic"),
                                                        Qt::CaseInsensitive),
                 qPrintable(q.fetchError()->message()));
        QVERIFY(q.isOpen());
        for (q.first(); !q.eof(); q.next())
            QVERIFY(q.field(QStringLiteral("RINGLENGTH")).asInt64() > 30);
        // A statement the server refuses at once leaves the rows of the last open.
        const std::size_t before = q.recordCount();
        setSql(q, NoSuchColumn);
        QVERIFY(!errorOf([&] { q.openInBackground({}); }).isEmpty());
        QCOMPARE(q.recordCount(), before);
    }
    {
        // Closed, reopened and destroyed while rows come; the database closed under a fetch.
        auto second = attach(t.path());
        ReadCommitted tr2(*second);
        Query q(*second, tr2);
        q.sql().add(CallSelect);
        q.openInBackground({});
        q.close();
        QVERIFY(!q.isOpen());
        QCOMPARE(q.fetchState(), DataSet::FetchState::None);
        q.openInBackground({});
        q.openInBackground({});
        QVERIFY(takeAll(q));
        QVERIFY(q.recordCount() > 29000);
        auto other = std::make_unique<Query>(*second, tr2);
        other->sql().add(CallSelect);
        other->openInBackground({});
        other.reset();
        q.openInBackground({});
        second->close();
        QVERIFY(!q.fetching());
        QVERIFY(!q.isOpen());
    }
}

void TestDb::backgroundFetchKeepsItsAttachment()
{
    TEST_NEW_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines (NumberLine, NumberTown) VALUES (1, 2150001)")});
    auto own = attach(t.path());
    ReadCommitted tr(*own);
    Query q(*own, tr);
    q.sql().add(QStringLiteral("SELECT NumberTown FROM Lines"));
    q.openInBackground({});
    QVERIFY(takeAll(q));
    const QList<int> first = otherAttachments(t.database());
    QCOMPARE(first.size(), 2); // the query's database and its worker's, kept after the run
    // The next runs fetch over the same attachment.
    q.openInBackground({});
    QVERIFY(takeAll(q));
    q.openInBackground({});
    QVERIFY(takeAll(q));
    QCOMPARE(otherAttachments(t.database()), first);
    QCOMPARE(q.recordCount(), std::size_t(1));
    // A reconnection lets it go: the next run attaches anew.
    own->reconnect();
    QCOMPARE(otherAttachments(t.database()).size(), 1);
    tr.start();
    q.openInBackground({});
    QVERIFY(takeAll(q));
    const QList<int> after = otherAttachments(t.database());
    QCOMPARE(after.size(), 2);
    QVERIFY(!first.contains(after.at(0)) && !first.contains(after.at(1)));
    QCOMPARE(q.field(QStringLiteral("NUMBERTOWN")).asInteger(), 2150001);
}

void TestDb::rowsGoOutWhileTheServerStillLooks()
{
    TEST_NEW_DATABASE(t);
    ReadCommitted tr(t.database());
    Query q(t.database(), tr);
    q.sql().add(SlowFourthRow);
    q.openInBackground({});
    takeAtLeast(q, 3);
    // The three rows are in while the worker still waits for the fourth.
    QCOMPARE(q.recordCount(), std::size_t(3));
    QVERIFY(q.fetching());
    q.last();
    QCOMPARE(q.field(QStringLiteral("N")).asInteger(), 3);
    // A stop interrupts the server's search, and the next run works over a fresh attachment.
    q.stopFetch();
    QCOMPARE(q.fetchState(), DataSet::FetchState::Stopped);
    setSql(q, QStringLiteral("SELECT 5 AS N FROM RDB$DATABASE"));
    q.openInBackground({});
    QVERIFY(takeAll(q));
    QCOMPARE(q.fetchState(), DataSet::FetchState::Finished);
    QCOMPARE(q.field(QStringLiteral("N")).asInteger(), 5);
}

void TestDb::loaderRunsAndTellsOnce()
{
    TEST_DEMO_CALL_LOG(t, 30000, MarchFirst());
    ReadCommitted tr(t.database());
    Query q(t.database(), tr);
    q.sql().add(CallSelect);
    auto loader = std::make_unique<QueryLoader>(q);
    int rows = 0;
    std::vector<std::pair<FetchState, std::optional<DbError>>> ends;
    connect(loader.get(), &QueryLoader::rowsArrived, this, [&] { ++rows; });
    connect(
        loader.get(), &QueryLoader::finished, this,
        [&](FetchState state, const std::optional<DbError>& e) { ends.emplace_back(state, e); });
    auto endedAs = [&](std::size_t i) { return ends.at(i).first; };

    // A whole run: rows told of as they come, one end.
    loader->setEagerRows(100);
    loader->start();
    QVERIFY(loader->running());
    QVERIFY(QTest::qWaitFor([&] { return !loader->running(); }, 60000));
    QCOMPARE(ends.size(), std::size_t(1));
    QCOMPARE(endedAs(0), FetchState::Finished);
    QVERIFY(rows >= 1);
    QCOMPARE(
        q.recordCount(),
        std::size_t(scalar(
            t.database(), QStringLiteral("SELECT COUNT(*) FROM Rings R, Users U WHERE R.NumberIn = "
                                         "U.NumberIn"))));

    // Stopped from a slot at the first rows: one end, Stopped, and nothing after it.
    loader->setSliceBudget(0);
    ends.clear();
    rows = 0;
    auto stopper =
        connect(loader.get(), &QueryLoader::rowsArrived, loader.get(), [&] { loader->stop(); });
    loader->start();
    QVERIFY(QTest::qWaitFor([&] { return !loader->running(); }, 60000));
    disconnect(stopper);
    QTest::qWait(100);
    QCOMPARE(rows, 1);
    QCOMPARE(ends.size(), std::size_t(1));
    QCOMPARE(endedAs(0), FetchState::Stopped);
    QVERIFY(q.recordCount() > 0 && q.recordCount() < 29000);

    // A new start while one runs ends the first with Stopped; a refused statement starts
    // nothing and tells nothing.
    ends.clear();
    loader->start();
    loader->start();
    QCOMPARE(ends.size(), std::size_t(1));
    QCOMPARE(endedAs(0), FetchState::Stopped);
    loader->stop();
    setSql(q, NoSuchColumn);
    QVERIFY(!errorOf([&] { loader->start(); }).isEmpty());
    QCOMPARE(loader->state(), FetchState::Stopped);
    QCOMPARE(ends.size(), std::size_t(2));

    // The server fails half way: the end says so, with the error.
    setSql(q, FailsHalfWay);
    loader->start();
    QVERIFY(QTest::qWaitFor([&] { return !loader->running(); }, 60000));
    QCOMPARE(ends.size(), std::size_t(3));
    QCOMPARE(endedAs(2), FetchState::Failed);
    QVERIFY(ends.at(2).second.has_value());

    // Destroyed while the server looks: the worker ends first, nothing is told.
    setSql(q, SlowFourthRow);
    loader->start();
    loader.reset();
    QCOMPARE(ends.size(), std::size_t(3));
    QVERIFY(!q.fetching());
}

void TestDb::readCommittedSeesLaterCommits()
{
    TEST_NEW_DATABASE(t);
    ReadCommitted ro(t.database());
    Query q(t.database(), ro);
    q.sql().add(QStringLiteral("SELECT COUNT(*) AS N FROM Lines"));
    q.open();
    QCOMPARE(q.field(QStringLiteral("N")).asInteger(), 0);

    const auto attached = attach(t.path());
    Database& other = *attached;
    Transaction w(other);
    w.start();
    Sql ins(other, w);
    ins.sql().add(QStringLiteral("INSERT INTO Lines (NumberLine) VALUES (7)"));
    ins.execQuery();
    q.open();
    QCOMPARE(q.field(QStringLiteral("N")).asInteger(), 0); // not committed yet
    w.commit();
    q.open();
    QCOMPARE(q.field(QStringLiteral("N")).asInteger(), 1);
    QVERIFY(ro.active());
    // Writing through a read-only transaction is refused by the server.
    Sql bad(t.database(), ro);
    bad.sql().add(QStringLiteral("DELETE FROM Lines"));
    QVERIFY_THROWS_EXCEPTION(DbError, bad.execQuery());
}

void TestDb::nowaitConflictFailsAtOnce()
{
    TEST_NEW_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines (NumberLine, NumberTown) VALUES (1, 10)")});
    const auto attached = attach(t.path());
    Database& other = *attached;
    ReadCommitted holder(other, false);
    Sql hold(other, holder);
    hold.sql().add(QStringLiteral("UPDATE Lines SET NumberTown = 20 WHERE NumberLine = 1"));
    hold.execQuery();

    ReadCommitted w(t.database(), false);
    Sql upd(t.database(), w);
    upd.sql().add(QStringLiteral("UPDATE Lines SET NumberTown = 30 WHERE NumberLine = 1"));
    // With "wait" this would block until the holder ends; "nowait" reports the conflict.
    const std::optional<DbError> e = failure([&] { upd.execQuery(); });
    QVERIFY(e);
    QVERIFY2(e->message().contains(QLatin1String("conflict"), Qt::CaseInsensitive),
             qPrintable(e->message()));
    w.rollback();
    holder.commit();
    w.start();
    upd.execQuery();
    w.commit();
}

void TestDb::duplicateKeyAndOtherErrors()
{
    TEST_NEW_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines (NumberLine) VALUES (1)")});
    Transaction w(t.database());
    w.start();
    Sql s(t.database(), w);
    s.sql().add(QStringLiteral("INSERT INTO Lines (NumberLine) VALUES (1)"));
    std::optional<DbError> e = failure([&] { s.execQuery(); });
    QVERIFY2(e, "a duplicate key was accepted");
    QCOMPARE(e->code(), IscUniqueViolation);
    QVERIFY(e->message().toUpper().contains(QLatin1String("UNIQUE")));
    QCOMPARE(e->sqlState(), QStringLiteral("23000"));
    setSql(s, QStringLiteral("SELEKT 1 FROM RDB$DATABASE"));
    e = failure([&] { s.execQuery(); });
    QVERIFY2(e, "a broken statement was accepted");
    QVERIFY(!e->message().isEmpty());
    QVERIFY(e->code() != 0);
    w.rollback();
    QVERIFY_THROWS_EXCEPTION(DbError, s.execQuery()); // no active transaction
    QVERIFY_THROWS_EXCEPTION(DbError, w.commit());
    w.params() = QStringList{QStringLiteral("sometimes")};
    QVERIFY_THROWS_EXCEPTION(DbError, w.start());
}

void TestDb::storedProcedureAndSingleRow()
{
    TEST_NEW_DATABASE(t);
    ScriptRunner::run(t.database(),
                      QStringLiteral("SET TERM ^ ;\nCREATE PROCEDURE ADDUP (A INTEGER, "
                                     "B INTEGER) RETURNS (S INTEGER) AS BEGIN "
                                     "S = :A + :B; END^\nSET TERM ; ^\n"));
    Transaction w(t.database());
    w.start();
    StoredProc sp(t.database(), w);
    sp.setStoredProcName(QStringLiteral("MAKENEWID"));
    sp.execProc();
    const int a = sp.output(QStringLiteral("NEWID")).asInteger();
    sp.execProc();
    const int b = sp.output(QStringLiteral("newid")).asInteger();
    QVERIFY(a != b);

    // A procedure with inputs: its parameters are found by name.
    StoredProc add(t.database(), w);
    add.setStoredProcName(QStringLiteral("ADDUP"));
    add.prepareProc();
    add.paramByName(QStringLiteral("a")).setInteger(40);
    add.paramByName(QStringLiteral("B")).setInteger(2);
    add.execProc();
    QCOMPARE(add.output(QStringLiteral("S")).asInteger(), 42);

    Sql s(t.database(), w);
    s.sql().add(QStringLiteral("SELECT 'Привет' AS G, 42 AS N FROM RDB$DATABASE"));
    s.execQuery();
    QVERIFY(!s.eof());
    QCOMPARE(s.field(QStringLiteral("g")).asString(), QStringLiteral("Привет"));
    QCOMPARE(s.field(QStringLiteral("N")).asInteger(), 42);
    setSql(s, QStringLiteral("SELECT 1 AS N FROM RDB$DATABASE WHERE 1 = ?"));
    s.param(0).setInteger(2);
    s.execQuery();
    QVERIFY(s.eof());
    w.commit();
}

void TestDb::closingTheDatabaseEndsEverything()
{
    TEST_NEW_DATABASE(t);
    Transaction tr(t.database());
    tr.start();
    Query q(t.database(), tr);
    q.sql().add(QStringLiteral("SELECT * FROM Lines"));
    q.open();
    t.database().close();
    QVERIFY(!t.database().connected());
    QVERIFY(!tr.active());
    QVERIFY(!q.isOpen());
    t.database().open();
    tr.start();
    q.open(); // prepares again on the new attachment
    QVERIFY(q.isOpen());
}

void TestDb::databaseDestroyedBeforeItsClients()
{
    TEST_NEW_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 100, 'a', NULL)")});
    const QString attachments = QStringLiteral("SELECT COUNT(*) FROM MON$ATTACHMENTS");
    const int alone = scalar(t.database(), attachments);
    auto database = attach(t.path());
    QCOMPARE(scalar(t.database(), attachments), alone + 1);

    // An active transaction with an open query and an uncommitted insert, and clients only made.
    auto tr = std::make_unique<ReadCommitted>(*database, false);
    auto q = std::make_unique<Query>(*database, *tr);
    q->sql().add(QStringLiteral("INSERT INTO Lines VALUES (2, 200, 'b', NULL)"));
    q->execSql();
    setSql(*q, QStringLiteral("SELECT * FROM Lines"));
    q->open();
    QCOMPARE(q->recordCount(), std::size_t(2));
    auto madeTr = std::make_unique<Transaction>(*database);
    auto madeQ = std::make_unique<Query>(*database, *madeTr);
    auto madeSql = std::make_unique<Sql>(*database, *tr);

    database.reset();
    // The attachment went, rolling the insert back, while its clients are still here.
    QCOMPARE(scalar(t.database(), attachments), alone);
    QCOMPARE(scalar(t.database(), QStringLiteral("SELECT COUNT(*) FROM Lines")), 1);
    const std::initializer_list<const DatabaseClient*> clients{tr.get(), q.get(), madeTr.get(),
                                                               madeQ.get(), madeSql.get()};
    for (const DatabaseClient* c : clients)
        QVERIFY(!c->hasDatabase());
    QVERIFY(!tr->active());
    QVERIFY(!madeTr->active());
    QVERIFY(!q->isOpen());
    QVERIFY(!q->prepared());
    QCOMPARE(q->recordCount(), std::size_t(0));

    // Destroyed afterwards, transactions before their data sets and after them.
    tr.reset();
    q.reset();
    madeSql.reset();
    madeQ.reset();
    madeTr.reset();

    // The file's own attachment knows nothing of the clients that were dropped.
    t.database().close();
    t.database().open();
    QCOMPARE(scalar(t.database(), QStringLiteral("SELECT COUNT(*) FROM Lines")), 1);
}

void TestDb::clientsOfADestroyedDatabaseRefuseWork()
{
    TEST_NEW_DATABASE(t);
    const QString gone =
        QStringLiteral("The database this object was made over has been destroyed");
    auto database = attach(t.path());
    Transaction tr(*database);
    tr.start();
    Query q(*database, tr);
    q.sql().add(QStringLiteral("SELECT * FROM Lines"));
    q.open();
    Transaction madeTr(*database);
    Query madeQ(*database, madeTr);
    madeQ.sql().add(QStringLiteral("SELECT * FROM Lines"));
    Sql madeSql(*database, madeTr);
    madeSql.sql().add(QStringLiteral("SELECT 1 FROM RDB$DATABASE"));
    StoredProc madeProc(*database, madeTr);
    madeProc.setStoredProcName(QStringLiteral("NoSuchProcedure"));
    database.reset();

    const std::function<void()> refused[] = {
        [&] { q.open(); },        [&] { q.execSql(); },         [&] { madeQ.open(); },
        [&] { madeQ.prepare(); }, [&] { madeSql.execQuery(); }, [&] { madeProc.execProc(); },
        [&] { q.database(); },    [&] { tr.start(); },          [&] { madeTr.start(); }};
    for (std::size_t i = 0; i < std::size(refused); ++i)
        QVERIFY2(errorOf(refused[i]) == gone, qPrintable(QStringLiteral("work %1").arg(i)));
    QCOMPARE(errorOf([&] { tr.commit(); }), QStringLiteral("Transaction is not active"));
    tr.rollbackQuietly();
    q.close();
    QVERIFY(!q.isOpen());
    QVERIFY(!tr.active());

    // Clients of a database that was never attached are left the same way.
    auto never = std::make_unique<Database>();
    Transaction neverTr(*never);
    Query neverQ(*never, neverTr);
    never.reset();
    QVERIFY(!neverQ.hasDatabase());
    QCOMPARE(errorOf([&] { neverQ.open(); }), gone);
    QCOMPARE(errorOf([&] { neverTr.start(); }), gone);
}

void TestDb::scriptSplitting()
{
    const QStringList parts = ScriptRunner::split(QStringLiteral(
        "-- comment; not a statement\nCREATE TABLE A (X VARCHAR(5) DEFAULT ';');\n"
        "/* block; comment */\nSET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN X = 1; END^\n"
        "SET TERM ; ^\nCOMMIT;"));
    QCOMPARE(parts, (QStringList{QStringLiteral("CREATE TABLE A (X VARCHAR(5) DEFAULT ';')"),
                                 QStringLiteral("CREATE PROCEDURE P AS BEGIN X = 1; END"),
                                 QStringLiteral("COMMIT")}));
}

void TestDb::failedOpen()
{
    Database d;
    d.setDatabaseName(QStringLiteral("/nonexistent/folder/none.fdb"));
    d.params() = demo::localParams();
    QVERIFY_THROWS_EXCEPTION(DbError, d.open());
    QVERIFY(!d.connected());
    d.setDatabaseName(QString());
    QVERIFY_THROWS_EXCEPTION(DbError, d.open());
    d.params() = QStringList{QStringLiteral("colour=blue")};
    QVERIFY_THROWS_EXCEPTION(DbError, d.open());
}

KELVORA_TEST_GUILESS_MAIN(TestDb)
#include "test_db.moc"
