#include "DbError.h"

namespace db {

DbError::DbError(const QString& message, const QString& sqlState, long code)
    : std::runtime_error(message.toStdString()), m_message(message), m_sqlState(sqlState),
      m_code(code)
{
}

} // namespace db
