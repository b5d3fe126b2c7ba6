// The detailed report over 100,000 calls (or the number given) previewed from "Просмотр": the
// first page on show, the window's longest event-loop gap, time per 1,000 pages, memory a page
// and peak memory; then the preview: its first paint and paints scrolled through all the pages.
#include "BenchSupport.h"

#include "DemoData.h"
#include "data/TDM.h"
#include "reportview/ReportPreview.h"
#include "ui/stats/TReportForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
    bench::Setup setup(argc, argv, 100000);
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/report2.frf"),
                dir.filePath(QStringLiteral("report2.frf")));
    TDM dm(dir.path());
    bench::login(dm, setup.database);
    TReportForm form(dm);
    form.cbReport->setCurrentIndex(1);
    form.dOT->setDate(QDate::currentDate().addYears(-1));
    form.dDo->setDate(QDate::currentDate());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        std::printf("the window was never shown\n");
    // "Просмотр" clicked; then, on a 1 ms timer, the window's event loop is watched (the
    // longest gap between two ticks) and the preview looked at for its first page.
    bench::LoopWatch watch;
    double firstPageMs = -1;
    double totalShownMs = -1;
    // Whether the first page on show tells the pages in all (not "…").
    const auto totalShown = [&form] {
        const report::PreparedReport& shown = form.frPreview->report();
        if (shown.pages.empty())
            return false;
        for (const report::PageItem& item : shown.pages.front().items)
            if (item.text.contains(QChar(0x2026)))
                return false;
        return true;
    };
    watch.onTick = [&] {
        if (firstPageMs < 0 && !form.frPreview->report().pages.empty()) {
            form.frPreview->viewport()->repaint(); // the first page is drawn
            firstPageMs = watch.elapsedMs();
            watch.skipGap();
        }
        if (totalShownMs < 0 && totalShown())
            totalShownMs = watch.elapsedMs();
    };
    const qint64 before = bench::residentBytes();
    watch.start();
    QTest::mouseClick(form.bbPreview, Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return !form.running(); }, 3600000))
        std::printf("the run did not end\n");
    const double ms = watch.elapsedMs();
    watch.stop();
    const std::size_t pages = form.prepared().pages.size();
    const double perPage = double(std::max<std::size_t>(1, pages));
    std::printf("detailed report: %lld calls, %zu pages in %.0f ms: %.0f ms per 1,000 pages "
                "(goal <= 3000)\n",
                qint64(form.SCntAllRing), pages, ms, ms * 1000.0 / perPage);
    std::printf("preview: the first page on show %.0f ms after \"Просмотр\" (goal <= 1000)\n",
                firstPageMs);
    std::printf("preview: the pages in all on show %.0f ms after \"Просмотр\"\n", totalShownMs);
    std::printf("event loop: longest gap between 1 ms timer ticks during the run %.1f ms, ending "
                "at %.0f ms (goal <= 50)\n",
                watch.longestGapMs(), watch.longestGapAtMs());
#ifdef __GLIBC__
    malloc_trim(0); // what preparing freed goes back, so resident memory is what is kept
#endif
    std::printf("memory: peak resident %.0f MB (%.0f MB before the run; goal <= 400), %.1f KB a "
                "prepared page resident (goal <= 10), %.1f KB a page held by the pages\n",
                double(bench::peakResidentBytes()) / 1048576.0, double(before) / 1048576.0,
                double(bench::residentBytes() - before) / 1024.0 / perPage,
                double(form.prepared().memoryBytes()) / 1024.0 / perPage);

    // The preview as the window shows it: a first paint, then paints at places through the
    // whole report, each timed.
    report::ReportPreview preview;
    preview.resize(900, 1000);
    preview.show();
    if (!QTest::qWaitForWindowExposed(&preview))
        std::printf("the preview was never shown\n");
    const auto shared = std::make_shared<const report::PreparedReport>(form.prepared());
    const double firstPaint = bench::timeMs([&] {
        preview.setReport(shared);
        preview.viewport()->repaint();
    });
    QScrollBar* bar = preview.verticalScrollBar();
    double worst = 0;
    double total = 0;
    const int steps = 50;
    for (int i = 0; i <= steps; ++i) {
        const double t = bench::timeMs([&] {
            bar->setValue(int(qint64(bar->maximum()) * i / steps));
            preview.viewport()->repaint();
        });
        worst = std::max(worst, t);
        total += t;
    }
    std::printf("preview: first paint %.0f ms; %d scrolls through %zu pages (to the end, scroll "
                "bar maximum %d): %.1f ms a paint on average, %.1f ms at most\n",
                firstPaint, steps + 1, pages, bar->maximum(), total / (steps + 1), worst);
    return 0;
}
