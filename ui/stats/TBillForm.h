// The operator's bill checked against the call log: the bill's file and its columns, what it
// covers, the run on the runs' pool and the classes with every call that differs.
#pragma once

#include "data/Bill.h"
#include "runs/BillCheck.h"
#include "runs/Job.h"

#include <QDialog>
#include <QPointer>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class BillRowsModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTableWidget;
class DateField;
class PeriodButton;
class TDM;

namespace report {
struct PreparedReport;
}

namespace tariff {
class TariffBook;
}

/// "Открыть счёт…" reads a CSV or XLSX bill, shows its first rows and takes the columns
/// remembered for the chosen plan, or guesses them; the period follows the bill's first and last
/// call. Choosing another plan takes its remembered columns. "Сравнить" reads the outgoing calls of
/// the period on the runs' pool (remembering the columns for the plan first) and pairs them with
/// the bill's; while it runs the button reads "Стоп" and the choices are locked. The result: the
/// classes' sums with the sum worth disputing, and every call that is not "совпадает", filterable
/// by class, sortable and exportable.
class TBillForm : public QDialog
{
    Q_OBJECT
public:
    explicit TBillForm(TDM& dm, QWidget* parent = nullptr);
    ~TBillForm() override;

    /// The file the next "Открыть счёт…" takes instead of asking in a file dialog.
    static void setNextFileName(const QString& fileName);
    /// The file the next "PDF…" of the report writes instead of asking in a file dialog.
    static void setNextPdfName(const QString& fileName);

    QPushButton* bbOpen = nullptr;
    QLabel* LabelFile = nullptr;
    QTableWidget* GridPreview = nullptr;
    QComboBox* cbDateTime = nullptr;
    QComboBox* cbTime = nullptr; ///< "нет" first
    QComboBox* cbNumber = nullptr;
    QComboBox* cbDuration = nullptr;
    QComboBox* cbCost = nullptr;    ///< "нет" first
    QSpinBox* seFirstRow = nullptr; ///< the preview's row number, from 1
    QComboBox* cbPlan = nullptr;    ///< "все линии" first, then the plans
    DateField* dOT = nullptr;
    DateField* dDo = nullptr;
    PeriodButton* sbPeriod = nullptr;
    QLineEdit* eCity = nullptr;
    QLineEdit* eLines = nullptr; ///< lines picked by hand, by city number or line number
    QSpinBox* seStartTolerance = nullptr;
    QSpinBox* seDurationTolerance = nullptr;
    QSpinBox* seClockShift = nullptr;
    QPushButton* bbCompare = nullptr;
    QPushButton* bbExport = nullptr;
    QPushButton* bbReport = nullptr; ///< "Отчет…": the report's preview with print and PDF
    QPushButton* bbClose = nullptr;
    QLabel* PanelProgress = nullptr;
    QTabWidget* PageResult = nullptr;
    QTableWidget* GridSummary = nullptr;
    QLabel* LabelDisputed = nullptr;
    QLabel* LabelRefused = nullptr;
    QComboBox* cbKind = nullptr; ///< "все расхождения" first, then the four classes
    QTableView* GridRows = nullptr; ///< the calls that differ, over a model of the result

    void bbOpenClick();
    void bbCompareClick();
    void bbExportClick();
    void bbReportClick();
    /// The report's window last opened, while it is open.
    QDialog* reportWindow() const { return m_reportWindow; }

    /// A check or the report's layout under way.
    bool running() const { return m_job.running() || m_reportJob.running(); }
    bool hasResult() const { return m_hasResult; }
    const bill::Result& result() const { return m_outcome.result; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void openFile(const QString& fileName);
    void fillPreview();
    void setColumns(const bill::Columns& columns);
    bill::Columns columns() const;
    std::optional<bill::Columns> rememberedColumns();
    void rememberColumns(const bill::Columns& chosen);
    void planChanged();
    void runEnded(runs::RunState state);
    void setRunning(bool on);
    void showResult();
    void showResultCounts();
    void fillRows();
    void updateExport();
    void reportEnded(runs::RunState state);
    void showReport(std::shared_ptr<const report::PreparedReport> pages);
    void writeReportPdf(const std::shared_ptr<const report::PreparedReport>& pages);

    TDM& m_dm;
    std::shared_ptr<const tariff::TariffBook> m_book;
    std::vector<std::pair<int, QString>> m_lines; // each line's number and city number digits
    bill::Table m_table;
    QString m_fileName;             // of the bill on show
    bill::CheckOutcome m_outcome;   // of the result on show
    bill::CheckOutcome m_pending;   // the run's, written on its thread
    bill::BillCalls m_pendingCalls; // read for the run under way
    bool m_hasResult = false;
    BillRowsModel* m_rowsModel = nullptr;
    QPointer<QDialog> m_reportWindow;
    bool m_rememberRefusalTold = false; // a user who may not write is told once
    runs::Job<int> m_job;
    // The report's layout: its pages laid out and in all, as it goes on.
    std::shared_ptr<report::PreparedReport> m_reportPages;
    runs::Job<std::pair<int, int>> m_reportJob;
};
