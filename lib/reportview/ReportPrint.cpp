// Prepared report pages on a printer, painted at its resolution.
#include "ReportPrint.h"

#include "report/ReportOutput.h"

#include <QPainter>
#include <QPrinter>

namespace report {

bool print(const PreparedReport& report, QPrinter& printer, QString& error)
{
    error.clear();
    if (report.empty()) {
        error = QStringLiteral("nothing to print");
        return false;
    }
    const QPageLayout layout = ReportOutput::pageLayout(report);
    printer.setCopyCount(1);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFullPage(true);
    printer.setPageSize(layout.pageSize());
    printer.setPageOrientation(layout.orientation());
    QPainter painter;
    if (!printer.isValid() || !painter.begin(&printer)) {
        error = QStringLiteral("the printer cannot be used");
        return false;
    }
    const double scale = printer.resolution() / 72.0;
    for (std::size_t i = 0; i < report.pages.size(); ++i) {
        if (i > 0 && !printer.newPage()) {
            error = QStringLiteral("the printer stopped");
            return false;
        }
        ReportOutput::paintPage(painter, report, int(i), scale);
    }
    return painter.end();
}

} // namespace report
