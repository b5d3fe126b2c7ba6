// The operator's detailed bill: reading it (CSV or XLSX), its columns, and its calls compared
// with the outgoing calls of the log, call by call.
#include "Bill.h"

#include "CsvText.h"

#include "Tariffs.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <unzip.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace bill {

int Table::columnCount() const
{
    qsizetype n = 0;
    for (const QStringList& row : rows)
        n = std::max(n, row.size());
    return int(n);
}

// ---- CSV ----------------------------------------------------------------------------------

namespace {

// How many times each candidate divides the first lines outside quotes: the one whose count is
// the same on most lines wins, then the one that divides into more fields.
QChar detectDelimiter(const QString& text)
{
    const QChar candidates[] = {u'\t', u';', u','};
    std::vector<std::array<int, 3>> counts;
    std::array<int, 3> current{};
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size() && counts.size() < 40; ++i) {
        const QChar c = text[i];
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u'\n' || c == u'\r')) {
            if (any)
                counts.push_back(current);
            current = {};
            any = false;
        } else if (!quoted) {
            any = any || !c.isSpace();
            for (int k = 0; k < 3; ++k)
                if (c == candidates[k])
                    ++current[std::size_t(k)];
        }
    }
    if (any)
        counts.push_back(current);
    int best = 1;
    std::pair<int, int> bestScore{-1, -1};
    for (int k = 0; k < 3; ++k) {
        QHash<int, int> often;
        for (const auto& line : counts)
            ++often[line[std::size_t(k)]];
        int mode = 0;
        int modeLines = 0;
        for (auto it = often.cbegin(); it != often.cend(); ++it)
            if (it.key() > 0 &&
                (it.value() > modeLines || (it.value() == modeLines && it.key() > mode))) {
                mode = it.key();
                modeLines = it.value();
            }
        const std::pair<int, int> score{modeLines, mode};
        if (score > bestScore) {
            bestScore = score;
            best = k;
        }
    }
    return candidates[best];
}

} // namespace

Table readCsv(const QByteArray& data)
{
    Table table;
    QString text;
    QString encoding;
    if (data.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(data.mid(3));
        encoding = QStringLiteral("UTF-8");
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(data);
        encoding = QStringLiteral("UTF-8");
        if (utf8.hasError()) {
            QStringDecoder cp1251("windows-1251");
            text = cp1251(data);
            encoding = QStringLiteral("Windows-1251");
        }
    }
    if (text.contains(QChar(0))) {
        table.error = QStringLiteral("Файл не похож на текст CSV (в нём есть двоичные данные).");
        return table;
    }
    const QChar delimiter = detectDelimiter(text);
    table.format =
        QStringLiteral("CSV, %1, разделитель «%2»")
            .arg(encoding, delimiter == u'\t' ? QStringLiteral("табуляция") : QString(delimiter));
    csv::Rows rows = csv::split(text, delimiter);
    table.rows = std::move(rows.rows);
    table.lines = std::move(rows.lines);
    if (table.rows.empty())
        table.error = QStringLiteral("Файл пуст: в нём нет ни одной строки.");
    return table;
}

// ---- XLSX ---------------------------------------------------------------------------------

namespace {

constexpr uLong MaxEntry = 256u * 1024u * 1024u;

struct ZipCloser
{
    void operator()(void* zip) const { unzClose(zip); }
};

std::optional<QByteArray> zipEntry(unzFile zip, const QString& name)
{
    if (unzLocateFile(zip, name.toUtf8().constData(), 1) != UNZ_OK)
        return std::nullopt;
    unz_file_info info;
    if (unzGetCurrentFileInfo(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.uncompressed_size > MaxEntry || unzOpenCurrentFile(zip) != UNZ_OK)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(qsizetype(info.uncompressed_size));
    char buffer[65536];
    int got = 0;
    while ((got = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, got);
        if (uLong(bytes.size()) > MaxEntry)
            break;
    }
    const bool whole = got == 0 && unzCloseCurrentFile(zip) == UNZ_OK;
    if (!whole)
        return std::nullopt;
    return bytes;
}

enum class NumberStyle
{
    Plain,
    Date,
    Time,
    DateTime
};

NumberStyle styleOfCode(const QString& code)
{
    QString bare;
    bool quoted = false;
    for (const QChar c : code) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted)
            bare.append(c.toLower());
    }
    // [Red], [$-419] and the like say nothing of dates; [h] and [mm] are elapsed time.
    static const QString keep = QStringLiteral("hms");
    QString plain;
    for (qsizetype i = 0; i < bare.size(); ++i) {
        if (bare[i] == u'[') {
            const qsizetype end = bare.indexOf(u']', i);
            const QString inside = bare.mid(i + 1, end < 0 ? -1 : end - i - 1);
            if (!inside.isEmpty() && keep.contains(inside[0]))
                plain.append(inside);
            if (end < 0)
                break;
            i = end;
        } else
            plain.append(bare[i]);
    }
    if (plain == QStringLiteral("general"))
        return NumberStyle::Plain;
    const bool date = plain.contains(u'd') || plain.contains(u'y');
    const bool time = plain.contains(u'h') || plain.contains(u's');
    if (date && time)
        return NumberStyle::DateTime;
    if (date)
        return NumberStyle::Date;
    if (time)
        return NumberStyle::Time;
    return NumberStyle::Plain;
}

NumberStyle builtinStyle(int id)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || (id >= 50 && id <= 58))
        return NumberStyle::Date;
    if (id == 22)
        return NumberStyle::DateTime;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47))
        return NumberStyle::Time;
    return NumberStyle::Plain;
}

std::vector<NumberStyle> cellStyles(const QByteArray& xml)
{
    QHash<int, NumberStyle> custom;
    std::vector<NumberStyle> styles;
    QXmlStreamReader r(xml);
    bool inCellXfs = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto name = r.name();
            if (name == u"numFmt")
                custom.insert(
                    r.attributes().value(QLatin1StringView("numFmtId")).toInt(),
                    styleOfCode(r.attributes().value(QLatin1StringView("formatCode")).toString()));
            else if (name == u"cellXfs")
                inCellXfs = true;
            else if (name == u"xf" && inCellXfs) {
                const int id = r.attributes().value(QLatin1StringView("numFmtId")).toInt();
                styles.push_back(custom.contains(id) ? custom.value(id) : builtinStyle(id));
            }
        } else if (r.isEndElement() && r.name() == u"cellXfs")
            inCellXfs = false;
    }
    return styles;
}

// The text of every <t> within the current element, which ends the reading of it.
QString innerText(QXmlStreamReader& r)
{
    QString text;
    int depth = 1;
    bool phonetic = false;
    while (depth > 0 && !r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            ++depth;
            if (r.name() == u"rPh")
                phonetic = true;
            else if (r.name() == u"t" && !phonetic) {
                text += r.readElementText();
                --depth;
            }
        } else if (r.isEndElement()) {
            --depth;
            if (r.name() == u"rPh")
                phonetic = false;
        }
    }
    return text;
}

QStringList sharedStrings(const QByteArray& xml)
{
    QStringList strings;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == u"si")
            strings.append(innerText(r));
    }
    return strings;
}

QString twoDigits(qint64 n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString numberText(const QString& raw, NumberStyle style)
{
    bool ok = false;
    const double v = raw.toDouble(&ok);
    if (!ok)
        return raw;
    if (style == NumberStyle::Plain) {
        if (!raw.contains(u'E') && !raw.contains(u'e'))
            return raw;
        return v == std::floor(v) && std::fabs(v) < 1e17 ? QString::number(qint64(v))
                                                         : QString::number(v, 'g', 15);
    }
    if (!std::isfinite(v) || v < 0 || v > 2958465.0)
        return raw;
    qint64 total = qint64(std::llround(v * 86400.0));
    if (style == NumberStyle::Time)
        return QString::number(total / 3600) + u':' + twoDigits(total / 60 % 60) + u':' +
               twoDigits(total % 60);
    const QDate day = QDate(1899, 12, 30).addDays(total / 86400);
    const qint64 second = total % 86400;
    QString text = day.toString(QStringLiteral("dd.MM.yyyy"));
    if (style == NumberStyle::DateTime)
        text += u' ' + twoDigits(second / 3600) + u':' + twoDigits(second / 60 % 60) + u':' +
                twoDigits(second % 60);
    return text;
}

int columnOf(QStringView reference)
{
    int column = 0;
    int letters = 0;
    for (const QChar c : reference) {
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c.unicode() - u'A' + 1);
        ++letters;
    }
    return letters == 0 || letters > 3 ? -1 : column - 1;
}

QString firstSheet(unzFile zip)
{
    const QString fallback = QStringLiteral("xl/worksheets/sheet1.xml");
    const auto workbook = zipEntry(zip, QStringLiteral("xl/workbook.xml"));
    const auto rels = zipEntry(zip, QStringLiteral("xl/_rels/workbook.xml.rels"));
    if (!workbook || !rels)
        return fallback;
    QString id;
    {
        QXmlStreamReader r(*workbook);
        while (!r.atEnd() && id.isEmpty()) {
            r.readNext();
            if (r.isStartElement() && r.name() == u"sheet")
                for (const QXmlStreamAttribute& a : r.attributes())
                    if (a.name() == u"id")
                        id = a.value().toString();
        }
    }
    QXmlStreamReader r(*rels);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == u"Relationship" &&
            r.attributes().value(QLatin1StringView("Id")) == id) {
            QString target = r.attributes().value(QLatin1StringView("Target")).toString();
            if (target.startsWith(u'/'))
                return target.mid(1);
            return QStringLiteral("xl/") + target;
        }
    }
    return fallback;
}

} // namespace

Table readXlsx(const QString& path)
{
    Table table;
    table.format = QStringLiteral("XLSX, первый лист");
    std::unique_ptr<void, ZipCloser> zip(unzOpen64(QFile::encodeName(path).constData()));
    if (!zip) {
        table.error = QStringLiteral("Файл не открывается как книга XLSX: %1").arg(path);
        return table;
    }
    const QString sheetName = firstSheet(zip.get());
    const auto sheet = zipEntry(zip.get(), sheetName);
    if (!sheet) {
        table.error =
            QStringLiteral("В книге нет первого листа (%1) или он повреждён.").arg(sheetName);
        return table;
    }
    const QStringList strings = sharedStrings(
        zipEntry(zip.get(), QStringLiteral("xl/sharedStrings.xml")).value_or(QByteArray()));
    const std::vector<NumberStyle> styles =
        cellStyles(zipEntry(zip.get(), QStringLiteral("xl/styles.xml")).value_or(QByteArray()));

    QXmlStreamReader r(*sheet);
    QStringList row;
    int rowNumber = 0;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == u"row") {
            const int number = r.attributes().value(QLatin1StringView("r")).toInt();
            rowNumber = number > 0 ? number : rowNumber + 1;
            row.clear();
        } else if (r.isEndElement() && r.name() == u"row") {
            if (std::any_of(row.cbegin(), row.cend(),
                            [](const QString& f) { return !f.isEmpty(); })) {
                table.rows.push_back(row);
                table.lines.push_back(rowNumber);
            }
        } else if (r.isStartElement() && r.name() == u"c") {
            const QXmlStreamAttributes a = r.attributes();
            int column = columnOf(a.value(QLatin1StringView("r")));
            if (column < 0)
                column = int(row.size());
            if (column > 1000)
                column = 1000;
            const QString type = a.value(QLatin1StringView("t")).toString();
            const int style = a.value(QLatin1StringView("s")).toInt();
            QString value;
            QString inlineText;
            int depth = 1;
            while (depth > 0 && !r.atEnd()) {
                r.readNext();
                if (r.isStartElement()) {
                    if (r.name() == u"v")
                        value = r.readElementText();
                    else if (r.name() == u"is")
                        inlineText = innerText(r);
                    else
                        ++depth;
                } else if (r.isEndElement())
                    --depth;
            }
            QString text;
            if (type == u"s") {
                bool ok = false;
                const int index = value.toInt(&ok);
                text = ok && index >= 0 && index < strings.size() ? strings[index] : QString();
            } else if (type == u"inlineStr")
                text = inlineText;
            else if (type == u"str" || type == u"e" || type == u"b")
                text = value;
            else if (!value.isEmpty())
                text = numberText(value, style >= 0 && std::size_t(style) < styles.size()
                                             ? styles[std::size_t(style)]
                                             : NumberStyle::Plain);
            while (row.size() <= column)
                row.append(QString());
            row[column] = text.trimmed();
        }
    }
    if (r.hasError()) {
        table.error = QStringLiteral("Лист книги повреждён: %1").arg(r.errorString());
        return table;
    }
    if (table.rows.empty())
        table.error = QStringLiteral("Первый лист книги пуст.");
    return table;
}

Table readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Table table;
        table.error = QStringLiteral("Файл не открывается: %1 (%2)").arg(path, file.errorString());
        return table;
    }
    if (file.peek(4) == QByteArray("PK\x03\x04", 4)) {
        file.close();
        return readXlsx(path);
    }
    return readCsv(file.readAll());
}

// ---- columns ------------------------------------------------------------------------------

QString Columns::problem(int columnCount) const
{
    const std::pair<int, QString> chosen[] = {{dateTime, QStringLiteral("дата")},
                                              {time, QStringLiteral("время")},
                                              {number, QStringLiteral("номер")},
                                              {duration, QStringLiteral("длительность")},
                                              {cost, QStringLiteral("стоимость")}};
    if (dateTime < 0)
        return QStringLiteral("Не выбран столбец даты и времени звонка.");
    if (number < 0)
        return QStringLiteral("Не выбран столбец набранного номера.");
    if (duration < 0)
        return QStringLiteral("Не выбран столбец длительности звонка.");
    for (const auto& [column, name] : chosen) {
        if (column >= columnCount)
            return QStringLiteral("Столбца «%1» (%2) в файле нет.").arg(name).arg(column + 1);
        for (const auto& [other, otherName] : chosen)
            if (&other != &column && column >= 0 && column == other)
                return QStringLiteral("Один столбец (%1) выбран и как «%2», и как «%3».")
                    .arg(column + 1)
                    .arg(name, otherName);
    }
    return {};
}

QString Columns::text() const
{
    return QStringLiteral("date=%1;time=%2;number=%3;duration=%4;cost=%5;first=%6")
        .arg(dateTime)
        .arg(time)
        .arg(number)
        .arg(duration)
        .arg(cost)
        .arg(firstRow);
}

std::optional<Columns> Columns::fromText(const QString& text)
{
    Columns c;
    const std::pair<const char*, int*> keys[] = {{"date", &c.dateTime}, {"time", &c.time},
                                                 {"number", &c.number}, {"duration", &c.duration},
                                                 {"cost", &c.cost},     {"first", &c.firstRow}};
    int found = 0;
    for (const QString& part : text.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(u'=');
        bool ok = false;
        const int value = part.mid(eq + 1).toInt(&ok);
        if (eq < 0 || !ok || value < -1 || value > 10000)
            return std::nullopt;
        for (const auto& [name, slot] : keys)
            if (part.left(eq) == QLatin1StringView(name)) {
                *slot = value;
                ++found;
            }
    }
    if (found != 6 || c.firstRow < 0)
        return std::nullopt;
    return c;
}

// ---- numbers --------------------------------------------------------------------------------

namespace {

// `international`: the digits begin with the country code ("+" was written before them).
qint64 keyOfDigits(QString digits, QStringView cityCode, bool international)
{
    if (digits.size() > 11 && digits.startsWith(QLatin1StringView("810"))) {
        digits.remove(0, 3);
        international = true;
    } else if (digits.size() > 4 && digits.startsWith(QLatin1StringView("00"))) {
        digits.remove(0, 2);
        international = true;
    }
    if (international)
        ; // as it is, the country code first
    else if (digits.size() == 11 && (digits[0] == u'8' || digits[0] == u'7'))
        digits[0] = u'7';
    else if (digits.size() == 10)
        digits.prepend(u'7');
    else if (!cityCode.isEmpty() && digits.size() < 10 && digits.size() + cityCode.size() == 10)
        digits = u'7' + cityCode.toString() + digits;
    if (digits.isEmpty() || digits.size() > 17)
        return -1;
    return digits.toLongLong() * 32 + digits.size();
}

} // namespace

qint64 numberKey(QStringView text, QStringView cityCode)
{
    QString digits;
    digits.reserve(text.size());
    bool plus = false;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128)
            digits.append(c);
        else if (c == u'+' && digits.isEmpty())
            plus = true;
        else if (!(c == u' ' || c == u'-' || c == u'(' || c == u')' || c == QChar(0x00A0)))
            return -1;
    }
    return keyOfDigits(std::move(digits), cityCode, plus);
}

qint64 numberKey(qint64 dialled, QStringView cityCode)
{
    if (dialled <= 0)
        return -1;
    return keyOfDigits(QString::number(dialled), cityCode, false);
}

QString keyText(qint64 key)
{
    if (key < 0)
        return {};
    const int length = int(key % 32);
    const QString digits = QStringLiteral("%1").arg(key / 32, length, 10, QLatin1Char('0'));
    return length == 11 && digits.startsWith(u'7') ? u'+' + digits : digits;
}

// ---- times ------------------------------------------------------------------------------

qint64 secondOf(const QDate& date, int secondOfDay)
{
    return date.toJulianDay() * 86400 + secondOfDay;
}

QDate dayOf(qint64 second)
{
    return QDate::fromJulianDay(second / 86400);
}

QString momentText(qint64 second)
{
    const qint64 s = second % 86400;
    return dayOf(second).toString(QStringLiteral("dd.MM.yyyy")) + u' ' + twoDigits(s / 3600) +
           u':' + twoDigits(s / 60 % 60) + u':' + twoDigits(s % 60);
}

namespace {

// Reads digits at pos; their value and count.
bool digitsAt(QStringView text, qsizetype& pos, int& value, int& count)
{
    value = 0;
    count = 0;
    while (pos < text.size() && text[pos].isDigit() && text[pos].unicode() < 128 && count < 5) {
        value = value * 10 + (text[pos].unicode() - u'0');
        ++pos;
        ++count;
    }
    return count > 0 && !(pos < text.size() && text[pos].isDigit());
}

// "H:mm" or "H:mm:ss" from pos to the end (a fraction of a second is let go).
std::optional<int> timeAt(QStringView text, qsizetype pos)
{
    int h = 0, m = 0, s = 0, count = 0;
    if (!digitsAt(text, pos, h, count) || count > 2 || pos >= text.size() || text[pos] != u':')
        return std::nullopt;
    ++pos;
    if (!digitsAt(text, pos, m, count) || count != 2)
        return std::nullopt;
    if (pos < text.size() && text[pos] == u':') {
        ++pos;
        if (!digitsAt(text, pos, s, count) || count != 2)
            return std::nullopt;
        if (pos < text.size() && (text[pos] == u'.' || text[pos] == u',')) {
            int fraction = 0;
            ++pos;
            if (!digitsAt(text, pos, fraction, count))
                return std::nullopt;
        }
    }
    if (pos != text.size() || h > 23 || m > 59 || s > 59)
        return std::nullopt;
    return h * 3600 + m * 60 + s;
}

} // namespace

std::optional<int> parseTimeOfDay(QStringView text)
{
    return timeAt(text.trimmed(), 0);
}

std::optional<qint64> parseMoment(QStringView raw)
{
    const QStringView text = raw.trimmed();
    qsizetype pos = 0;
    int parts[3];
    int counts[3];
    QChar separator;
    for (int i = 0; i < 3; ++i) {
        if (!digitsAt(text, pos, parts[i], counts[i]))
            return std::nullopt;
        if (i < 2) {
            if (pos >= text.size())
                return std::nullopt;
            const QChar c = text[pos];
            if (!(c == u'.' || c == u'/' || c == u'-') || (i == 1 && c != separator))
                return std::nullopt;
            separator = c;
            ++pos;
        }
    }
    int y, m, d;
    if (counts[0] == 4) {
        y = parts[0];
        m = parts[1];
        d = parts[2];
        if (counts[2] > 2)
            return std::nullopt;
    } else {
        if (counts[0] > 2 || !(counts[2] == 2 || counts[2] == 4))
            return std::nullopt;
        d = parts[0];
        m = parts[1];
        y = counts[2] == 2 ? 2000 + parts[2] : parts[2];
    }
    const QDate date(y, m, d);
    if (!date.isValid())
        return std::nullopt;
    if (pos == text.size())
        return secondOf(date, 0);
    if (text[pos] != u' ' && text[pos] != u'T')
        return std::nullopt;
    while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'T'))
        ++pos;
    const std::optional<int> time = timeAt(text, pos);
    if (!time)
        return std::nullopt;
    return secondOf(date, *time);
}

std::optional<int> parseDuration(QStringView raw)
{
    const QStringView text = raw.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const QList<QStringView> parts = text.split(u':');
    if (parts.size() > 3)
        return std::nullopt;
    auto whole = [](QStringView p, int maxDigits) -> std::optional<int> {
        if (p.isEmpty() || p.size() > maxDigits)
            return std::nullopt;
        int v = 0;
        for (const QChar c : p) {
            if (!c.isDigit() || c.unicode() > 127)
                return std::nullopt;
            v = v * 10 + (c.unicode() - u'0');
        }
        return v;
    };
    if (parts.size() == 1) {
        QStringView p = parts[0];
        const qsizetype point = std::max(p.indexOf(u','), p.indexOf(u'.'));
        if (point >= 0) {
            for (const QChar c : p.mid(point + 1))
                if (c != u'0')
                    return std::nullopt;
            p = p.left(point);
        }
        return whole(p, 7);
    }
    std::optional<int> total = whole(parts[0], parts.size() == 2 ? 5 : 4);
    for (qsizetype i = 1; total && i < parts.size(); ++i) {
        const std::optional<int> next = parts[i].size() == 2 ? whole(parts[i], 2) : std::nullopt;
        if (!next || *next > 59)
            return std::nullopt;
        total = *total * 60 + *next;
    }
    return total;
}

// ---- the bill's calls -----------------------------------------------------------------------

namespace {

QString cell(const QStringList& row, int column)
{
    return column >= 0 && column < row.size() ? row[column] : QString();
}

QString quoted(const QString& text)
{
    return QStringLiteral("«%1»").arg(text.size() > 40 ? text.left(40) + u'…' : text);
}

} // namespace

BillCalls readCalls(const Table& table, const Columns& columns, const QString& cityCode)
{
    BillCalls result;
    if (!table.error.isEmpty()) {
        result.error = table.error;
        return result;
    }
    result.error = columns.problem(table.columnCount());
    if (!result.error.isEmpty())
        return result;
    const QString city = cityCode.trimmed();
    result.calls.reserve(table.rows.size());
    for (std::size_t i = std::size_t(columns.firstRow); i < table.rows.size(); ++i) {
        const QStringList& row = table.rows[i];
        const int line = table.lines[i];
        auto refuse = [&](const QString& why) { result.refused.emplace_back(line, why); };
        BillCall call;
        call.line = line;
        const QString when = cell(row, columns.dateTime);
        std::optional<qint64> start = parseMoment(when);
        if (!start) {
            refuse(QStringLiteral("дата %1 не читается").arg(quoted(when)));
            continue;
        }
        if (columns.time >= 0) {
            const QString at = cell(row, columns.time);
            const std::optional<int> time = parseTimeOfDay(at);
            if (!time) {
                refuse(QStringLiteral("время %1 не читается").arg(quoted(at)));
                continue;
            }
            *start = *start - *start % 86400 + *time;
        }
        call.start = *start;
        const QString number = cell(row, columns.number);
        call.number = numberKey(number, city);
        if (call.number < 0) {
            refuse(QStringLiteral("номер %1 не похож на номер телефона").arg(quoted(number)));
            continue;
        }
        const QString length = cell(row, columns.duration);
        const std::optional<int> seconds = parseDuration(length);
        if (!seconds) {
            refuse(QStringLiteral("длительность %1 не читается (нужны секунды, мм:сс или "
                                  "чч:мм:сс)")
                       .arg(quoted(length)));
            continue;
        }
        call.seconds = *seconds;
        if (columns.cost >= 0) {
            QString sum = cell(row, columns.cost);
            if (!sum.isEmpty()) {
                const std::optional<qint64> price = tariff::parsePrice(sum);
                if (!price) {
                    refuse(QStringLiteral("стоимость %1 не читается").arg(quoted(sum)));
                    continue;
                }
                call.cost = (*price + tariff::PriceUnit / 200) / (tariff::PriceUnit / 100);
                result.hasCost = true;
            }
        }
        if (result.calls.empty() || call.start < result.first)
            result.first = call.start;
        if (result.calls.empty() || call.start > result.last)
            result.last = call.start;
        result.calls.push_back(call);
    }
    result.calls.shrink_to_fit();
    if (result.calls.empty()) {
        QStringList reasons;
        for (std::size_t i = 0; i < result.refused.size() && i < 3; ++i)
            reasons.append(QStringLiteral("строка %1: %2")
                               .arg(result.refused[i].first)
                               .arg(result.refused[i].second));
        result.error = reasons.isEmpty()
                           ? QStringLiteral("В файле нет ни одной строки со звонком.")
                           : QStringLiteral("Ни одна строка файла не прочитана — проверьте выбор "
                                            "столбцов. %1.")
                                 .arg(reasons.join(QStringLiteral("; ")));
    }
    return result;
}

// ---- guessing the columns -----------------------------------------------------------------

Columns guessColumns(const Table& table)
{
    Columns c;
    const int columns = table.columnCount();
    const std::size_t rows = std::min<std::size_t>(table.rows.size(), 60);
    std::vector<std::array<int, 6>> score(std::size_t(std::max(columns, 0)));
    enum
    {
        Moment,
        Date,
        Time,
        Number,
        Duration,
        Cost
    };
    std::optional<std::size_t> firstDate;
    for (std::size_t i = 0; i < rows; ++i)
        for (int k = 0; k < table.rows[i].size(); ++k) {
            const QString& t = table.rows[i][k];
            auto& s = score[std::size_t(k)];
            const bool moment = parseMoment(t).has_value();
            if (moment && t.contains(u':'))
                ++s[Moment];
            else if (moment)
                ++s[Date];
            if (moment && !firstDate)
                firstDate = i;
            if (parseTimeOfDay(t))
                ++s[Time];
            const qint64 key = numberKey(t, {});
            if (key >= 0 && key % 32 >= 5 && !t.contains(u':'))
                ++s[Number];
            if (parseDuration(t) && (t.contains(u':') || t.size() <= 6))
                ++s[Duration];
            if (tariff::parsePrice(t) && (t.contains(u',') || t.contains(u'.')))
                ++s[Cost];
        }
    std::vector<bool> taken(std::size_t(std::max(columns, 0)), false);
    auto best = [&](int kind, int minimum) {
        int column = -1;
        for (int k = 0; k < columns; ++k)
            if (!taken[std::size_t(k)] && score[std::size_t(k)][std::size_t(kind)] >= minimum &&
                (column < 0 || score[std::size_t(k)][std::size_t(kind)] >
                                   score[std::size_t(column)][std::size_t(kind)]))
                column = k;
        if (column >= 0)
            taken[std::size_t(column)] = true;
        return column;
    };
    c.dateTime = best(Moment, 1);
    if (c.dateTime < 0) {
        c.dateTime = best(Date, 1);
        c.time = best(Time, 1);
    }
    c.number = best(Number, 1);
    c.duration = best(Duration, 1);
    c.cost = best(Cost, 1);
    c.firstRow = int(firstDate.value_or(0));
    return c;
}

// ---- the comparison -------------------------------------------------------------------------

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::Match:
        return QStringLiteral("совпадает");
    case Kind::Duration:
        return QStringLiteral("длительность");
    case Kind::Cost:
        return QStringLiteral("стоимость");
    case Kind::NotInLog:
        return QStringLiteral("нет в журнале");
    case Kind::NotInBill:
        return QStringLiteral("нет в счёте");
    }
    return {};
}

namespace {

// Pairs the bill's calls [b0, b1) with the log's [l0, l1), all to one number and in time order,
// no two calls farther apart than the tolerance from their neighbours: the most pairs that do
// not cross, then the least distance in all. Pairs found go to `pairs` as (bill, log).
void pairCluster(const std::vector<BillCall>& bill, std::size_t b0, std::size_t b1,
                 const std::vector<LogCall>& log, std::size_t l0, std::size_t l1, int tolerance,
                 std::vector<std::pair<std::size_t, std::size_t>>& pairs)
{
    const std::size_t n = b1 - b0;
    const std::size_t m = l1 - l0;
    if (n == 0 || m == 0)
        return;
    auto distance = [&](std::size_t i, std::size_t j) {
        return std::llabs(bill[b0 + i].start - log[l0 + j].start);
    };
    if (n == 1 && m == 1) {
        if (distance(0, 0) <= tolerance)
            pairs.emplace_back(b0, l0);
        return;
    }
    if (n * m > 4'000'000) {
        // A cluster this large (a number dialled again and again for hours) is paired in order,
        // each bill call with the nearest log call not taken yet.
        std::size_t from = 0;
        for (std::size_t i = 0; i < n; ++i) {
            while (from < m && log[l0 + from].start < bill[b0 + i].start - tolerance)
                ++from;
            std::size_t bestJ = m;
            for (std::size_t j = from; j < m && log[l0 + j].start <= bill[b0 + i].start + tolerance;
                 ++j)
                if (bestJ == m || distance(i, j) < distance(i, bestJ))
                    bestJ = j;
            if (bestJ < m) {
                pairs.emplace_back(b0 + i, l0 + bestJ);
                from = bestJ + 1;
            }
        }
        return;
    }
    struct Score
    {
        qint64 pairs = 0;
        qint64 distance = 0;
        bool operator<(const Score& o) const
        {
            return pairs != o.pairs ? pairs < o.pairs : distance > o.distance;
        }
    };
    // 0: bill call i left alone, 1: log call j left alone, 2: paired.
    std::vector<std::uint8_t> step((n + 1) * (m + 1), 0);
    std::vector<Score> previous(m + 1), current(m + 1);
    for (std::size_t j = 1; j <= m; ++j)
        step[j] = 1;
    for (std::size_t i = 1; i <= n; ++i) {
        current[0] = previous[0];
        step[i * (m + 1)] = 0;
        for (std::size_t j = 1; j <= m; ++j) {
            Score best = previous[j];
            std::uint8_t how = 0;
            if (best < current[j - 1]) {
                best = current[j - 1];
                how = 1;
            }
            const qint64 d = distance(i - 1, j - 1);
            if (d <= tolerance) {
                Score paired{previous[j - 1].pairs + 1, previous[j - 1].distance + d};
                if (best < paired) {
                    best = paired;
                    how = 2;
                }
            }
            current[j] = best;
            step[i * (m + 1) + j] = how;
        }
        std::swap(previous, current);
    }
    for (std::size_t i = n, j = m; i > 0 && j > 0;) {
        const std::uint8_t how = step[i * (m + 1) + j];
        if (how == 2) {
            pairs.emplace_back(b0 + i - 1, l0 + j - 1);
            --i;
            --j;
        } else if (how == 1)
            --j;
        else
            --i;
    }
}

} // namespace

Result compare(std::vector<BillCall> billCalls, std::vector<LogCall> logCalls,
               const Options& options, const tariff::TariffBook* book)
{
    Result result;
    for (BillCall& c : billCalls)
        c.start += qint64(options.clockShift) * 3600;
    const auto outside = std::remove_if(billCalls.begin(), billCalls.end(), [&](const BillCall& c) {
        return c.start < options.from || c.start > options.to;
    });
    result.outside = billCalls.end() - outside;
    billCalls.erase(outside, billCalls.end());
    auto byNumberAndTime = [](const auto& a, const auto& b) {
        return a.number != b.number ? a.number < b.number : a.start < b.start;
    };
    std::sort(billCalls.begin(), billCalls.end(), byNumberAndTime);
    std::sort(logCalls.begin(), logCalls.end(), byNumberAndTime);
    result.bill = std::move(billCalls);
    result.log = std::move(logCalls);
    const std::vector<BillCall>& bill = result.bill;
    const std::vector<LogCall>& log = result.log;
    const int tolerance = std::max(options.startTolerance, 0);

    std::vector<qint32> logPair(log.size(), -1);
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    std::size_t b = 0;
    std::size_t l = 0;
    while (b < bill.size() && l < log.size()) {
        if (bill[b].number < log[l].number) {
            ++b;
            continue;
        }
        if (log[l].number < bill[b].number) {
            ++l;
            continue;
        }
        const qint64 number = bill[b].number;
        std::size_t b1 = b, l1 = l;
        while (b1 < bill.size() && bill[b1].number == number)
            ++b1;
        while (l1 < log.size() && log[l1].number == number)
            ++l1;
        // Clusters: runs of the two sides' calls in time order with no gap beyond the
        // tolerance; no pair can reach across such a gap.
        std::size_t cb = b, cl = l, i = b, j = l;
        qint64 lastTime = 0;
        bool started = false;
        while (i < b1 || j < l1) {
            const bool takeBill = j >= l1 || (i < b1 && bill[i].start <= log[j].start);
            const qint64 t = takeBill ? bill[i].start : log[j].start;
            if (started && t - lastTime > tolerance) {
                pairCluster(bill, cb, i, log, cl, j, tolerance, pairs);
                cb = i;
                cl = j;
            }
            started = true;
            lastTime = t;
            if (takeBill)
                ++i;
            else
                ++j;
        }
        pairCluster(bill, cb, b1, log, cl, l1, tolerance, pairs);
        b = b1;
        l = l1;
    }
    std::vector<qint32> billPair(bill.size(), -1);
    for (const auto& [bi, li] : pairs) {
        billPair[bi] = qint32(li);
        logPair[li] = qint32(bi);
    }

    auto ours = [&](const LogCall& c, Row& row) {
        if (!book)
            return;
        const tariff::Rating rating = book->rate(c.line, dayOf(c.start), c.dialled, c.seconds);
        if (rating.rule >= 0) {
            row.ours = rating.cost;
            row.rule = rating.rule;
        }
    };
    auto count = [&](const Row& row) {
        Totals& t = result.totals[std::size_t(row.kind)];
        ++t.calls;
        if (row.bill >= 0) {
            t.billSeconds += bill[std::size_t(row.bill)].seconds;
            t.billKopecks += std::max<qint64>(bill[std::size_t(row.bill)].cost, 0);
        }
        if (row.log >= 0)
            t.logSeconds += log[std::size_t(row.log)].seconds;
        if (row.ours > 0)
            t.ourKopecks += row.ours;
        if (row.kind != Kind::Match && row.kind != Kind::NotInBill && row.bill >= 0) {
            const qint64 charged = bill[std::size_t(row.bill)].cost;
            const qint64 owed = row.kind == Kind::NotInLog ? 0 : row.ours;
            if (charged > 0 && owed >= 0 && charged > owed)
                result.disputed += charged - owed;
        }
        if (row.kind != Kind::Match)
            result.rows.push_back(row);
    };
    // In the order of number and time, the two sides merged.
    std::size_t i = 0, j = 0;
    while (i < bill.size() || j < log.size()) {
        const bool takeBill =
            j >= log.size() ||
            (i < bill.size() &&
             (bill[i].number < log[j].number ||
              (bill[i].number == log[j].number && bill[i].start <= log[j].start)));
        Row row;
        if (takeBill) {
            row.bill = qint32(i);
            row.log = billPair[i];
            ++i;
            if (row.log < 0) {
                row.kind = Kind::NotInLog;
                count(row);
                continue;
            }
            const BillCall& bc = bill[std::size_t(row.bill)];
            const LogCall& lc = log[std::size_t(row.log)];
            ours(lc, row);
            if (std::abs(bc.seconds - lc.seconds) > options.durationTolerance)
                row.kind = Kind::Duration;
            else if (bc.cost >= 0 && row.ours >= 0 && std::llabs(bc.cost - row.ours) > 1)
                row.kind = Kind::Cost;
            else
                row.kind = Kind::Match;
            count(row);
        } else {
            if (logPair[j] < 0 && log[j].start >= options.from && log[j].start <= options.to) {
                row.log = qint32(j);
                row.kind = Kind::NotInBill;
                ours(log[j], row);
                count(row);
            }
            ++j;
        }
    }
    return result;
}

} // namespace bill
