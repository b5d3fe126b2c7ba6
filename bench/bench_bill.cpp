// The operator's bill against a year of calls (1,000,000 by default): a bill of 100,000 lines
// made from the log's outgoing calls is read from its CSV file, and the log's calls of the
// period are read and paired with it; against the reading of the same calls alone, in one run.
// Then the report of the last round is laid out, every call that differs on its pages.
#include "BenchSupport.h"

#include "DemoData.h"
#include "data/Bill.h"
#include "runs/BillCheck.h"
#include "runs/BillReport.h"

#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>

int main(int argc, char** argv)
{
    // The report's fonts want the toolkit's screen; none is needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const qint64 calls = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const int billLines = argc > 2 ? QByteArray(argv[2]).toInt() : 100000;
    const int rounds = argc > 3 ? QByteArray(argv[3]).toInt() : 3;
    const QString path = bench::bigDatabase(calls);

    bill::CheckRequest request;
    request.place = {path,
                     demo::localParams(),
                     {QStringLiteral("read"), QStringLiteral("nowait"),
                      QStringLiteral("read_committed"), QStringLiteral("rec_version")}};
    request.navigateByDate = true;
    request.first = QDate::currentDate().addYears(-2);
    request.last = QDate::currentDate().addDays(1);
    request.cityCode = QStringLiteral("495");
    CancelSlot slot;
    const auto stop = [] { return false; };

    auto readAlone = [&] {
        WorkerReading reading(slot, request.place);
        return bill::readLogCalls(reading.database, reading.transaction, request, stop);
    };
    // The bill: outgoing calls of the log picked at random, written as an operator writes them.
    std::vector<bill::LogCall> log = readAlone();
    std::printf("log: %lld calls, %zu outgoing in the period\n", calls, log.size());
    QRandomGenerator random(1);
    std::shuffle(log.begin(), log.end(), std::mt19937(1));
    log.resize(std::min<std::size_t>(log.size(), std::size_t(billLines)));
    QByteArray csv = "Дата;Номер;Длительность;Сумма\r\n";
    for (const bill::LogCall& c : log)
        csv += (bill::momentText(c.start + random.bounded(-30, 31)) + u';' +
                bill::keyText(c.number) + u';' + QString::number(c.seconds / 60) + u':' +
                QStringLiteral("%1").arg(c.seconds % 60, 2, 10, QLatin1Char('0')) + u';' +
                QString::number(random.bounded(1000)) + QStringLiteral(",50\r\n"))
                   .toUtf8();
    QTemporaryDir dir;
    const QString billPath = dir.filePath(QStringLiteral("bill.csv"));
    {
        QFile f(billPath);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(csv);
    }
    std::printf("bill: %zu lines, %lld bytes\n", log.size(), qint64(csv.size()));
    log = {};
    csv = {};

    bill::CheckOutcome outcome;
    for (int round = 0; round < rounds; ++round) {
        qint64 read = 0;
        const double aloneMs = bench::timeMs([&] { read = qint64(readAlone().size()); });
        double fileMs = 0;
        qint64 heldBefore = 0;
        qint64 heldBytes = 0;
        qint64 peakGrowth = 0;
        const double allMs = bench::timeMs([&] {
            bench::resetPeakResident();
            const qint64 before = bench::residentBytes();
            bill::BillCalls billCalls;
            fileMs = bench::timeMs([&] {
                const bill::Table table = bill::readFile(billPath);
                billCalls = bill::readCalls(table, bill::guessColumns(table), request.cityCode);
            });
            peakGrowth = bench::peakResidentBytes() - before;
            heldBefore = qint64(billCalls.calls.capacity() * sizeof(bill::BillCall));
            outcome = bill::check(request, std::move(billCalls.calls), slot, stop);
            heldBytes = qint64(outcome.result.bill.capacity() * sizeof(bill::BillCall) +
                               outcome.result.rows.capacity() * sizeof(bill::Row));
        });
        const double lines = double(std::max<std::size_t>(outcome.result.bill.size(), 1));
        std::printf("round %d: calls alone %.0f ms (%lld calls); bill read %.0f ms, read+matched "
                    "%.0f ms = %.2fx; held %.0f bytes a bill line (%.0f before matching), parse "
                    "peak +%.0f bytes a line; matched %lld, not in log %lld, not in bill %lld%s\n",
                    round + 1, aloneMs, read, fileMs, allMs, allMs / aloneMs,
                    double(heldBytes) / lines, double(heldBefore) / lines,
                    double(peakGrowth) / lines, outcome.result[bill::Kind::Match].calls,
                    outcome.result[bill::Kind::NotInLog].calls,
                    outcome.result[bill::Kind::NotInBill].calls,
                    outcome.error.isEmpty() ? "" : qPrintable(u' ' + outcome.error));
        std::fflush(stdout);
    }

    report::ReportTemplate layout;
    if (!layout.load(QStringLiteral(KELVORA_SOURCE_DIR "/templates/report5.frf"))) {
        std::printf("no report template: %s\n", qPrintable(layout.errorString()));
        return 1;
    }
    std::size_t rows = 0;
    for (const bill::Row& row : outcome.result.rows)
        rows += row.kind != bill::Kind::Match;
    report::PreparedReport pages;
    QString error;
    const double reportMs =
        bench::timeMs([&] { bill::prepareReport(layout, outcome.result, {}, pages, error); });
    std::printf("report: %zu calls that differ laid out in %.0f ms, %zu pages%s\n", rows, reportMs,
                pages.pages.size(), error.isEmpty() ? "" : qPrintable(u' ' + error));
    return 0;
}
