#include "Database.h"

#include "FbApi.h"

#include <algorithm>

using namespace Firebird;

namespace db {

Database::Database() = default;

Database::~Database()
{
    close();
    for (DatabaseClient* c : m_clients)
        c->m_database = nullptr;
    m_clients.clear();
}

void Database::open()
{
    attach(false, {}, 0);
}

void Database::create(const QString& name, const QStringList& params, const QString& charset,
                      int pageSize)
{
    close();
    m_name = name;
    m_params = params;
    attach(true, charset, pageSize);
}

void Database::attach(bool createIt, const QString& charset, int pageSize)
{
    if (connected())
        return;
    fb::Status st;
    fb::Owned<IXpbBuilder> dpb(fb::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0));
    st.check();
    dpb->insertInt(&st, isc_dpb_sql_dialect, 3);
    // Names, passwords and the file path travel in UTF-8 whatever the system's code page is.
    dpb->insertTag(&st, isc_dpb_utf8_filename);
    for (const QString& line : std::as_const(m_params)) {
        const qsizetype eq = line.indexOf(u'=');
        const QString key = (eq < 0 ? line : line.left(eq)).trimmed().toLower();
        const QByteArray value = (eq < 0 ? QString() : line.mid(eq + 1)).toUtf8();
        unsigned char tag = 0;
        if (key == QLatin1String("user_name"))
            tag = isc_dpb_user_name;
        else if (key == QLatin1String("password"))
            tag = isc_dpb_password;
        else if (key == QLatin1String("lc_ctype"))
            tag = isc_dpb_lc_ctype;
        else if (key == QLatin1String("sql_role_name"))
            tag = isc_dpb_sql_role_name;
        else if (key.isEmpty())
            continue;
        else
            throw DbError(QStringLiteral("Unknown connection parameter: %1").arg(key));
        dpb->insertString(&st, tag, value.constData());
    }
    if (createIt) {
        if (!charset.isEmpty())
            dpb->insertString(&st, isc_dpb_set_db_charset, charset.toUtf8().constData());
        if (pageSize > 0)
            dpb->insertInt(&st, isc_dpb_page_size, pageSize);
    }
    st.check();
    const QByteArray path = m_name.toUtf8();
    const unsigned length = dpb->getBufferLength(&st);
    const unsigned char* buffer = dpb->getBuffer(&st);
    IAttachment* att = createIt
                           ? fb::provider()->createDatabase(&st, path.constData(), length, buffer)
                           : fb::provider()->attachDatabase(&st, path.constData(), length, buffer);
    st.check();
    m_attachment.reset(att);
    ++m_attachmentNumber;
}

void Database::close() noexcept
{
    // Clients unregister themselves only on destruction, so a copy is walked.
    const std::vector<DatabaseClient*> clients = m_clients;
    for (const bool transactions : {false, true})
        for (DatabaseClient* c : clients)
            if (c->isTransaction() == transactions)
                c->databaseClosing();
    fb::endQuietly(m_attachment, fb::Detach);
}

void Database::cancelOperation() noexcept
{
    if (!m_attachment)
        return;
    fb::Status st;
    m_attachment->cancelOperation(&st, fb_cancel_raise);
}

void Database::ping()
{
    if (!m_attachment)
        throw DbError(QStringLiteral("Not connected"));
    fb::Status st;
    m_attachment->ping(&st);
    st.check();
}

void Database::reconnect()
{
    const std::vector<DatabaseClient*> clients = m_clients;
    for (const bool transactions : {false, true})
        for (DatabaseClient* c : clients)
            if (c->isTransaction() == transactions)
                c->connectionLost();
    fb::endQuietly(m_attachment, fb::Detach);
    open();
}

void Database::registerClient(DatabaseClient* client)
{
    m_clients.push_back(client);
}

void Database::unregisterClient(DatabaseClient* client)
{
    std::erase(m_clients, client);
}

DatabaseClient::DatabaseClient(Database& database) : m_database(&database)
{
    m_database->registerClient(this);
}

DatabaseClient::~DatabaseClient()
{
    if (m_database)
        m_database->unregisterClient(this);
}

Database& DatabaseClient::database() const
{
    if (!m_database)
        throw DbError(QStringLiteral("The database this object was made over has been destroyed"));
    return *m_database;
}

} // namespace db
