// The worker of the statistics pie: the talk-time sums in order, or the period's calls priced.
#include "ShareRun.h"

#include "data/CostShares.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Sql.h"
#include "db/Transaction.h"

#include <QMetaObject>

#include <unordered_map>

namespace {
// How often the window hears how many calls the cost read has priced.
constexpr qint64 CostProgressEvery = 50000;
} // namespace

ShareRun::ShareRun(QObject* parent) : QObject(parent) {}

void ShareRun::start(Request request)
{
    if (running())
        return;
    m_error.clear();
    m_state = State::Running;
    m_worker.start([this, request = std::move(request)]() mutable { work(request); });
}

void ShareRun::stop()
{
    if (running())
        m_worker.stop(); // a sum under way ends at once
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

void ShareRun::work(Request request)
{
    Result result;
    State state = State::Finished;
    QString error;
    try {
        WorkerReading reading(m_worker.cancelSlot(), request.place);
        if (request.measure == Measure::TalkTime)
            sumTalkTime(reading, request, result);
        else
            sumCost(reading, request, result);
    } catch (const db::DbError& e) {
        // Talk time: not even the total could be counted; cost: the read failed.
        if (request.measure == Measure::TalkTime) {
            result.total.error = TDM::FailureText(e);
        } else {
            state = State::Failed;
            error = e.message();
        }
    } catch (const std::exception& e) {
        state = State::Failed;
        error = QString::fromLocal8Bit(e.what());
    }
    if (m_worker.stopping())
        state = State::Stopped;
    QMetaObject::invokeMethod(
        this,
        [this, state, result = std::move(result), error]() mutable {
            end(state, std::move(result), error);
        },
        Qt::QueuedConnection);
}

void ShareRun::sumTalkTime(WorkerReading& reading, const Request& request, Result& result)
{
    emit progress(0);
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
    if (result.total.value > 0 && !m_worker.stopping()) {
        result.items.reserve(request.keys.size());
        for (const int key : request.keys) {
            const auto it = seconds.find(key);
            result.items.push_back({it == seconds.end() ? 0 : it->second, {}});
        }
        emit progress(qint64(request.keys.size()));
    }
    reading.transaction.rollbackQuietly(); // read only: nothing to keep
}

void ShareRun::sumCost(WorkerReading& reading, const Request& request, Result& result)
{
    CostShares shares(request.book);
    db::ForwardQuery calls(reading.database, reading.transaction);
    stmt::pricedCalls(request.period.start(), request.period.end()).applyTo(calls);
    if (!m_worker.stopping())
        calls.open();
    const db::Field& line = calls.field(QStringLiteral("RLINE"));
    const db::Field& user = calls.field(QStringLiteral("NUMBERIN"));
    const db::Field& number = calls.field(QStringLiteral("NUMBEROUT"));
    const db::Field& length = calls.field(QStringLiteral("RINGLENGTH"));
    const db::Field& day = calls.field(QStringLiteral("RDAY"));
    const db::Field& month = calls.field(QStringLiteral("RMONT"));
    const db::Field& year = calls.field(QStringLiteral("RYEAR"));
    qint64 count = 0;
    while (!m_worker.stopping() && calls.next()) {
        shares.add(line.asInteger(), user.asInteger(),
                   QDate(year.asInteger() + 2000, month.asInteger(), day.asInteger()),
                   number.asInt64(), length.asInt64());
        if (++count % CostProgressEvery == 0)
            emit progress(count);
    }
    calls.close();
    reading.transaction.rollbackQuietly();
    const bool lines = request.keyColumn == stmt::TalkSum::LineColumn;
    result.total.value = shares.total();
    result.withoutTariff = shares.withoutTariff();
    for (const int key : request.keys)
        result.items.push_back({lines ? shares.ofLine(key) : shares.ofUser(key), {}});
}

void ShareRun::end(State state, Result result, QString error)
{
    m_worker.join();
    m_state = state;
    if (state == State::Finished)
        m_result = std::move(result);
    m_error = std::move(error);
    emit finished(state);
}
