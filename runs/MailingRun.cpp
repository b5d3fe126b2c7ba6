// The mailing's run: its checks, its steps and the words of each recipient's result.
#include "MailingRun.h"

#include "MailText.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "mail/SmtpClient.h"
#include "settings/TMainObject.h"

#include <QTimer>

namespace {
// Messages prepared but not yet sent, at most: the next one is ready when the sending of one
// ends, and no more PDFs than that are held.
constexpr int Ahead = 2;
} // namespace

MailingRun::MailingRun(TDM& dm, QObject* parent) : QObject(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("MailingRun"));
}

// The queue aborts a message under way and the worker stops its report: only when the window
// goes away during a run, that is when the program does.
MailingRun::~MailingRun() = default;

MailingRun::Refusal MailingRun::start(Request request, QString& why)
{
    if (m_running) {
        why = QStringLiteral("Рассылка уже идет.");
        return Refusal::Running;
    }
    const TMainObject& s = *m_dm.MainObject;
    // Exactly what is missing.
    QStringList missing;
    if (s.MailServer.trimmed().isEmpty())
        missing << QStringLiteral("сервер");
    if (s.MailFrom.trimmed().isEmpty())
        missing << QStringLiteral("адрес отправителя");
    if (!missing.isEmpty()) {
        why = QStringLiteral("Не заданы настройки почты: %1.")
                  .arg(missing.join(QStringLiteral(" и ")));
        return Refusal::Settings;
    }
    const mail::Address sender = mail::Address::parse(s.MailFrom);
    if (!mail::plausibleAddress(sender.address)) {
        why = QStringLiteral("В настройках почты адрес отправителя \"%1\" - не адрес электронной "
                             "почты.")
                  .arg(s.MailFrom);
        return Refusal::Settings;
    }
    if (request.from > request.to) {
        why = QStringLiteral("Начало периода позже его конца.");
        return Refusal::Period;
    }
    if (request.recipients.empty()) {
        why = QStringLiteral("Не отмечен ни один абонент.");
        return Refusal::Nobody;
    }
    report::ReportTemplate layout;
    if (!layout.load(request.templatePath)) {
        why = QStringLiteral("Не могу подготовить отчет !\n") + layout.errorString();
        return Refusal::Template;
    }
    try {
        m_dm.EnsureUsable();
    } catch (const db::DbError& e) {
        why = TDM::FailureText(e);
        return Refusal::Database;
    }

    mail::ServerSettings server = s.MailServerSettings();
    if (request.adjustServer)
        request.adjustServer(server);
    SubscriberReportWorker::Setup setup;
    setup.place = readingPlaceOf(m_dm);
    setup.from = request.from;
    setup.to = request.to;
    setup.layout = std::move(layout);
    setup.settings = &s;
    m_worker = std::make_unique<SubscriberReportWorker>(std::move(setup));
    connect(m_worker.get(), &SubscriberReportWorker::built, this, &MailingRun::reportBuilt);
    connect(m_worker.get(), &SubscriberReportWorker::pagesLaidOut, this, &MailingRun::pagesLaidOut);
    m_queue = std::make_unique<mail::SendQueue>(server, runs::pool());
    connect(m_queue.get(), &mail::SendQueue::finished, this, &MailingRun::sendFinished);

    m_request = std::move(request);
    m_sender = sender;
    m_lines.assign(m_request.recipients.size(), Line{Step::Waiting, QStringLiteral("ждет"), false});
    m_next = 0;
    m_done = 0;
    m_sent = 0;
    m_cancelled = false;
    m_stopReason.clear();
    m_running = true;
    for (int i = 0; i < total(); ++i)
        emit lineChanged(i);
    prepareNext();
    return Refusal::None;
}

void MailingRun::setLine(int index, Step step, const QString& text)
{
    Line& l = m_lines[std::size_t(index)];
    l.step = step;
    l.text = text;
    emit lineChanged(index);
}

void MailingRun::prepareNext()
{
    if (!m_running || m_worker->busy() || m_cancelled || !m_stopReason.isEmpty() ||
        m_next >= m_lines.size() || m_queue->outstanding() >= Ahead) {
        checkDone();
        return;
    }
    const int index = int(m_next);
    setLine(index, Step::Preparing, QStringLiteral("готовится отчет ..."));
    m_worker->build(index, m_request.recipients[m_next].number);
}

void MailingRun::reportBuilt(int index, runs::RunState state, const SubscriberReport::Calls& calls)
{
    if (m_cancelled || !m_stopReason.isEmpty() || state == runs::RunState::Stopped) {
        // Stopped while the report was prepared: this one stays unsent.
        checkDone();
        return;
    }
    if (state == runs::RunState::Failed) {
        // Told once, at the run's end, with its outcome.
        stopRun(QStringLiteral("отчет не подготовлен: ") +
                runs::failureText(m_worker->failure()).replace(u'\n', u' '));
        return;
    }
    const Recipient& r = m_request.recipients[std::size_t(index)];
    const MailText text = mailText({.number = r.number,
                                    .name = r.name,
                                    .from = m_request.from,
                                    .to = m_request.to,
                                    .calls = calls});
    mail::Message message;
    message.from = m_sender;
    message.to = {r.name, r.address};
    message.subject = text.subject;
    message.body = text.body;
    if (!text.attachmentName.isEmpty())
        message.attachments.push_back(
            {text.attachmentName, QByteArrayLiteral("application/pdf"), calls.pdf});
    ++m_next;
    setLine(index, Step::Sending, QStringLiteral("отправляется ..."));
    m_queue->post(index, std::move(message));
    prepareNext();
}

void MailingRun::sendFinished(int index, const mail::SendResult& result)
{
    m_lines[std::size_t(index)].sent = result.sent();
    setLine(index, Step::Done, ResultText(result));
    m_sent += result.sent();
    ++m_done;
    emit progress();
    if (result.stopsRun())
        stopRun(ResultText(result));
    else
        prepareNext();
}

void MailingRun::stop()
{
    if (!m_running || m_cancelled)
        return;
    m_cancelled = true;
    m_queue->cancel();
    m_worker->stop();
    // Heard after the caller has shown that the run is stopping.
    QTimer::singleShot(0, this, &MailingRun::checkDone);
}

void MailingRun::stopRun(const QString& reason)
{
    if (m_stopReason.isEmpty())
        m_stopReason = reason;
    checkDone();
}

void MailingRun::checkDone()
{
    if (!m_running || m_worker->busy() || m_queue->outstanding() > 0)
        return;
    const bool more = m_next < m_lines.size() && !m_cancelled && m_stopReason.isEmpty();
    if (!more)
        finishRun();
}

void MailingRun::finishRun()
{
    m_running = false;
    for (std::size_t i = m_next; i < m_lines.size(); ++i)
        setLine(int(i), Step::NotSent,
                m_cancelled ? QStringLiteral("не отправлено: рассылка прервана")
                            : QStringLiteral("не отправлено"));
    // Both are let go after the signal that brought the last word has returned.
    m_queue.release()->deleteLater();
    m_worker.release()->deleteLater();
    emit finished();
}

QString MailingRun::ResultText(const mail::SendResult& r)
{
    using S = mail::SendResult::Status;
    using C = mail::SendResult::Cause;
    const QString reply = r.reply.isEmpty() ? r.detail : r.reply;
    // The mail library's own words come last, for whoever looks into the fault.
    const QString detail =
        r.detail.isEmpty() ? QString() : QStringLiteral(" (подробности: %1)").arg(r.detail);
    const QString server = QStringLiteral("%1, порт %2").arg(r.host).arg(r.port);
    switch (r.status) {
    case S::Sent:
        return QStringLiteral("отправлено");
    case S::RecipientRefused:
        return QStringLiteral("адрес отклонен сервером: ") + reply;
    case S::SenderRefused:
        return QStringLiteral("сервер не принял адрес отправителя: ") + reply;
    case S::MessageRefused:
        return QStringLiteral("письмо отклонено сервером: ") + reply;
    case S::Unreachable: {
        QString what;
        switch (r.cause) {
        case C::HostNotFound:
            what = QStringLiteral("сервер с именем \"%1\" не найден").arg(r.host);
            break;
        case C::Refused:
            what = QStringLiteral("не удалось соединиться с сервером %1: на этом порту "
                                  "соединения не принимаются")
                       .arg(server);
            break;
        case C::TimedOut:
            what = QStringLiteral("сервер %1 не ответил вовремя").arg(server);
            break;
        case C::BadName:
            what = QStringLiteral("неверное имя сервера \"%1\"").arg(r.host);
            break;
        case C::Dropped:
            what = QStringLiteral("сервер %1 прервал соединение").arg(server);
            break;
        case C::Unknown:
            what = QStringLiteral("нет соединения с сервером %1").arg(server);
            break;
        }
        return QStringLiteral("почтовый сервер недоступен: ") + what + detail;
    }
    case S::SecurityFailed:
        return QStringLiteral("не удалось установить защищенное соединение с сервером %1")
                   .arg(server) +
               detail;
    case S::LoginFailed:
        return QStringLiteral("сервер не принял имя пользователя или пароль") +
               (r.reply.isEmpty() ? QString() : QStringLiteral(": ") + r.reply);
    case S::Cancelled:
        return QStringLiteral("не отправлено: рассылка прервана");
    case S::Skipped:
        return QStringLiteral("не отправлено");
    case S::Failed:
        break;
    }
    return QStringLiteral("ошибка отправки через сервер %1").arg(server) +
           (r.reply.isEmpty() ? QString() : QStringLiteral(": ") + r.reply) + detail;
}

std::vector<MailingRun::Listed> MailingRun::listRecipients(TDM& dm)
{
    dm.EnsureUsable();
    db::Query q(dm.ibDatabase, dm.ibTranRO);
    stmt::mailRecipients().applyTo(q);
    q.open();
    std::vector<Listed> listed;
    for (q.first(); !q.eof(); q.next()) {
        Listed l;
        l.recipient.number = int(q.field(QStringLiteral("NumberIN")).asInt64());
        l.recipient.name = q.field(QStringLiteral("FIO")).plainText().trimmed();
        l.recipient.address = q.field(QStringLiteral("EMail")).plainText().trimmed();
        if (l.recipient.address.isEmpty())
            l.unsendable = QStringLiteral("нет адреса");
        else if (!mail::plausibleAddress(l.recipient.address))
            l.unsendable = QStringLiteral("неверный адрес");
        listed.push_back(std::move(l));
    }
    return listed;
}
