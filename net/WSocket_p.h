#pragma once

// Timing rules and helpers the socket's source files share.

#include "SocketErrors.h"

#include <QtGlobal>

#include <cerrno>

namespace WSocketRules {

constexpr int kStallPollMs = 50;
// Read at most this much per readiness before the event loop runs again, so
// a fast transfer never freezes the window and other sockets get their turn.
constexpr qint64 kReadBudget = 1024 * 1024;

// Runs a handler from a copy: a handler may replace itself, or hand the
// socket to another owner who sets its own, while it runs.
template <typename Handler, typename... Args>
void runHandler(const Handler &handler, Args... args)
{
    if (handler) {
        const Handler copy = handler;
        copy(args...);
    }
}

inline int lastSocketError()
{
    return SocketErrorFromErrno(errno);
}

} // namespace WSocketRules
