// The runs' thread pool and the words of a job's failure.
#include "Job.h"

#include "data/TDM.h"
#include "db/DbError.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace runs {

QThreadPool& pool()
{
    // Four pieces of the line load beside a report, the statistics and the mailing's two jobs.
    // Gone at the program's end, when every job has been waited for by its owner.
    static QThreadPool jobs;
    static const bool sized = [] {
        jobs.setObjectName(QStringLiteral("runs"));
        jobs.setMaxThreadCount(std::max(8, QThread::idealThreadCount()));
        return true;
    }();
    Q_UNUSED(sized);
    return jobs;
}

RunFailure::RunFailure(QString text)
    : std::runtime_error(text.toStdString()), m_text(std::move(text))
{
}

QString failureText(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const db::DbError& e) {
        return TDM::FailureText(e);
    } catch (const RunFailure& e) {
        return e.text();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка");
    }
}

} // namespace runs
