// A data set's fetch in the background, run after run: the rows on their way from the worker.
#include "IncrementalFetch.h"

#include "WorkerAttachment.h"

#include <QElapsedTimer>

namespace db {

IncrementalFetch::IncrementalFetch() = default;

IncrementalFetch::~IncrementalFetch()
{
    stop();
}

void IncrementalFetch::start(BackgroundFetch::Request request, std::function<void()> arrived)
{
    reset();
    if (!m_attachment)
        m_attachment = std::make_shared<WorkerAttachment>();
    request.attachment = m_attachment;
    m_length = request.messageLength;
    m_state = FetchState::Running;
    m_worker = std::make_unique<BackgroundFetch>(std::move(request), std::move(arrived));
}

std::size_t IncrementalFetch::take(int budgetMs,
                                   const std::function<void(const unsigned char*)>& row)
{
    if (m_state != FetchState::Running || !m_worker)
        return 0;
    QElapsedTimer clock;
    clock.start();
    const BackgroundFetch::State worker = m_worker->take(m_batches);
    std::size_t handed = 0;
    bool outOfTime = false;
    while (m_batchIndex < m_batches.size() && !outOfTime) {
        const BackgroundFetch::Batch& b = m_batches[m_batchIndex];
        while (m_batchRow < b.rows) {
            row(b.data.data() + m_batchRow * m_length);
            ++m_batchRow;
            ++handed;
            if ((handed & 255) == 0 && clock.elapsed() >= budgetMs) {
                outOfTime = true;
                break;
            }
        }
        if (m_batchRow >= b.rows) {
            ++m_batchIndex;
            m_batchRow = 0;
        }
    }
    if (m_batchIndex == m_batches.size()) {
        m_batches.clear();
        m_batchIndex = 0;
    }
    if (m_batches.empty() && worker != BackgroundFetch::State::Running) {
        if (worker == BackgroundFetch::State::Failed)
            m_error = m_worker->error();
        end(worker == BackgroundFetch::State::Finished ? FetchState::Finished
            : worker == BackgroundFetch::State::Failed ? FetchState::Failed
                                                       : FetchState::Stopped);
    }
    return handed;
}

void IncrementalFetch::stop() noexcept
{
    if (m_state == FetchState::Running)
        end(FetchState::Stopped);
}

void IncrementalFetch::reset() noexcept
{
    stop();
    m_state = FetchState::None;
    m_error.reset();
}

void IncrementalFetch::end(FetchState state) noexcept
{
    if (m_worker)
        m_worker->stop();
    m_worker.reset();
    m_batches.clear();
    m_batchIndex = 0;
    m_batchRow = 0;
    m_state = state;
}

void IncrementalFetch::dropAttachment() noexcept
{
    m_attachment.reset();
}

} // namespace db
