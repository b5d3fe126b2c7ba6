// Loads a query in the background for a window: the rows join it in slices of the event loop.
#include "QueryLoader.h"

#include "Query.h"

#include <QTimer>

namespace db {

namespace {
// Rows that wait in the worker's batch go out once they are this old (see BackgroundFetch);
// the loader looks about as often.
constexpr int PollMs = 50;
} // namespace

QueryLoader::QueryLoader(Query& query, QObject* parent)
    : QObject(parent), m_query(&query), m_poll(new QTimer(this))
{
    m_poll->setInterval(PollMs);
    connect(m_poll, &QTimer::timeout, this, &QueryLoader::takeSlice);
}

QueryLoader::~QueryLoader()
{
    // The worker posts notices to this object: it ends before the object does.
    if (running())
        m_query->stopFetch();
}

void QueryLoader::start()
{
    stop();
    m_query->openInBackground(
        [this] { QMetaObject::invokeMethod(this, &QueryLoader::takeSlice, Qt::QueuedConnection); });
    ++m_run;
    m_state = FetchState::Running;
    m_announcedRows = 0;
    m_announced.start();
    m_poll->start();
}

void QueryLoader::stop()
{
    if (!running())
        return;
    m_query->stopFetch();
    finish();
}

void QueryLoader::takeSlice()
{
    m_slicePending = false;
    if (!running())
        return;
    const std::size_t added = m_query->takeFetched(m_sliceBudget);
    if (!m_query->fetching()) {
        finish();
        return;
    }
    const std::size_t held = m_query->recordCount();
    if (held > m_announcedRows &&
        (m_announcedRows < m_eagerRows || m_announced.elapsed() >= m_announceInterval)) {
        m_announcedRows = held;
        m_announced.start();
        const quint64 run = m_run;
        emit rowsArrived();
        if (m_run != run || !running())
            return; // a slot stopped this run or began another
    }
    if (added > 0 && !m_slicePending) {
        // More may wait already: take them after the events that came meanwhile.
        m_slicePending = true;
        QTimer::singleShot(0, this, &QueryLoader::takeSlice);
    }
}

void QueryLoader::finish()
{
    m_poll->stop();
    m_state = m_query->fetchState();
    if (m_state == FetchState::Running || m_state == FetchState::None)
        m_state = FetchState::Stopped; // the query was closed or reopened by someone else
    m_announcedRows = m_query->recordCount();
    emit finished(m_state, m_query->fetchError());
}

} // namespace db
