// The cost of a period's calls summed by line and by subscriber, fed one call at a time.
#pragma once

#include "Tariffs.h"

#include <QHash>
#include <memory>

/// Prices each outgoing call it is given by a tariff book and keeps the sums in kopecks: in
/// all, per line and per subscriber, with the count of calls no rule matches (they add
/// nothing to any sum). Incoming calls (number 0) are ignored.
class CostShares
{
public:
    explicit CostShares(std::shared_ptr<const tariff::TariffBook> book) : m_book(std::move(book)) {}

    void add(int line, int numberIn, const QDate& day, qint64 number, qint64 seconds);

    qint64 total() const { return m_total; }
    qint64 withoutTariff() const { return m_without; }
    qint64 ofLine(int line) const { return m_lines.value(line); }
    qint64 ofUser(int numberIn) const { return m_users.value(numberIn); }

private:
    std::shared_ptr<const tariff::TariffBook> m_book;
    qint64 m_total = 0;
    qint64 m_without = 0;
    QHash<int, qint64> m_lines;
    QHash<int, qint64> m_users;
};
