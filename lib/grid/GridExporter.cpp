#include "GridExporter.h"

#include "CsvExporter.h"
#include "HtmlExporter.h"
#include "RtfExporter.h"
#include "TextExporter.h"
#include "XlsExporter.h"
#include "XlsxExporter.h"

namespace grid {

bool GridExporter::write(QIODevice& out, const GridTable& table, const ExportProgress& progress)
{
    m_error.clear();
    return writeTable(out, table, progress, m_error);
}

std::unique_ptr<GridExporter> makeExporter(ExportFormat format, const ExportOptions& options)
{
    switch (format) {
    case ExportFormat::Rtf:
        return std::make_unique<RtfExporter>();
    case ExportFormat::Html:
        return std::make_unique<HtmlExporter>();
    case ExportFormat::Xls: {
        auto xls = std::make_unique<XlsExporter>();
        xls->setSheetName(options.sheetName);
        return xls;
    }
    case ExportFormat::Xlsx: {
        auto xlsx = std::make_unique<XlsxExporter>();
        xlsx->setSheetName(options.sheetName);
        return xlsx;
    }
    case ExportFormat::Csv:
        return std::make_unique<CsvExporter>();
    case ExportFormat::Text:
        break;
    }
    return std::make_unique<TextExporter>();
}

} // namespace grid
