// An Excel 97-2003 workbook: BIFF8 records in a compound document.
#pragma once

#include "GridExporter.h"

namespace grid {

/// Titles in the first row of each sheet; a sheet holds 65,535 rows of data under them and
/// further rows go on to further sheets. Plain numbers are stored as numbers, exact decimals
/// as numbers with their places shown and digits grouped, everything else as text. The workbook is
/// built in a temporary file first (sheet positions are known only when the sheets are written),
/// then wrapped into the compound document.
class XlsExporter : public GridExporter
{
public:
    QString name() const override { return QStringLiteral("XLS"); }
    QString extension() const override { return QStringLiteral("XLS"); }

    /// Sheets are named this text followed by their number.
    void setSheetName(const QString& base) { m_sheetName = base; }

    static constexpr qint64 RowsPerSheet = 65535;

protected:
    bool writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                    QString& error) const override;

private:
    QString m_sheetName = QStringLiteral("Sheet");
};

} // namespace grid
