// The detailed report over 100,000 calls prepared into pages: time per 1,000 pages and peak
// memory.
#include "BenchSupport.h"

#include "DemoData.h"
#include "data/TDM.h"
#include "stats/TReportForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
    const qint64 calls = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100000;
    const QString path = bench::bigDatabase(calls);
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/report2.frf"),
                dir.filePath(QStringLiteral("report2.frf")));
    TDM dm(dir.path());
    bench::login(dm, path);
    TReportForm form(dm);
    form.cbReport->setCurrentIndex(1);
    form.dOT->setDate(QDate::currentDate().addYears(-1));
    form.dDo->setDate(QDate::currentDate());
    const qint64 before = bench::residentBytes();
    const double ms = bench::timeMs([&] { form.RunReport(true); });
    const std::size_t pages = form.prepared().pages.size();
    std::printf("detailed report: %lld calls, %zu pages in %.0f ms: %.0f ms per 1,000 pages\n",
                qint64(form.SCntAllRing), pages, ms,
                ms * 1000.0 / double(std::max<std::size_t>(1, pages)));
    std::printf("memory: peak resident %.0f MB (%.0f MB before the run), %.1f KB a prepared page\n",
                double(bench::peakResidentBytes()) / 1048576.0, double(before) / 1048576.0,
                double(bench::residentBytes() - before) / 1024.0 /
                    double(std::max<std::size_t>(1, pages)));
    return 0;
}
