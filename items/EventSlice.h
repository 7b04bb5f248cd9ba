#pragma once

#include <QElapsedTimer>

// Lets pending window events run from inside a long loop, but only once per
// time slice, so the window stays responsive without paying for an event
// dispatch on every character or node.
class TEventSlice
{
public:
    explicit TEventSlice(int sliceMs = 8);

    // Runs pending events when the slice is used up.
    void poll();
    // Runs pending events now and starts a new slice.
    void flush();

private:
    QElapsedTimer m_clock;
    int m_sliceMs;
};
