// The lines tab of the main window: the directory of exchange lines.
#pragma once

#include "MainTab.h"

class QPoint;

class LinesTab : public MainTab
{
    Q_OBJECT
public:
    explicit LinesTab(QWidget* parent = nullptr);

    void init(TDM& dm) override;
    void saveLayouts() override;

    /// Opens the directory in the stored order with its marker; errors reach the caller.
    void LoadLines();
    /// Opens it again in the same order, keeping the markers, and selects the line.
    void ReloadLines(int numberLine);
    void GridLinesSortMarkingChanged();
    /// Makes the grid's current row the query's; false when there is no line to act on.
    bool selectCurrent();
    /// Opens the line editor for a new line (mode 0) or the current one (mode 1) and shows
    /// the saved line; errors reach the caller.
    void editLine(int mode);
    /// Deletes the current line after the operator's consent.
    void deleteCurrent();

    grid::DataGrid* GridLines = nullptr;

signals:
    void editRequested();
    void menuRequested(const QPoint& globalPos);
    /// The directory changed: the drop-down list of lines must be filled again.
    void linesChanged();
};
