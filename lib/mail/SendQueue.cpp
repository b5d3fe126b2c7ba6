#include "SendQueue.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace mail {

SendQueue::SendQueue(ServerSettings settings, QThreadPool& pool, QObject* parent)
    : QObject(parent), m_client(std::move(settings)), m_pool(pool)
{
    qRegisterMetaType<mail::SendResult>();
}

SendQueue::~SendQueue()
{
    m_client.abort();
    m_sending.waitForFinished(); // its watcher goes with the queue, saying nothing
}

void SendQueue::post(int id, Message message)
{
    m_queue.emplace_back(id, std::move(message));
    sendNext();
}

void SendQueue::cancel()
{
    m_cancelled = true;
}

void SendQueue::sendNext()
{
    if (m_busy || m_queue.empty())
        return;
    auto [id, message] = std::move(m_queue.front());
    m_queue.pop_front();
    m_busy = true;
    // Decided here, when its turn comes: a message not to be tried comes back all the same.
    const bool tried = !m_cancelled && !m_halted;
    const SendResult::Status status =
        m_cancelled ? SendResult::Status::Cancelled : SendResult::Status::Skipped;
    m_sending = QtConcurrent::run(&m_pool, [this, tried, status, message = std::move(message)] {
        if (tried)
            return m_client.send(message);
        SendResult result;
        result.status = status;
        return result;
    });
    auto* watcher = new QFutureWatcher<SendResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, id = id] {
        const SendResult result = watcher->result();
        watcher->deleteLater();
        m_busy = false;
        m_halted = m_halted || result.stopsRun();
        emit finished(id, result);
        sendNext();
    });
    watcher->setFuture(m_sending);
}

} // namespace mail
