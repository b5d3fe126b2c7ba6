// From "Показать" to the visible calls grid with both totals, over 1,000,000 calls of one
// year, against a plain object-API fetch of the same statement, in one run; with peak memory.
#include "BenchSupport.h"

#include "DemoData.h"
#include "data/TDM.h"
#include "ui/controls/TComboQuery.h"
#include "ui/main/TMainForm.h"

#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
    const qint64 calls = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const QString path = bench::bigDatabase(calls);
    const qint64 rssStart = bench::residentBytes();

    bench::MainWindow program(path);
    if (!program.ready)
        return 1;
    TDM& dm = program.dm;
    TMainForm& form = program.form;
    form.dOT->setDate(QDate::currentDate().addYears(-1));
    form.dDo->setDate(QDate::currentDate());

    std::vector<double> ours;
    std::vector<double> raw;
    qint64 rawRows = 0;
    for (int round = 0; round < 3; ++round) {
        QString text;
        ours.push_back(bench::timeMs([&] {
            form.sbStart->click();
            form.GridRings->repaint(); // the first screen of rows is drawn
        }));
        const QStringList lines = dm.ibQueryRings.sql().lines();
        QString positional = lines.join(u'\n');
        positional.replace(QLatin1String(":d1"), QLatin1String("?"))
            .replace(QLatin1String(":d2"), QLatin1String("?"));
        const QDateTime d1(form.dOT->date(), QTime(0, 0));
        const QDateTime d2(form.dDo->date(), QTime(23, 59, 59, 59));
        raw.push_back(
            bench::timeMs([&] { bench::rawFetch(path, positional, d1, d2, 6, rawRows); }));
        std::printf("round %d: Показать %.0f ms (rows %s, %s), raw fetch %.0f ms (%lld rows)\n",
                    round + 1, ours.back(), qPrintable(form.PanelTotalString->text()),
                    qPrintable(form.PanelTotalTime->text()), raw.back(), rawRows);
        std::fflush(stdout);
    }
    const double bestOurs = *std::min_element(ours.begin(), ours.end());
    const double bestRaw = *std::min_element(raw.begin(), raw.end());
    std::printf("best: Показать %.0f ms, raw fetch %.0f ms, ratio %.3f (goal <= 1.3)\n", bestOurs,
                bestRaw, bestOurs / bestRaw);
    std::printf("memory: peak resident %.0f MB, resident now %.0f MB (%.0f MB at start), "
                "held rows %.1f bytes a row\n",
                double(bench::peakResidentBytes()) / 1048576.0,
                double(bench::residentBytes()) / 1048576.0, double(rssStart) / 1048576.0,
                double(dm.ibQueryRings.bufferBytes()) / double(dm.ibQueryRings.recordCount()));
    return 0;
}
