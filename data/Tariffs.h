// Call pricing by tariff plans: rules, matching by the longest prefix, billed seconds, cost.
#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace tariff {

// Money is exact: prices and fees are held in ten-thousandths of a ruble (hundredths of a
// kopeck), the cost of a call and every total in kopecks. No floating point is involved.

/// Ten-thousandths of a ruble in one ruble.
constexpr qint64 PriceUnit = 10000;

/// "1,50" of a number of kopecks; "-1,50" below zero. The form of a cell's value, which a
/// spreadsheet or a file reads back as a number.
QString kopecksText(qint64 kopecks);
/// A sum as the operator reads it: thousands apart by a no-break space ("213 104,31").
QString moneyText(qint64 kopecks);
/// A price in ten-thousandths of a ruble with as many decimals as it needs, at least two
/// ("1,50", "0,0125").
QString priceText(qint64 price);
/// Reads a sum of rubles written with a decimal comma or point and at most four decimals
/// ("1,5", "2.40", "0,0125", "3"); spaces between thousands are allowed. Nothing else is.
std::optional<qint64> parsePrice(const QString& text);

/// The zones the editor offers; any other name is allowed as well.
QStringList standardZones();

/// One line of a price list.
struct Rule
{
    int id = 0;        ///< key in the database; 0 for a rule not stored yet
    QString prefix;    ///< digits; empty matches every number
    int minLength = 0; ///< digits of the dialled number; 0 with maxLength 0: any length
    int maxLength = 0;
    QString zone;
    qint64 minutePrice = 0;   ///< ten-thousandths of a ruble
    int firstInterval = 60;   ///< seconds
    int nextInterval = 60;    ///< seconds
    int freeSeconds = 0;      ///< a call no longer than this costs nothing at all
    qint64 connectionFee = 0; ///< ten-thousandths of a ruble
    QDate validFrom;          ///< null: since ever

    bool anyLength() const { return minLength == 0 && maxLength == 0; }
    bool fitsLength(int digits) const;
    /// "", "7" or "10-11".
    QString lengthText() const;
    /// Reads a length condition as lengthText() writes it; false for anything else.
    bool setLengthText(const QString& text);
    /// Seconds billed for a talk time of `seconds`.
    qint64 billedSeconds(qint64 seconds) const;
    /// Kopecks of a call of `seconds`: the fee plus the billed minutes' price, rounded half
    /// up to the kopeck; 0 within the free seconds.
    qint64 cost(qint64 seconds) const;
    /// Why the rule is not usable, in the operator's words; empty when it is.
    QString problem() const;
    /// What the rule applies to: "префикс 89, длина 11, действует с 15.03.2026".
    QString conditionText() const;
    /// The rule in one line: its condition, zone, price and billing.
    QString summary() const;
};

/// A named price list; lines without a plan of their own use the default one.
struct Plan
{
    int id = 0;
    QString name;
    bool isDefault = false;
    std::vector<Rule> rules;
};

/// How one call is priced.
struct Rating
{
    int rule = -1; ///< index in TariffBook::rules(); -1: no rule matches ("без тарифа")
    qint64 billed = 0; ///< seconds
    qint64 cost = 0;   ///< kopecks
};

/// Every plan with its rules, and which line uses which plan, prepared for matching: a prefix
/// tree per plan, built once, so that a call costs a walk along its digits. Immutable once
/// built; safe to read from several threads.
class TariffBook
{
public:
    TariffBook() = default;
    TariffBook(std::vector<Plan> plans, QHash<int, int> linePlans);
    // The rules are found through pointers into the plans: a copy would point into these.
    Q_DISABLE_COPY(TariffBook)

    const std::vector<Plan>& plans() const { return m_plans; }
    const QHash<int, int>& linePlans() const { return m_linePlans; }
    /// Every rule of every plan, indexed as Rating::rule.
    const Rule& rule(int index) const { return *m_rules[std::size_t(index)]; }
    int ruleCount() const { return int(m_rules.size()); }
    /// The plan a line is priced by: its own, else the default; nullptr when neither exists.
    const Plan* planOf(int line) const;

    /// The rule for a number dialled on a line on a day: among the rules of the line's plan in
    /// force that day whose length condition fits the number, the one with the longest prefix;
    /// -1 when none. A rule with the same prefix and length condition as another but a later
    /// date replaces it from that date on.
    int match(int line, const QDate& day, qint64 number) const;
    int match(int line, const QDate& day, const QString& digits) const;
    /// The rules of the line's plan whose prefix begins the number, whatever their length
    /// condition and date, the longest prefix first: what a check says when no rule matches.
    std::vector<int> prefixRules(int line, const QString& digits) const;
    /// Prices an outgoing call.
    Rating rate(int line, const QDate& day, qint64 number, qint64 seconds) const;
    Rating rate(int line, const QDate& day, const QString& digits, qint64 seconds) const;

    /// The explanation of a call's figure: the rule, the billing, the price.
    QString explain(const Rating& rating, qint64 seconds) const;

private:
    struct Node
    {
        int child[10];
        std::vector<int> rules; // ending here, the latest first
    };
    struct Tree
    {
        std::vector<Node> nodes;
    };
    int matchDigits(int line, qint64 julianDay, const char* digits, int count) const;
    int addNode(Tree& tree);

    std::vector<Plan> m_plans;
    QHash<int, int> m_linePlans; // line number -> plan id
    std::vector<const Rule*> m_rules;
    std::vector<Tree> m_trees;   // by plan index
    QHash<int, int> m_planIndex; // plan id -> index
    int m_defaultPlan = -1;      // index
};

/// The plan "Типовой": numbers as dialled from a Russian office exchange, classified by zone,
/// with the prices left at zero for the operator to fill in.
Plan standardPlan();

} // namespace tariff
