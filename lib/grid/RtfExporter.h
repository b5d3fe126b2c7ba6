// A rich-text document holding the table as a real RTF table.
#pragma once

#include "GridExporter.h"

namespace grid {

class RtfExporter : public GridExporter
{
public:
    QString name() const override { return QStringLiteral("RTF"); }
    QString extension() const override { return QStringLiteral("RTF"); }
    /// Text escaped for RTF: control characters escaped, letters beyond ASCII as \uN?.
    static QByteArray escape(const QString& text);

protected:
    bool writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                    QString& error) const override;
};

} // namespace grid
