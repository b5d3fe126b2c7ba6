#include "Guarded.h"

#include "app/Messages.h"
#include "data/TDM.h"
#include "db/DbError.h"

namespace ui {

void showFailure(QWidget* parent, std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const db::DbError& e) {
        Messages::error(TDM::FailureText(e), parent);
    } catch (const std::exception& e) {
        Messages::error(QString::fromLocal8Bit(e.what()), parent);
    } catch (...) {
        Messages::error(QStringLiteral("Неизвестная ошибка"), parent);
    }
}

} // namespace ui
