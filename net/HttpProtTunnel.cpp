#include "HttpProt.h"

#include "ConnectionPool.h"
#include "HttpProt_p.h"
#include "TlsChannel.h"
#include "WSocket.h"

using namespace HttpWire;

void THttpCli::sendConnect()
{
    m_tunnelPending = true;
    m_tunnelHeader.clear();
    QByteArray connect = "CONNECT " + m_tunnelTarget.toUtf8() + " HTTP/1.0\r\nHost: " + m_tunnelTarget.toUtf8() + "\r\n";
    if (!m_ask.agent.isEmpty())
        connect += "User-Agent: " + m_ask.agent.toUtf8() + "\r\n";
    if (!m_ask.proxyUsername.isEmpty())
        connect += "Proxy-Authorization: Basic " + basicCredentials(m_ask.proxyUsername, m_ask.proxyPassword) + "\r\n";
    m_socket->Send(connect + "\r\n");
}

// The proxy's answer to CONNECT, read up to its empty line; what follows is the server's.
void THttpCli::readTunnelAnswer()
{
    char block[4096];
    const int n = m_socket->Receive(block, sizeof(block));
    if (n <= 0)
        return;
    m_tunnelHeader.append(block, n);
    const qsizetype end = m_tunnelHeader.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_tunnelHeader.size() > kMaxHeaderBytes)
            failRequest(kHeaderTooLarge, QStringLiteral("proxy answer too large"));
        return;
    }
    const QByteArray statusLine = m_tunnelHeader.left(m_tunnelHeader.indexOf("\r\n"));
    const QByteArray rest = m_tunnelHeader.mid(end + 4);
    m_tunnelPending = false;
    m_tunnelHeader.clear();
    const QList<QByteArray> words = statusLine.split(' ');
    const int status = words.value(1).toInt();
    if (!statusLine.startsWith("HTTP/1.") || status < 200 || status > 299) {
        ResponseCode = status >= 400 ? status : 404;
        ResponseText = QString::fromLatin1(statusLine.mid(statusLine.indexOf(' ', 9) + 1));
        failRequest(kTunnelRefused, QStringLiteral("the proxy refused the tunnel: ") + QString::fromLatin1(statusLine));
        return;
    }
    startTls();
    if (m_tls && !rest.isEmpty()) {
        m_tls->feed(rest.constData(), int(rest.size()));
        driveHandshake();
    }
}

void THttpCli::startTls()
{
    const QString port = m_tunnelTarget.isEmpty() ? m_connectPort : m_tunnelTarget.section(QLatin1Char(':'), -1);
    m_tls = std::make_unique<TTlsChannel>(m_serverHost, port);
    if (m_pool && m_ask.method != rqPost)
        m_tls->offerProtocols({"h2", "http/1.1"});
    driveHandshake();
}

void THttpCli::driveHandshake()
{
    const TTlsChannel::Step step = m_tls->handshake();
    if (step == TTlsChannel::Done) {
        if (m_pool && m_tls->negotiatedProtocol() == "h2") {
            m_socket->Send(m_tls->takeOutgoing()); // the handshake's end, before the connection is shared
            becomeH2();
            return;
        }
        // The handshake's last flight leaves in one write with the request.
        sendRequest();
        return;
    }
    const QByteArray out = m_tls->takeOutgoing();
    if (!out.isEmpty() && m_socket->State() == wsConnected)
        m_socket->Send(out);
    if (step == TTlsChannel::Failed)
        failTls();
}

// TLS said h2: the connection goes to the pool, shared, and this request is its first stream.
void THttpCli::becomeH2()
{
    auto *connection = new TH2Connection(detachSocket(), std::move(m_tls));
    m_pool->share(connectionKey(), connection);
    attachSocket(new TWSocket(this));
    m_h2.attach(connection);
    sendRequest();
}

void THttpCli::failTls()
{
    failRequest(m_tls->certificateFailed() ? kCertificateError : kTlsError, m_tls->errorText());
}
