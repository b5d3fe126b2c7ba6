// A period of whole days as every call statement bounds it.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace stmt {

/// The calls of whole days, from the first day to the last, both included.
struct Period
{
    QDate first;
    QDate last;

    /// 00:00:00.000 of the first day.
    QDateTime start() const { return QDateTime(first, QTime(0, 0, 0, 0)); }
    /// 23:59:59.059 of the last day: the bound the call statements have always used, so every
    /// window counts the same calls (a call in the last second of a day after .059 is out).
    QDateTime end() const { return QDateTime(last, QTime(23, 59, 59, 59)); }
};

} // namespace stmt
