// The calls tab of the main window: the filter, the call grid and its totals.
#pragma once

#include "MainTab.h"
#include "db/IncrementalFetch.h"

#include <memory>
#include <optional>
#include <utility>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class PeriodButton;
class TComboQuery;
namespace db {
class DbError;
class Query;
class QueryLoader;
} // namespace db

/// "Показать" runs the call query of the filter; sorting by a title runs it again in the new
/// order. The zone and the cost, which the database cannot sort by, are sorted here once the
/// rows are in, and the grid shows them then. The rows of the last run stay when a run fails.
/// The rows are fetched in the background: the grid shows as soon as the first screen of them
/// is there and grows while the rest arrives; the totals come with the last row. Meanwhile
/// "Показать" reads "Стоп" and stops the load, keeping the rows on show; sorting and export
/// wait for the end. The load runs through a QueryLoader, which the grid listens to as well.
class CallsTab : public MainTab
{
    Q_OBJECT
public:
    explicit CallsTab(QWidget* parent = nullptr);
    ~CallsTab() override;

    void init(TDM& dm) override;
    /// Today as the period, no prefix, the drop-down lists filled.
    void activate();
    /// Fills the drop-down lists of lines and users again from the database; a failure is
    /// shown here.
    void refillLines();
    void refillUsers();
    void saveLayouts() override;
    /// The settings section of the call list's columns: their order and widths.
    static QString LayoutSection();
    /// True once a run has shown the grid and its last row has arrived.
    bool hasResult() const;
    /// True while the rows of a run arrive.
    bool loading() const;
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
    /// Also the calls whose line or subscriber the directories do not hold.
    QCheckBox* cbOutside = nullptr;
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
    void rowsArrived();
    void showFirstScreen();
    void fitZoneColumn();
    void takeOutsideCount(db::FetchState state);
    void showStatus();
    void finishLoad(db::FetchState state, const std::optional<db::DbError>& error);
    /// Sorts the rows that are in by the computed column of the load's order.
    void sortByProgram();
    int screenRows() const;
    void showTotalCost();

    std::pair<int, int> m_shownSort{0, 0}; // FieldRing and DescRing of the rows on show
    db::QueryLoader* m_loader = nullptr;
    bool m_firstScreenShown = false;
    QLabel* m_costLabel = nullptr;
    std::pair<int, int> m_loadSort{0, 0};
    bool m_loadAlongIndexes = false; // the running load names the date indexes
    // Counts, off this thread, the calls of the filter outside the directories.
    std::unique_ptr<db::Query> m_outsideQuery;
    std::unique_ptr<db::QueryLoader> m_outsideLoader; // of m_outsideQuery
    qint64 m_outsideCount = -1;                       // -1: not known (yet)
    bool m_outsideShown = false;                      // the run showed them
    QString m_loadNote;
};
