#include "DbError.h"

#include <algorithm>
#include <iterator>

namespace db {

DbError::DbError(const QString& message, const QString& sqlState, long code)
    : std::runtime_error(message.toStdString()), m_message(message), m_sqlState(sqlState),
      m_code(code)
{
}

bool DbError::connectionLost() const
{
    // SQLSTATE class 08 is "connection exception"; the codes are the client's for a broken
    // connection, a shut down database and a dead attachment.
    static const long lost[] = {
        335544721L, // isc_network_error
        335544726L, // isc_net_read_err
        335544727L, // isc_net_write_err
        335544741L, // isc_lost_db_connection
        335544528L, // isc_shutdown
        335544856L, // isc_att_shutdown
        335544971L, // isc_net_server_shutdown
    };
    if (m_sqlState.startsWith(QLatin1String("08")))
        return true;
    return std::find(std::begin(lost), std::end(lost), m_code) != std::end(lost);
}

} // namespace db
