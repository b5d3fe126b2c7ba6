// Runs a script of SQL statements in the form the isql tool reads.
#pragma once

#include "Database.h"

#include <QString>
#include <QStringList>

namespace db {

/// Splits a script at its terminator (";" or whatever SET TERM makes it), skipping comments
/// and quoted text, and runs each statement in a transaction of its own. SET TERM, SET SQL
/// DIALECT, SET NAMES and COMMIT lines are handled here, not sent.
class ScriptRunner
{
public:
    /// The statements of a script, terminators removed.
    static QStringList split(const QString& script);
    /// Runs every statement of the script; throws DbError naming the failing statement.
    static void run(Database& database, const QString& script);
};

} // namespace db
