// A statement's rows fetched by a worker thread over an attachment of its own.
#pragma once

#include "DbError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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

/// Runs one statement on a worker thread and hands its rows over as raw output messages.
///
/// The worker attaches to the database on its own (same name and parameter lines), starts a
/// transaction with the given parameter words, prepares the text and opens the cursor with the
/// caller's message formats, so the messages come in exactly the layout the caller described.
/// The engine serialises the calls made on one attachment, and a fetch can wait seconds on
/// the server's sort: on an attachment of its own the worker never makes the caller's thread
/// wait for it, and nothing the caller does on its own attachment waits for the worker.
///
/// Only the object's owner calls its members; `arrived` is called on the worker thread when
/// rows wait after none did, and once more when the worker ends. The owner then calls take().
/// Destroying the object stops the worker and waits for it.
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
    BackgroundFetch(const BackgroundFetch&) = delete;
    BackgroundFetch& operator=(const BackgroundFetch&) = delete;

    /// Appends the batches waiting to `out`; returns the state as it was when they were taken
    /// (Running: more may come).
    State take(std::vector<Batch>& out);
    /// The error that ended a Failed fetch.
    std::optional<DbError> error() const;
    /// Asks the server to cancel what the worker waits for and waits until the worker ended.
    /// Batches not taken yet are dropped. Never throws.
    void stop() noexcept;

private:
    void run();
    void push(Batch& batch);
    void finish(State state, std::optional<DbError> error = std::nullopt);

    Request m_request;
    std::function<void()> m_arrived;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    std::vector<Batch> m_waiting;
    std::size_t m_waitingRows = 0;
    bool m_told = false; // `arrived` was called and nothing was taken since
    bool m_stop = false;
    State m_state = State::Running;
    std::optional<DbError> m_error;
    Firebird::IAttachment* m_attachment = nullptr; // the worker's, while it may be cancelled
    std::thread m_thread;
};

} // namespace db
