// Subscribers' detailed reports for the mailing, built on a worker thread over an attachment of
// its own.
#pragma once

#include "WorkerReading.h"

#include "SubscriberReport.h"
#include "report/ReportTemplate.h"

#include <QDate>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class TMainObject;

/// Builds one subscriber's report at a time on its thread: the query, the totals, the layout
/// and the PDF, so the window thread only hears of the pages laid out and of the end. The
/// thread attaches at the first build() (its own attachment and read-only transaction) and
/// keeps the attachment until the object goes.
/// Threads: belongs to the window thread; every signal is emitted there. The settings object
/// is read by the worker (the number masks) and must not change while the object lives.
/// Destroying it stops a build under way and waits for the thread, emitting nothing more.
class SubscriberReportWorker : public QObject
{
    Q_OBJECT
public:
    struct Setup
    {
        ReadingPlace place; ///< the program's database and reading transaction
        QDate from;
        QDate to;
        report::ReportTemplate layout; ///< the detailed report's, loaded already
        const TMainObject* settings = nullptr;
    };
    enum class Outcome
    {
        Built,
        Failed, ///< the reason in the operator's words (a lost connection told as such)
        Stopped ///< stop() came first
    };

    explicit SubscriberReportWorker(Setup setup, QObject* parent = nullptr);
    ~SubscriberReportWorker() override;

    /// Starts the report of one subscriber; built() follows with the same id. Does nothing
    /// while a build is under way or after stop().
    void build(int id, int numberIn);
    bool busy() const { return m_busy; }
    /// The build under way ends as soon as the worker looks (a fetch is cancelled on the
    /// server), with built(Stopped); later build() calls are refused.
    void stop();

signals:
    /// Pages laid out so far of the report under way, and its pages in all.
    void pagesLaidOut(int id, int pages, int totalPages);
    void built(int id, SubscriberReportWorker::Outcome outcome,
               const SubscriberReport::Calls& calls, const QString& error);

private:
    void run();

    const Setup m_setup;
    bool m_busy = false; // the window thread's
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex; // guards the job and m_quit
    std::condition_variable m_wake;
    std::optional<std::pair<int, int>> m_job; // id, number
    bool m_quit = false;
    CancelSlot m_cancel; // the worker's attachment
    std::thread m_thread;
};
