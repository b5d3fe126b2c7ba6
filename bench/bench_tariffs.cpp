// The call list over 1,000,000 calls priced by a plan of 5,000 rules, against the same load
// with no tariffs, in one run: time and bytes held a row. Then the cost report over the same
// calls against the summary report, both as the reports window makes them.
#include "BenchSupport.h"

#include "app/Messages.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "data/TariffStore.h"
#include "ui/stats/TReportForm.h"

#include <QTest>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <clocale>
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
    bench::Setup setup(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // as the program runs
    // The tariffs go into a copy: the shared benchmark database stays as the others expect it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("priced.fdb"));
    if (!QFile::copy(setup.database, path)) {
        std::printf("cannot copy the benchmark database\n");
        return 1;
    }

    TDM dm(dir.path());
    bench::login(dm, path);
    if (!tariff::hasTables(dm.ibDatabase, dm.ibTranRO))
        tariff::createTables(dm);
    tariff::save(dm, {bigPlan()}, {});

    stmt::CallFilter filter;
    filter.to = QDate::currentDate();
    filter.from = filter.to.addYears(-1);
    db::Query& q = dm.ibQueryRings;
    double best[2] = {1e300, 1e300};
    double bytes[2] = {0, 0};
    qint64 cost = 0;
    qint64 without = 0;
    qint64 talk = 0;
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
                if (!rated) {
                    // The talk time, as the call list adds it up in both cases.
                    const db::Field& length = q.field(QStringLiteral("RINGLENGTH"));
                    qint64 seconds = 0;
                    for (q.first(); !q.eof(); q.next())
                        seconds += length.asInt64();
                    talk = seconds;
                    return;
                }
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
    std::printf("total cost %s, without a tariff %lld; talk time %lld s\n",
                qPrintable(tariff::kopecksText(cost)), without, talk);
    std::printf("best: priced %.0f ms, plain %.0f ms, ratio %.3f (goal <= 1.05)\n", best[1],
                best[0], best[1] / best[0]);
    std::printf("held: priced %.1f, plain %.1f bytes a row: %.1f more (goal <= 8)\n", bytes[1],
                bytes[0], bytes[1] - bytes[0]);
    std::fflush(stdout);
    q.close();

    // The reports, previewed as the window makes them, the best of three rounds each.
    for (ReportKind kind : {ReportKind::BySubscriber, ReportKind::Cost})
        QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/") + TemplateName(kind),
                    dir.filePath(TemplateName(kind)));
    Messages::setTestMode(true); // a failed run is printed below, not waited on
    TReportForm form(dm);
    form.dOT->setDate(filter.from);
    form.dDo->setDate(filter.to);
    double report[2] = {1e300, 1e300};
    for (int round = 0; round < 3; ++round) {
        for (int cost = 0; cost < 2; ++cost) {
            form.cbReport->setCurrentIndex(int(cost ? ReportKind::Cost : ReportKind::BySubscriber));
            const double ms = bench::timeMs([&] {
                form.RunReport(true);
                if (!QTest::qWaitFor([&] { return !form.running(); }, 3600000))
                    std::printf("the run did not end\n");
            });
            report[cost] = std::min(report[cost], ms);
            std::printf("round %d %s report: %.0f ms, %lld calls, %zu pages\n", round + 1,
                        cost ? "cost   " : "summary", ms, qint64(form.SCntAllRing),
                        form.prepared().pages.size());
            std::fflush(stdout);
        }
    }
    for (const Messages::Shown& shown : Messages::shown())
        std::printf("said: %s\n", qPrintable(shown.text));
    std::printf("cost report: %s, without a tariff %lld\n",
                qPrintable(tariff::kopecksText(form.SCost)), qint64(form.SNoTariff));
    std::printf("best: cost report %.0f ms, summary report %.0f ms, ratio %.3f (goal <= 1.5)\n",
                report[1], report[0], report[1] / report[0]);
    return 0;
}
