// A worker's own attachment and read-only transaction, which the window thread may cancel.
#pragma once

#include "db/Database.h"
#include "db/Transaction.h"

#include <QString>
#include <QStringList>

#include <mutex>

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

/// What the owner of a job holds to cancel one worker's reading: the worker's attachment while
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
