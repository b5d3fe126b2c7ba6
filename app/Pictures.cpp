#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace Pictures {

namespace {

QPixmap canvas()
{
    QPixmap p(32, 32);
    p.fill(Qt::transparent);
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
    QPixmap p = canvas();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(90, 90, 90), 1));
    g.setBrush(Qt::white);
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
    return p;
}

} // namespace

QPixmap keys()
{
    QPixmap p = canvas();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(120, 120, 120), 1.5));
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(QPointF(8, 8), 5, 5); // the ring
    drawKey(g, QColor(220, 180, 40), 35);
    drawKey(g, QColor(170, 170, 180), 70);
    return p;
}

QPixmap warning()
{
    QPixmap p = canvas();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QPolygonF tri;
    tri << QPointF(16, 2) << QPointF(30.5, 29) << QPointF(1.5, 29);
    g.setPen(QPen(QColor(120, 90, 0), 1.2));
    g.setBrush(QColor(250, 210, 30));
    g.drawPolygon(tri);
    QFont f(QStringLiteral("Arial"));
    f.setBold(true);
    f.setPixelSize(20);
    g.setFont(f);
    g.setPen(Qt::black);
    g.drawText(QRectF(0, 8, 32, 22), Qt::AlignCenter, QStringLiteral("!"));
    return p;
}

QPixmap error()
{
    QPixmap p = canvas();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(130, 0, 0), 1.2));
    g.setBrush(QColor(210, 30, 30));
    g.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    g.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(10, 10), QPointF(22, 22));
    g.drawLine(QPointF(22, 10), QPointF(10, 22));
    return p;
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
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(80, 80, 120), 1));
    g.setBrush(QColor(255, 250, 220));
    g.drawRect(QRectF(1.5, 3.5, 13, 9));
    g.drawPolyline(QPolygonF{QPointF(1.5, 3.5), QPointF(8, 9), QPointF(14.5, 3.5)});
    return p;
}

QPixmap treeRoot()
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(60, 60, 60), 1));
    g.setBrush(QColor(120, 160, 210));
    g.drawRect(QRectF(2.5, 2.5, 11, 11));
    g.setBrush(Qt::white);
    for (int y : {5, 8, 11})
        g.drawRect(QRectF(5, y - 1, 6, 1.5));
    return p;
}

QPixmap department(bool selected)
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(120, 90, 20), 1));
    g.setBrush(selected ? QColor(255, 210, 90) : QColor(230, 190, 100));
    QPainterPath folder;
    folder.moveTo(1.5, 4.5);
    folder.lineTo(6, 4.5);
    folder.lineTo(7.5, 6);
    folder.lineTo(14.5, 6);
    folder.lineTo(14.5, 13.5);
    folder.lineTo(1.5, 13.5);
    folder.closeSubpath();
    g.drawPath(folder);
    return p;
}

} // namespace Pictures
