// One attachment to a Firebird database.
#pragma once

#include "FbHandle.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace Firebird {
class IAttachment;
}

namespace db {

class DatabaseClient;

/// The connection. Parameter lines are "name=value" (user_name, password, lc_ctype,
/// sql_role_name). A local path opens the embedded engine; "host:/path" goes to a server.
/// Transactions and data sets made over this object register with it: close() ends them first
/// (active transactions are rolled back, statements freed), so the attachment is never left
/// with work of its own. Not copyable. Destroyed before the objects made over it, it closes and
/// leaves them without a database: they stay usable as closed objects whose work throws DbError.
class Database
{
public:
    Database();
    /// Closes, then detaches every registered object from this one.
    ~Database();
    Q_DISABLE_COPY(Database)

    void setDatabaseName(const QString& name) { m_name = name; }
    const QString& databaseName() const { return m_name; }
    QStringList& params() { return m_params; }
    const QStringList& params() const { return m_params; }

    /// Attaches with the current name and parameter lines; throws DbError.
    void open();
    /// Detaches after ending every registered transaction and statement. Never throws.
    void close() noexcept;
    /// Asks the server whether the attachment still works; throws DbError when it does not.
    void ping();
    /// Asks the server to abandon the request running on this attachment, which then throws
    /// DbError in its own thread. The one call that may come from another thread than the
    /// attachment's user, as long as the attachment is neither opened nor closed meanwhile.
    /// Never throws.
    void cancelOperation() noexcept;
    /// Attaches again with the same name and parameter lines after the connection was lost:
    /// the registered transactions end (what they held went with the connection) and the
    /// statements are let go, but the rows the data sets hold stay for their views. Throws
    /// DbError when attaching fails; the object is then closed and may try again.
    void reconnect();
    bool connected() const { return bool(m_attachment); }
    /// Counts the attachments this object has made: it changes whenever the connection is made
    /// anew (open, create, reconnect), so what was learnt over one connection can be told from
    /// what a new one has to learn again. 0 before the first.
    quint64 attachmentNumber() const { return m_attachmentNumber; }

    /// Creates a new database file with the given parameter lines and default character set
    /// (e.g. "WIN1251"), and leaves this object attached to it; throws DbError.
    void create(const QString& name, const QStringList& params, const QString& charset,
                int pageSize = 8192);

    /// The attachment while connected; the layer's own classes use it.
    Firebird::IAttachment* attachment() const { return m_attachment.get(); }

private:
    friend class DatabaseClient;
    void registerClient(DatabaseClient* client);
    void unregisterClient(DatabaseClient* client);
    void attach(bool createIt, const QString& charset, int pageSize);

    QString m_name;
    QStringList m_params;
    fb::Handle<Firebird::IAttachment> m_attachment;
    quint64 m_attachmentNumber = 0;
    std::vector<DatabaseClient*> m_clients;
};

/// Something made over a Database that must let go of its handles before the detach. It
/// registers with the database when made and unregisters when destroyed, unless the database
/// was destroyed first: then it has no database any more and stays a closed object.
class DatabaseClient
{
public:
    explicit DatabaseClient(Database& database);
    virtual ~DatabaseClient();
    Q_DISABLE_COPY(DatabaseClient)

    /// Throws DbError when the database has been destroyed.
    Database& database() const;
    /// False once the database has been destroyed.
    bool hasDatabase() const { return m_database != nullptr; }

    virtual void databaseClosing() noexcept = 0;
    /// The connection is gone and will be made again: let go of the server's handles, keep
    /// what is held locally. Ends everything by default.
    virtual void connectionLost() noexcept { databaseClosing(); }
    /// Transactions end after every statement has let go of its cursor.
    virtual bool isTransaction() const { return false; }

private:
    friend class Database;
    Database* m_database;
};

} // namespace db
