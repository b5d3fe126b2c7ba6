// The cost of a period's calls summed by line and by subscriber, fed one call at a time.
#include "CostShares.h"

void CostShares::add(int line, int numberIn, const QDate& day, qint64 number, qint64 seconds)
{
    if (number <= 0 || !m_book)
        return;
    const tariff::Rating r = m_book->rate(line, day, number, seconds);
    if (r.rule < 0) {
        ++m_without;
        return;
    }
    m_total += r.cost;
    m_lines[line] += r.cost;
    m_users[numberIn] += r.cost;
}
