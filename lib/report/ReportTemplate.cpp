#include "ReportTemplate.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <cmath>

namespace report {

namespace {

// The bounds of what a template may write: nothing on paper is longer than ten metres, no
// letter smaller than a point or larger than 500, no line wider than 100 points.
constexpr double MaxLength = 10000; // millimetres
constexpr double MinFontSize = 1, MaxFontSize = 500;
constexpr double MaxLineWidth = 100;

// A name or value of the file as a reason shows it, cut short when it is long.
QString shortened(QStringView v)
{
    constexpr qsizetype Longest = 40;
    return v.size() > Longest ? v.left(Longest).toString() + QLatin1String("...") : v.toString();
}

QString quoted(QStringView v)
{
    return u'"' + shortened(v) + u'"';
}

// Reads an attribute that may be absent (out keeps its default then). Anything that is not a
// finite number within [min, max] refuses the template, so that no NaN, infinity or absurd
// size reaches the layout and the conversions to integers there.
bool number(const QXmlStreamAttributes& a, const char* name, double& out, double scale, double min,
            double max, QString& error)
{
    const QStringView v = a.value(QLatin1String(name));
    if (v.isEmpty())
        return true;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d) || !(d >= min && d <= max)) {
        error = QStringLiteral("bad %1 %2").arg(QLatin1String(name), quoted(v));
        return false;
    }
    out = d * scale;
    return true;
}

bool length(const QXmlStreamAttributes& a, const char* name, double& out, QString& error)
{
    return number(a, name, out, ReportTemplate::PointsPerMm, 0, MaxLength, error);
}

} // namespace

bool ReportTemplate::load(const QString& path)
{
    QFile f(path);
    const QString name = QFileInfo(path).fileName();
    if (!f.open(QIODevice::ReadOnly)) {
        m_error = name + QLatin1String(": ") + f.errorString();
        return false;
    }
    return parse(f.readAll(), name);
}

const Band* ReportTemplate::band(BandKind kind) const
{
    for (const Band& b : m_bands)
        if (b.kind == kind)
            return &b;
    return nullptr;
}

bool ReportTemplate::parse(const QByteArray& xml, const QString& source)
{
    m_error.clear();
    m_bands.clear();
    QXmlStreamReader r(xml);
    qint64 line = 0;
    if (read(r, line))
        return true;
    // The reason says where: the file, the line of the element at fault (or of the report
    // element for what is wrong with the whole), then what.
    QString where = source;
    if (!where.isEmpty())
        where += QLatin1String(", ");
    where += QStringLiteral("line %1: ").arg(line > 0 ? line : r.lineNumber());
    m_error.prepend(where);
    return false;
}

bool ReportTemplate::read(QXmlStreamReader& r, qint64& line)
{
    const double mm = PointsPerMm;
    if (!r.readNextStartElement() || r.name() != QLatin1String("report")) {
        m_error = QStringLiteral("not a report template");
        return false;
    }
    const qint64 reportLine = r.lineNumber();
    const QXmlStreamAttributes ra = r.attributes();
    const bool landscape = ra.value(QLatin1String("orientation")) == QLatin1String("landscape");
    const QStringView page = ra.value(QLatin1String("page"));
    double w = 210, h = 297;
    if (page == QLatin1String("A5")) {
        w = 148;
        h = 210;
    } else if (!page.isEmpty() && page != QLatin1String("A4")) {
        m_error = QStringLiteral("unknown page size %1").arg(quoted(page));
        return false;
    }
    if (landscape)
        std::swap(w, h);
    m_pageWidth = w * mm;
    m_pageHeight = h * mm;
    const QStringList margins = ra.value(QLatin1String("margins")).toString().split(u',');
    for (int i = 0; i < 4; ++i) {
        double margin = 10.0;
        if (margins.size() == 4) {
            bool ok = false;
            margin = margins[i].trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(margin) || !(margin >= 0 && margin <= MaxLength)) {
                m_error = QStringLiteral("bad margins %1")
                              .arg(quoted(ra.value(QLatin1String("margins"))));
                return false;
            }
        }
        m_margins[i] = margin * mm;
    }
    if (!ra.value(QLatin1String("font")).isEmpty())
        m_font = ra.value(QLatin1String("font")).toString();

    static const std::pair<const char*, BandKind> kinds[] = {
        {"title", BandKind::ReportTitle},         {"pageHeader", BandKind::PageHeader},
        {"columnHeader", BandKind::ColumnHeader}, {"masterData", BandKind::MasterData},
        {"summary", BandKind::Summary},           {"pageFooter", BandKind::PageFooter}};
    while (r.readNextStartElement()) {
        if (r.name() != QLatin1String("band")) {
            m_error = QStringLiteral("unknown element <%1>").arg(shortened(r.name()));
            return false;
        }
        Band band;
        const QStringView kind = r.attributes().value(QLatin1String("kind"));
        bool known = false;
        for (const auto& [name, k] : kinds)
            if (kind == QLatin1String(name)) {
                band.kind = k;
                known = true;
            }
        if (!known) {
            m_error = QStringLiteral("unknown band %1").arg(quoted(kind));
            return false;
        }
        if (!length(r.attributes(), "height", band.height, m_error))
            return false;
        while (r.readNextStartElement()) {
            const QXmlStreamAttributes a = r.attributes();
            if (r.name() == QLatin1String("text")) {
                TextObject t;
                if (!length(a, "x", t.x, m_error) || !length(a, "y", t.y, m_error) ||
                    !length(a, "w", t.w, m_error) || !length(a, "h", t.h, m_error) ||
                    !number(a, "size", t.size, 1, MinFontSize, MaxFontSize, m_error))
                    return false;
                const QStringView align = a.value(QLatin1String("align"));
                const Qt::Alignment horizontal = align == QLatin1String("center") ? Qt::AlignHCenter
                                                 : align == QLatin1String("right") ? Qt::AlignRight
                                                                                   : Qt::AlignLeft;
                t.align = horizontal | Qt::AlignVCenter;
                t.bold = a.value(QLatin1String("bold")) == QLatin1String("1");
                t.italic = a.value(QLatin1String("italic")) == QLatin1String("1");
                t.wrap = a.value(QLatin1String("wrap")) == QLatin1String("1");
                t.frame = a.value(QLatin1String("frame")).toString();
                if (!a.value(QLatin1String("fill")).isEmpty())
                    t.fill = QColor(a.value(QLatin1String("fill")).toString());
                t.text = r.readElementText();
                band.texts.push_back(t);
            } else if (r.name() == QLatin1String("line")) {
                LineObject l;
                if (!length(a, "x1", l.x1, m_error) || !length(a, "y1", l.y1, m_error) ||
                    !length(a, "x2", l.x2, m_error) || !length(a, "y2", l.y2, m_error) ||
                    !number(a, "width", l.width, 1, 0, MaxLineWidth, m_error))
                    return false;
                band.lines.push_back(l);
                r.skipCurrentElement();
            } else {
                m_error = QStringLiteral("unknown element <%1>").arg(shortened(r.name()));
                return false;
            }
        }
        m_bands.push_back(std::move(band));
    }
    if (r.hasError()) {
        m_error = r.errorString();
        return false;
    }
    line = reportLine; // what follows is about the template as a whole
    if (!band(BandKind::MasterData)) {
        m_error = QStringLiteral("no master data band");
        return false;
    }
    if (m_margins[0] + m_margins[2] >= m_pageWidth) {
        m_error = QStringLiteral("the margins leave no room across the page");
        return false;
    }
    const double usable = m_pageHeight - m_margins[1] - m_margins[3];
    double fixed = 0;
    for (const Band& b : m_bands)
        if (b.kind != BandKind::ReportTitle && b.kind != BandKind::Summary)
            fixed += b.height;
    if (fixed >= usable) {
        m_error = QStringLiteral("the bands do not fit on a page");
        return false;
    }
    return true;
}

} // namespace report
