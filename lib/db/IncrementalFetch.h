// A data set's fetch in the background, run after run: the rows on their way from the worker.
#pragma once

#include "BackgroundFetch.h"
#include "DbError.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace db {

class WorkerAttachment;

/// Where an open in the background stands (None: the last open was not one).
enum class FetchState
{
    None,
    Running,
    Finished,
    Stopped,
    Failed
};

/// The worker of the current run (BackgroundFetch), the messages taken from it and not handed
/// on yet, how the last run ended, and the worker's attachment (WorkerAttachment), kept from
/// one run to the next.
///
/// States: None (no run since reset()) -> Running (start()) -> Finished (the last message was
/// handed on), Stopped (stop(), or the worker was stopped) or Failed (the worker's error in
/// error()). start() from any state begins a new run, stopping one that goes on.
/// Threads: owned by one data set and used on its thread only; only `arrived` runs on the
/// worker's thread. Destroying it stops a run and waits for its worker.
class IncrementalFetch
{
public:
    IncrementalFetch();
    ~IncrementalFetch();
    Q_DISABLE_COPY(IncrementalFetch)

    /// Starts a run of the request over the kept attachment (attached at the first run).
    /// `arrived` is called on the worker's thread when messages wait to be taken, and when the
    /// worker ends.
    void start(BackgroundFetch::Request request, std::function<void()> arrived);
    /// Hands the messages that arrived to `row`, in fetch order, for at most about budgetMs
    /// milliseconds; returns how many it handed on. The state leaves Running once the last
    /// message is handed on, or the worker failed or was stopped.
    std::size_t take(int budgetMs, const std::function<void(const unsigned char*)>& row);
    /// Running -> Stopped: the worker ends, messages not handed on are dropped. Does nothing
    /// in another state. Never throws.
    void stop() noexcept;
    /// Stops a run and forgets how the last one ended: the state becomes None.
    void reset() noexcept;

    FetchState state() const { return m_state; }
    bool running() const { return m_state == FetchState::Running; }
    /// Why the last run ended in Failed.
    const std::optional<DbError>& error() const { return m_error; }

    /// Lets the kept attachment go (the caller's own connection was made again or closed): the
    /// next run attaches afresh. A run that goes on keeps it until it ends.
    void dropAttachment() noexcept;

private:
    void end(FetchState state) noexcept;

    FetchState m_state = FetchState::None;
    std::optional<DbError> m_error;
    std::vector<BackgroundFetch::Batch> m_batches; // taken from the worker, not handed on yet
    std::size_t m_batchIndex = 0;
    std::size_t m_batchRow = 0;
    std::size_t m_length = 0; // bytes of one message
    std::shared_ptr<WorkerAttachment> m_attachment;
    std::unique_ptr<BackgroundFetch> m_worker; // last: stops before the rest goes
};

} // namespace db
