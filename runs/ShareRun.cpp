// The worker of the statistics pie: the talk-time sums in order, or the period's calls priced.
#include "ShareRun.h"

#include "data/CostShares.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Sql.h"
#include "db/Transaction.h"

#include <unordered_map>

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
    stmt::TalkSum sum;
    sum.from = request.period.start();
    sum.to = request.period.end();
    sum.incoming = request.incoming;
    sum.outgoing = request.outgoing;
    sum.keyColumn = request.keyColumn;
    // One read of the period: the sums of every key at once, the total theirs added up. A
    // read that fails leaves no figure (the total is told as not counted).
    const stmt::Statement byKey = sum.byKey();
    result.lastStatement = byKey.lines;
    std::unordered_map<int, qint64> seconds;
    qint64 total = 0;
    db::ForwardQuery rows(reading.database, reading.transaction);
    byKey.applyTo(rows);
    rows.open();
    const db::Field& key = rows.field(QStringLiteral("KEYNUMBER"));
    const db::Field& hours = rows.field(QStringLiteral("TIMEHOUR"));
    const db::Field& minutes = rows.field(QStringLiteral("TIMEMIN"));
    const db::Field& secs = rows.field(QStringLiteral("TIMESEC"));
    while (rows.next()) {
        const qint64 talk = secs.asInt64() + 60 * minutes.asInt64() + 3600 * hours.asInt64();
        seconds[key.asInteger()] += talk;
        total += talk;
    }
    rows.close();
    result.total.value = total;
    if (result.total.value > 0 && !job.stopping()) {
        result.items.reserve(request.keys.size());
        for (const int key : request.keys) {
            const auto it = seconds.find(key);
            result.items.push_back({it == seconds.end() ? 0 : it->second, {}});
        }
        job.tell(qint64(request.keys.size()));
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
