// The calls tab of the main window: the filter, the call grid and its totals.
#pragma once

#include "MainTab.h"

#include <utility>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class PeriodButton;
class TComboQuery;

/// "Показать" runs the call query of the filter; sorting by a title runs it again in the new
/// order. The rows of the last run stay when a run fails.
class CallsTab : public MainTab
{
    Q_OBJECT
public:
    explicit CallsTab(QWidget* parent = nullptr);

    void init(TDM& dm) override;
    /// Today as the period, no prefix, the drop-down lists filled.
    void activate();
    /// Fills the drop-down lists of lines and users again from the database.
    void refillLines();
    void refillUsers();
    void saveLayouts() override;
    /// True once a run has shown the grid.
    bool hasResult() const;

    void sbStartClick();
    void RunCallQuery();
    void GridRingsSortMarkingChanged();
    void ApplyMaskToLineFilter();
    /// Title buttons on every column of the call grid, the marker on the sorted one.
    void MarkCallSortColumn(int fieldRing);

    QDateEdit* dOT = nullptr;
    QDateEdit* dDo = nullptr;
    PeriodButton* sbPeriod = nullptr;
    TComboQuery* cqUsers = nullptr;
    TComboQuery* cqLines = nullptr;
    QCheckBox* cbIN = nullptr;
    QCheckBox* cbOUT = nullptr;
    QLineEdit* seNumberBeg = nullptr;
    QSpinBox* seRingLen = nullptr;
    QPushButton* sbStart = nullptr;
    grid::DataGrid* GridRings = nullptr;
    QLabel* PanelTotalString = nullptr;
    QLabel* PanelTotalTime = nullptr;

signals:
    /// The grid was shown or hidden: what can be exported changed.
    void resultChanged();

private:
    std::pair<int, int> m_shownSort{0, 0}; // FieldRing and DescRing of the rows on show
};
