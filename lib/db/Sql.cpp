#include "Sql.h"

namespace db {

Param& Sql::param(std::size_t index)
{
    std::vector<Param>& list = params();
    if (index >= list.size())
        throw DbError(QStringLiteral("Parameter %1 out of range").arg(index));
    return list[index];
}

void Sql::execQuery()
{
    prepare();
    // A SELECT keeps its first row; anything else executes and keeps a returned row.
    if (statementReturnsRows())
        fetchRows(1);
    else
        executeStatement();
}

} // namespace db
