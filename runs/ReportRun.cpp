// The reports window's job: the rows, the totals and the layout of each kind of report, with
// copies of the pages handed to the preview as they are laid out.
#include "ReportRun.h"

#include "CostReport.h"

#include "data/Period.h"
#include "data/Statements.h"
#include "data/TariffStore.h"
#include "db/DbError.h"
#include "db/ForwardQuery.h"
#include "db/Query.h"
#include "report/ReportEngine.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// How often the window hears how far the layout is.
constexpr qint64 ProgressEveryMs = 100;
// The shortest time between two copies of the pages, and how many times the last copy took.
constexpr qint64 CopyEveryMs = 250;
constexpr qint64 CopyCostTimes = 10;
// The most pages copied for the preview: the rest show once the run has ended, so that the
// copies never weigh much beside the report itself (about 8 KB a page).
constexpr std::size_t MostPagesCopied = 2000;

// The first `count` pages of `out`, over copies of their pools and fonts.
std::shared_ptr<const report::PreparedReport> copyPages(const report::PreparedReport& out,
                                                        std::size_t count)
{
    auto copy = std::make_shared<report::PreparedReport>();
    copy->pageWidth = out.pageWidth;
    copy->pageHeight = out.pageHeight;
    copy->fonts = out.fonts;
    auto pools = std::make_shared<const report::ItemPools>(*out.pools);
    copy->pools = pools;
    copy->pages.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        report::PageItems items(pools);
        const std::vector<report::PackedItem>& packed = out.pages[i].items.packed();
        items.reserve(packed.size());
        for (const report::PackedItem& item : packed)
            items.append(item);
        copy->pages.push_back(report::PreparedPage{std::move(items)});
    }
    return copy;
}

} // namespace

/// The layout of a run's pages by the engine, with what the window hears meanwhile: the
/// progress every so often and, for the preview, copies of the complete pages (the page-copy
/// policy above).
class ReportRun::Layout
{
public:
    Layout(Context& job, const Request& request) : m_job(job), m_request(request)
    {
        m_engine.setProgress([this](int laidOut, int total) { return step(laidOut, total); });
        m_told.start();
        m_copied.start();
    }
    /// Called once the first pages are on show, over the run's attachment (the layout waits
    /// meanwhile): the rows in all, when they could be counted. The engine writes the pages in
    /// all once it returns; they are put right after the last row.
    void countOnShow(std::function<std::optional<std::size_t>()> count)
    {
        m_count = std::move(count);
    }
    /// The pages; null when the run was stopped. Throws runs::RunFailure when the engine
    /// cannot lay them out, and what the data source throws.
    std::shared_ptr<const report::PreparedReport> run(report::ReportDataSource& source,
                                                      const report::ValueCallback& values,
                                                      std::optional<std::size_t> rows)
    {
        if (m_engine.prepare(m_request.layout, source, values, m_out, rows))
            return std::make_shared<const report::PreparedReport>(std::move(m_out));
        if (m_engine.cancelled())
            return nullptr;
        throw runs::RunFailure(m_engine.errorString());
    }

private:
    bool step(int laidOut, int total)
    {
        if (m_count && m_handed > 0) {
            const std::optional<std::size_t> rows = std::exchange(m_count, {})();
            if (rows) {
                m_engine.expectRows(*rows);
                m_recopy = true; // the pages on show lack their number in all
            }
            return !m_job.stopping();
        }
        News news{laidOut, total, {}};
        // The page being laid out is complete once the next one begins.
        const std::size_t complete = std::size_t(std::max(0, laidOut - 1));
        if (m_request.showPages && complete > 0 &&
            (m_recopy || (complete > m_handed && m_handed < MostPagesCopied &&
                          m_copied.elapsed() >= m_copyWait))) {
            QElapsedTimer cost;
            cost.start();
            auto copy = copyPages(m_out, std::min(complete, MostPagesCopied));
            m_handed = copy->pages.size();
            m_copyWait = std::max(CopyEveryMs, cost.elapsed() * CopyCostTimes);
            m_copied.restart();
            m_recopy = false;
            news.copy =
                std::make_shared<std::shared_ptr<const report::PreparedReport>>(std::move(copy));
        }
        if (news.copy || m_told.elapsed() >= ProgressEveryMs) {
            m_told.restart();
            m_job.tell(std::move(news));
        }
        return !m_job.stopping();
    }

    Context& m_job;
    const Request& m_request;
    report::ReportEngine m_engine;
    report::PreparedReport m_out;
    QElapsedTimer m_told;
    QElapsedTimer m_copied;
    qint64 m_copyWait = 0; // until the next copy may be made
    std::size_t m_handed = 0;
    bool m_recopy = false; // the pages handed over lack the total known since
    std::function<std::optional<std::size_t>()> m_count;
};

ReportRun::ReportRun(QObject* parent)
    : QObject(parent), m_job([this](const News& news) { told(news); },
                             [this](State state) {
                                 if (state != State::Finished)
                                     m_pages.reset();
                                 emit finished(state);
                             })
{
}

void ReportRun::start(Request request)
{
    if (running())
        return;
    m_totals = ReportTotals();
    m_pages.reset();
    m_noTariffs = false;
    m_job.start([this, request = std::move(request)](Context& job) { work(job, request); });
}

void ReportRun::stop()
{
    m_job.stop(); // a fetch waiting on the server ends at once
}

void ReportRun::setStepHook(std::function<void(int pages)> hook)
{
    m_job.setStepHook([hook = std::move(hook)](const News& news) { hook(news.pages); });
}

void ReportRun::told(const News& news)
{
    emit progress(news.pages, news.totalPages);
    if (news.copy)
        if (std::shared_ptr<const report::PreparedReport> copy = std::exchange(*news.copy, {}))
            emit pagesLaidOut(std::move(copy));
}

void ReportRun::work(Context& job, const Request& request)
{
    WorkerReading reading(job.cancelSlot(), request.place);
    m_totals.ReportTitle = ReportTitleText(request.from, request.to);
    switch (request.kind) {
    case ReportKind::Cost:
        costReport(job, reading, request);
        break;
    case ReportKind::Detailed:
        detailedReport(job, reading, request);
        break;
    case ReportKind::BySubscriber:
    case ReportKind::ByLine:
        summaryReport(job, reading, request);
        break;
    }
}

void ReportRun::costReport(Context& job, WorkerReading& reading, const Request& request)
{
    ReportTotals& totals = m_totals;
    totals.Book = tariff::load(reading.database, reading.transaction); // a failure is the run's
    if (!totals.priced()) {
        m_noTariffs = true;
        return;
    }
    // Every outgoing call rated once, by the rules read once, those outside the directories
    // too (they are on the operator's bill); then the names.
    const stmt::Period period{request.from, request.to};
    CostReport rows(totals.Book);
    db::Query q(reading.database, reading.transaction);
    stmt::subscriberDepts().applyTo(q);
    q.open();
    rows.setSubscribers(q);
    q.close();
    stmt::lineChoices().applyTo(q);
    q.open();
    rows.setLines(q);
    q.close();
    db::ForwardQuery calls(reading.database, reading.transaction);
    stmt::pricedCalls(period.start(), period.end(), true).applyTo(calls);
    calls.open();
    rows.addCalls(calls);
    rows.finish();
    const CostReport::Sum& total = rows.total();
    totals.SCntOutRing = totals.SCntAllRing = total.calls;
    totals.SCost = total.kopecks;
    totals.SBilled = total.billed;
    totals.SNoTariff = total.noTariff;
    if (job.stopping())
        return;
    m_pages = Layout(job, request)
                  .run(
                      rows, [&](const QString& name) { return ReportTotalValue(name, totals); },
                      rows.rowCount());
}

void ReportRun::detailedReport(Context& job, WorkerReading& reading, const Request& request)
{
    m_totals.Book = tariff::loadForCosts(reading.database, reading.transaction);
    // The totals may grow while the calls are laid out, unless the template shows them
    // before its summary: then all calls are read first.
    if (!TotalsOnlyInSummary(request.layout)) {
        summaryReport(job, reading, request);
        return;
    }
    // The calls are laid out as they come: the first pages show at once.
    const stmt::Period period{request.from, request.to};
    std::optional<stmt::DateIndexes> along = request.indexes; // unless the server refuses
    db::ForwardQuery calls(reading.database, reading.transaction);
    try {
        stmt::report(request.kind, period.start(), period.end(), 0, along).applyTo(calls);
        calls.open();
    } catch (const db::DbError& e) {
        // A server that refuses the indexes (changed since they were looked up) gets the
        // statement without them.
        if (!along || e.connectionLost() || job.stopping())
            throw;
        along.reset();
        stmt::report(request.kind, period.start(), period.end()).applyTo(calls);
        calls.open();
    }
    if (job.stopping())
        return;
    Layout layout(job, request);
    if (request.showPages)
        // The pages in all are known within seconds, not after the last call.
        layout.countOnShow([&]() -> std::optional<std::size_t> {
            try {
                db::Query count(reading.database, reading.transaction);
                stmt::detailedCount(period.start(), period.end(), along).applyTo(count);
                count.open();
                return std::size_t(count.fields()[0]->asInt64());
            } catch (const db::DbError& e) {
                if (e.connectionLost() || job.stopping())
                    throw;
                return std::nullopt; // not counted: the total comes at the end
            }
        });
    ReportCallStream source(calls, m_totals);
    m_pages = layout.run(
        source,
        [&](const QString& name) { return ReportValue(name, calls, m_totals, *request.settings); },
        std::nullopt);
}

void ReportRun::summaryReport(Context& job, WorkerReading& reading, const Request& request)
{
    const stmt::Period period{request.from, request.to};
    db::Query q(reading.database, reading.transaction);
    stmt::report(request.kind, period.start(), period.end()).applyTo(q);
    q.open();
    m_totals.addTotals(q, request.kind == ReportKind::Detailed);
    if (job.stopping())
        return;
    QueryReportSource source(q);
    m_pages = Layout(job, request)
                  .run(
                      source,
                      [&](const QString& name) {
                          return ReportValue(name, q, m_totals, *request.settings);
                      },
                      std::size_t(q.recordCount()));
}
