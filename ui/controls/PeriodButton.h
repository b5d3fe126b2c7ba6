// A small drop-down button beside a pair of period pickers: today, yesterday, this or last
// week, month, quarter or year.
#pragma once

#include "data/PeriodWords.h"

#include <QDate>
#include <QToolButton>
#include <functional>
#include <utility>

class QDateEdit;

/// Choosing a period sets both dates; nothing else runs. The periods are the program's period
/// shortcuts (stmt::PeriodShortcuts), the command line's words. Reached with Tab, opened with
/// Alt+Down or Space.
class PeriodButton : public QToolButton
{
    Q_OBJECT
public:
    using Period = stmt::PeriodShortcut;
    using enum stmt::PeriodShortcut;

    PeriodButton(QDateEdit* from, QDateEdit* to, QWidget* parent = nullptr);

    /// The first and last day of a period around `today` (stmt::ShortcutPeriod).
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
