// The tariff plans in the shared database: whether they are there, creating, reading, saving.
#pragma once

#include "Tariffs.h"

#include <QString>
#include <memory>

namespace db {
class Database;
class Transaction;
} // namespace db

namespace tariff {

/// The text of db/tariffs.sql: the tables, for a database made without them.
QString tableScript();

/// Whether the database has the tariff tables. Database errors reach the caller (DbError).
bool hasTables(db::Database& database, db::Transaction& read);

/// Creates the tables in one transaction of `write` and commits it, then adds the plan
/// "Типовой" as the default in a second one (a new table can be written only once it is
/// committed). Throws DbError with the server's words; the first transaction is rolled back.
void createTables(db::Database& database, db::Transaction& write);

/// Every plan with its rules and the lines' plans; an empty book when the tables are missing.
/// Throws DbError.
std::shared_ptr<const TariffBook> load(db::Database& database, db::Transaction& read);

/// The book for a listing that shows costs when it can: a lost connection throws DbError, any
/// other failure to read the tariffs gives null (the calls are listed without costs).
std::shared_ptr<const TariffBook> loadForCosts(db::Database& database, db::Transaction& read);

/// Replaces every plan, rule and line assignment with the given ones in one transaction of
/// `write`, committed here; rolled back when anything fails (DbError). Plans with id 0 get new
/// keys. Exactly one plan should be the default; the caller checks the rules beforehand.
void save(db::Database& database, db::Transaction& write, const std::vector<Plan>& plans,
          const QHash<int, int>& linePlans);

/// The user's text for a refusal of the server while creating or saving tariffs.
QString writeErrorText(const QString& serverMessage);

} // namespace tariff
