// The zone and cost of each call of the call list, priced as its rows are decoded.
#include "CallRating.h"

#include "db/Query.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

QString CallRating::NoTariffText()
{
    return QStringLiteral("без тарифа");
}

bool CallRating::rates(const db::DataSet& ds) const
{
    return m_book && !m_book->plans().empty() && ds.findField(QStringLiteral("RLINE")) &&
           ds.findField(QStringLiteral("RZone"));
}

void CallRating::resolve(db::DataSet& ds)
{
    m_generation = ds.fieldGeneration();
    m_totals = {};
    m_line = ds.findField(QStringLiteral("RLINE"));
    m_number = ds.findField(QStringLiteral("NUMBEROUT"));
    m_date = ds.findField(QStringLiteral("RDate"));
    m_length = ds.findField(QStringLiteral("RINGLENGTH"));
    m_zone = ds.findField(QStringLiteral("RZone"));
    if (!m_number || !m_date || !m_length)
        m_line = nullptr; // not the call list's fields: nothing to price
}

void CallRating::operator()(db::DataSet& ds)
{
    if (!m_book || ds.fields().empty())
        return;
    if (ds.fieldGeneration() != m_generation)
        resolve(ds);
    if (!m_line || !m_zone || m_book->plans().empty())
        return;
    const qint64 number = m_number->asInt64();
    if (number <= 0 || m_date->isNull())
        return; // incoming calls cost nothing and have no zone
    const int rule = m_book->match(m_line->asInteger(), m_date->asDate(), number);
    m_zone->setInteger(rule);
    if (rule < 0 || rule >= m_book->ruleCount())
        ++m_totals.noTariff;
    else
        m_totals.kopecks += m_book->rule(rule).cost(m_length->asInt64());
}

CallRating::Totals CallRating::totals(const db::DataSet& ds) const
{
    // An open that brought no row yet made the fields anew without a call here.
    return ds.fieldGeneration() == m_generation ? m_totals : Totals{};
}

std::optional<CallRating::RowCost> CallRating::rowCost(const db::Field& zone,
                                                       const db::Field& length) const
{
    if (!m_book || zone.isNull())
        return std::nullopt;
    const int rule = zone.asInteger();
    if (rule < 0 || rule >= m_book->ruleCount())
        return RowCost{false, 0};
    return RowCost{true, m_book->rule(rule).cost(length.asInt64())};
}

void CallRating::prepareFields(db::DataSet& ds) const
{
    db::Field* zone = ds.findField(QStringLiteral("RZone"));
    db::Field* cost = ds.findField(QStringLiteral("RCost"));
    if (!zone || !cost)
        return;
    const bool shown = rates(ds);
    zone->setVisible(shown);
    cost->setVisible(shown);
    if (!shown)
        return;
    const std::shared_ptr<const tariff::TariffBook> book = m_book; // the rows' own, kept
    const db::Field* length = ds.findField(QStringLiteral("RINGLENGTH"));
    auto rating = [book, zone, length]() -> std::optional<tariff::Rating> {
        if (zone->isNull())
            return std::nullopt;
        tariff::Rating r;
        r.rule = zone->asInteger();
        if (r.rule < 0 || r.rule >= book->ruleCount()) {
            r.rule = -1;
            return r;
        }
        const qint64 seconds = length ? length->asInt64() : 0;
        r.billed = book->rule(r.rule).billedSeconds(seconds);
        r.cost = book->rule(r.rule).cost(seconds);
        return r;
    };
    zone->setDisplayTextHook([book, rating](const db::Field&) {
        const std::optional<tariff::Rating> r = rating();
        if (!r)
            return QString();
        return r->rule < 0 ? NoTariffText() : book->rule(r->rule).zone;
    });
    cost->setDisplayTextHook([rating](const db::Field&) {
        const std::optional<tariff::Rating> r = rating();
        if (!r || r->rule < 0)
            return QString();
        return tariff::kopecksText(r->cost);
    });
    // A sum of money in kopecks: a number to the right, and a number in spreadsheets.
    cost->setDecimal(2, [rating](const db::Field&) -> std::optional<qint64> {
        const std::optional<tariff::Rating> r = rating();
        if (!r || r->rule < 0)
            return std::nullopt;
        return r->cost;
    });
    auto explain = [book, rating, length](const db::Field&) {
        const std::optional<tariff::Rating> r = rating();
        if (!r)
            return QString();
        return book->explain(*r, length ? length->asInt64() : 0);
    };
    zone->setToolTipHook(explain);
    cost->setToolTipHook(explain);
}

std::vector<std::size_t> CallRating::order(db::Query& q, const QString& column,
                                           bool descending) const
{
    std::vector<std::size_t> rows(q.recordCount());
    std::iota(rows.begin(), rows.end(), std::size_t(0));
    const bool byCost = column.compare(QLatin1String("RCost"), Qt::CaseInsensitive) == 0;
    const bool byZone = column.compare(QLatin1String("RZone"), Qt::CaseInsensitive) == 0;
    const db::Field* zone = q.findField(QStringLiteral("RZone"));
    const db::Field* length = q.findField(QStringLiteral("RINGLENGTH"));
    if (!m_book || !zone || !length || (!byCost && !byZone))
        return rows;
    // Zones by their names as the operator reads them: a rank for each rule, -1 ("без
    // тарифа") included.
    const int rules = m_book->ruleCount();
    std::vector<int> zoneRank(std::size_t(rules) + 1, 0);
    if (byZone) {
        QStringList names{NoTariffText()};
        for (int r = 0; r < rules; ++r)
            names << m_book->rule(r).zone;
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<int> byName(std::size_t(rules) + 1);
        std::iota(byName.begin(), byName.end(), 0);
        std::stable_sort(byName.begin(), byName.end(),
                         [&](int a, int b) { return collator.compare(names[a], names[b]) < 0; });
        int rank = 0;
        for (std::size_t i = 0; i < byName.size(); ++i) {
            if (i > 0 && collator.compare(names[byName[i - 1]], names[byName[i]]) != 0)
                ++rank;
            zoneRank[std::size_t(byName[i])] = rank;
        }
    }
    // Each row's value, and how it lacks one (0: it has one).
    std::vector<qint64> value(rows.size(), 0);
    std::vector<quint8> lack(rows.size(), 0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        q.atRow(qint64(i), [&] {
            if (zone->isNull()) {
                lack[i] = 2;
                return;
            }
            const int rule = zone->asInteger();
            const bool rated = rule >= 0 && rule < rules;
            if (byZone)
                value[i] = zoneRank[rated ? std::size_t(rule) + 1 : 0];
            else if (rated)
                value[i] = m_book->rule(rule).cost(length->asInt64());
            else
                lack[i] = 1;
        });
    }
    std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
        if (lack[a] != lack[b])
            return lack[a] < lack[b];
        if (lack[a] != 0)
            return false;
        return descending ? value[a] > value[b] : value[a] < value[b];
    });
    return rows;
}
