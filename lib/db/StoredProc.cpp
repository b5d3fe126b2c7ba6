#include "StoredProc.h"

#include "Sql.h"

namespace db {

void StoredProc::setStoredProcName(const QString& name)
{
    close();
    m_name = name;
    m_procPrepared = false;
}

void StoredProc::prepareProc()
{
    Sql inputs(database(), transaction());
    // One row holds the whole list, in declaration order.
    inputs.sql().add(
        QStringLiteral("SELECT CAST(LIST(TRIM(RDB$PARAMETER_NAME), ',') AS VARCHAR(8000)) FROM"));
    inputs.sql().add(QStringLiteral("(SELECT RDB$PARAMETER_NAME FROM RDB$PROCEDURE_PARAMETERS"));
    inputs.sql().add(QStringLiteral("WHERE RDB$PROCEDURE_NAME = ? AND RDB$PARAMETER_TYPE = 0"));
    inputs.sql().add(QStringLiteral("ORDER BY RDB$PARAMETER_NUMBER)"));
    inputs.param(0).setString(m_name.toUpper());
    inputs.execQuery();
    const QString list = inputs.eof() ? QString() : inputs.fields().front()->asString();
    QString call = QStringLiteral("EXECUTE PROCEDURE ") + m_name;
    if (!list.isEmpty()) {
        QStringList names = list.split(u',');
        for (QString& n : names)
            n = u':' + n.trimmed();
        call += u'(' + names.join(QStringLiteral(", ")) + u')';
    }
    sql().clear();
    sql().add(call);
    prepare();
    m_procPrepared = true;
}

void StoredProc::execProc()
{
    if (!procPrepared())
        prepareProc();
    executeStatement();
}

} // namespace db
