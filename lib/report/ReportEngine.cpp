#include "ReportEngine.h"

#include <QDate>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTime>
#include <QtMath>

#include <memory>

namespace report {

struct ReportEngine::Pass
{
    const ReportTemplate& layout;
    ReportDataSource& data;
    const ValueCallback& values;
    bool draw;
    int totalPages;
    std::vector<PreparedPage> pages;
    std::vector<int> rows;
    std::vector<QFont> fonts;
    PreparedPage* current = nullptr; // the page being drawn (drawing pass only)
    double y = 0;
    int page = 0; // 1-based number of the page being laid out, 0 before the first
    double bottom() const
    {
        const Band* footer = layout.band(BandKind::PageFooter);
        return layout.pageHeight() - layout.marginBottom() - (footer ? footer->height : 0);
    }
};

QString ReportEngine::textOf(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        return QLocale().toString(value.toDate(), QLocale::ShortFormat);
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return QLocale().toString(dt.date(), QLocale::ShortFormat);
        return QLocale().toString(dt, QLocale::ShortFormat);
    }
    case QMetaType::Double: {
        const double d = value.toDouble();
        return d == qint64(d) ? QString::number(qint64(d)) : QString::number(d, 'f', 2);
    }
    default:
        return value.toString();
    }
}

QString ReportEngine::expand(Pass& pass, const QString& text) const
{
    static const QRegularExpression variable(QStringLiteral("\\[([^\\[\\]]+)\\]"));
    QString out;
    qsizetype last = 0;
    for (auto it = variable.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString name = m.captured(1).trimmed();
        std::optional<QVariant> v;
        if (!pass.data.eof())
            v = pass.data.value(name);
        if (!v && pass.values)
            v = pass.values(name);
        if (!v && name == QLatin1String("PAGE#"))
            v = pass.page;
        if (!v && name == QLatin1String("TOTALPAGES"))
            v = pass.totalPages;
        if (v)
            out += textOf(*v);
    }
    out += QStringView(text).mid(last);
    return out;
}

namespace {

std::uint8_t fontIndex(std::vector<QFont>& fonts, const QFont& f)
{
    for (std::size_t i = 0; i < fonts.size(); ++i)
        if (fonts[i] == f)
            return std::uint8_t(i);
    if (fonts.size() >= 255)
        return 0; // more than a template can name: the first font stands in
    fonts.push_back(f);
    return std::uint8_t(fonts.size() - 1);
}

PageItem line(QPointF a, QPointF b, double width)
{
    PageItem l;
    l.kind = PageItem::Kind::Line;
    l.x1 = float(a.x());
    l.y1 = float(a.y());
    l.x2 = float(b.x());
    l.y2 = float(b.y());
    l.width = float(width);
    return l;
}

PageItem box(PageItem::Kind kind, const QRectF& r)
{
    PageItem b;
    b.kind = kind;
    b.x1 = float(r.left());
    b.y1 = float(r.top());
    b.x2 = float(r.right());
    b.y2 = float(r.bottom());
    return b;
}

} // namespace

void ReportEngine::drawBand(Pass& pass, const Band& band, double top)
{
    if (!pass.current)
        return;
    std::vector<PageItem>& items = pass.current->items;
    const double left = pass.layout.marginLeft();
    for (const TextObject& t : band.texts) {
        const QRectF r(left + t.x, top + t.y, t.w, t.h);
        if (t.fill.isValid()) {
            PageItem fill = box(PageItem::Kind::Fill, r);
            fill.color = t.fill.rgba();
            items.push_back(std::move(fill));
        }
        QFont f(pass.layout.fontFamily());
        f.setPixelSize(std::max(1, qRound(t.size))); // one unit is one point
        f.setBold(t.bold);
        f.setItalic(t.italic);
        PageItem text = box(PageItem::Kind::Text, r.adjusted(1.5, 0, -1.5, 0));
        text.font = fontIndex(pass.fonts, f);
        text.flags = int(t.align) | (t.wrap ? Qt::TextWordWrap : 0);
        text.text = expand(pass, t.text);
        items.push_back(std::move(text));
        if (!t.frame.isEmpty()) {
            const bool all = t.frame == QLatin1String("all");
            if (all || t.frame.contains(u'l'))
                items.push_back(line(r.topLeft(), r.bottomLeft(), 0.5));
            if (all || t.frame.contains(u't'))
                items.push_back(line(r.topLeft(), r.topRight(), 0.5));
            if (all || t.frame.contains(u'r'))
                items.push_back(line(r.topRight(), r.bottomRight(), 0.5));
            if (all || t.frame.contains(u'b'))
                items.push_back(line(r.bottomLeft(), r.bottomRight(), 0.5));
        }
    }
    for (const LineObject& l : band.lines)
        items.push_back(
            line(QPointF(left + l.x1, top + l.y1), QPointF(left + l.x2, top + l.y2), l.width));
}

void ReportEngine::newPage(Pass& pass)
{
    ++pass.page;
    pass.rows.push_back(0);
    pass.y = pass.layout.marginTop();
    pass.pages.emplace_back();
    pass.current = pass.draw ? &pass.pages.back() : nullptr;
    renderPageHeader(pass);
    if (pass.page > 1)
        renderColumnHeader(pass);
}

void ReportEngine::endPage(Pass& pass)
{
    renderPageFooter(pass);
    pass.current = nullptr;
}

// Puts a band on the page, starting a new page when it does not fit (a band taller than an
// empty page goes on one page all the same, cut at its foot).
void ReportEngine::place(Pass& pass, const Band* band, void (ReportEngine::*render)(Pass&))
{
    if (!band)
        return;
    const double top = pass.layout.marginTop();
    if (pass.y + band->height > pass.bottom() + 0.01 && pass.y > top + 0.01 + [&] {
            const Band* h = pass.layout.band(BandKind::PageHeader);
            const Band* c = pass.layout.band(BandKind::ColumnHeader);
            return (h ? h->height : 0) + (pass.page > 1 && c ? c->height : 0);
        }()) {
        endPage(pass);
        newPage(pass);
    }
    (this->*render)(pass);
}

void ReportEngine::renderPageHeader(Pass& pass)
{
    if (const Band* b = pass.layout.band(BandKind::PageHeader)) {
        drawBand(pass, *b, pass.y);
        pass.y += b->height;
    }
}

void ReportEngine::renderReportTitle(Pass& pass)
{
    const Band* b = pass.layout.band(BandKind::ReportTitle);
    drawBand(pass, *b, pass.y);
    pass.y += b->height;
}

void ReportEngine::renderColumnHeader(Pass& pass)
{
    if (const Band* b = pass.layout.band(BandKind::ColumnHeader)) {
        drawBand(pass, *b, pass.y);
        pass.y += b->height;
    }
}

void ReportEngine::renderMasterData(Pass& pass)
{
    const Band* b = pass.layout.band(BandKind::MasterData);
    drawBand(pass, *b, pass.y);
    pass.y += b->height;
    ++pass.rows.back();
}

void ReportEngine::renderSummary(Pass& pass)
{
    const Band* b = pass.layout.band(BandKind::Summary);
    drawBand(pass, *b, pass.y);
    pass.y += b->height;
}

void ReportEngine::renderPageFooter(Pass& pass)
{
    if (const Band* b = pass.layout.band(BandKind::PageFooter))
        drawBand(pass, *b, pass.layout.pageHeight() - pass.layout.marginBottom() - b->height);
}

bool ReportEngine::run(Pass& pass)
{
    newPage(pass);
    place(pass, pass.layout.band(BandKind::ReportTitle), &ReportEngine::renderReportTitle);
    // The first page's column header follows the title.
    if (const Band* c = pass.layout.band(BandKind::ColumnHeader))
        place(pass, c, &ReportEngine::renderColumnHeader);
    for (pass.data.first(); !pass.data.eof(); pass.data.next()) {
        place(pass, pass.layout.band(BandKind::MasterData), &ReportEngine::renderMasterData);
        if (m_progress && !m_progress(pass.page, pass.totalPages)) {
            m_cancelled = true;
            m_error = QStringLiteral("cancelled");
            return false;
        }
    }
    place(pass, pass.layout.band(BandKind::Summary), &ReportEngine::renderSummary);
    endPage(pass);
    return true;
}

bool ReportEngine::prepare(const ReportTemplate& layout, ReportDataSource& data,
                           const ValueCallback& values, PreparedReport& out)
{
    m_error.clear();
    m_cancelled = false;
    if (!layout.band(BandKind::MasterData)) {
        m_error = QStringLiteral("the template has no master data band");
        return false;
    }
    // The first pass only counts pages, so that [TOTALPAGES] is known when drawing.
    Pass count{layout, data, values, false, 0, {}, {}, {}, nullptr, 0, 0};
    if (!run(count))
        return false;
    Pass draw{layout, data, values, true, int(count.pages.size()), {}, {}, {}, nullptr, 0, 0};
    if (!run(draw))
        return false;
    out.pageWidth = layout.pageWidth();
    out.pageHeight = layout.pageHeight();
    out.pages = std::move(draw.pages);
    out.fonts = std::move(draw.fonts);
    out.rowsPerPage = std::move(draw.rows);
    return true;
}

void ReportEngine::paintPage(QPainter& painter, const PreparedReport& report, int page,
                             double scale)
{
    if (page < 0 || std::size_t(page) >= report.pages.size())
        return;
    painter.save();
    painter.scale(scale, scale);
    for (const PageItem& item : report.pages[std::size_t(page)].items) {
        const QRectF r(QPointF(item.x1, item.y1), QPointF(item.x2, item.y2));
        switch (item.kind) {
        case PageItem::Kind::Fill:
            painter.fillRect(r, QColor::fromRgba(item.color));
            break;
        case PageItem::Kind::Text:
            if (item.font < report.fonts.size())
                painter.setFont(report.fonts[item.font]);
            painter.setPen(QColor::fromRgba(item.color));
            painter.drawText(r, item.flags, item.text);
            break;
        case PageItem::Kind::Line:
            painter.setPen(QPen(QColor::fromRgba(item.color), item.width));
            painter.drawLine(QPointF(item.x1, item.y1), QPointF(item.x2, item.y2));
            break;
        }
    }
    painter.restore();
}

namespace {

// A page size is named upright; the orientation turns it.
QPageSize portraitSize(const PreparedReport& report)
{
    return QPageSize(QSizeF(std::min(report.pageWidth, report.pageHeight),
                            std::max(report.pageWidth, report.pageHeight)),
                     QPageSize::Point);
}

QPageLayout::Orientation orientation(const PreparedReport& report)
{
    return report.pageWidth > report.pageHeight ? QPageLayout::Landscape : QPageLayout::Portrait;
}

} // namespace

bool ReportEngine::print(const PreparedReport& report, QPrinter& printer)
{
    QString& error = m_error;
    error.clear();
    if (report.empty()) {
        error = QStringLiteral("nothing to print");
        return false;
    }
    printer.setCopyCount(1);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFullPage(true);
    printer.setPageSize(portraitSize(report));
    printer.setPageOrientation(orientation(report));
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
        paintPage(painter, report, int(i), scale);
    }
    return painter.end();
}

bool ReportEngine::writePdf(const PreparedReport& report, const QString& path)
{
    m_error.clear();
    if (report.empty()) {
        m_error = QStringLiteral("nothing to write");
        return false;
    }
    // Written beside an existing file and put in its place only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    if (!writePdf(report, file))
        return false;
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    return true;
}

bool ReportEngine::writePdf(const PreparedReport& report, QIODevice& out)
{
    m_error.clear();
    if (report.empty()) {
        m_error = QStringLiteral("nothing to write");
        return false;
    }
    QPdfWriter pdf(&out);
    pdf.setResolution(72);
    pdf.setPageLayout(QPageLayout(portraitSize(report), orientation(report), QMarginsF(0, 0, 0, 0),
                                  QPageLayout::Point));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        m_error = out.errorString().isEmpty() ? QStringLiteral("cannot write the PDF")
                                              : out.errorString();
        return false;
    }
    for (std::size_t i = 0; i < report.pages.size(); ++i) {
        if (i > 0)
            pdf.newPage();
        paintPage(painter, report, int(i), 1.0);
    }
    if (!painter.end()) {
        m_error = out.errorString().isEmpty() ? QStringLiteral("cannot write the PDF")
                                              : out.errorString();
        return false;
    }
    return true;
}

} // namespace report
