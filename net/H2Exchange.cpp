#include "H2Exchange.h"

#include "HttpProt_p.h"
#include "HttpResponseHead.h"

namespace {

bool connectionSpecific(const QByteArray &name)
{
    return name == "host" || name == "connection" || name == "keep-alive" || name == "proxy-connection"
           || name == "transfer-encoding" || name == "upgrade";
}

// HTTP/2 sends no reason phrase: the status text is the usual one.
QString reasonPhrase(int status)
{
    switch (status) {
    case 200: return QStringLiteral("OK");
    case 206: return QStringLiteral("Partial Content");
    case 301: return QStringLiteral("Moved Permanently");
    case 302: return QStringLiteral("Found");
    case 303: return QStringLiteral("See Other");
    case 304: return QStringLiteral("Not Modified");
    case 307: return QStringLiteral("Temporary Redirect");
    case 308: return QStringLiteral("Permanent Redirect");
    case 400: return QStringLiteral("Bad Request");
    case 401: return QStringLiteral("Unauthorized");
    case 403: return QStringLiteral("Forbidden");
    case 404: return QStringLiteral("Not Found");
    case 429: return QStringLiteral("Too Many Requests");
    case 500: return QStringLiteral("Internal Server Error");
    case 502: return QStringLiteral("Bad Gateway");
    case 503: return QStringLiteral("Service Unavailable");
    default: return {};
    }
}

} // namespace

static_assert(TExchangeSink::kConnectionLost == TH2Connection::kConnectionLost);

TH2Exchange::TH2Exchange(TExchangeSink &sink)
    : m_sink(sink)
{
}

TH2Exchange::~TH2Exchange()
{
    release();
}

void TH2Exchange::send(const TRequestHead &head)
{
    m_headRequest = head.method == "HEAD";
    m_length = -1;
    m_received = 0;
    TH2Connection::TRequest stream;
    stream.scheme = "https";
    stream.method = head.method;
    stream.path = head.target;
    stream.authority = head.host;
    for (const auto &[name, value] : head.fields) {
        const QByteArray lower = name.toLower(); // HTTP/2 allows no other
        if (!connectionSpecific(lower))
            stream.fields.append({lower, value.trimmed()});
    }
    m_connection->request(this, stream);
}

void TH2Exchange::release()
{
    if (TH2Connection *connection = m_connection.data()) {
        m_connection = nullptr;
        connection->release(this);
    }
}

// A header block goes in as it came: its status and its fields, with no
// status line or header text made up and read again.
void TH2Exchange::h2Response(int status, const QList<TH2Session::Field> &fields)
{
    m_sink.answerStatus(status, reasonPhrase(status), QStringLiteral("HTTP/2 %1").arg(status));
    for (const TH2Session::Field &field : fields) {
        if (!wanted())
            return;
        // Lower-case names and no blanks around values: HTTP/2 allows no other.
        const QString name = QString::fromLatin1(field.first);
        const QString value = QString::fromLatin1(field.second);
        if (name == QLatin1String("content-length"))
            m_length = std::max<qint64>(ParseContentLength(value), -1);
        m_sink.answerField(name + QLatin1String(": ") + value, name, value);
    }
    if (!wanted())
        return;
    m_sink.answerHeadEnded(true);
    if (HttpWire::isInterim(status)) {
        m_length = -1;
        return;
    }
    if (wanted() && (HttpWire::hasNoBody(m_headRequest ? rqHead : rqGet, status) || m_length == 0))
        m_sink.answerEnded(0);
}

void TH2Exchange::h2Data(const char *data, int len)
{
    // The body ends at its length; the stream's end is not waited for.
    if (m_length >= 0)
        len = int(std::min<qint64>(len, m_length - m_received));
    if (len <= 0)
        return;
    m_received += len;
    m_sink.answerBody(data, len);
    if (wanted() && m_length >= 0 && m_received >= m_length)
        m_sink.answerEnded(0);
}

void TH2Exchange::h2Closed(quint32 error)
{
    m_connection = nullptr; // the connection has let go of this stream
    m_sink.answerEnded(error);
}
