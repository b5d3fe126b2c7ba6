// What an exporter reads of a grid: its visible columns in the user's order and every row.
#pragma once

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

class QTableView;

namespace grid {

class DataGrid;

/// For a table view's model: a column whose cells hold this role gives its numbers (Qt::UserRole)
/// that many digits after the decimal sign, grouped, as the grids' exact decimals do.
constexpr int DecimalsRole = Qt::UserRole + 1;

/// A view of a grid for export, reading the grid's query row by row without copying it.
class GridTable
{
public:
    explicit GridTable(const DataGrid& grid);
    /// A table view over any model: its visible columns with the header's titles and the
    /// cells' display texts; a cell whose Qt::UserRole holds a number gives spreadsheets that
    /// number, shown with the places of its column's DecimalsRole (read in the first row). The
    /// view and its model outlive the object.
    explicit GridTable(const QTableView& view);

    int columnCount() const { return int(m_columns.size()); }
    qint64 rowCount() const;
    QString title(int column) const;
    /// Width of a column on screen, in pixels.
    int width(int column) const;
    /// Digits after the decimal sign of a column of exact decimals (a grid's field made one
    /// with Field::setDecimal, such as a sum of money): formats that keep numbers give its
    /// cells as numbers shown with that many digits. nullopt for other columns.
    std::optional<int> decimals(int column) const;
    /// Whether a column is a span of time (a grid's field made one with Field::setTimeSpan, such
    /// as a call's talk time): formats that keep numbers give its cells as a number of days
    /// shown as hours, minutes and seconds.
    bool isTimeSpan(int column) const;
    /// Every cell of a row as the grid shows it.
    std::vector<QString> rowTexts(qint64 row) const;
    /// Cells of a row that hold plain numbers (shown as they are stored), exact decimals, or
    /// spans of time in days, as doubles; the others as their texts.
    std::vector<QVariant> rowValues(qint64 row) const;

private:
    const DataGrid* m_grid = nullptr; // one of the two
    const QTableView* m_view = nullptr;
    std::vector<int> m_columns; // model columns in visual order
};

} // namespace grid
