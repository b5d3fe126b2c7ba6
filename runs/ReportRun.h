// One run of the reports window (query, totals, layout) on a worker thread of its own.
#pragma once

#include "ReportValues.h"
#include "WorkerReading.h"
#include "data/ReportKind.h"
#include "data/Statements.h"
#include "report/PreparedReport.h"
#include "report/ReportTemplate.h"

#include <QDate>
#include <QObject>
#include <QStringList>

#include <exception>
#include <memory>
#include <optional>

class TMainObject;

/// Reads the report's rows over an attachment and a read-only transaction of its own, walks
/// them for the grand totals (the cost report prices the calls into rows of its own instead),
/// and lays the pages out, all on its thread; the window thread hears of the progress, of the
/// first pages and of the end.
///
/// The detailed report does not wait for its last call: its calls are read along the date
/// index and laid out as they come, the totals growing with them for the summary. Once the
/// first pages are on show the calls are counted over the same attachment, so that the pages
/// in all are known within seconds (until then the pages read "…"; after the last call every
/// page gets its total, whatever the count said). A template that shows a grand total before
/// its summary has all calls read first.
///
/// Pages on show while the run lasts: the engine's pages and their text pool grow on the
/// worker, so the window thread never sees them. Every so often the worker copies the pages
/// completed so far, with a copy of the pool, into a report of their own and hands that over
/// (pagesLaidOut); the worker never touches a copy again. The copies get rarer as they grow, so
/// copying costs at most about a tenth of the run, and stop at the first 2,000 pages (the rest
/// show when the run ends), so that they never weigh much beside the report itself.
///
/// Threads: belongs to the window thread; every signal is emitted there. The settings object
/// is read by the worker (the number masks) and must not change during a run. Destroying it
/// stops a run under way and waits for the thread, emitting nothing more.
class ReportRun : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        ReadingPlace place; ///< the program's database and reading transaction
        ReportKind kind = ReportKind::BySubscriber;
        QDate from;
        QDate to;
        report::ReportTemplate layout; ///< loaded already
        const TMainObject* settings = nullptr;
        /// The detailed report reads its calls along these, when the database has them.
        std::optional<stmt::DateIndexes> indexes;
        bool showPages = false; ///< hand the pages over while they are laid out
    };
    enum class State
    {
        Idle,
        Running,
        Finished,
        Stopped,
        Failed,   ///< failure() or errorString() tells why
        NoTariffs ///< the cost report on a database without tariffs
    };

    explicit ReportRun(QObject* parent = nullptr);

    /// Starts a run; does nothing while one runs.
    void start(Request request);
    /// The run ends as soon as the worker looks (a fetch is cancelled on the server), with
    /// finished(Stopped). Does nothing when none runs.
    void stop();
    State state() const { return m_state; }
    bool running() const { return m_state == State::Running; }

    /// The totals and title of the last run, once it has ended (zeros when it failed early).
    const ReportTotals& totals() const { return m_totals; }
    /// The pages of the last run that finished.
    std::shared_ptr<const report::PreparedReport> pages() const { return m_pages; }
    /// The database's failure of the last run; null when it was none.
    std::exception_ptr failure() const { return m_failure; }
    /// Why the last run could not lay its pages out (the engine's reason).
    const QString& errorString() const { return m_error; }

signals:
    /// Pages laid out so far, and the pages in all once known (0 while they are counted).
    void progress(int pages, int totalPages);
    /// The pages complete so far, a copy nobody changes any more.
    void pagesLaidOut(std::shared_ptr<const report::PreparedReport> pages);
    void finished(ReportRun::State state);

private:
    void work(const Request& request);
    void end();

    State m_state = State::Idle;
    ReportTotals m_totals; // the worker's during a run
    std::shared_ptr<const report::PreparedReport> m_pages;
    std::exception_ptr m_failure;
    QString m_error;
    State m_outcome = State::Idle; // the worker's, read once it has ended
    WorkerThread m_worker;         // last, so it goes first: stops the worker, which uses the rest
};
