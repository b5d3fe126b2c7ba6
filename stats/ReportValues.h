// What the report templates are fed: the grand totals of a run, the title, the variables of
// the current row, and the report query seen as the engine's data source.
#pragma once

#include "report/ReportDataSource.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <optional>

namespace db {
class Query;
}
class TMainObject;

/// The grand totals and the title of one report run; complete before the engine starts.
struct ReportTotals
{
    qint64 SCntInRing = 0;
    qint64 SCntOutRing = 0;
    qint64 SCntAllRing = 0;
    qint64 SInRing = 0;
    qint64 SOutRing = 0;
    qint64 SAllRing = 0;
    QString ReportTitle;

    void clearTotals();
    /// Walks the open report query from its first row: every call of the detailed report, or
    /// the counts and sums of the rows of a summary report.
    void addTotals(db::Query& q, bool detail);
};

/// "Отчет за <date>" or "Отчет за период с <from> по <to>", dates in the short format.
QString ReportTitleText(const QDate& from, const QDate& to);

/// The value of a report variable for the current row of `row`; nothing for a name that is
/// not one. A column the current report's query lacks reads as an empty text.
std::optional<QVariant> ReportValue(const QString& name, const db::Query& row,
                                    const ReportTotals& totals, const TMainObject& settings);

/// The report query's current row as the engine sees it.
class QueryReportSource : public report::ReportDataSource
{
public:
    explicit QueryReportSource(db::Query& q) : m_q(q) {}
    void first() override;
    void next() override;
    bool eof() const override;
    std::optional<QVariant> value(const QString& name) const override;

private:
    db::Query& m_q;
};
