// The load of lines worked out on a worker thread over an attachment of its own.
#pragma once

#include "LineLoad.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace db {
class Database;
}

/// Reads the calls of the period in date order on a worker (its own attachment, its own
/// read-only transaction) and sweeps them there one by one: the window thread only hears of the
/// progress and the end. Belongs to the window thread; destroying it stops the worker and waits.
class LineLoadRun : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QString database;
        QStringList params;            ///< the Database's parameter lines
        QStringList transactionParams; ///< read-only words of the program's reading transaction
        bool navigateByDate = false;   ///< the database has the date index
        LineLoadOptions options;
    };
    enum class State
    {
        Idle,
        Running,
        Finished,
        Stopped,
        Failed
    };

    explicit LineLoadRun(QObject* parent = nullptr);
    ~LineLoadRun() override;

    /// Starts a run; does nothing while one runs.
    void start(Request request);
    /// Asks the worker to stop; finished(Stopped) follows. Does nothing when none runs.
    void stop();
    State state() const { return m_state; }
    bool running() const { return m_state == State::Running; }
    /// The figures of the last run that finished.
    const LineLoadResult& result() const { return m_result; }
    /// Why the last run failed (the server's message).
    const QString& error() const { return m_error; }

signals:
    /// Calls read so far.
    void progress(qint64 calls);
    void finished(LineLoadRun::State state);

private:
    void work(Request request);
    void end(State state, LineLoadResult result, QString error);
    void join();

    State m_state = State::Idle;
    LineLoadResult m_result;
    QString m_error;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;                 // guards m_database against the worker's open and close
    db::Database* m_database = nullptr; // the worker's, while it may be cancelled
    std::thread m_thread;
};
