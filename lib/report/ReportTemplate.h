// A report layout: page, fonts and bands of text objects, read from a template file.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <vector>

class QXmlStreamReader;

namespace report {

enum class BandKind
{
    ReportTitle,
    PageHeader,
    ColumnHeader,
    MasterData,
    Summary,
    PageFooter
};

/// A text object; its text names variables in brackets ("Итого: [GetSAllRing]"). Positions
/// and sizes in points, relative to the band.
struct TextObject
{
    double x = 0, y = 0, w = 0, h = 0;
    QString text;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    double size = 9;
    bool bold = false;
    bool italic = false;
    bool wrap = false;
    QString frame; // "", "all", or a set of the letters l, t, r, b
    QColor fill;   // invalid: no fill
};

struct LineObject
{
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    double width = 0.5;
};

struct Band
{
    BandKind kind = BandKind::MasterData;
    double height = 0;
    std::vector<TextObject> texts;
    std::vector<LineObject> lines;
};

/// The file is XML of our own:
///   <report page="A4" orientation="portrait|landscape" margins="l,t,r,b" font="Arial">
///     <band kind="title|pageHeader|columnHeader|masterData|summary|pageFooter" height="mm">
///       <text x="mm" y="mm" w="mm" h="mm" align="left|center|right" size="pt" bold="1"
///             italic="1" wrap="1" frame="all|ltrb" fill="#rrggbb">[Variable] text</text>
///       <line x1="mm" y1="mm" x2="mm" y2="mm" width="pt"/>
///     </band>
///   </report>
/// Lengths are written in millimetres and held in points.
class ReportTemplate
{
public:
    /// Reads a template; false with the reason in errorString() for anything that is not one.
    /// The reason tells where: "report1.frf, line 12: bad size \"nan\"" (the source's name,
    /// when given, the line, what is wrong).
    bool load(const QString& path);
    bool parse(const QByteArray& xml, const QString& source = {});
    const QString& errorString() const { return m_error; }

    double pageWidth() const { return m_pageWidth; }
    double pageHeight() const { return m_pageHeight; }
    double marginLeft() const { return m_margins[0]; }
    double marginTop() const { return m_margins[1]; }
    double marginRight() const { return m_margins[2]; }
    double marginBottom() const { return m_margins[3]; }
    const QString& fontFamily() const { return m_font; }
    /// The band of a kind, or nullptr when the template has none.
    const Band* band(BandKind kind) const;

    static constexpr double PointsPerMm = 72.0 / 25.4;

private:
    /// The parse itself; on failure `line` is the line the reason is about, or 0 for the
    /// reader's current line.
    bool read(QXmlStreamReader& r, qint64& line);

    QString m_error;
    double m_pageWidth = 0;
    double m_pageHeight = 0;
    double m_margins[4] = {};
    QString m_font = QStringLiteral("Arial");
    std::vector<Band> m_bands;
};

} // namespace report
