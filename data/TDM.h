// The data module: the connection, both transactions, the shared queries, the settings object.
#pragma once

#include "CallRating.h"
#include "DatabaseFile.h"
#include "db/Database.h"
#include "db/Query.h"
#include "db/Sql.h"
#include "db/StoredProc.h"
#include "db/Transaction.h"
#include "settings/TMainObject.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

/// One for the whole run, created by the program entry and handed to the windows by reference.
/// Every read goes through ibTranRO (read-only, read committed, started at login and kept);
/// every write through ibTran on ibQueryTmp: StartWrite, execute, CommitWrite.
class TDM
{
public:
    /// programDir: where the settings file is (the executable's directory when empty).
    explicit TDM(const QString& programDir = {});
    ~TDM();
    TDM(const TDM&) = delete;
    TDM& operator=(const TDM&) = delete;

    /// Notes which file a local database name names now; called right after the login.
    void RememberDatabaseFile();
    /// Throws DbError when the local database file was removed or replaced since the login:
    /// the engine would go on writing into a file nobody can open again.
    void CheckDatabaseFile();
    /// Before an action's database work: a connection found lost (the server stopped or was
    /// restarted) is made again with the login's credentials, ibTranRO started again, the
    /// rows on show kept; then CheckDatabaseFile. Throws DbError, in the program's words,
    /// when the connection cannot be made again; the next action tries again.
    void EnsureUsable();
    /// The text a lost connection is told with.
    static QString ConnectionLostText();
    /// Starts ibTran unless it is active (after EnsureUsable).
    void StartWrite();
    /// Commits ibTran; on failure rolls it back, reports "База временно занята ." and returns
    /// false.
    bool CommitWrite();
    /// The user's text for a database message (given in upper case by the callers).
    static QString DbErrorText(const QString& message);
    /// Whether the database has every index of the given names (upper case); database errors
    /// reach the caller.
    bool HasIndexes(const QStringList& names);
    /// A new key from MAKENEWID in ibTran; database errors reach the caller.
    int GetNewID();
    /// Starts the write transaction and hands back ibQueryTmp closed and empty, for the
    /// writer's statement.
    db::Query& StartTmp();
    /// Executes ibQueryTmp as every writer does and closes it. True when the statement ran;
    /// false when the database refused it, with the user's text of the error in
    /// WriteErrorText() ("Номер уже существует", "Ошибка (...)").
    bool ExecuteTmp();
    const QString& WriteErrorText() const { return m_writeError; }
    /// The message of a database error as the writers pass it to DbErrorText.
    static QString UpperMessage(const QString& message);

    /// Reads the tariffs for the next run of the call list (an empty book on a database
    /// without them: no cost columns). Database errors reach the caller.
    void LoadTariffs();
    /// Whether the database has the tariff tables with at least one plan (after LoadTariffs).
    bool HasTariffs() const;

    std::unique_ptr<TMainObject> MainObject;
    /// Prices the call list's rows by the tariffs read last.
    CallRating CallCosts;

    db::Database ibDatabase;
    db::Transaction ibTran{ibDatabase};
    db::Transaction ibTranRO{ibDatabase};
    db::Query ibQueryRings{ibDatabase, ibTranRO};
    db::Query ibQueryLines{ibDatabase, ibTranRO};
    db::Query ibQueryUsers{ibDatabase, ibTranRO};
    db::Query ibQueryDepts{ibDatabase, ibTranRO};
    db::Query ibQueryTmp{ibDatabase, ibTran};
    db::Query ibQueryReport{ibDatabase, ibTranRO};
    db::Sql IBSQL{ibDatabase, ibTranRO};
    db::StoredProc ibSPMakeNewID{ibDatabase, ibTran};

private:
    QString m_writeError;
    QString m_localFile;
    FileIdentity m_fileIdentity;
    bool m_connectionLost = false;
};
