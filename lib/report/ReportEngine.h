// Banded report layout: a template and rows laid out into prepared pages.
#pragma once

#include "PreparedReport.h"
#include "ReportDataSource.h"
#include "ReportTemplate.h"

#include <QFont>
#include <QSizeF>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace report {

/// The value of a variable that is not a column of the data source; nothing when unknown.
using ValueCallback = std::function<std::optional<QVariant>(const QString& name)>;

/// Walks the data source once, from its first row: title on the first page, page header and
/// column header at the top of every page, one master-data band per row, the summary after the
/// last row, the page footer at the bottom of every page. A variable [Name] takes the current
/// row's column of that name, else the callback's value, else the built-ins [PAGE#] and
/// [TOTALPAGES], else an empty text. Needs no widget: it may run on a worker thread (fonts are
/// measured, so a GUI application must exist); ReportOutput puts the pages on a device.
///
/// The pages in all: the bands have fixed heights, so they follow from the number of rows.
/// When the caller knows it before (`rows`, or expectRows() during the run) [TOTALPAGES] is
/// written at once; until then it reads unknownTotal(). After the last row every page's total
/// is put right, so the pages are the same whichever way the rows came.
class ReportEngine
{
public:
    /// Lays the pages out into `out` (emptied first): its pages grow while the progress
    /// callback is told of them, so a caller may show them meanwhile (the last one is complete
    /// once the next begins). The source may bring its rows as they arrive (first() and next()
    /// are called once a row, in order). When it returns false, `out` holds what was laid out.
    bool prepare(const ReportTemplate& layout, ReportDataSource& data, const ValueCallback& values,
                 PreparedReport& out, std::optional<std::size_t> rows = std::nullopt);
    /// Told the pages laid out so far after each row, and the pages in all once known (0
    /// before); returning false stops prepare() (cancelled() then).
    using Progress = std::function<bool(int pages, int totalPages)>;
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    /// Says, from the progress callback, how many rows the source holds in all: the pages laid
    /// out so far get their total, and the pages to come get it at once.
    void expectRows(std::size_t rows) { m_expectedRows = rows; }
    /// The pages a template takes for `rows` rows.
    static int pageCount(const ReportTemplate& layout, std::size_t rows);
    /// What [TOTALPAGES] reads while the pages in all are not known yet ("…" by default).
    const QString& unknownTotal() const { return m_unknownTotal; }
    void setUnknownTotal(const QString& text) { m_unknownTotal = text; }
    bool cancelled() const { return m_cancelled; }
    /// Why the last prepare() returned false.
    const QString& errorString() const { return m_error; }

    /// The scale of `font` (1 when it fits already, else below 1) at which `text`, laid out with
    /// `flags` (alignment, Qt::TextWordWrap), stays whole within `box` (both in points; the
    /// font sized in pixels, one pixel a point). Needs a GUI application for the fonts.
    static double fitFactor(const QFont& font, const QString& text, const QSizeF& box, int flags);

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
    /// Draws the layout's band of `kind`, when it has one, where the pass stands and moves the
    /// pass below it.
    void flowBand(Pass& pass, BandKind kind);
    void drawBand(Pass& pass, const Band& band, double top);
    void writeTotals(Pass& pass, int total);
    std::uint16_t fittedStyle(Pass& pass, std::uint16_t style, std::uint32_t text);
    void place(Pass& pass, const Band* band, void (ReportEngine::*render)(Pass&));
    void newPage(Pass& pass);
    void endPage(Pass& pass);
    /// Sets *total when the text names the pages in all, written as a mark for the caller.
    QString expand(Pass& pass, const QString& text, bool* total) const;

    QString m_error;
    Progress m_progress;
    std::optional<std::size_t> m_expectedRows;
    QString m_unknownTotal = QStringLiteral("\u2026");
    bool m_cancelled = false;
};

} // namespace report
