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

// A plan's key: the one it has, or a new one for a plan not stored yet (ids below 1).
stmt::Statement insertPlan(const Plan& p)
{
    stmt::Statement s;
    if (p.id > 0)
        s.add(QStringLiteral("INSERT INTO TariffPlans (PlanID,PlanName,IsDefault) VALUES "
                             "(:PlanID,:PlanName,:IsDefault)"))
            .bind(QStringLiteral("PlanID"), p.id);
    else
        s.add(QStringLiteral("INSERT INTO TariffPlans (PlanID,PlanName,IsDefault) VALUES "
                             "(GEN_ID(GEN_TARIFFID,1),:PlanName,:IsDefault)"));
    return s.bind(QStringLiteral("PlanName"), p.name.trimmed())
        .bind(QStringLiteral("IsDefault"), p.isDefault ? 1 : 0);
}

// One text for every rule, so that the statement is prepared once for all of them.
stmt::Statement insertRule(const QString& planName, const Rule& r)
{
    stmt::Statement s;
    s.add(QStringLiteral(
        "INSERT INTO TariffRules (RuleID,PlanID,Prefix,MinLength,MaxLength,ZoneName,MinutePrice,"
        "FirstInterval,NextInterval,FreeSeconds,ConnectionFee,ValidFrom) VALUES "
        "(GEN_ID(GEN_TARIFFID,1),(SELECT PlanID FROM TariffPlans WHERE PlanName=:PlanName),"
        ":Prefix,:MinLength,:MaxLength,:ZoneName,CAST(:MinutePrice AS BIGINT)*0.0001,"
        ":FirstInterval,:NextInterval,:FreeSeconds,CAST(:ConnectionFee AS BIGINT)*0.0001,"
        ":ValidFrom)"));
    return s.bind(QStringLiteral("PlanName"), planName)
        .bind(QStringLiteral("Prefix"), r.prefix)
        .bind(QStringLiteral("MinLength"), r.minLength)
        .bind(QStringLiteral("MaxLength"), r.maxLength)
        .bind(QStringLiteral("ZoneName"), r.zone.trimmed())
        .bind(QStringLiteral("MinutePrice"), r.minutePrice)
        .bind(QStringLiteral("FirstInterval"), r.firstInterval)
        .bind(QStringLiteral("NextInterval"), r.nextInterval)
        .bind(QStringLiteral("FreeSeconds"), r.freeSeconds)
        .bind(QStringLiteral("ConnectionFee"), r.connectionFee)
        .bind(QStringLiteral("ValidFrom"),
              r.validFrom.isValid() ? QVariant(r.validFrom) : QVariant());
}

stmt::Statement insertLinePlan(int line, const QString& planName)
{
    stmt::Statement s;
    s.add(QStringLiteral("INSERT INTO LineTariffs (NumberLine,PlanID) SELECT :NumberLine,PlanID "
                         "FROM TariffPlans WHERE PlanName=:PlanName"));
    return s.bind(QStringLiteral("NumberLine"), line).bind(QStringLiteral("PlanName"), planName);
}

stmt::Statement plain(const QString& text)
{
    stmt::Statement s;
    s.add(text);
    return s;
}

// The statements of the script that make the tables, without the isql commands.
std::vector<QString> scriptStatements()
{
    static const QRegularExpression skipped(QStringLiteral(R"(^(SET\s|COMMIT))"),
                                            QRegularExpression::CaseInsensitiveOption);
    std::vector<QString> out;
    for (const QString& statement : db::ScriptRunner::split(tableScript()))
        if (!skipped.match(statement).hasMatch())
            out.push_back(statement);
    return out;
}

bool createsBillColumns(const QString& statement)
{
    static const QRegularExpression table(QStringLiteral(R"(^CREATE\s+TABLE\s+BillColumns\b)"),
                                          QRegularExpression::CaseInsensitiveOption);
    return table.match(statement).hasMatch();
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

TDM::WriteResult createTables(TDM& dm)
{
    // The bills' columns may have been remembered before the plans were made.
    const bool columnsThere = hasBillColumns(dm.ibDatabase, dm.ibTranRO);
    std::vector<stmt::Statement> tables;
    for (const QString& statement : scriptStatements())
        if (!(columnsThere && createsBillColumns(statement)))
            tables.push_back(plain(statement));
    const TDM::WriteResult created = dm.Write(tables, TDM::Refusal::RollBack);
    if (created != TDM::WriteResult::Written)
        return created;
    Plan plan = standardPlan();
    plan.isDefault = true;
    return save(dm, {plan}, {});
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

std::vector<stmt::Statement> saveStatements(const std::vector<Plan>& plans,
                                            const QHash<int, int>& linePlans)
{
    std::vector<stmt::Statement> out = {plain(QStringLiteral("DELETE FROM LineTariffs")),
                                        plain(QStringLiteral("DELETE FROM TariffRules")),
                                        plain(QStringLiteral("DELETE FROM TariffPlans"))};
    QHash<int, QString> names; // id as given -> name as stored
    for (const Plan& p : plans) {
        out.push_back(insertPlan(p));
        names.insert(p.id, p.name.trimmed());
    }
    for (const Plan& p : plans)
        for (const Rule& r : p.rules)
            out.push_back(insertRule(p.name.trimmed(), r));
    for (auto it = linePlans.constBegin(); it != linePlans.constEnd(); ++it)
        if (names.contains(it.value()))
            out.push_back(insertLinePlan(it.key(), names.value(it.value())));
    return out;
}

TDM::WriteResult save(TDM& dm, const std::vector<Plan>& plans, const QHash<int, int>& linePlans)
{
    return dm.Write(saveStatements(plans, linePlans), TDM::Refusal::RollBack);
}

bool hasBillColumns(db::Database& database, db::Transaction& read)
{
    db::Sql s(database, read);
    s.sql().add(QStringLiteral(
        "SELECT COUNT(*) AS N FROM RDB$RELATIONS WHERE RDB$RELATION_NAME='BILLCOLUMNS'"));
    s.execQuery();
    return s.field(QStringLiteral("N")).asInt64() == 1;
}

QString billColumns(db::Database& database, db::Transaction& read, int plan)
{
    if (!hasBillColumns(database, read))
        return {};
    db::Query q(database, read);
    q.sql().add(QStringLiteral("SELECT Choice FROM BillColumns WHERE PlanID=:PlanID"));
    q.paramByName(QStringLiteral("PlanID")).setInteger(plan);
    q.open();
    return q.eof() ? QString() : q.field(QStringLiteral("Choice")).asString().trimmed();
}

TDM::WriteResult saveBillColumns(TDM& dm, int plan, const QString& choice)
{
    if (!hasBillColumns(dm.ibDatabase, dm.ibTranRO)) {
        std::vector<stmt::Statement> create;
        for (const QString& statement : scriptStatements())
            if (createsBillColumns(statement))
                create.push_back(plain(statement));
        const TDM::WriteResult created = dm.Write(create, TDM::Refusal::RollBack);
        if (created != TDM::WriteResult::Written)
            return created;
    }
    stmt::Statement s;
    s.add(QStringLiteral("UPDATE OR INSERT INTO BillColumns (PlanID,Choice) VALUES "
                         "(:PlanID,:Choice) MATCHING (PlanID)"))
        .bind(QStringLiteral("PlanID"), plan)
        .bind(QStringLiteral("Choice"), choice);
    return dm.Write({s}, TDM::Refusal::RollBack);
}

EditedTariffs readForEditing(TDM& dm)
{
    EditedTariffs out;
    db::Query q(dm.ibDatabase, dm.ibTranRO);
    q.sql().add(QStringLiteral("SELECT NumberLine,NumberTown FROM Lines ORDER BY NumberLine"));
    q.open();
    for (; !q.eof(); q.next()) {
        const qint64 town = q.field(QStringLiteral("NumberTown")).asInt64();
        out.lines.push_back(
            {q.field(QStringLiteral("NumberLine")).asInteger(),
             town > 0 ? dm.MainObject->FormatPhoneNumber(QString::number(town)) : QString()});
    }
    q.close();
    out.hasTables = hasTables(dm.ibDatabase, dm.ibTranRO);
    if (out.hasTables) {
        const std::shared_ptr<const TariffBook> book = load(dm.ibDatabase, dm.ibTranRO);
        out.plans = PlanSet(book->plans(), book->linePlans());
    }
    return out;
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
