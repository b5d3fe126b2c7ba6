#include "RtfExporter.h"

#include <QStringDecoder>
#include <vector>

namespace grid {

namespace {
// Code page 1251 byte of every character, 0 where the code page has none (built once).
const std::vector<quint8>& cp1251Bytes()
{
    static const std::vector<quint8> table = [] {
        std::vector<quint8> t(0x10000, 0);
        QStringDecoder decoder("windows-1251");
        for (int b = 0x80; b < 0x100; ++b) {
            const char c = char(b);
            const QString s = decoder.decode(QByteArrayView(&c, 1));
            if (s.size() == 1 && s[0] != QChar(0xFFFD))
                t[s[0].unicode()] = quint8(b);
        }
        return t;
    }();
    return table;
}
} // namespace

QByteArray RtfExporter::escape(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\n') {
            out += "\\line ";
        } else if (u < 0x20) {
            out += ' ';
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // The document's code page first (every reader knows it), Unicode for the rest.
            static const char hex[] = "0123456789abcdef";
            if (const quint8 b = cp1251Bytes()[u]) {
                out += "\\'";
                out += hex[b >> 4];
                out += hex[b & 15];
            } else
                out += "\\u" + QByteArray::number(qint16(u)) + '?';
        }
    }
    return out;
}

bool RtfExporter::writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                             QString& error) const
{
    auto put = [&](const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size()) {
            error = out.errorString();
            return false;
        }
        return true;
    };
    // Cell borders and right edges in twips, from the widths on screen.
    QByteArray rowDef = "\\trowd\\trgaph80\\trleft0";
    int edge = 0;
    for (int c = 0; c < table.columnCount(); ++c) {
        edge += std::max(400, table.width(c) * 15);
        rowDef += "\\clbrdrt\\brdrs\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs\\cellx" +
                  QByteArray::number(edge);
    }
    rowDef += '\n';
    const bool landscape = edge > 10000;
    QByteArray head = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\uc1"
                      "{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}\n";
    if (landscape)
        head += "\\paperw16838\\paperh11906\\landscape";
    else
        head += "\\paperw11906\\paperh16838";
    head += "\\margl720\\margr720\\margt720\\margb720\\f0\\fs18\n";
    if (!put(head))
        return false;
    QByteArray titles = rowDef;
    for (int c = 0; c < table.columnCount(); ++c)
        titles += "\\pard\\intbl\\qc\\b " + escape(table.title(c)) + "\\b0\\cell\n";
    titles += "\\row\n";
    if (!put(titles))
        return false;
    const qint64 rows = table.rowCount();
    for (qint64 r = 0; r < rows; ++r) {
        QByteArray line = rowDef;
        for (const QString& s : table.rowTexts(r))
            line += "\\pard\\intbl " + escape(s) + "\\cell\n";
        line += "\\row\n";
        if (!put(line))
            return false;
        if (progress && !progress(r + 1, rows)) {
            error = QStringLiteral("stopped");
            return false;
        }
    }
    return put("\\pard\\par\n}\n");
}

} // namespace grid
