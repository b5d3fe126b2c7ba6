// Banded report preparation into pages, and their printing and PDF output.
#pragma once

#include "ReportDataSource.h"
#include "ReportTemplate.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QIODevice;
class QPrinter;

namespace report {

/// One drawn thing of a prepared page, in points from the page's top left corner.
struct PageItem
{
    enum class Kind : std::uint8_t
    {
        Fill,
        Text,
        Line
    };
    Kind kind = Kind::Text;
    std::uint8_t font = 0; ///< text: index into PreparedReport::fonts
    int flags = 0;         ///< text: alignment and wrapping (Qt::AlignmentFlag, Qt::TextWordWrap)
    float x1 = 0, y1 = 0, x2 = 0,
          y2 = 0;    ///< fill and text: the rectangle's corners; line: its ends
    float width = 0; ///< line: pen width
    QRgb color = 0xff000000;
    QString text;
};

/// A prepared page: what is drawn on it, in drawing order.
struct PreparedPage
{
    std::vector<PageItem> items;
};

/// Pages in points (1/72 inch), kept as lists of drawn items and painted on demand at any
/// resolution; independent of the data once prepared.
struct PreparedReport
{
    double pageWidth = 0;
    double pageHeight = 0;
    std::vector<PreparedPage> pages;
    std::vector<QFont> fonts;     ///< sized in pixels, one pixel a point
    std::vector<int> rowsPerPage; // master-data rows placed on each page
    bool empty() const { return pages.empty(); }
};

/// The value of a variable that is not a column of the data source; nothing when unknown.
using ValueCallback = std::function<std::optional<QVariant>(const QString& name)>;

/// Walks the data source from its first row: title on the first page, page header and column
/// header at the top of every page, one master-data band per row, the summary after the last
/// row, the page footer at the bottom of every page. A variable [Name] takes the current row's
/// column of that name, else the callback's value, else the built-ins [PAGE#] and
/// [TOTALPAGES], else an empty text.
class ReportEngine
{
public:
    bool prepare(const ReportTemplate& layout, ReportDataSource& data, const ValueCallback& values,
                 PreparedReport& out);
    /// Told the pages laid out so far after each row, and the pages in all once known (0 in
    /// the first pass, which counts them); returning false stops prepare() (cancelled() then).
    using Progress = std::function<bool(int pages, int totalPages)>;
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    bool cancelled() const { return m_cancelled; }
    /// Why the last prepare(), print() or writePdf() returned false.
    const QString& errorString() const { return m_error; }

    /// All pages, one copy, on the given printer (no dialog).
    bool print(const PreparedReport& report, QPrinter& printer);
    /// A PDF of all pages, the page size and orientation the template's; an existing file is
    /// replaced only when the new one is complete.
    bool writePdf(const PreparedReport& report, const QString& path);
    /// The same into an open device (a buffer for a mail attachment, say).
    bool writePdf(const PreparedReport& report, QIODevice& out);
    /// Draws one page with `scale` device units a point (the device's resolution / 72).
    static void paintPage(QPainter& painter, const PreparedReport& report, int page, double scale);

    /// The text of a value as a report shows it (dates and times in the user's format).
    static QString textOf(const QVariant& value);

private:
    struct Pass;
    bool run(Pass& pass);
    void renderReportTitle(Pass& pass);
    void renderPageHeader(Pass& pass);
    void renderColumnHeader(Pass& pass);
    void renderMasterData(Pass& pass);
    void renderSummary(Pass& pass);
    void renderPageFooter(Pass& pass);
    void drawBand(Pass& pass, const Band& band, double top);
    void place(Pass& pass, const Band* band, void (ReportEngine::*render)(Pass&));
    void newPage(Pass& pass);
    void endPage(Pass& pass);
    QString expand(Pass& pass, const QString& text) const;

    QString m_error;
    Progress m_progress;
    bool m_cancelled = false;
};

} // namespace report
