#pragma once

#include "ShownPictures.h"

#include <memory>

// Reads a page as a browser parses it on a thread of its own, so that the
// window goes on while a big page is parsed. The reader may be left before
// the read ends (Stop, the window closing): the read then ends unheard.
class TPageReader
{
public:
    TPageReader(const QByteArray &page, int maxFinds, qsizetype maxValue);
    ~TPageReader();
    TPageReader(const TPageReader &) = delete;
    TPageReader &operator=(const TPageReader &) = delete;

    // True once the read has ended; waits up to ms for it.
    bool wait(int ms);
    // What the read found; only once wait() said it ended.
    TShownPage take();

private:
    struct State;
    std::shared_ptr<State> m_state;
};
