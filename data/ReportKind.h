// The reports the program makes: their order in the reports window, captions and templates.
#pragma once

#include <QString>

#include <array>

enum class ReportKind
{
    BySubscriber, ///< calls in and out by subscriber, template report1.frf
    Detailed,     ///< every call of the period, report2.frf
    ByLine,       ///< calls in and out by exchange line, report3.frf
    Cost          ///< outgoing calls priced by department, subscriber and zone, report4.frf
};

struct ReportKindInfo
{
    ReportKind kind;
    const char* caption;      ///< UTF-8, as the reports window lists it
    const char* templateName; ///< the file in the program's folder
    const char* word;         ///< the command line's name of it
};

/// Every report, in the order the reports window lists them.
constexpr std::array<ReportKindInfo, 4> ReportKinds = {{
    {ReportKind::BySubscriber, "Сводный отчет", "report1.frf", "summary"},
    {ReportKind::Detailed, "Детальный отчет", "report2.frf", "detailed"},
    {ReportKind::ByLine, "Отчет по внешним линиям", "report3.frf", "lines"},
    {ReportKind::Cost, "Стоимость звонков", "report4.frf", "cost"},
}};

inline const ReportKindInfo& ReportKindOf(ReportKind kind)
{
    return ReportKinds[std::size_t(kind)];
}
inline QString TemplateName(ReportKind kind)
{
    return QLatin1String(ReportKindOf(kind).templateName);
}
inline QString ReportCaption(ReportKind kind)
{
    return QString::fromUtf8(ReportKindOf(kind).caption);
}
