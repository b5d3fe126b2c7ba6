// A data grid over a Query: title buttons with sort markers, layouts kept in an ini file.
#pragma once

#include "DataGridModel.h"

#include <QFontMetrics>
#include <QStringList>
#include <QTableView>

#include <functional>
#include <vector>

namespace ini {
class IniFile;
}

namespace grid {

enum class SortMarker
{
    None = 0,
    Ascending = 1,
    Descending = 2
};

/// Shows a query read-only, whole rows selected. A click on a column title that was made a
/// button changes that column's sort marker (none, ascending, descending, ascending, ...) when
/// automatic marking is on; at most one column is marked, and sortMarkingChanged() follows.
/// The window decides what a marking means (the grid never sorts by itself). Reloads go
/// through beginReload()/endReload(), which drop markers and title buttons.
class DataGrid : public QTableView
{
    Q_OBJECT
public:
    /// Drawn over a cell after its normal painting, with the cell's row current in the query.
    using CellPaintHook =
        std::function<void(QPainter* painter, const QRect& rect, const db::Field& field)>;

    explicit DataGrid(QWidget* parent = nullptr);

    void setQuery(db::Query* query);
    db::Query* query() const { return m_model->query(); }
    DataGridModel& gridModel() const { return *m_model; }
    void beginReload();
    void endReload();
    /// Shows the rows of the query's loader as it tells of them (DataGridModel::setLoader).
    void setLoader(db::QueryLoader* loader) { m_model->setLoader(loader); }

    int columnCount() const { return m_model->columnCount(); }
    db::Field* columnField(int column) const { return m_model->field(column); }
    /// The column showing the field (name without regard to case), -1 when none.
    int findColumnByField(const QString& fieldName) const { return m_model->columnOf(fieldName); }
    /// Columns (model indexes) in the order the user sees them.
    std::vector<int> visualColumns() const;

    void setAutoSortMarking(bool on) { m_autoSortMarking = on; }
    /// The first click on the title of this field's column marks it descending (the largest
    /// first), not ascending; the name without regard to case. Kept across reloads.
    void setDescendingFirst(const QString& fieldName) { m_descendingFirst << fieldName.toUpper(); }
    void setTitleButton(int column, bool on);
    bool titleButton(int column) const;
    void setColumnSortMarker(int column, SortMarker marker);
    SortMarker sortMarker(int column) const;
    /// Marked columns in the order they were marked.
    const std::vector<int>& sortMarkedColumns() const { return m_marked; }

    /// Writes one key per column ("Grid.FIELD=position,width,marker,visible,sortindex,0,0") in
    /// the current column order, after erasing the section.
    void saveLayout(ini::IniFile& file, const QString& section) const;
    /// Restores widths and then positions (lowest stored position first); keys that are
    /// missing or unreadable leave that column as it is.
    void restoreLayout(const ini::IniFile& file, const QString& section);

    void setRowBackgroundHook(DataGridModel::RowBackgroundHook hook);
    void setCellPaintHook(CellPaintHook hook);
    const CellPaintHook& cellPaintHook() const { return m_cellPaint; }

    /// Fits column widths to the first rows and to the titles, which may take two lines.
    void fitColumns();
    /// When the shown columns together are wider than `width` (the grid's whole width, its
    /// frame, row header and scroll bar included), column `yielding` gives up the difference,
    /// down to `least` pixels.
    void fitColumnsInto(int width, int yielding, int least);
    /// The width a title needs on at most two lines, broken at a blank.
    static int twoLineWidth(const QFontMetrics& metrics, const QString& title);

signals:
    void sortMarkingChanged();

private:
    void titleClicked(int column);
    void showMarkers();

    DataGridModel* m_model;
    QStringList m_descendingFirst;
    bool m_autoSortMarking = false;
    std::vector<bool> m_titleButtons;
    std::vector<SortMarker> m_markers;
    std::vector<int> m_marked;
    CellPaintHook m_cellPaint;
};

} // namespace grid
