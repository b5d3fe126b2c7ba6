// Prepared report pages: their items kept packed, with the styles and texts they share.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace report {

/// One drawn thing of a prepared page, in points from the page's top left corner, as the
/// page's items read back.
struct PageItem
{
    enum class Kind : std::uint8_t
    {
        Fill,
        Text,
        Line
    };
    Kind kind = Kind::Text;
    std::uint8_t font = 0; ///< text: index into PreparedReport::fonts
    int flags = 0;         ///< text: alignment and wrapping (Qt::AlignmentFlag, Qt::TextWordWrap)
    float x1 = 0, y1 = 0, x2 = 0,
          y2 = 0;    ///< fill and text: the rectangle's corners; line: its ends
    float width = 0; ///< line: pen width
    float fit = 1;   ///< text: the scale of its font that keeps it whole in its rectangle
    QRgb color = 0xff000000;
    QString text;
};

/// How a packed item is drawn and where it stands in its band; kept once per report for each
/// object of the template and shared by its items.
struct ItemStyle
{
    QRgb color = 0xff000000; ///< text and line pen
    QRgb fill = 0;           ///< text: the cell's fill, when hasFill
    bool hasFill = false;
    std::uint8_t font = 0;
    std::uint8_t frame = 0; ///< text: sides framed (FrameLeft, ...), drawn after the text
    int flags = 0;
    float width = 0; ///< line: pen width; text: the frame's
    /// Text: the scale of its font (at most 1) that keeps the text whole within its cell; a
    /// text too long for its cell is drawn smaller, never cut.
    float fit = 1;
    /// Text: the cell, x from the page's left edge, y from the band's top, w and h its size.
    /// Line: from (x, y) to (w, h), y and h from the band's top.
    double x = 0, y = 0, w = 0, h = 0;
    bool operator==(const ItemStyle&) const = default;
    static constexpr std::uint8_t FrameLeft = 1, FrameTop = 2, FrameRight = 4, FrameBottom = 8;
    /// Points between a text's cell and the rectangle its text is laid out in, left and right.
    static constexpr double TextInset = 1.5;
};

/// What the pages of one report share: the styles and the distinct texts of their items.
struct ItemPools
{
    std::vector<ItemStyle> styles;
    /// The texts one after another in UTF-8 (most are digits: a byte a character), each
    /// starting at its entry of textStarts and ending where the next starts.
    std::string textBytes;
    std::vector<std::uint32_t> textStarts;
    std::size_t textCount() const { return textStarts.size(); }
    QString text(std::uint32_t index) const
    {
        const std::size_t begin = textStarts[index];
        const std::size_t end =
            index + 1 < textStarts.size() ? textStarts[index + 1] : textBytes.size();
        return QString::fromUtf8(textBytes.data() + begin, qsizetype(end - begin));
    }
    std::uint32_t add(const QString& text)
    {
        textStarts.push_back(std::uint32_t(textBytes.size()));
        textBytes += text.toStdString();
        return std::uint32_t(textStarts.size() - 1);
    }
};

/// One packed entry of a page: a line, or a text cell with its fill and frame (read back as
/// up to six items: fill, text, then the framed sides left, top, right, bottom). Where it
/// stands comes from its style and the top of its band.
struct PackedItem
{
    double top = 0;          ///< the band's top on the page
    std::uint32_t text = 0;  ///< a text of ItemPools
    std::uint16_t style = 0; ///< index into ItemPools::styles
    PageItem::Kind kind = PageItem::Kind::Text;
    std::uint8_t parts = 1; ///< the items it reads back as
};

/// The items of a page in drawing order, held packed (16 bytes a text cell with its frame)
/// and read back one PageItem at a time. Copies share the report's pools.
class PageItems
{
public:
    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = PageItem;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = PageItem;

        const_iterator() = default;
        const_iterator(const PageItems* items, std::size_t index) : m_items(items), m_index(index)
        {
        }
        PageItem operator*() const;
        const_iterator& operator++();
        const_iterator operator++(int)
        {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const const_iterator& o) const
        {
            return m_index == o.m_index && m_part == o.m_part;
        }
        bool operator!=(const const_iterator& o) const { return !(*this == o); }

    private:
        const PageItems* m_items = nullptr;
        std::size_t m_index = 0; // packed entry
        std::uint8_t m_part = 0; // item within it
    };

    PageItems() = default;
    explicit PageItems(std::shared_ptr<const ItemPools> pools) : m_pools(std::move(pools)) {}

    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, m_packed.size()}; }
    /// Items read back (not packed entries).
    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }

    void append(const PackedItem& item)
    {
        m_packed.push_back(item);
        m_count += item.parts;
    }
    /// Puts `item` in the place of packed entry `index`: the same kind, as many parts.
    void replace(std::size_t index, const PackedItem& item) { m_packed[index] = item; }
    void reserve(std::size_t entries) { m_packed.reserve(entries); }
    /// Gives back what growing left unused, once the page is complete.
    void squeeze()
    {
        if (m_packed.capacity() > m_packed.size() + m_packed.size() / 8)
            m_packed.shrink_to_fit();
    }
    const std::vector<PackedItem>& packed() const { return m_packed; }
    const ItemPools* pools() const { return m_pools.get(); }
    /// Bytes held by the page itself (the pools are the report's).
    std::size_t memoryBytes() const { return m_packed.capacity() * sizeof(PackedItem); }

private:
    std::vector<PackedItem> m_packed;
    std::shared_ptr<const ItemPools> m_pools;
    std::size_t m_count = 0;
};

/// A prepared page: what is drawn on it, in drawing order.
struct PreparedPage
{
    PageItems items;
};

/// Pages in points (1/72 inch), kept as lists of drawn items and painted on demand at any
/// resolution; independent of the data once prepared.
struct PreparedReport
{
    double pageWidth = 0;
    double pageHeight = 0;
    std::vector<PreparedPage> pages;
    std::vector<QFont> fonts;               ///< sized in pixels, one pixel a point
    std::vector<int> rowsPerPage;           // master-data rows placed on each page
    std::shared_ptr<const ItemPools> pools; ///< shared by the pages' items
    bool empty() const { return pages.empty(); }
    /// Bytes held by the pages and their pools.
    std::size_t memoryBytes() const;
};

} // namespace report
