// The load of lines worked out on worker threads, each over an attachment of its own.
#pragma once

#include "LineLoad.h"
#include "WorkerReading.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

/// Reads the calls of the period in date order on workers (each its own attachment and
/// read-only transaction) and sweeps them there one by one: a long period is cut at midnights
/// into pieces read side by side, one a processor, and their figures put together. The window
/// thread only hears of the progress and the end. Belongs to the window thread; destroying it
/// stops the workers and waits.
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
    using State = WorkerState;

    explicit LineLoadRun(QObject* parent = nullptr);
    ~LineLoadRun() override;

    /// Starts a run; does nothing while one runs.
    void start(Request request);
    /// Asks the workers to stop; finished(Stopped) follows. Does nothing when none runs.
    void stop();
    State state() const { return m_state; }
    bool running() const { return m_state == State::Running; }
    /// The figures of the last run that finished.
    const LineLoadResult& result() const { return m_result; }
    /// Why the last run failed (a db::DbError as the database said it); null otherwise.
    std::exception_ptr failure() const { return m_failure; }

signals:
    /// Calls read so far.
    void progress(qint64 calls);
    void finished(LineLoadRun::State state);

private:
    void work(const Request& request, std::size_t piece);
    void fail(std::exception_ptr failure);
    void stopAll();
    bool stopping() const;
    void end();

    State m_state = State::Idle;
    LineLoadResult m_result;
    std::exception_ptr m_failure;
    std::atomic<qint64> m_read{0};
    std::atomic<int> m_pending{0};
    std::mutex m_mutex; // guards m_failure
    std::vector<LineLoadResult> m_pieces; // each worker writes its own
    // A worker a piece, all stopped together; last, as they use the rest.
    std::vector<std::unique_ptr<WorkerThread>> m_workers;
};
