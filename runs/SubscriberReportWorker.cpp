// The mailing's report jobs: one attachment for the run, one report at a time.
#include "SubscriberReportWorker.h"

#include "db/Transaction.h"

SubscriberReportWorker::SubscriberReportWorker(Setup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)),
      m_job([this](const Pages& p) { emit pagesLaidOut(m_id, p.laidOut, p.total); },
            [this](runs::RunState state) {
                SubscriberReport::Calls calls;
                if (state == runs::RunState::Finished)
                    calls = std::move(m_calls);
                m_calls = SubscriberReport::Calls();
                emit built(m_id, state, calls);
            })
{
}

SubscriberReportWorker::~SubscriberReportWorker()
{
    m_job.abandon(); // then the report and the attachment go
}

void SubscriberReportWorker::build(int id, int numberIn)
{
    if (busy() || m_stopped)
        return;
    m_id = id;
    m_job.start([this, numberIn](runs::JobContext<Pages>& job) { work(job, numberIn); });
}

void SubscriberReportWorker::stop()
{
    m_stopped = true;
    m_job.stop(); // a fetch waiting on the server ends at once
}

void SubscriberReportWorker::work(runs::JobContext<Pages>& job, int numberIn)
{
    if (!m_reading) {
        m_reading.emplace(job.cancelSlot(), m_setup.place);
        m_report.emplace(m_reading->database, m_reading->transaction, *m_setup.settings,
                         m_setup.layout, m_setup.from, m_setup.to);
    }
    int told = -1;
    m_report->setProgress([&job, &told](int pages, int total) {
        if (pages != told) {
            told = pages;
            job.tell({pages, total});
        }
        return !job.stopping();
    });
    if (!m_reading->transaction.active())
        m_reading->transaction.start();
    QString error;
    if (!job.stopping() && !m_report->build(numberIn, m_calls, error) && !job.stopping())
        throw runs::RunFailure(error);
}
