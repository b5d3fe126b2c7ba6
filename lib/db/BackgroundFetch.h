// A statement's rows fetched by a worker thread over an attachment of its own.
#pragma once

#include "DbError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace Firebird {
class IAttachment;
class IMessageMetadata;
} // namespace Firebird

namespace db {

class WorkerAttachment;

/// Runs one statement on a worker thread and hands its rows over as raw output messages.
///
/// The worker fetches over an attachment of its own (a WorkerAttachment, attached with the
/// caller's name and parameter lines unless an earlier run left it attached), starts a
/// transaction with the given parameter words, prepares the text (unless the attachment has
/// it prepared already) and opens the cursor with the caller's message formats, so the
/// messages come in exactly the layout the caller described. The engine serialises the calls
/// made on one attachment, and a fetch can wait seconds on the server's sort: on an attachment
/// of its own the worker never makes the caller's thread wait for it, and nothing the caller
/// does on its own attachment waits for the worker.
///
/// Rows go out in batches: a small first one, then larger ones, and any rows that have waited
/// long enough, also while the worker waits on the server for the next row (take() picks them
/// up), so a statement that finds few rows over a long scan shows each one soon.
///
/// Only the object's owner calls its members; `arrived` is called on the worker thread when
/// rows wait after none did, and once more when the worker ends. The owner then calls take().
/// Destroying the object stops the worker and waits for it. A stop that had to interrupt the
/// server, and a lost connection, leave the attachment detached (the next run attaches again).
class BackgroundFetch
{
public:
    struct Request
    {
        QString database;
        QStringList params;                                  ///< the Database's parameter lines
        QStringList transactionParams;                       ///< the Transaction's parameter words
        QString sql;                                         ///< positional text
        Firebird::IMessageMetadata* inputMetadata = nullptr; ///< null without parameters
        QByteArray input;
        Firebird::IMessageMetadata* outputMetadata = nullptr;
        unsigned messageLength = 0;
        /// Where the worker fetches; a new one when null.
        std::shared_ptr<WorkerAttachment> attachment;
    };
    /// Fetched messages, `messageLength` bytes each, in fetch order.
    struct Batch
    {
        std::vector<unsigned char> data;
        std::size_t rows = 0;
    };
    enum class State
    {
        Running,
        Finished,
        Stopped,
        Failed
    };

    /// Starts the worker. The metadata of the request gets references of its own.
    BackgroundFetch(Request request, std::function<void()> arrived);
    ~BackgroundFetch();
    Q_DISABLE_COPY(BackgroundFetch)

    /// Appends the batches waiting to `out`, and the rows of the batch being filled that have
    /// waited long enough; returns the state as it was when they were taken (Running: more
    /// may come).
    State take(std::vector<Batch>& out);
    /// The error that ended a Failed fetch.
    std::optional<DbError> error() const;
    /// Asks the server to cancel what the worker waits for and waits until the worker ended.
    /// Batches not taken yet are dropped. Never throws.
    void stop() noexcept;

private:
    void run();
    void fetchAll();
    void push();
    void finish(State state, std::optional<DbError> error = std::nullopt);

    Request m_request;
    std::function<void()> m_arrived;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    std::vector<Batch> m_waiting;
    std::size_t m_waitingRows = 0;
    bool m_told = false; // `arrived` was called and nothing was taken since
    std::atomic<bool> m_stop{false};
    bool m_cancelled = false; // the server was asked to interrupt the worker
    State m_state = State::Running;
    std::optional<DbError> m_error;
    Firebird::IAttachment* m_attachment = nullptr; // the worker's, while it may be cancelled
    // The batch being filled: the worker writes row m_currentRows outside the lock and then
    // publishes it; take() copies published rows under the lock. Its buffer is sized, and the
    // batch moved, only under the lock.
    Batch m_current;
    std::atomic<std::size_t> m_currentRows{0};
    std::size_t m_currentTaken = 0;           // rows of it take() has copied out
    std::atomic<long long> m_currentSince{0}; // steady clock, ns: its oldest row not taken
    std::thread m_thread;
};

} // namespace db
