// The tariff plans as the "Тарифы" window edits them: the rules of editing and the checks
// before a save, and the check of one call against what is typed.
#include "PlanSet.h"

#include "TariffCsv.h"

#include <QRegularExpression>

#include <algorithm>

namespace tariff {

namespace {

bool sameName(const QString& a, const QString& b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

QString dayText(const QDate& day)
{
    return day.toString(QStringLiteral("dd.MM.yyyy"));
}

// Why no rule of the line's plan priced the number: the rules whose prefix fits but whose
// length condition or date does not, at most three.
QString whyNoRule(const TariffBook& book, int line, const QString& digits, const QDate& day)
{
    QStringList why;
    for (const int index : book.prefixRules(line, digits)) {
        const Rule& rule = book.rule(index);
        const QString fits = rule.prefix.isEmpty()
                                 ? QStringLiteral("Правило «%1» (любой номер)").arg(rule.zone)
                                 : QStringLiteral("Префикс %1 подходит, но правило «%2»")
                                       .arg(rule.prefix, rule.zone);
        if (!rule.fitsLength(int(digits.size())))
            why << fits + QStringLiteral(" — для номеров длины %1, а в номере цифр: %2.")
                              .arg(rule.lengthText())
                              .arg(digits.size());
        else if (rule.validFrom.isValid() && rule.validFrom > day)
            why << fits + QStringLiteral(" действует только с %1.").arg(dayText(rule.validFrom));
        if (why.size() == 3)
            break;
    }
    return why.isEmpty() ? QString() : u'\n' + why.join(u'\n');
}

} // namespace

PlanSet::PlanSet(std::vector<Plan> plans, QHash<int, int> linePlans)
    : m_plans(std::move(plans)), m_linePlans(std::move(linePlans))
{
}

std::size_t PlanSet::ruleCount() const
{
    std::size_t rules = 0;
    for (const Plan& p : m_plans)
        rules += p.rules.size();
    return rules;
}

int PlanSet::indexOf(const QString& name) const
{
    for (std::size_t i = 0; i < m_plans.size(); ++i)
        if (m_plans[i].name == name)
            return int(i);
    return -1;
}

QString PlanSet::title(int index) const
{
    const Plan& p = plan(index);
    return p.name + (p.isDefault ? QStringLiteral(" (по умолчанию)") : QString());
}

QString PlanSet::uniqueName(const QString& base) const
{
    const auto taken = [this](const QString& name) {
        return std::any_of(m_plans.begin(), m_plans.end(),
                           [&name](const Plan& p) { return sameName(p.name, name); });
    };
    QString name = base;
    for (int n = 2; taken(name); ++n)
        name = base + QStringLiteral(" %1").arg(n);
    return name;
}

int PlanSet::add(Plan plan)
{
    plan.id = m_nextNewId--;
    plan.name = uniqueName(plan.name);
    plan.isDefault = m_plans.empty();
    m_plans.push_back(std::move(plan));
    return count() - 1;
}

void PlanSet::remove(int index)
{
    const int id = plan(index).id;
    const bool wasDefault = plan(index).isDefault;
    m_plans.erase(m_plans.begin() + index);
    for (auto it = m_linePlans.begin(); it != m_linePlans.end();)
        it = it.value() == id ? m_linePlans.erase(it) : std::next(it);
    if (wasDefault && !m_plans.empty())
        m_plans.front().isDefault = true;
}

void PlanSet::setDefault(int index)
{
    for (std::size_t i = 0; i < m_plans.size(); ++i)
        m_plans[i].isDefault = int(i) == index;
}

void PlanSet::rename(int index, const QString& name)
{
    m_plans[std::size_t(index)].name = name;
}

std::vector<Rule> PlanSet::replaceRules(int index, std::vector<Rule> rules)
{
    std::swap(m_plans[std::size_t(index)].rules, rules);
    return rules;
}

void PlanSet::removeRule(int index, int row)
{
    std::vector<Rule>& rules = m_plans[std::size_t(index)].rules;
    if (row >= 0 && row < int(rules.size()))
        rules.erase(rules.begin() + row);
}

std::optional<PlanSet::Fault> PlanSet::setRuleRows(int index, const std::vector<QStringList>& rows)
{
    Plan& p = m_plans[std::size_t(index)];
    std::vector<Rule> rules;
    for (int r = 0; r < int(rows.size()); ++r) {
        const QStringList& fields = rows[std::size_t(r)];
        if (std::all_of(fields.begin(), fields.end(),
                        [](const QString& f) { return f.trimmed().isEmpty(); }))
            continue; // a row added and left blank
        Rule rule;
        if (r < int(p.rules.size()))
            rule.id = p.rules[std::size_t(r)].id;
        QString why;
        if (!ruleFromFields(fields, rule, why)) {
            // The reason begins with the title of the field refused.
            const QStringList titles = ruleTitles();
            int column = 0;
            for (int c = 0; c < titles.size(); ++c)
                if (why.startsWith(titles[c] + u':'))
                    column = c;
            return Fault{index, r, column,
                         QStringLiteral("План «%1», правило %2: %3. Исправьте значение; ничего не "
                                        "записано.")
                             .arg(p.name)
                             .arg(r + 1)
                             .arg(why)};
        }
        rules.push_back(rule);
    }
    p.rules = std::move(rules);
    return std::nullopt;
}

void PlanSet::setLinePlan(int line, int planId)
{
    if (planId == 0)
        m_linePlans.remove(line);
    else
        m_linePlans.insert(line, planId);
}

std::optional<PlanSet::Fault> PlanSet::fault() const
{
    for (std::size_t i = 0; i < m_plans.size(); ++i) {
        const QString name = m_plans[i].name.trimmed();
        QString why;
        if (name.isEmpty())
            why = QStringLiteral("У тарифного плана нет названия.");
        for (std::size_t j = 0; j < i && why.isEmpty(); ++j)
            if (sameName(m_plans[j].name, name))
                why = QStringLiteral("Два тарифных плана называются «%1».").arg(name);
        if (!why.isEmpty())
            return Fault{int(i), -1, -1, why + QStringLiteral(" Ничего не записано.")};
    }
    if (!m_plans.empty() &&
        std::none_of(m_plans.begin(), m_plans.end(), [](const Plan& p) { return p.isDefault; }))
        return Fault{-1, -1, -1,
                     QStringLiteral("Отметьте план по умолчанию (кнопка «По умолчанию»): им "
                                    "оцениваются звонки линий без своего плана. Ничего не "
                                    "записано.")};
    return std::nullopt;
}

QString PlanSet::digitsOf(const QString& number)
{
    static const QRegularExpression notDigit(QStringLiteral("[^0-9]"));
    return QString(number).remove(notDigit);
}

QString PlanSet::checkCall(int line, const QDate& day, const QString& number, qint64 seconds) const
{
    const QString digits = digitsOf(number);
    if (digits.isEmpty())
        return QStringLiteral("Введите номер.");
    std::vector<Plan> plans = m_plans;
    const TariffBook book(std::move(plans), m_linePlans);
    const Rating r = book.rate(line, day, digits, seconds);
    const Plan* plan = book.planOf(line);
    if (!plan)
        return QStringLiteral("Без тарифа: у линии нет своего плана и нет плана по умолчанию.");
    if (r.rule < 0)
        return QStringLiteral("Без тарифа: в плане «%1» нет правила для номера %2 на %3.")
                   .arg(plan->name, digits, dayText(day)) +
               whyNoRule(book, line, digits, day);
    return book.explain(r, seconds) + QStringLiteral("\nЗона: %1; к оплате %2 сек; стоимость %3")
                                          .arg(book.rule(r.rule).zone)
                                          .arg(r.billed)
                                          .arg(kopecksText(r.cost));
}

} // namespace tariff
