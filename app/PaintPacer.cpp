#include "PaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

TPaintPacer::TPaintPacer(QWidget *window, std::function<bool()> busy)
    : QObject(window)
    , m_window(window)
    , m_busy(std::move(busy))
{
    m_sinceLastPaint.start();
    m_frameEnd.setSingleShot(true);
    connect(&m_frameEnd, &QTimer::timeout, this, [this] {
        // The request held back: the window's paints wait for it still.
        QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    window->installEventFilter(this);
}

bool TPaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    const qint64 since = m_sinceLastPaint.elapsed();
    if (since < kFrameMs && m_busy()) {
        if (!m_frameEnd.isActive())
            m_frameEnd.start(int(kFrameMs - since));
        return true;
    }
    m_frameEnd.stop();
    m_sinceLastPaint.restart();
    return false;
}
