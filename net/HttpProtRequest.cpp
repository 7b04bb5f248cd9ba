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
        if (!m_h2.connection() && m_socket->State() == wsConnected)
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

// The head's lines as HTTP/1.x writes them: OnCommand sees (and may
// change) each one, and the head's end is told before its empty line.
void THttpCli::requestLine(QString &line)
{
    if (line.isEmpty() && OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
    if (OnCommand)
        OnCommand(this, line);
}

TRequestHead THttpCli::requestHead(const QByteArray &method) const
{
    const THttpRequestData &ask = m_ask;
    const bool post = method == "POST";
    TRequestHead head;
    head.method = method;
    head.target = requestPathBytes(m_requestPath);
    // The port belongs in Host whenever it is not the scheme's own.
    head.host = (m_serverHost + (m_serverPort == DefaultPort(m_useTls) ? QString() : QLatin1Char(':') + m_serverPort)).toUtf8();
    auto field = [&head](const char *name, const QString &value) { head.fields.append({name, value.toUtf8()}); };
    if (!ask.sender.isEmpty())
        field("From", ask.sender);
    if (!ask.accept.isEmpty())
        field("Accept", ask.accept);
    if (!ask.reference.isEmpty())
        field("Referer", ask.reference);
    if (post && !ask.contentTypePost.isEmpty())
        field("Content-Type", ask.contentTypePost);
    if (!ask.agent.isEmpty())
        field("User-Agent", ask.agent);
    head.fields.append({"Host", head.host});
    if (ask.noCache)
        field("Pragma", QStringLiteral("no-cache"));
    if (post)
        field("Content-Length", QString::number(PostStream ? PostStream->size() : 0));
    if (ask.modifiedSince.isValid())
        field("If-Modified-Since", FormatHttpDate(ask.modifiedSince) + QStringLiteral(" GMT"));
    if (!m_authUser.isEmpty())
        field("Authorization", QStringLiteral("Basic ") + QString::fromLatin1(basicCredentials(m_authUser, m_authPassword)));
    if (!ask.proxy.isEmpty() && !ask.proxyUsername.isEmpty() && !m_useTls) // with TLS it went with CONNECT
        field("Proxy-Authorization",
              QStringLiteral("Basic ") + QString::fromLatin1(basicCredentials(ask.proxyUsername, ask.proxyPassword)));
    if (!ask.cookie.isEmpty())
        field("Cookie", ask.cookie);
    if (ask.ranged()) {
        field("Range", QStringLiteral("bytes=") + ask.rangeBegin + QLatin1Char('-') + ask.rangeEnd);
        if (!ask.ifRange.isEmpty())
            field("If-Range", ask.ifRange);
    }
    return head;
}

void THttpCli::BuildRequest(const QString &method)
{
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    const TRequestHead head = requestHead(method.toLatin1());
    m_reply.acceptRanges.clear();
    if (m_h2.connection()) {
        // A stream of an HTTP/2 connection: the head goes as fields, never as text.
        if (OnRequestHeaderEnd)
            OnRequestHeaderEnd(this);
        m_h2.send(head);
        return;
    }
    m_h1.setVersion11(m_pool != nullptr);
    m_h1.send(head);
}

void THttpCli::send(const char *data, int len)
{
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

bool THttpCli::closeMayCut() const
{
    return m_tls && !m_tls->closeNotifyReceived();
}

int THttpCli::receive(char *buffer, int size)
{
    if (!m_tls)
        return m_socket->Receive(buffer, size);
    int n = m_tls->read(buffer, size);
    if (n == 0 && m_socket->State() == wsConnected) {
        // Nothing whole inside yet: what the network has goes in first.
        const int raw = m_socket->Receive(m_rawBlock.data(), kRawBlockSize);
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
