// The rows a report walks, seen by the engine without knowing where they come from.
#pragma once

#include <QString>
#include <QVariant>
#include <optional>

namespace report {

/// A cursor over rows; the engine rewinds it with first() and walks it with next().
class ReportDataSource
{
public:
    virtual ~ReportDataSource() = default;
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    /// The current row's value of a column (name without regard to case), or nothing when the
    /// source has no such column.
    virtual std::optional<QVariant> value(const QString& name) const = 0;
};

} // namespace report
