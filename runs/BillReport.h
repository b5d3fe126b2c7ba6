// The report "Сверка со счётом": the classes' sums, the sum worth disputing and every call that
// differs, laid out by a template for a claim to the operator.
#pragma once

#include "data/Bill.h"
#include "report/PreparedReport.h"
#include "report/ReportEngine.h"
#include "report/ReportTemplate.h"

#include <QString>

namespace bill {

/// What the report says besides the result: the bill's file, the plan and the period.
struct ReportHeading
{
    QString title; ///< [GetTitle]: the period
    QString file;  ///< [GetBillFile]
    QString plan;  ///< [GetPlan]
};

/// Lays the report out: a row per call that is not "совпадает", by number and time, with the
/// columns Kind, Number, BillStart, BillSeconds, BillCost, LogStart, LogSeconds, Line, OurCost,
/// Difference and BillLine; the values GetTitle, GetBillFile, GetPlan, GetDisputed and, for each
/// class k of 0 (match) to 4 (not on the bill), GetKind<k>, GetCalls<k>, GetBillSeconds<k>,
/// GetLogSeconds<k>, GetBillCost<k>, GetOurCost<k>. `progress` is told the pages laid out
/// after each row, and stops the layout by returning false. False with the reason in `error`
/// (empty when stopped).
bool prepareReport(const report::ReportTemplate& layout, const Result& result,
                   const ReportHeading& heading, report::PreparedReport& out, QString& error,
                   const report::ReportEngine::Progress& progress = {});

} // namespace bill
