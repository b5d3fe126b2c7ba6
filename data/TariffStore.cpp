// The tariff plans in the shared database: whether they are there, creating, reading, saving.
#include "TariffStore.h"

#include "db/DbError.h"
#include "db/Query.h"
#include "db/ScriptRunner.h"
#include "db/Sql.h"
#include "db/Transaction.h"

#include <QRegularExpression>

namespace tariff {

namespace {

// Runs fn in the write transaction and commits; rolls back and rethrows on failure.
template <class Fn> void inTransaction(db::Transaction& write, Fn fn)
{
    if (!write.active())
        write.start();
    try {
        fn();
        write.commit();
    } catch (...) {
        write.rollbackQuietly();
        throw;
    }
}

void execute(db::Database& database, db::Transaction& tr, const QString& text,
             const std::vector<std::pair<QString, QVariant>>& values = {})
{
    db::Query q(database, tr);
    q.sql().add(text);
    for (const auto& [name, value] : values)
        q.paramByName(name).setValue(value);
    q.execSql();
}

// Draws `count` keys from the generator in one statement; the first of them. The generator
// moves by the whole block at once, so no other writer can be given one of these keys.
int newIds(db::Database& database, db::Transaction& tr, int count)
{
    if (count <= 0)
        return 0;
    db::Sql s(database, tr);
    s.sql().add(QStringLiteral("SELECT GEN_ID(GEN_TARIFFID, %1) AS ID FROM RDB$DATABASE")
                    .arg(count)); // an integer the program counted
    s.execQuery();
    return int(s.field(QStringLiteral("ID")).asInt64()) - count + 1;
}

// The rules get the keys from `nextId` on.
void insertRules(db::Database& database, db::Transaction& tr, int planId,
                 const std::vector<Rule>& rules, int& nextId)
{
    db::Query q(database, tr);
    q.sql().add(QStringLiteral(
        "INSERT INTO TariffRules (RuleID,PlanID,Prefix,MinLength,MaxLength,ZoneName,MinutePrice,"
        "FirstInterval,NextInterval,FreeSeconds,ConnectionFee,ValidFrom) VALUES (:RuleID,:PlanID,"
        ":Prefix,:MinLength,:MaxLength,:ZoneName,CAST(:MinutePrice AS BIGINT)*0.0001,"
        ":FirstInterval,:NextInterval,:FreeSeconds,CAST(:ConnectionFee AS BIGINT)*0.0001,"
        ":ValidFrom)"));
    for (const Rule& r : rules) {
        q.paramByName(QStringLiteral("RuleID")).setInteger(nextId++);
        q.paramByName(QStringLiteral("PlanID")).setInteger(planId);
        q.paramByName(QStringLiteral("Prefix")).setString(r.prefix);
        q.paramByName(QStringLiteral("MinLength")).setInteger(r.minLength);
        q.paramByName(QStringLiteral("MaxLength")).setInteger(r.maxLength);
        q.paramByName(QStringLiteral("ZoneName")).setString(r.zone.trimmed());
        q.paramByName(QStringLiteral("MinutePrice")).setInteger(r.minutePrice);
        q.paramByName(QStringLiteral("FirstInterval")).setInteger(r.firstInterval);
        q.paramByName(QStringLiteral("NextInterval")).setInteger(r.nextInterval);
        q.paramByName(QStringLiteral("FreeSeconds")).setInteger(r.freeSeconds);
        q.paramByName(QStringLiteral("ConnectionFee")).setInteger(r.connectionFee);
        q.paramByName(QStringLiteral("ValidFrom"))
            .setValue(r.validFrom.isValid() ? QVariant(r.validFrom) : QVariant());
        q.execSql();
    }
}

} // namespace

bool hasTables(db::Database& database, db::Transaction& read)
{
    db::Sql s(database, read);
    s.sql().add(QStringLiteral("SELECT COUNT(*) AS N FROM RDB$RELATIONS WHERE RDB$RELATION_NAME IN "
                               "('TARIFFPLANS','TARIFFRULES','LINETARIFFS')"));
    s.execQuery();
    return s.field(QStringLiteral("N")).asInt64() == 3;
}

void createTables(db::Database& database, db::Transaction& write)
{
    static const QRegularExpression skipped(QStringLiteral(R"(^(SET\s|COMMIT))"),
                                            QRegularExpression::CaseInsensitiveOption);
    inTransaction(write, [&] {
        for (const QString& statement : db::ScriptRunner::split(tableScript())) {
            if (skipped.match(statement).hasMatch())
                continue;
            db::Query q(database, write);
            q.setParamCheck(false);
            q.sql().add(statement);
            q.execSql();
        }
    });
    Plan plan = standardPlan();
    plan.isDefault = true;
    save(database, write, {plan}, {});
}

std::shared_ptr<const TariffBook> load(db::Database& database, db::Transaction& read)
{
    if (!hasTables(database, read))
        return std::make_shared<const TariffBook>();
    std::vector<Plan> plans;
    QHash<int, std::size_t> index;
    {
        db::Query q(database, read);
        q.sql().add(
            QStringLiteral("SELECT PlanID,PlanName,IsDefault FROM TariffPlans ORDER BY PlanName"));
        q.open();
        for (; !q.eof(); q.next()) {
            Plan p;
            p.id = q.field(QStringLiteral("PlanID")).asInteger();
            p.name = q.field(QStringLiteral("PlanName")).asString();
            p.isDefault = q.field(QStringLiteral("IsDefault")).asInteger() != 0;
            index.insert(p.id, plans.size());
            plans.push_back(std::move(p));
        }
    }
    {
        db::Query q(database, read);
        q.sql().add(QStringLiteral(
            "SELECT RuleID,PlanID,Prefix,MinLength,MaxLength,ZoneName,"
            "CAST(MinutePrice*10000 AS BIGINT) AS Price,FirstInterval,NextInterval,FreeSeconds,"
            "CAST(ConnectionFee*10000 AS BIGINT) AS Fee,ValidFrom FROM TariffRules "
            "ORDER BY PlanID,RuleID"));
        q.open();
        for (; !q.eof(); q.next()) {
            auto plan = index.constFind(q.field(QStringLiteral("PlanID")).asInteger());
            if (plan == index.constEnd())
                continue;
            Rule r;
            r.id = q.field(QStringLiteral("RuleID")).asInteger();
            r.prefix = q.field(QStringLiteral("Prefix")).asString().trimmed();
            r.minLength = q.field(QStringLiteral("MinLength")).asInteger();
            r.maxLength = q.field(QStringLiteral("MaxLength")).asInteger();
            r.zone = q.field(QStringLiteral("ZoneName")).asString();
            r.minutePrice = q.field(QStringLiteral("Price")).asInt64();
            r.firstInterval = q.field(QStringLiteral("FirstInterval")).asInteger();
            r.nextInterval = q.field(QStringLiteral("NextInterval")).asInteger();
            r.freeSeconds = q.field(QStringLiteral("FreeSeconds")).asInteger();
            r.connectionFee = q.field(QStringLiteral("Fee")).asInt64();
            const db::Field& from = q.field(QStringLiteral("ValidFrom"));
            if (!from.isNull())
                r.validFrom = from.asDate();
            plans[plan.value()].rules.push_back(std::move(r));
        }
    }
    QHash<int, int> lines;
    {
        db::Query q(database, read);
        q.sql().add(QStringLiteral("SELECT NumberLine,PlanID FROM LineTariffs"));
        q.open();
        for (; !q.eof(); q.next())
            lines.insert(q.field(QStringLiteral("NumberLine")).asInteger(),
                         q.field(QStringLiteral("PlanID")).asInteger());
    }
    return std::make_shared<const TariffBook>(std::move(plans), std::move(lines));
}

std::shared_ptr<const TariffBook> loadForCosts(db::Database& database, db::Transaction& read)
{
    try {
        return load(database, read);
    } catch (const db::DbError& e) {
        if (e.connectionLost())
            throw;
        return nullptr;
    }
}

void save(db::Database& database, db::Transaction& write, const std::vector<Plan>& plans,
          const QHash<int, int>& linePlans)
{
    inTransaction(write, [&] {
        execute(database, write, QStringLiteral("DELETE FROM LineTariffs"));
        execute(database, write, QStringLiteral("DELETE FROM TariffRules"));
        execute(database, write, QStringLiteral("DELETE FROM TariffPlans"));
        // Every key the save needs, drawn at once: the new plans' and all the rules'.
        int needed = 0;
        for (const Plan& p : plans)
            needed += int(p.rules.size()) + (p.id > 0 ? 0 : 1);
        int nextId = newIds(database, write, needed);
        QHash<int, int> ids; // as given -> as stored
        for (const Plan& p : plans) {
            const int id = p.id > 0 ? p.id : nextId++; // new plans come with ids below 1
            ids.insert(p.id, id);
            execute(database, write,
                    QStringLiteral("INSERT INTO TariffPlans (PlanID,PlanName,IsDefault) VALUES "
                                   "(:PlanID,:PlanName,:IsDefault)"),
                    {{QStringLiteral("PlanID"), id},
                     {QStringLiteral("PlanName"), p.name.trimmed()},
                     {QStringLiteral("IsDefault"), p.isDefault ? 1 : 0}});
            insertRules(database, write, id, p.rules, nextId);
        }
        for (auto it = linePlans.constBegin(); it != linePlans.constEnd(); ++it) {
            if (!ids.contains(it.value()))
                continue;
            execute(database, write,
                    QStringLiteral(
                        "INSERT INTO LineTariffs (NumberLine,PlanID) VALUES (:NumberLine,:PlanID)"),
                    {{QStringLiteral("NumberLine"), it.key()},
                     {QStringLiteral("PlanID"), ids.value(it.value())}});
        }
    });
}

QString writeErrorText(const QString& serverMessage)
{
    const QString upper = serverMessage.toUpper();
    if (upper.contains(QLatin1String("NO PERMISSION")))
        return QStringLiteral("У вашего пользователя базы данных нет права на это действие. "
                              "Попросите администратора базы выполнить сценарий db/tariffs.sql "
                              "или выдать права на таблицы тарифов.\n\n") +
               serverMessage;
    if (upper.contains(QLatin1String("UQ_TARIFFPLANS_NAME")))
        return QStringLiteral("Два тарифных плана не могут называться одинаково.");
    if (upper.contains(QLatin1String("LOCK CONFLICT")) || upper.contains(QLatin1String("DEADLOCK")))
        return QStringLiteral("Тарифы сейчас изменяет другой пользователь. Ничего не записано; "
                              "повторите позже.");
    return QStringLiteral("Ошибка (") + serverMessage + u')';
}

} // namespace tariff
