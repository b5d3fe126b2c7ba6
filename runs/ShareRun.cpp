// The worker of the statistics pie: the talk-time sums in order, or the period's calls priced.
#include "ShareRun.h"

#include "data/CostShares.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Sql.h"
#include "db/Transaction.h"

namespace {
// How often the window hears how many calls the cost read has priced.
constexpr qint64 CostProgressEvery = 50000;
} // namespace

ShareRun::ShareRun(QObject* parent)
    : QObject(parent), m_job([this](qint64 done) { emit progress(done); },
                             [this](State state) {
                                 if (state == State::Finished)
                                     m_result = std::move(m_counted);
                                 m_counted = Result();
                                 emit finished(state);
                             })
{
}

void ShareRun::start(Request request)
{
    if (running())
        return;
    m_counted = Result();
    m_job.start([this, request = std::move(request)](Context& job) { work(job, request); });
}

void ShareRun::stop()
{
    m_job.stop(); // a sum under way ends at once
}

void ShareRun::setStepHook(std::function<void(qint64)> hook)
{
    m_job.setStepHook(std::move(hook));
}

qint64 ShareRun::talkSeconds(db::Sql& sql, const stmt::TalkSum& sum)
{
    sql.close();
    sum.statement().applyTo(sql);
    sql.execQuery();
    qint64 seconds = 0;
    if (!sql.eof())
        seconds = sql.field(QStringLiteral("TIMESEC")).asInt64() +
                  60 * sql.field(QStringLiteral("TIMEMIN")).asInt64() +
                  3600 * sql.field(QStringLiteral("TIMEHOUR")).asInt64();
    sql.close();
    return seconds;
}

void ShareRun::work(Context& job, const Request& request)
{
    if (request.measure == Measure::Cost) {
        WorkerReading reading(job.cancelSlot(), request.place);
        sumCost(job, reading, request); // a failure is the run's
        return;
    }
    try {
        WorkerReading reading(job.cancelSlot(), request.place);
        sumTalkTime(job, reading, request);
    } catch (const db::DbError& e) {
        // Not even the total could be counted: told with the figures.
        m_counted.total.error = TDM::FailureText(e);
    }
}

void ShareRun::sumTalkTime(Context& job, WorkerReading& reading, const Request& request)
{
    Result& result = m_counted;
    job.tell(0);
    db::Sql sql(reading.database, reading.transaction);
    stmt::TalkSum sum;
    sum.from = request.period.start();
    sum.to = request.period.end();
    sum.incoming = request.incoming;
    sum.outgoing = request.outgoing;
    // Each sum on its own: one that fails counts 0 and the next one is tried.
    auto count = [&](Sum& into) {
        result.lastStatement = sum.statement().lines;
        try {
            into.value = talkSeconds(sql, sum);
        } catch (const db::DbError& e) {
            into.value = 0;
            into.error = TDM::FailureText(e);
        }
    };
    count(result.total);
    if (result.total.value > 0) {
        sum.keyColumn = request.keyColumn;
        result.items.reserve(request.keys.size());
        for (std::size_t i = 0; i < request.keys.size() && !job.stopping(); ++i) {
            sum.key = request.keys[i];
            count(result.items.emplace_back());
            job.tell(qint64(i) + 1);
        }
    }
    reading.transaction.rollbackQuietly(); // read only: nothing to keep
}

void ShareRun::sumCost(Context& job, WorkerReading& reading, const Request& request)
{
    Result& result = m_counted;
    CostShares shares(request.book);
    db::ForwardQuery calls(reading.database, reading.transaction);
    stmt::pricedCalls(request.period.start(), request.period.end()).applyTo(calls);
    if (!job.stopping())
        calls.open();
    const db::Field& line = calls.field(QStringLiteral("RLINE"));
    const db::Field& user = calls.field(QStringLiteral("NUMBERIN"));
    const db::Field& number = calls.field(QStringLiteral("NUMBEROUT"));
    const db::Field& length = calls.field(QStringLiteral("RINGLENGTH"));
    const db::Field& day = calls.field(QStringLiteral("RDAY"));
    const db::Field& month = calls.field(QStringLiteral("RMONT"));
    const db::Field& year = calls.field(QStringLiteral("RYEAR"));
    qint64 count = 0;
    while (!job.stopping() && calls.next()) {
        shares.add(line.asInteger(), user.asInteger(),
                   QDate(year.asInteger() + 2000, month.asInteger(), day.asInteger()),
                   number.asInt64(), length.asInt64());
        if (++count % CostProgressEvery == 0)
            job.tell(count);
    }
    calls.close();
    reading.transaction.rollbackQuietly();
    const bool lines = request.keyColumn == stmt::TalkSum::LineColumn;
    result.total.value = shares.total();
    result.withoutTariff = shares.withoutTariff();
    for (const int key : request.keys)
        result.items.push_back({lines ? shares.ofLine(key) : shares.ofUser(key), {}});
}
