// Prepared report pages: reading packed items back one drawn thing at a time.
#include "PreparedReport.h"

#include <QPointF>
#include <QRectF>

namespace report {

PageItem PageItems::const_iterator::operator*() const
{
    const PackedItem& p = m_items->m_packed[m_index];
    const ItemStyle& style = m_items->m_pools->styles[p.style];
    PageItem item;
    item.color = style.color;
    auto setBox = [&item](const QRectF& r) {
        item.x1 = float(r.left());
        item.y1 = float(r.top());
        item.x2 = float(r.right());
        item.y2 = float(r.bottom());
    };
    auto setLine = [&item](QPointF a, QPointF b) {
        item.x1 = float(a.x());
        item.y1 = float(a.y());
        item.x2 = float(b.x());
        item.y2 = float(b.y());
    };
    if (p.kind == PageItem::Kind::Line) {
        item.kind = PageItem::Kind::Line;
        setLine(QPointF(style.x, p.top + style.y), QPointF(style.w, p.top + style.h));
        item.width = style.width;
        return item;
    }
    // A text cell: its fill, its text, then its framed sides in the order left, top, right,
    // bottom.
    const QRectF r(style.x, p.top + style.y, style.w, style.h);
    int part = m_part;
    if (style.hasFill) {
        if (part == 0) {
            item.kind = PageItem::Kind::Fill;
            item.color = style.fill;
            setBox(r);
            return item;
        }
        --part;
    }
    if (part == 0) {
        item.kind = PageItem::Kind::Text;
        item.font = style.font;
        item.flags = style.flags;
        item.fit = style.fit;
        setBox(r.adjusted(ItemStyle::TextInset, 0, -ItemStyle::TextInset, 0));
        item.text = m_items->m_pools->text(p.text);
        return item;
    }
    item.kind = PageItem::Kind::Line;
    item.width = style.width;
    int side = 0;
    for (std::uint8_t bit = ItemStyle::FrameLeft; bit <= ItemStyle::FrameBottom; bit <<= 1)
        if ((style.frame & bit) && ++side == part) {
            if (bit == ItemStyle::FrameLeft)
                setLine(r.topLeft(), r.bottomLeft());
            else if (bit == ItemStyle::FrameTop)
                setLine(r.topLeft(), r.topRight());
            else if (bit == ItemStyle::FrameRight)
                setLine(r.topRight(), r.bottomRight());
            else
                setLine(r.bottomLeft(), r.bottomRight());
            break;
        }
    return item;
}

PageItems::const_iterator& PageItems::const_iterator::operator++()
{
    if (++m_part >= m_items->m_packed[m_index].parts) {
        m_part = 0;
        ++m_index;
    }
    return *this;
}

std::size_t PreparedReport::memoryBytes() const
{
    std::size_t bytes = pages.capacity() * sizeof(PreparedPage);
    for (const PreparedPage& p : pages)
        bytes += p.items.memoryBytes();
    if (pools) {
        bytes += pools->styles.capacity() * sizeof(ItemStyle);
        bytes += pools->textBytes.capacity() + pools->textStarts.capacity() * 4;
    }
    return bytes;
}

} // namespace report
