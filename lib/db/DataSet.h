// What Query, Sql and StoredProc share: statement text, parameters, fields and held rows.
#pragma once

#include "Database.h"
#include "DbError.h"
#include "Field.h"
#include "IncrementalFetch.h"
#include "Param.h"
#include "RowStore.h"
#include "SqlLines.h"
#include "Statement.h"
#include "Transaction.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace db {

/// A field the program declares before opening ("persistent" field). Data fields take their
/// type from the statement and are matched by name without regard to case; calculated fields
/// are filled by the calculation hook. When definitions are set, the result's other columns
/// are not kept at all.
struct FieldDef
{
    QString name;
    bool calculated = false;
    FieldType type = FieldType::Integer; // calculated fields only
    QString label;
    bool visible = true;
    int size = 0;
    /// A data field the statement may lack: it is then not made at all (findField gives null).
    bool optional = false;
    /// Off for a calculated field that holds nothing: it takes no room in a row, is always
    /// null, and only its display hook gives it a text (setting a value throws DbError).
    bool stored = true;
};

/// Base of the data sets. Named parameters (":name") in the text are sent as positional ones;
/// a parameter used twice is bound twice. The statement is prepared again whenever its text
/// changes. Works over a Transaction that outlives it; when its Database is destroyed first it
/// is left closed, and whatever needs the database throws DbError.
class DataSet : public DatabaseClient
{
public:
    DataSet(Database& database, Transaction& transaction);
    ~DataSet() override;
    Q_DISABLE_COPY(DataSet)

    Transaction& transaction() const { return *m_transaction; }
    void setTransaction(Transaction& transaction);

    SqlLines& sql() { return m_sql; }
    const SqlLines& sql() const { return m_sql; }

    /// Prepares the current text (throws DbError); open() and exec calls prepare on their own.
    void prepare();
    bool prepared() const { return m_statement.prepared(); }

    /// When off, the text goes to the server as it is (procedure bodies use ":name" for their
    /// own variables); on by default.
    void setParamCheck(bool on)
    {
        m_paramCheck = on;
        m_parsedText.clear();
    }

    /// Parameters of the current text in order of first use.
    std::vector<Param>& params();
    /// Throws DbError for a name the text does not use.
    Param& paramByName(const QString& name);

    void setFieldDefs(std::vector<FieldDef> defs);
    const std::vector<FieldDef>& fieldDefs() const { return m_defs; }

    bool isOpen() const { return m_open; }
    /// Closes the data set and drops its rows; keeps the prepared statement.
    void close();

    const std::vector<std::unique_ptr<Field>>& fields() const { return m_fields; }
    /// Changes each time the fields are made anew (at every open): pointers to fields kept by
    /// a hook are stale when it differs from the one they were taken at.
    std::uint64_t fieldGeneration() const { return m_fieldGeneration; }
    /// Case-insensitive; throws DbError when there is no such field.
    Field& field(const QString& name) const;
    Field* findField(const QString& name) const;

    /// Called for each fetched row with the row current: fills calculated fields.
    void setCalcFieldsHook(std::function<void(DataSet&)> hook) { m_calcHook = std::move(hook); }
    /// Called at the end of every open (fields exist, rows are fetched); for an open in the
    /// background, when it starts (fields exist, no rows yet).
    void setAfterOpenHook(std::function<void(DataSet&)> hook) { m_afterOpen = std::move(hook); }

    std::size_t recordCount() const { return m_rows.count(); }
    /// Bytes held for rows and their texts.
    std::size_t bufferBytes() const { return m_rows.memoryBytes() + m_pool.memoryBytes(); }

    /// Where an open in the background stands (None: the last open was not one).
    using FetchState = db::FetchState;
    FetchState fetchState() const { return m_fetch.state(); }
    bool fetching() const { return m_fetch.running(); }
    /// Moves the rows that arrived from the worker into the held rows, for at most budgetMs
    /// milliseconds (calculated fields filled as in open()); returns how many it added. The
    /// state leaves Running once the last row is in, or the fetch failed or was stopped.
    std::size_t takeFetched(int budgetMs);
    /// Stops an open in the background: the rows held stay, rows not taken yet are dropped,
    /// the state becomes Stopped. Does nothing when no fetch runs. Never throws.
    void stopFetch() noexcept;
    /// Why a fetch in the background ended in Failed.
    const std::optional<DbError>& fetchError() const { return m_fetch.error(); }

    /// Also lets go of the attachment kept for fetches in the background.
    void databaseClosing() noexcept override;
    /// Keeps the rows and the open state; the statement goes, and so does the attachment kept
    /// for fetches in the background (a fetch that goes on ends over it).
    void connectionLost() noexcept override;

protected:
    /// Prepares, binds and fetches at most maxRows rows into the buffer; opens the data set.
    void fetchRows(std::size_t maxRows);
    /// Prepares and binds as fetchRows() does (throws DbError, leaving the rows of the last
    /// open), then opens the data set with no rows and leaves the fetch to a worker thread
    /// with an attachment of its own, kept from one such open to the next (see
    /// IncrementalFetch); `arrived` is called on that thread when rows wait to be taken with
    /// takeFetched(), and when the worker ends.
    void fetchInBackground(std::function<void()> arrived);
    /// Prepares, binds and opens the cursor as fetchRows() does, but holds no row: fetchOne()
    /// then reads the result one row at a time.
    void openForward();
    /// Replaces the held row with the next one of the result and makes it current; false at
    /// the end, when the cursor is closed, the data set too, and no row is current. Throws
    /// DbError (the data set is then closed).
    bool fetchOne();
    /// Executes a statement without a cursor; a returned row (procedure output) is kept.
    void executeStatement();
    void setCurrentRow(std::size_t index);
    bool statementReturnsRows() const { return m_statement.returnsRows(); }
    void clearCurrentRow() { m_context.row = nullptr; }
    RowStore& rows() { return m_rows; }

private:
    struct Copy;
    void syncParams();
    std::vector<QVariant> boundValues();
    void buildFields();
    void decodeRow(std::uint8_t* row, const unsigned char* buf);
    /// Appends a row decoded from an output message and fills its calculated fields.
    void appendRow(const unsigned char* message);
    void storeOutputRow();

    Transaction* m_transaction;
    SqlLines m_sql;
    QString m_parsedText;
    QString m_positionalText;
    std::vector<Param> m_params;
    std::vector<int> m_paramOrder; // parameter index for each "?" of the positional text
    Statement m_statement;
    std::vector<FieldDef> m_defs;
    std::vector<std::unique_ptr<Field>> m_fields;
    std::vector<Copy> m_copies;
    RowStore m_rows;
    StringPool m_pool;
    RowContext m_context;
    bool m_open = false;
    bool m_paramCheck = true;
    std::uint64_t m_fieldGeneration = 0;
    std::function<void(DataSet&)> m_calcHook;
    std::function<void(DataSet&)> m_afterOpen;
    IncrementalFetch m_fetch; // last: stops before the rest goes
};

} // namespace db
