// The load of lines worked out on worker threads, each over an attachment of its own.
#pragma once

#include "Job.h"
#include "LineLoad.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

/// Reads the calls of the period in date order as a job (runs::Job), each piece over an
/// attachment and read-only transaction of its own, and sweeps them one by one: a long period
/// is cut at midnights into pieces read side by side (QtConcurrent::blockingMappedReduced on
/// the runs' pool), one a processor, and their figures put together. A piece that fails
/// cancels the others' statements, and the run fails with its error. The window thread only
/// hears of the progress and the end. Belongs to the window thread and signals there;
/// destroying it stops the pieces and waits.
class LineLoadRun : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        ReadingPlace place;          ///< the program's database and reading transaction
        bool navigateByDate = false; ///< the database has the date index
        LineLoadOptions options;
        int workers = 0; ///< pieces read at once at most; 0: one a processor, up to four
    };
    using State = runs::RunState;

    explicit LineLoadRun(QObject* parent = nullptr);

    /// Starts a run; does nothing while one runs.
    void start(Request request);
    /// Asks the workers to stop; finished(Stopped) follows. Does nothing when none runs.
    void stop();
    State state() const { return m_job.state(); }
    bool running() const { return m_job.running(); }
    /// The figures of the last run that finished.
    const LineLoadResult& result() const { return m_result; }
    /// Why the last run failed (a db::DbError as the database said it); null otherwise.
    std::exception_ptr failure() const { return m_job.failure(); }
    /// Called on the job's threads with the calls read, before they are told (Job::setStepHook).
    void setStepHook(std::function<void(qint64)> hook);

signals:
    /// Calls read so far.
    void progress(qint64 calls);
    void finished(LineLoadRun::State state);

private:
    using Context = runs::JobContext<qint64>;
    void work(Context& job, const Request& request, const std::vector<LineLoadOptions>& pieces);
    LineLoadResult readPiece(Context& job, const Request& request, std::size_t piece);

    LineLoadResult m_result;
    LineLoadResult m_swept; // the job's during a run
    std::atomic<qint64> m_read{0};
    std::mutex m_mutex;           // guards m_failure
    std::exception_ptr m_failure; // the first piece's that failed, during a run
    qint64 m_told = 0;            // the most calls told to the window
    runs::Job<qint64> m_job;      // last, so it goes first: stops the job, which uses the rest
};
