// Banded report layout: the two passes over the rows, one renderer a band kind.
#include "ReportEngine.h"

#include <QDate>
#include <QFontMetricsF>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <QtMath>

#include <algorithm>
#include <memory>

namespace report {

namespace {

// Stands for [TOTALPAGES] in a text expanded before the pages in all are known (a Unicode
// noncharacter, never in a text shown).
constexpr QChar TotalMark(0xFDD0);

// A text that names [TOTALPAGES], on the page it was drawn on, expanded but for the total.
struct PendingTotal
{
    std::size_t page;
    std::size_t item;    // packed entry on the page
    QString text;        // with TotalMark for the total
    std::uint16_t style; // the object's style, before fitting
    int written;         // the total the item shows; 0: none yet
};

// As many rows as asked for, with no columns: the pages a template takes.
class CountedRows : public ReportDataSource
{
public:
    explicit CountedRows(std::size_t rows) : m_rows(rows) {}
    void first() override { m_row = 0; }
    void next() override { ++m_row; }
    bool eof() const override { return m_row >= m_rows; }
    std::optional<QVariant> value(const QString&) const override { return std::nullopt; }

private:
    std::size_t m_rows;
    std::size_t m_row = 0;
};

} // namespace

struct ReportEngine::Pass
{
    Pass(const ReportTemplate& layout, ReportDataSource& data, const ValueCallback& values,
         bool draw, std::vector<PreparedPage>& pages, std::vector<QFont>& fonts,
         std::shared_ptr<ItemPools> pools)
        : layout(layout), data(data), values(values), draw(draw), pages(pages), fonts(fonts),
          pools(std::move(pools))
    {
    }
    const ReportTemplate& layout;
    ReportDataSource& data;
    const ValueCallback& values;
    bool draw;          // false: the pages are only counted
    int totalPages = 0; // 0 while not known
    std::vector<PreparedPage>& pages;
    std::vector<int> rows;
    std::vector<QFont>& fonts;
    PreparedPage* current = nullptr; // the page being drawn (drawing pass only)
    double y = 0;
    int page = 0; // 1-based number of the page being laid out, 0 before the first
    std::shared_ptr<ItemPools> pools;
    std::vector<PendingTotal> pending;     // every text that names the total, in page order
    QHash<QString, std::uint32_t> textIds; // each distinct text is kept once
    QHash<const void*, std::uint16_t> objectStyles;      // the style of each template object
    QHash<quint64, std::uint16_t> fitted;                // style by (text, object style)
    std::vector<std::unique_ptr<QFontMetricsF>> metrics; // by font index, made when first used
    std::uint16_t style(const ItemStyle& s)
    {
        for (std::size_t i = 0; i < pools->styles.size(); ++i)
            if (pools->styles[i] == s)
                return std::uint16_t(i);
        if (pools->styles.size() >= 65535)
            return 0;
        pools->styles.push_back(s);
        return std::uint16_t(pools->styles.size() - 1);
    }
    std::uint32_t text(const QString& t)
    {
        if (auto it = textIds.constFind(t); it != textIds.constEnd())
            return it.value();
        const std::uint32_t id = pools->add(t);
        textIds.insert(t, id);
        return id;
    }
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
        // Shown to a reader: the decimal sign of the user's locale.
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return d == qint64(d) ? QString::number(qint64(d)) : locale.toString(d, 'f', 2);
    }
    default:
        return value.toString();
    }
}

QString ReportEngine::expand(Pass& pass, const QString& text, bool* total) const
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
        if (!v && name == QLatin1String("TOTALPAGES")) {
            out += TotalMark; // written in by the caller
            *total = true;
            continue;
        }
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

} // namespace

double ReportEngine::fitFactor(const QFont& font, const QString& text, const QSizeF& box, int flags)
{
    if (text.isEmpty() || box.width() <= 0 || box.height() <= 0)
        return 1;
    // Measured at a large size: small sizes are hinted to whole pixels, and the page is drawn
    // at many resolutions.
    constexpr int Big = 16;
    QFont big(font);
    big.setPixelSize(std::max(1, font.pixelSize()) * Big);
    const QFontMetricsF metrics(big);
    const auto fits = [&](double scale) {
        const QSizeF room = box * (Big / scale);
        const QRectF need = metrics.boundingRect(QRectF(QPointF(0, 0), room),
                                                 flags & ~Qt::AlignVertical_Mask, text);
        return need.width() <= room.width() && need.height() <= room.height();
    };
    if (fits(1))
        return 1;
    // The largest scale in steps of 1/64 that fits, less 2/64 for the hinting of the device the
    // page is drawn on.
    int low = 1;
    int high = 63;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (fits(mid / 64.0))
            low = mid;
        else
            high = mid - 1;
    }
    return std::max(1, low - 2) / 64.0;
}

// The style of a cell holding the text `text`: its object's style, or one with a smaller font
// when the text does not fit the cell. Measured once for each text and object.
std::uint16_t ReportEngine::fittedStyle(Pass& pass, std::uint16_t style, std::uint32_t text)
{
    const quint64 key = (quint64(text) << 16) | style;
    if (auto it = pass.fitted.constFind(key); it != pass.fitted.constEnd())
        return it.value();
    ItemStyle s = pass.pools->styles[style];
    const QFont& font = pass.fonts[s.font];
    const QSizeF box(s.w - 2 * ItemStyle::TextInset, s.h);
    const QString value = pass.pools->text(text);
    // Most texts are clearly narrower than their cells: a quick measure at the font's own size
    // (hinted) tells them.
    if (pass.metrics.size() <= s.font)
        pass.metrics.resize(std::size_t(s.font) + 1);
    std::unique_ptr<QFontMetricsF>& metrics = pass.metrics[s.font];
    if (!metrics)
        metrics = std::make_unique<QFontMetricsF>(font);
    const bool plainlyFits = !(s.flags & Qt::TextWordWrap) && !value.contains(u'\n') &&
                             metrics->horizontalAdvance(value) <= box.width() * 0.9 &&
                             metrics->height() <= box.height();
    std::uint16_t result = style;
    if (!plainlyFits) {
        if (const double f = fitFactor(font, value, box, s.flags); f < 1) {
            s.fit = float(f);
            result = pass.style(s);
        }
    }
    pass.fitted.insert(key, result);
    return result;
}

void ReportEngine::drawBand(Pass& pass, const Band& band, double top)
{
    if (!pass.current)
        return;
    PageItems& items = pass.current->items;
    const double left = pass.layout.marginLeft();
    // An item of `kind` at the band's top in the style of the template object, which
    // `makeStyle` makes the first time the pass draws the object.
    const auto itemOf = [&](const void* object, PageItem::Kind kind, const auto& makeStyle) {
        auto known = pass.objectStyles.constFind(object);
        if (known == pass.objectStyles.constEnd())
            known = pass.objectStyles.insert(object, pass.style(makeStyle()));
        PackedItem item;
        item.kind = kind;
        item.top = top;
        item.style = known.value();
        return item;
    };
    for (const TextObject& t : band.texts) {
        PackedItem cell = itemOf(&t, PageItem::Kind::Text, [&] {
            ItemStyle style;
            if (t.fill.isValid()) {
                style.hasFill = true;
                style.fill = t.fill.rgba();
            }
            QFont f(pass.layout.fontFamily());
            f.setPixelSize(std::max(1, qRound(t.size))); // one unit is one point
            f.setBold(t.bold);
            f.setItalic(t.italic);
            style.font = fontIndex(pass.fonts, f);
            style.flags = int(t.align) | (t.wrap ? Qt::TextWordWrap : 0);
            if (!t.frame.isEmpty()) {
                const bool all = t.frame == QLatin1String("all");
                if (all || t.frame.contains(u'l'))
                    style.frame |= ItemStyle::FrameLeft;
                if (all || t.frame.contains(u't'))
                    style.frame |= ItemStyle::FrameTop;
                if (all || t.frame.contains(u'r'))
                    style.frame |= ItemStyle::FrameRight;
                if (all || t.frame.contains(u'b'))
                    style.frame |= ItemStyle::FrameBottom;
                style.width = 0.5f;
            }
            style.x = left + t.x;
            style.y = t.y;
            style.w = t.w;
            style.h = t.h;
            return style;
        });
        bool total = false;
        QString text = expand(pass, t.text, &total);
        if (total) {
            pass.pending.push_back(PendingTotal{pass.pages.size() - 1, items.packed().size(), text,
                                                cell.style, pass.totalPages});
            text.replace(TotalMark,
                         pass.totalPages > 0 ? QString::number(pass.totalPages) : m_unknownTotal);
        }
        cell.text = pass.text(text);
        cell.style = fittedStyle(pass, cell.style, cell.text);
        const ItemStyle& style = pass.pools->styles[cell.style];
        cell.parts = std::uint8_t((style.hasFill ? 2 : 1) + qPopulationCount(style.frame));
        items.append(cell);
    }
    for (const LineObject& l : band.lines) {
        items.append(itemOf(&l, PageItem::Kind::Line, [&] {
            ItemStyle style;
            style.width = float(l.width);
            style.x = left + l.x1;
            style.y = l.y1;
            style.w = left + l.x2;
            style.h = l.y2;
            return style;
        }));
    }
}

// Writes the pages in all into every text that names them and shows another number.
void ReportEngine::writeTotals(Pass& pass, int total)
{
    const QString number = QString::number(total);
    for (PendingTotal& p : pass.pending) {
        if (p.written == total)
            continue;
        PageItems& items = pass.pages[p.page].items;
        PackedItem cell = items.packed()[p.item];
        cell.text = pass.text(QString(p.text).replace(TotalMark, number));
        cell.style = fittedStyle(pass, p.style, cell.text);
        items.replace(p.item, cell);
        p.written = total;
    }
}

void ReportEngine::newPage(Pass& pass)
{
    ++pass.page;
    pass.rows.push_back(0);
    pass.y = pass.layout.marginTop();
    // A page holds about as many items as the one before: room for them at once.
    const std::size_t expected = pass.pages.empty() ? 0 : pass.pages.back().items.packed().size();
    pass.pages.push_back(PreparedPage{PageItems(pass.pools)});
    pass.current = pass.draw ? &pass.pages.back() : nullptr;
    if (pass.current)
        pass.current->items.reserve(expected + expected / 16);
    renderPageHeader(pass);
    if (pass.page > 1)
        renderColumnHeader(pass);
}

void ReportEngine::endPage(Pass& pass)
{
    renderPageFooter(pass);
    if (pass.current)
        pass.current->items.squeeze();
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

void ReportEngine::flowBand(Pass& pass, BandKind kind)
{
    if (const Band* b = pass.layout.band(kind)) {
        drawBand(pass, *b, pass.y);
        pass.y += b->height;
    }
}

void ReportEngine::renderPageHeader(Pass& pass)
{
    flowBand(pass, BandKind::PageHeader);
}

void ReportEngine::renderReportTitle(Pass& pass)
{
    flowBand(pass, BandKind::ReportTitle);
}

void ReportEngine::renderColumnHeader(Pass& pass)
{
    flowBand(pass, BandKind::ColumnHeader);
}

void ReportEngine::renderMasterData(Pass& pass)
{
    flowBand(pass, BandKind::MasterData);
    ++pass.rows.back();
}

void ReportEngine::renderSummary(Pass& pass)
{
    flowBand(pass, BandKind::Summary);
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
        if (!pass.draw || !m_progress)
            continue;
        if (!m_progress(pass.page, pass.totalPages)) {
            m_cancelled = true;
            m_error = QStringLiteral("cancelled");
            return false;
        }
        if (m_expectedRows && pass.totalPages == 0) {
            pass.totalPages = std::max(1, pageCount(pass.layout, *m_expectedRows));
            writeTotals(pass, pass.totalPages);
        }
    }
    place(pass, pass.layout.band(BandKind::Summary), &ReportEngine::renderSummary);
    endPage(pass);
    // Now the pages in all are known for certain.
    pass.totalPages = pass.page;
    writeTotals(pass, pass.totalPages);
    return true;
}

int ReportEngine::pageCount(const ReportTemplate& layout, std::size_t rows)
{
    if (!layout.band(BandKind::MasterData))
        return 0;
    CountedRows source(rows);
    std::vector<PreparedPage> pages;
    std::vector<QFont> fonts;
    const ValueCallback none;
    ReportEngine engine;
    Pass count(layout, source, none, false, pages, fonts, std::make_shared<ItemPools>());
    engine.run(count);
    return count.page;
}

bool ReportEngine::prepare(const ReportTemplate& layout, ReportDataSource& data,
                           const ValueCallback& values, PreparedReport& out,
                           std::optional<std::size_t> rows)
{
    m_error.clear();
    m_cancelled = false;
    m_expectedRows.reset();
    if (!layout.band(BandKind::MasterData)) {
        m_error = QStringLiteral("the template has no master data band");
        return false;
    }
    // The pages are laid out straight into `out`, where they can be shown while later ones
    // are prepared.
    out = PreparedReport{};
    out.pageWidth = layout.pageWidth();
    out.pageHeight = layout.pageHeight();
    auto pools = std::make_shared<ItemPools>();
    out.pools = pools;
    Pass draw(layout, data, values, true, out.pages, out.fonts, pools);
    if (rows)
        draw.totalPages = pageCount(layout, *rows);
    if (!run(draw))
        return false;
    pools->textBytes.shrink_to_fit();
    pools->textStarts.shrink_to_fit();
    out.pages.shrink_to_fit();
    out.rowsPerPage = std::move(draw.rows);
    return true;
}

} // namespace report
