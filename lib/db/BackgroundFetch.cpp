#include "BackgroundFetch.h"

#include "Database.h"
#include "FbApi.h"
#include "Transaction.h"

#include <chrono>

using namespace Firebird;

namespace db {

namespace {

// The first batch is small, so the first screen of rows goes out as soon as it is there;
// later ones are larger, which keeps the hand-over cheap.
constexpr std::size_t FirstBatchRows = 64;
constexpr std::size_t BatchRows = 4096;
// A batch that has waited this long goes out however small it is.
constexpr auto BatchAge = std::chrono::milliseconds(40);
// The worker waits while this many rows are not taken yet, so a slow taker never makes the
// raw messages pile up.
constexpr std::size_t MaxWaitingRows = 65536;

void addRef(IMessageMetadata* m)
{
    if (m)
        m->addRef();
}

} // namespace

BackgroundFetch::BackgroundFetch(Request request, std::function<void()> arrived)
    : m_request(std::move(request)), m_arrived(std::move(arrived))
{
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
        if (m_attachment) {
            // Interrupts a fetch that waits on the server (its sort, its reads).
            fb::Status st;
            m_attachment->cancelOperation(&st, fb_cancel_raise);
        }
        m_waiting.clear();
        m_waitingRows = 0;
        m_room.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundFetch::push(Batch& batch)
{
    if (batch.rows == 0)
        return;
    bool tell = false;
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_stop || m_waitingRows < MaxWaitingRows; });
        if (m_stop)
            return;
        m_waitingRows += batch.rows;
        m_waiting.push_back(std::move(batch));
        tell = !m_told;
        m_told = true;
    }
    batch = Batch{};
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
    bool stopped = false;
    try {
        Database database;
        database.setDatabaseName(m_request.database);
        database.params() = m_request.params;
        {
            std::lock_guard lock(m_mutex);
            stopped = m_stop;
        }
        if (stopped) {
            finish(State::Stopped);
            return;
        }
        database.open();
        {
            std::lock_guard lock(m_mutex);
            m_attachment = database.attachment();
        }
        // Stops being cancellable before the attachment goes, also when this throws.
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
        const QByteArray sql = fb::encode(m_request.sql);
        fb::Handle<IStatement> statement(
            database.attachment()->prepare(&st, transaction.handle(), 0, sql.constData(), 3, 0));
        st.check();
        QByteArray input = m_request.input;
        fb::Handle<IResultSet> cursor(statement->openCursor(
            &st, transaction.handle(), m_request.inputMetadata,
            m_request.inputMetadata ? reinterpret_cast<unsigned char*>(input.data()) : nullptr,
            m_request.outputMetadata, 0));
        st.check();

        const std::size_t length = m_request.messageLength;
        using Clock = std::chrono::steady_clock;
        Batch batch;
        std::size_t target = FirstBatchRows;
        Clock::time_point since = Clock::now();
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                stopped = m_stop;
            }
            if (stopped)
                break;
            if (batch.data.size() < (batch.rows + 1) * length)
                batch.data.resize(target * length);
            const int r = cursor->fetchNext(&st, batch.data.data() + batch.rows * length);
            if (r != IStatus::RESULT_OK) {
                st.check();
                break; // the end of the result
            }
            if (batch.rows == 0)
                since = Clock::now();
            ++batch.rows;
            if (batch.rows >= target ||
                ((batch.rows & 63) == 0 && Clock::now() - since > BatchAge)) {
                batch.data.resize(batch.rows * length);
                push(batch);
                target = BatchRows;
            }
        }
        if (!stopped) {
            batch.data.resize(batch.rows * length);
            push(batch);
        }
        fb::endQuietly(cursor, fb::Close);
        fb::endQuietly(statement, fb::Free);
        transaction.rollbackQuietly(); // read only: nothing to keep
    } catch (const DbError& e) {
        finish(State::Failed, e);
        return;
    } catch (const std::exception& e) {
        finish(State::Failed, DbError(QString::fromLocal8Bit(e.what())));
        return;
    }
    finish(State::Finished);
}

} // namespace db
