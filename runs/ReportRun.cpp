// The reports window's worker: the rows, the totals and the layout, with copies of the pages
// handed to the preview as they are laid out.
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
#include <QMetaObject>

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

ReportRun::ReportRun(QObject* parent) : QObject(parent) {}

void ReportRun::start(Request request)
{
    if (running())
        return;
    m_totals = ReportTotals();
    m_pages.reset();
    m_failure = nullptr;
    m_error.clear();
    m_outcome = State::Idle;
    m_state = State::Running;
    m_worker.start([this, request = std::move(request)] { work(request); });
}

void ReportRun::stop()
{
    if (running())
        m_worker.stop();
}

void ReportRun::work(const Request& request)
{
    std::shared_ptr<const report::PreparedReport> pages;
    try {
        WorkerReading reading(m_worker.cancelSlot(), request.place);
        db::Database& database = reading.database;
        db::Transaction& transaction = reading.transaction;
        db::Query q(database, transaction);
        db::ForwardQuery calls(database, transaction);
        // The detailed report's totals may grow while its calls are laid out, unless the
        // template shows them before its summary.
        const bool streamed =
            request.kind == ReportKind::Detailed && TotalsOnlyInSummary(request.layout);
        std::optional<std::size_t> rows; // the rows the engine walks, when known before
        // Or else counted once the first pages are on show (the preview of a streamed run).
        bool countDue = false;
        std::optional<stmt::DateIndexes> along = request.indexes; // unless the server refuses
        const stmt::Period period{request.from, request.to};
        ReportTotals& totals = m_totals;
        totals.ReportTitle = ReportTitleText(request.from, request.to);
        if (request.kind == ReportKind::Cost) {
            totals.Book = tariff::load(database, transaction); // a failure is the run's
        } else if (request.kind == ReportKind::Detailed) {
            try {
                totals.Book = tariff::load(database, transaction);
            } catch (const db::DbError& e) {
                if (e.connectionLost())
                    throw;
                totals.Book.reset(); // the calls are listed as ever, without costs
            }
        }
        std::unique_ptr<CostReport> costRows;
        if (request.kind == ReportKind::Cost && !totals.priced()) {
            m_outcome = State::NoTariffs;
        } else if (request.kind == ReportKind::Cost) {
            // Every outgoing call rated once, by the rules read once, those outside the
            // directories too (they are on the operator's bill); then the names.
            costRows = std::make_unique<CostReport>(totals.Book);
            stmt::pricedCalls(period.start(), period.end(), true).applyTo(q);
            q.open();
            costRows->addCalls(q);
            q.close();
            stmt::subscriberDepts().applyTo(q);
            q.open();
            costRows->setSubscribers(q);
            q.close();
            costRows->finish();
            const CostReport::Sum& total = costRows->total();
            totals.SCntOutRing = totals.SCntAllRing = total.calls;
            totals.SCost = total.kopecks;
            totals.SBilled = total.billed;
            totals.SNoTariff = total.noTariff;
        } else if (streamed) {
            // The calls are laid out as they come: the first pages show at once.
            countDue = request.showPages;
            try {
                stmt::report(request.kind, period.start(), period.end(), 0, along).applyTo(calls);
                calls.open();
            } catch (const db::DbError& e) {
                // A server that refuses the indexes (changed since they were looked up) gets
                // the statement without them.
                if (!along || e.connectionLost() || m_worker.stopping())
                    throw;
                along.reset();
                stmt::report(request.kind, period.start(), period.end()).applyTo(calls);
                calls.open();
            }
        } else {
            stmt::report(request.kind, period.start(), period.end()).applyTo(q);
            q.open();
            totals.addTotals(q, request.kind == ReportKind::Detailed);
            rows = std::size_t(q.recordCount());
        }
        if (m_outcome == State::Idle && !m_worker.stopping()) {
            QueryReportSource querySource(q);
            ReportCallStream callStream(calls, totals);
            report::ReportDataSource& source =
                costRows   ? static_cast<report::ReportDataSource&>(*costRows)
                : streamed ? static_cast<report::ReportDataSource&>(callStream)
                           : querySource;
            if (costRows)
                rows = costRows->rowCount();
            report::PreparedReport out;
            report::ReportEngine engine;
            QElapsedTimer told;
            told.start();
            QElapsedTimer copied;
            copied.start();
            qint64 copyWait = 0; // until the next copy may be made
            std::size_t handed = 0;
            bool recopy = false; // the pages handed over lack the total known since
            engine.setProgress([&](int laidOut, int total) {
                if (countDue && handed > 0) {
                    // The first pages are on show: the calls are counted over the same
                    // attachment (the layout waits meanwhile), and the engine writes the pages
                    // in all in once this returns; they are put right after the last call.
                    countDue = false;
                    try {
                        db::Query count(database, transaction);
                        stmt::detailedCount(period.start(), period.end(), along).applyTo(count);
                        count.open();
                        engine.expectRows(std::size_t(count.fields()[0]->asInt64()));
                        recopy = true;
                    } catch (const db::DbError& e) {
                        if (e.connectionLost() || m_worker.stopping())
                            throw;
                        // Not counted: the total comes at the end.
                    }
                    return !m_worker.stopping();
                }
                if (told.elapsed() >= ProgressEveryMs) {
                    told.restart();
                    QMetaObject::invokeMethod(
                        this, [this, laidOut, total] { emit progress(laidOut, total); },
                        Qt::QueuedConnection);
                }
                // The page being laid out is complete once the next one begins.
                const std::size_t complete = std::size_t(std::max(0, laidOut - 1));
                if (request.showPages && complete > 0 &&
                    (recopy || (complete > handed && handed < MostPagesCopied &&
                                copied.elapsed() >= copyWait))) {
                    QElapsedTimer cost;
                    cost.start();
                    auto copy = copyPages(out, std::min(complete, MostPagesCopied));
                    handed = copy->pages.size();
                    copyWait = std::max(CopyEveryMs, cost.elapsed() * CopyCostTimes);
                    copied.restart();
                    recopy = false;
                    QMetaObject::invokeMethod(
                        this, [this, copy = std::move(copy)] { emit pagesLaidOut(copy); },
                        Qt::QueuedConnection);
                }
                return !m_worker.stopping();
            });
            const db::DataSet& row = streamed ? static_cast<const db::DataSet&>(calls) : q;
            const auto values = [&](const QString& name) {
                return costRows ? ReportTotalValue(name, totals)
                                : ReportValue(name, row, totals, *request.settings);
            };
            if (engine.prepare(request.layout, source, values, out, rows)) {
                pages = std::make_shared<const report::PreparedReport>(std::move(out));
                m_outcome = State::Finished;
            } else if (engine.cancelled()) {
                m_outcome = State::Stopped;
            } else {
                m_error = engine.errorString();
                m_outcome = State::Failed;
            }
        }
        q.close();
        calls.close();
        if (m_worker.stopping() && m_outcome != State::Finished)
            m_outcome = State::Stopped;
    } catch (...) {
        // Pages laid out whole stay, whatever the closing of the query says.
        if (m_outcome != State::Finished) {
            m_outcome = m_worker.stopping() ? State::Stopped : State::Failed;
            if (!m_worker.stopping())
                m_failure = std::current_exception();
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, pages = std::move(pages)] {
            m_pages = pages;
            end();
        },
        Qt::QueuedConnection);
}

void ReportRun::end()
{
    m_worker.join();
    m_state = m_outcome;
    emit finished(m_state);
}
