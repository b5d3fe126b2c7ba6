// The reports window: four reports over a period, previewed with zoom, printed or saved as PDF.
#pragma once

#include "ReportValues.h"
#include "data/ReportKind.h"
#include "report/ReportEngine.h"

#include <QDialog>

#include <functional>
#include <optional>

class QComboBox;
class QDateEdit;
class PeriodButton;
class QMenu;
class QPushButton;
class TDM;
namespace report {
class ReportPreview;
}

/// Each run builds the chosen report's query, walks it once for the grand totals, loads the
/// template from the program's folder and prepares it (values through frReportGetValue). The
/// cost report instead prices the period's calls once into rows of its own (CostReport).
class TReportForm : public QDialog, public ReportTotals
{
    Q_OBJECT
public:
    explicit TReportForm(TDM& dm, QWidget* parent = nullptr);

    QComboBox* cbReport = nullptr;
    QDateEdit* dOT = nullptr;
    QDateEdit* dDo = nullptr;
    PeriodButton* sbPeriod = nullptr;
    QPushButton* bbPrint = nullptr;
    QPushButton* bbPdf = nullptr;
    QPushButton* bbPreview = nullptr;
    report::ReportPreview* frPreview = nullptr;
    QMenu* PopupMenu = nullptr;

    enum class Output
    {
        Preview,
        Printer,
        Pdf
    };
    void RunReport(bool Preview) { RunReport(Preview ? Output::Preview : Output::Printer); }
    void RunReport(Output output);
    /// "<report> <period>.pdf", the period's dates as day.month.year.
    QString PdfFileName() const;
    /// The value of a report variable; nothing for a name that is not one.
    std::optional<QVariant> frReportGetValue(const QString& ParName) const;
    void setZoom(int percent);
    /// What the cost report says on a database without tariffs.
    static QString NoTariffsText();
    /// The report chosen in cbReport.
    ReportKind Kind() const;

    /// Prints the prepared pages; the default uses the system's default printer.
    std::function<bool(const report::PreparedReport&, QString&)> PrintHook;
    /// The pages of the last run (also of a print).
    const report::PreparedReport& prepared() const { return *m_prepared; }
    /// True while a run lasts: the controls that would start another are disabled.
    bool running() const { return m_running; }

public slots:
    /// Closes the window; during a run, stops it and closes once it has ended.
    void reject() override;

private:
    /// The file chosen in the save dialog, starting in the folder of the last export; empty
    /// when the operator cancels.
    QString choosePdfFile();
    /// Enables or disables what starts a run.
    void setRunning(bool running);
    /// Reads the tariffs for a run of `kind` into Book: none for a report without costs, and
    /// none for the detailed report when they cannot be read (it then prints without costs).
    void loadBook(ReportKind kind);

    TDM& m_dm;
    // Shared with the preview: one copy of the pages, however many show them.
    std::shared_ptr<const report::PreparedReport> m_prepared =
        std::make_shared<const report::PreparedReport>();
    // What the preview shows: the last preview's pages, which a print does not replace.
    std::shared_ptr<const report::PreparedReport> m_shown = m_prepared;
    // The kind of the run under way, whose rows the values are read from.
    ReportKind m_runKind = ReportKind::BySubscriber;
    bool m_running = false;
    bool m_closeAfterRun = false;
};
