// The mailing's report worker: one attachment for the run, one report at a time.
#include "SubscriberReportWorker.h"

#include "data/TDM.h"
#include "db/DbError.h"
#include "db/Transaction.h"

#include <QMetaObject>

SubscriberReportWorker::SubscriberReportWorker(Setup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup))
{
    m_thread = std::thread([this] { run(); });
}

SubscriberReportWorker::~SubscriberReportWorker()
{
    m_stop = true;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cancel.cancel();
    m_wake.notify_one();
    m_thread.join();
}

void SubscriberReportWorker::build(int id, int numberIn)
{
    if (m_busy || m_stop)
        return;
    m_busy = true;
    {
        std::lock_guard lock(m_mutex);
        m_job.emplace(id, numberIn);
    }
    m_wake.notify_one();
}

void SubscriberReportWorker::stop()
{
    m_stop = true;
    m_cancel.cancel(); // a fetch waiting on the server ends at once
}

void SubscriberReportWorker::run()
{
    // Attached at the first build and kept; the report goes first.
    std::optional<WorkerReading> reading;
    std::optional<SubscriberReport> report;
    int id = 0;
    int told = -1;
    for (;;) {
        int numberIn = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_job; });
            if (m_quit)
                break;
            std::tie(id, numberIn) = *m_job;
            m_job.reset();
        }
        told = -1;
        Outcome outcome = Outcome::Built;
        SubscriberReport::Calls calls;
        QString error;
        try {
            if (!reading) {
                reading.emplace(m_cancel, m_setup.place);
                report.emplace(reading->database, reading->transaction, *m_setup.settings,
                               m_setup.layout, m_setup.from, m_setup.to);
                report->setProgress([this, &id, &told](int pages, int total) {
                    if (pages != told) {
                        told = pages;
                        QMetaObject::invokeMethod(
                            this, [this, id, pages, total] { emit pagesLaidOut(id, pages, total); },
                            Qt::QueuedConnection);
                    }
                    return !m_stop;
                });
            }
            if (!reading->transaction.active())
                reading->transaction.start();
            if (m_stop || !report->build(numberIn, calls, error))
                outcome = m_stop ? Outcome::Stopped : Outcome::Failed;
        } catch (const db::DbError& e) {
            outcome = m_stop ? Outcome::Stopped : Outcome::Failed;
            error = TDM::FailureText(e);
        } catch (const std::exception& e) {
            outcome = m_stop ? Outcome::Stopped : Outcome::Failed;
            error = QString::fromLocal8Bit(e.what());
        }
        if (outcome != Outcome::Built)
            calls = SubscriberReport::Calls();
        QMetaObject::invokeMethod(
            this,
            [this, id, outcome, calls = std::move(calls), error] {
                m_busy = false;
                emit built(id, outcome, calls, error);
            },
            Qt::QueuedConnection);
    }
}
