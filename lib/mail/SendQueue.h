// Messages sent one after another by a thread of their own, results told back by signal.
#pragma once

#include "SmtpClient.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace mail {

/// Owns the sending thread and its SmtpClient. Messages go out in the order posted; each
/// comes back through finished() (queued to the thread the queue lives in) exactly once.
/// After a result that stops a run (SendResult::stopsRun) every later message comes back
/// Skipped without being tried; after cancel() every message not yet started comes back
/// Cancelled. A message under way is always let finish, so none is cut off half-sent; only
/// the destructor aborts one, when the program goes away.
class SendQueue : public QObject
{
    Q_OBJECT
public:
    explicit SendQueue(ServerSettings settings, QObject* parent = nullptr);
    ~SendQueue() override;

    void post(int id, Message message);
    void cancel();
    /// Messages posted whose result has not been emitted yet.
    int outstanding() const { return m_outstanding; }

signals:
    void finished(int id, const mail::SendResult& result);

private:
    void run();
    void deliver(int id, const SendResult& result);

    SmtpClient m_client;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<int, Message>> m_queue;
    bool m_cancelled = false;
    bool m_quit = false;
    int m_outstanding = 0; // the owner's thread only
    std::thread m_thread;
};

} // namespace mail
