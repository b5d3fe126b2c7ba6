// The call list's statement over 1,000,000 calls: our buffered Query against a plain
// object-API fetch of the same statement, in one run, with memory per held row.
#include "BenchSupport.h"

#include "DemoData.h"
#include "data/TDM.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

const char* const CallSql[] = {
    "SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,TimeMin,TimeSec,NumberOut,"
    "L.NumberTown,U.FIO",
    "FROM Rings R,Lines L,Users U",
    "WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn",
    "AND (R.RingDate between :d1 and :d2)",
    "ORDER BY RingDate ",
};

} // namespace

int main(int argc, char** argv)
{
    bench::Setup setup(argc, argv);
    const stmt::Period period{QDate::currentDate().addYears(-1), QDate::currentDate()};
    const QDateTime d1 = period.start();
    const QDateTime d2 = period.end();

    QTemporaryDir dir;
    TDM dm(dir.path());
    bench::login(dm, setup.database);
    db::Query& q = dm.ibQueryRings;
    for (const char* line : CallSql)
        q.sql().add(QString::fromLatin1(line));
    const QString positional = bench::positional(q.sql().lines());

    std::vector<double> ours;
    std::vector<double> raw;
    qint64 oursSum = 0;
    qint64 rawSum = 0;
    qint64 rawRows = 0;
    std::size_t rows = 0;
    std::size_t heldBytes = 0;
    const qint64 rssBefore = bench::residentBytes();
    qint64 rssHeld = 0;
    for (int round = 0; round < 3; ++round) {
        raw.push_back(bench::timeMs(
            [&] { rawSum = bench::rawFetch(setup.database, positional, d1, d2, 6, rawRows); }));
        ours.push_back(bench::timeMs([&] {
            q.close();
            q.paramByName(QStringLiteral("d1")).setDateTime(d1);
            q.paramByName(QStringLiteral("d2")).setDateTime(d2);
            q.open();
            db::Field& len = q.field(QStringLiteral("RINGLENGTH"));
            oursSum = 0;
            for (q.first(); !q.eof(); q.next())
                oursSum += len.asInt64();
        }));
        rows = q.recordCount();
        heldBytes = q.bufferBytes();
        rssHeld = bench::residentBytes() - rssBefore;
        std::printf("round %d: query %.0f ms, raw fetch %.0f ms\n", round + 1, ours.back(),
                    raw.back());
        std::fflush(stdout);
    }
    const double bestOurs = bench::best(ours);
    const double bestRaw = bench::best(raw);
    std::printf("rows %zu (raw %lld), sums %s\n", rows, rawRows,
                oursSum == rawSum ? "equal" : "DIFFER");
    std::printf("best: query %.0f ms, raw fetch %.0f ms, ratio %.3f (goal <= 1.15)\n", bestOurs,
                bestRaw, bestOurs / bestRaw);
    std::printf("held: %.1f bytes a row in rows and texts; resident growth %.1f bytes a row "
                "(goal <= 100)\n",
                double(heldBytes) / double(rows), double(rssHeld) / double(rows));
    return oursSum == rawSum ? 0 : 1;
}
