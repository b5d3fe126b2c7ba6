// One input parameter of a statement.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariant>

namespace db {

/// A parameter value; a null QVariant binds SQL NULL. The server converts the bound value to
/// the parameter's own type.
class Param
{
public:
    explicit Param(QString name = {}) : m_name(std::move(name)) {}

    const QString& name() const { return m_name; }
    const QVariant& value() const { return m_value; }

    void setValue(const QVariant& v) { m_value = v; }
    void setInteger(qint64 v) { m_value = v; }
    void setDouble(double v) { m_value = v; }
    void setString(const QString& v) { m_value = v; }
    void setDate(const QDate& v) { m_value = v; }
    void setTime(const QTime& v) { m_value = v; }
    void setDateTime(const QDateTime& v) { m_value = v; }
    void clear() { m_value = QVariant(); }
    bool isNull() const { return m_value.isNull(); }

private:
    QString m_name;
    QVariant m_value;
};

} // namespace db
