// A plan's rules as the text fields of a price list, and price lists as CSV files.
#include "TariffCsv.h"

#include "CsvText.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace tariff {

namespace {

const char* const Titles[] = {"Префикс",     "Длина",           "Зона",
                              "Цена минуты", "Первый интервал", "Следующий интервал",
                              "Бесплатно",   "Соединение",      "Действует с"};
constexpr int FieldCount = 9;
const QString DateFormat = QStringLiteral("dd.MM.yyyy");

// Seconds from a field; empty gives the default.
bool seconds(const QString& text, int fallback, int& out)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        out = fallback;
        return true;
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(t).hasMatch())
        return false;
    out = t.toInt();
    return true;
}

} // namespace

QStringList ruleTitles()
{
    QStringList t;
    for (const char* title : Titles)
        t << QString::fromUtf8(title);
    return t;
}

QStringList ruleFields(const Rule& r)
{
    return {r.prefix,
            r.lengthText(),
            r.zone,
            priceText(r.minutePrice),
            QString::number(r.firstInterval),
            QString::number(r.nextInterval),
            QString::number(r.freeSeconds),
            priceText(r.connectionFee),
            r.validFrom.isValid() ? r.validFrom.toString(DateFormat) : QString()};
}

bool ruleFromFields(const QStringList& in, Rule& rule, QString& error)
{
    QStringList f = in;
    while (f.size() < FieldCount)
        f << QString();
    const QStringList titles = ruleTitles();
    // The reason with the value refused, quoted: "Цена минуты: «abc» — сумма в рублях…".
    auto refuse = [&](int field, const QString& why) {
        const QString value = f[field].trimmed();
        error = titles[field] + QStringLiteral(": ") +
                (value.isEmpty() ? why : QStringLiteral("«%1» — %2").arg(value, why));
        return false;
    };
    for (int i = FieldCount; i < f.size(); ++i)
        if (!f[i].trimmed().isEmpty()) {
            error = QStringLiteral("лишнее поле «%1» после «Действует с»").arg(f[i].trimmed());
            return false;
        }
    Rule r;
    r.prefix = f[0].trimmed();
    r.prefix.remove(u' ');
    if (r.prefix.startsWith(u'+'))
        r.prefix.remove(0, 1); // +7… reaches the log as 7…
    static const QRegularExpression digits(QStringLiteral("^[0-9]{0,20}$"));
    if (!digits.match(r.prefix).hasMatch())
        return refuse(0, QStringLiteral("только цифры, не больше 20"));
    if (!r.setLengthText(f[1]))
        return refuse(1, QStringLiteral("число цифр номера (например 7) или диапазон (10-11)"));
    r.zone = f[2].trimmed();
    if (r.zone.isEmpty())
        return refuse(2, QStringLiteral("не указана"));
    if (f[3].trimmed().isEmpty())
        return refuse(3, QStringLiteral("не указана"));
    const std::optional<qint64> price = parsePrice(f[3]);
    if (!price)
        return refuse(
            3, QStringLiteral("сумма в рублях, например 1,50 (не больше 4 знаков после запятой)"));
    r.minutePrice = *price;
    if (!seconds(f[4], 60, r.firstInterval))
        return refuse(4, QStringLiteral("целое число секунд"));
    if (!seconds(f[5], 60, r.nextInterval))
        return refuse(5, QStringLiteral("целое число секунд"));
    if (!seconds(f[6], 0, r.freeSeconds))
        return refuse(6, QStringLiteral("целое число секунд"));
    if (!f[7].trimmed().isEmpty()) {
        const std::optional<qint64> fee = parsePrice(f[7]);
        if (!fee)
            return refuse(7, QStringLiteral("сумма в рублях, например 0,50"));
        r.connectionFee = *fee;
    }
    if (!f[8].trimmed().isEmpty()) {
        static const QRegularExpression form(QStringLiteral("^[0-9]{2}\\.[0-9]{2}\\.[0-9]{4}$"));
        r.validFrom = QDate::fromString(f[8].trimmed(), DateFormat);
        if (!r.validFrom.isValid())
            return refuse(8, form.match(f[8].trimmed()).hasMatch()
                                 ? QStringLiteral("такого дня нет в календаре")
                                 : QStringLiteral("дата в виде ДД.ММ.ГГГГ или пусто"));
    }
    if (const QString problem = r.problem(); !problem.isEmpty()) {
        error = problem;
        return false;
    }
    r.id = rule.id;
    rule = r;
    return true;
}

CsvImport readCsv(const QByteArray& data)
{
    CsvImport result;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError()) {
        result.error = QStringLiteral("Файл не в кодировке UTF-8 (возможно, он сохранен в "
                                      "Windows-1251). Сохраните его как «CSV UTF-8» и повторите.");
        return result;
    }
    QString body = text;
    if (body.startsWith(QChar(0xFEFF)))
        body.remove(0, 1);
    const csv::Rows rows = csv::split(body, u';');
    bool titleSeen = false;
    const QStringList titles = ruleTitles();
    for (std::size_t row = 0; row < rows.rows.size(); ++row) {
        const int lineNumber = rows.lines[row];
        QStringList fields = rows.rows[row];
        for (QString& f : fields)
            f = f.trimmed(); // a quoted field too
        if (!titleSeen) {
            titleSeen = true;
            if (fields.mid(0, FieldCount) != titles) {
                result.error =
                    QStringLiteral("Первая строка файла должна быть строкой заголовков:\n") +
                    titles.join(u';');
                return result;
            }
            continue;
        }
        if (fields.size() < FieldCount) {
            // A line cut short: what its missing fields would have held is not known.
            QStringList missing;
            for (int f = int(fields.size()); f < FieldCount; ++f)
                missing << u'«' + titles[f] + u'»';
            result.refused.emplace_back(
                lineNumber, QStringLiteral("полей %1 из %2, нет %3 (пустое значение пишется пустым "
                                           "полем между «;»)")
                                .arg(fields.size())
                                .arg(FieldCount)
                                .arg(missing.join(QStringLiteral(", "))));
            continue;
        }
        Rule r;
        QString why;
        if (ruleFromFields(fields, r, why))
            result.rules.push_back(r);
        else
            result.refused.emplace_back(lineNumber, why);
    }
    if (!titleSeen)
        result.error = QStringLiteral("Файл пуст.");
    return result;
}

QByteArray writeCsv(const std::vector<Rule>& rules)
{
    QString out = ruleTitles().join(u';') + QStringLiteral("\r\n");
    for (const Rule& r : rules) {
        QStringList fields = ruleFields(r);
        for (QString& f : fields)
            if (f.contains(u';') || f.contains(u'"'))
                f = u'"' + QString(f).replace(QLatin1String("\""), QLatin1String("\"\"")) + u'"';
        out += fields.join(u';') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

} // namespace tariff
