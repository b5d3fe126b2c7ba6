// Compact storage of fetched rows and their texts.
#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace db {

/// Rows of a fixed byte size in blocks, so growing never copies what is already held.
class RowStore
{
public:
    void reset(std::size_t rowSize);
    void clear();
    /// A new zero-filled row at the end.
    std::uint8_t* append();
    /// Gives back the unused end of the last block once every row is in. Rows of that block
    /// move: returns where `keep` (a row pointer, or null) is now.
    std::uint8_t* squeeze(std::uint8_t* keep = nullptr);
    /// Puts the rows in a new order, in place: row i becomes the row that was at order[i].
    /// `order` must be a permutation of 0..count()-1.
    void permute(const std::vector<std::size_t>& order);
    std::uint8_t* row(std::size_t index) const
    {
        return m_blocks[index / BlockRows].get() + (index % BlockRows) * m_rowSize;
    }
    std::size_t count() const { return m_count; }
    std::size_t rowSize() const { return m_rowSize; }
    std::size_t memoryBytes() const { return m_capacity * m_rowSize; }

private:
    static constexpr std::size_t BlockRows = 16384;
    std::size_t m_rowSize = 0;
    std::size_t m_count = 0;
    std::size_t m_capacity = 0; // rows that the blocks can hold
    std::vector<std::unique_ptr<std::uint8_t[]>> m_blocks;
};

/// Each distinct text is kept once, decoded; rows hold its 32-bit number. Number 0 is "".
class StringPool
{
public:
    StringPool();
    void clear();
    /// Number of the text given in code page 1251.
    std::uint32_t intern(std::string_view encoded);
    /// Number of a text made by the program (calculated fields).
    std::uint32_t intern(const QString& text);
    const QString& text(std::uint32_t id) const { return m_texts[id]; }
    std::size_t memoryBytes() const { return m_bytes; }

private:
    struct Hash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept
        {
            return std::hash<std::string_view>{}(s);
        }
    };
    std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> m_encoded;
    QHash<QString, std::uint32_t> m_decoded;
    std::vector<QString> m_texts;
    std::size_t m_bytes = 0;
};

} // namespace db
