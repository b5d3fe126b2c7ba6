// A statement's rows fetched by a worker thread over an attachment of its own.
#include "BackgroundFetch.h"

#include "Database.h"
#include "FbApi.h"
#include "Transaction.h"
#include "WorkerAttachment.h"

#include <chrono>

using namespace Firebird;

namespace db {

namespace {

// The first batch is small, so the first screen of rows goes out as soon as it is there;
// later ones are larger, which keeps the hand-over cheap.
constexpr std::size_t FirstBatchRows = 64;
constexpr std::size_t BatchRows = 4096;
// Rows that have waited this long go out however few they are.
constexpr long long BatchAgeNs = 40'000'000;
// The worker waits while this many rows are not taken yet, so a slow taker never makes the
// raw messages pile up.
constexpr std::size_t MaxWaitingRows = 65536;

long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void addRef(IMessageMetadata* m)
{
    if (m)
        m->addRef();
}

} // namespace

BackgroundFetch::BackgroundFetch(Request request, std::function<void()> arrived)
    : m_request(std::move(request)), m_arrived(std::move(arrived))
{
    if (!m_request.attachment)
        m_request.attachment = std::make_shared<WorkerAttachment>();
    addRef(m_request.inputMetadata);
    addRef(m_request.outputMetadata);
    m_thread = std::thread([this] { run(); });
}

BackgroundFetch::~BackgroundFetch()
{
    stop();
    if (m_request.inputMetadata)
        m_request.inputMetadata->release();
    if (m_request.outputMetadata)
        m_request.outputMetadata->release();
}

BackgroundFetch::State BackgroundFetch::take(std::vector<Batch>& out)
{
    std::lock_guard lock(m_mutex);
    for (Batch& b : m_waiting)
        out.push_back(std::move(b));
    m_waiting.clear();
    m_waitingRows = 0;
    m_told = false;
    m_room.notify_all();
    // Rows that wait in the batch being filled, maybe while the server looks for the next one.
    const std::size_t rows = m_currentRows.load(std::memory_order_acquire);
    if (rows > m_currentTaken) {
        const long long now = nowNs();
        if (now - m_currentSince.load() >= BatchAgeNs) {
            const std::size_t length = m_request.messageLength;
            Batch b;
            b.data.assign(m_current.data.begin() + std::ptrdiff_t(m_currentTaken * length),
                          m_current.data.begin() + std::ptrdiff_t(rows * length));
            b.rows = rows - m_currentTaken;
            out.push_back(std::move(b));
            m_currentTaken = rows;
            m_currentSince.store(now);
        }
    }
    return m_state;
}

std::optional<DbError> BackgroundFetch::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void BackgroundFetch::stop() noexcept
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_attachment && !m_cancelled) {
            // Interrupts a fetch that waits on the server (its sort, its reads).
            fb::Status st;
            m_attachment->cancelOperation(&st, fb_cancel_raise);
            m_cancelled = true;
        }
        m_waiting.clear();
        m_waitingRows = 0;
        m_room.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundFetch::push()
{
    const std::size_t length = m_request.messageLength;
    bool tell = false;
    {
        std::unique_lock lock(m_mutex);
        const std::size_t rows = m_currentRows.load(std::memory_order_relaxed);
        if (rows > m_currentTaken) {
            m_room.wait(lock, [this] { return m_stop || m_waitingRows < MaxWaitingRows; });
            if (m_stop)
                return;
            Batch b;
            if (m_currentTaken == 0) {
                b = std::move(m_current);
                b.data.resize(rows * length);
            } else {
                b.data.assign(m_current.data.begin() + std::ptrdiff_t(m_currentTaken * length),
                              m_current.data.begin() + std::ptrdiff_t(rows * length));
            }
            b.rows = rows - m_currentTaken;
            m_waitingRows += b.rows;
            m_waiting.push_back(std::move(b));
            tell = !m_told;
            m_told = true;
        }
        m_current.data.resize(BatchRows * length);
        m_current.rows = 0;
        m_currentTaken = 0;
        m_currentRows.store(0, std::memory_order_relaxed);
    }
    if (tell && m_arrived)
        m_arrived();
}

void BackgroundFetch::finish(State state, std::optional<DbError> error)
{
    {
        std::lock_guard lock(m_mutex);
        m_state = m_stop ? State::Stopped : state;
        if (!m_stop)
            m_error = std::move(error);
        m_attachment = nullptr;
    }
    if (m_arrived)
        m_arrived();
}

void BackgroundFetch::run()
{
    WorkerAttachment& attachment = *m_request.attachment;
    auto cancelled = [this] {
        std::lock_guard lock(m_mutex);
        return m_cancelled;
    };
    try {
        fetchAll();
    } catch (const DbError& e) {
        // A cancel may still be pending on the attachment, and a lost one is of no more use.
        if (e.connectionLost() || cancelled())
            attachment.discard();
        finish(State::Failed, e);
        return;
    } catch (const std::exception& e) {
        attachment.discard();
        finish(State::Failed, DbError(QString::fromLocal8Bit(e.what())));
        return;
    }
    if (cancelled())
        attachment.discard();
    finish(State::Finished);
}

void BackgroundFetch::fetchAll()
{
    if (m_stop)
        return;
    WorkerAttachment& attachment = *m_request.attachment;
    Database& database = attachment.attach(m_request.database, m_request.params);
    {
        std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        m_attachment = database.attachment();
    }
    // Stops being cancellable before the run's objects go, also when this throws.
    struct Forget
    {
        BackgroundFetch* self;
        ~Forget()
        {
            std::lock_guard lock(self->m_mutex);
            self->m_attachment = nullptr;
        }
    } forget{this};
    Transaction transaction(database);
    transaction.params() = m_request.transactionParams;
    transaction.start();

    fb::Status st;
    QByteArray input = m_request.input;
    bool reused = false;
    IStatement* statement = attachment.statement(transaction.handle(), m_request.sql, reused);
    auto open = [&] {
        return statement->openCursor(
            &st, transaction.handle(), m_request.inputMetadata,
            m_request.inputMetadata ? reinterpret_cast<unsigned char*>(input.data()) : nullptr,
            m_request.outputMetadata, 0);
    };
    fb::Handle<IResultSet> cursor(open());
    if (st.failed() && reused && !m_stop && !st.error().connectionLost()) {
        // A statement kept from an earlier run may no longer fit the tables: prepare it again.
        st.clear();
        attachment.forget(m_request.sql);
        statement = attachment.statement(transaction.handle(), m_request.sql, reused);
        cursor.reset(open());
    }
    st.check();

    const std::size_t length = m_request.messageLength;
    std::size_t target = FirstBatchRows;
    {
        std::lock_guard lock(m_mutex);
        m_current.data.resize(target * length);
    }
    std::size_t rows = 0;
    bool stopped = false;
    while (!(stopped = m_stop)) {
        // Only this thread resizes or moves the batch, so its buffer stays put while filled.
        const int r = cursor->fetchNext(&st, m_current.data.data() + rows * length);
        if (r != IStatus::RESULT_OK) {
            if (st.failed()) {
                push(); // the rows before the one the server refused go out first
                st.check();
            }
            break; // the end of the result
        }
        const long long now = nowNs();
        if (rows == 0)
            m_currentSince.store(now);
        ++rows;
        m_currentRows.store(rows, std::memory_order_release);
        if (rows >= target || now - m_currentSince.load() > BatchAgeNs) {
            push();
            rows = 0;
            target = BatchRows;
        }
    }
    if (!stopped)
        push();
    fb::endQuietly(cursor, fb::Close);
    transaction.rollbackQuietly(); // read only: nothing to keep
}

} // namespace db
