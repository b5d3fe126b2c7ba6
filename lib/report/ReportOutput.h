// Prepared report pages painted at a device's resolution or written to PDF.
#pragma once

#include "PreparedReport.h"

#include <QPageLayout>
#include <QString>

class QIODevice;
class QPainter;

namespace report {

/// Puts prepared pages on a paint device or into a PDF; the pages are only read. It needs Qt
/// Gui alone (printing is reportview/ReportPrint.h) and may be used on any thread while a
/// QGuiApplication exists, whose platform supplies the fonts:
/// - QPainter on a QPdfWriter or a QImage is made for worker threads, so a worker may write a
///   PDF while the window thread paints or writes another; each thread uses its own
///   ReportOutput, device and painter.
/// - The fonts of the pages are QFont copies; they may be drawn with on another thread than
///   the one that laid the pages out, also at the same time: Qt keeps the font engines in a
///   cache per thread, and a font drawn on a thread whose cache did not load it loads its
///   engine there anew, under the font database's lock. The fonts are asked for by family and
///   size only; nothing here calls QFontDatabase or adds application fonts, which a caller
///   would do on the window thread before any worker starts.
/// - A PreparedReport is only read here; pages still growing on another thread are drawn from
///   a copy.
class ReportOutput
{
public:
    /// A PDF of all pages, the page size and orientation the template's; an existing file is
    /// replaced only when the new one is complete.
    bool writePdf(const PreparedReport& report, const QString& path);
    /// The same into an open device (a buffer for a mail attachment, say).
    bool writePdf(const PreparedReport& report, QIODevice& out);
    /// Draws one page with `scale` device units a point (the device's resolution / 72).
    static void paintPage(QPainter& painter, const PreparedReport& report, int page, double scale);

    /// The page size and orientation of the template the pages come from, without margins.
    static QPageLayout pageLayout(const PreparedReport& report);

    /// Why the last writePdf() returned false.
    const QString& errorString() const { return m_error; }

private:
    QString m_error;
};

} // namespace report
