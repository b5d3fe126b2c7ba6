// A worker's own attachment and read-only transaction, which the window thread may cancel.
#pragma once

#include "db/Database.h"
#include "db/Transaction.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <thread>

class TDM;

/// Where a worker reads: the program's database, its parameter lines and the words of the
/// program's read-only transaction.
struct ReadingPlace
{
    QString database;
    QStringList params;
    QStringList transactionParams;
};

/// The place the data module reads from, for a worker to read there too.
ReadingPlace readingPlaceOf(TDM& dm);

/// What the window thread holds to cancel one worker's reading: the worker's attachment while
/// a WorkerReading registers it. Threads: cancel() from any thread.
class CancelSlot
{
public:
    /// A call waiting on the server over the registered attachment ends at once (the worker
    /// sees a DbError); nothing when none is registered.
    void cancel()
    {
        std::lock_guard lock(m_mutex);
        if (m_database)
            m_database->cancelOperation();
    }

private:
    friend class WorkerReading;
    std::mutex m_mutex;
    db::Database* m_database = nullptr;
};

/// How a worker's run stands: the window thread's view of it.
enum class WorkerState
{
    Idle,
    Running,
    Finished,
    Stopped,
    Failed
};

/// One worker thread at a time and what stops it: a flag the worker looks at and the cancel
/// slot of its attachment (WorkerReading). Threads: start(), stop() and join() on the thread
/// that owns it; stopping() and cancelSlot() on the worker. Destroying it stops the worker and
/// waits for it.
class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread()
    {
        stop();
        join();
    }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    /// Runs `work` on a new thread, once the last one has ended (it must have said its end).
    template <class Work> void start(Work&& work)
    {
        join();
        m_stop = false;
        m_thread = std::thread(std::forward<Work>(work));
    }
    /// The worker stops as soon as it looks; a call waiting on the server ends at once.
    void stop()
    {
        m_stop = true;
        m_cancel.cancel();
    }
    bool stopping() const { return m_stop; }
    CancelSlot& cancelSlot() { return m_cancel; }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    CancelSlot m_cancel;
    std::thread m_thread;
};

/// Attaches to the place's database with its parameter lines, registers the attachment with
/// `slot` and starts a transaction with the place's read-only words; throws
/// DbError. Going, it unregisters first (no longer cancellable), then the transaction rolls
/// back and the attachment goes.
/// Used on the worker's thread.
class WorkerReading
{
public:
    WorkerReading(CancelSlot& slot, const ReadingPlace& place);
    ~WorkerReading();
    WorkerReading(const WorkerReading&) = delete;
    WorkerReading& operator=(const WorkerReading&) = delete;

    db::Database database;
    db::Transaction transaction{database};

private:
    void unregister();
    CancelSlot& m_slot;
};
