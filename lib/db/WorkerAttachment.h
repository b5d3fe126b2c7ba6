// The attachment a worker fetches over, kept with its prepared statements from one run to the next.
#pragma once

#include "Database.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace Firebird {
class IStatement;
class ITransaction;
} // namespace Firebird

namespace db {

/// An attachment of its own for work off the caller's thread, and the statements prepared on
/// it, so that a run after the first neither attaches nor prepares again.
///
/// Threads: used by one thread at a time. A worker takes it for a run and gives it back when
/// the run ends; the start and the join of the worker's thread order the uses.
/// Ownership: shared between whoever keeps it between runs and the worker of the current run;
/// the last one to let go detaches. Whoever keeps it lets go of it when the caller's own
/// connection is made again or closed, so the next run attaches afresh.
class WorkerAttachment
{
public:
    WorkerAttachment();
    /// Frees the statements, then detaches.
    ~WorkerAttachment();
    Q_DISABLE_COPY(WorkerAttachment)

    /// The attachment to `name` with these parameter lines: the kept one, or a new one when
    /// there is none or it was made with others. Throws DbError.
    Database& attach(const QString& name, const QStringList& params);
    bool attached() const { return m_database.connected(); }

    /// The statement prepared from `sql` (positional text) on the attachment: the one an
    /// earlier run prepared, or prepared now in `transaction` (reused tells which). The
    /// attachment keeps it. Throws DbError.
    Firebird::IStatement* statement(Firebird::ITransaction* transaction, const QString& sql,
                                    bool& reused);
    /// Frees the statement of `sql`, so that the next call prepares it again.
    void forget(const QString& sql) noexcept;
    /// Frees every statement and detaches (after a lost connection or a cancelled call, when
    /// the attachment cannot be trusted). The next attach() attaches again. Never throws.
    void discard() noexcept;

private:
    struct Prepared;
    Database m_database;
    std::vector<Prepared> m_prepared; // the most recently used last
};

} // namespace db
