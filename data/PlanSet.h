// The tariff plans as the "Тарифы" window edits them: the rules of editing and the checks
// before a save, and the check of one call against what is typed.
#pragma once

#include "Tariffs.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tariff {

/// A copy of the plans with their rules and of which line uses which plan, changed by the
/// editor's actions and written as a whole. Plans not stored yet have ids below 1.
class PlanSet
{
public:
    /// A value of the set that cannot be saved: the plan at fault (-1 when none is), the rule's
    /// row and field (-1 when the fault is not in a rule), and the operator's text.
    struct Fault
    {
        int plan = -1;
        int row = -1;
        int column = -1;
        QString text;
    };

    PlanSet() = default;
    PlanSet(std::vector<Plan> plans, QHash<int, int> linePlans);

    const std::vector<Plan>& plans() const { return m_plans; }
    /// Line number -> plan id, for the lines that have a plan of their own.
    const QHash<int, int>& linePlans() const { return m_linePlans; }
    int count() const { return int(m_plans.size()); }
    const Plan& plan(int index) const { return m_plans[std::size_t(index)]; }
    /// Every rule of every plan.
    std::size_t ruleCount() const;
    /// The index of the plan of exactly this name; -1 when none has it.
    int indexOf(const QString& name) const;
    /// The name and, for the default plan, " (по умолчанию)".
    QString title(int index) const;

    /// `base`, or "base 2", "base 3", … : the first no plan has, spaces around a name and
    /// letter case aside.
    QString uniqueName(const QString& base) const;
    /// Adds a plan under a name no other has and a new id; the first plan is the default.
    /// Returns its index.
    int add(Plan plan);
    /// Removes a plan with its rules; its lines go to the default plan, and when it was the
    /// default the first plan left becomes the default.
    void remove(int index);
    /// The one default plan.
    void setDefault(int index);
    void rename(int index, const QString& name);
    /// Replaces a plan's rules; gives back the ones it had.
    std::vector<Rule> replaceRules(int index, std::vector<Rule> rules);
    void removeRule(int index, int row);
    /// Reads a plan's rules from the editor's rows of fields (in the order of ruleTitles()):
    /// rows left blank are skipped, row i keeps the key of the plan's rule i. Nothing changes
    /// when a value is wrong: the fault names the plan, the row and the field.
    std::optional<Fault> setRuleRows(int index, const std::vector<QStringList>& rows);

    /// The plan of a line's own; 0 when it is priced by the default.
    int linePlan(int line) const { return m_linePlans.value(line, 0); }
    /// 0: the line goes to the default plan.
    void setLinePlan(int line, int planId);

    /// Why the set cannot be saved (a plan without a name, two of one name, no default plan),
    /// ending "Ничего не записано."; nothing when it can.
    std::optional<Fault> fault() const;

    /// The digits of a number as typed ("8 916 123-45-67").
    static QString digitsOf(const QString& number);
    /// What the set makes of one call: the rule, the billing and the cost, or why no rule
    /// prices it ("Введите номер." when the number has no digits).
    QString checkCall(int line, const QDate& day, const QString& number, qint64 seconds) const;

private:
    std::vector<Plan> m_plans;
    QHash<int, int> m_linePlans;
    int m_nextNewId = -1;
};

} // namespace tariff
