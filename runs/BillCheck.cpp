// The operator's bill checked against the log: the log's outgoing calls of the period read on a
// worker's own attachment, then paired with the bill's calls.
#include "BillCheck.h"

#include "data/Period.h"
#include "data/Statements.h"
#include "data/Tariffs.h"
#include "db/ForwardQuery.h"

#include <QLocale>

namespace bill {

namespace {

QDateTime momentOf(qint64 second)
{
    return QDateTime(dayOf(second), QTime(0, 0).addSecs(int(second % 86400)));
}

} // namespace

std::vector<LogCall> readLogCalls(db::Database& database, db::Transaction& transaction,
                                  const CheckRequest& request,
                                  const std::function<bool()>& stopping)
{
    const qint64 widen = std::max(request.options.startTolerance, 0);
    db::ForwardQuery calls(database, transaction);
    stmt::billCalls(momentOf(secondOf(request.first, 0) - widen),
                    momentOf(secondOf(request.last, 86399) + widen), request.lines,
                    request.navigateByDate)
        .applyTo(calls);
    std::vector<LogCall> log;
    if (stopping())
        return log;
    calls.open();
    const db::Field& date = calls.field(QStringLiteral("RINGDATE"));
    const db::Field& line = calls.field(QStringLiteral("RLINE"));
    const db::Field& number = calls.field(QStringLiteral("NUMBEROUT"));
    const db::Field& talk = calls.field(QStringLiteral("TALK"));
    const tariff::TariffBook* book = request.book.get();
    const QString city = request.cityCode.trimmed();
    while (!stopping() && calls.next()) {
        LogCall c;
        c.line = line.asInteger();
        if (request.plan != 0) {
            const tariff::Plan* plan = book ? book->planOf(c.line) : nullptr;
            if (!plan || plan->id != request.plan)
                continue;
        }
        c.dialled = number.asInt64();
        c.number = numberKey(c.dialled, city);
        if (c.number < 0)
            continue;
        c.start = secondOf(date.asDate(), date.asTime().msecsSinceStartOfDay() / 1000);
        c.seconds = talk.asInteger();
        log.push_back(c);
    }
    calls.close();
    return log;
}

CheckOutcome check(const CheckRequest& request, std::vector<BillCall> billCalls, CancelSlot& slot,
                   const std::function<bool()>& stopping)
{
    CheckOutcome outcome;
    if (!request.first.isValid() || !request.last.isValid() || request.last < request.first) {
        outcome.error = QStringLiteral("Период сверки задан неверно.");
        return outcome;
    }
    std::vector<LogCall> log;
    {
        WorkerReading reading(slot, request.place);
        log = readLogCalls(reading.database, reading.transaction, request, stopping);
        reading.transaction.rollbackQuietly(); // read only: nothing to keep
    }
    if (stopping()) {
        outcome.stopped = true;
        return outcome;
    }
    outcome.logCalls = qint64(log.size());
    const QLocale ru;
    if (log.empty()) {
        outcome.error = QStringLiteral("В журнале нет исходящих звонков с %1 по %2 по выбранным "
                                       "линиям: счёт не с чем сравнить. Проверьте период, линии "
                                       "и базу данных.")
                            .arg(ru.toString(request.first, QStringLiteral("dd.MM.yyyy")),
                                 ru.toString(request.last, QStringLiteral("dd.MM.yyyy")));
        return outcome;
    }
    Options options = request.options;
    options.from = secondOf(request.first, 0);
    options.to = secondOf(request.last, 86399);
    outcome.result = compare(std::move(billCalls), std::move(log), options, request.book.get());
    if (outcome.result.bill.empty()) {
        outcome.error = QStringLiteral("Ни один звонок счёта не попал в период с %1 по %2 "
                                       "(с учётом сдвига часов): проверьте период.")
                            .arg(ru.toString(request.first, QStringLiteral("dd.MM.yyyy")),
                                 ru.toString(request.last, QStringLiteral("dd.MM.yyyy")));
        outcome.result = Result();
    }
    return outcome;
}

} // namespace bill
