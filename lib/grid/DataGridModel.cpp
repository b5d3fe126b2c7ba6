#include "DataGridModel.h"

#include <QBrush>
#include <QMimeData>

#include <set>

namespace grid {

DataGridModel::DataGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataGridModel::setQuery(db::Query* query)
{
    beginResetModel();
    m_query = query;
    rebuildColumns();
    endResetModel();
}

void DataGridModel::beginReload()
{
    if (m_reloading)
        return;
    m_reloading = true;
    beginResetModel();
    m_columns.clear();
}

void DataGridModel::endReload()
{
    if (!m_reloading)
        return;
    rebuildColumns();
    m_reloading = false;
    endResetModel();
}

void DataGridModel::rowsArrived()
{
    if (m_reloading || !m_query || !m_query->isOpen())
        return;
    const int held = int(std::min<std::size_t>(m_query->recordCount(), std::size_t(INT_MAX)));
    if (held <= m_rowCount)
        return;
    beginInsertRows({}, m_rowCount, held - 1);
    m_rowCount = held;
    endInsertRows();
}

void DataGridModel::setLoader(db::QueryLoader* loader)
{
    disconnect(m_loaderRows);
    disconnect(m_loaderEnd);
    if (!loader)
        return;
    m_loaderRows =
        connect(loader, &db::QueryLoader::rowsArrived, this, &DataGridModel::rowsArrived);
    m_loaderEnd = connect(loader, &db::QueryLoader::finished, this, &DataGridModel::rowsArrived);
}

void DataGridModel::reorderRows(const std::vector<std::size_t>& order)
{
    if (!m_query)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    try {
        m_query->reorder(order);
    } catch (...) {
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        throw;
    }
    // Where each old row went.
    std::vector<int> moved(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        moved[order[i]] = int(i);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after << (std::size_t(i.row()) < moved.size()
                      ? index(moved[std::size_t(i.row())], i.column())
                      : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void DataGridModel::rebuildColumns()
{
    m_columns.clear();
    m_rowCount = 0;
    if (!m_query || !m_query->isOpen())
        return;
    for (const auto& f : m_query->fields())
        if (f->visible())
            m_columns.push_back(f.get());
    m_rowCount = int(std::min<std::size_t>(m_query->recordCount(), std::size_t(INT_MAX)));
}

db::Field* DataGridModel::field(int column) const
{
    return column >= 0 && column < int(m_columns.size()) ? m_columns[std::size_t(column)] : nullptr;
}

int DataGridModel::columnOf(const QString& fieldName) const
{
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i]->name().compare(fieldName, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

int DataGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || m_reloading || !m_query || !m_query->isOpen())
        return 0;
    return int(std::min<std::size_t>(m_query->recordCount(), std::size_t(m_rowCount)));
}

int DataGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || m_reloading ? 0 : int(m_columns.size());
}

QVariant DataGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || m_reloading || !m_query || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        db::Field* f = field(index.column());
        if (!f)
            return {};
        return m_query->atRow(index.row(), [f] { return f->displayText(); });
    }
    case Qt::ToolTipRole: {
        db::Field* f = field(index.column());
        if (!f)
            return {};
        return m_query->atRow(index.row(), [f] { return f->toolTipText(); });
    }
    case Qt::BackgroundRole: {
        if (!m_background)
            return {};
        const std::optional<QColor> c =
            m_query->atRow(index.row(), [this] { return m_background(*m_query); });
        return c ? QVariant(QBrush(*c)) : QVariant();
    }
    case Qt::TextAlignmentRole: {
        db::Field* f = field(index.column());
        if (f && ((f->isNumeric() && !f->isCalculated()) || f->decimalPlaces()))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant DataGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return QString();
    const db::Field* f = field(section);
    return f ? f->displayLabel() : QVariant();
}

} // namespace grid

namespace grid {

Qt::ItemFlags DataGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList DataGridModel::mimeTypes() const
{
    return {QString::fromLatin1(RowsMimeType)};
}

QMimeData* DataGridModel::mimeData(const QModelIndexList& indexes) const
{
    std::set<int> rows;
    for (const QModelIndex& i : indexes)
        rows.insert(i.row());
    QStringList list;
    for (int r : rows)
        list << QString::number(r);
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(RowsMimeType), list.join(u',').toLatin1());
    return data;
}

} // namespace grid
