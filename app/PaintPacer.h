#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Holds a window's repaints to a frame rate while it is busy. During a run
// every finished block and file marks part of the window for repainting, and
// each pass of the event loop painted it anew: on a fast link the window
// spent more on painting than on the transfers. Paints asked for within a
// frame are gathered into one at its end; a window that is not busy paints
// as it always does.
class TPaintPacer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFrameMs = 40;

    TPaintPacer(QWidget *window, std::function<bool()> busy);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    std::function<bool()> m_busy;
    QElapsedTimer m_sinceLastPaint;
    QTimer m_frameEnd;
};
