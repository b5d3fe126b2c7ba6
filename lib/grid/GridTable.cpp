#include "GridTable.h"

#include "DataGrid.h"

#include <QHeaderView>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace grid {

GridTable::GridTable(const DataGrid& grid) : m_grid(&grid)
{
    for (int c : grid.visualColumns())
        if (!grid.horizontalHeader()->isSectionHidden(c) && grid.columnField(c))
            m_columns.push_back(c);
}

GridTable::GridTable(const QTableView& view) : m_view(&view)
{
    const QHeaderView* h = view.horizontalHeader();
    for (int v = 0; v < h->count(); ++v)
        if (!h->isSectionHidden(h->logicalIndex(v)))
            m_columns.push_back(h->logicalIndex(v));
}

qint64 GridTable::rowCount() const
{
    if (m_view)
        return m_view->model() ? m_view->model()->rowCount() : 0;
    const db::Query* q = m_grid->query();
    return q && q->isOpen() ? qint64(q->recordCount()) : 0;
}

QString GridTable::title(int column) const
{
    if (m_view)
        return m_view->model()
            ->headerData(m_columns[std::size_t(column)], Qt::Horizontal)
            .toString();
    return m_grid->columnField(m_columns[std::size_t(column)])->displayLabel();
}

int GridTable::width(int column) const
{
    const QTableView& view = m_view ? *m_view : *m_grid;
    return view.columnWidth(m_columns[std::size_t(column)]);
}

std::optional<int> GridTable::decimals(int column) const
{
    if (m_view) {
        const QAbstractItemModel* model = m_view->model();
        if (model->rowCount() == 0)
            return std::nullopt;
        const QVariant places = model->index(0, m_columns[std::size_t(column)]).data(DecimalsRole);
        return places.isValid() ? std::optional<int>(places.toInt()) : std::nullopt;
    }
    return m_grid->columnField(m_columns[std::size_t(column)])->decimalPlaces();
}

bool GridTable::isTimeSpan(int column) const
{
    return !m_view && m_grid->columnField(m_columns[std::size_t(column)])->isTimeSpan();
}

std::vector<QString> GridTable::rowTexts(qint64 row) const
{
    std::vector<QString> out;
    out.reserve(m_columns.size());
    if (m_view) {
        const QAbstractItemModel* model = m_view->model();
        for (int c : m_columns)
            out.push_back(model->index(int(row), c).data(Qt::DisplayRole).toString());
        return out;
    }
    m_grid->query()->atRow(row, [&] {
        for (int c : m_columns)
            out.push_back(m_grid->columnField(c)->displayText());
    });
    return out;
}

std::vector<QVariant> GridTable::rowValues(qint64 row) const
{
    std::vector<QVariant> out;
    out.reserve(m_columns.size());
    if (m_view) {
        const QAbstractItemModel* model = m_view->model();
        for (int c : m_columns) {
            const QModelIndex index = model->index(int(row), c);
            const QVariant number = index.data(Qt::UserRole);
            bool isNumber = false;
            const double value = number.toDouble(&isNumber);
            if (number.isValid() && number.typeId() != QMetaType::QString && isNumber)
                out.emplace_back(value);
            else
                out.emplace_back(index.data(Qt::DisplayRole).toString());
        }
        return out;
    }
    m_grid->query()->atRow(row, [&] {
        for (int c : m_columns) {
            const db::Field* f = m_grid->columnField(c);
            if (f->isTimeSpan()) {
                const std::optional<qint64> seconds = f->spanSeconds();
                if (seconds)
                    out.emplace_back(double(*seconds) / 86400.0);
                else
                    out.emplace_back(QString());
                continue;
            }
            if (const std::optional<int> places = f->decimalPlaces()) {
                // The file's number is made from the exact value once, here.
                const std::optional<qint64> units = f->decimalUnits();
                if (units)
                    out.emplace_back(double(*units) / std::pow(10.0, *places));
                else
                    out.emplace_back(QString());
                continue;
            }
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
