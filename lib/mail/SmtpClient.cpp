#include "SmtpClient.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QUuid>

#include <curl/curl.h>

#include <mutex>

namespace mail {

namespace {

struct CurlDeleter
{
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MimeDeleter
{
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
struct ListDeleter
{
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using ListPtr = std::unique_ptr<curl_slist, ListDeleter>;

void append(ListPtr& list, const QByteArray& line)
{
    curl_slist* l = curl_slist_append(list.get(), line.constData());
    if (l) {
        (void)list.release();
        list.reset(l);
    }
}

// RFC 5322 date in English names whatever the user's language.
QByteArray dateHeader()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(QChar(offset < 0 ? u'-' : u'+'))
                             .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
    return "Date: " +
           QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() +
           zone.toLatin1();
}

// The body with CR LF line ends, as quoted-printable expects them.
QByteArray crlfText(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(u'\r', u'\n');
    t.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    return t.toUtf8();
}

} // namespace

struct SmtpClient::Private
{
    ServerSettings settings;
    std::unique_ptr<CURL, CurlDeleter> curl;
    char error[CURL_ERROR_SIZE] = {};
};

void SmtpClient::globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SmtpClient::SmtpClient(ServerSettings settings) : d(std::make_unique<Private>())
{
    globalInit();
    d->settings = std::move(settings);
}

SmtpClient::~SmtpClient() = default;

namespace {

// What the conversation with the server came to: the verb of the last command and the
// server's last reply line to it.
struct Trace
{
    QByteArray stage;
    QByteArray reply;
    bool closing = false; // QUIT or RSET after a failure: its reply is not the reason
};

int trace(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    auto* t = static_cast<Trace*>(user);
    const QByteArray text(data, qsizetype(size));
    if (type == CURLINFO_HEADER_OUT) {
        // Only the verb is kept: an AUTH line carries the password.
        const qsizetype end = text.indexOf(' ');
        const QByteArray verb = text.left(end < 0 ? text.indexOf('\r') : end).trimmed().toUpper();
        if (verb == "QUIT" || verb == "RSET" || verb == "NOOP")
            t->closing = true;
        else if (!verb.isEmpty())
            t->stage = verb;
    } else if (type == CURLINFO_HEADER_IN && !t->closing) {
        const QList<QByteArray> lines = text.split('\n');
        for (const QByteArray& l : lines)
            if (!l.trimmed().isEmpty())
                t->reply = l.trimmed();
    }
    return 0;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<std::atomic<bool>*>(user)->load() ? 1 : 0;
}

} // namespace

SendResult SmtpClient::send(const Message& message)
{
    using Status = SendResult::Status;
    SendResult result;
    if (m_abort) {
        result.status = Status::Cancelled;
        return result;
    }
    if (!d->curl)
        d->curl.reset(curl_easy_init());
    CURL* c = d->curl.get();
    if (!c) {
        result.detail = QStringLiteral("libcurl could not start");
        return result;
    }
    const ServerSettings& s = d->settings;
    const QByteArray url = (s.security == Security::Tls ? "smtps://" : "smtp://") +
                           s.host.trimmed().toUtf8() + ':' + QByteArray::number(s.port);
    d->error[0] = 0;
    Trace seen;
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, d->error);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(s.connectTimeout));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(s.responseTimeout));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(s.responseTimeout));
    curl_easy_setopt(c, CURLOPT_USE_SSL,
                     s.security == Security::None ? long(CURLUSESSL_NONE) : long(CURLUSESSL_ALL));
    const QByteArray caFile = QFile::encodeName(s.caFile);
    if (!s.caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());
    const QByteArray user = s.user.toUtf8();
    const QByteArray password = s.password.toUtf8();
    if (!s.user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    } else {
        curl_easy_setopt(c, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(c, CURLOPT_PASSWORD, nullptr);
    }
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &trace);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &seen);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &m_abort);

    const QByteArray from = '<' + message.from.address.toUtf8() + '>';
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    ListPtr recipients;
    append(recipients, '<' + message.to.address.toUtf8() + '>');
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());

    ListPtr headers;
    const QString domain = message.from.address.section(u'@', 1);
    append(headers, dateHeader());
    append(headers, "From: " + message.from.header());
    append(headers, "To: " + message.to.header());
    append(headers, "Subject: " + encodeHeaderText(message.subject));
    append(headers, "Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' +
                        (domain.isEmpty() ? QByteArray("localhost") : domain.toUtf8()) + '>');
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(c));
    const QByteArray body = crlfText(message.body);
    curl_mimepart* text = curl_mime_addpart(mime.get());
    curl_mime_data(text, body.constData(), size_t(body.size()));
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "quoted-printable");
    for (const Attachment& a : message.attachments) {
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_data(part, a.data.constData(), size_t(a.data.size()));
        curl_mime_type(part, a.mimeType.constData());
        curl_mime_filename(part, a.fileName.toUtf8().constData());
        curl_mime_encoder(part, "base64");
    }
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());

    const CURLcode code = curl_easy_perform(c);
    curl_easy_setopt(c, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, nullptr);

    long reply = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply);
    result.replyCode = int(reply);
    result.reply = QString::fromUtf8(seen.reply);
    result.detail = QString::fromUtf8(d->error[0] ? d->error : curl_easy_strerror(code));
    result.host = s.host.trimmed();
    result.port = s.port;
    const QByteArray& stage = seen.stage;
    switch (code) {
    case CURLE_OK:
        result.status = Status::Sent;
        result.detail.clear();
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        result.status = Status::Cancelled;
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        result.status = Status::Unreachable;
        result.cause = SendResult::Cause::HostNotFound;
        break;
    case CURLE_COULDNT_CONNECT:
        result.status = Status::Unreachable;
        result.cause = SendResult::Cause::Refused;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        result.status = Status::Unreachable;
        result.cause = SendResult::Cause::TimedOut;
        break;
    case CURLE_URL_MALFORMAT:
        result.status = Status::Unreachable;
        result.cause = SendResult::Cause::BadName;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
        result.status = Status::SecurityFailed;
        break;
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        result.status = Status::LoginFailed;
        break;
    default:
        if (stage == "MAIL")
            result.status = Status::SenderRefused;
        else if (stage == "RCPT")
            result.status = Status::RecipientRefused;
        else if (stage == "DATA")
            result.status = Status::MessageRefused;
        else if (stage.isEmpty() || stage == "EHLO" || stage == "HELO" || stage == "QUIT" ||
                 seen.reply.isEmpty()) {
            result.status = Status::Unreachable;
            result.cause = SendResult::Cause::Dropped;
        } else
            result.status = Status::Failed;
        break;
    }
    if (!result.sent()) {
        // A connection that failed once is not reused for the next message.
        d->curl.reset();
    }
    return result;
}

} // namespace mail
