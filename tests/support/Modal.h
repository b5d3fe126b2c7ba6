// Driving a modal window from a test: the window's code runs while exec() waits.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

namespace test {

/// Runs fn on the next modal dialog once it is up (checked every few milliseconds, for a few
/// seconds at most). Call it before the action that opens the dialog.
inline void whenModal(std::function<void(QDialog*)> fn, int triesLeft = 500)
{
    QTimer::singleShot(5, [fn = std::move(fn), triesLeft]() mutable {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            d && d->isVisible())
            fn(d);
        else if (triesLeft > 0)
            whenModal(std::move(fn), triesLeft - 1);
    });
}

} // namespace test
