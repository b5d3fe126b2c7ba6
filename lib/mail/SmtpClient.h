// Sending mail messages to one SMTP server through libcurl (SMTP, TLS and the MIME message).
#pragma once

#include "MailMessage.h"

#include <QString>
#include <atomic>
#include <memory>

namespace mail {

enum class Security
{
    None,     ///< plain SMTP
    StartTls, ///< plain SMTP upgraded with STARTTLS; refused when the server cannot
    Tls       ///< TLS from the first byte (SMTPS)
};

struct ServerSettings
{
    QString host;
    int port = 25;
    Security security = Security::None;
    QString user; ///< empty: no login
    QString password;
    QString caFile; ///< certificates to trust instead of the system's store; empty: the store
    int connectTimeout = 20;  ///< seconds
    int responseTimeout = 60; ///< seconds a reply or a stalled transfer may take
};

/// What became of one message.
struct SendResult
{
    enum class Status
    {
        Sent,
        RecipientRefused, ///< the server would not take the recipient's address
        SenderRefused,    ///< the server would not take the sender's address
        MessageRefused,   ///< refused after its text was sent
        Unreachable,      ///< no connection, or the server stopped answering
        SecurityFailed,   ///< TLS could not be set up or the certificate was not trusted
        LoginFailed,
        Failed,    ///< anything else; see detail
        Cancelled, ///< not tried: the run was cancelled before its turn
        Skipped    ///< not tried: an earlier message found the server unusable
    };
    /// Why the server could not be reached (Status::Unreachable), as far as it is known.
    enum class Cause
    {
        Unknown,
        HostNotFound, ///< the server's name is not known to the name service
        Refused,      ///< nobody accepts connections on that port
        TimedOut,     ///< no answer within the timeouts
        BadName,      ///< the server's name cannot form an address
        Dropped       ///< the server closed the connection or never greeted
    };
    Status status = Status::Failed;
    Cause cause = Cause::Unknown;
    QString host; ///< the server the message went to, as configured
    int port = 0;
    int replyCode = 0; ///< the server's last reply code, 0 when it gave none
    QString reply;     ///< the server's last reply line
    QString detail;    ///< libcurl's description of the failure

    bool sent() const { return status == Status::Sent; }
    /// Whether later messages to the same server would fail the same way.
    bool stopsRun() const
    {
        return status == Status::Unreachable || status == Status::SecurityFailed ||
               status == Status::LoginFailed || status == Status::SenderRefused;
    }
};

/// One libcurl handle; the connection is kept between messages. Used by one thread at a time;
/// abort() alone may be called from any thread.
class SmtpClient
{
public:
    explicit SmtpClient(ServerSettings settings);
    ~SmtpClient();
    Q_DISABLE_COPY(SmtpClient)

    /// libcurl's process-wide start; called once before any thread sends (the constructor
    /// calls it too).
    static void globalInit();

    /// Sends one message to its one recipient; blocks until the server has answered.
    SendResult send(const Message& message);
    /// Stops a transfer under way as soon as libcurl looks (the message is then not
    /// delivered: its end never reached the server).
    void abort() { m_abort = true; }

private:
    struct Private;
    std::unique_ptr<Private> d;
    std::atomic<bool> m_abort{false};
};

} // namespace mail
