// Comma-separated values in UTF-8, with the separator a spreadsheet of the user's locale reads.
#pragma once

#include "GridExporter.h"

namespace grid {

/// A byte-order mark, one line of column titles, then one line a row; fields that hold the
/// separator, quotes or line breaks are quoted with their quotes doubled; lines end in CR LF.
class CsvExporter : public GridExporter
{
public:
    QString name() const override { return QStringLiteral("CSV"); }
    QString extension() const override { return QStringLiteral("CSV"); }

    void setSeparator(QChar separator) { m_separator = separator; }
    QChar separator() const { return m_separator; }

    /// One field as it stands in the file.
    static QString field(const QString& text, QChar separator);

protected:
    bool writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                    QString& error) const override;

private:
    QChar m_separator = u';';
};

} // namespace grid
