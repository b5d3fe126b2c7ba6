// The load of the exchange lines: lines busy at once, the busy hour and Erlang B.
#pragma once

#include "runs/LineLoad.h"

#include <QDialog>

class QBarSeries;
class QChartView;
class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineSeries;
class QListWidget;
class QMenu;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QValueAxis;
class QTableWidget;
class LineLoadRun;
class PeriodButton;
class TComboQuery;
class TDM;

/// Opened with the main window's period and its list of lines (item i + 1 of the list is row i
/// of its query). "Показать" reads the period's calls on a worker and sweeps them there; while
/// it runs the button reads "Стоп" and the choices are locked. The result shows as five tabs:
/// the summary with Erlang B over the design traffic and over the busiest clock hour (and how
/// both are worked out), the hours of the day, the counted days with the busiest marked, the
/// lines and a chart; each table exports through the export chooser. The grade of service may
/// change at any time: the Erlang figures follow without reading the calls again.
class TLineLoadForm : public QDialog
{
    Q_OBJECT
public:
    TLineLoadForm(TDM& dm, const QDate& from, const QDate& to, TComboQuery& lines,
                  QWidget* parent = nullptr);
    ~TLineLoadForm() override;

    QDateEdit* dOT = nullptr;
    QDateEdit* dDo = nullptr;
    PeriodButton* sbPeriod = nullptr;
    QListWidget* clbLines = nullptr;
    QMenu* pmAllOrNot = nullptr;
    QCheckBox* cbWorkTime = nullptr;
    QSpinBox* seHourFrom = nullptr;
    QSpinBox* seHourTo = nullptr;
    QCheckBox* cbDays[7] = {}; // Monday first
    QDoubleSpinBox* seGrade = nullptr;
    QPushButton* bbSave = nullptr;
    QPushButton* bbExport = nullptr;
    QPushButton* bbCancel = nullptr;
    QLabel* PanelProgress = nullptr;
    QTabWidget* PageResult = nullptr;
    QWidget* PageSummary = nullptr; ///< the summary table with the rules under it
    QTableWidget* GridSummary = nullptr;
    QLabel* LabelRules = nullptr;
    QTableWidget* GridHours = nullptr;
    QTableWidget* GridDays = nullptr;
    QTableWidget* GridLines = nullptr;
    QChartView* ChartHours = nullptr;
    QBarSeries* SeriesTraffic = nullptr;
    QLineSeries* SeriesPeak = nullptr;   ///< the hours' peaks as steps, on the lines' scale
    QLineSeries* SeriesDesign = nullptr; ///< the design traffic across the hours
    QValueAxis* AxisErlangs = nullptr;   ///< left: traffic, erlangs
    QValueAxis* AxisLines = nullptr;     ///< right: lines, whole numbers

    void bbSaveClick();
    void bbExportClick();
    void cbWorkTimeClick();
    void seGradeChange();

    bool running() const;
    /// The figures on show (empty before the first run finished).
    const LineLoadResult& result() const { return m_result; }
    bool hasResult() const { return m_hasResult; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void runFinished(int state);
    void setRunning(bool on);
    void showResult();
    void fillSummary();
    void fillHours();
    void fillDays();
    void fillLines();
    void fillChart();
    void updateExport();
    QString countedTimeText() const;
    /// The chosen lines named ("все 40" when every line of the list is).
    QString chosenLinesText() const;
    /// The table on the current tab; null on the chart.
    QTableWidget* currentTable() const;

    TDM& m_dm;
    LineLoadRun* m_run = nullptr;
    LineLoadResult m_result;
    LineLoadOptions m_options;        // of the result on show
    QStringList m_lineTexts;          // of the result on show
    LineLoadOptions m_pendingOptions; // of the run under way
    QStringList m_pendingTexts;
    bool m_hasResult = false;
};
