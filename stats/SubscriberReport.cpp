#include "SubscriberReport.h"

#include "TReportForm.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "report/ReportOutput.h"

#include <QBuffer>

SubscriberReport::SubscriberReport(TDM& dm, const QDate& from, const QDate& to)
    : m_dm(dm), m_from(from), m_to(to), m_query(dm.ibDatabase, dm.ibTranRO)
{
}

bool SubscriberReport::loadTemplate(QString& error)
{
    // The detailed report's template, as the reports window uses it.
    const QString path = m_dm.MainObject->ProgramDir + QLatin1String(TReportForm::Templates[1]);
    if (m_layout.load(path))
        return true;
    error = m_layout.errorString();
    return false;
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

bool SubscriberReport::build(int numberIn, Calls& out, QString& error)
{
    out = Calls();
    m_query.close();
    stmt::report(1, stmt::Period{m_from, m_to}.start(), stmt::Period{m_from, m_to}.end(), numberIn)
        .applyTo(m_query);
    m_query.open();
    m_totals = ReportTotals();
    m_totals.ReportTitle = ReportTitleText(m_from, m_to);
    m_totals.addTotals(m_query, true);
    out.count = m_totals.SCntAllRing;
    out.seconds = m_totals.SAllRing;
    if (out.count == 0) {
        m_query.close();
        return true;
    }
    QueryReportSource source(m_query);
    report::PreparedReport pages;
    const TMainObject& settings = *m_dm.MainObject;
    const bool prepared = m_engine.prepare(
        m_layout, source,
        [this, &settings](const QString& n) { return ReportValue(n, m_query, m_totals, settings); },
        pages);
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
