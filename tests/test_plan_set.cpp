// The rules of editing the tariff plans and the checks before a save, without a window or a
// database: the data library alone.
#include "support/TestMain.h"

#include "data/PlanSet.h"
#include "data/TariffCsv.h"

#include <QTest>

using tariff::Plan;
using tariff::PlanSet;

namespace {

// A rule's fields as the editor's row holds them.
QStringList row(const char* prefix, const char* length, const char* price)
{
    return {QString::fromLatin1(prefix), QString::fromLatin1(length), QStringLiteral("Зона"),
            QString::fromLatin1(price)};
}

Plan named(const QString& name, int id = 0)
{
    Plan p;
    p.name = name;
    p.id = id;
    return p;
}

// Two stored plans, the second the default, and line 5 on the first.
PlanSet stored()
{
    Plan b = named(QStringLiteral("Межгород"), 11);
    b.isDefault = true;
    return PlanSet({named(QStringLiteral("Город"), 10), b}, {{5, 10}});
}

} // namespace

class TestPlanSet : public QObject
{
    Q_OBJECT
private slots:
    void addedPlansGetFreeNamesAndNewIds();
    void removedPlanTakesItsLinesAndDefaultAlong();
    void ruleRowsAreReadOrRefusedWhole();
    void faultsBeforeASave();
    void checkOfACall();
};

void TestPlanSet::addedPlansGetFreeNamesAndNewIds()
{
    PlanSet set;
    QCOMPARE(set.add(named(QStringLiteral("Новый план"))), 0);
    QCOMPARE(set.add(named(QStringLiteral("НОВЫЙ ПЛАН"))), 1);
    QCOMPARE(set.add(named(QStringLiteral("Новый план"))), 2);
    QCOMPARE(set.plan(1).name, QStringLiteral("НОВЫЙ ПЛАН 2"));
    QCOMPARE(set.plan(2).name, QStringLiteral("Новый план 3"));
    QVERIFY(set.plan(0).isDefault);  // the first plan prices every line
    QVERIFY(!set.plan(1).isDefault); // the others do not take it over
    QVERIFY(set.plan(0).id < 1 && set.plan(1).id < 1 && set.plan(0).id != set.plan(1).id);
    QCOMPARE(set.title(0), QStringLiteral("Новый план (по умолчанию)"));
}

void TestPlanSet::removedPlanTakesItsLinesAndDefaultAlong()
{
    PlanSet set = stored();
    set.setLinePlan(6, 11);
    set.remove(1); // the default, with line 6
    QCOMPARE(set.count(), 1);
    QVERIFY(set.plan(0).isDefault);
    QCOMPARE(set.linePlan(6), 0);
    QCOMPARE(set.linePlan(5), 10);
    set.setLinePlan(5, 0);
    QVERIFY(set.linePlans().isEmpty());
}

void TestPlanSet::ruleRowsAreReadOrRefusedWhole()
{
    PlanSet set = stored();
    QVERIFY(!set.setRuleRows(0, {row("8", "11", "2,40"), row("810", "", "9")}));
    std::vector<tariff::Rule> rules = set.plan(0).rules;
    rules[0].id = 77; // as loaded from the database
    set.replaceRules(0, rules);
    // A blank row is skipped; a row keeps the key of the rule it shows.
    QVERIFY(!set.setRuleRows(0, {row("89", "11", "3"), {QString(), QStringLiteral(" ")}}));
    QCOMPARE(set.plan(0).rules.size(), std::size_t(1));
    QCOMPARE(set.plan(0).rules[0].id, 77);
    QCOMPARE(set.plan(0).rules[0].prefix, QStringLiteral("89"));
    // A wrong price names the plan, the row and the field; the rules stay.
    const auto fault = set.setRuleRows(0, {row("8", "11", "1"), row("7", "7", "1.5.0")});
    QVERIFY(fault);
    QCOMPARE(fault->row, 1);
    QCOMPARE(fault->column, 3);
    QVERIFY2(fault->text.startsWith(QStringLiteral("План «Город», правило 2: Цена минуты")),
             qPrintable(fault->text));
    QCOMPARE(set.plan(0).rules[0].prefix, QStringLiteral("89"));
}

void TestPlanSet::faultsBeforeASave()
{
    PlanSet set = stored();
    QVERIFY(!set.fault());
    set.rename(1, QStringLiteral(" город"));
    auto fault = set.fault();
    QVERIFY(fault);
    QCOMPARE(fault->plan, 1);
    QCOMPARE(fault->text,
             QStringLiteral("Два тарифных плана называются «город». Ничего не записано."));
    set.rename(1, QStringLiteral("  "));
    QCOMPARE(set.fault()->text,
             QStringLiteral("У тарифного плана нет названия. Ничего не записано."));
    set.rename(1, QStringLiteral("Межгород"));
    set.setDefault(-1);
    fault = set.fault();
    QVERIFY(fault);
    QCOMPARE(fault->plan, -1);
    QVERIFY(fault->text.startsWith(QStringLiteral("Отметьте план по умолчанию")));
    QVERIFY(!PlanSet().fault()); // no plans at all: nothing is priced, which may be saved
}

void TestPlanSet::checkOfACall()
{
    PlanSet set = stored();
    QVERIFY(!set.setRuleRows(0, {row("89", "11", "2,40")}));
    QVERIFY(!set.setRuleRows(1, {row("8", "11", "1")}));
    const QDate day(2026, 3, 10);
    QCOMPARE(set.checkCall(5, day, QStringLiteral("-"), 60), QStringLiteral("Введите номер."));
    const QString priced = set.checkCall(5, day, QStringLiteral("8 916 123-45-67"), 61);
    QVERIFY2(priced.endsWith(QStringLiteral("Зона: Зона; к оплате 120 сек; стоимость 4,80")),
             qPrintable(priced));
    // Line 6 goes by the default plan, whose rule is for eleven digits only.
    const QString none = set.checkCall(6, day, QStringLiteral("8123"), 60);
    QVERIFY2(none.startsWith(QStringLiteral(
                 "Без тарифа: в плане «Межгород» нет правила для номера 8123 на 10.03.2026.\n"
                 "Префикс 8 подходит, но правило «Зона» — для номеров длины 11")),
             qPrintable(none));
    set.setDefault(-1);
    QCOMPARE(set.checkCall(6, day, QStringLiteral("8123"), 60),
             QStringLiteral("Без тарифа: у линии нет своего плана и нет плана по умолчанию."));
}

KELVORA_TEST_GUILESS_MAIN(TestPlanSet)
#include "test_plan_set.moc"
