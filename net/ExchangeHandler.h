#pragma once

#include "HttpExchange.h"

#include <QByteArray>
#include <QList>

#include <utility>

// What an exchange handler tells the client of one answer, whatever the
// protocol: its head as a status and fields, the body piece by piece, the end.
class TExchangeSink
{
public:
    using Field = std::pair<QByteArray, QByteArray>;
    static constexpr quint32 kConnectionLost = 0xffffffff;

    virtual ~TExchangeSink() = default;
    virtual void answerHead(int status, const QList<Field> &fields) = 0;
    virtual void answerBody(const char *data, int len) = 0;
    // 0 when the answer ended whole; else the protocol's error code, or
    // kConnectionLost when the connection itself went.
    virtual void answerEnded(quint32 error) = 0;
};

// Carries a request's exchange as one stream of a connection that many
// requests share: the request's head goes in, the answer comes out through
// the sink. HTTP/2 is one (TH2Exchange); an HTTP/3 handler would carry the
// exchange on a QUIC stream the same way. An HTTP/1.x exchange has its
// connection to itself and is read by the client, line by line.
class TExchangeHandler
{
public:
    virtual ~TExchangeHandler() = default;
    virtual void send(const TRequestHead &head) = 0;
    // The rest of the exchange is not wanted: the sink hears nothing more.
    virtual void release() = 0;
};
