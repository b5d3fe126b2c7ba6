#include "RowStore.h"

#include "FbApi.h"

#include <cstring>
#include <stdexcept>

namespace db {

void RowStore::reset(std::size_t rowSize)
{
    clear();
    m_rowSize = rowSize == 0 ? 1 : rowSize;
}

void RowStore::clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_count = 0;
    m_capacity = 0;
}

std::uint8_t* RowStore::append()
{
    if (m_count == m_capacity) {
        if (m_capacity % BlockRows != 0)
            throw std::logic_error("RowStore: append after squeeze");
        m_blocks.push_back(std::make_unique<std::uint8_t[]>(BlockRows * m_rowSize));
        m_capacity += BlockRows;
    }
    std::uint8_t* r = row(m_count++);
    std::memset(r, 0, m_rowSize);
    return r;
}

std::uint8_t* RowStore::squeeze(std::uint8_t* keep)
{
    const std::size_t used = m_count % BlockRows;
    if (used == 0 || m_capacity == m_count)
        return keep;
    auto last = std::make_unique<std::uint8_t[]>(used * m_rowSize);
    const std::uint8_t* old = m_blocks.back().get();
    std::memcpy(last.get(), old, used * m_rowSize);
    const auto at = reinterpret_cast<std::uintptr_t>(keep);
    const auto from = reinterpret_cast<std::uintptr_t>(old);
    if (keep && at >= from && at < from + used * m_rowSize)
        keep = last.get() + (at - from);
    m_blocks.back() = std::move(last);
    m_capacity = m_count;
    return keep;
}

void RowStore::permute(const std::vector<std::size_t>& order)
{
    // Cycle by cycle, with one row aside: no second copy of the rows.
    std::vector<bool> done(m_count, false);
    std::vector<std::uint8_t> aside(m_rowSize);
    for (std::size_t start = 0; start < m_count; ++start) {
        if (done[start] || order[start] == start) {
            done[start] = true;
            continue;
        }
        std::memcpy(aside.data(), row(start), m_rowSize);
        std::size_t to = start;
        for (;;) {
            done[to] = true;
            const std::size_t from = order[to];
            if (from == start) {
                std::memcpy(row(to), aside.data(), m_rowSize);
                break;
            }
            std::memcpy(row(to), row(from), m_rowSize);
            to = from;
        }
    }
}

StringPool::StringPool()
{
    clear();
}

void StringPool::clear()
{
    m_encoded.clear();
    m_decoded.clear();
    m_texts.clear();
    m_texts.emplace_back();
    m_bytes = 0;
}

std::uint32_t StringPool::intern(std::string_view encoded)
{
    if (encoded.empty())
        return 0;
    if (auto it = m_encoded.find(encoded); it != m_encoded.end())
        return it->second;
    const QString text = fb::decode(encoded.data(), qsizetype(encoded.size()));
    const std::uint32_t id = intern(text);
    m_encoded.emplace(std::string(encoded), id);
    m_bytes += encoded.size() + 64;
    return id;
}

std::uint32_t StringPool::intern(const QString& text)
{
    if (text.isEmpty())
        return 0;
    if (auto it = m_decoded.constFind(text); it != m_decoded.constEnd())
        return it.value();
    const auto id = static_cast<std::uint32_t>(m_texts.size());
    m_texts.push_back(text);
    m_decoded.insert(text, id);
    m_bytes += std::size_t(text.size()) * 4 + 96;
    return id;
}

} // namespace db
