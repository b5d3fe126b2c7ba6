#include "XlsExporter.h"

#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace grid {

namespace {

void put16(QByteArray& b, quint16 v)
{
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}

void put32(QByteArray& b, quint32 v)
{
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}

void putDouble(QByteArray& b, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    char c[8];
    qToLittleEndian(bits, c);
    b.append(c, 8);
}

// Characters as UTF-16LE.
void putChars(QByteArray& b, const QString& s)
{
    for (const QChar ch : s)
        put16(b, ch.unicode());
}

// A string with a 1-byte length (font and sheet names).
QByteArray shortString(const QString& s)
{
    QByteArray b;
    const QString t = s.left(255);
    b.append(char(t.size()));
    b.append(char(1));
    putChars(b, t);
    return b;
}

// A string with a 2-byte length (cell texts); a cell takes at most 255 characters.
QByteArray longString(const QString& s)
{
    QByteArray b;
    const QString t = s.left(255);
    put16(b, quint16(t.size()));
    b.append(char(1));
    putChars(b, t);
    return b;
}

QByteArray record(quint16 type, const QByteArray& data)
{
    QByteArray r;
    put16(r, type);
    put16(r, quint16(data.size()));
    r += data;
    return r;
}

QByteArray bof(quint16 kind)
{
    QByteArray d;
    put16(d, 0x0600);
    put16(d, kind);
    put16(d, 0x0DBB);
    put16(d, 0x07CC);
    put32(d, 0);
    put32(d, 0x06);
    return record(0x0809, d);
}

QByteArray font(bool bold)
{
    QByteArray d;
    put16(d, 200);
    put16(d, 0);
    put16(d, 0x7FFF);
    put16(d, bold ? 700 : 400);
    put16(d, 0);
    d.append(char(0));
    d.append(char(0));
    d.append(char(204)); // Cyrillic
    d.append(char(0));
    d += shortString(QStringLiteral("Arial"));
    return record(0x0031, d);
}

// A cell format of a font and a number format (0: general).
QByteArray xf(quint16 fontIndex, bool style, quint16 formatIndex = 0)
{
    QByteArray d;
    put16(d, fontIndex);
    put16(d, formatIndex);
    put16(d, style ? 0xFFF5 : 0x0001);
    d.append(char(0x20));
    d.append(char(0));
    d.append(char(0));
    // A cell's own attributes over its style's: font, alignment, borders, pattern,
    // protection, and the number format when it has one.
    d.append(char(style ? 0x00 : (formatIndex ? 0xFC : 0xF8)));
    put32(d, 0);
    put32(d, 0);
    put16(d, 0x20C0);
    return record(0x00E0, d);
}

constexpr quint16 TextXf = 15;
constexpr quint16 TitleXf = 16;
// Then one cell format for each number of decimal places the columns have, with number
// formats of their own from the first index the file may define.
constexpr quint16 FirstNumberXf = 17;
constexpr quint16 FirstNumberFormat = 164;

// A number with digits grouped and `places` digits after the decimal sign; the reader shows
// it with the user's own signs.
QString numberFormat(int places)
{
    return places > 0 ? QStringLiteral("#,##0.") + QString(places, u'0') : QStringLiteral("#,##0");
}

// A span of time in days shown as whole hours, minutes and seconds.
const QString TimeSpanFormat = QStringLiteral("[h]:mm:ss");

QByteArray formatRecord(quint16 index, const QString& format)
{
    QByteArray d;
    put16(d, index);
    d += longString(format);
    return record(0x041E, d);
}

class Sink
{
public:
    explicit Sink(QIODevice& d) : m_d(d) {}
    bool put(const QByteArray& b)
    {
        if (!m_ok)
            return false;
        m_ok = m_d.write(b) == b.size();
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    QIODevice& m_d;
    bool m_ok = true;
};

constexpr quint32 FreeSect = 0xFFFFFFFF;
constexpr quint32 EndOfChain = 0xFFFFFFFE;
constexpr quint32 FatSect = 0xFFFFFFFD;
constexpr quint32 DifSect = 0xFFFFFFFC;
constexpr quint32 NoStream = 0xFFFFFFFF;
constexpr qint64 SectorSize = 512;

QByteArray directoryEntry(const QString& name, quint8 type, quint32 child, quint32 start,
                          quint32 size)
{
    QByteArray e;
    if (type == 0) {
        e.fill('\0', 64);
        put16(e, 0);
        e.append(char(0));
        e.append(char(0));
    } else {
        putChars(e, name);
        e.append(QByteArray(64 - e.size(), '\0'));
        put16(e, quint16((name.size() + 1) * 2));
        e.append(char(type));
        e.append(char(1)); // black
    }
    put32(e, NoStream);
    put32(e, NoStream);
    put32(e, type == 0 ? NoStream : child);
    e.append(QByteArray(16 + 4 + 8 + 8, '\0'));
    put32(e, type == 0 ? 0 : start);
    put32(e, type == 0 ? 0 : size);
    put32(e, 0);
    return e;
}

// Wraps the workbook stream into a compound document: header, stream sectors, FAT, DIFAT,
// one directory sector.
bool writeCompoundFile(QIODevice& out, QIODevice& stream, quint32 size, QString& error)
{
    const quint32 w = quint32((size + SectorSize - 1) / SectorSize);
    quint32 f = 1;
    quint32 d = 0;
    for (;;) {
        const quint32 n = w + f + d + 1;
        const quint32 needF = (n + 127) / 128;
        const quint32 needD = needF > 109 ? (needF - 109 + 126) / 127 : 0;
        if (needF == f && needD == d)
            break;
        f = needF;
        d = needD;
    }
    const quint32 fatStart = w;
    const quint32 difStart = w + f;
    const quint32 dirSector = w + f + d;

    QByteArray header;
    header.append("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.append(QByteArray(16, '\0'));
    put16(header, 0x003E);
    put16(header, 0x0003);
    put16(header, 0xFFFE);
    put16(header, 9);
    put16(header, 6);
    header.append(QByteArray(6, '\0'));
    put32(header, 0);
    put32(header, f);
    put32(header, dirSector);
    put32(header, 0);
    put32(header, 0x1000);
    put32(header, EndOfChain);
    put32(header, 0);
    put32(header, d > 0 ? difStart : EndOfChain);
    put32(header, d);
    for (quint32 i = 0; i < 109; ++i)
        put32(header, i < f ? fatStart + i : FreeSect);
    Sink sink(out);
    sink.put(header);

    // The stream itself, padded to whole sectors.
    if (!stream.seek(0)) {
        error = stream.errorString();
        return false;
    }
    qint64 copied = 0;
    while (copied < size) {
        const QByteArray chunk = stream.read(std::min<qint64>(1 << 20, size - copied));
        if (chunk.isEmpty()) {
            error = stream.errorString();
            return false;
        }
        if (!sink.put(chunk))
            break;
        copied += chunk.size();
    }
    sink.put(QByteArray(qint64(w) * SectorSize - size, '\0'));

    QByteArray fat;
    fat.reserve(qsizetype(f) * SectorSize);
    for (quint32 i = 0; i < f * 128; ++i) {
        quint32 v = FreeSect;
        if (i < w)
            v = i + 1 == w ? EndOfChain : i + 1;
        else if (i < w + f)
            v = FatSect;
        else if (i < w + f + d)
            v = DifSect;
        else if (i == dirSector)
            v = EndOfChain;
        put32(fat, v);
        if (fat.size() >= (1 << 20)) {
            sink.put(fat);
            fat.clear();
        }
    }
    sink.put(fat);

    for (quint32 k = 0; k < d; ++k) {
        QByteArray dif;
        for (quint32 j = 0; j < 127; ++j) {
            const quint32 index = 109 + k * 127 + j;
            put32(dif, index < f ? fatStart + index : FreeSect);
        }
        put32(dif, k + 1 < d ? difStart + k + 1 : EndOfChain);
        sink.put(dif);
    }

    QByteArray dir;
    dir += directoryEntry(QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    dir += directoryEntry(QStringLiteral("Workbook"), 2, NoStream, 0, size);
    dir += directoryEntry({}, 0, 0, 0, 0);
    dir += directoryEntry({}, 0, 0, 0, 0);
    sink.put(dir);
    if (!sink.ok()) {
        error = out.errorString();
        return false;
    }
    return true;
}

} // namespace

bool XlsExporter::writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                             QString& error) const
{
    QTemporaryFile tmp;
    if (!tmp.open()) {
        error = tmp.errorString();
        return false;
    }
    Sink sink(tmp);
    const int cols = std::min(table.columnCount(), 256);
    const qint64 rows = table.rowCount();
    const qint64 sheets = std::max<qint64>(1, (rows + RowsPerSheet - 1) / RowsPerSheet);

    sink.put(bof(0x0005));
    {
        QByteArray d;
        put16(d, 1200); // texts are UTF-16
        sink.put(record(0x0042, d));
    }
    {
        QByteArray d;
        for (quint16 v : {0, 0, 0x3000, 0x2000, 0x0038, 0, 0, 1, 0x0258})
            put16(d, v);
        sink.put(record(0x003D, d));
    }
    for (int i = 0; i < 4; ++i)
        sink.put(font(false)); // index 4 is never used by the format
    sink.put(font(true));      // index 5: titles
    // The cell format of each column of exact decimals or spans of time.
    QStringList formats; // distinct, in order of the first column that has them
    std::vector<quint16> columnXf(std::size_t(cols), TextXf);
    for (int c = 0; c < cols; ++c) {
        const std::optional<int> p = table.decimals(c);
        const QString wanted = table.isTimeSpan(c) ? TimeSpanFormat
                               : p                 ? numberFormat(*p)
                                                   : QString();
        if (wanted.isEmpty())
            continue;
        if (!formats.contains(wanted))
            formats << wanted;
        columnXf[std::size_t(c)] = quint16(FirstNumberXf + formats.indexOf(wanted));
    }
    for (qsizetype i = 0; i < formats.size(); ++i)
        sink.put(formatRecord(quint16(FirstNumberFormat + i), formats[i]));
    for (int i = 0; i < 15; ++i)
        sink.put(xf(0, true));
    sink.put(xf(0, false)); // 15: cells
    sink.put(xf(5, false)); // 16: titles
    for (qsizetype i = 0; i < formats.size(); ++i)
        sink.put(xf(0, false, quint16(FirstNumberFormat + i)));
    {
        QByteArray d;
        put16(d, 0x8000);
        d.append(char(0));
        d.append(char(char(0xFF)));
        sink.put(record(0x0293, d));
    }
    std::vector<qint64> positions; // where each sheet's offset is to be written
    for (qint64 s = 0; s < sheets; ++s) {
        positions.push_back(tmp.pos() + 4);
        QByteArray d;
        put32(d, 0);
        d.append(char(0));
        d.append(char(0));
        d += shortString(m_sheetName + QString::number(s + 1));
        sink.put(record(0x0085, d));
    }
    sink.put(record(0x000A, {}));

    std::vector<quint32> offsets;
    qint64 row = 0;
    for (qint64 s = 0; s < sheets && sink.ok(); ++s) {
        offsets.push_back(quint32(tmp.pos()));
        const qint64 count = std::min(RowsPerSheet, rows - row);
        sink.put(bof(0x0010));
        {
            QByteArray d;
            put32(d, 0);
            put32(d, quint32(count + 1));
            put16(d, 0);
            put16(d, quint16(cols));
            put16(d, 0);
            sink.put(record(0x0200, d));
        }
        for (int c = 0; c < cols; ++c) {
            QByteArray d;
            put16(d, quint16(c));
            put16(d, quint16(c));
            put16(d, quint16(std::clamp(table.width(c) * 256 / 7, 512, 65535)));
            put16(d, TextXf);
            put16(d, 0);
            put16(d, 0);
            sink.put(record(0x007D, d));
        }
        {
            QByteArray d;
            put16(d, s == 0 ? 0x06B6 : 0x00B6);
            put16(d, 0);
            put16(d, 0);
            put32(d, 0x40);
            put16(d, 0);
            put16(d, 0);
            put32(d, 0);
            sink.put(record(0x023E, d));
        }
        for (int c = 0; c < cols; ++c) {
            QByteArray d;
            put16(d, 0);
            put16(d, quint16(c));
            put16(d, TitleXf);
            d += longString(table.title(c));
            sink.put(record(0x0204, d));
        }
        for (qint64 i = 0; i < count && sink.ok(); ++i, ++row) {
            const std::vector<QVariant> values = table.rowValues(row);
            QByteArray cells;
            for (int c = 0; c < cols; ++c) {
                const QVariant& v = values[std::size_t(c)];
                QByteArray d;
                put16(d, quint16(i + 1));
                put16(d, quint16(c));
                put16(d, columnXf[std::size_t(c)]);
                if (v.metaType().id() == QMetaType::Double) {
                    putDouble(d, v.toDouble());
                    cells += record(0x0203, d);
                } else {
                    const QString text = v.toString();
                    if (text.isEmpty())
                        continue;
                    d += longString(text);
                    cells += record(0x0204, d);
                }
            }
            sink.put(cells);
            if (progress && !progress(row + 1, rows)) {
                error = QStringLiteral("stopped");
                return false;
            }
        }
        sink.put(record(0x000A, {}));
    }
    if (!sink.ok()) {
        error = tmp.errorString();
        return false;
    }
    // Sheet positions, now that they are known.
    for (std::size_t s = 0; s < offsets.size(); ++s) {
        char c[4];
        qToLittleEndian(offsets[s], c);
        if (!tmp.seek(positions[s]) || tmp.write(c, 4) != 4) {
            error = tmp.errorString();
            return false;
        }
    }
    qint64 size = tmp.size();
    if (size > qint64(0xFFFFFFFFu) - SectorSize) {
        error = QStringLiteral("workbook too large");
        return false;
    }
    // A stream under 4096 bytes would belong in the mini stream: pad it instead.
    if (size < 4096) {
        tmp.seek(size);
        tmp.write(QByteArray(4096 - size, '\0'));
        size = 4096;
    }
    tmp.flush();
    return writeCompoundFile(out, tmp, quint32(size), error);
}

} // namespace grid
