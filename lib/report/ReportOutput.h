// Prepared report pages painted at a device's resolution, printed, or written to PDF.
#pragma once

#include "PreparedReport.h"

#include <QString>

class QIODevice;
class QPainter;
class QPrinter;

namespace report {

/// Puts prepared pages on a device; the pages are only read. Used on the window thread (the
/// printer and the PDF writer need the GUI application).
class ReportOutput
{
public:
    /// All pages, one copy, on the given printer (no dialog).
    bool print(const PreparedReport& report, QPrinter& printer);
    /// A PDF of all pages, the page size and orientation the template's; an existing file is
    /// replaced only when the new one is complete.
    bool writePdf(const PreparedReport& report, const QString& path);
    /// The same into an open device (a buffer for a mail attachment, say).
    bool writePdf(const PreparedReport& report, QIODevice& out);
    /// Draws one page with `scale` device units a point (the device's resolution / 72).
    static void paintPage(QPainter& painter, const PreparedReport& report, int page, double scale);

    /// Why the last print() or writePdf() returned false.
    const QString& errorString() const { return m_error; }

private:
    QString m_error;
};

} // namespace report
