#pragma once

#include "HttpExchange.h"

#include <QByteArray>
#include <QString>

// What an exchange handler tells the client of one answer, whatever the
// protocol: its head part by part, its body piece by piece, its end. The
// body is framed by the handler (length, chunks, the end of a stream): the
// client is told the bytes of the body and nothing beyond.
class TExchangeSink
{
public:
    static constexpr quint32 kConnectionLost = 0xffffffff;

    virtual ~TExchangeSink() = default;
    // line: the status line as it came ("HTTP/2 200" where none is sent).
    virtual void answerStatus(int status, const QString &reason, const QString &line) = 0;
    // name in lower case; name and value empty for a line that holds no field.
    virtual void answerField(const QString &line, const QString &name, const QString &value) = 0;
    // lengthFrames: false when a Content-Length among the fields does not
    // say where the body ends (chunks do). An interim (1xx) answer ends its
    // head too, and another answer follows.
    virtual void answerHeadEnded(bool lengthFrames) = 0;
    // The server sent no head at all: the body starts here.
    virtual void answerWithoutHead() = 0;
    // Where up to `size` body bytes may be read straight into; null for none.
    virtual char *answerBodySpace(int size)
    {
        Q_UNUSED(size);
        return nullptr;
    }
    // placed: the bytes already stand where answerBodySpace said.
    virtual void answerBody(const char *data, int len, bool placed = false) = 0;
    // 0 when the answer ended whole; else the protocol's error code, or
    // kConnectionLost when a shared connection went under the stream. Over a
    // connection of the client's own, the client sees its close itself.
    virtual void answerEnded(quint32 error) = 0;
    // The answer broke its protocol's framing: the request fails so.
    virtual void answerFailed(int error, const QString &text) = 0;
    // False once the request ended or went on elsewhere: nothing more is told.
    virtual bool answerWanted() const = 0;
    // A line of a request's head as it is written, the empty last one too;
    // the sink may change it. Only protocols that write lines call it.
    virtual void requestLine(QString &line) { Q_UNUSED(line); }
};

// Carries a request's exchange over a connection: the request's head goes
// in, the answer comes out through the sink. HTTP/1.x (TH1Exchange) has the
// client's connection to itself; HTTP/2 (TH2Exchange) is one stream of a
// connection many clients share; an HTTP/3 handler would carry it on a QUIC
// stream the same way.
class TExchangeHandler
{
public:
    virtual ~TExchangeHandler() = default;
    virtual void send(const TRequestHead &head) = 0;
    // The rest of the exchange is not wanted: the sink hears nothing more.
    virtual void release() = 0;
};
