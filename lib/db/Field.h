// One column of a data set's current row.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>

namespace db {

class StringPool;

enum class FieldType
{
    Integer,
    BigInt,
    Double,
    Text,
    Date,
    Time,
    DateTime
};

/// Where a data set's fields read the current row from.
struct RowContext
{
    std::uint8_t* row = nullptr; // null when there is no current row
    StringPool* pool = nullptr;
};

/// A field of a data set: reads its value from the data set's current row. Data fields come
/// from the statement; calculated fields are filled by the data set's calculation hook while a
/// row is fetched (their setters may be used only then). Owned by its data set; valid until
/// the data set's next open with another field list.
class Field
{
public:
    using DisplayTextHook = std::function<QString(const Field&)>;
    /// The current row's value of an exact decimal in units of its last place.
    using DecimalHook = std::function<std::optional<qint64>(const Field&)>;

    Field(QString name, FieldType type, bool calculated, int size, RowContext* context);

    const QString& name() const { return m_name; }
    FieldType type() const { return m_type; }
    bool isCalculated() const { return m_calculated; }
    bool isNumeric() const;
    /// Characters of a text field (0 when unknown).
    int size() const { return m_size; }

    QString displayLabel() const { return m_label.isEmpty() ? m_name : m_label; }
    void setDisplayLabel(const QString& label) { m_label = label; }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }

    bool isNull() const;
    qint32 asInteger() const;
    qint64 asInt64() const;
    double asDouble() const;
    QString asString() const;
    QDate asDate() const;
    QTime asTime() const;
    QDateTime asDateTime() const;
    QVariant value() const;

    /// The text shown for the value: the hook's text when one is set, else a plain form.
    QString displayText() const;
    /// The text without the hook (for hooks that decorate it).
    QString plainText() const;
    void setDisplayTextHook(DisplayTextHook hook) { m_hook = std::move(hook); }
    /// The longer explanation a view shows on hovering: the hook's text when one is set, else
    /// the display text.
    QString toolTipText() const { return m_tipHook ? m_tipHook(*this) : displayText(); }
    void setToolTipHook(DisplayTextHook hook) { m_tipHook = std::move(hook); }
    /// Makes the field an exact decimal number with `places` digits after the decimal sign (a
    /// sum of money: 2), whose value for the current row the hook gives in units of the last
    /// place (nullopt: none). Views and files then treat it as such a number, though its
    /// storage may be of another type or none; the display text is still the display hook's.
    void setDecimal(int places, DecimalHook hook);
    /// Digits after the decimal sign of an exact decimal field; nullopt for other fields.
    std::optional<int> decimalPlaces() const;
    /// The current row's value of an exact decimal field in units of its last place; nullopt
    /// for other fields and when the row has none.
    std::optional<qint64> decimalUnits() const;
    /// Makes the field a span of time whose length in seconds for the current row the hook
    /// gives (nullopt: none). Views still show the display text; files that keep numbers write
    /// it as a time span.
    void setTimeSpan(DecimalHook seconds) { m_spanHook = std::move(seconds); }
    bool isTimeSpan() const { return bool(m_spanHook); }
    /// The current row's span in seconds; nullopt for other fields and when the row has none.
    std::optional<qint64> spanSeconds() const
    {
        return m_spanHook ? m_spanHook(*this) : std::nullopt;
    }
    /// A time of day in the user's regional format, with seconds.
    static QString timeText(const QTime& time);

    void setInteger(qint64 v);
    void setDouble(double v);
    void setString(const QString& v);
    void setDate(const QDate& v);
    void setTime(const QTime& v);
    void setDateTime(const QDateTime& v);
    void clear();

    // Storage layout, set by the data set that owns the field.
    void setStorage(std::uint32_t offset, std::uint32_t nullBit, bool stored = true)
    {
        m_offset = offset;
        m_nullBit = nullBit;
        m_stored = stored;
    }
    /// False for a calculated field that takes no room in a row (always null).
    bool stored() const { return m_stored; }
    std::uint32_t offset() const { return m_offset; }
    std::uint32_t nullBit() const { return m_nullBit; }
    /// Bytes the field takes in a row.
    static std::uint32_t slotSize(FieldType type);

private:
    template <class T> T raw() const;
    template <class T> void store(T v);

    QString m_name;
    FieldType m_type;
    bool m_calculated;
    int m_size;
    RowContext* m_context;
    QString m_label;
    bool m_visible = true;
    DisplayTextHook m_hook;
    DisplayTextHook m_tipHook;
    int m_decimalPlaces = -1; // not an exact decimal
    DecimalHook m_decimalHook;
    DecimalHook m_spanHook;
    std::uint32_t m_offset = 0;
    std::uint32_t m_nullBit = 0;
    bool m_stored = true;
};

} // namespace db
