#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

// The client side of one HTTP/2 connection, as bytes in and bytes out:
// whoever owns the socket (and its TLS) feeds what arrives and sends what
// comes out. Framing, header compression and flow control are nghttp2's;
// the receive windows are large, so that one big file runs at the link's
// speed instead of waiting for window updates every 64 KB.
class TH2Session
{
public:
    using Field = std::pair<QByteArray, QByteArray>;
    struct Events
    {
        // The final response header of a stream (1xx ones are skipped).
        std::function<void(int stream, int status, const QList<Field> &fields)> response;
        std::function<void(int stream, const char *data, int len)> data;
        // The stream ended: 0 when whole, else the HTTP/2 error code (a reset,
        // or REFUSED_STREAM for a stream the server will not process).
        std::function<void(int stream, quint32 error)> closed;
    };

    static constexpr quint32 kRefusedStream = 7; // REFUSED_STREAM: never processed, safe to send again
    static constexpr qint32 kStreamWindow = 16 * 1024 * 1024;
    static constexpr qint32 kConnectionWindow = 64 * 1024 * 1024;
    static constexpr int kMaxHeaderBytes = 256 * 1024;

    explicit TH2Session(Events events);
    ~TH2Session();
    TH2Session(const TH2Session &) = delete;
    TH2Session &operator=(const TH2Session &) = delete;

    // A request with no body; the stream's number, or 0 when it cannot be
    // sent now (the server's stream limit is reached, or it is going away).
    int submit(const QByteArray &method, const QByteArray &scheme, const QByteArray &authority,
               const QByteArray &path, const QList<Field> &fields);
    // Ends a stream this side no longer wants (RST_STREAM CANCEL).
    void cancel(int stream);
    // Bytes from the server; false when they break the protocol (the
    // connection is then beyond use; error() says why).
    bool feed(const char *data, int len);
    // Bytes to send to the server, about kOutgoingStep at most: the caller
    // asks again once they are sent.
    QByteArray takeOutgoing();
    static constexpr qsizetype kOutgoingStep = 64 * 1024;

    bool canSubmit() const;
    int openStreams() const { return m_open; }
    // The server's limit on streams at once (SETTINGS_MAX_CONCURRENT_STREAMS).
    quint32 streamLimit() const;
    // GOAWAY came: no new stream; streams above the last one it names are
    // reported closed with REFUSED_STREAM, to be tried on a new connection.
    bool goingAway() const { return m_goingAway; }
    bool usable() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    struct Callbacks;
    friend struct Callbacks;

    QByteArray drain(qsizetype budget);

    struct Handle;
    std::unique_ptr<Handle> m_session;
    QByteArray m_outgoing; // made while reading, not yet taken
    Events m_events;
    int m_open = 0;
    bool m_goingAway = false;
    QString m_error;
    struct Incoming
    {
        int status = 0;
        QList<Field> fields;
        int bytes = 0;
    };
    QHash<int, Incoming> m_incoming; // the response header being read, per stream
};
