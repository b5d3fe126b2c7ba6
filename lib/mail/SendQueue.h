// Messages sent one after another as jobs on a thread pool, results told back by signal.
#pragma once

#include "SmtpClient.h"

#include <QFuture>
#include <QObject>

#include <deque>

class QThreadPool;

namespace mail {

/// Sends each message as a job on the pool it is given (QtConcurrent::run), one at a time
/// through one SmtpClient, in the order posted; each comes back through finished() on the
/// queue's thread exactly once. After a result that stops a run (SendResult::stopsRun) every
/// later message comes back Skipped without being tried; after cancel() every message not yet
/// started comes back Cancelled. A message under way is always let finish, so none is cut off
/// half-sent; only the destructor aborts one, when the program goes away, and waits for it.
/// Threads: every member on the queue's thread.
class SendQueue : public QObject
{
    Q_OBJECT
public:
    SendQueue(ServerSettings settings, QThreadPool& pool, QObject* parent = nullptr);
    ~SendQueue() override;

    void post(int id, Message message);
    void cancel();
    /// Messages posted whose result has not been emitted yet.
    int outstanding() const { return int(m_queue.size()) + (m_busy ? 1 : 0); }

signals:
    void finished(int id, const mail::SendResult& result);

private:
    void sendNext();

    SmtpClient m_client; // the job's while one runs
    QThreadPool& m_pool;
    std::deque<std::pair<int, Message>> m_queue;
    bool m_busy = false;
    bool m_cancelled = false;
    bool m_halted = false;
    QFuture<SendResult> m_sending;
};

} // namespace mail
