// The worker of the load of lines: one forward read of the period's calls, swept as they come.
#include "LineLoadRun.h"

#include "data/Statements.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Transaction.h"

#include <QMetaObject>

namespace {
// How often the window hears how far the read is.
constexpr qint64 ProgressEvery = 50000;
} // namespace

LineLoadRun::LineLoadRun(QObject* parent) : QObject(parent) {}

LineLoadRun::~LineLoadRun()
{
    m_stop = true;
    {
        std::lock_guard lock(m_mutex);
        if (m_database)
            m_database->cancelOperation();
    }
    join();
}

void LineLoadRun::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void LineLoadRun::start(Request request)
{
    if (running())
        return;
    join(); // the last worker has said its end already
    m_stop = false;
    m_error.clear();
    m_state = State::Running;
    m_thread = std::thread([this, request = std::move(request)]() mutable { work(request); });
}

void LineLoadRun::stop()
{
    if (!running())
        return;
    m_stop = true;
    std::lock_guard lock(m_mutex);
    if (m_database)
        m_database->cancelOperation(); // a fetch waiting on the server's sort ends at once
}

void LineLoadRun::work(Request request)
{
    LineLoad load(request.options);
    State state = State::Finished;
    QString error;
    try {
        db::Database database;
        database.setDatabaseName(request.database);
        database.params() = request.params;
        database.open();
        {
            std::lock_guard lock(m_mutex);
            m_database = &database;
        }
        // No longer cancellable once the attachment goes, also when this throws.
        struct Forget
        {
            LineLoadRun* self;
            ~Forget()
            {
                std::lock_guard lock(self->m_mutex);
                self->m_database = nullptr;
            }
        } forget{this};
        db::Transaction transaction(database);
        transaction.params() = request.transactionParams;
        transaction.start();
        db::ForwardQuery calls(database, transaction);
        const stmt::Period period{request.options.from, request.options.to};
        stmt::lineLoadCalls(period.start().addSecs(-LineLoad::carryIn()), period.end(),
                            request.navigateByDate)
            .applyTo(calls);
        if (!m_stop)
            calls.open();
        const db::Field& date = calls.field(QStringLiteral("RINGDATE"));
        const db::Field& line = calls.field(QStringLiteral("RLINE"));
        const db::Field& hours = calls.field(QStringLiteral("TIMEHOUR"));
        const db::Field& minutes = calls.field(QStringLiteral("TIMEMIN"));
        const db::Field& seconds = calls.field(QStringLiteral("TIMESEC"));
        qint64 count = 0;
        while (!m_stop && calls.next()) {
            const qint64 length = 3600 * qint64(hours.asInteger()) +
                                  60 * qint64(minutes.asInteger()) + seconds.asInteger();
            load.add(LineLoad::secondOf(date.asDate(), date.asTime()), length, line.asInteger());
            if (++count % ProgressEvery == 0)
                QMetaObject::invokeMethod(
                    this, [this, count] { emit progress(count); }, Qt::QueuedConnection);
        }
        calls.close();
        transaction.rollbackQuietly(); // read only: nothing to keep
        load.finish();
    } catch (const db::DbError& e) {
        state = State::Failed;
        error = e.message();
    } catch (const std::exception& e) {
        state = State::Failed;
        error = QString::fromLocal8Bit(e.what());
    }
    if (m_stop)
        state = State::Stopped;
    LineLoadResult result = load.result();
    QMetaObject::invokeMethod(
        this,
        [this, state, result = std::move(result), error]() mutable {
            end(state, std::move(result), error);
        },
        Qt::QueuedConnection);
}

void LineLoadRun::end(State state, LineLoadResult result, QString error)
{
    join();
    m_state = state;
    if (state == State::Finished)
        m_result = std::move(result);
    m_error = std::move(error);
    emit finished(state);
}
