#pragma once

#include "ExchangeHandler.h"
#include "H2Connection.h"

#include <QPointer>

// A request's exchange as a stream of a shared HTTP/2 connection. One lives
// with each client and carries its requests in turn, each on the connection
// it is attached to.
class TH2Exchange : public TExchangeHandler, private TH2Stream
{
public:
    explicit TH2Exchange(TExchangeSink &sink);
    ~TH2Exchange() override;

    // The connection the next request goes on; null when there is none.
    void attach(TH2Connection *connection) { m_connection = connection; }
    TH2Connection *connection() const { return m_connection; }

    void send(const TRequestHead &head) override;
    void release() override;

private:
    void h2Response(int status, const QList<TH2Session::Field> &fields) override;
    void h2Data(const char *data, int len) override;
    void h2Closed(quint32 error) override;

    bool wanted() const { return m_connection && m_sink.answerWanted(); }

    TExchangeSink &m_sink;
    QPointer<TH2Connection> m_connection;
    bool m_headRequest = false;
    qint64 m_length = -1; // the body's, from Content-Length
    qint64 m_received = 0;
};
