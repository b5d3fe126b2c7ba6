#include "CallRecord.h"

#include "settings/TMainObject.h"

#include <QDate>
#include <QLocale>
#include <QTime>

QString MoneyText(double amount)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(amount, 'f', 2);
}

QString DurationText(qint64 seconds)
{
    if (seconds == 0)
        return {};
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds / 60) % 60;
    const qint64 s = seconds % 60;
    return QStringLiteral(" %1 ч %2 мин %3 сек")
        .arg(h)
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}

void ApplyFieldLabels(db::DataSet& dataSet)
{
    static const std::pair<const char*, const char*> labels[] = {
        {"MAILICON", " "},
        {"FIO", "Ф.И.О."},
        {"NUMBERIN", "Внутренний номер"},
        {"EMAIL", "Эл.почта"},
        {"NUMBERLINE", "Номер линии"},
        {"NUMBERTOWN", "Городской номер"},
        {"ADDINFO", "Доп."},
        {"ETC", "Примечания"},
        {"RCOMSUM", "Сумма прихода"},
    };
    for (const auto& f : dataSet.fields()) {
        f->setVisible(false);
        const QString name = f->name().toUpper();
        for (const auto& [field, label] : labels) {
            if (name != QLatin1String(field))
                continue;
            f->setDisplayLabel(QString::fromUtf8(label));
            f->setVisible(true);
            if (name == QLatin1String("RCOMSUM") && f->isNumeric())
                f->setDisplayTextHook([](const db::Field& v) {
                    return v.isNull() ? QString() : MoneyText(v.asDouble());
                });
        }
    }
}

void RingFieldsCalculator::resolve(db::DataSet& ds)
{
    m_generation = ds.fieldGeneration();
    m_talkTime = 0;
    m_day = &ds.field(QStringLiteral("RDAY"));
    m_month = &ds.field(QStringLiteral("RMONT"));
    m_year = &ds.field(QStringLiteral("RYEAR"));
    m_hour = &ds.field(QStringLiteral("RHOUR"));
    m_minute = &ds.field(QStringLiteral("RMIN"));
    m_second = &ds.field(QStringLiteral("RSEC"));
    m_length = &ds.field(QStringLiteral("RINGLENGTH"));
    m_date = &ds.field(QStringLiteral("RDate"));
    m_time = &ds.field(QStringLiteral("RTime"));
    m_duration = &ds.field(QStringLiteral("RLen"));
}

void RingFieldsCalculator::operator()(db::DataSet& ds)
{
    if (ds.fields().empty())
        return;
    if (ds.fieldGeneration() != m_generation)
        resolve(ds); // the fields are made anew at every open
    const qint64 seconds = m_length->asInt64();
    m_talkTime += seconds;
    const QDate date(int(quint16(m_year->asInteger() + 2000)), m_month->asInteger(),
                     m_day->asInteger());
    const QTime time(m_hour->asInteger(), m_minute->asInteger(), m_second->asInteger());
    if (!date.isValid() || !time.isValid())
        return; // all three stay empty
    auto it = m_durations.constFind(seconds);
    if (it == m_durations.constEnd())
        it = m_durations.insert(seconds, DurationText(seconds));
    m_date->setDate(date);
    m_time->setTime(time);
    m_duration->setString(it.value());
}

qint64 RingFieldsCalculator::talkTime(const db::DataSet& ds) const
{
    // An open that brought no row yet made the fields anew without a call here.
    return ds.fieldGeneration() == m_generation ? m_talkTime : 0;
}

QString NumberOutText(const db::Field& numberOut, const db::DataSet& call,
                      const TMainObject& settings)
{
    if (numberOut.asInt64() != 0)
        return settings.FormatPhoneNumber(numberOut.plainText());
    const db::Field* year = call.findField(QStringLiteral("RYEAR"));
    return year && year->asInteger() > 0 ? QStringLiteral("входящий") : QString();
}

QString NumberTownText(const db::Field& numberTown, const TMainObject& settings)
{
    if (numberTown.asInt64() > 0)
        return settings.FormatPhoneNumber(numberTown.plainText());
    return {};
}
