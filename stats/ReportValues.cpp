#include "ReportValues.h"

#include "data/CallRecord.h"
#include "db/Query.h"
#include "settings/TMainObject.h"

#include <QLocale>
#include <QTime>

void ReportTotals::clearTotals()
{
    SCntInRing = SCntOutRing = SCntAllRing = SInRing = SOutRing = SAllRing = 0;
}

void ReportTotals::addTotals(db::Query& q, bool detail)
{
    qint64 cntIn = 0, cntOut = 0, in = 0, out = 0;
    for (q.first(); !q.eof(); q.next()) {
        if (detail) {
            ++SCntAllRing;
            SAllRing += q.field(QStringLiteral("RingLength")).asInt64();
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
    const db::Field* f = m_q.findField(name);
    if (!f)
        return std::nullopt;
    return f->isNull() ? QVariant(QString()) : QVariant(f->displayText());
}

std::optional<QVariant> ReportValue(const QString& ParName, const db::Query& q,
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
    if (n == QLatin1String("GetNumberTown")) {
        const auto t = text("NumberTown");
        return t ? QVariant(settings.FormatPhoneNumber(*t)) : empty;
    }
    return std::nullopt;
}
