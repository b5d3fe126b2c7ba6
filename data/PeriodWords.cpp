#include "PeriodWords.h"

#include <QStringList>

namespace stmt {

Period ShortcutPeriod(PeriodShortcut shortcut, const QDate& today)
{
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const QDate firstOfMonth(today.year(), today.month(), 1);
    const QDate firstOfQuarter(today.year(), (today.month() - 1) / 3 * 3 + 1, 1);
    const QDate firstOfYear(today.year(), 1, 1);
    switch (shortcut) {
    case PeriodShortcut::Today:
        return {today, today};
    case PeriodShortcut::Yesterday:
        return {today.addDays(-1), today.addDays(-1)};
    case PeriodShortcut::ThisWeek:
        return {monday, monday.addDays(6)};
    case PeriodShortcut::LastWeek:
        return {monday.addDays(-7), monday.addDays(-1)};
    case PeriodShortcut::ThisMonth:
        return {firstOfMonth, firstOfMonth.addMonths(1).addDays(-1)};
    case PeriodShortcut::LastMonth:
        return {firstOfMonth.addMonths(-1), firstOfMonth.addDays(-1)};
    case PeriodShortcut::ThisQuarter:
        return {firstOfQuarter, firstOfQuarter.addMonths(3).addDays(-1)};
    case PeriodShortcut::LastQuarter:
        return {firstOfQuarter.addMonths(-3), firstOfQuarter.addDays(-1)};
    case PeriodShortcut::ThisYear:
        return {firstOfYear, QDate(today.year(), 12, 31)};
    case PeriodShortcut::LastYear:
        return {firstOfYear.addYears(-1), firstOfYear.addDays(-1)};
    }
    return {today, today};
}

std::optional<Period> ParsePeriod(const QString& text, const QDate& today)
{
    const QString t = text.trimmed();
    for (const PeriodShortcutInfo& info : PeriodShortcuts)
        if (t == QLatin1String(info.word))
            return ShortcutPeriod(info.shortcut, today);
    const QStringList days = t.split(u'-');
    if (days.size() > 2)
        return std::nullopt;
    const QString format = QStringLiteral("d.M.yyyy"); // 01.03.2026 or 1.3.2026
    const QDate first = QDate::fromString(days.front().trimmed(), format);
    const QDate last = QDate::fromString(days.back().trimmed(), format);
    if (!first.isValid() || !last.isValid() || first > last)
        return std::nullopt;
    return Period{first, last};
}

} // namespace stmt
