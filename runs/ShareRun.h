// The sums of the statistics pie worked out on a worker thread over an attachment of its own.
#pragma once

#include "WorkerReading.h"

#include "data/Period.h"
#include "data/Tariffs.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace db {
class Database;
class Sql;
} // namespace db
namespace stmt {
struct TalkSum;
}

/// Works out how a period is shared among lines or subscribers, off the window thread: by
/// talk time, one grouped read of the period's sums by key (the total is theirs added up),
/// handed back in the order of the keys given; by cost, one forward read of the period's outgoing
/// calls priced as they come. Only the sums come back. Belongs to the window thread; destroying it
/// stops the worker and waits.
class ShareRun : public QObject
{
    Q_OBJECT
public:
    enum class Measure
    {
        TalkTime, ///< seconds
        Cost      ///< kopecks of the outgoing calls
    };
    struct Request
    {
        ReadingPlace place; ///< the program's database and reading transaction
        Measure measure = Measure::TalkTime;
        stmt::Period period;
        bool incoming = true; ///< talk time: the direction boxes
        bool outgoing = true;
        QString keyColumn;                              ///< stmt::TalkSum::LineColumn or UserColumn
        std::vector<int> keys;                          ///< one sum each, in this order
        std::shared_ptr<const tariff::TariffBook> book; ///< cost: the prices
    };
    /// One figure; `error` tells why it could not be counted (it then counts 0).
    struct Sum
    {
        qint64 value = 0;
        QString error;
    };
    struct Result
    {
        Sum total;
        /// By key in the request's order. Talk time: empty when the total is not above 0
        /// (nothing to share).
        std::vector<Sum> items;
        qint64 withoutTariff = 0;  ///< cost: outgoing calls no rule matches
        QStringList lastStatement; ///< talk time: the statement of the sums
    };
    /// Finished: talk time also when some sums failed (told in the result); Failed: cost, the
    /// read failed, error() says why.
    using State = WorkerState;

    explicit ShareRun(QObject* parent = nullptr);

    /// Starts a run; does nothing while one runs.
    void start(Request request);
    /// Asks the worker to stop; finished(Stopped) follows. Does nothing when none runs.
    void stop();
    State state() const { return m_state; }
    bool running() const { return m_state == State::Running; }
    /// The figures of the last run that finished.
    const Result& result() const { return m_result; }
    const QString& error() const { return m_error; }

    /// Talk seconds of one summing statement: TIMESEC + 60 × TIMEMIN + 3600 × TIMEHOUR of its
    /// row (0 for no calls). Throws DbError. Used on the statement's thread.
    static qint64 talkSeconds(db::Sql& sql, const stmt::TalkSum& sum);

signals:
    /// Emitted on the worker thread: talk time, the sums done (0 once attached, before the
    /// read; then the number of keys once the period is read); cost, the calls read.
    void progress(qint64 done);
    void finished(ShareRun::State state);

private:
    void work(Request request);
    void sumTalkTime(WorkerReading& reading, const Request& request, Result& result);
    void sumCost(WorkerReading& reading, const Request& request, Result& result);
    void end(State state, Result result, QString error);

    State m_state = State::Idle;
    Result m_result;
    QString m_error;
    WorkerThread m_worker; // last, so it goes first: stops the worker, which uses the rest
};
