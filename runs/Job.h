// The one way long database work runs off the window thread: a job on the runs' own thread
// pool through Qt Concurrent, plus the two things Qt cannot do, the job's attachment (a
// WorkerReading registered in the job's cancel slot) and the server-side cancel.
#pragma once

#include "WorkerReading.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QThreadPool;

namespace runs {

/// The pool every job runs on: the program's own, so that a long run never waits behind work
/// queued on Qt's global pool nor holds that up. It has room for the runs that may go at once
/// (a report, the statistics, the pieces of the line load, the mailing's report and message).
QThreadPool& pool();

/// Where a run stands, as its owner's thread sees it.
enum class RunState
{
    Idle,
    Running,
    Finished,
    Stopped, ///< stop() came before the work was done
    Failed   ///< the job's failure() tells why
};

/// A run's failure other than the database's: the reason in the operator's words (a template
/// the engine cannot lay out, a PDF that cannot be written).
class RunFailure : public std::runtime_error
{
public:
    explicit RunFailure(QString text);
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

/// A job's failure in the operator's words: the database's as the data module tells it (a
/// lost connection as such), a RunFailure's reason, or what another exception says.
QString failureText(const std::exception_ptr& failure);

/// What a job's work is handed on the pool's thread.
template <class News> class JobContext
{
public:
    JobContext(QPromise<News>& promise, std::vector<std::unique_ptr<CancelSlot>>& cancels,
               const std::function<void(const News&)>& hook)
        : m_promise(promise), m_slots(cancels), m_hook(hook)
    {
    }
    /// Whether stop() was asked: the work ends as soon as it sees this.
    bool stopping() const { return m_promise.isCanceled(); }
    /// Where part `part` registers its attachment (WorkerReading), to be cancelled by stop().
    CancelSlot& cancelSlot(std::size_t part = 0) { return *m_slots[part]; }
    /// Cancels the statements of every part, as stop() does, but the job is not stopped: for
    /// a part that failed, so that the others end at once.
    void cancelParts()
    {
        for (const std::unique_ptr<CancelSlot>& slot : m_slots)
            slot->cancel();
    }
    /// Hands `news` to the owner's thread (the job's onNews), from any thread of the job.
    /// Nothing is heard after a stop.
    void tell(News news)
    {
        if (m_hook)
            m_hook(news);
        m_promise.addResult(std::move(news));
    }

private:
    QPromise<News>& m_promise;
    std::vector<std::unique_ptr<CancelSlot>>& m_slots;
    const std::function<void(const News&)>& m_hook;
};

/// One job at a time on pool(), each with `parts` cancel slots for the attachments of its
/// parts. What the work tells (JobContext::tell) and its end come to the owner's thread
/// through a QFutureWatcher, in that order: onNews for each piece of news, then onEnd once.
/// The end is Finished when the work returned before any stop, Stopped when stop() came first
/// (whatever the work threw after it, as a cancelled statement), else Failed with the
/// exception the work threw, as it was thrown (a db::DbError, a RunFailure) in failure().
///
/// Threads: start(), stop() and the rest on the owner's thread only; the work on the pool's.
/// Destroying the job stops a run under way and waits for it, calling nothing more; it may
/// be destroyed from within onEnd.
template <class News> class Job
{
public:
    using Work = std::function<void(JobContext<News>&)>;

    Job(std::function<void(const News&)> onNews, std::function<void(RunState)> onEnd)
        : m_onNews(std::move(onNews)), m_onEnd(std::move(onEnd))
    {
    }
    ~Job()
    {
        *m_alive = false;
        abandon();
    }
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    /// Runs `work` on the pool; does nothing while a run goes on.
    void start(Work work, std::size_t parts = 1)
    {
        if (running())
            return;
        wait(); // the last run has ended; its future may still be on its way out
        while (m_slots.size() < parts)
            m_slots.push_back(std::make_unique<CancelSlot>());
        m_failure = nullptr;
        m_whole = false;
        m_state = RunState::Running;
        releaseWatcher();
        m_watcher = new QFutureWatcher<News>;
        QObject::connect(m_watcher, &QFutureWatcherBase::resultReadyAt, m_watcher,
                         [this](int index) { m_onNews(m_watcher->resultAt(index)); });
        QObject::connect(m_watcher, &QFutureWatcherBase::finished, m_watcher, [this] { ended(); });
        m_future = QtConcurrent::run(&pool(), [this, work = std::move(work)](QPromise<News>& p) {
            JobContext<News> context(p, m_slots, m_hook);
            try {
                work(context);
                m_whole = !p.isCanceled();
            } catch (...) {
                if (!p.isCanceled())
                    p.setException(std::current_exception());
            }
        });
        m_watcher->setFuture(m_future);
    }
    /// The work sees stopping() and a statement under way on any part's attachment ends at
    /// once; onEnd(Stopped) follows. Nothing when none runs.
    void stop()
    {
        if (!running())
            return;
        m_future.cancel();
        for (const std::unique_ptr<CancelSlot>& slot : m_slots)
            slot->cancel();
    }
    /// Stops a run under way and waits for it, calling nothing more about it, as the
    /// destructor does: for an owner whose members the work uses and that go before the job.
    void abandon()
    {
        releaseWatcher();
        stop();
        wait();
        if (running())
            m_state = RunState::Stopped;
    }
    RunState state() const { return m_state; }
    bool running() const { return m_state == RunState::Running; }
    /// What the last run threw when it failed; null otherwise.
    std::exception_ptr failure() const { return m_failure; }
    /// The cancel slot of part `part`, for an attachment the owner keeps between runs.
    CancelSlot& cancelSlot(std::size_t part = 0)
    {
        while (m_slots.size() <= part)
            m_slots.push_back(std::make_unique<CancelSlot>());
        return *m_slots[part];
    }
    /// Called on the job's thread with each piece of news before it is handed over: tests hold
    /// a run there to act at a known point of it. Set while none runs.
    void setStepHook(std::function<void(const News&)> hook) { m_hook = std::move(hook); }

private:
    void ended()
    {
        RunState state = RunState::Stopped;
        try {
            m_future.waitForFinished();
            if (m_whole)
                state = RunState::Finished;
        } catch (...) {
            m_failure = std::current_exception();
            state = RunState::Failed;
        }
        m_state = state;
        m_inEnd = true;
        const std::shared_ptr<bool> alive = m_alive;
        m_onEnd(state); // may start the next run, or destroy the job
        if (*alive && m_state != RunState::Running)
            m_inEnd = false;
    }
    void wait()
    {
        try {
            m_future.waitForFinished();
        } catch (...) {
            // told through onEnd, or not at all once the owner goes
        }
    }
    // The watcher goes with nothing more said; later, when its own signal is being handled.
    void releaseWatcher()
    {
        if (!m_watcher)
            return;
        m_watcher->disconnect();
        if (m_inEnd)
            m_watcher->deleteLater();
        else
            delete m_watcher;
        m_watcher = nullptr;
        m_inEnd = false;
    }

    std::function<void(const News&)> m_onNews;
    std::function<void(RunState)> m_onEnd;
    std::function<void(const News&)> m_hook;
    RunState m_state = RunState::Idle;
    std::exception_ptr m_failure;
    bool m_whole = false; // the work's, read once it has ended
    bool m_inEnd = false; // onEnd is under way
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QFuture<News> m_future;
    QFutureWatcher<News>* m_watcher = nullptr;
    std::vector<std::unique_ptr<CancelSlot>> m_slots;
};

} // namespace runs
