// What the report templates are fed: the grand totals of a run, the title, the variables of
// the current row, and the report query seen as the engine's data source.
#pragma once

#include "data/Tariffs.h"
#include "report/ReportDataSource.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

namespace db {
class DataSet;
class ForwardQuery;
class Query;
} // namespace db
namespace report {
class ReportTemplate;
}
class TMainObject;

/// The grand totals and the title of one report run; complete before the engine starts, or,
/// for the calls read as they are laid out (ReportCallStream), once the last one is passed.
struct ReportTotals
{
    qint64 SCntInRing = 0;
    qint64 SCntOutRing = 0;
    qint64 SCntAllRing = 0;
    qint64 SInRing = 0;
    qint64 SOutRing = 0;
    qint64 SAllRing = 0;
    QString ReportTitle;
    /// The tariffs of the run: the detailed and the cost report price the outgoing calls by
    /// them. None, or a book without plans: the database has no tariffs, and every cost
    /// variable prints as nothing.
    std::shared_ptr<const tariff::TariffBook> Book;
    qint64 SCost = 0;     ///< kopecks of the priced calls
    qint64 SBilled = 0;   ///< billed seconds of the priced calls
    qint64 SNoTariff = 0; ///< outgoing calls no rule matches ("без тарифа")

    /// Whether calls are priced: a book with plans.
    bool priced() const { return Book && !Book->plans().empty(); }
    /// Sets the counters and the cost sums to 0; the title and the book stay.
    void clearTotals();
    /// Walks the open report query from its first row: every call of the detailed report
    /// (priced when the book has plans), or the counts and sums of a summary report's rows.
    void addTotals(db::Query& q, bool detail);
    /// Counts the detailed report's current call (priced when the book has plans).
    void addCall(const db::DataSet& call);
};

/// Whether a template shows the grand totals in its summary only: then the calls may be laid
/// out while they are read, the totals growing with them.
bool TotalsOnlyInSummary(const report::ReportTemplate& layout);

/// How the detailed report's current call is priced: nothing for an incoming call, a row that
/// lacks the columns, or a run without tariffs.
std::optional<tariff::Rating> CallRatingOf(const db::DataSet& row, const ReportTotals& totals);

/// A sum of money as the operator's locale writes it, exactly, with two decimals: "213 104,31"
/// in Russian (the thousands apart, the decimal comma).
QString ReportMoneyText(qint64 kopecks);
/// A billed time as the reports write it; a priced call billed nothing (free) is "0 сек".
QString ReportBilledText(qint64 seconds);

/// "Отчет за <date>" or "Отчет за период с <from> по <to>", dates in the short format.
QString ReportTitleText(const QDate& from, const QDate& to);

/// The value of a variable that needs no row: the title, the grand totals and the captions
/// of the cost columns; nothing for any other name.
std::optional<QVariant> ReportTotalValue(const QString& name, const ReportTotals& totals);

/// The value of a report variable for the current row of `row`; nothing for a name that is
/// not one. A column the current report's query lacks reads as an empty text.
std::optional<QVariant> ReportValue(const QString& name, const db::DataSet& row,
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

/// The detailed report's calls read front to back from an open cursor while the engine lays
/// them out; each call joins the totals as it becomes current.
class ReportCallStream : public report::ReportDataSource
{
public:
    ReportCallStream(db::ForwardQuery& q, ReportTotals& totals) : m_q(q), m_totals(totals) {}
    /// Reads the first call: call it once, on the cursor just opened.
    void first() override { advance(); }
    void next() override { advance(); }
    bool eof() const override { return m_eof; }
    std::optional<QVariant> value(const QString& name) const override;

private:
    void advance();

    db::ForwardQuery& m_q;
    ReportTotals& m_totals;
    bool m_eof = true;
};
