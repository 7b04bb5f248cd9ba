#include "Lamp.h"

#include <QPainter>

TLamp::TLamp(const QString &caption, const QColor &color, QWidget *parent)
    : QWidget(parent)
    , m_caption(caption)
    , m_color(color)
{
}

QSize TLamp::sizeHint() const
{
    return {15 + fontMetrics().horizontalAdvance(m_caption), 16};
}

void TLamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = isEnabled() ? m_color : m_color.darker(260);
    const QRectF bulb(1.5, (height() - 9) / 2.0, 9, 9);
    QRadialGradient shine(bulb.center() - QPointF(1.5, 1.5), 6);
    shine.setColorAt(0, isEnabled() ? fill.lighter(170) : fill);
    shine.setColorAt(1, fill);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(shine);
    p.drawEllipse(bulb);
    if (m_caption.size() > 1 || width() > 14) {
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(QRect(13, 0, width() - 13, height()), Qt::AlignVCenter | Qt::AlignLeft, m_caption);
    }
}
