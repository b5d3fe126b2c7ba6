// The calls that differ between the operator's bill and the log, as the bill window lists them.
#pragma once

#include "data/Bill.h"

#include <QAbstractTableModel>

#include <vector>

/// A row per result row of the chosen class, read from the result itself: texts are made
/// when shown, so a bill that differs in every one of a year's calls costs a few bytes a row.
/// Sorting orders the rows by each column's own number (a time by its moment, a sum by its
/// kopecks), keeping the order of equal ones. For spreadsheets: counts and sums in Qt::UserRole,
/// the sums' places in grid::DecimalsRole.
class BillRowsModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    enum Column
    {
        Kind,
        Number,
        BillStart,
        BillSeconds,
        BillCost,
        LogStart,
        LogSeconds,
        Line,
        OurCost,
        Difference,
        BillLine,
        ColumnCount
    };

    /// Shows the rows of `result` of class `kind` (all of them when empty), in the order last
    /// sorted by; the result is kept until the next call.
    void setRows(const bill::Result* result, std::optional<bill::Kind> kind);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    /// A column's number for a result row; nullopt where the row has no such side.
    std::optional<qint64> value(const bill::Row& row, int column) const;
    void order();

    const bill::Result* m_result = nullptr;
    std::vector<qint32> m_rows; // indexes of the result's rows, in the order shown
    int m_sortColumn = Number;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
