// The workers of the load of lines: forward reads of the period's calls, swept as they come.
#include "LineLoadRun.h"

#include "data/Period.h"
#include "data/Statements.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Transaction.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace {
// How often the window hears how far the reading is.
constexpr qint64 ProgressEvery = 50000;
// The shortest piece worth an attachment of its own: each reads a day before its first.
constexpr int PieceDays = 7;
} // namespace

LineLoadRun::LineLoadRun(QObject* parent) : QObject(parent) {}

LineLoadRun::~LineLoadRun()
{
    m_workers.clear(); // each stops and is waited for
}

void LineLoadRun::stopAll()
{
    for (const std::unique_ptr<WorkerThread>& worker : m_workers)
        worker->stop(); // a fetch waiting on the server ends at once
}

bool LineLoadRun::stopping() const
{
    return !m_workers.empty() && m_workers.front()->stopping();
}

void LineLoadRun::start(Request request)
{
    if (running())
        return;
    m_workers.clear(); // the last workers have said their end already
    m_read = 0;
    m_failure = nullptr;
    m_state = State::Running;
    const int workers =
        request.workers > 0 ? request.workers : std::clamp(QThread::idealThreadCount(), 1, 4);
    const std::vector<LineLoadOptions> pieces =
        LineLoad::split(request.options, workers, PieceDays);
    m_pieces.assign(pieces.size(), {});
    for (std::size_t i = 0; i < pieces.size(); ++i)
        m_workers.push_back(std::make_unique<WorkerThread>());
    m_pending = int(pieces.size());
    auto shared = std::make_shared<const Request>(std::move(request));
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        auto piece = std::make_shared<Request>(*shared);
        piece->options = pieces[i];
        m_workers[i]->start([this, piece, i] { work(*piece, i); });
    }
}

void LineLoadRun::stop()
{
    if (running())
        stopAll();
}

void LineLoadRun::fail(std::exception_ptr failure)
{
    {
        std::lock_guard lock(m_mutex);
        // What the others say once cancelled is not news.
        if (m_failure || stopping())
            return;
        m_failure = std::move(failure);
    }
    stopAll();
}

void LineLoadRun::work(const Request& request, std::size_t piece)
{
    LineLoad load(request.options);
    try {
        WorkerThread& worker = *m_workers[piece];
        WorkerReading reading(worker.cancelSlot(), request.place);
        db::Database& database = reading.database;
        db::Transaction& transaction = reading.transaction;
        db::ForwardQuery calls(database, transaction);
        const stmt::Period period{request.options.from, request.options.to};
        stmt::lineLoadCalls(period.start().addSecs(-LineLoad::carryIn()), period.end(),
                            request.navigateByDate)
            .applyTo(calls);
        if (!worker.stopping())
            calls.open();
        const db::Field& date = calls.field(QStringLiteral("RINGDATE"));
        const db::Field& line = calls.field(QStringLiteral("RLINE"));
        const db::Field& talk = calls.field(QStringLiteral("TALK"));
        qint64 count = 0;
        while (!worker.stopping() && calls.next()) {
            load.add(LineLoad::secondOf(date.asDate(), date.asTime()), talk.asInteger(),
                     line.asInteger());
            if (++count % ProgressEvery == 0) {
                const qint64 read = m_read += ProgressEvery;
                QMetaObject::invokeMethod(
                    this, [this, read] { emit progress(read); }, Qt::QueuedConnection);
            }
        }
        calls.close();
        transaction.rollbackQuietly(); // read only: nothing to keep
        m_pieces[piece] = load.finish();
    } catch (...) {
        fail(std::current_exception());
    }
    if (--m_pending == 0)
        QMetaObject::invokeMethod(this, &LineLoadRun::end, Qt::QueuedConnection);
}

void LineLoadRun::end()
{
    for (const std::unique_ptr<WorkerThread>& worker : m_workers)
        worker->join();
    if (m_failure)
        m_state = State::Failed;
    else if (stopping())
        m_state = State::Stopped;
    else {
        m_state = State::Finished;
        m_result = LineLoad::combine(m_pieces);
    }
    m_pieces.clear();
    emit finished(m_state);
}
