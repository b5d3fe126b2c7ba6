#include "BillRowsModel.h"

#include "data/Tariffs.h"
#include "grid/GridTable.h"

#include <QLocale>

#include <algorithm>
#include <limits>

namespace {

bool isMoney(int column)
{
    return column == BillRowsModel::BillCost || column == BillRowsModel::OurCost ||
           column == BillRowsModel::Difference;
}

} // namespace

void BillRowsModel::setRows(const bill::Result* result, std::optional<bill::Kind> kind)
{
    beginResetModel();
    m_result = result;
    m_rows.clear();
    if (result)
        for (std::size_t i = 0; i < result->rows.size(); ++i)
            if (!kind || result->rows[i].kind == *kind)
                m_rows.push_back(qint32(i));
    order();
    endResetModel();
}

int BillRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int BillRowsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

std::optional<qint64> BillRowsModel::value(const bill::Row& row, int column) const
{
    const bill::BillCall* b = row.bill >= 0 ? &m_result->bill[std::size_t(row.bill)] : nullptr;
    const bill::LogCall* l = row.log >= 0 ? &m_result->log[std::size_t(row.log)] : nullptr;
    const bool billCost = b && b->cost >= 0;
    switch (column) {
    case Kind:
        return qint64(row.kind);
    case Number:
        return b ? b->number : l->number;
    case BillStart:
        return b ? std::optional<qint64>(b->start) : std::nullopt;
    case BillSeconds:
        return b ? std::optional<qint64>(b->seconds) : std::nullopt;
    case BillCost:
        return billCost ? std::optional<qint64>(b->cost) : std::nullopt;
    case LogStart:
        return l ? std::optional<qint64>(l->start) : std::nullopt;
    case LogSeconds:
        return l ? std::optional<qint64>(l->seconds) : std::nullopt;
    case Line:
        return l ? std::optional<qint64>(l->line) : std::nullopt;
    case OurCost:
        return row.ours >= 0 ? std::optional<qint64>(row.ours) : std::nullopt;
    case Difference:
        return billCost && row.ours >= 0 ? std::optional<qint64>(b->cost - row.ours) : std::nullopt;
    case BillLine:
        return b ? std::optional<qint64>(b->line) : std::nullopt;
    default:
        return std::nullopt;
    }
}

QVariant BillRowsModel::data(const QModelIndex& index, int role) const
{
    if (!m_result || !index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const int column = index.column();
    const bool right =
        column != Kind && column != Number && column != BillStart && column != LogStart;
    if (role == Qt::TextAlignmentRole)
        return right ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role == grid::DecimalsRole)
        return isMoney(column) ? QVariant(2) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::UserRole)
        return {};
    const bill::Row& row = m_result->rows[std::size_t(m_rows[std::size_t(index.row())])];
    const std::optional<qint64> v = value(row, column);
    if (role == Qt::UserRole) {
        if (!right || !v)
            return {};
        return isMoney(column) ? QVariant(double(*v) / 100.0) : QVariant(*v);
    }
    if (!v)
        return QString();
    switch (column) {
    case Kind:
        return bill::kindText(row.kind);
    case Number:
        return bill::keyText(*v);
    case BillStart:
    case LogStart:
        return bill::momentText(*v);
    case BillCost:
    case OurCost:
    case Difference:
        return tariff::moneyText(*v);
    case Line:
    case BillLine:
        return QString::number(*v);
    default:
        return QLocale().toString(*v);
    }
}

QVariant BillRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const titles[ColumnCount] = {
        "Класс",           "Номер",          "Начало по счёту",
        "Сек. по счёту",   "По счёту, руб.", "Начало по журналу",
        "Сек. по журналу", "Линия",          "По тарифу, руб.",
        "Разница, руб.",   "Строка счёта"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf8(titles[section]);
}

void BillRowsModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection and the current cell stay on their calls.
    const QModelIndexList before = persistentIndexList();
    std::vector<qint32> calls;
    for (const QModelIndex& i : before)
        calls.push_back(m_rows[std::size_t(i.row())]);
    m_sortColumn = column;
    m_sortOrder = order;
    this->order();
    std::vector<int> rowOf(m_result ? m_result->rows.size() : 0, -1);
    for (std::size_t r = 0; r < m_rows.size(); ++r)
        rowOf[std::size_t(m_rows[r])] = int(r);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(rowOf[std::size_t(calls[std::size_t(i)])], before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void BillRowsModel::order()
{
    if (!m_result)
        return;
    // A row without the column's side sorts before every row that has it.
    constexpr qint64 none = std::numeric_limits<qint64>::min();
    std::vector<std::pair<qint64, qint32>> keyed;
    keyed.reserve(m_rows.size());
    for (qint32 i : m_rows)
        keyed.emplace_back(value(m_result->rows[std::size_t(i)], m_sortColumn).value_or(none), i);
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
        return descending ? b.first < a.first : a.first < b.first;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        m_rows[i] = keyed[i].second;
}
