#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace Pictures {

namespace {

// A transparent square picture `size` pixels wide, drawn by `draw` with smooth edges and, to
// begin with, the outline `pen` and the fill `brush`.
QPixmap picture(int size, const QPen& pen, const QBrush& brush,
                const std::function<void(QPainter&)>& draw)
{
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(pen);
    g.setBrush(brush);
    draw(g);
    g.end();
    return p;
}

void drawKey(QPainter& g, const QColor& color, qreal angle)
{
    g.save();
    g.translate(16, 16);
    g.rotate(angle);
    g.setPen(QPen(color.darker(160), 1.2));
    g.setBrush(color);
    g.drawEllipse(QPointF(-8, 0), 5.5, 5.5);
    g.setBrush(Qt::white);
    g.drawEllipse(QPointF(-9.5, 0), 1.8, 1.8);
    g.setBrush(color);
    QPainterPath shaft;
    shaft.addRect(-3, -1.4, 16, 2.8);
    shaft.addRect(9, 1.4, 2.2, 3);
    shaft.addRect(5, 1.4, 2.2, 2.2);
    g.drawPath(shaft.simplified());
    g.restore();
}

QPixmap bubble(const QString& sign)
{
    return picture(32, QPen(QColor(90, 90, 90), 1), Qt::white, [&](QPainter& g) {
        QPainterPath path;
        path.addRoundedRect(QRectF(1.5, 1.5, 29, 22), 8, 8);
        QPolygonF tail;
        tail << QPointF(8, 22) << QPointF(6, 30) << QPointF(15, 22);
        path.addPolygon(tail);
        g.drawPath(path.simplified());
        QFont f(QStringLiteral("Arial"));
        f.setBold(true);
        f.setPixelSize(18);
        g.setFont(f);
        g.setPen(QColor(20, 70, 200));
        g.drawText(QRectF(1.5, 1.5, 29, 22), Qt::AlignCenter, sign);
    });
}

} // namespace

QPixmap keys()
{
    return picture(32, QPen(QColor(120, 120, 120), 1.5), Qt::NoBrush, [](QPainter& g) {
        g.drawEllipse(QPointF(8, 8), 5, 5); // the ring
        drawKey(g, QColor(220, 180, 40), 35);
        drawKey(g, QColor(170, 170, 180), 70);
    });
}

QPixmap warning()
{
    return picture(32, QPen(QColor(120, 90, 0), 1.2), QColor(250, 210, 30), [](QPainter& g) {
        QPolygonF tri;
        tri << QPointF(16, 2) << QPointF(30.5, 29) << QPointF(1.5, 29);
        g.drawPolygon(tri);
        QFont f(QStringLiteral("Arial"));
        f.setBold(true);
        f.setPixelSize(20);
        g.setFont(f);
        g.setPen(Qt::black);
        g.drawText(QRectF(0, 8, 32, 22), Qt::AlignCenter, QStringLiteral("!"));
    });
}

QPixmap error()
{
    return picture(32, QPen(QColor(130, 0, 0), 1.2), QColor(210, 30, 30), [](QPainter& g) {
        g.drawEllipse(QRectF(1.5, 1.5, 29, 29));
        g.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
        g.drawLine(QPointF(10, 10), QPointF(22, 22));
        g.drawLine(QPointF(22, 10), QPointF(10, 22));
    });
}

QPixmap information()
{
    return bubble(QStringLiteral("i"));
}

QPixmap question()
{
    return bubble(QStringLiteral("?"));
}

QPixmap mail()
{
    return picture(16, QPen(QColor(80, 80, 120), 1), QColor(255, 250, 220), [](QPainter& g) {
        g.drawRect(QRectF(1.5, 3.5, 13, 9));
        g.drawPolyline(QPolygonF{QPointF(1.5, 3.5), QPointF(8, 9), QPointF(14.5, 3.5)});
    });
}

QPixmap treeRoot()
{
    return picture(16, QPen(QColor(60, 60, 60), 1), QColor(120, 160, 210), [](QPainter& g) {
        g.drawRect(QRectF(2.5, 2.5, 11, 11));
        g.setBrush(Qt::white);
        for (int y : {5, 8, 11})
            g.drawRect(QRectF(5, y - 1, 6, 1.5));
    });
}

QPixmap department(bool selected)
{
    const QColor fill = selected ? QColor(255, 210, 90) : QColor(230, 190, 100);
    return picture(16, QPen(QColor(120, 90, 20), 1), fill, [](QPainter& g) {
        QPainterPath folder;
        folder.moveTo(1.5, 4.5);
        folder.lineTo(6, 4.5);
        folder.lineTo(7.5, 6);
        folder.lineTo(14.5, 6);
        folder.lineTo(14.5, 13.5);
        folder.lineTo(1.5, 13.5);
        folder.closeSubpath();
        g.drawPath(folder);
    });
}

} // namespace Pictures
