// The cost report's rows: the period's outgoing calls priced and summed by department,
// subscriber and zone, held in memory for the report engine.
#pragma once

#include "data/Tariffs.h"
#include "report/ReportDataSource.h"

#include <QHash>
#include <QSet>
#include <memory>
#include <vector>

namespace db {
class ForwardQuery;
class Query;
} // namespace db

/// Fed each outgoing call once (rated by the book, a walk along the number's digits), then
/// told the subscribers' names and departments, then laid out as rows: for each department
/// (by name, those without one last) a heading row, each subscriber's zones (by name, "без
/// тарифа" last) with his total when he has more than one, and the department's total; then
/// the calls whose line or subscriber is missing from the directories, under "Вне
/// справочников", by line and internal number in the same way, with their total; then the
/// whole period by zone. The grand total is every call fed, and a subscriber's rows are
/// his calls on the lines of the directory, as his detailed report lists them. A call no rule
/// matches is counted under "без тарифа" and adds nothing to any cost or billed time.
///
/// Columns of a row (names without regard to case; a column a row does not fill is empty):
/// DeptName (heading rows), FIO and NumberIn (a subscriber's first row), ZoneName, Calls,
/// Billed, Cost (zone rows), TotalLabel, TotalCalls, TotalBilled, TotalCost (total rows).
/// Outside the directories FIO names the line and the subscriber and says which of them the
/// directories lack. Money is written as the operator's locale writes it (ReportMoneyText),
/// the billed time of free calls as "0 сек".
class CostReport : public report::ReportDataSource
{
public:
    struct Sum
    {
        qint64 calls = 0;    ///< every outgoing call, with a tariff or not
        qint64 billed = 0;   ///< seconds billed of the priced calls
        qint64 kopecks = 0;  ///< cost of the priced calls
        qint64 noTariff = 0; ///< calls no rule matches
        void add(const Sum& other);
    };

    explicit CostReport(std::shared_ptr<const tariff::TariffBook> book);

    /// An outgoing call (number > 0); an incoming one is ignored. `lineListed`, `userListed`:
    /// whether the directories have the call's line and subscriber.
    void addCall(int line, int numberIn, const QDate& day, qint64 number, qint64 seconds,
                 bool lineListed = true, bool userListed = true);
    /// The directories, before the calls: the subscribers' names and departments from an open
    /// subscriberDepts() query (a subscriber not in it is outside the directories) and the
    /// lines of an open lineChoices() query.
    void setSubscribers(db::Query& subscribers);
    void setLines(db::Query& lines);
    /// Every row of an open pricedCalls(…, true) query, read as it comes and not kept; whether
    /// its line and subscriber are in the directories is looked up in those set before.
    void addCalls(db::ForwardQuery& calls);
    /// Lays the rows out from the sums; call once everything is added.
    void finish();

    const Sum& total() const { return m_total; }
    std::size_t rowCount() const { return m_rows.size(); }

    void first() override { m_current = 0; }
    void next() override { ++m_current; }
    bool eof() const override { return m_current >= m_rows.size(); }
    std::optional<QVariant> value(const QString& name) const override;

private:
    struct Row
    {
        enum class Kind
        {
            Heading,
            Zone,
            Total
        } kind = Kind::Zone;
        QString text; // heading: the department; zone: the zone; total: its label
        QString fio;
        int numberIn = 0; // 0: none shown
        Sum sum;
    };
    // Zone rows of the sums by rule, merged by zone name; the first shows the subscriber.
    void addZones(const QHash<int, Sum>& byRule, int numberIn, const QString& fio);
    // A heading row and a total row.
    void addHeading(const QString& text);
    void addTotal(const QString& label, const Sum& sum);
    // One subscriber's (or line and subscriber's) zones and his total when he has several.
    Sum addSubscriber(const QHash<int, Sum>& byRule, int numberIn, const QString& fio);
    // What the rows of a line and internal number outside the directories are named by.
    QString outsideName(int line, int numberIn) const;

    std::shared_ptr<const tariff::TariffBook> m_book;
    // Sums by subscriber and rule index (-1: no tariff), keyed by both: one look-up a call.
    QHash<quint64, Sum> m_sums;
    // The calls outside the directories: sums by line and subscriber (the key of both), then
    // by rule; and which lines and subscribers the directories lack.
    QHash<quint64, QHash<int, Sum>> m_outside;
    QSet<int> m_unlistedLines;
    QSet<int> m_unlistedUsers;
    QHash<int, std::pair<QString, QString>> m_names; // number -> name, department
    QSet<int> m_lines;                               // the directory's line numbers
    Sum m_total;
    std::vector<Row> m_rows;
    std::size_t m_current = 0;
};
