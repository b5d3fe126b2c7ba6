#include "GridExporter.h"

#include "HtmlExporter.h"
#include "RtfExporter.h"
#include "TextExporter.h"
#include "XlsExporter.h"

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
    case ExportFormat::Text:
        break;
    }
    return std::make_unique<TextExporter>();
}

} // namespace grid
