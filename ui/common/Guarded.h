// The error boundary of the windows: a handler's database work runs inside guarded(), so no
// exception ever travels back through the toolkit's signal machinery.
#pragma once

#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace ui {

/// Shows the failure held by `error` over `parent` in an error box: a database error with its
/// own message, any other exception with its text.
void showFailure(QWidget* parent, std::exception_ptr error);

/// Runs fn(); true when it returned normally, false when it threw and the failure was shown.
template <class F> bool guarded(QWidget* parent, F&& fn)
{
    try {
        std::forward<F>(fn)();
        return true;
    } catch (...) {
        showFailure(parent, std::current_exception());
        return false;
    }
}

} // namespace ui
