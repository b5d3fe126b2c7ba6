// A complete HTML page (UTF-8, declared) holding the table.
#pragma once

#include "GridExporter.h"

namespace grid {

class HtmlExporter : public GridExporter
{
public:
    QString name() const override { return QStringLiteral("HTML"); }
    QString extension() const override { return QStringLiteral("HTM"); }

protected:
    bool writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                    QString& error) const override;
};

} // namespace grid
