// An Office Open XML workbook, streamed row by row with flat memory.
#pragma once

#include "GridExporter.h"

namespace grid {

/// Titles bold in a frozen first row of each sheet, column widths as on screen, plain numbers
/// stored as numbers, exact decimals as numbers with their places shown and digits grouped,
/// and everything else as text. A sheet holds rowsPerSheet() rows of data
/// under its titles and further rows go on to further sheets, the titles repeated. The
/// workbook is written in constant-memory mode into a temporary folder, then copied to the
/// output device.
class XlsxExporter : public GridExporter
{
public:
    QString name() const override { return QStringLiteral("XLSX"); }
    QString extension() const override { return QStringLiteral("XLSX"); }

    /// Sheets are named this text followed by their number.
    void setSheetName(const QString& base) { m_sheetName = base; }

    /// The most a sheet can hold under its title row.
    static constexpr qint64 MaxRowsPerSheet = 1048575;
    qint64 rowsPerSheet() const { return m_rowsPerSheet; }
    /// Fewer rows a sheet (1 to MaxRowsPerSheet), for files meant for older readers.
    void setRowsPerSheet(qint64 rows);

protected:
    bool writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                    QString& error) const override;

private:
    QString m_sheetName = QStringLiteral("Sheet");
    qint64 m_rowsPerSheet = MaxRowsPerSheet;
};

} // namespace grid
