#include "FailureReason.h"

#include "HttpProt.h"
#include "SocketErrors.h"

#include <array>

namespace {

// One row a failure: its caption's suffix, its reason when the client gave
// no better words, and whether a retry may help.
struct TFailureRow
{
    TFailure failure;
    const char *caption; // %1: the status
    const char *reason;  // empty: the client's own text
    bool retry;
};

constexpr std::array kFailures{
    TFailureRow{TFailure::None, "", "", false},
    TFailureRow{TFailure::Stopped, "  (Aborted !)", "stopped", false},
    TFailureRow{TFailure::NotFetchable, "  (Not a fetchable URL !)", "the link names no server", false},
    TFailureRow{TFailure::InvalidUrl, "  (Aborted !)", "", false},
    TFailureRow{TFailure::HostNotFound, "  (Aborted !)", "cannot resolve host name", true},
    TFailureRow{TFailure::Refused, "  (Aborted !)", "the server refused the connection", true},
    TFailureRow{TFailure::ConnectTimedOut, "  (Aborted !)", "the server did not answer the connection (timed out)", true},
    TFailureRow{TFailure::Unreachable, "  (Aborted !)", "", true},
    TFailureRow{TFailure::ConnectionBroken, "  (Aborted !)", "the server broke the connection", true},
    TFailureRow{TFailure::Incomplete, "  (Aborted !)", "", true},
    TFailureRow{TFailure::BadResponse, "  (Aborted !)", "", true},
    TFailureRow{TFailure::TooManyRelocations, "  (Aborted !)", "", false},
    TFailureRow{TFailure::Certificate, "  (Certificate error !)", "", false},
    TFailureRow{TFailure::Tls, "  (Aborted !)", "", false},
    TFailureRow{TFailure::TunnelRefused, "  (Aborted !)", "", false},
    TFailureRow{TFailure::WrongRange, "  (Aborted !)", "", false},
    TFailureRow{TFailure::HttpStatus, "  (HTTP error %1 !)", "", false},
    TFailureRow{TFailure::Other, "  (Aborted !)", "", true},
};

const TFailureRow &row(TFailure failure)
{
    for (const TFailureRow &r : kFailures) {
        if (r.failure == failure)
            return r;
    }
    return kFailures.back();
}

bool sayLater(int status)
{
    return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

} // namespace

TFailure FailureOf(int error, int status)
{
    switch (error) {
    case 0:
        return status >= 400 ? TFailure::HttpStatus : TFailure::None;
    case THttpCli::kAborted: return TFailure::Stopped;
    case THttpCli::kInvalidUrl:
    case SocketError::InvalidArgument: return TFailure::InvalidUrl;
    case SocketError::HostNotFound:
    case SocketError::TryAgain:
    case SocketError::NoRecovery:
    case SocketError::NoData: return TFailure::HostNotFound;
    case SocketError::ConnRefused: return TFailure::Refused;
    case SocketError::TimedOut: return TFailure::ConnectTimedOut;
    case 10050:
    case 10051:
    case 10064:
    case 10065: return TFailure::Unreachable;
    case SocketError::ConnReset:
    case SocketError::ConnAborted: return TFailure::ConnectionBroken;
    case THttpCli::kIncompleteResponse: return TFailure::Incomplete;
    case THttpCli::kMalformedStatus:
    case THttpCli::kHeaderTooLarge:
    case THttpCli::kBadFraming: return TFailure::BadResponse;
    case THttpCli::kTooManyRelocations: return TFailure::TooManyRelocations;
    case THttpCli::kCertificateError: return TFailure::Certificate;
    case THttpCli::kTlsError: return TFailure::Tls;
    case THttpCli::kTunnelRefused: return TFailure::TunnelRefused;
    case THttpCli::kWrongRange: return TFailure::WrongRange;
    default: return TFailure::Other;
    }
}

TFailure FailureOf(const THttpReply &result)
{
    return FailureOf(result.error, result.status);
}

QString FailureCaption(TFailure failure, int status)
{
    return QString::fromLatin1(row(failure).caption).arg(status);
}

bool RetryMayHelp(TFailure failure, int status)
{
    return failure == TFailure::HttpStatus ? sayLater(status) : row(failure).retry;
}

QString FailureReason(const THttpReply &result)
{
    const TFailure failure = FailureOf(result);
    switch (failure) {
    case TFailure::None:
        return {};
    case TFailure::HttpStatus: {
        const QString reason = QStringLiteral("HTTP %1").arg(result.status);
        return result.statusText.isEmpty() ? reason : reason + QLatin1Char(' ') + result.statusText;
    }
    case TFailure::HostNotFound:
        return result.host.isEmpty() ? QStringLiteral("cannot resolve host name")
                                     : QStringLiteral("cannot resolve host name \"%1\"").arg(result.host);
    case TFailure::Unreachable:
        return result.error == 10050 || result.error == 10051 ? QStringLiteral("the network is unreachable")
                                                              : QStringLiteral("no route to the server");
    case TFailure::ConnectionBroken:
        if (result.error != SocketError::ConnReset)
            break;
        [[fallthrough]];
    case TFailure::Stopped:
    case TFailure::Refused:
    case TFailure::ConnectTimedOut:
        return QString::fromLatin1(row(failure).reason);
    default:
        break;
    }
    return result.errorText.isEmpty() ? QStringLiteral("error %1").arg(result.error) : result.errorText;
}
