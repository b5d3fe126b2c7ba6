// A small drop-down button beside a pair of period pickers: today, yesterday, this or last
// week, this or last month, this year.
#pragma once

#include <QDate>
#include <QToolButton>
#include <functional>
#include <utility>

class QDateEdit;

/// Choosing a period sets both dates; nothing else runs. Weeks start on Monday. Reached with
/// Tab, opened with Alt+Down or Space.
class PeriodButton : public QToolButton
{
    Q_OBJECT
public:
    enum Period
    {
        Today,
        Yesterday,
        ThisWeek,
        LastWeek,
        ThisMonth,
        LastMonth,
        ThisYear
    };

    PeriodButton(QDateEdit* from, QDateEdit* to, QWidget* parent = nullptr);

    /// The first and last day of a period around `today`.
    static std::pair<QDate, QDate> range(Period period, const QDate& today);
    /// Where "today" comes from (the system's date unless a test says otherwise).
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }
    void choose(Period period);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QDateEdit* m_from;
    QDateEdit* m_to;
    std::function<QDate()> m_today = [] { return QDate::currentDate(); };
};
