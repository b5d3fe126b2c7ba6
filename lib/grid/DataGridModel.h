// A read-only table model over a Query's visible fields and held rows.
#pragma once

#include "db/Query.h"
#include "db/QueryLoader.h"

#include <QAbstractTableModel>
#include <QColor>

#include <functional>
#include <optional>
#include <vector>

namespace grid {

/// Columns are the query's visible fields in field order, titled by their display labels; cells
/// show the fields' display texts. The query is not owned and must outlive the model. Whoever
/// reopens or closes the query wraps that in beginReload()/endReload(). Rows that join the query
/// while it fetches in the background are announced with rowsArrived(), on the model's thread;
/// a model given the query's loader (setLoader) announces them as the loader tells.
class DataGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    /// Background of a row, asked with that row current in the query.
    using RowBackgroundHook = std::function<std::optional<QColor>(const db::Query&)>;

    explicit DataGridModel(QObject* parent = nullptr);

    void setQuery(db::Query* query);
    db::Query* query() const { return m_query; }
    void beginReload();
    void endReload();
    /// Inserts the rows the query holds beyond those the model shows (beginInsertRows).
    void rowsArrived();
    /// Announces the rows of the loader's runs at its rowsArrived() and finished(). The loader
    /// must load this model's query; it is not owned. Set it before anything else connects to
    /// the loader, so that the rows are in the model when the others hear the same signals.
    void setLoader(db::QueryLoader* loader);

    /// Puts the query's rows in another order (db::Query::reorder: row i becomes the row that
    /// was at order[i]) and tells the views, whose selection and current row follow their
    /// rows. Only once every row is in; throws DbError as the query does.
    void reorderRows(const std::vector<std::size_t>& order);

    /// The field shown in a column (nullptr when out of range).
    db::Field* field(int column) const;
    /// The column of a field, by name without regard to case; -1 when not shown.
    int columnOf(const QString& fieldName) const;

    void setRowBackgroundHook(RowBackgroundHook hook) { m_background = std::move(hook); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Rows dragged out of the grid travel as their row numbers.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    static constexpr const char* RowsMimeType = "application/x-data-grid-rows";

private:
    void rebuildColumns();

    db::Query* m_query = nullptr;
    QMetaObject::Connection m_loaderRows;
    QMetaObject::Connection m_loaderEnd;
    std::vector<db::Field*> m_columns;
    RowBackgroundHook m_background;
    bool m_reloading = false;
    int m_rowCount = 0; // rows announced to the views
};

} // namespace grid
