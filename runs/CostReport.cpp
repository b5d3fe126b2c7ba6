// The cost report's rows: the period's outgoing calls priced and summed by department,
// subscriber and zone, held in memory for the report engine.
#include "CostReport.h"

#include "ReportValues.h"

#include "data/CallRating.h"
#include "db/ForwardQuery.h"
#include "db/Query.h"

#include <QCollator>
#include <algorithm>
#include <map>

namespace {

quint64 key(int numberIn, int rule)
{
    return (quint64(quint32(numberIn)) << 32) | quint32(rule + 1);
}

// A line and an internal number, the line in the high half.
quint64 pairKey(int line, int numberIn)
{
    return (quint64(quint32(line)) << 32) | quint32(numberIn);
}

const QString NoDept = QStringLiteral("Без отдела");

} // namespace

void CostReport::Sum::add(const Sum& o)
{
    calls += o.calls;
    billed += o.billed;
    kopecks += o.kopecks;
    noTariff += o.noTariff;
}

CostReport::CostReport(std::shared_ptr<const tariff::TariffBook> book) : m_book(std::move(book)) {}

void CostReport::addCall(int line, int numberIn, const QDate& day, qint64 number, qint64 seconds,
                         bool lineListed, bool userListed)
{
    if (number <= 0 || !m_book)
        return;
    const tariff::Rating r = m_book->rate(line, day, number, seconds);
    const int rule = r.rule < 0 ? -1 : r.rule;
    Sum* s = nullptr;
    if (lineListed && userListed) {
        s = &m_sums[key(numberIn, rule)];
    } else {
        s = &m_outside[pairKey(line, numberIn)][rule];
        if (!lineListed)
            m_unlistedLines.insert(line);
        if (!userListed)
            m_unlistedUsers.insert(numberIn);
    }
    ++s->calls;
    if (rule < 0) {
        ++s->noTariff;
    } else {
        s->billed += r.billed;
        s->kopecks += r.cost;
    }
}

void CostReport::addCalls(db::ForwardQuery& q)
{
    const db::Field& line = q.field(QStringLiteral("RLINE"));
    const db::Field& user = q.field(QStringLiteral("NUMBERIN"));
    const db::Field& number = q.field(QStringLiteral("NUMBEROUT"));
    const db::Field& length = q.field(QStringLiteral("RINGLENGTH"));
    const db::Field& day = q.field(QStringLiteral("RDAY"));
    const db::Field& month = q.field(QStringLiteral("RMONT"));
    const db::Field& year = q.field(QStringLiteral("RYEAR"));
    // Looked up here rather than joined by the server: a third of the time of the whole run.
    while (q.next()) {
        const int lineNumber = line.asInteger();
        const int numberIn = user.asInteger();
        addCall(lineNumber, numberIn,
                QDate(year.asInteger() + 2000, month.asInteger(), day.asInteger()),
                number.asInt64(), length.asInt64(), m_lines.contains(lineNumber),
                m_names.contains(numberIn));
    }
}

void CostReport::setLines(db::Query& q)
{
    const db::Field& number = q.field(QStringLiteral("NUMBERLINE"));
    for (q.first(); !q.eof(); q.next())
        m_lines.insert(number.asInteger());
}

void CostReport::setSubscribers(db::Query& q)
{
    const db::Field& number = q.field(QStringLiteral("NUMBERIN"));
    const db::Field& fio = q.field(QStringLiteral("FIO"));
    const db::Field& dept = q.field(QStringLiteral("DEPTNAME"));
    for (q.first(); !q.eof(); q.next())
        m_names.insert(number.asInteger(),
                       {fio.isNull() ? QString() : fio.plainText().trimmed(),
                        dept.isNull() ? QString() : dept.plainText().trimmed()});
}

void CostReport::addZones(const QHash<int, Sum>& byRule, int numberIn, const QString& fio)
{
    QCollator collator;
    std::map<QString, Sum> zones; // by name; the calls without a tariff apart
    Sum none;
    for (auto it = byRule.begin(); it != byRule.end(); ++it) {
        if (it.key() < 0)
            none.add(it.value());
        else
            zones[m_book->rule(it.key()).zone].add(it.value());
    }
    std::vector<std::pair<QString, Sum>> ordered(zones.begin(), zones.end());
    std::sort(ordered.begin(), ordered.end(),
              [&collator](const auto& a, const auto& b) { return collator(a.first, b.first); });
    if (none.calls > 0)
        ordered.emplace_back(CallRating::NoTariffText(), none);
    bool firstRow = true;
    for (const auto& [zone, sum] : ordered) {
        Row r;
        r.kind = Row::Kind::Zone;
        r.text = zone;
        if (firstRow) {
            r.fio = fio;
            r.numberIn = numberIn;
        }
        firstRow = false;
        r.sum = sum;
        m_rows.push_back(std::move(r));
    }
}

void CostReport::addHeading(const QString& text)
{
    Row r;
    r.kind = Row::Kind::Heading;
    r.text = text;
    m_rows.push_back(std::move(r));
}

void CostReport::addTotal(const QString& label, const Sum& sum)
{
    Row r;
    r.kind = Row::Kind::Total;
    r.text = label;
    r.sum = sum;
    m_rows.push_back(std::move(r));
}

CostReport::Sum CostReport::addSubscriber(const QHash<int, Sum>& byRule, int numberIn,
                                          const QString& fio)
{
    Sum sum;
    for (const Sum& s : byRule)
        sum.add(s);
    const std::size_t before = m_rows.size();
    addZones(byRule, numberIn, fio);
    if (m_rows.size() - before > 1)
        addTotal(QStringLiteral("Итого по абоненту"), sum);
    return sum;
}

QString CostReport::outsideName(int line, int numberIn) const
{
    QString name = QStringLiteral("Линия %1").arg(line);
    if (m_unlistedLines.contains(line))
        name += QStringLiteral(" (нет в справочнике)");
    name += QStringLiteral(" — ");
    if (m_unlistedUsers.contains(numberIn) || !m_names.contains(numberIn))
        return name + QStringLiteral("абонента нет в справочнике");
    const QString& fio = m_names.value(numberIn).first;
    return name + (fio.isEmpty() ? QString::number(numberIn) : fio);
}

void CostReport::finish()
{
    m_rows.clear();
    m_total = {};
    // Each subscriber's sums by rule, and the whole period's.
    QHash<int, QHash<int, Sum>> byUser;
    QHash<int, Sum> all;
    for (auto it = m_sums.begin(); it != m_sums.end(); ++it) {
        const int numberIn = int(qint32(quint32(it.key() >> 32)));
        const int rule = int(quint32(it.key())) - 1;
        byUser[numberIn][rule].add(it.value());
        all[rule].add(it.value());
        m_total.add(it.value());
    }
    struct User
    {
        int number;
        QString fio;
        QString dept;
    };
    std::vector<User> users;
    for (auto it = byUser.begin(); it != byUser.end(); ++it) {
        const auto names = m_names.value(it.key());
        users.push_back({it.key(), names.first, names.second});
    }
    QCollator collator;
    std::sort(users.begin(), users.end(), [&collator](const User& a, const User& b) {
        if (a.dept != b.dept) {
            if (a.dept.isEmpty() || b.dept.isEmpty())
                return b.dept.isEmpty(); // those without a department last
            return collator(a.dept, b.dept);
        }
        if (a.fio != b.fio)
            return collator(a.fio, b.fio);
        return a.number < b.number;
    });
    for (std::size_t i = 0; i < users.size();) {
        const QString& dept = users[i].dept;
        addHeading(dept.isEmpty() ? NoDept : dept);
        Sum deptSum;
        for (; i < users.size() && users[i].dept == dept; ++i)
            deptSum.add(addSubscriber(byUser[users[i].number], users[i].number, users[i].fio));
        addTotal(QStringLiteral("Итого по отделу"), deptSum);
    }
    // The calls the directories do not place, by line and internal number.
    if (!m_outside.isEmpty()) {
        addHeading(QStringLiteral("Вне справочников"));
        std::vector<std::pair<int, int>> pairs;
        pairs.reserve(std::size_t(m_outside.size()));
        for (auto it = m_outside.begin(); it != m_outside.end(); ++it)
            pairs.emplace_back(int(qint32(quint32(it.key() >> 32))),
                               int(qint32(quint32(it.key()))));
        std::sort(pairs.begin(), pairs.end());
        Sum outsideSum;
        for (const auto& [line, numberIn] : pairs) {
            const QHash<int, Sum>& byRule = m_outside[pairKey(line, numberIn)];
            for (auto it = byRule.begin(); it != byRule.end(); ++it)
                all[it.key()].add(it.value());
            outsideSum.add(addSubscriber(byRule, numberIn, outsideName(line, numberIn)));
        }
        addTotal(QStringLiteral("Итого вне справочников"), outsideSum);
        m_total.add(outsideSum);
    }
    if (!all.isEmpty()) {
        addHeading(QStringLiteral("Все звонки по зонам"));
        addZones(all, 0, QString());
    }
    m_current = 0;
}

std::optional<QVariant> CostReport::value(const QString& name) const
{
    static const QString names[] = {
        QStringLiteral("DeptName"),    QStringLiteral("FIO"),        QStringLiteral("NumberIn"),
        QStringLiteral("ZoneName"),    QStringLiteral("Calls"),      QStringLiteral("Billed"),
        QStringLiteral("Cost"),        QStringLiteral("TotalLabel"), QStringLiteral("TotalCalls"),
        QStringLiteral("TotalBilled"), QStringLiteral("TotalCost")};
    int column = -1;
    for (int i = 0; i < int(std::size(names)); ++i)
        if (name.compare(names[i], Qt::CaseInsensitive) == 0)
            column = i;
    if (column < 0)
        return std::nullopt;
    if (m_current >= m_rows.size())
        return QVariant(QString());
    const Row& r = m_rows[m_current];
    const bool zone = r.kind == Row::Kind::Zone;
    const bool total = r.kind == Row::Kind::Total;
    // A cost of calls none of which has a tariff is not a cost of 0: it prints as nothing.
    const bool priced = r.sum.calls > r.sum.noTariff;
    QString text;
    switch (column) {
    case 0:
        text = r.kind == Row::Kind::Heading ? r.text : QString();
        break;
    case 1:
        text = r.fio;
        break;
    case 2:
        text = r.numberIn != 0 ? QString::number(r.numberIn) : QString();
        break;
    case 3:
        text = zone ? r.text : QString();
        break;
    case 4:
    case 8:
        text = (column == 4 ? zone : total) ? QString::number(r.sum.calls) : QString();
        break;
    case 5:
    case 9:
        text = (column == 5 ? zone : total) && priced ? ReportBilledText(r.sum.billed) : QString();
        break;
    case 6:
    case 10:
        text = (column == 6 ? zone : total) && priced ? ReportMoneyText(r.sum.kopecks) : QString();
        break;
    case 7:
        text = total ? r.text : QString();
        break;
    }
    return QVariant(text);
}
