#pragma once

#include <QString>

struct THttpReply;

// What went wrong with a request, as the user can tell the cases apart.
// The client's error numbers (and the sockets' classic ones) stay in net/;
// above it a failure is one of these.
enum class TFailure {
    None,
    Stopped,            // aborted: "&Stop", a time-out, a size limit
    NotFetchable,       // the link names no server to ask
    InvalidUrl,
    HostNotFound,
    Refused,
    ConnectTimedOut,
    Unreachable,        // no network or no route to the server
    ConnectionBroken,   // reset or lost while it ran
    Incomplete,         // closed before the response was whole
    BadResponse,        // a status line, header or framing no HTTP server sends
    TooManyRelocations,
    Certificate,
    Tls,
    TunnelRefused,      // the proxy would not open the way to an https server
    WrongRange,         // a part of the file that was not asked for, or of another version
    HttpStatus,         // 400 or more
    Other,
};

// The failure of a request that ended with this client error and status.
TFailure FailureOf(int error, int status);
TFailure FailureOf(const THttpReply &result);
// The suffix of a file's caption: "  (Aborted !)", "  (HTTP error 404 !)".
QString FailureCaption(TFailure failure, int status);
// Whether another try may go better: a broken or cut connection, or an
// answer that says "later" or "not now" (408, 429, 500, 502, 503, 504).
bool RetryMayHelp(TFailure failure, int status);

// Why a request failed, in plain words for a status bar or a tooltip:
// "HTTP 404 Not Found", "cannot resolve host name", "the server refused
// the connection". Empty for a request that succeeded.
QString FailureReason(const THttpReply &result);
