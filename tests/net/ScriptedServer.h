#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// An HTTP server on 127.0.0.1 for tests, serving each connection in a thread
// of its own. Each accepted connection has its request read and recorded,
// then plays a script: the one routed to the requested path, else the next
// in order. A script is bytes to send, pauses, and how to end.
struct ssl_ctx_st;

class TScriptedServer
{
public:
    struct Step
    {
        enum Kind { Send, Pause, Close, Reset, Hold, ReadSlowly, SendRepeated, CloseWithoutNotify, NotifyClose, KeepOpen, ReadThenClose, GoAwayOnce } kind;
        QByteArray data;
        int ms = 0;
    };
    using Script = std::vector<Step>;

    static Step send(const QByteArray &data) { return {Step::Send, data, 0}; }
    // The same bytes sent again and again, without holding them all at once.
    static Step repeat(const QByteArray &data, int times) { return {Step::SendRepeated, data, times}; }
    static Step pause(int ms) { return {Step::Pause, {}, ms}; }
    static Step close() { return {Step::Close, {}, 0}; }
    static Step reset() { return {Step::Reset, {}, 0}; }
    // With TLS: the connection ends without close_notify (as when cut off).
    static Step closeWithoutNotify() { return {Step::CloseWithoutNotify, {}, 0}; }
    // With TLS: close_notify alone; the connection stays open.
    static Step notifyClose() { return {Step::NotifyClose, {}, 0}; }
    // Keeps the connection open, answering nothing, until the client leaves.
    static Step hold() { return {Step::Hold, {}, 0}; }
    // The connection stays open for the client's next request, which plays
    // its own script: routed, else the one after the script just played.
    static Step keepOpen() { return {Step::KeepOpen, {}, 0}; }
    // Waits for the client's next request on this connection, then closes
    // without a word: a server that dropped an idle connection under it.
    static Step readThenClose() { return {Step::ReadThenClose, {}, 0}; }
    // Over HTTP/2, the first time a stream plays it: GOAWAY naming the stream
    // before as the last one processed, so this stream and later ones are
    // refused; afterwards the step is passed over.
    static Step goAwayOnce() { return {Step::GoAwayOnce, {}, 0}; }
    // Reads everything the client sends, after a pause, until it closes.
    static Step readSlowly(int pauseMs) { return {Step::ReadSlowly, {}, pauseMs}; }
    // A response sent in one piece, then the close.
    static Script reply(const QByteArray &response) { return {send(response), close()}; }

    enum class Family { Ipv4, Ipv6 };
    // Listens on 127.0.0.1, or on ::1; on the port given, or any free one.
    explicit TScriptedServer(Family family = Family::Ipv4, quint16 port = 0);
    ~TScriptedServer();

    quint16 port() const { return m_port; }
    // Scripts are played in order, one per connection; the last one repeats.
    void addScript(Script script);
    // Every request for this path ("/a/b.htm") plays this script; with routes
    // and no scripts, other paths get a 404 response. Routing a path again
    // replaces its script.
    void route(const QByteArray &path, Script script);
    // A page or file served with a Content-Length header.
    static Script page(const QByteArray &body, const QByteArray &type = "text/html");
    // The same as an HTTP/1.1 server sends it, keeping the connection open.
    static Script page11(const QByteArray &body, const QByteArray &type = "text/html");
    // Whether connections wait for the request's empty line before playing.
    void setReadRequest(bool read) { m_readRequest = read; }
    QList<QByteArray> requests() const;
    // Every connection speaks TLS with this certificate and key (PEM).
    void setTls(const QByteArray &certificate, const QByteArray &key);
    // The application protocols (ALPN) the TLS server accepts, its choice
    // first; none by default. Call after setTls.
    void setAlpn(const QList<QByteArray> &accepted);
    // With ALPN "h2" accepted, connections that choose it are served over
    // HTTP/2: each stream plays its route's script, its response read from
    // the script's bytes (a reset() step resets the stream, hold() leaves it unanswered).
    void setH2StreamLimit(quint32 limit) { m_h2StreamLimit = limit; }
    int h2PeakStreams() const { return m_h2PeakStreams; }
    int failedHandshakes() const;
    int resumedHandshakes() const;
    QByteArray received() const; // what the last holding connection has read so far
    int connections() const { return m_connections; }

    // A port on 127.0.0.1 where nothing listens.
    static quint16 refusedPort();

private:
    void run();
    struct Connection;
    void serve(int fd, int index);
    // True when the script leaves the connection open for another request.
    bool play(Connection &conn, const QByteArray &request, const Script &script);
    QByteArray readRequest(Connection &conn);
    void serveH2(Connection &conn, int index);
    Script scriptFor(const QByteArray &request, int index) const;

    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::vector<std::thread> m_workers; // touched by the accepting thread only
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<bool> m_readRequest{true};
    mutable std::mutex m_mutex;
    std::vector<Script> m_scripts;
    std::vector<std::pair<QByteArray, Script>> m_routes;
    ssl_ctx_st *m_tls = nullptr;
    int m_failedHandshakes = 0;
    int m_resumedHandshakes = 0;
    QList<QByteArray> m_requests;
    QByteArray m_alpn; // accepted protocols in ALPN wire form
    std::atomic<quint32> m_h2StreamLimit{100};
    std::atomic<int> m_h2PeakStreams{0};
    std::atomic<bool> m_wentAway{false};
    QByteArray m_received;
};
