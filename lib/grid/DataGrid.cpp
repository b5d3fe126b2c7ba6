#include "DataGrid.h"

#include "ini/IniFile.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

namespace grid {

namespace {

// Paints a cell as usual, then lets the grid's hook draw over it.
class CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(DataGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const DataGrid::CellPaintHook& hook = m_grid->cellPaintHook();
        db::Query* q = m_grid->query();
        db::Field* f = m_grid->columnField(index.column());
        if (hook && q && f)
            q->atRow(index.row(), [&] { hook(painter, option.rect, *f); });
    }

private:
    DataGrid* m_grid;
};

} // namespace

DataGrid::DataGrid(QWidget* parent) : QTableView(parent), m_model(new DataGridModel(this))
{
    setModel(m_model);
    setItemDelegate(new CellDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    QHeaderView* v = verticalHeader();
    v->setSectionResizeMode(QHeaderView::Fixed); // constant row height keeps a million rows cheap
    v->setDefaultSectionSize(fontMetrics().height() + 6);
    v->setFixedWidth(14);
    QHeaderView* h = horizontalHeader();
    h->setSectionsMovable(true);
    h->setSectionsClickable(true);
    h->setHighlightSections(false);
    h->setDefaultAlignment(Qt::Alignment(int(Qt::AlignCenter) | int(Qt::TextWordWrap)));
    h->setMinimumHeight(2 * fontMetrics().height() + 8); // two lines of title
    h->setResizeContentsPrecision(200);
    h->setStretchLastSection(false);
    h->setMinimumSectionSize(8); // narrow picture columns are possible
    connect(h, &QHeaderView::sectionClicked, this, &DataGrid::titleClicked);
}

void DataGrid::setQuery(db::Query* query)
{
    m_model->setQuery(query);
    m_titleButtons.assign(std::size_t(columnCount()), false);
    m_markers.assign(std::size_t(columnCount()), SortMarker::None);
    m_marked.clear();
    showMarkers();
}

void DataGrid::beginReload()
{
    m_model->beginReload();
}

void DataGrid::endReload()
{
    m_model->endReload();
    m_titleButtons.assign(std::size_t(columnCount()), false);
    m_markers.assign(std::size_t(columnCount()), SortMarker::None);
    m_marked.clear();
    showMarkers();
}

std::vector<int> DataGrid::visualColumns() const
{
    std::vector<int> out;
    const QHeaderView* h = horizontalHeader();
    for (int v = 0; v < h->count(); ++v)
        out.push_back(h->logicalIndex(v));
    return out;
}

void DataGrid::setTitleButton(int column, bool on)
{
    if (column >= 0 && column < int(m_titleButtons.size()))
        m_titleButtons[std::size_t(column)] = on;
}

bool DataGrid::titleButton(int column) const
{
    return column >= 0 && column < int(m_titleButtons.size()) &&
           m_titleButtons[std::size_t(column)];
}

SortMarker DataGrid::sortMarker(int column) const
{
    return column >= 0 && column < int(m_markers.size()) ? m_markers[std::size_t(column)]
                                                         : SortMarker::None;
}

void DataGrid::setColumnSortMarker(int column, SortMarker marker)
{
    if (column < 0 || column >= int(m_markers.size()))
        return;
    // One marked column at a time.
    for (int c : m_marked)
        if (c != column)
            m_markers[std::size_t(c)] = SortMarker::None;
    m_marked.clear();
    m_markers[std::size_t(column)] = marker;
    if (marker != SortMarker::None)
        m_marked.push_back(column);
    showMarkers();
}

void DataGrid::titleClicked(int column)
{
    if (!m_autoSortMarking || !titleButton(column))
        return;
    SortMarker next = sortMarker(column) == SortMarker::Ascending ? SortMarker::Descending
                                                                  : SortMarker::Ascending;
    const db::Field* field = columnField(column);
    if (sortMarker(column) == SortMarker::None && field &&
        m_descendingFirst.contains(field->name().toUpper()))
        next = SortMarker::Descending;
    setColumnSortMarker(column, next);
    emit sortMarkingChanged();
}

void DataGrid::showMarkers()
{
    QHeaderView* h = horizontalHeader();
    if (m_marked.empty()) {
        h->setSortIndicatorShown(false);
        return;
    }
    const int column = m_marked.back();
    // The marker takes room from the title (half the header's height and two margins, as the
    // style lays it out): the marked column grows when its title would be cut.
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    const int needed =
        twoLineWidth(h->fontMetrics(), m_model->headerData(column, Qt::Horizontal).toString()) +
        4 * margin + std::max(h->height(), h->minimumHeight()) / 2;
    if (h->sectionSize(column) < needed)
        h->resizeSection(column, needed);
    h->setSortIndicatorShown(true);
    h->setSortIndicator(column, sortMarker(column) == SortMarker::Descending ? Qt::DescendingOrder
                                                                             : Qt::AscendingOrder);
}

void DataGrid::saveLayout(ini::IniFile& file, const QString& section) const
{
    file.eraseSection(section);
    const QHeaderView* h = horizontalHeader();
    const std::vector<int> order = visualColumns();
    for (int column : order) {
        const db::Field* f = columnField(column);
        if (!f)
            continue;
        const auto marked = std::find(m_marked.begin(), m_marked.end(), column);
        const int sortIndex = marked == m_marked.end() ? 0 : int(marked - m_marked.begin());
        const QString value = QStringLiteral("%1,%2,%3,%4,%5,0,0")
                                  .arg(h->visualIndex(column))
                                  .arg(h->sectionSize(column))
                                  .arg(int(sortMarker(column)))
                                  .arg(h->isSectionHidden(column) ? 0 : 1)
                                  .arg(sortIndex);
        file.writeString(section, objectName() + u'.' + f->name(), value);
    }
}

void DataGrid::restoreLayout(const ini::IniFile& file, const QString& section)
{
    QHeaderView* h = horizontalHeader();
    std::vector<std::pair<int, int>> positions; // stored position, column
    for (int column = 0; column < columnCount(); ++column) {
        const db::Field* f = columnField(column);
        const std::optional<QString> v = file.value(section, objectName() + u'.' + f->name());
        if (!v)
            continue;
        const QStringList parts = v->split(u',');
        if (!parts.isEmpty())
            if (const std::optional<int> pos = ini::IniFile::parseInteger(parts[0]))
                positions.emplace_back(*pos, column);
        if (parts.size() > 1)
            if (const std::optional<int> width = ini::IniFile::parseInteger(parts[1]);
                width && *width > 0)
                h->resizeSection(column, *width);
    }
    std::stable_sort(positions.begin(), positions.end());
    for (const auto& [pos, column] : positions) {
        const int target = std::clamp(pos, 0, h->count() - 1);
        h->moveSection(h->visualIndex(column), target);
    }
}

void DataGrid::setRowBackgroundHook(DataGridModel::RowBackgroundHook hook)
{
    m_model->setRowBackgroundHook(std::move(hook));
}

void DataGrid::setCellPaintHook(CellPaintHook hook)
{
    m_cellPaint = std::move(hook);
}

void DataGrid::fitColumns()
{
    QHeaderView* h = horizontalHeader();
    const QFontMetrics fm = h->fontMetrics();
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    for (int column = 0; column < columnCount(); ++column) {
        // The title may take its two lines: only its longer line needs the room.
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        const int titleWidth = twoLineWidth(fm, title) + 2 * margin;
        const int width = std::max(sizeHintForColumn(column), titleWidth);
        h->resizeSection(column, std::min(width + 12, 320));
    }
}

void DataGrid::fitColumnsInto(int width, int yielding, int least)
{
    QHeaderView* h = horizontalHeader();
    if (yielding < 0 || yielding >= columnCount() || h->isSectionHidden(yielding))
        return;
    int taken = 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (!verticalHeader()->isHidden()) // the row marks' column, of a fixed width
        taken += std::max(verticalHeader()->sizeHint().width(), verticalHeader()->minimumWidth());
    for (int column = 0; column < columnCount(); ++column)
        if (!h->isSectionHidden(column))
            taken += h->sectionSize(column);
    const int over = taken + 4 - width; // a little room for the view's own spacing
    if (over > 0)
        h->resizeSection(yielding, std::max(least, h->sectionSize(yielding) - over));
}

int DataGrid::twoLineWidth(const QFontMetrics& metrics, const QString& title)
{
    int best = metrics.horizontalAdvance(title);
    for (qsizetype at = title.indexOf(u' '); at >= 0; at = title.indexOf(u' ', at + 1))
        best = std::min(best, std::max(metrics.horizontalAdvance(title.left(at)),
                                       metrics.horizontalAdvance(title.mid(at + 1))));
    return best;
}

} // namespace grid
