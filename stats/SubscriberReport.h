// One subscriber's calls of a period for his mail: the count, the talk time, the cost and his
// detailed report as a PDF.
#pragma once

#include "ReportValues.h"
#include "db/Query.h"
#include "report/ReportEngine.h"
#include "report/ReportTemplate.h"

#include <QByteArray>
#include <QDate>

class TDM;

/// Prepares on the thread of the data module, through a query of its own in the read-only
/// transaction; the detailed report's template is read once per object.
class SubscriberReport
{
public:
    SubscriberReport(TDM& dm, const QDate& from, const QDate& to);

    /// The detailed report's template from the program's folder; false with the reason.
    bool loadTemplate(QString& error);

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
    TDM& m_dm;
    QDate m_from;
    QDate m_to;
    db::Query m_query;
    report::ReportTemplate m_layout;
    report::ReportEngine m_engine;
    ReportTotals m_totals;
    // The tariffs, read at the first report of the run.
    std::optional<std::shared_ptr<const tariff::TariffBook>> m_book;
};
