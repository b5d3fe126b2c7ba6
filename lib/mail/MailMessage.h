// One mail message as the program composes it, before it is put on the wire.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace mail {

/// An address with an optional display name ("Name <local@domain>").
struct Address
{
    QString name;
    QString address;

    /// Reads "local@domain" or "Name <local@domain>"; blanks around both parts dropped.
    static Address parse(const QString& text);
    /// The header form: the name RFC 2047 encoded when it is not plain ASCII.
    QByteArray header() const;
};

struct Attachment
{
    QString fileName; ///< kept to ASCII by the caller: it goes into the header as it is
    QByteArray mimeType;
    QByteArray data;
};

/// A plain-text body and any attachments; one recipient.
struct Message
{
    Address from;
    Address to;
    QString subject;
    QString body;
    std::vector<Attachment> attachments;
};

/// An RFC 2047 encoded word (UTF-8, base64) of a header text, split into words (separated by
/// blanks) so that none is longer than 75 characters and no character is cut; plain ASCII text
/// without
/// "=?" comes back as it is.
QByteArray encodeHeaderText(const QString& text);

/// Whether an address looks usable: one "@" with something on both sides, no blanks, no
/// angle brackets.
bool plausibleAddress(const QString& address);

} // namespace mail
