// One subscriber's calls of a period for his mail: the count, the talk time, the cost and his
// detailed report as a PDF.
#pragma once

#include "ReportValues.h"
#include "db/Query.h"
#include "report/ReportEngine.h"
#include "report/ReportTemplate.h"

#include <QByteArray>
#include <QDate>

namespace db {
class Database;
class Transaction;
} // namespace db
class TMainObject;

/// Reads through a query of its own on the attachment and in the transaction it is given (the
/// mailing's worker's), and lays the detailed report out with the template it is given. Used
/// on one thread at a time; the settings are read (the number masks) and must not change
/// meanwhile.
class SubscriberReport
{
public:
    SubscriberReport(db::Database& database, db::Transaction& transaction,
                     const TMainObject& settings, const report::ReportTemplate& layout,
                     const QDate& from, const QDate& to);

    struct Calls
    {
        qint64 count = 0;
        qint64 seconds = 0;
        bool priced = false; ///< whether the database has tariffs
        qint64 kopecks = 0;  ///< the cost of his priced calls
        qint64 noTariff = 0; ///< his outgoing calls no rule matches
        QByteArray pdf;      ///< empty when there were no calls
    };
    /// Throws DbError when the database fails; false with the reason when the report cannot
    /// be prepared or was stopped by the progress callback (cancelled() then).
    bool build(int numberIn, Calls& out, QString& error);
    void setProgress(report::ReportEngine::Progress progress);
    bool cancelled() const { return m_engine.cancelled(); }

    /// "01.03.2026" for one day, "период с 01.03.2026 по 02.03.2026" for more.
    static QString periodText(const QDate& from, const QDate& to);
    /// "Стоимость звонков: 12,30 руб." with "; без тарифа, не оценены: 2" when some have no
    /// tariff, and a line break; empty without tariffs or calls.
    static QString costText(const Calls& calls);

private:
    db::Database& m_database;
    db::Transaction& m_transaction;
    const TMainObject& m_settings;
    const report::ReportTemplate& m_layout;
    QDate m_from;
    QDate m_to;
    db::Query m_query;
    report::ReportEngine m_engine;
    ReportTotals m_totals;
    // The tariffs, read at the first report of the run.
    std::optional<std::shared_ptr<const tariff::TariffBook>> m_book;
};
