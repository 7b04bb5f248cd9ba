#include "H2Exchange.h"

namespace {

bool connectionSpecific(const QByteArray &name)
{
    return name == "host" || name == "connection" || name == "keep-alive" || name == "proxy-connection"
           || name == "transfer-encoding" || name == "upgrade";
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

void TH2Exchange::h2Response(int status, const QList<TH2Session::Field> &fields)
{
    m_sink.answerHead(status, fields);
}

void TH2Exchange::h2Data(const char *data, int len)
{
    m_sink.answerBody(data, len);
}

void TH2Exchange::h2Closed(quint32 error)
{
    m_connection = nullptr; // the connection has let go of this stream
    m_sink.answerEnded(error);
}
