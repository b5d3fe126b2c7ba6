// A transaction over one Database, started from parameter words.
#pragma once

#include "Database.h"
#include "FbHandle.h"

#include <QStringList>

namespace Firebird {
class ITransaction;
}

namespace db {

/// Parameter words: "read", "write", "nowait", "wait", "read_committed", "concurrency",
/// "consistency", "rec_version", "no_rec_version". With no words the engine's default is used
/// (write, wait, concurrency). A transaction still active when the object dies, or when its
/// database closes, is rolled back.
class Transaction : public DatabaseClient
{
public:
    explicit Transaction(Database& database);
    ~Transaction() override;
    Q_DISABLE_COPY(Transaction)

    QStringList& params() { return m_params; }

    /// Throws DbError (also for an unknown parameter word, a closed or a destroyed database).
    void start();
    void commit();
    void rollback();
    /// Ends the transaction without an error even if the rollback fails on the server.
    void rollbackQuietly() noexcept;
    bool active() const { return bool(m_handle); }

    Firebird::ITransaction* handle() const { return m_handle.get(); }

    void databaseClosing() noexcept override;
    bool isTransaction() const override { return true; }

private:
    QStringList m_params;
    fb::Handle<Firebird::ITransaction> m_handle;
};

} // namespace db
