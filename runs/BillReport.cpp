// The report of the bill check, laid out from the comparison's result.
#include "BillReport.h"

#include "data/Tariffs.h"
#include "report/ReportDataSource.h"
#include "report/ReportEngine.h"

#include <QLocale>

namespace bill {

namespace {

QString count(qint64 n)
{
    return QLocale().toString(n);
}

// The calls that differ, one row each, as the window's grid shows them.
class RowsSource : public report::ReportDataSource
{
public:
    explicit RowsSource(const Result& result) : m_result(result) {}
    void first() override { m_at = 0; }
    void next() override { ++m_at; }
    bool eof() const override { return m_at >= m_result.rows.size(); }

    std::optional<QVariant> value(const QString& name) const override
    {
        const Row& d = m_result.rows[m_at];
        const BillCall* b = d.bill >= 0 ? &m_result.bill[std::size_t(d.bill)] : nullptr;
        const LogCall* l = d.log >= 0 ? &m_result.log[std::size_t(d.log)] : nullptr;
        const QString key = name.toLower();
        const qint64 billCost = b ? b->cost : -1;
        auto money = [](qint64 kopecks) {
            return kopecks < 0 ? QString() : tariff::moneyText(kopecks);
        };
        if (key == QLatin1String("kind"))
            return kindText(d.kind);
        if (key == QLatin1String("number"))
            return keyText(b ? b->number : l->number);
        if (key == QLatin1String("billstart"))
            return b ? momentText(b->start) : QString();
        if (key == QLatin1String("billseconds"))
            return b ? count(b->seconds) : QString();
        if (key == QLatin1String("billcost"))
            return money(billCost);
        if (key == QLatin1String("logstart"))
            return l ? momentText(l->start) : QString();
        if (key == QLatin1String("logseconds"))
            return l ? count(l->seconds) : QString();
        if (key == QLatin1String("line"))
            return l ? QString::number(l->line) : QString();
        if (key == QLatin1String("ourcost"))
            return money(d.ours);
        if (key == QLatin1String("difference"))
            return billCost >= 0 && d.ours >= 0 ? tariff::moneyText(billCost - d.ours) : QString();
        if (key == QLatin1String("billline"))
            return b ? QString::number(b->line) : QString();
        return std::nullopt;
    }

private:
    const Result& m_result;
    std::size_t m_at = 0;
};

} // namespace

bool prepareReport(const report::ReportTemplate& layout, const Result& result,
                   const ReportHeading& heading, report::PreparedReport& out, QString& error,
                   const report::ReportEngine::Progress& progress)
{
    RowsSource rows(result);
    const report::ValueCallback values = [&](const QString& name) -> std::optional<QVariant> {
        if (name == QLatin1String("GetTitle"))
            return heading.title;
        if (name == QLatin1String("GetBillFile"))
            return heading.file;
        if (name == QLatin1String("GetPlan"))
            return heading.plan;
        if (name == QLatin1String("GetDisputed"))
            return tariff::moneyText(result.disputed);
        // A class's value: the name ends in the class's number.
        if (name.size() < 2 || !name.back().isDigit())
            return std::nullopt;
        const int k = name.back().digitValue();
        if (k >= KindCount)
            return std::nullopt;
        const Totals& t = result.totals[std::size_t(k)];
        const QStringView what = QStringView(name).chopped(1);
        if (what == QLatin1String("GetKind"))
            return kindText(Kind(k));
        if (what == QLatin1String("GetCalls"))
            return count(t.calls);
        if (what == QLatin1String("GetBillSeconds"))
            return count(t.billSeconds);
        if (what == QLatin1String("GetLogSeconds"))
            return count(t.logSeconds);
        if (what == QLatin1String("GetBillCost"))
            return tariff::moneyText(t.billKopecks);
        if (what == QLatin1String("GetOurCost"))
            return tariff::moneyText(t.ourKopecks);
        return std::nullopt;
    };
    report::ReportEngine engine;
    engine.setProgress(progress);
    if (!engine.prepare(layout, rows, values, out, result.rows.size())) {
        error = engine.cancelled() ? QString() : engine.errorString();
        return false;
    }
    return true;
}

} // namespace bill
