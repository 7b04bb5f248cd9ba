#pragma once

#include "ChunkedDecoder.h"
#include "ExchangeHandler.h"

#include <QByteArray>
#include <QString>

// The connection an HTTP/1.x exchange reads and writes, as plaintext
// (through TLS when it has it). Whoever owns it connects it, tunnels and
// shakes hands on it, keeps it for the next request or closes it.
class TH1Channel
{
public:
    virtual ~TH1Channel() = default;
    // Bytes that came, at most size; 0 when none now (or the channel failed).
    virtual int receive(char *buffer, int size) = 0;
    virtual void send(const char *data, int len) = 0;
    // A body that ends with the connection may have been cut short: TLS
    // closed without its close_notify.
    virtual bool closeMayCut() const = 0;
};

// A request's exchange over HTTP/1.x: the head written as lines, the
// answer read line by line up to its empty line, then the body framed by
// Content-Length, by chunks or by the connection's close. One lives with
// each client and carries its requests in turn.
class TH1Exchange : public TExchangeHandler
{
public:
    static constexpr int kLineBufferSize = 8192;
    static constexpr int kBodyBlockSize = 256 * 1024;

    TH1Exchange(TExchangeSink &sink, TH1Channel &channel);

    // HTTP/1.1 with its kept connections and chunks; else HTTP/1.0.
    void setVersion11(bool on) { m_version11 = on; }
    void send(const TRequestHead &head) override;
    void release() override { reset(); }

    // The channel has bytes: they are read and told to the sink.
    void readAvailable();
    // Nothing of an answer came since the head went out.
    bool nothingCame() const { return m_seen == 0; }
    qint64 bytesSeen() const { return m_seen; }
    // The body arrived whole as its framing says.
    bool complete() const;
    // The connection stands exactly at the end of an answer the server lets
    // us go on after.
    bool reusable() const;
    // Why a close of the connection cut the body short; empty when the body
    // may end there (or none was expected).
    QString closedEarly() const;

private:
    enum class Phase { Status, Fields, Body };

    void reset();
    bool still(quint64 turn) const { return turn == m_turn && m_active && m_sink.answerWanted(); }
    void writeLine(QByteArray &request, QString line);
    void drain();
    void readBody();
    void processHeldLines();
    void HandleHeaderLine(const QByteArray &line);
    void withoutHead(const QByteArray &line);
    // False when the field breaks the framing (the request has failed).
    bool framingField(const QString &name, const QString &value);
    void headEnded();
    bool noBody() const;
    // Body bytes as the connection carries them: through the chunk decoder
    // when the server framed them so.
    void bodyBytes(const char *data, int len);
    void deliver(const char *data, int len, bool placed);
    void finish();
    void fail(int error, const QString &text);

    TExchangeSink &m_sink;
    TH1Channel &m_channel;
    bool m_version11 = false;
    bool m_active = false;
    quint64 m_turn = 0; // each request and each release starts a new one
    bool m_headRequest = false;
    Phase m_phase = Phase::Status;
    QByteArray m_lineBuffer; // kLineBufferSize bytes of received header data
    int m_held = 0;
    QByteArray m_bodyBlock;
    qint64 m_seen = 0;     // bytes received since the head went out
    qint64 m_received = 0; // body bytes told
    int m_status = 0;
    int m_minor = 0; // HTTP/1.<minor> of the answer
    qint64 m_length = -1;
    bool m_lengthSeen = false;
    bool m_chunked = false;
    bool m_lengthAndChunked = false; // both framings named: the connection is not kept
    bool m_serverCloses = false;     // "Connection: close"
    bool m_bytesAfterBody = false;
    TChunkedDecoder m_chunks;
};
