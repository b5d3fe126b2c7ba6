#include "ScriptRunner.h"

#include "DbError.h"
#include "Sql.h"
#include "Transaction.h"

#include <QRegularExpression>

namespace db {

QStringList ScriptRunner::split(const QString& script)
{
    QStringList out;
    QString term = QStringLiteral(";");
    QString current;
    const qsizetype n = script.size();
    static const QRegularExpression setTerm(QStringLiteral(R"(^\s*SET\s+TERM\s+(\S+)\s*$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    auto finish = [&]() {
        const QString stmt = current.trimmed();
        current.clear();
        if (stmt.isEmpty())
            return;
        const QRegularExpressionMatch m = setTerm.match(stmt);
        if (m.hasMatch()) {
            term = m.captured(1);
            return;
        }
        out << stmt;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = script[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = script.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? n : end + 1;
            current += QStringView(script).mid(i, stop - i);
            i = stop - 1;
        } else if (c == u'-' && i + 1 < n && script[i + 1] == u'-') {
            const qsizetype end = script.indexOf(u'\n', i);
            i = (end < 0 ? n : end) - 1;
        } else if (c == u'/' && i + 1 < n && script[i + 1] == u'*') {
            const qsizetype end = script.indexOf(QLatin1String("*/"), i + 2);
            i = (end < 0 ? n : end + 2) - 1;
        } else if (QStringView(script).mid(i).startsWith(term)) {
            finish();
            i += term.size() - 1;
        } else {
            current += c;
        }
    }
    finish();
    return out;
}

void ScriptRunner::run(Database& database, const QString& script)
{
    static const QRegularExpression skipped(
        QStringLiteral(R"(^(SET\s+SQL\s+DIALECT|SET\s+NAMES|SET\s+AUTODDL|COMMIT(\s+WORK)?$))"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString& stmt : split(script)) {
        if (skipped.match(stmt).hasMatch())
            continue;
        Transaction tr(database);
        tr.start();
        Sql sql(database, tr);
        sql.setParamCheck(false);
        sql.sql().add(stmt);
        try {
            sql.execQuery();
            sql.close();
            tr.commit();
        } catch (const DbError& e) {
            throw DbError(e.message() + QStringLiteral(" in: ") + stmt.left(200), e.sqlState(),
                          e.code());
        }
    }
}

} // namespace db
