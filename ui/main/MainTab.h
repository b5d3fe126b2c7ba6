// What the main window's tabs share: the data module and the saved layouts of their grids.
#pragma once

#include <QWidget>
#include <functional>

class TDM;
namespace db {
class Query;
}
namespace grid {
class DataGrid;
}
namespace stmt {
struct Statement;
}

/// A tab of the main window. Made with its widgets; bound to the data module with init().
class MainTab : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void init(TDM& dm) { m_dm = &dm; }
    /// Keeps the layouts of the grids that show rows (the window does it at exit).
    virtual void saveLayouts() = 0;

    /// The sort description of a grid's marked columns, upper-cased ("FIO DESC,...").
    static QString sortDescription(const grid::DataGrid& g);
    static void setSortMarker(grid::DataGrid* grid, int column, int descending);

protected:
    void saveGridLayout(grid::DataGrid* grid, const QString& section);
    void restoreGridLayout(grid::DataGrid* grid, const QString& section);
    /// Opens a directory's query under its grid, with the directory's captions and the
    /// saved layout; the grid leaves its reload state even when the query fails.
    void openDirectoryQuery(grid::DataGrid* grid, db::Query& q, const QString& section);
    /// Makes the grid's current row its query's current row; false when the query has no row
    /// or the row no key.
    static bool selectCurrentRow(grid::DataGrid* grid, const QString& keyField);
    /// After the operator's consent writes a delete (what ran is committed also after a
    /// refusal), reports a refusal and reloads.
    void deleteRow(const stmt::Statement& statement, const std::function<void()>& reload);
    /// What a refused delete or move says.
    static QString DeleteFailedText();

    TDM* m_dm = nullptr;
};
