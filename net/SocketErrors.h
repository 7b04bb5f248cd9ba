#pragma once

#include <QString>

// Socket errors are reported with the classic sockets error numbers
// (10061 connection refused, 11001 host not found, ...), whatever the
// platform's own numbers are.
namespace SocketError {
enum : int {
    NoError = 0,
    Interrupted = 10004,
    InvalidArgument = 10022,
    WouldBlock = 10035,
    InProgress = 10036,
    NotSocket = 10038,
    ConnAborted = 10053,
    ConnReset = 10054,
    NotConnected = 10057,
    TimedOut = 10060,
    ConnRefused = 10061,
    HostNotFound = 11001,
    TryAgain = 11002,
    NoRecovery = 11003,
    NoData = 11004,
};
}

// The text of a sockets error number.
QString SocketErrorText(int code);
// The sockets error number of a POSIX errno value.
int SocketErrorFromErrno(int error);
