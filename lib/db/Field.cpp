#include "Field.h"

#include "DbError.h"
#include "RowStore.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace db {

namespace {
constexpr qint64 MsPerDay = 86400000;
}

Field::Field(QString name, FieldType type, bool calculated, int size, RowContext* context)
    : m_name(std::move(name)), m_type(type), m_calculated(calculated), m_size(size),
      m_context(context)
{
}

std::uint32_t Field::slotSize(FieldType type)
{
    switch (type) {
    case FieldType::BigInt:
    case FieldType::Double:
    case FieldType::DateTime:
        return 8;
    default:
        return 4;
    }
}

bool Field::isNumeric() const
{
    return m_type == FieldType::Integer || m_type == FieldType::BigInt ||
           m_type == FieldType::Double;
}

bool Field::isNull() const
{
    const std::uint8_t* row = m_context->row;
    return !row || (row[m_nullBit / 8] & (1u << (m_nullBit % 8))) == 0;
}

template <class T> T Field::raw() const
{
    T v;
    std::memcpy(&v, m_context->row + m_offset, sizeof v);
    return v;
}

template <class T> void Field::store(T v)
{
    std::uint8_t* row = m_context->row;
    if (!row)
        throw DbError(QStringLiteral("No current row for field %1").arg(m_name));
    if (!m_stored)
        throw DbError(QStringLiteral("Field %1 holds no values").arg(m_name));
    std::memcpy(row + m_offset, &v, sizeof v);
    row[m_nullBit / 8] |= std::uint8_t(1u << (m_nullBit % 8));
}

qint64 Field::asInt64() const
{
    if (isNull())
        return 0;
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::Date:
    case FieldType::Time:
        return raw<qint32>();
    case FieldType::BigInt:
    case FieldType::DateTime:
        return raw<qint64>();
    case FieldType::Double:
        return qint64(std::llround(raw<double>()));
    case FieldType::Text:
        return m_context->pool->text(raw<std::uint32_t>()).trimmed().toLongLong();
    }
    return 0;
}

qint32 Field::asInteger() const
{
    return qint32(asInt64());
}

double Field::asDouble() const
{
    if (isNull())
        return 0;
    switch (m_type) {
    case FieldType::Double:
        return raw<double>();
    case FieldType::Text:
        return m_context->pool->text(raw<std::uint32_t>()).trimmed().toDouble();
    default:
        return double(asInt64());
    }
}

QDate Field::asDate() const
{
    if (isNull())
        return {};
    if (m_type == FieldType::Date)
        return QDate::fromJulianDay(raw<qint32>());
    if (m_type == FieldType::DateTime)
        return QDate::fromJulianDay(raw<qint64>() / MsPerDay);
    return {};
}

QTime Field::asTime() const
{
    if (isNull())
        return {};
    if (m_type == FieldType::Time)
        return QTime::fromMSecsSinceStartOfDay(raw<qint32>());
    if (m_type == FieldType::DateTime)
        return QTime::fromMSecsSinceStartOfDay(int(raw<qint64>() % MsPerDay));
    return {};
}

QDateTime Field::asDateTime() const
{
    if (isNull())
        return {};
    if (m_type == FieldType::Date)
        return QDateTime(asDate(), QTime(0, 0));
    if (m_type == FieldType::DateTime)
        return QDateTime(asDate(), asTime());
    return {};
}

QString Field::asString() const
{
    if (isNull())
        return {};
    if (m_type == FieldType::Text)
        return m_context->pool->text(raw<std::uint32_t>());
    return plainText();
}

QVariant Field::value() const
{
    if (isNull())
        return {};
    switch (m_type) {
    case FieldType::Integer:
        return asInteger();
    case FieldType::BigInt:
        return asInt64();
    case FieldType::Double:
        return asDouble();
    case FieldType::Text:
        return asString();
    case FieldType::Date:
        return asDate();
    case FieldType::Time:
        return asTime();
    case FieldType::DateTime:
        return asDateTime();
    }
    return {};
}

QString Field::plainText() const
{
    if (isNull())
        return {};
    switch (m_type) {
    case FieldType::Integer:
    case FieldType::BigInt:
        return QString::number(asInt64());
    case FieldType::Double: {
        const double v = asDouble();
        // Whole numbers (dialled numbers are kept as doubles) print without an exponent.
        if (std::floor(v) == v && std::fabs(v) < 1e15)
            return QString::number(qint64(v));
        return QString::number(v, 'g', 15);
    }
    case FieldType::Text:
        return m_context->pool->text(raw<std::uint32_t>());
    case FieldType::Date:
        return QLocale().toString(asDate(), QLocale::ShortFormat);
    case FieldType::Time:
        return timeText(asTime());
    case FieldType::DateTime:
        return QLocale().toString(asDateTime(), QLocale::ShortFormat);
    }
    return {};
}

QString Field::timeText(const QTime& time)
{
    // The locale's long time format, without the time zone it may carry.
    static const QString format = [] {
        QString f = QLocale().timeFormat(QLocale::LongFormat);
        f.remove(u't');
        return f.trimmed();
    }();
    return QLocale().toString(time, format);
}

QString Field::displayText() const
{
    return m_hook ? m_hook(*this) : plainText();
}

void Field::setDecimal(int places, DecimalHook hook)
{
    m_decimalPlaces = hook ? std::max(0, places) : -1;
    m_decimalHook = std::move(hook);
}

std::optional<int> Field::decimalPlaces() const
{
    return m_decimalPlaces >= 0 ? std::optional<int>(m_decimalPlaces) : std::nullopt;
}

std::optional<qint64> Field::decimalUnits() const
{
    return m_decimalHook ? m_decimalHook(*this) : std::nullopt;
}

void Field::setInteger(qint64 v)
{
    switch (m_type) {
    case FieldType::Integer:
        store<qint32>(qint32(v));
        break;
    case FieldType::BigInt:
        store<qint64>(v);
        break;
    case FieldType::Double:
        store<double>(double(v));
        break;
    case FieldType::Text:
        setString(QString::number(v));
        break;
    default:
        throw DbError(QStringLiteral("Field %1 does not take an integer").arg(m_name));
    }
}

void Field::setDouble(double v)
{
    if (m_type == FieldType::Double)
        store<double>(v);
    else
        setInteger(qint64(std::llround(v)));
}

void Field::setString(const QString& v)
{
    if (m_type != FieldType::Text)
        throw DbError(QStringLiteral("Field %1 does not take a text").arg(m_name));
    store<std::uint32_t>(m_context->pool->intern(v));
}

void Field::setDate(const QDate& v)
{
    if (!v.isValid())
        return clear();
    if (m_type == FieldType::Date)
        store<qint32>(qint32(v.toJulianDay()));
    else if (m_type == FieldType::DateTime)
        store<qint64>(v.toJulianDay() * MsPerDay);
    else
        throw DbError(QStringLiteral("Field %1 does not take a date").arg(m_name));
}

void Field::setTime(const QTime& v)
{
    if (!v.isValid())
        return clear();
    if (m_type != FieldType::Time)
        throw DbError(QStringLiteral("Field %1 does not take a time").arg(m_name));
    store<qint32>(v.msecsSinceStartOfDay());
}

void Field::setDateTime(const QDateTime& v)
{
    if (!v.isValid())
        return clear();
    if (m_type == FieldType::Date)
        return setDate(v.date());
    if (m_type != FieldType::DateTime)
        throw DbError(QStringLiteral("Field %1 does not take a date and time").arg(m_name));
    store<qint64>(v.date().toJulianDay() * MsPerDay + v.time().msecsSinceStartOfDay());
}

void Field::clear()
{
    if (std::uint8_t* row = m_context->row)
        row[m_nullBit / 8] &= std::uint8_t(~(1u << (m_nullBit % 8)));
}

} // namespace db
