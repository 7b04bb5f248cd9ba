#pragma once

#include "H2Session.h"

#include <QObject>

#include <deque>
#include <memory>

class QTimer;
class TTlsChannel;
class TWSocket;

// What a request on an HTTP/2 connection is told, stream by stream.
class TH2Stream
{
public:
    virtual ~TH2Stream() = default;
    virtual void h2Response(int status, const QList<TH2Session::Field> &fields) = 0;
    virtual void h2Data(const char *data, int len) = 0;
    // 0 when the stream ended whole; else an HTTP/2 error code, or
    // kConnectionLost when the connection itself went.
    virtual void h2Closed(quint32 error) = 0;
};

// One HTTP/2 connection over our socket and TLS, shared by every request to
// its server: requests beyond the server's stream limit wait their turn.
class TH2Connection : public QObject
{
    Q_OBJECT

public:
    static constexpr quint32 kConnectionLost = 0xffffffff;
    static constexpr int kIdleMs = 4000;

    TH2Connection(TWSocket *socket, std::unique_ptr<TTlsChannel> tls, QObject *parent = nullptr);
    ~TH2Connection() override;

    struct TRequest
    {
        QByteArray method, scheme, authority, path;
        QList<TH2Session::Field> fields;
    };
    void request(TH2Stream *user, const TRequest &request);
    // The user hears nothing more; its stream, if open, is cancelled.
    void release(TH2Stream *user);
    // Usable for new requests: connected, not told to go away.
    bool acceptsMore() const;
    // Streams the server would take now beyond those open or waiting.
    int freeStreams() const;

signals:
    // The connection can take no new request (gone, broken, going away).
    void retired();

private:
    void readable();
    void flush();
    void startWaiting();
    void lose(quint32 error);
    void idleCheck();

    TWSocket *m_socket;
    std::unique_ptr<TTlsChannel> m_tls;
    TH2Session m_session;
    QHash<int, TH2Stream *> m_streams;
    std::deque<std::pair<TH2Stream *, TRequest>> m_waiting;
    QTimer *m_idle;
    bool m_lost = false;
};
