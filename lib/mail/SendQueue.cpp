#include "SendQueue.h"

#include <QMetaObject>

namespace mail {

SendQueue::SendQueue(ServerSettings settings, QObject* parent)
    : QObject(parent), m_client(std::move(settings))
{
    qRegisterMetaType<mail::SendResult>();
    m_thread = std::thread([this] { run(); });
}

SendQueue::~SendQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_cancelled = true;
    }
    m_client.abort();
    m_wake.notify_all();
    m_thread.join();
}

void SendQueue::post(int id, Message message)
{
    ++m_outstanding;
    {
        std::lock_guard lock(m_mutex);
        m_queue.emplace_back(id, std::move(message));
    }
    m_wake.notify_all();
}

void SendQueue::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
}

void SendQueue::deliver(int id, const SendResult& result)
{
    // Runs in the sending thread; the result is handed to the owner's thread.
    QMetaObject::invokeMethod(
        this,
        [this, id, result] {
            --m_outstanding;
            emit finished(id, result);
        },
        Qt::QueuedConnection);
}

void SendQueue::run()
{
    bool halted = false;
    for (;;) {
        std::pair<int, Message> item;
        bool cancelled = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_quit)
                return;
            item = std::move(m_queue.front());
            m_queue.pop_front();
            cancelled = m_cancelled;
        }
        SendResult result;
        if (cancelled)
            result.status = SendResult::Status::Cancelled;
        else if (halted)
            result.status = SendResult::Status::Skipped;
        else
            result = m_client.send(item.second);
        halted = halted || result.stopsRun();
        deliver(item.first, result);
    }
}

} // namespace mail
