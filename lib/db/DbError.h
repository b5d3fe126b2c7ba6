// The one exception type of the database layer.
#pragma once

#include <QString>
#include <stdexcept>

namespace db {

/// A failure reported by the database client or by this layer. Carries the server's message
/// text, the SQLSTATE (empty when unknown) and the first error code of the status vector
/// (0 for errors raised by this layer itself).
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString& message, const QString& sqlState = {}, long code = 0);

    const QString& message() const { return m_message; }
    const QString& sqlState() const { return m_sqlState; }
    long code() const { return m_code; }
    /// True for the errors of a connection that no longer works (the server stopped or was
    /// restarted, the network went away, the database was shut down).
    bool connectionLost() const;

private:
    QString m_message;
    QString m_sqlState;
    long m_code;
};

} // namespace db
