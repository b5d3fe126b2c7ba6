// Export of 1,000,000 call rows to each format: time and peak memory, next to the memory of
// the open query alone.
#include "BenchSupport.h"

#include "DemoData.h"
#include "data/TDM.h"
#include "grid/DataGrid.h"
#include "grid/GridExporter.h"
#include "ui/controls/TComboQuery.h"
#include "ui/main/TMainForm.h"

#include <QApplication>
#include <QDateEdit>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    bench::Setup setup(argc, argv);
    bench::MainWindow program(setup.database);
    TDM& dm = program.dm;
    const test::MainControls& tabs = program.tabs;
    tabs.dOT->setDate(QDate::currentDate().addYears(-1));
    tabs.dDo->setDate(QDate::currentDate());
    const qint64 before = bench::residentBytes();
    tabs.sbStart->click();
    const qint64 withQuery = bench::residentBytes();
    std::printf("query: %zu rows, resident %.0f MB (query holds %.0f MB)\n",
                dm.ibQueryRings.recordCount(), double(withQuery) / 1048576.0,
                double(withQuery - before) / 1048576.0);
    const std::pair<grid::ExportFormat, const char*> formats[] = {
        {grid::ExportFormat::Text, "TXT"},  {grid::ExportFormat::Html, "HTM"},
        {grid::ExportFormat::Rtf, "RTF"},   {grid::ExportFormat::Xls, "XLS"},
        {grid::ExportFormat::Xlsx, "XLSX"}, {grid::ExportFormat::Csv, "CSV"}};
    for (const auto& [kind, ext] : formats) {
        const grid::ExportFormat format = kind; // a plain variable the timed lambda can take
        const QString file = program.dir.filePath(QStringLiteral("calls.") + QLatin1String(ext));
        bool ok = false;
        bench::resetPeakResident(); // each format's own peak
        const double ms = bench::timeMs([&] {
            QFile out(file);
            out.open(QIODevice::WriteOnly);
            ok = grid::makeExporter(format)->write(out, grid::GridTable(*tabs.GridRings));
        });
        std::printf("%s: %.0f ms, %.0f MB file, peak resident %.0f MB, resident after %.0f MB%s\n",
                    ext, ms, double(QFile(file).size()) / 1048576.0,
                    double(bench::peakResidentBytes()) / 1048576.0,
                    double(bench::residentBytes()) / 1048576.0, ok ? "" : " FAILED");
        std::fflush(stdout);
        QFile::remove(file);
    }
    return 0;
}
