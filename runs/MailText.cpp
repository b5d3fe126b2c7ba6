// The words of a subscriber's message; one line of the body for each figure.
#include "MailText.h"

#include "data/CallRecord.h"

MailText mailText(const MailFacts& f)
{
    MailText m;
    const QString period = SubscriberReport::periodText(f.from, f.to);
    m.subject = QStringLiteral("Звонки за ") + period;
    m.body = f.name.isEmpty() ? QStringLiteral("Здравствуйте!\n\n")
                              : QStringLiteral("Здравствуйте, %1!\n\n").arg(f.name);
    if (f.calls.count == 0) {
        m.body += QStringLiteral("За %1 звонков с внутреннего номера %2 не было.\n")
                      .arg(period)
                      .arg(f.number);
        return m;
    }
    // ASCII only: the name goes into the header as it is.
    m.attachmentName = QStringLiteral("calls-%1-%2-%3.pdf")
                           .arg(f.number)
                           .arg(f.from.toString(QStringLiteral("yyyyMMdd")),
                                f.to.toString(QStringLiteral("yyyyMMdd")));
    m.body += QStringLiteral("Звонки с внутреннего номера %1 за %2.\n").arg(f.number).arg(period);
    m.body += QStringLiteral("Звонков: %1\n").arg(f.calls.count);
    m.body += QStringLiteral("Время разговоров: %1\n").arg(DurationText(f.calls.seconds).trimmed());
    m.body += SubscriberReport::costText(f.calls);
    m.body += QStringLiteral("\nПодробный список звонков - во вложенном файле %1.\n")
                  .arg(m.attachmentName);
    return m;
}
