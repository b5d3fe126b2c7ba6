// The reports window: four reports over a period, previewed with zoom, printed or saved as PDF.
#pragma once

#include "runs/ReportRun.h"
#include "runs/ReportValues.h"
#include "data/ReportKind.h"
#include "report/PreparedReport.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QDateEdit;
class PeriodButton;
class QMenu;
class QPushButton;
class TDM;
class TWaitForm;
namespace report {
class ReportPreview;
}

/// Each run loads the template from the program's folder, then hands the rest to a ReportRun
/// off the window thread: the chosen report's query walked once for the grand totals (the cost
/// report instead prices the period's calls into rows of its own) and the pages laid out, shown
/// in the preview as they come. Once prepared, the pages are shown, printed or saved. The
/// window answers throughout; Escape or closing it stops the run.
class TReportForm : public QDialog, public ReportTotals
{
    Q_OBJECT
public:
    explicit TReportForm(TDM& dm, QWidget* parent = nullptr);
    /// Stops a run under way and waits for its thread.
    ~TReportForm() override;

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
    /// Starts a run and returns; running() holds until it has ended and its pages are shown,
    /// printed or saved. Does nothing during a run.
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

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Restored from maximized: the window, frame and all, within the work area.
    void fitFrameToWorkArea();
    /// The file chosen in the save dialog, starting in the folder of the last export; empty
    /// when the operator cancels.
    QString choosePdfFile();
    /// Enables or disables what starts a run.
    void setRunning(bool running);
    /// What the run's end asks for: the pages shown, printed or saved, or why not said.
    void runEnded(ReportRun::State state);
    /// The template's reason under the message of `output`'s failure.
    void sayNotMade(Output output, const QString& reason);

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
    bool m_fitWhenRestored = false; // restored from maximized, not yet given its normal size
    ReportRun* m_run = nullptr;
    Output m_output = Output::Preview;
    QString m_pdfFile;           // where the run's pages go, for a PDF
    bool m_partial = false;      // the preview shows pages of the run under way
    QPointer<QWidget> m_focused; // where the focus goes back after the run
    std::unique_ptr<TWaitForm> m_wait;
    std::unique_ptr<QObject> m_escape; // watches for Escape during a run
};
