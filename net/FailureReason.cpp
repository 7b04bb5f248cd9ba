#include "FailureReason.h"

#include "HttpProt.h"
#include "SocketErrors.h"

QString FailureReason(const THttpResult &result)
{
    if (result.ok())
        return {};
    if (result.error == 0) {
        const QString reason = QStringLiteral("HTTP %1").arg(result.status);
        return result.statusText.isEmpty() ? reason : reason + QLatin1Char(' ') + result.statusText;
    }
    switch (result.error) {
    case SocketError::HostNotFound:
    case SocketError::TryAgain:
    case SocketError::NoRecovery:
    case SocketError::NoData:
        return result.host.isEmpty() ? QStringLiteral("cannot resolve host name")
                                     : QStringLiteral("cannot resolve host name \"%1\"").arg(result.host);
    case SocketError::ConnRefused:
        return QStringLiteral("the server refused the connection");
    case SocketError::TimedOut:
        return QStringLiteral("the server did not answer the connection (timed out)");
    case SocketError::ConnReset:
        return QStringLiteral("the server broke the connection");
    case 10050:
    case 10051:
        return QStringLiteral("the network is unreachable");
    case 10064:
    case 10065:
        return QStringLiteral("no route to the server");
    case THttpCli::kAborted:
        return QStringLiteral("stopped");
    default:
        break;
    }
    return result.errorText.isEmpty() ? QStringLiteral("error %1").arg(result.error) : result.errorText;
}
