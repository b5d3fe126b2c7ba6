// The sums of the statistics pie worked out on a worker thread over an attachment of its own.
#pragma once

#include "Job.h"

#include "data/Period.h"
#include "data/Tariffs.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

/// Works out how a period is shared among lines or subscribers, as a job (runs::Job): by talk
/// time, one grouped read of the period's sums by key (the total is theirs added up), handed
/// back in the order of the keys given; by cost, one forward read of the period's outgoing
/// calls priced as they come. Only the sums come back. Belongs to the window thread and signals there; destroying it stops the job and
/// waits.
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
    /// read failed, failure() says why.
    using State = runs::RunState;

    explicit ShareRun(QObject* parent = nullptr);

    /// Starts a run; does nothing while one runs.
    void start(Request request);
    /// Asks the worker to stop; finished(Stopped) follows. Does nothing when none runs.
    void stop();
    State state() const { return m_job.state(); }
    bool running() const { return m_job.running(); }
    /// The figures of the last run that finished.
    const Result& result() const { return m_result; }
    /// The database's failure of the last run; null when it was none.
    std::exception_ptr failure() const { return m_job.failure(); }
    /// Called on the job's thread at each progress, before it is told (Job::setStepHook).
    void setStepHook(std::function<void(qint64)> hook);

signals:
    /// Talk time, the sums done (0 once attached, before the read; then the number of keys
    /// once the period is read); cost, the calls read.
    void progress(qint64 done);
    void finished(ShareRun::State state);

private:
    using Context = runs::JobContext<qint64>;
    void work(Context& job, const Request& request);
    void sumTalkTime(Context& job, WorkerReading& reading, const Request& request);
    void sumCost(Context& job, WorkerReading& reading, const Request& request);

    Result m_result;
    Result m_counted;        // the job's during a run
    runs::Job<qint64> m_job; // last, so it goes first: stops the job, which uses the rest
};
