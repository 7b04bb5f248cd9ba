// The HTTP client, part: reaching the server - a kept connection from the
// pool, or the resolver's addresses, the first with a head start and the
// other family's beside it when that runs out (happy eyeballs).
#include "HttpProt.h"

#include "ConnectionPool.h"
#include "SocketErrors.h"
#include "TlsChannel.h"
#include "WSocket.h"

#include <QTimer>

#include <utility>

QString THttpCli::connectionKey() const
{
    QString key = (m_useTls ? QStringLiteral("https://") : QStringLiteral("http://")) + m_connectHost.toLower()
                  + QLatin1Char(':') + m_connectPort;
    if (!m_tunnelTarget.isEmpty())
        key += QStringLiteral(" tunnel ") + m_serverHost.toLower() + QLatin1Char(' ') + m_tunnelTarget;
    if (!m_ask.proxy.isEmpty())
        key += QStringLiteral(" as ") + m_ask.proxyUsername;
    return key;
}

bool THttpCli::takePooledConnection()
{
    m_reusedConnection = false;
    if (!m_pool || m_freshConnectionOnly || m_connectOnly)
        return false;
    std::optional<TConnectionPool::TConnection> kept = m_pool->take(connectionKey());
    if (!kept)
        return false;
    replaceSocket(kept->socket);
    m_socket->MultiThreaded = MultiThreaded;
    m_tls = std::move(kept->tls);
    m_reusedConnection = true;
    return true;
}

void THttpCli::pooledConnected()
{
    const quint64 request = m_requestId;
    setState(hcConnecting);
    if (overtaken(request))
        return;
    socketSessionConnected(0);
}

void THttpCli::socketDnsLookupDone(int error)
{
    if (error == 0) {
        const quint64 request = m_requestId;
        setState(hcConnecting);
        if (overtaken(request))
            return;
        // The resolver's first address gets a head start; the first address
        // of the other family, if any, is tried beside it when that runs out.
        const QStringList found = m_socket->DnsResultList();
        const bool firstIsV6 = m_socket->DnsResult().contains(QLatin1Char(':'));
        m_fallbackAddress.clear();
        for (const QString &address : found) {
            if (address.contains(QLatin1Char(':')) != firstIsV6) {
                m_fallbackAddress = address;
                break;
            }
        }
        m_primaryError = 0;
        if (!connectSocket(m_socket, m_socket->DnsResult())) {
            const int code = m_socket->LastError() ? m_socket->LastError() : int(SocketError::InvalidArgument);
            primaryFailed(code, QStringLiteral("can't connect: %1 (Error #%2)").arg(SocketErrorText(code)).arg(code));
            return;
        }
        if (!m_fallbackAddress.isEmpty())
            m_raceTimer->start(kHeadStartMs);
        return;
    }
    if (m_state == hcAborting || m_state == hcIdle)
        return;
    ResponseCode = 404;
    ResponseText = QStringLiteral("can't resolve hostname to IP address");
    failRequest(error, ResponseText);
}

bool THttpCli::connectSocket(TWSocket *socket, const QString &address)
{
    try {
        socket->setAddr(address);
        socket->setPort(m_connectPort);
        socket->setProto(QStringLiteral("tcp"));
        socket->Connect();
    } catch (const ESocketException &) {
        return false; // a refusal leaves no error number behind; still, it failed
    }
    return true;
}

// The first address could not be reached: the other family's goes at once,
// and only when that fails too does the request.
void THttpCli::primaryFailed(int error, const QString &text)
{
    m_raceTimer->stop();
    if (!m_fallbackAddress.isEmpty() || m_raceSocket) {
        m_primaryError = error;
        m_primaryText = text;
        detachSocket(); // its close that follows ends nothing: the other address may still answer
        if (!m_raceSocket)
            startFallback();
        return;
    }
    ResponseCode = 404;
    ResponseText = text;
    failRequest(error, ResponseText);
}

void THttpCli::startFallback()
{
    m_raceTimer->stop();
    const QString address = m_fallbackAddress;
    m_fallbackAddress.clear();
    if (address.isEmpty())
        return;
    m_raceSocket = new TWSocket(this);
    m_raceSocket->MultiThreaded = MultiThreaded;
    m_raceSocket->OnSessionConnected = [this](TWSocket *, int error) { fallbackConnected(error); };
    if (!connectSocket(m_raceSocket, address)) {
        QMetaObject::invokeMethod(
            this,
            [this, racer = m_raceSocket] {
                if (m_raceSocket == racer)
                    fallbackConnected(SocketError::InvalidArgument);
            },
            Qt::QueuedConnection);
    }
}

void THttpCli::fallbackConnected(int error)
{
    TWSocket *racer = m_raceSocket;
    if (!racer)
        return;
    if (error != 0) {
        cancelRace();
        if (m_primaryError != 0) {
            // Both failed: the first address's failure is the one told.
            ResponseCode = 404;
            ResponseText = m_primaryText;
            failRequest(m_primaryError, ResponseText);
        }
        return;
    }
    // The other family won: its connection becomes the client's.
    m_raceSocket = nullptr;
    replaceSocket(racer);
    socketSessionConnected(0);
}

// Another connection becomes the client's; the one it had is closed.
void THttpCli::replaceSocket(TWSocket *next)
{
    TWSocket *previous = detachSocket();
    if (previous->State() != wsClosed)
        previous->Close();
    previous->deleteLater();
    attachSocket(next);
}

void THttpCli::cancelRace()
{
    m_raceTimer->stop();
    m_fallbackAddress.clear();
    if (TWSocket *racer = std::exchange(m_raceSocket, nullptr)) {
        racer->OnSessionConnected = nullptr;
        if (racer->State() != wsClosed)
            racer->Close();
        racer->deleteLater();
    }
}
