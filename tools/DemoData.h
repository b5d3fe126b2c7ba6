// Creates call-log databases and fills them with believable directories and calls.
#pragma once

#include "db/Database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <random>

namespace demo {

/// Connection parameter lines for a local file (the embedded engine checks no password).
QStringList localParams(const QString& user = QStringLiteral("SYSDBA"),
                        const QString& password = QStringLiteral("masterkey"));

/// Creates the database file (WIN1251) and its schema; leaves `database` attached. Throws
/// db::DbError.
void createDatabase(db::Database& database, const QString& name, const QStringList& params);

/// Recomputes the selectivity of the call indexes after a bulk load (the database's
/// administrator does the same on a collector's database from time to time).
void refreshIndexStatistics(db::Database& database);

/// Makes the directories and the calls of a demo or benchmark database.
class DemoData
{
public:
    explicit DemoData(unsigned seed = 20261208);

    /// About 8 departments, 150 subscribers with Russian names and e-mails, 40 lines.
    void fillDirectories(db::Database& database);

    /// Two priced tariff plans: "Демо-оператор" (the default, zones as the ready plan
    /// "Типовой" has them) and "Второй оператор" (billed 30/6) for lines 1 to 5.
    void fillTariffs(db::Database& database);

    /// `count` calls spread over working hours from `from` to `to`, in time order, committed
    /// every 20,000 rows; `progress` gets the number written so far.
    void fillCalls(db::Database& database, qint64 count, const QDateTime& from, const QDateTime& to,
                   const std::function<void(qint64)>& progress = {});

    /// One call happening now, as the collector writes it; committed at once.
    void addCallNow(db::Database& database);

    int lineCount() const { return 40; }
    int userCount() const { return 150; }

private:
    struct Call
    {
        QDateTime when;
        int seconds;
        double numberOut;
        int line;
        int numberIn;
    };
    Call makeCall(const QDateTime& when);
    double dialledNumber();

    std::mt19937_64 m_random;
    std::vector<int> m_lines;
    std::vector<int> m_users;
};

} // namespace demo
