// The calls tab of the main window: the filter, the call grid and its totals.
#pragma once

#include "MainTab.h"

#include <QElapsedTimer>

#include <utility>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class PeriodButton;
class TComboQuery;

/// "Показать" runs the call query of the filter; sorting by a title runs it again in the new
/// order. The rows of the last run stay when a run fails. The rows are fetched in the
/// background: the grid shows as soon as the first screen of them is there and grows while
/// the rest arrives; the totals come with the last row. Meanwhile "Показать" reads "Стоп" and
/// stops the load, keeping the rows on show; sorting and export wait for the end.
class CallsTab : public MainTab
{
    Q_OBJECT
public:
    explicit CallsTab(QWidget* parent = nullptr);
    /// Stops a load still running.
    ~CallsTab() override;

    void init(TDM& dm) override;
    /// Today as the period, no prefix, the drop-down lists filled.
    void activate();
    /// Fills the drop-down lists of lines and users again from the database.
    void refillLines();
    void refillUsers();
    void saveLayouts() override;
    /// True once a run has shown the grid and its last row has arrived.
    bool hasResult() const;
    /// True while the rows of a run arrive.
    bool loading() const { return m_loading; }
    /// Stops the load: the rows that arrived stay, with their totals, and the status bar says
    /// the list is not complete. Does nothing when no load runs.
    void StopLoad();

    void sbStartClick();
    void RunCallQuery();
    void GridRingsSortMarkingChanged();
    void ApplyMaskToLineFilter();
    /// Title buttons on every column of the call grid, the marker on the sorted one.
    void MarkCallSortColumn(int fieldRing, bool titleButtons = true);

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
    /// The cost of the calls on show, and how many have no tariff; hidden without tariffs.
    QLabel* PanelTotalCost = nullptr;

signals:
    /// The grid was shown or hidden: what can be exported changed.
    void resultChanged();
    /// A note for the status bar (empty: none).
    void statusMessage(const QString& text);

private:
    void takeRows();
    void showFirstScreen();
    void finishLoad();

    std::pair<int, int> m_shownSort{0, 0}; // FieldRing and DescRing of the rows on show
    bool m_loading = false;
    QTimer* m_loadTimer = nullptr; // takes rows also when a notice of the worker was missed
    bool m_takePending = false;    // a takeRows() is queued
    bool m_firstScreenShown = false;
    QElapsedTimer m_announced; // since the grid was last told of new rows
    qint64 m_sum = 0;          // RingLength of the rows that arrived
    qint64 m_cost = 0;         // kopecks of the rows that arrived
    qint64 m_noTariff = 0;     // outgoing rows that arrived without a tariff
    QLabel* m_costLabel = nullptr;
    void showTotalCost();
    std::pair<int, int> m_loadSort{0, 0};
};
