#include "AppIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

using Painter = void (*)(QPainter &);

QIcon drawnIcon(Painter paint)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        paint(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A net full of pictures being pulled in.
void paintProgram(QPainter &p)
{
    QLinearGradient sea(0, 0, 0, 32);
    sea.setColorAt(0, QColor(40, 120, 200));
    sea.setColorAt(1, QColor(10, 60, 130));
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);

    QPainterPath net;
    net.moveTo(5, 7);
    net.quadTo(16, 34, 27, 7);
    p.setBrush(QColor(255, 255, 255, 40));
    p.setPen(QPen(Qt::white, 1.6));
    p.drawPath(net);
    p.setPen(QPen(QColor(255, 255, 255, 170), 0.9));
    for (int x = 9; x <= 23; x += 4)
        p.drawLine(QPointF(x, 8), QPointF(16, 26));
    for (int y = 11; y <= 21; y += 5)
        p.drawLine(QPointF(5 + (y - 7) * 0.45, y), QPointF(27 - (y - 7) * 0.45, y));

    // A picture caught in the net.
    p.setPen(QPen(QColor(40, 40, 40), 0.8));
    p.setBrush(QColor(255, 220, 90));
    p.drawRect(QRectF(12.5, 12.5, 7, 6));
    p.setBrush(QColor(60, 160, 70));
    p.drawPolygon(QPolygonF({{12.5, 18.5}, {15, 15.5}, {17, 17.5}, {19.5, 14.5}, {19.5, 18.5}}));
}

// A plain text editor's page.
void paintDisguise(QPainter &p)
{
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(QColor(70, 150, 220));
    p.drawRect(QRectF(5.5, 2.5, 21, 5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 7.5, 21, 22));
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int y = 12; y <= 26; y += 3)
        p.drawLine(QPointF(8, y), QPointF(y == 26 ? 17 : 24, y));
}

} // namespace

QIcon AppIcons::programIcon()
{
    static const QIcon icon = drawnIcon(paintProgram);
    return icon;
}

QIcon AppIcons::disguiseIcon()
{
    static const QIcon icon = drawnIcon(paintDisguise);
    return icon;
}
