// Loads a query in the background for a window: the rows join it in slices of the event loop.
#pragma once

#include "DbError.h"
#include "IncrementalFetch.h"

#include <QElapsedTimer>
#include <QObject>

#include <optional>

class QTimer;

namespace db {

class Query;

/// Runs one query's open in the background (Query::openInBackground) and takes the rows the
/// worker fetched into the query in slices, each at most sliceBudget() milliseconds of the
/// event loop, so that the thread the loader lives on keeps answering. Views of the query
/// (DataGridModel) listen to rowsArrived() and finished() directly.
///
/// States (FetchState): None before the first start(); Running from a start() that succeeded
/// until the last row is in the query, stop() is called, or the worker fails; then Finished,
/// Stopped or Failed. Every start() that succeeded is followed by exactly one finished(), also
/// when the run is stopped by a new start(), by stop(), or by the query's own close.
/// Signals: rowsArrived() says the query holds rows not told of yet: at every slice until the
/// query holds eagerRows() rows (the first screen shows at once), then at most every
/// announceInterval() milliseconds (a view lays itself out again each time). finished(state,
/// error) comes after the last slice; it stands also for the last rows, so a view shows every
/// row the query holds when it hears it. A slot may call stop() or start() at any signal.
///
/// Threads: lives on the query's thread and is used there only; the worker only posts a
/// notice to it, and every signal is emitted on the loader's thread (connect directly).
/// Ownership: the query is not owned and must outlive the loader. Destroying the loader stops
/// a run (and waits for the worker) without emitting anything. The loader shows no text: the
/// error is the database's, for the window to put in its own words.
class QueryLoader : public QObject
{
    Q_OBJECT
public:
    explicit QueryLoader(Query& query, QObject* parent = nullptr);
    ~QueryLoader() override;

    Query& query() const { return *m_query; }
    FetchState state() const { return m_state; }
    bool running() const { return m_state == FetchState::Running; }

    /// Starts a run: stops one that goes on (its finished() comes first), then opens the query
    /// in the background. Throws DbError when the server refuses the statement: the query then
    /// keeps the rows of its last open and the loader's state stays as it was. Whoever shows
    /// the query wraps this in its reload (the query's fields are made anew).
    void start();
    /// Running -> Stopped: the rows taken stay in the query, no more come; finished() follows
    /// at once. Does nothing in another state.
    void stop();

    /// Milliseconds of the loader's thread one slice may take (8 by default).
    int sliceBudget() const { return m_sliceBudget; }
    void setSliceBudget(int ms) { m_sliceBudget = ms; }
    /// Milliseconds between two rowsArrived() once the first rows are told of (200 by default).
    int announceInterval() const { return m_announceInterval; }
    void setAnnounceInterval(int ms) { m_announceInterval = ms; }
    /// Rows told of at every slice at the start of a run (0 by default); takes effect at the
    /// next start().
    std::size_t eagerRows() const { return m_eagerRows; }
    void setEagerRows(std::size_t rows) { m_eagerRows = rows; }

signals:
    void rowsArrived();
    void finished(db::FetchState state, const std::optional<db::DbError>& error);

private:
    void takeSlice();
    void finish();

    Query* m_query;
    FetchState m_state = FetchState::None;
    quint64 m_run = 0; // counts the starts, so a slice sees a run begun by a slot
    int m_sliceBudget = 8;
    int m_announceInterval = 200;
    std::size_t m_eagerRows = 0;
    std::size_t m_announcedRows = 0;
    QElapsedTimer m_announced; // since rowsArrived() was last emitted
    bool m_slicePending = false;
    QTimer* m_poll; // takes rows also when no notice comes: rows that waited in the worker
};

} // namespace db
