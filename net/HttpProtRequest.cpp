#include "HttpProt.h"

#include "HttpProt_p.h"
#include "TlsChannel.h"
#include "WSocket.h"

#include <QIODevice>

namespace {

// Characters that may not stand raw in a request line are sent %-escaped as UTF-8.
QByteArray requestPathBytes(const QString &path)
{
    const QByteArray utf8 = path.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        const auto u = uchar(c);
        if (u <= 0x20 || u >= 0x7f) {
            out += '%';
            out += QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

using namespace HttpWire;

void THttpCli::sendRequest()
{
    if (m_connectOnly) {
        // Connected (or a stream of a shared HTTP/2 connection is ready):
        // the connection waits in the pool for the request it was made for.
        if (!m_h2 && m_socket->State() == wsConnected)
            parkConnection();
        m_closeHandled = true;
        releaseStream();
        postNotice(Notice::Ready);
        return;
    }
    const quint64 request = m_requestId;
    m_inBody = false;
    setState(hcAwaitingHeader);
    if (overtaken(request))
        return;
    const char *method = m_ask.method == rqPost ? "POST" : m_ask.method == rqHead ? "HEAD" : "GET";
    try {
        BuildRequest(QLatin1String(method));
        if (m_ask.method == rqPost) {
            if (OnSendBegin)
                OnSendBegin(this);
            m_allowSending = true;
            sendPostBlock();
        }
    } catch (...) {
        m_socket->Close();
    }
}

void THttpCli::WriteRequestLine(QByteArray &request, QString line)
{
    if (OnCommand)
        OnCommand(this, line);
    request += line.toUtf8();
    request += "\r\n";
}

void THttpCli::BuildRequest(const QString &method)
{
    QByteArray request;
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    const bool post = method == QLatin1String("POST");
    WriteRequestLine(request, method + QLatin1Char(' ') + QString::fromLatin1(requestPathBytes(m_requestPath))
                                  + (m_pool ? QStringLiteral(" HTTP/1.1") : QStringLiteral(" HTTP/1.0")));
    const THttpRequestData &ask = m_ask;
    if (!ask.sender.isEmpty())
        WriteRequestLine(request, QStringLiteral("From: ") + ask.sender);
    if (!ask.accept.isEmpty())
        WriteRequestLine(request, QStringLiteral("Accept: ") + ask.accept);
    if (!ask.reference.isEmpty())
        WriteRequestLine(request, QStringLiteral("Referer: ") + ask.reference);
    if (post && !ask.contentTypePost.isEmpty())
        WriteRequestLine(request, QStringLiteral("Content-Type: ") + ask.contentTypePost);
    if (!ask.agent.isEmpty())
        WriteRequestLine(request, QStringLiteral("User-Agent: ") + ask.agent);
    // The port belongs in Host whenever it is not the scheme's own.
    WriteRequestLine(request, QStringLiteral("Host: ") + m_serverHost
                                  + (m_serverPort == DefaultPort(m_useTls) ? QString() : QLatin1Char(':') + m_serverPort));
    if (ask.noCache)
        WriteRequestLine(request, QStringLiteral("Pragma: no-cache"));
    if (post)
        WriteRequestLine(request, QStringLiteral("Content-Length: %1").arg(PostStream ? PostStream->size() : 0));
    if (ask.modifiedSince.isValid())
        WriteRequestLine(request, QStringLiteral("If-Modified-Since: ") + FormatHttpDate(ask.modifiedSince)
                                      + QStringLiteral(" GMT"));
    if (!m_authUser.isEmpty())
        WriteRequestLine(request, QStringLiteral("Authorization: Basic ")
                                      + QString::fromLatin1(basicCredentials(m_authUser, m_authPassword)));
    if (!ask.proxy.isEmpty() && !ask.proxyUsername.isEmpty() && !m_useTls) // with TLS it went with CONNECT
        WriteRequestLine(request, QStringLiteral("Proxy-Authorization: Basic ")
                                      + QString::fromLatin1(basicCredentials(ask.proxyUsername, ask.proxyPassword)));
    if (!ask.cookie.isEmpty())
        WriteRequestLine(request, QStringLiteral("Cookie: ") + ask.cookie);
    if (ask.ranged()) {
        WriteRequestLine(request, QStringLiteral("Range: bytes=") + ask.rangeBegin + QLatin1Char('-') + ask.rangeEnd);
        if (!ask.ifRange.isEmpty())
            WriteRequestLine(request, QStringLiteral("If-Range: ") + ask.ifRange);
    }
    m_reply.acceptRanges.clear();
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
    WriteRequestLine(request, QString());
    send(request.constData(), int(request.size()));
}

void THttpCli::send(const char *data, int len)
{
    if (m_h2) {
        sendH2Request(QByteArray(data, len));
        return;
    }
    if (!m_tls) {
        m_socket->Send(data, len);
        return;
    }
    if (!m_tls->write(data, len)) {
        failTls();
        return;
    }
    const QByteArray out = m_tls->takeOutgoing();
    if (!out.isEmpty())
        m_socket->Send(out);
}

int THttpCli::receive(char *buffer, int size)
{
    if (!m_tls)
        return m_socket->Receive(buffer, size);
    int n = m_tls->read(buffer, size);
    if (n == 0 && m_socket->State() == wsConnected) {
        // Nothing whole inside yet: what the network has goes in first.
        const int raw = m_socket->Receive(m_rawBlock.data(), kBodyBlockSize);
        if (raw > 0) {
            m_tls->feed(m_rawBlock.constData(), raw);
            n = m_tls->read(buffer, size);
        }
    }
    if (n < 0) {
        failTls();
        return 0;
    }
    return n;
}

void THttpCli::socketDataSent()
{
    if (m_allowSending)
        sendPostBlock();
}

void THttpCli::sendPostBlock()
{
    char block[8193];
    const qint64 n = PostStream ? PostStream->read(block, sizeof(block)) : 0;
    if (n <= 0) {
        m_allowSending = false;
        if (OnSendEnd)
            OnSendEnd(this);
        return;
    }
    PostedBytes += n;
    if (OnSendData)
        OnSendData(this, block, int(n));
    send(block, int(n));
}
