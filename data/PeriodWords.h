// The period shortcuts of the windows and the command line: today, last month, this quarter...
#pragma once

#include "Period.h"

#include <QDate>
#include <QString>

#include <array>
#include <optional>

namespace stmt {

/// A period around a given day. Weeks start on Monday; quarters are January to March, April
/// to June and so on.
enum class PeriodShortcut
{
    Today,
    Yesterday,
    ThisWeek,
    LastWeek,
    ThisMonth,
    LastMonth,
    ThisQuarter,
    LastQuarter,
    ThisYear,
    LastYear
};

struct PeriodShortcutInfo
{
    PeriodShortcut shortcut;
    const char* word;    ///< the command line's word
    const char* caption; ///< UTF-8, as the windows' period menu lists it
};

/// Every shortcut, in the order of the windows' period menu.
constexpr std::array<PeriodShortcutInfo, 10> PeriodShortcuts = {{
    {PeriodShortcut::Today, "today", "Сегодня"},
    {PeriodShortcut::Yesterday, "yesterday", "Вчера"},
    {PeriodShortcut::ThisWeek, "this-week", "Текущая неделя"},
    {PeriodShortcut::LastWeek, "last-week", "Прошлая неделя"},
    {PeriodShortcut::ThisMonth, "this-month", "Текущий месяц"},
    {PeriodShortcut::LastMonth, "last-month", "Прошлый месяц"},
    {PeriodShortcut::ThisQuarter, "this-quarter", "Текущий квартал"},
    {PeriodShortcut::LastQuarter, "last-quarter", "Прошлый квартал"},
    {PeriodShortcut::ThisYear, "this-year", "Текущий год"},
    {PeriodShortcut::LastYear, "last-year", "Прошлый год"},
}};

/// The first and last day of a shortcut's period around `today`.
Period ShortcutPeriod(PeriodShortcut shortcut, const QDate& today);

/// A period as the command line writes it: a shortcut's word (PeriodShortcuts) or two days
/// "DD.MM.YYYY-DD.MM.YYYY" (one day: "DD.MM.YYYY"), the first not after the last. nullopt for
/// anything else.
std::optional<Period> ParsePeriod(const QString& text, const QDate& today);

} // namespace stmt
