// Subscribers' detailed reports for the mailing, each built as a job over an attachment kept
// for the run.
#pragma once

#include "Job.h"

#include "SubscriberReport.h"
#include "report/ReportTemplate.h"

#include <QDate>
#include <QObject>
#include <QStringList>

#include <optional>

class TMainObject;

/// Builds one subscriber's report at a time as a job (runs::Job): the query, the totals, the
/// layout and the PDF, so the window thread only hears of the pages laid out and of the end.
/// The first build attaches (an attachment and read-only transaction of its own); the
/// attachment is kept for the next builds until the object goes.
/// Threads: belongs to the window thread; every signal is emitted there. The settings object
/// is read by the job (the number masks) and must not change while the object lives.
/// Destroying it stops a build under way and waits for it, emitting nothing more; the
/// attachment goes then, on the owner's thread.
class SubscriberReportWorker : public QObject
{
    Q_OBJECT
public:
    struct Setup
    {
        ReadingPlace place; ///< the program's database and reading transaction
        QDate from;
        QDate to;
        report::ReportTemplate layout; ///< the detailed report's, loaded already
        const TMainObject* settings = nullptr;
    };
    /// Pages laid out so far of the report under way, and its pages in all.
    struct Pages
    {
        int laidOut = 0;
        int total = 0;
    };

    explicit SubscriberReportWorker(Setup setup, QObject* parent = nullptr);
    ~SubscriberReportWorker() override;

    /// Starts the report of one subscriber; built() follows with the same id. Does nothing
    /// while a build is under way or after stop().
    void build(int id, int numberIn);
    bool busy() const { return m_job.running(); }
    /// The build under way ends as soon as the job looks (a fetch is cancelled on the server),
    /// with built(Stopped); later build() calls are refused.
    void stop();
    /// Why the last build failed: the database's error, or a runs::RunFailure with the reason
    /// the report could not be laid out or written.
    std::exception_ptr failure() const { return m_job.failure(); }

signals:
    void pagesLaidOut(int id, int pages, int totalPages);
    /// The calls are his when the state is Finished, else empty.
    void built(int id, runs::RunState state, const SubscriberReport::Calls& calls);

private:
    void work(runs::JobContext<Pages>& job, int numberIn);

    const Setup m_setup;
    bool m_stopped = false;
    int m_id = 0;           // the subscriber of the build under way
    runs::Job<Pages> m_job; // first, so that the attachment registered in it goes before it
    // The job's while it runs; kept between builds.
    std::optional<WorkerReading> m_reading;
    std::optional<SubscriberReport> m_report;
    SubscriberReport::Calls m_calls;
};
