#include "TreeIcons.h"

#include "DataRec.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPixmap blankPixmap(int width, int height, qreal dpr)
{
    QPixmap pixmap(qRound(width * dpr), qRound(height * dpr));
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void drawPage(QPainter &p, const QColor &fill)
{
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(fill);
    p.drawPath(page);
    p.drawLine(QPointF(10, 1.5), QPointF(10, 5));
    p.drawLine(QPointF(10, 5), QPointF(13.5, 5));
}

void drawGlobe(QPainter &p, const QColor &fill)
{
    p.setPen(QPen(fill.darker(170), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 12, 12));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(4.5, 1.5, 6, 12));
    p.drawLine(QPointF(1.5, 7.5), QPointF(13.5, 7.5));
}

void drawTick(QPainter &p, const QColor &colour, const QRectF &box)
{
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(box.left(), box.center().y());
    tick.lineTo(box.left() + box.width() * 0.4, box.bottom());
    tick.lineTo(box.right(), box.top());
    p.drawPath(tick);
}

void drawCross(QPainter &p, const QColor &colour, const QRectF &box)
{
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
}

} // namespace

QPixmap TTreeIcons::itemIcon(TreeIcon icon, qreal dpr)
{
    QPixmap pixmap = blankPixmap(kIconSize, kIconSize, dpr);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF badge(8.5, 8.5, 6, 6);
    switch (icon) {
    case TreeIcon::Busy: // hourglass
        p.setPen(QPen(QColor(120, 70, 0), 1));
        p.setBrush(QColor(255, 190, 40));
        p.drawPolygon(QPolygonF({{3.5, 1.5}, {12.5, 1.5}, {8, 8}, {12.5, 14.5}, {3.5, 14.5}, {8, 8}}));
        break;
    case TreeIcon::FileNew:
        drawPage(p, Qt::white);
        break;
    case TreeIcon::FileFailed:
        drawPage(p, QColor(250, 235, 235));
        drawCross(p, QColor(200, 20, 20), badge);
        break;
    case TreeIcon::FileStored:
        drawPage(p, QColor(220, 235, 255));
        drawTick(p, QColor(0, 140, 0), badge);
        break;
    case TreeIcon::LinkNew:
        drawGlobe(p, QColor(110, 160, 230));
        break;
    case TreeIcon::LinkFailed:
        drawGlobe(p, QColor(200, 200, 200));
        drawCross(p, QColor(200, 20, 20), badge);
        break;
    case TreeIcon::LinkParsed:
        drawGlobe(p, QColor(110, 200, 120));
        drawTick(p, QColor(0, 110, 0), badge);
        break;
    case TreeIcon::Root: // folder
        p.setPen(QPen(QColor(150, 110, 0), 1));
        p.setBrush(QColor(250, 210, 80));
        p.drawPolygon(QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {14.5, 5}, {14.5, 13.5}, {1.5, 13.5}}));
        break;
    default:
        break;
    }
    return pixmap;
}

QPixmap TTreeIcons::checkPicture(int state, qreal dpr)
{
    QPixmap pixmap = blankPixmap(kIconSize, kIconSize, dpr);
    if (state != StateUnchecked && state != StateChecked && state != StateDone)
        return pixmap;
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(2.5, 2.5, 11, 11);
    const bool done = state == StateDone;
    p.setPen(QPen(done ? QColor(170, 170, 170) : QColor(60, 60, 60), 1));
    p.setBrush(done ? QColor(215, 215, 215) : QColor(Qt::white));
    p.drawRect(box);
    if (state == StateChecked)
        drawTick(p, QColor(0, 0, 0), box.adjusted(2.5, 2.5, -2.5, -2.5));
    return pixmap;
}

QPixmap TTreeIcons::composed(int state, TreeIcon icon, qreal dpr)
{
    const QSize size = decorationSize();
    QPixmap pixmap = blankPixmap(size.width(), size.height(), dpr);
    QPainter p(&pixmap);
    p.drawPixmap(0, 0, checkPicture(state, dpr));
    p.drawPixmap(kIconSize + kGap, 0, itemIcon(icon, dpr));
    return pixmap;
}

QIcon TTreeIcons::compose(int state, TreeIcon icon, TreeIcon selectedIcon)
{
    const int key = ((state + 1) << 8) | (int(icon) << 4) | int(selectedIcon);
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    QIcon result;
    for (qreal dpr : {1.0, 2.0}) {
        result.addPixmap(composed(state, icon, dpr), QIcon::Normal);
        result.addPixmap(composed(state, selectedIcon, dpr), QIcon::Selected);
    }
    m_cache.insert(key, result);
    return result;
}
