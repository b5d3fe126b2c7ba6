#include "MailMessage.h"

namespace mail {

Address Address::parse(const QString& text)
{
    const QString t = text.trimmed();
    const qsizetype open = t.lastIndexOf(u'<');
    if (open >= 0 && t.endsWith(u'>')) {
        QString name = t.left(open).trimmed();
        if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.mid(1, name.size() - 2);
        return {name, t.mid(open + 1, t.size() - open - 2).trimmed()};
    }
    return {QString(), t};
}

QByteArray Address::header() const
{
    const QByteArray addr = '<' + address.toUtf8() + '>';
    if (name.isEmpty())
        return addr;
    bool plain = true;
    for (QChar c : name)
        plain = plain && c.unicode() >= 32 && c.unicode() < 127 && c != u'"' && c != u'\\';
    if (plain && !name.contains(QLatin1String("=?")))
        return '"' + name.toLatin1() + "\" " + addr;
    return encodeHeaderText(name) + ' ' + addr;
}

QByteArray encodeHeaderText(const QString& text)
{
    bool plain = !text.contains(QLatin1String("=?"));
    for (QChar c : text)
        plain = plain && c.unicode() >= 32 && c.unicode() < 127;
    if (plain)
        return text.toLatin1();
    // "=?UTF-8?B?" and "?=" take 12 of the 75; 63 characters of base64 carry 45 bytes at
    // most, taken whole characters at a time (surrogate pairs kept together). A word is cut
    // after a blank of the text where there is one: decoders join adjacent words without the
    // blank between them, and lenient ones that keep it then only double a blank.
    constexpr int MaxBytes = 45;
    QByteArray out;
    QString chunk;
    auto flush = [&](qsizetype length) {
        if (length <= 0)
            return;
        if (!out.isEmpty())
            out += ' ';
        out += "=?UTF-8?B?" + chunk.left(length).toUtf8().toBase64() + "?=";
        chunk.remove(0, length);
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype n = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            n = 2;
        const QString c = text.mid(i, n);
        while (!chunk.isEmpty() && (chunk + c).toUtf8().size() > MaxBytes) {
            const qsizetype blank = chunk.lastIndexOf(u' ');
            flush(blank > 0 ? blank + 1 : chunk.size());
        }
        chunk += c;
        i += n - 1;
    }
    flush(chunk.size());
    return out;
}

bool plausibleAddress(const QString& address)
{
    const qsizetype at = address.indexOf(u'@');
    if (at <= 0 || at != address.lastIndexOf(u'@') || at == address.size() - 1)
        return false;
    for (QChar c : address)
        if (c.isSpace() || c == u'<' || c == u'>' || c == u',' || c.unicode() < 32)
            return false;
    return true;
}

} // namespace mail
