// Tab-separated text in code page 1251, one line a row, titles first.
#pragma once

#include "GridExporter.h"

namespace grid {

class TextExporter : public GridExporter
{
public:
    QString name() const override { return QStringLiteral("Text"); }
    QString extension() const override { return QStringLiteral("TXT"); }

protected:
    bool writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                    QString& error) const override;
};

} // namespace grid
