// The mailing's run: each subscriber's report prepared on a worker, his message sent by the
// send queue, the results, the stop; no window.
#pragma once

#include "SubscriberReportWorker.h"
#include "mail/SendQueue.h"

#include <QDate>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class TDM;

/// One run at a time over the recipients it is given, in their order: a report is prepared
/// (SubscriberReportWorker) while the messages before it are sent (mail::SendQueue), at most
/// two messages prepared and not yet sent. A result that makes the server unusable, a report
/// that cannot be prepared or a database failure stops the run (stopReason()); stop() stops it
/// at the operator's word. Nothing is cut off: a message on its way is let finish, a report
/// under way is dropped and its recipient left unsent.
/// Steps of a recipient: Waiting -> Preparing -> Sending -> Done (sent or not), or NotSent when
/// the run ended before his turn. Lives on the window thread; its signals come there.
class MailingRun : public QObject
{
    Q_OBJECT
public:
    struct Recipient
    {
        int number = 0;
        QString name;
        QString address;
    };
    /// A subscriber flagged for mail, and why no message can go to him ("нет адреса",
    /// "неверный адрес"; empty when one can).
    struct Listed
    {
        Recipient recipient;
        QString unsendable;
    };
    /// The subscribers flagged for mail, in the mailing's order. Throws DbError.
    static std::vector<Listed> listRecipients(TDM& dm);
    struct Request
    {
        QDate from;
        QDate to;
        std::vector<Recipient> recipients;
        QString templatePath; ///< the detailed report's template
        /// Adjusts the server settings before the run (tests shorten the timeouts).
        std::function<void(mail::ServerSettings&)> adjustServer;
    };
    /// Why start() did not start a run.
    enum class Refusal
    {
        None,
        Running,  ///< a run goes on
        Settings, ///< the mail settings lack the server or a usable sender
        Period,
        Nobody,   ///< no recipient
        Template, ///< the report's template cannot be read
        Database  ///< the connection cannot be made usable
    };
    enum class Step
    {
        Waiting,
        Preparing,
        Sending,
        Done,
        NotSent
    };
    /// Where a recipient of the run stands, and the words his line shows.
    struct Line
    {
        Step step = Step::Waiting;
        QString text;
        bool sent = false;
    };

    explicit MailingRun(TDM& dm, QObject* parent = nullptr);
    ~MailingRun() override;

    /// Checks the mail settings, the period and the template, makes the connection usable and
    /// starts; Refusal::None when started, else the reason in the operator's words in `why`.
    Refusal start(Request request, QString& why);
    /// No more reports are prepared and no more messages tried; finished() follows once the
    /// message on its way is through.
    void stop();
    bool running() const { return m_running; }
    bool stopping() const { return m_cancelled; }
    /// Whether the last run was stopped by stop().
    bool cancelled() const { return m_cancelled; }
    /// Why the last run stopped before its end, other than stop(); empty when it did not.
    const QString& stopReason() const { return m_stopReason; }

    /// The recipients of the last run, in order, and where each stands.
    int total() const { return int(m_lines.size()); }
    const Line& line(int index) const { return m_lines[std::size_t(index)]; }
    /// Messages done with (sent or not) and sent.
    int done() const { return m_done; }
    int sent() const { return m_sent; }

    /// The words of a sending's result as a recipient's line shows it.
    static QString ResultText(const mail::SendResult& result);

signals:
    /// A recipient's line changed (index into the run's recipients).
    void lineChanged(int index);
    /// Pages laid out so far of the report of a recipient being prepared, and its pages in all
    /// once known (0 while they are counted).
    void pagesLaidOut(int index, int pages, int totalPages);
    /// A message was done with; done() and sent() have grown.
    void progress();
    /// The run has ended: everything sent, stopped, or stopped by a failure.
    void finished();

private:
    void prepareNext();
    void reportBuilt(int index, runs::RunState state, const SubscriberReport::Calls& calls);
    void sendFinished(int index, const mail::SendResult& result);
    void stopRun(const QString& reason);
    void checkDone();
    void finishRun();
    void setLine(int index, Step step, const QString& text);

    TDM& m_dm;
    Request m_request;
    mail::Address m_sender;
    std::vector<Line> m_lines;
    std::size_t m_next = 0; // the next recipient to prepare
    int m_done = 0;
    int m_sent = 0;
    bool m_running = false;
    bool m_cancelled = false;
    QString m_stopReason;
    std::unique_ptr<SubscriberReportWorker> m_worker;
    std::unique_ptr<mail::SendQueue> m_queue;
};
