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
    for (const stmt::PeriodShortcutInfo& item : stmt::PeriodShortcuts) {
        const Period p = item.shortcut;
        menu->addAction(QString::fromUtf8(item.caption), this, [this, p] { choose(p); });
    }
    setMenu(menu);
}

std::pair<QDate, QDate> PeriodButton::range(Period period, const QDate& today)
{
    const stmt::Period p = stmt::ShortcutPeriod(period, today);
    return {p.first, p.last};
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
