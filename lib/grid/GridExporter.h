// Writers of a grid's table to a file format, chosen by an explicit factory.
#pragma once

#include "GridTable.h"

#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>

namespace grid {

/// Told rows done and rows in all after each row; returning false stops the export.
using ExportProgress = std::function<bool(qint64 done, qint64 total)>;

/// Writes the visible columns with their titles and every row as the grid shows them.
class GridExporter
{
public:
    virtual ~GridExporter() = default;
    virtual QString name() const = 0;
    virtual QString extension() const = 0;
    /// Streams the table to `out`; false with the reason in errorString() when writing fails
    /// or the progress callback stops it.
    bool write(QIODevice& out, const GridTable& table, const ExportProgress& progress = {});
    QString errorString() const { return m_error; }

protected:
    virtual bool writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                            QString& error) const = 0;

private:
    QString m_error;
};

enum class ExportFormat
{
    Rtf,
    Text,
    Html,
    Xls,
    Xlsx,
    Csv
};

/// What the caller names in a file (the spreadsheets' sheets are "<sheetName><number>").
struct ExportOptions
{
    QString sheetName = QStringLiteral("Sheet");
};

std::unique_ptr<GridExporter> makeExporter(ExportFormat format, const ExportOptions& options = {});

} // namespace grid
