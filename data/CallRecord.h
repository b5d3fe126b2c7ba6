// How call records and directory rows are shown: dates, times, durations, numbers, captions.
#pragma once

#include "db/DataSet.h"

#include <QHash>
#include <QString>

class TMainObject;

/// " #0 ч #00 мин #00 сек" of a number of seconds; empty for 0. Hours are not limited.
QString DurationText(qint64 seconds);
/// A sum of money as the operator reads it: two decimals with the decimal sign of the user's
/// locale (a comma on a Russian desktop), no group separators.
QString MoneyText(double amount);

/// The first value when flag is true, else the second.
template <class T> T ChooseValue(bool flag, const T& first, const T& second)
{
    return flag ? first : second;
}

/// Captions and visibility of the directory grids' fields by name; other fields are hidden.
void ApplyFieldLabels(db::DataSet& dataSet);

/// Fills RDate, RTime and RLen of the call query's fetched row; a row whose parts make no
/// date or time keeps all three empty. Adds up the talk time of the rows it fills as they come.
class RingFieldsCalculator
{
public:
    void operator()(db::DataSet& dataSet);
    /// RingLength of every row of the data set's last open filled so far (0 before the first).
    qint64 talkTime(const db::DataSet& dataSet) const;

private:
    void resolve(db::DataSet& dataSet);

    std::uint64_t m_generation = 0; // of the data set's fields the pointers below belong to
    db::Field* m_day = nullptr;
    db::Field* m_month = nullptr;
    db::Field* m_year = nullptr;
    db::Field* m_hour = nullptr;
    db::Field* m_minute = nullptr;
    db::Field* m_second = nullptr;
    db::Field* m_length = nullptr;
    db::Field* m_date = nullptr;
    db::Field* m_time = nullptr;
    db::Field* m_duration = nullptr;
    QHash<qint64, QString> m_durations; // most calls share a few thousand durations
    qint64 m_talkTime = 0;
};

/// Display text of the dialled number: masked, "входящий" for an incoming call.
QString NumberOutText(const db::Field& numberOut, const db::DataSet& call,
                      const TMainObject& settings);
/// Display text of a line's city number: masked, empty when 0.
QString NumberTownText(const db::Field& numberTown, const TMainObject& settings);
