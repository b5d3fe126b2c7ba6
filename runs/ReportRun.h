// One run of the reports window (query, totals, layout) as a job on the runs' pool.
#pragma once

#include "Job.h"
#include "ReportValues.h"
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
/// and lays the pages out, all in one job (runs::Job); the window thread hears of the
/// progress, of the first pages and of the end.
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
/// is read by the job (the number masks) and must not change during a run. Destroying it
/// stops a run under way and waits for it, emitting nothing more.
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
    /// Failed: failure() tells why. Finished without pages: noTariffs().
    using State = runs::RunState;

    explicit ReportRun(QObject* parent = nullptr);

    /// Starts a run; does nothing while one runs.
    void start(Request request);
    /// The run ends as soon as the worker looks (a fetch is cancelled on the server), with
    /// finished(Stopped). Does nothing when none runs.
    void stop();
    State state() const { return m_job.state(); }
    bool running() const { return m_job.running(); }
    /// The last run was the cost report on a database without tariffs: it finished with no
    /// pages.
    bool noTariffs() const { return m_noTariffs; }

    /// The totals and title of the last run, once it has ended (zeros when it failed early).
    const ReportTotals& totals() const { return m_totals; }
    /// The pages of the last run that finished.
    std::shared_ptr<const report::PreparedReport> pages() const { return m_pages; }
    /// Why the last run failed: the database's error, or a runs::RunFailure with the engine's
    /// reason the pages could not be laid out; null when it did not.
    std::exception_ptr failure() const { return m_job.failure(); }
    /// Called on the job's thread with each piece of news, before it is told
    /// (Job::setStepHook).
    void setStepHook(std::function<void(int pages)> hook);

signals:
    /// Pages laid out so far, and the pages in all once known (0 while they are counted).
    void progress(int pages, int totalPages);
    /// The pages complete so far, a copy nobody changes any more.
    void pagesLaidOut(std::shared_ptr<const report::PreparedReport> pages);
    void finished(ReportRun::State state);

private:
    /// What the job tells: the pages laid out and in all, and now and then a copy of the
    /// complete pages, in a box the window thread empties (the future keeps every piece of
    /// news until the next run; the copies must not stay with it).
    struct News
    {
        int pages = 0;
        int totalPages = 0;
        std::shared_ptr<std::shared_ptr<const report::PreparedReport>> copy;
    };
    using Context = runs::JobContext<News>;
    class Layout;

    void work(Context& job, const Request& request);
    void costReport(Context& job, WorkerReading& reading, const Request& request);
    void detailedReport(Context& job, WorkerReading& reading, const Request& request);
    void summaryReport(Context& job, WorkerReading& reading, const Request& request);
    void told(const News& news);

    ReportTotals m_totals;                                 // the job's during a run
    std::shared_ptr<const report::PreparedReport> m_pages; // likewise
    bool m_noTariffs = false;                              // likewise
    runs::Job<News> m_job; // last, so it goes first: stops the job, which uses the rest
};
