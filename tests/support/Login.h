// Clients of a test's database: the program's data module logged in, and a second client.
#pragma once

#include "DemoData.h"
#include "data/TDM.h"
#include "db/Sql.h"

namespace test {

inline void login(TDM& dm, const QString& path)
{
    dm.ibDatabase.setDatabaseName(path);
    dm.ibDatabase.params() = demo::localParams();
    dm.ibDatabase.open();
    dm.ibTranRO.start();
    dm.RememberDatabaseFile();
    dm.MainObject->Connected = true;
}

/// A second client of the same database with a transaction of its own (no wait, read
/// committed), for holding an uncommitted change while the program works.
struct OtherClient
{
    explicit OtherClient(const QString& path)
    {
        database.setDatabaseName(path);
        database.params() = demo::localParams();
        database.open();
        tr.params() = QStringList{QStringLiteral("nowait"), QStringLiteral("read_committed"),
                                  QStringLiteral("rec_version")};
        tr.start();
    }
    void exec(const QString& statement)
    {
        db::Sql s(database, tr);
        s.sql().add(statement);
        s.execQuery();
    }
    db::Database database;
    db::Transaction tr{database};
};

} // namespace test
