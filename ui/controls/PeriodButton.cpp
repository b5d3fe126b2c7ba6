#include "PeriodButton.h"

#include <QDateEdit>
#include <QKeyEvent>
#include <QMenu>

PeriodButton::PeriodButton(QDateEdit* from, QDateEdit* to, QWidget* parent)
    : QToolButton(parent), m_from(from), m_to(to)
{
    setObjectName(QStringLiteral("sbPeriod"));
    setText(QStringLiteral("Период"));
    setToolTip(QStringLiteral("Выбрать период"));
    setFocusPolicy(Qt::StrongFocus);
    setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(this);
    const std::pair<Period, const char*> items[] = {
        {Today, "Сегодня"},           {Yesterday, "Вчера"},         {ThisWeek, "Текущая неделя"},
        {LastWeek, "Прошлая неделя"}, {ThisMonth, "Текущий месяц"}, {LastMonth, "Прошлый месяц"},
        {ThisYear, "Текущий год"}};
    for (const auto& [period, text] : items) {
        const Period p = period;
        menu->addAction(QString::fromUtf8(text), this, [this, p] { choose(p); });
    }
    setMenu(menu);
}

std::pair<QDate, QDate> PeriodButton::range(Period period, const QDate& today)
{
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const QDate firstOfMonth(today.year(), today.month(), 1);
    switch (period) {
    case Today:
        return {today, today};
    case Yesterday:
        return {today.addDays(-1), today.addDays(-1)};
    case ThisWeek:
        return {monday, monday.addDays(6)};
    case LastWeek:
        return {monday.addDays(-7), monday.addDays(-1)};
    case ThisMonth:
        return {firstOfMonth, firstOfMonth.addMonths(1).addDays(-1)};
    case LastMonth:
        return {firstOfMonth.addMonths(-1), firstOfMonth.addDays(-1)};
    case ThisYear:
        return {QDate(today.year(), 1, 1), QDate(today.year(), 12, 31)};
    }
    return {today, today};
}

void PeriodButton::choose(Period period)
{
    const auto [first, last] = range(period, m_today());
    m_from->setDate(first);
    m_to->setDate(last);
}

void PeriodButton::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)) ||
        event->key() == Qt::Key_Space) {
        showMenu();
        return;
    }
    QToolButton::keyPressEvent(event);
}
