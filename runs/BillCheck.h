// The operator's bill checked against the log: the log's outgoing calls of the period read on a
// worker's own attachment, then paired with the bill's calls.
#pragma once

#include "WorkerReading.h"
#include "data/Bill.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <vector>

namespace tariff {
class TariffBook;
}

namespace bill {

struct CheckRequest
{
    ReadingPlace place;          ///< the program's database and reading transaction
    bool navigateByDate = false; ///< the database has the date index
    QDate first;                 ///< the period, whole days in the exchange's time
    QDate last;
    std::vector<int> lines; ///< only the calls of these lines; empty: every line
    int plan = 0;           ///< only the lines this plan prices (by `book`); 0: any plan
    QString cityCode;
    Options options; ///< from and to are set from the period
    std::shared_ptr<const tariff::TariffBook> book;
};

struct CheckOutcome
{
    Result result;
    qint64 logCalls = 0; ///< outgoing calls read (within the tolerance around the period)
    /// Why nothing was compared, in the operator's words; empty when the result holds.
    QString error;
    bool stopped = false;
};

/// Reads the outgoing calls of the period (widened by the start tolerance) for the lines asked
/// for in one statement in date order, then compares them with the bill's calls. Stops as soon
/// as `stopping` says so (stopped: nothing compared). Runs on any thread: it attaches anew through
/// `slot`, which another thread may cancel: a job's work passes its context's cancel slot
/// and stopping(). Database errors reach the caller (DbError).
CheckOutcome check(const CheckRequest& request, std::vector<BillCall> billCalls, CancelSlot& slot,
                   const std::function<bool()>& stopping);

/// The reading alone: the log calls of the request, as check() reads them.
std::vector<LogCall> readLogCalls(db::Database& database, db::Transaction& transaction,
                                  const CheckRequest& request,
                                  const std::function<bool()>& stopping);

} // namespace bill
