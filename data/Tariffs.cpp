// Call pricing by tariff plans: rules, matching by the longest prefix, billed seconds, cost.
#include "Tariffs.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace tariff {

namespace {

// Whole rubles and kopecks apart, so that no figure passes through floating point.
QString rublesAndKopecks(qint64 kopecks, bool grouped)
{
    const bool negative = kopecks < 0;
    const quint64 v = negative ? quint64(0) - quint64(kopecks) : quint64(kopecks);
    QString whole = QString::number(v / 100);
    if (grouped) // thousands apart by a no-break space, as Russian writes money
        for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
            whole.insert(at, QChar(0x00A0));
    return (negative ? QStringLiteral("-") : QString()) + whole + u',' +
           QStringLiteral("%1").arg(v % 100, 2, 10, QLatin1Char('0'));
}

} // namespace

QString kopecksText(qint64 kopecks)
{
    return rublesAndKopecks(kopecks, false);
}

QString moneyText(qint64 kopecks)
{
    return rublesAndKopecks(kopecks, true);
}

QString priceText(qint64 price)
{
    const bool negative = price < 0;
    const quint64 v = negative ? quint64(0) - quint64(price) : quint64(price);
    QString fraction = QStringLiteral("%1").arg(v % PriceUnit, 4, 10, QLatin1Char('0'));
    while (fraction.size() > 2 && fraction.endsWith(u'0'))
        fraction.chop(1);
    return (negative ? QStringLiteral("-") : QString()) + QString::number(v / PriceUnit) + u',' +
           fraction;
}

std::optional<qint64> parsePrice(const QString& text)
{
    QString t = text.trimmed();
    t.remove(u' ');
    t.remove(QChar(0x00A0));
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,9})(?:[.,]([0-9]{0,4}))?$"));
    const QRegularExpressionMatch m = form.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    qint64 value = m.captured(1).toLongLong() * PriceUnit;
    QString fraction = m.captured(2);
    while (fraction.size() < 4)
        fraction.append(u'0');
    return value + fraction.toLongLong();
}

QStringList standardZones()
{
    return {QStringLiteral("Местные"), QStringLiteral("Мобильные"), QStringLiteral("Междугородные"),
            QStringLiteral("Международные"), QStringLiteral("Бесплатные")};
}

// ---- a rule -----------------------------------------------------------------------------

bool Rule::fitsLength(int digits) const
{
    return anyLength() || (digits >= minLength && digits <= maxLength);
}

QString Rule::lengthText() const
{
    if (anyLength())
        return {};
    if (minLength == maxLength)
        return QString::number(minLength);
    return QString::number(minLength) + u'-' + QString::number(maxLength);
}

bool Rule::setLengthText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        minLength = maxLength = 0;
        return true;
    }
    static const QRegularExpression form(
        QStringLiteral("^([0-9]{1,2})\\s*(?:-\\s*([0-9]{1,2}))?$"));
    const QRegularExpressionMatch m = form.match(t);
    if (!m.hasMatch())
        return false;
    const int from = m.captured(1).toInt();
    const int to = m.captured(2).isEmpty() ? from : m.captured(2).toInt();
    if (from < 1 || to < from)
        return false;
    minLength = from;
    maxLength = to;
    return true;
}

qint64 Rule::billedSeconds(qint64 seconds) const
{
    if (seconds <= freeSeconds || seconds <= 0)
        return 0;
    if (seconds <= firstInterval)
        return firstInterval;
    const qint64 next = std::max(1, nextInterval);
    return firstInterval + (seconds - firstInterval + next - 1) / next * next;
}

qint64 Rule::cost(qint64 seconds) const
{
    const qint64 billed = billedSeconds(seconds);
    if (billed == 0)
        return 0;
    // In 1/6000 of a kopeck: the fee's ten-thousandths of a ruble times 60, plus the seconds
    // times the minute's price; then half up to the kopeck.
    const qint64 sixtieths = connectionFee * 60 + billed * minutePrice;
    return (sixtieths + 3000) / 6000;
}

QString Rule::problem() const
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]*$"));
    if (!digits.match(prefix).hasMatch())
        return QStringLiteral("Префикс может состоять только из цифр");
    if (prefix.size() > 20)
        return QStringLiteral("Префикс длиннее 20 цифр");
    if (!anyLength() && (minLength < 1 || maxLength < minLength || maxLength > 20))
        return QStringLiteral(
            "Длина номера задается числом от 1 до 20 или диапазоном, например 10-11");
    if (!anyLength() && prefix.size() > maxLength)
        return QStringLiteral("Префикс длиннее номера указанной длины");
    if (zone.trimmed().isEmpty())
        return QStringLiteral("Не указана зона");
    if (zone.size() > 50)
        return QStringLiteral("Название зоны длиннее 50 знаков");
    if (minutePrice < 0 || minutePrice > 100000 * PriceUnit)
        return QStringLiteral("Цена минуты должна быть от 0 до 100000");
    if (firstInterval < 1 || firstInterval > 3600)
        return QStringLiteral("Первый интервал должен быть от 1 до 3600 секунд");
    if (nextInterval < 1 || nextInterval > 3600)
        return QStringLiteral("Следующий интервал должен быть от 1 до 3600 секунд");
    if (freeSeconds < 0 || freeSeconds > 3600)
        return QStringLiteral("Бесплатные секунды должны быть от 0 до 3600");
    if (connectionFee < 0 || connectionFee > 100000 * PriceUnit)
        return QStringLiteral("Плата за соединение должна быть от 0 до 100000");
    return {};
}

QString Rule::conditionText() const
{
    QString condition =
        prefix.isEmpty() ? QStringLiteral("любой номер") : QStringLiteral("префикс %1").arg(prefix);
    if (!anyLength())
        condition += QStringLiteral(", длина %1").arg(lengthText());
    if (validFrom.isValid())
        condition += QStringLiteral(", действует с %1")
                         .arg(validFrom.toString(QStringLiteral("dd.MM.yyyy")));
    return condition;
}

QString Rule::summary() const
{
    QString text = conditionText() + QStringLiteral(": %1, %2 за минуту, %3/%4 сек")
                                         .arg(zone, priceText(minutePrice))
                                         .arg(firstInterval)
                                         .arg(nextInterval);
    if (freeSeconds > 0)
        text += QStringLiteral(", бесплатно %1 сек").arg(freeSeconds);
    if (connectionFee > 0)
        text += QStringLiteral(", соединение %1").arg(priceText(connectionFee));
    return text;
}

// ---- the book ---------------------------------------------------------------------------

TariffBook::TariffBook(std::vector<Plan> plans, QHash<int, int> linePlans)
    : m_plans(std::move(plans)), m_linePlans(std::move(linePlans))
{
    m_trees.resize(m_plans.size());
    for (std::size_t p = 0; p < m_plans.size(); ++p) {
        Plan& plan = m_plans[p];
        m_planIndex.insert(plan.id, int(p));
        if (plan.isDefault && m_defaultPlan < 0)
            m_defaultPlan = int(p);
        Tree& tree = m_trees[p];
        addNode(tree);
        for (const Rule& rule : plan.rules) {
            const int index = int(m_rules.size());
            m_rules.push_back(&rule);
            int node = 0;
            for (QChar c : rule.prefix) {
                const int d = c.unicode() - '0';
                if (d < 0 || d > 9)
                    break;
                if (tree.nodes[std::size_t(node)].child[d] < 0) {
                    const int added = addNode(tree);
                    tree.nodes[std::size_t(node)].child[d] = added;
                }
                node = tree.nodes[std::size_t(node)].child[d];
            }
            tree.nodes[std::size_t(node)].rules.push_back(index);
        }
        // The latest first; on the same day a rule with a length condition before one without.
        for (Node& n : tree.nodes)
            std::stable_sort(n.rules.begin(), n.rules.end(), [this](int a, int b) {
                const Rule& ra = *m_rules[std::size_t(a)];
                const Rule& rb = *m_rules[std::size_t(b)];
                const qint64 da = ra.validFrom.isValid() ? ra.validFrom.toJulianDay() : LLONG_MIN;
                const qint64 db = rb.validFrom.isValid() ? rb.validFrom.toJulianDay() : LLONG_MIN;
                if (da != db)
                    return da > db;
                return !ra.anyLength() && rb.anyLength();
            });
    }
}

int TariffBook::addNode(Tree& tree)
{
    Node n;
    std::fill(std::begin(n.child), std::end(n.child), -1);
    tree.nodes.push_back(std::move(n));
    return int(tree.nodes.size()) - 1;
}

const Plan* TariffBook::planOf(int line) const
{
    auto own = m_linePlans.constFind(line);
    if (own != m_linePlans.constEnd()) {
        auto index = m_planIndex.constFind(own.value());
        if (index != m_planIndex.constEnd())
            return &m_plans[std::size_t(index.value())];
    }
    return m_defaultPlan >= 0 ? &m_plans[std::size_t(m_defaultPlan)] : nullptr;
}

int TariffBook::matchDigits(int line, qint64 julianDay, const char* digits, int count) const
{
    const Plan* plan = planOf(line);
    if (!plan)
        return -1;
    const Tree& tree = m_trees[std::size_t(plan - m_plans.data())];
    int best = -1;
    int node = 0;
    for (int depth = 0;; ++depth) {
        for (int index : tree.nodes[std::size_t(node)].rules) {
            const Rule& r = *m_rules[std::size_t(index)];
            if (r.validFrom.isValid() && r.validFrom.toJulianDay() > julianDay)
                continue;
            if (!r.fitsLength(count))
                continue;
            best = index; // deeper is longer: it replaces what a shorter prefix found
            break;
        }
        if (depth == count)
            break;
        const int next = tree.nodes[std::size_t(node)].child[digits[depth] - '0'];
        if (next < 0)
            break;
        node = next;
    }
    return best;
}

int TariffBook::match(int line, const QDate& day, qint64 number) const
{
    if (number < 0)
        return -1;
    char digits[24];
    int count = 0;
    char reversed[24];
    do {
        reversed[count++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0 && count < 20);
    for (int i = 0; i < count; ++i)
        digits[i] = reversed[count - 1 - i];
    return matchDigits(line, day.toJulianDay(), digits, count);
}

int TariffBook::match(int line, const QDate& day, const QString& text) const
{
    char digits[24];
    int count = 0;
    for (QChar c : text) {
        if (c.unicode() < '0' || c.unicode() > '9')
            continue; // "+7 (495) 123-45-67" as typed
        if (count == 20)
            return -1;
        digits[count++] = char(c.unicode());
    }
    if (count == 0)
        return -1;
    return matchDigits(line, day.toJulianDay(), digits, count);
}

std::vector<int> TariffBook::prefixRules(int line, const QString& text) const
{
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    std::vector<int> found;
    const Plan* plan = planOf(line);
    if (!plan)
        return found;
    for (int index = 0; index < ruleCount(); ++index) {
        const Rule& r = rule(index);
        const bool ofPlan =
            &r >= plan->rules.data() && &r < plan->rules.data() + plan->rules.size();
        if (ofPlan && digits.startsWith(r.prefix))
            found.push_back(index);
    }
    std::stable_sort(found.begin(), found.end(), [this](int a, int b) {
        return rule(a).prefix.size() > rule(b).prefix.size();
    });
    return found;
}

Rating TariffBook::rate(int line, const QDate& day, qint64 number, qint64 seconds) const
{
    Rating r;
    r.rule = match(line, day, number);
    if (r.rule >= 0) {
        r.billed = rule(r.rule).billedSeconds(seconds);
        r.cost = rule(r.rule).cost(seconds);
    }
    return r;
}

Rating TariffBook::rate(int line, const QDate& day, const QString& digits, qint64 seconds) const
{
    Rating r;
    r.rule = match(line, day, digits);
    if (r.rule >= 0) {
        r.billed = rule(r.rule).billedSeconds(seconds);
        r.cost = rule(r.rule).cost(seconds);
    }
    return r;
}

QString TariffBook::explain(const Rating& rating, qint64 seconds) const
{
    if (rating.rule < 0)
        return QStringLiteral("Без тарифа: ни одно правило тарифного плана линии не подходит к "
                              "этому номеру в день звонка");
    const Rule& r = rule(rating.rule);
    QString planName;
    for (const Plan& p : m_plans)
        if (!p.rules.empty() && &r >= p.rules.data() && &r < p.rules.data() + p.rules.size())
            planName = p.name;
    QStringList lines;
    lines << QStringLiteral("План «%1», зона «%2»").arg(planName, r.zone);
    lines << QStringLiteral("Правило: %1").arg(r.conditionText());
    if (rating.billed == 0) {
        lines << QStringLiteral("Разговор %1 сек не длиннее бесплатных %2 сек: 0,00")
                     .arg(seconds)
                     .arg(r.freeSeconds);
        return lines.join(u'\n');
    }
    lines << QStringLiteral("Тарификация %1/%2: разговор %3 сек, к оплате %4 сек")
                 .arg(r.firstInterval)
                 .arg(r.nextInterval)
                 .arg(seconds)
                 .arg(rating.billed);
    QString sum = QStringLiteral("%1 сек × %2 за минуту / 60")
                      .arg(rating.billed)
                      .arg(priceText(r.minutePrice));
    if (r.connectionFee != 0)
        sum = QStringLiteral("%1 за соединение + ").arg(priceText(r.connectionFee)) + sum;
    lines << sum + QStringLiteral(" = %1").arg(kopecksText(rating.cost));
    return lines.join(u'\n');
}

// ---- the ready plan ---------------------------------------------------------------------

Plan standardPlan()
{
    Plan p;
    p.name = QStringLiteral("Типовой");
    const QString local = QStringLiteral("Местные");
    const QString mobile = QStringLiteral("Мобильные");
    const QString distance = QStringLiteral("Междугородные");
    const QString world = QStringLiteral("Международные");
    const QString free = QStringLiteral("Бесплатные");
    auto add = [&p](const char* prefix, const char* length, const QString& zone) {
        Rule r;
        r.prefix = QString::fromLatin1(prefix);
        r.setLengthText(QString::fromLatin1(length));
        r.zone = zone;
        p.rules.push_back(r);
    };
    // 8 + ten digits, and the same numbers in the 7… form (+7… reaches the log as 7…).
    add("8800", "11", free);
    add("7800", "11", free);
    add("89", "11", mobile);
    add("79", "11", mobile);
    add("8", "11", distance);
    add("7", "11", distance);
    // 8-10, then the country's code and the number.
    add("810", "", world);
    // Emergency services, then the city's own numbers.
    add("0", "2-3", free);
    add("1", "3", free);
    add("", "5-7", local);
    return p;
}

} // namespace tariff
