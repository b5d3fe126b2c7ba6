#include "GridTable.h"

#include "DataGrid.h"

#include <QHeaderView>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace grid {

GridTable::GridTable(const DataGrid& grid) : m_grid(grid)
{
    for (int c : grid.visualColumns())
        if (!grid.horizontalHeader()->isSectionHidden(c) && grid.columnField(c))
            m_columns.push_back(c);
}

qint64 GridTable::rowCount() const
{
    const db::Query* q = m_grid.query();
    return q && q->isOpen() ? qint64(q->recordCount()) : 0;
}

QString GridTable::title(int column) const
{
    return m_grid.columnField(m_columns[std::size_t(column)])->displayLabel();
}

int GridTable::width(int column) const
{
    return m_grid.columnWidth(m_columns[std::size_t(column)]);
}

std::vector<QString> GridTable::rowTexts(qint64 row) const
{
    std::vector<QString> out;
    out.reserve(m_columns.size());
    m_grid.query()->atRow(row, [&] {
        for (int c : m_columns)
            out.push_back(m_grid.columnField(c)->displayText());
    });
    return out;
}

std::vector<QVariant> GridTable::rowValues(qint64 row) const
{
    std::vector<QVariant> out;
    out.reserve(m_columns.size());
    m_grid.query()->atRow(row, [&] {
        for (int c : m_columns) {
            const db::Field* f = m_grid.columnField(c);
            const QString shown = f->displayText();
            // A number shown in the user's own form (a decimal comma) is still that number.
            bool same = false;
            if (f->isNumeric() && !f->isNull() && shown != f->plainText()) {
                const double read = QLocale().toDouble(shown, &same);
                const double value = f->asDouble();
                same = same && std::abs(read - value) <= 1e-9 * std::max(1.0, std::abs(value));
            }
            if (f->isNumeric() && !f->isNull() && (same || shown == f->plainText()))
                out.emplace_back(f->asDouble());
            else
                out.emplace_back(shown);
        }
    });
    return out;
}

} // namespace grid
