// The zone and cost of each call of the call list, priced as its rows are decoded.
#pragma once

#include "Tariffs.h"
#include "db/DataSet.h"

#include <memory>
#include <vector>

namespace db {
class Query;
}

/// Prices the call query's rows by a tariff book. Rating needs the call's line (RLINE), number
/// (NUMBEROUT), day (RDate, filled before) and talk time (RINGLENGTH); the result is kept in
/// the calculated field RZone as the index of the matching rule (-1: no rule matches, "без
/// тарифа"; empty for an incoming call or a row of no date). RCost holds nothing: its text
/// is the rule's cost of the talk time, computed when shown (a field that takes no room), so
/// a priced row grows by two integers: the line and the rule.
class CallRating
{
public:
    /// The book of the rows from now on; null or one without plans: nothing is priced.
    void setBook(std::shared_ptr<const tariff::TariffBook> book) { m_book = std::move(book); }
    const std::shared_ptr<const tariff::TariffBook>& book() const { return m_book; }
    /// Whether the data set's rows get a zone and a cost: a book with plans, and the line
    /// among the fields.
    bool rates(const db::DataSet& dataSet) const;

    /// The calculation hook's part: fills RZone of the current row.
    void operator()(db::DataSet& dataSet);

    /// After an open: shows RZone and RCost when the rows are priced (hides them when not)
    /// and gives them their texts and explanations.
    void prepareFields(db::DataSet& dataSet) const;

    /// The kopecks of the current row of the priced rows' fields RZone and RINGLENGTH, and
    /// whether it has a tariff; nullopt for a row that is not priced (incoming).
    struct RowCost
    {
        bool rated = false; ///< false: "без тарифа"
        qint64 kopecks = 0;
    };
    std::optional<RowCost> rowCost(const db::Field& zone, const db::Field& length) const;

    /// The priced rows of the data set's last open rated so far, added up as they were decoded.
    struct Totals
    {
        qint64 kopecks = 0;  ///< the cost of the rows with a tariff
        qint64 noTariff = 0; ///< outgoing rows no rule matches
    };
    Totals totals(const db::DataSet& dataSet) const;

    /// The query's held rows in order of zone (column "RZone", by the zone's name as shown)
    /// or of cost ("RCost"), for Query::reorder: row i of the result is the row at order[i].
    /// Rows of equal value keep their order. Rows without a value come last either way: for
    /// the cost, those without a tariff, then those not priced (incoming); for the zone, those
    /// not priced. Any other column, or rows not priced by this book: the order as it is.
    std::vector<std::size_t> order(db::Query& query, const QString& column, bool descending) const;

    /// "Без тарифа" as the zone of a call no rule matches.
    static QString NoTariffText();

private:
    void resolve(db::DataSet& dataSet);

    std::shared_ptr<const tariff::TariffBook> m_book;
    std::uint64_t m_generation = 0;
    db::Field* m_line = nullptr;
    db::Field* m_number = nullptr;
    db::Field* m_date = nullptr;
    db::Field* m_length = nullptr;
    db::Field* m_zone = nullptr;
    Totals m_totals;
};
