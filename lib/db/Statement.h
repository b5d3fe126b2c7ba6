// A prepared statement with its messages (internal to the database layer).
#pragma once

#include "DbError.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace Firebird {
class IMessageMetadata;
}

namespace db {

class Database;
class Transaction;

/// One output column as the server describes it.
struct ColumnInfo
{
    QString name; // alias, as the server spells it
    unsigned sqlType = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;
};

/// Owns an IStatement, its output message buffer and an open cursor. Input values are bound
/// with metadata built from their own types, so the server does the conversion.
class Statement
{
public:
    Statement();
    ~Statement();
    Q_DISABLE_COPY(Statement)

    void prepare(Database& database, Transaction& transaction, const QString& text);
    bool prepared() const;
    const QString& text() const { return m_text; }
    /// isc_info_sql_stmt_select, _exec_procedure, ...
    unsigned type() const { return m_type; }
    bool returnsRows() const;
    unsigned inputCount() const { return m_inputCount; }
    const std::vector<ColumnInfo>& columns() const { return m_columns; }

    void bind(const std::vector<QVariant>& values);
    void openCursor(Transaction& transaction);
    /// Fetches the next row into outputBuffer(); false at the end.
    bool fetch();
    void closeCursor() noexcept;
    /// Executes a statement that opens no cursor, filling outputBuffer() when it returns a row.
    void execute(Transaction& transaction);
    const unsigned char* outputBuffer() const
    {
        return reinterpret_cast<const unsigned char*>(m_output.constData());
    }

    void free() noexcept;

    /// The messages as bound and described, for a fetch of the same statement elsewhere: the
    /// caller adds its own reference to the metadata it keeps. Input is null without
    /// parameters.
    Firebird::IMessageMetadata* inputMetadata() const;
    const QByteArray& inputBuffer() const { return m_input; }
    Firebird::IMessageMetadata* outputMetadata() const;
    unsigned outputLength() const { return unsigned(m_output.size()); }

private:
    struct Handles; // the client's objects: statement, cursor, metadata, status
    std::unique_ptr<Handles> m_h;
    QString m_text;
    unsigned m_type = 0;
    unsigned m_inputCount = 0;
    QByteArray m_input;
    QByteArray m_output;
    std::vector<ColumnInfo> m_columns;
};

} // namespace db
