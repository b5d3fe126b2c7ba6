// The call list over 1,000,000 calls priced by a plan of 5,000 rules, against the same load
// with no tariffs, in one run: time and bytes held a row.
#include "BenchSupport.h"

#include "data/Statements.h"
#include "data/TDM.h"
#include "data/TariffStore.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

// 5,000 rules: the ready plan's zones and many longer prefixes below them, as an operator's
// price list by city codes has them.
tariff::Plan bigPlan()
{
    tariff::Plan p = tariff::standardPlan();
    p.name = QStringLiteral("Большой");
    p.isDefault = true;
    for (tariff::Rule& r : p.rules)
        r.minutePrice = 15000;
    std::mt19937 random(5000);
    while (p.rules.size() < 5000) {
        tariff::Rule r;
        const int digits = 2 + int(random() % 5);
        r.prefix = QStringLiteral("8");
        for (int i = 0; i < digits; ++i)
            r.prefix += QChar(u'0' + char16_t(random() % 10));
        r.minLength = r.maxLength = 11;
        r.zone = QStringLiteral("Зона %1").arg(p.rules.size());
        r.minutePrice = 10000 + qint64(random() % 90000);
        r.firstInterval = 30;
        r.nextInterval = 6;
        p.rules.push_back(r);
    }
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 calls = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    // The tariffs go into a copy: the shared benchmark database stays as the others expect it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("priced.fdb"));
    if (!QFile::copy(bench::bigDatabase(calls), path)) {
        std::printf("cannot copy the benchmark database\n");
        return 1;
    }

    TDM dm(dir.path());
    bench::login(dm, path);
    if (!tariff::hasTables(dm.ibDatabase, dm.ibTranRO))
        tariff::createTables(dm.ibDatabase, dm.ibTran);
    tariff::save(dm.ibDatabase, dm.ibTran, {bigPlan()}, {});

    stmt::CallFilter filter;
    filter.to = QDate::currentDate();
    filter.from = filter.to.addYears(-1);
    db::Query& q = dm.ibQueryRings;
    double best[2] = {1e300, 1e300};
    double bytes[2] = {0, 0};
    qint64 cost = 0;
    qint64 without = 0;
    for (int round = 0; round < 3; ++round) {
        for (int rated = 0; rated < 2; ++rated) {
            const double ms = bench::timeMs([&] {
                q.close();
                if (rated)
                    dm.LoadTariffs();
                else
                    dm.CallCosts.setBook(nullptr);
                filter.withLine = rated != 0;
                filter.statement().applyTo(q);
                q.open();
                if (!rated)
                    return;
                // The totals as the call list makes them.
                const db::Field& zone = q.field(QStringLiteral("RZone"));
                const db::Field& length = q.field(QStringLiteral("RINGLENGTH"));
                cost = without = 0;
                for (q.first(); !q.eof(); q.next())
                    if (const auto c = dm.CallCosts.rowCost(zone, length)) {
                        cost += c->kopecks;
                        without += c->rated ? 0 : 1;
                    }
            });
            best[rated] = std::min(best[rated], ms);
            bytes[rated] =
                double(q.bufferBytes()) / double(std::max<std::size_t>(1, q.recordCount()));
            std::printf("round %d %s: %.0f ms, %zu rows\n", round + 1, rated ? "priced" : "plain ",
                        ms, q.recordCount());
            std::fflush(stdout);
        }
    }
    std::printf("total cost %s, without a tariff %lld\n", qPrintable(tariff::kopecksText(cost)),
                without);
    std::printf("best: priced %.0f ms, plain %.0f ms, ratio %.3f (goal <= 1.05)\n", best[1],
                best[0], best[1] / best[0]);
    std::printf("held: priced %.1f, plain %.1f bytes a row: %.1f more (goal <= 8)\n", bytes[1],
                bytes[0], bytes[1] - bytes[0]);
    return 0;
}
