// The HTTP client, part: a request on a shared HTTP/2 connection. The
// request's head goes as fields of a stream, the same head HTTP/1.x writes
// as lines; the response's status and fields go through the same handling
// as HTTP/1's, so every event the client tells comes as it does over HTTP/1.
#include "HttpProt.h"

#include "ConnectionPool.h"
#include "TlsChannel.h"
#include "WSocket.h"

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return {};
    }
}

} // namespace

// TLS said h2: the connection goes to the pool, shared, and this request is its first stream.
void THttpCli::becomeH2()
{
    auto *connection = new TH2Connection(detachSocket(), std::move(m_tls));
    m_pool->share(connectionKey(), connection);
    attachSocket(new TWSocket(this));
    m_h2.attach(connection);
    sendRequest();
}

// An HTTP/2 header block goes in as it came: its status and its fields,
// with no status line or header text to be made up and read again. Its
// status has no reason phrase: the status text is the usual one.
void THttpCli::answerHead(int status, const QList<Field> &fields)
{
    const quint64 request = m_requestId;
    if (!headerPartCounted(0))
        return;
    statusReceived(status, QString::fromLatin1(reasonPhrase(status)), 1);
    fieldReceived(QStringLiteral("HTTP/2 %1").arg(status), {}, {});
    for (const Field &field : fields) {
        if (overtaken(request) || m_headerLines == 0)
            return;
        const QString name = QString::fromLatin1(field.first);
        const QString value = QString::fromLatin1(field.second);
        if (!headerPartCounted(field.first.size() + field.second.size() + 2))
            return;
        fieldReceived(name + QLatin1String(": ") + value, name, value); // lower-case names, no blanks around values: HTTP/2 allows no other
    }
    if (!overtaken(request) && m_headerLines > 0)
        headerEnded();
}

void THttpCli::answerBody(const char *data, int len)
{
    if (m_inBody && !m_closeHandled)
        HandleBodyData(data, len);
}

void THttpCli::answerEnded(quint32 error)
{
    if (m_closeHandled || m_state == hcIdle || m_state == hcAborting)
        return;
    const bool nothingCame = m_headerLines == 0 && !m_inBody;
    const bool safeAgain = error == TH2Session::kRefusedStream || error == TH2Connection::kConnectionLost;
    if (error != 0 && safeAgain && nothingCame && !m_freshConnectionOnly) {
        sendAgainOnFreshConnection(); // never processed there
        return;
    }
    if (error != 0) {
        failRequest(kIncompleteResponse, error == TH2Connection::kConnectionLost
                                             ? QStringLiteral("the HTTP/2 connection was lost")
                                             : QStringLiteral("the server reset the HTTP/2 stream (error %1)").arg(error));
        return;
    }
    socketSessionClosed(0); // the end of the stream ends the response, as a close does
}
