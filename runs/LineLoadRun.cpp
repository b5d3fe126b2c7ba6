// The workers of the load of lines: forward reads of the period's calls, swept as they come.
#include "LineLoadRun.h"

#include "data/Period.h"
#include "data/Statements.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Transaction.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <numeric>

namespace {
// How often the window hears how far the reading is.
constexpr qint64 ProgressEvery = 50000;
// The shortest piece worth an attachment of its own: each reads a day before its first.
constexpr int PieceDays = 7;
} // namespace

LineLoadRun::LineLoadRun(QObject* parent)
    : QObject(parent), m_job(
                           [this](qint64 calls) {
                               // The pieces tell their sums in any order: only growth is news.
                               if (calls > m_told)
                                   emit progress(m_told = calls);
                           },
                           [this](State state) {
                               if (state == State::Finished)
                                   m_result = std::move(m_swept);
                               m_swept = LineLoadResult();
                               emit finished(state);
                           })
{
}

void LineLoadRun::setStepHook(std::function<void(qint64)> hook)
{
    m_job.setStepHook(std::move(hook));
}

void LineLoadRun::start(Request request)
{
    if (running())
        return;
    m_read = 0;
    m_told = 0;
    m_failure = nullptr;
    const int workers =
        request.workers > 0 ? request.workers : std::clamp(QThread::idealThreadCount(), 1, 4);
    std::vector<LineLoadOptions> pieces = LineLoad::split(request.options, workers, PieceDays);
    const std::size_t parts = pieces.size();
    m_job.start([this, request = std::move(request),
                 pieces = std::move(pieces)](Context& job) { work(job, request, pieces); },
                parts);
}

void LineLoadRun::stop()
{
    m_job.stop(); // a fetch waiting on the server ends at once
}

void LineLoadRun::work(Context& job, const Request& request,
                       const std::vector<LineLoadOptions>& pieces)
{
    std::vector<std::size_t> indexes(pieces.size());
    std::iota(indexes.begin(), indexes.end(), std::size_t(0));
    // Side by side on the runs' pool, this thread reading one of them; in their order.
    std::vector<LineLoadResult> swept =
        QtConcurrent::blockingMappedReduced<std::vector<LineLoadResult>>(
            &runs::pool(), indexes,
            [&](std::size_t i) {
                Request piece = request;
                piece.options = pieces[i];
                return readPiece(job, piece, i);
            },
            [](std::vector<LineLoadResult>& all, const LineLoadResult& one) { all.push_back(one); },
            QtConcurrent::OrderedReduce);
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (!job.stopping())
        m_swept = LineLoad::combine(swept);
}

LineLoadResult LineLoadRun::readPiece(Context& job, const Request& request, std::size_t piece)
{
    LineLoad load(request.options);
    try {
        WorkerReading reading(job.cancelSlot(piece), request.place);
        db::Database& database = reading.database;
        db::Transaction& transaction = reading.transaction;
        db::ForwardQuery calls(database, transaction);
        const stmt::Period period{request.options.from, request.options.to};
        stmt::lineLoadCalls(period.start().addSecs(-LineLoad::carryIn()), period.end(),
                            request.navigateByDate)
            .applyTo(calls);
        if (!job.stopping())
            calls.open();
        const db::Field& date = calls.field(QStringLiteral("RINGDATE"));
        const db::Field& line = calls.field(QStringLiteral("RLINE"));
        const db::Field& talk = calls.field(QStringLiteral("TALK"));
        qint64 count = 0;
        while (!job.stopping() && calls.next()) {
            load.add(LineLoad::secondOf(date.asDate(), date.asTime()), talk.asInteger(),
                     line.asInteger());
            if (++count % ProgressEvery == 0)
                job.tell(m_read += ProgressEvery);
        }
        calls.close();
        transaction.rollbackQuietly(); // read only: nothing to keep
        return load.finish();
    } catch (...) {
        std::lock_guard lock(m_mutex);
        // What the others say once cancelled is not news.
        if (!m_failure && !job.stopping()) {
            m_failure = std::current_exception();
            job.cancelParts();
        }
    }
    return {};
}
