#include "Transaction.h"

#include "FbApi.h"

#include <QByteArray>

using namespace Firebird;

namespace db {

Transaction::Transaction(Database& database) : DatabaseClient(database) {}

Transaction::~Transaction()
{
    rollbackQuietly();
}

void Transaction::start()
{
    if (active())
        throw DbError(QStringLiteral("Transaction is already active"));
    Database& db = database();
    if (!db.connected())
        throw DbError(QStringLiteral("Database is not connected"));
    QByteArray tpb;
    tpb.append(char(isc_tpb_version3));
    for (const QString& word : std::as_const(m_params)) {
        const QString w = word.trimmed().toLower();
        char tag = 0;
        if (w == QLatin1String("read"))
            tag = isc_tpb_read;
        else if (w == QLatin1String("write"))
            tag = isc_tpb_write;
        else if (w == QLatin1String("nowait"))
            tag = isc_tpb_nowait;
        else if (w == QLatin1String("wait"))
            tag = isc_tpb_wait;
        else if (w == QLatin1String("read_committed"))
            tag = isc_tpb_read_committed;
        else if (w == QLatin1String("concurrency"))
            tag = isc_tpb_concurrency;
        else if (w == QLatin1String("consistency"))
            tag = isc_tpb_consistency;
        else if (w == QLatin1String("rec_version"))
            tag = isc_tpb_rec_version;
        else if (w == QLatin1String("no_rec_version"))
            tag = isc_tpb_no_rec_version;
        else if (w.isEmpty())
            continue;
        else
            throw DbError(QStringLiteral("Unknown transaction parameter: %1").arg(w));
        tpb.append(tag);
    }
    fb::Status st;
    const bool defaults = tpb.size() == 1;
    ITransaction* t = db.attachment()->startTransaction(
        &st, defaults ? 0 : unsigned(tpb.size()),
        defaults ? nullptr : reinterpret_cast<const unsigned char*>(tpb.constData()));
    st.check();
    m_handle.reset(t);
}

void Transaction::commit()
{
    if (!active())
        throw DbError(QStringLiteral("Transaction is not active"));
    fb::Status st;
    m_handle.end(st, fb::Commit);
    st.check(); // on failure the transaction stays active: the caller rolls it back
}

void Transaction::rollback()
{
    if (!active())
        throw DbError(QStringLiteral("Transaction is not active"));
    fb::Status st;
    if (!m_handle.end(st, fb::Rollback)) {
        DbError e = st.error();
        m_handle.release();
        throw e;
    }
}

void Transaction::rollbackQuietly() noexcept
{
    fb::endQuietly(m_handle, fb::Rollback);
}

void Transaction::databaseClosing() noexcept
{
    rollbackQuietly();
}

} // namespace db
