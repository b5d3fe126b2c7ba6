// The attachment a worker fetches over, kept with its prepared statements from one run to the next.
#include "WorkerAttachment.h"

#include "FbApi.h"

#include <algorithm>

using namespace Firebird;

namespace db {

namespace {
// Statements kept: the orders and filters a window runs in turn, without growing unbounded.
constexpr std::size_t KeptStatements = 8;
} // namespace

struct WorkerAttachment::Prepared
{
    QString sql;
    fb::Handle<IStatement> statement;
};

WorkerAttachment::WorkerAttachment() = default;

WorkerAttachment::~WorkerAttachment()
{
    discard();
}

Database& WorkerAttachment::attach(const QString& name, const QStringList& params)
{
    if (m_database.connected() &&
        (m_database.databaseName() != name || m_database.params() != params))
        discard();
    if (!m_database.connected()) {
        m_database.setDatabaseName(name);
        m_database.params() = params;
        m_database.open();
    }
    return m_database;
}

IStatement* WorkerAttachment::statement(ITransaction* transaction, const QString& sql, bool& reused)
{
    auto it = std::find_if(m_prepared.begin(), m_prepared.end(),
                           [&](const Prepared& p) { return p.sql == sql; });
    if (it != m_prepared.end()) {
        std::rotate(it, it + 1, m_prepared.end());
        reused = true;
        return m_prepared.back().statement.get();
    }
    reused = false;
    if (!m_database.connected())
        throw DbError(QStringLiteral("Database is not open"));
    fb::Status st;
    const QByteArray text = fb::encode(sql);
    fb::Handle<IStatement> prepared(
        m_database.attachment()->prepare(&st, transaction, 0, text.constData(), 3, 0));
    st.check();
    if (m_prepared.size() >= KeptStatements) {
        fb::endQuietly(m_prepared.front().statement, fb::Free);
        m_prepared.erase(m_prepared.begin());
    }
    m_prepared.push_back(Prepared{sql, std::move(prepared)});
    return m_prepared.back().statement.get();
}

void WorkerAttachment::forget(const QString& sql) noexcept
{
    auto it = std::find_if(m_prepared.begin(), m_prepared.end(),
                           [&](const Prepared& p) { return p.sql == sql; });
    if (it == m_prepared.end())
        return;
    fb::endQuietly(it->statement, fb::Free);
    m_prepared.erase(it);
}

void WorkerAttachment::discard() noexcept
{
    for (Prepared& p : m_prepared)
        fb::endQuietly(p.statement, fb::Free);
    m_prepared.clear();
    m_database.close();
}

} // namespace db
