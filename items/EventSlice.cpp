#include "EventSlice.h"

#include <QCoreApplication>

TEventSlice::TEventSlice(int sliceMs)
    : m_sliceMs(sliceMs)
{
    m_clock.start();
}

void TEventSlice::poll()
{
    if (m_clock.elapsed() >= m_sliceMs)
        flush();
}

void TEventSlice::flush()
{
    QCoreApplication::processEvents();
    m_clock.restart();
}
