#include "ReportValues.h"

#include "data/CallRating.h"
#include "data/CallRecord.h"
#include "data/Tariffs.h"
#include "db/ForwardQuery.h"
#include "db/Query.h"
#include "report/ReportTemplate.h"
#include "settings/TMainObject.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>

void ReportTotals::clearTotals()
{
    SCntInRing = SCntOutRing = SCntAllRing = SInRing = SOutRing = SAllRing = 0;
    SCost = SBilled = SNoTariff = 0;
}

std::optional<tariff::Rating> CallRatingOf(const db::DataSet& q, const ReportTotals& totals)
{
    if (!totals.priced())
        return std::nullopt;
    const db::Field* number = q.findField(QStringLiteral("NumberOut"));
    const db::Field* line = q.findField(QStringLiteral("RLine"));
    const db::Field* length = q.findField(QStringLiteral("RingLength"));
    const db::Field* day = q.findField(QStringLiteral("RDay"));
    const db::Field* month = q.findField(QStringLiteral("RMont"));
    const db::Field* year = q.findField(QStringLiteral("RYear"));
    if (!number || !line || !length || !day || !month || !year || number->asInt64() <= 0)
        return std::nullopt;
    return totals.Book->rate(line->asInteger(),
                             QDate(year->asInteger() + 2000, month->asInteger(), day->asInteger()),
                             number->asInt64(), length->asInt64());
}

void ReportTotals::addTotals(db::Query& q, bool detail)
{
    qint64 cntIn = 0, cntOut = 0, in = 0, out = 0;
    for (q.first(); !q.eof(); q.next()) {
        if (detail) {
            addCall(q);
        } else {
            cntIn += q.field(QStringLiteral("CntInRing")).asInt64();
            cntOut += q.field(QStringLiteral("CntOutRing")).asInt64();
            in += q.field(QStringLiteral("InRing")).asInt64();
            out += q.field(QStringLiteral("OutRing")).asInt64();
        }
    }
    if (!detail) {
        SCntInRing += cntIn;
        SCntOutRing += cntOut;
        SInRing += in;
        SOutRing += out;
        SCntAllRing += SCntInRing + SCntOutRing;
        SAllRing += SInRing + SOutRing;
    }
}

void ReportTotals::addCall(const db::DataSet& call)
{
    ++SCntAllRing;
    SAllRing += call.field(QStringLiteral("RingLength")).asInt64();
    if (const std::optional<tariff::Rating> r = CallRatingOf(call, *this)) {
        if (r->rule < 0) {
            ++SNoTariff;
        } else {
            SCost += r->cost;
            SBilled += r->billed;
        }
    }
}

bool TotalsOnlyInSummary(const report::ReportTemplate& layout)
{
    // The variables that grow with the calls; the title and the cost captions do not.
    static const QStringList grandTotals = {
        QStringLiteral("GetSCntInRing"),  QStringLiteral("GetSCntOutRing"),
        QStringLiteral("GetSCntAllRing"), QStringLiteral("GetSInRing"),
        QStringLiteral("GetSOutRing"),    QStringLiteral("GetSAllRing"),
        QStringLiteral("GetSCost"),       QStringLiteral("GetSBilled"),
        QStringLiteral("GetSNoTariff"),   QStringLiteral("GetSNoTariffText"),
        QStringLiteral("GetSCostText")};
    static const QRegularExpression variable(QStringLiteral("\\[([^\\[\\]]+)\\]"));
    using report::BandKind;
    for (const BandKind kind : {BandKind::ReportTitle, BandKind::PageHeader, BandKind::ColumnHeader,
                                BandKind::MasterData, BandKind::PageFooter}) {
        const report::Band* band = layout.band(kind);
        if (!band)
            continue;
        for (const report::TextObject& t : band->texts)
            for (auto it = variable.globalMatch(t.text); it.hasNext();)
                if (grandTotals.contains(it.next().captured(1).trimmed()))
                    return false;
    }
    return true;
}

namespace {

// The value of a column of the current row as the engine shows it.
std::optional<QVariant> ColumnValue(const db::DataSet& row, const QString& name)
{
    const db::Field* f = row.findField(name);
    if (!f)
        return std::nullopt;
    return f->isNull() ? QVariant(QString()) : QVariant(f->displayText());
}

// The grand totals of the costs and the captions of the cost columns: empty texts in a run
// without tariffs, so that a template prints the same page as before there were any.
std::optional<QVariant> CostTotalValue(const QString& n, const ReportTotals& totals)
{
    const bool priced = totals.priced();
    const QVariant empty = QString();
    if (n == QLatin1String("GetZoneCaption"))
        return priced ? QVariant(QStringLiteral("Зона")) : empty;
    if (n == QLatin1String("GetCostCaption"))
        return priced ? QVariant(QStringLiteral("Стоимость")) : empty;
    if (n == QLatin1String("GetSCost"))
        return priced ? QVariant(ReportMoneyText(totals.SCost)) : empty;
    if (n == QLatin1String("GetSBilled"))
        return priced ? QVariant(ReportBilledText(totals.SBilled)) : empty;
    if (n == QLatin1String("GetSNoTariff"))
        return totals.SNoTariff;
    if (n == QLatin1String("GetSNoTariffText"))
        return totals.SNoTariff > 0
                   ? QVariant(QStringLiteral("Без тарифа (стоимость не учтена), звонков: %1")
                                  .arg(totals.SNoTariff))
                   : empty;
    if (n == QLatin1String("GetSCostText")) {
        if (!priced)
            return empty;
        QString text = QStringLiteral("Стоимость: ") + ReportMoneyText(totals.SCost);
        if (totals.SNoTariff > 0)
            text += QStringLiteral(" (без тарифа: %1)").arg(totals.SNoTariff);
        return text;
    }
    return std::nullopt;
}

} // namespace

QString ReportMoneyText(qint64 kopecks)
{
    return tariff::moneyText(kopecks);
}

QString ReportBilledText(qint64 seconds)
{
    return seconds == 0 ? QStringLiteral("0 сек") : DurationText(seconds);
}

QString ReportTitleText(const QDate& from, const QDate& to)
{
    const QLocale l;
    return from == to
               ? QStringLiteral("Отчет за ") + l.toString(from, QLocale::ShortFormat)
               : QStringLiteral("Отчет за период с ") + l.toString(from, QLocale::ShortFormat) +
                     QStringLiteral(" по ") + l.toString(to, QLocale::ShortFormat);
}

void QueryReportSource::first()
{
    m_q.first();
}

void QueryReportSource::next()
{
    m_q.next();
}

bool QueryReportSource::eof() const
{
    return m_q.eof();
}

std::optional<QVariant> QueryReportSource::value(const QString& name) const
{
    return ColumnValue(m_q, name);
}

void ReportCallStream::advance()
{
    m_eof = !m_q.next();
    if (!m_eof)
        m_totals.addCall(m_q);
}

std::optional<QVariant> ReportCallStream::value(const QString& name) const
{
    return ColumnValue(m_q, name);
}

std::optional<QVariant> ReportTotalValue(const QString& n, const ReportTotals& totals)
{
    if (n == QLatin1String("GetTitle"))
        return totals.ReportTitle;
    if (n == QLatin1String("GetSCntInRing"))
        return totals.SCntInRing;
    if (n == QLatin1String("GetSCntOutRing"))
        return totals.SCntOutRing;
    if (n == QLatin1String("GetSCntAllRing"))
        return totals.SCntAllRing;
    if (n == QLatin1String("GetSInRing"))
        return DurationText(totals.SInRing);
    if (n == QLatin1String("GetSOutRing"))
        return DurationText(totals.SOutRing);
    if (n == QLatin1String("GetSAllRing"))
        return DurationText(totals.SAllRing);
    return CostTotalValue(n, totals);
}

std::optional<QVariant> ReportValue(const QString& ParName, const db::DataSet& q,
                                    const ReportTotals& totals, const TMainObject& settings)
{
    auto integer = [&q](const char* name) -> std::optional<qint64> {
        const db::Field* f = q.findField(QLatin1String(name));
        return f ? std::optional<qint64>(f->asInt64()) : std::nullopt;
    };
    auto text = [&q](const char* name) -> std::optional<QString> {
        const db::Field* f = q.findField(QLatin1String(name));
        return f ? std::optional<QString>(f->isNull() ? QString() : f->plainText()) : std::nullopt;
    };
    const QString& n = ParName;
    if (std::optional<QVariant> v = ReportTotalValue(n, totals))
        return v;
    const QVariant empty = QString();
    if (n == QLatin1String("GetCntInRing") || n == QLatin1String("GetCntOutRing") ||
        n == QLatin1String("GetCntAllRing")) {
        const std::optional<qint64> in = integer("CntInRing");
        const std::optional<qint64> out = integer("CntOutRing");
        if (n == QLatin1String("GetCntInRing"))
            return in ? QVariant(*in) : empty;
        if (n == QLatin1String("GetCntOutRing"))
            return out ? QVariant(*out) : empty;
        return in && out ? QVariant(*in + *out) : empty;
    }
    if (n == QLatin1String("GetInRing") || n == QLatin1String("GetOutRing") ||
        n == QLatin1String("GetAllRing")) {
        const std::optional<qint64> in = integer("InRing");
        const std::optional<qint64> out = integer("OutRing");
        if (n == QLatin1String("GetInRing"))
            return in ? QVariant(DurationText(*in)) : empty;
        if (n == QLatin1String("GetOutRing"))
            return out ? QVariant(DurationText(*out)) : empty;
        return in && out ? QVariant(DurationText(*in + *out)) : empty;
    }
    if (n == QLatin1String("GetDate")) {
        const auto y = integer("RYear"), m = integer("RMont"), d = integer("RDay");
        if (!y || !m || !d)
            return empty;
        const QDate date{int(*y + 2000), int(*m), int(*d)};
        return date.isValid() ? QVariant(date) : empty;
    }
    if (n == QLatin1String("GetTime")) {
        const auto h = integer("RHour"), m = integer("RMin"), s = integer("RSec");
        if (!h || !m || !s)
            return empty;
        const QTime time{int(*h), int(*m), int(*s)};
        return time.isValid() ? QVariant(time) : empty;
    }
    if (n == QLatin1String("GetLenTime")) {
        const auto len = integer("RingLength");
        return len ? QVariant(DurationText(*len)) : empty;
    }
    if (n == QLatin1String("GetNumberOut")) {
        const auto v = integer("NumberOut");
        if (!v)
            return empty;
        return *v == 0 ? QVariant(QStringLiteral("входящий"))
                       : QVariant(settings.FormatPhoneNumber(*text("NumberOut")));
    }
    if (n == QLatin1String("GetZone") || n == QLatin1String("GetCost")) {
        const std::optional<tariff::Rating> r = CallRatingOf(q, totals);
        if (!r)
            return empty;
        if (n == QLatin1String("GetZone"))
            return r->rule < 0 ? CallRating::NoTariffText() : totals.Book->rule(r->rule).zone;
        return r->rule < 0 ? empty : QVariant(ReportMoneyText(r->cost));
    }
    if (n == QLatin1String("GetNumberTown")) {
        const auto t = text("NumberTown");
        return t ? QVariant(settings.FormatPhoneNumber(*t)) : empty;
    }
    return std::nullopt;
}
