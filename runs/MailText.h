// The words of the message a subscriber is mailed with his calls of a period.
#pragma once

#include "SubscriberReport.h"

#include <QDate>
#include <QString>

/// What a subscriber's message tells.
struct MailFacts
{
    int number = 0; ///< his internal number
    QString name;   ///< empty when the directory has none
    QDate from;
    QDate to;
    SubscriberReport::Calls calls; ///< his calls of the period (the PDF is not read)
};

struct MailText
{
    QString subject;
    QString body;
    QString attachmentName; ///< the report's file name, empty when there were no calls
};

/// The subject "Звонки за <период>", the greeting, the count and talk time (or that there were
/// no calls), and the name the report is attached under.
MailText mailText(const MailFacts& facts);
