// Line-load statistics: how the period's talk time is shared among lines or subscribers.
#pragma once

#include "runs/ShareRun.h"

#include <QDate>
#include <QDialog>

#include <memory>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QChart;
class QChartView;
class QLabel;
class QListWidget;
class QMenu;
class QPieSeries;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TComboQuery;
class TDM;

/// Built from the main window's period and its two filter lists, whose items and open queries
/// it reuses (item i of a check list is row i of its list's query). One summing query for the
/// period and one per checked item, run in order on a worker while the window answers ("Стоп"
/// or Escape ends them); a pie with a slice per checked item and "Прочие" for the rest
/// whenever an item is unchecked. Beside the pie its legend names every slice in full with its
/// colour, share and amount; the pie labels only the slices that have room for a whole label.
class TStat1Form : public QDialog
{
    Q_OBJECT
public:
    TStat1Form(TDM& dm, const QDate& from, const QDate& to, TComboQuery& lines, TComboQuery& users,
               QWidget* parent = nullptr);
    /// Stops a computation under way and waits for its worker.
    ~TStat1Form() override;

    QTabWidget* PageControl = nullptr;
    QListWidget* clbLinesOut = nullptr;
    QListWidget* clbLinesIn = nullptr;
    QMenu* pmAllOrNot = nullptr;
    QCheckBox* cbOUT = nullptr;
    QCheckBox* cbIN = nullptr;
    QLabel* PanelTotalTime = nullptr;
    QLabel* PanelSelectTime = nullptr;
    QChartView* Chart2 = nullptr;
    QPieSeries* Series1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    /// "Список": shows the legend beside the pie (on at first).
    QAction* mShowLegend = nullptr;
    /// The legend: a row per slice, in the pie's order, with the slice's colour, the item's
    /// whole name, its share and its talk time or cost; choosing a row pulls its slice out.
    QTreeWidget* lvLegend = nullptr;
    QPushButton* bbSave = nullptr;
    QPushButton* bbCancel = nullptr;
    /// Shown while the sums run: ends them, nothing is shown.
    QPushButton* bbStop = nullptr;
    /// The sums done while they run.
    QProgressBar* ProgressBar = nullptr;
    /// What could not be counted in the last computation, with the reason; hidden when all was.
    QLabel* PanelFailure = nullptr;
    /// Shares the cost of the outgoing calls instead of the talk time; shown when the
    /// database has tariffs.
    QCheckBox* cbByCost = nullptr;

    static int CountChecked(const QListWidget& list);
    /// The slices of the checked items from the sums of a run, and "Прочие".
    void FillPie(const ShareRun::Result& sums);
    static void SetAllChecked(QListWidget& list, bool checked);
    /// A slice of the pie: its label beside the pie, its amount (seconds or kopecks) and its
    /// name in the legend (the label when empty).
    struct PieShare
    {
        QString label;
        qint64 value = 0;
        QString name;
    };
    /// Draws the slices, and "Прочие" with `others` unless every item is checked (`all`).
    void ShowShares(std::vector<PieShare> slices, qint64 others, bool all);
    /// Starts the computation on the worker and returns; its result is drawn when the worker
    /// has finished (computing() is true until then). The window answers meanwhile and a
    /// second computation cannot start; destroying the window stops the worker.
    void bbSaveClick();
    void PageControlChange();
    void mShowLegendClick();
    /// Labels of slices too small to name beside them, whose label would cover a larger
    /// slice's, or which the chart could not show whole (cut at its edge or shortened) are
    /// hidden; those slices are named in the legend only.
    void PlaceLabels();

    /// The statement of the last talk-time sum of the last computation, for checking.
    QStringList lastStatement() const { return m_lastStatement; }
    bool computing() const { return m_computing; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QListWidget* activeList() const;
    void clearResult();
    /// Tells in PanelFailure which sums failed, one line per reason.
    void showFailures();
    void updateLegend();
    /// The legend's row for each slice drawn, titled for the list and the measure shown.
    void fillLegend(const std::vector<PieShare>& slices);
    void legendRowChosen(QTreeWidgetItem* item);
    void cbByCostToggled(bool on);
    /// Locks what would change the computation under way, and offers "Стоп".
    void setRunning(bool on);
    /// Draws what the worker counted (or says why not) and unlocks the window.
    void runFinished();
    /// Draw the figures of a run; return what to tell the operator about them, if anything.
    QString showTalkTime();
    QString showCost();

    TDM& m_dm;
    QDate m_from;
    QDate m_to;
    TComboQuery& m_lines;
    TComboQuery& m_users;
    qint64 m_totalSeconds = 0;
    qint64 m_selectedSeconds = 0;
    int m_checkedCount = 0;
    bool m_computing = false;
    QLabel* m_totalLabel = nullptr;
    QLabel* m_selectLabel = nullptr;
    std::shared_ptr<const tariff::TariffBook> m_book;
    ShareRun* m_run = nullptr;
    // What the run under way counts: by cost or talk time, and the checked items' texts, in
    // slice order, of a list with how many items.
    bool m_byCost = false;
    QStringList m_itemTexts;
    int m_listCount = 0;
    QStringList m_lastStatement;
    // What failed in this computation (the period's total or an item, as told) and why.
    std::vector<std::pair<QString, QString>> m_failures;
};
