// The tariff plans in the shared database: whether they are there, creating, reading, saving.
#pragma once

#include "PlanSet.h"
#include "Statements.h"
#include "TDM.h"
#include "Tariffs.h"

#include <QString>
#include <memory>
#include <vector>

namespace db {
class Database;
class Transaction;
} // namespace db

namespace tariff {

/// The text of db/tariffs.sql: the tables, for a database made without them.
QString tableScript();

/// Whether the database has the tariff tables. Database errors reach the caller (DbError).
bool hasTables(db::Database& database, db::Transaction& read);

/// Creates the tables in one write (TDM::Write) and, once they are committed, adds the plan
/// "Типовой" as the default in a second one (a new table can be written only once it is
/// committed). A refused statement rolls its write back: its text for the operator is
/// writeErrorText(dm.WriteRefusal()). A lost connection reaches the caller as DbError.
TDM::WriteResult createTables(TDM& dm);

/// Every plan with its rules and the lines' plans; an empty book when the tables are missing.
/// Throws DbError.
std::shared_ptr<const TariffBook> load(db::Database& database, db::Transaction& read);

/// The book for a listing that shows costs when it can: a lost connection throws DbError, any
/// other failure to read the tariffs gives null (the calls are listed without costs).
std::shared_ptr<const TariffBook> loadForCosts(db::Database& database, db::Transaction& read);

/// The statements that replace every plan, rule and line assignment with the given ones.
/// Plans with ids below 1 and every rule get new keys from the generator; a rule and a line
/// find their plan by its name, which no two plans share.
std::vector<stmt::Statement> saveStatements(const std::vector<Plan>& plans,
                                            const QHash<int, int>& linePlans);
/// Writes saveStatements in one write (TDM::Write), rolled back when a statement is refused:
/// its text for the operator is writeErrorText(dm.WriteRefusal()). Exactly one plan should be
/// the default; the caller checks the set beforehand (PlanSet::fault). A lost connection
/// reaches the caller as DbError.
TDM::WriteResult save(TDM& dm, const std::vector<Plan>& plans, const QHash<int, int>& linePlans);

/// Whether the database has the table of the bills' column choices (BillColumns).
/// Database errors reach the caller (DbError).
bool hasBillColumns(db::Database& database, db::Transaction& read);

/// The column choice of a bill remembered for the plan (0: all lines), as it was stored; empty
/// when there is none or no table. Database errors reach the caller (DbError).
QString billColumns(db::Database& database, db::Transaction& read, int plan);

/// Remembers the column choice of a bill for the plan (0: all lines) in one write (TDM::Write),
/// creating the table first, in a write of its own, when the database lacks it. A refused
/// statement rolls its write back: its text for the operator is writeErrorText(dm.WriteRefusal()).
/// A lost connection reaches the caller as DbError.
TDM::WriteResult saveBillColumns(TDM& dm, int plan, const QString& choice);

/// A line as the tariff editor lists it.
struct TariffLine
{
    int number = 0;
    QString town; ///< the city number as the operator reads it; empty when it has none
};

/// What the tariff editor starts from.
struct EditedTariffs
{
    bool hasTables = false;
    std::vector<TariffLine> lines; ///< by number
    PlanSet plans;                 ///< empty without the tables
};

/// Reads the lines and the tariffs for the editor in the data module's reading transaction.
/// Database errors reach the caller (DbError).
EditedTariffs readForEditing(TDM& dm);

/// The user's text for a refusal of the server while creating or saving tariffs.
QString writeErrorText(const QString& serverMessage);

} // namespace tariff
