#include "TestDatabase.h"

#include "DemoData.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "db/Transaction.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>

namespace test {

TestDatabase::TestDatabase() = default;

bool TestDatabase::create(const QString& fileName)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    m_path = m_dir.filePath(fileName);
    try {
        demo::createDatabase(m_database, m_path, demo::localParams());
    } catch (const db::DbError& e) {
        m_error =
            QStringLiteral("cannot create a database with the embedded engine: ") + e.message();
        return false;
    }
    return true;
}

void TestDatabase::exec(const QStringList& statements)
{
    db::Transaction tr(m_database);
    tr.start();
    db::Sql sql(m_database, tr);
    for (const QString& s : statements) {
        sql.sql().clear();
        sql.sql().add(s);
        sql.execQuery();
    }
    tr.commit();
}

QString TestDatabase::writeIni(const QString& name, const QString& content) const
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        QStringEncoder enc("windows-1251");
        f.write(enc.encode(content));
    }
    return path;
}

namespace {
QString serverState(const char* name)
{
    QFile f(qEnvironmentVariable("KELVORA_TEST_SERVER") + u'/' + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}
} // namespace

QString serverPassword()
{
    return serverState("password");
}

QString serverAddress()
{
    return serverState("address");
}

} // namespace test
