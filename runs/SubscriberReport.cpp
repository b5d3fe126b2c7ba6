// One subscriber's detailed report: his calls through the report statement, laid out and
// written as a PDF in memory.
#include "SubscriberReport.h"

#include "data/Period.h"
#include "data/Statements.h"
#include "data/TariffStore.h"
#include "report/ReportOutput.h"

#include <QBuffer>

SubscriberReport::SubscriberReport(db::Database& database, db::Transaction& transaction,
                                   const TMainObject& settings,
                                   const report::ReportTemplate& layout, const QDate& from,
                                   const QDate& to)
    : m_database(database), m_transaction(transaction), m_settings(settings), m_layout(layout),
      m_from(from), m_to(to), m_query(database, transaction)
{
}

void SubscriberReport::setProgress(report::ReportEngine::Progress progress)
{
    m_engine.setProgress(std::move(progress));
}

QString SubscriberReport::periodText(const QDate& from, const QDate& to)
{
    const QString f = QStringLiteral("dd.MM.yyyy");
    return from == to ? from.toString(f)
                      : QStringLiteral("период с %1 по %2").arg(from.toString(f), to.toString(f));
}

QString SubscriberReport::costText(const Calls& calls)
{
    if (!calls.priced || calls.count == 0)
        return {};
    QString text =
        QStringLiteral("Стоимость звонков: %1 руб.").arg(tariff::moneyText(calls.kopecks));
    if (calls.noTariff > 0)
        text += QStringLiteral("; без тарифа, не оценены: %1").arg(calls.noTariff);
    return text + u'\n';
}

bool SubscriberReport::build(int numberIn, Calls& out, QString& error)
{
    out = Calls();
    m_query.close();
    if (!m_book)
        m_book = tariff::loadForCosts(m_database, m_transaction);
    const stmt::Period period{m_from, m_to};
    stmt::report(ReportKind::Detailed, period.start(), period.end(), numberIn).applyTo(m_query);
    m_query.open();
    m_totals = ReportTotals();
    m_totals.ReportTitle = ReportTitleText(m_from, m_to);
    m_totals.Book = *m_book;
    m_totals.addTotals(m_query, true);
    out.count = m_totals.SCntAllRing;
    out.seconds = m_totals.SAllRing;
    out.priced = m_totals.priced();
    out.kopecks = m_totals.SCost;
    out.noTariff = m_totals.SNoTariff;
    if (out.count == 0) {
        m_query.close();
        return true;
    }
    QueryReportSource source(m_query);
    report::PreparedReport pages;
    const bool prepared = m_engine.prepare(
        m_layout, source,
        [this](const QString& n) { return ReportValue(n, m_query, m_totals, m_settings); }, pages,
        std::size_t(m_query.recordCount()));
    m_query.close();
    if (!prepared) {
        error = m_engine.errorString();
        return false;
    }
    QBuffer buffer(&out.pdf);
    buffer.open(QIODevice::WriteOnly);
    report::ReportOutput output;
    if (!output.writePdf(pages, buffer)) {
        error = output.errorString();
        out.pdf.clear();
        return false;
    }
    return true;
}
