#include "CallData.h"

#include "DemoData.h"

namespace test {

QString insertCall(const QDateTime& when, int seconds, double numberOut, int line, int numberIn)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("INSERT INTO Rings (RDay, RMont, RYear, RHour, RMin, RSec, RingDate, "
                          "TimeHour, TimeMin, TimeSec, NumberOut, RLine, NumberIn) VALUES "
                          "(%1, %2, %3, %4, %5, %6, '%7', %8, %9, %10, %11, %12, %13)")
        .arg(d.day())
        .arg(d.month())
        .arg(d.year() - 2000)
        .arg(t.hour())
        .arg(t.minute())
        .arg(t.second())
        .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")))
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60)
        .arg(seconds % 60)
        .arg(QString::number(numberOut, 'f', 0))
        .arg(line)
        .arg(numberIn);
}

void fillSmallCallLog(TestDatabase& t)
{
    auto at = [](int day, int h, int m, int s, int ms = 0) {
        return QDateTime(QDate(2026, 3, day), QTime(h, m, s, ms));
    };
    t.exec({
        QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, 'Секретарь', NULL)"),
        QStringLiteral("INSERT INTO Lines VALUES (2, 2150002, NULL, NULL)"),
        QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов Иван Петрович')"),
        QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (102, 'Петрова Анна Сергеевна')"),
        insertCall(at(1, 0, 0, 0), 30, 8125551, 1, 101),           // first moment, exactly 30 s
        insertCall(at(1, 12, 0, 0), 65, 0, 2, 102),                // incoming
        insertCall(at(2, 23, 59, 59), 3725, 4951234567.0, 1, 102), // last second of the period
        insertCall(at(2, 23, 59, 59, 500), 10, 8120000, 1, 101),   // after the period's bound
        insertCall(at(3, 10, 0, 0), 40, 8121111, 1, 101),          // next day
        insertCall(at(1, 10, 0, 0), 50, 8122222, 9, 101),          // line not in the directory
        insertCall(at(1, 11, 0, 0), 60, 8123333, 1, 300),          // subscriber not in it
    });
}

void addManyCalls(TestDatabase& t, int count)
{
    t.exec(
        {QStringLiteral(
             "INSERT INTO Rings (RDay, RMont, RYear, RHour, RMin, RSec, RingDate, TimeHour, "
             "TimeMin, TimeSec, NumberOut, RLine, NumberIn) SELECT 1, 3, 26, 10 + n / 3600, "
             "MOD(n / 60, 60), MOD(n, 60), DATEADD(n SECOND TO TIMESTAMP '2026-03-01 10:00:00'), "
             "0, 0, 1 + MOD(n, 59), 8120000 + n, 1, 101 FROM (SELECT ROW_NUMBER() OVER () - 1 "
             "AS n FROM RDB$TYPES a, RDB$TYPES b ROWS %1)")
             .arg(count)});
}

void fillDemoLog(TestDatabase& t, qint64 calls, const QDateTime& last)
{
    demo::DemoData data;
    data.fillDirectories(t.database());
    data.fillCalls(t.database(), calls, QDateTime(QDate(2026, 1, 1), QTime(0, 0)), last);
}

} // namespace test
