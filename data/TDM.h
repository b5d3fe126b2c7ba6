// The data module: the connection, both transactions, the shared queries, the settings object.
#pragma once

#include "CallRating.h"
#include "CallRecord.h"
#include "DatabaseFile.h"
#include "Statements.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/Sql.h"
#include "db/StoredProc.h"
#include "db/Transaction.h"
#include "settings/TMainObject.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

/// One for the whole run, created by the program entry and handed to the windows by reference.
/// Every read goes through ibTranRO (read-only, read committed, started at login and kept);
/// every write goes through Write(), in ibTran on ibQueryTmp.
class TDM
{
public:
    /// programDir: where the settings file is (the executable's directory when empty); use:
    /// whether the run may write it (a command of the command line only reads it).
    explicit TDM(const QString& programDir = {},
                 TMainObject::FileUse use = TMainObject::FileUse::ReadWrite);
    ~TDM();
    Q_DISABLE_COPY(TDM)

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
    /// A database failure as the operator is told it: a lost connection in the program's
    /// words (once, also when a new connection failed as well), what went wrong with the
    /// network in the program's words, then the client's own text after "подробности:"; any
    /// other failure in the server's words.
    static QString FailureText(const db::DbError& error);
    /// What a failure of the connection means, in the program's words: "сервер базы данных
    /// недоступен…" and the like; empty for a failure that is not about the connection.
    static QString ConnectionFailureWords(const db::DbError& error);
    /// What becomes of a write when the database refuses one of its statements.
    enum class Refusal
    {
        RollBack, ///< nothing of the write stays
        Commit,   ///< what ran before the refused statement is committed
        KeepOpen  ///< the write transaction stays as it is, to be committed or rolled back later
    };
    enum class WriteResult
    {
        Written,     ///< every statement ran and the commit went through
        Refused,     ///< a statement was refused: its text for the user in WriteErrorText()
        NotCommitted ///< the commit failed: rolled back and reported
    };
    /// The one write sequence of the program: EnsureUsable, ibTran started unless it is active,
    /// the statements executed in order on ibQueryTmp until one is refused, then the commit
    /// (CommitWrite). A refused statement ends the write as onRefusal says. Any other failure
    /// (the connection cannot be made again) reaches the caller as DbError, with ibTran rolled
    /// back unless onRefusal is KeepOpen.
    WriteResult Write(const std::vector<stmt::Statement>& statements, Refusal onRefusal);
    /// Whether ibTran holds a write not committed yet.
    bool WriteActive() const { return ibTran.active(); }
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
    /// The indexes the call list's date order can be read along, as the database has them
    /// (tables and columns from the system tables), learnt once per connection: again after
    /// a new login or a reconnection. Nothing when one is missing. Database errors reach the
    /// caller.
    std::optional<stmt::DateIndexes> DateIndexes();
    /// The server refused a statement that named them: not named again on this connection.
    void DateIndexesRefused() { m_dateIndexes.reset(); }
    /// A new key from MAKENEWID in ibTran, started first unless it is active (StartWrite), so
    /// that a statement carrying the key is written in the same transaction; database errors
    /// reach the caller.
    int GetNewID();
    /// The user's text of the last refusal ("Номер уже существует", "Ошибка (...)").
    const QString& WriteErrorText() const { return m_writeError; }
    /// The server's own message of the last refusal, for writers that word it themselves.
    const QString& WriteRefusal() const { return m_writeRefusal; }
    /// Talk time of the call list's rows held by ibQueryRings, added up as they were fetched.
    qint64 RingsTalkTime() const { return m_ringFields.talkTime(ibQueryRings); }
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
    /// Hands back ibQueryTmp closed and empty, for the next statement of a write.
    db::Query& ClearTmp();
    /// Executes ibQueryTmp and closes it. False when the database refused the statement, with
    /// the user's text of the error in WriteErrorText().
    bool ExecuteTmp();

    RingFieldsCalculator m_ringFields; // ibQueryRings' calculated fields and talk time
    QString m_writeError;
    QString m_writeRefusal;
    QString m_localFile;
    FileIdentity m_fileIdentity;
    bool m_connectionLost = false;
    quint64 m_dateIndexesOf = 0; // the attachment they were learnt on; 0: not yet
    std::optional<stmt::DateIndexes> m_dateIndexes;
};
