#include "ScriptedServer.h"

#include <QHash>

#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <nghttp2/nghttp2.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSliceMs = 20;
constexpr int kRequestTimeoutMs = 3000;
constexpr int kHoldLimitMs = 20000;

bool waitReadable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

} // namespace

TScriptedServer::TScriptedServer(Family family, quint16 port)
{
    // OpenSSL writes to the connection with write(): a client that has gone
    // must end that connection's thread, not the whole test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    const bool v6 = family == Family::Ipv6;
    m_listen = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_storage address{};
    socklen_t len = 0;
    if (v6) {
        setsockopt(m_listen, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
        auto *a = reinterpret_cast<sockaddr_in6 *>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        a->sin6_port = htons(port);
        len = sizeof(sockaddr_in6);
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&address);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a->sin_port = htons(port);
        len = sizeof(sockaddr_in);
    }
    ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), len);
    ::listen(m_listen, 16);
    getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &len);
    m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port
                      : reinterpret_cast<sockaddr_in *>(&address)->sin_port);
    m_thread = std::thread([this] { run(); });
}

TScriptedServer::~TScriptedServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
    if (m_tls)
        SSL_CTX_free(m_tls);
}

int TScriptedServer::failedHandshakes() const
{
    std::lock_guard lock(m_mutex);
    return m_failedHandshakes;
}

int TScriptedServer::resumedHandshakes() const
{
    std::lock_guard lock(m_mutex);
    return m_resumedHandshakes;
}

quint16 TScriptedServer::refusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    socklen_t len = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &len);
    ::close(fd);
    return ntohs(address.sin_port);
}

void TScriptedServer::addScript(Script script)
{
    std::lock_guard lock(m_mutex);
    m_scripts.push_back(std::move(script));
}

void TScriptedServer::route(const QByteArray &path, Script script)
{
    std::lock_guard lock(m_mutex);
    for (auto &route : m_routes) {
        if (route.first == path) {
            route.second = std::move(script); // the next requests play the new one
            return;
        }
    }
    m_routes.emplace_back(path, std::move(script));
}

TScriptedServer::Script TScriptedServer::page(const QByteArray &body, const QByteArray &type)
{
    return reply("HTTP/1.0 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

TScriptedServer::Script TScriptedServer::page11(const QByteArray &body, const QByteArray &type)
{
    return {send("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\n\r\n" + body),
            keepOpen()};
}

TScriptedServer::Script TScriptedServer::scriptFor(const QByteArray &request, int index) const
{
    std::lock_guard lock(m_mutex);
    const QByteArray path = request.left(request.indexOf('\r')).split(' ').value(1);
    for (const auto &[routed, script] : m_routes) {
        if (routed == path)
            return script;
    }
    if (m_scripts.empty())
        return m_routes.empty() ? Script{} : reply("HTTP/1.0 404 Not Found\r\n\r\nnot here");
    return m_scripts[std::min<size_t>(size_t(index), m_scripts.size() - 1)];
}

QList<QByteArray> TScriptedServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QByteArray TScriptedServer::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

void TScriptedServer::run()
{
    while (!m_stop) {
        if (!waitReadable(m_listen, kSliceMs))
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // As servers do on kept connections (nginx's tcp_nodelay): a small
        // last piece of a response is not held back for an acknowledgement.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        const int index = m_connections++;
        m_workers.emplace_back([this, fd, index] {
            serve(fd, index);
            ::close(fd);
        });
    }
    for (std::thread &worker : m_workers)
        worker.join();
}

// One accepted connection, plain or inside TLS.
struct TScriptedServer::Connection
{
    int fd = -1;
    SSL *ssl = nullptr;

    ~Connection()
    {
        if (ssl)
            SSL_free(ssl);
    }
    bool readable(int ms) const { return (ssl && SSL_pending(ssl) > 0) || waitReadable(fd, ms); }
    ssize_t receive(char *buffer, size_t size)
    {
        if (ssl) {
            const int n = SSL_read(ssl, buffer, int(size));
            return n > 0 ? n : (SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
        }
        return ::recv(fd, buffer, size, 0);
    }
    bool sendAll(const QByteArray &data)
    {
        qsizetype sent = 0;
        while (sent < data.size()) {
            const qsizetype left = data.size() - sent;
            const ssize_t n = ssl ? SSL_write(ssl, data.constData() + sent, int(left))
                                  : ::send(fd, data.constData() + sent, size_t(left), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }
};

void TScriptedServer::setAlpn(const QList<QByteArray> &accepted)
{
    std::lock_guard lock(m_mutex);
    m_alpn.clear();
    for (const QByteArray &name : accepted)
        m_alpn += char(name.size()) + name;
    SSL_CTX_set_alpn_select_cb(
        m_tls,
        [](SSL *, const unsigned char **out, unsigned char *outlen, const unsigned char *in, unsigned int inlen,
           void *arg) {
            const QByteArray &mine = *static_cast<const QByteArray *>(arg);
            unsigned char *chosen = nullptr;
            const int rc = SSL_select_next_proto(&chosen, outlen, reinterpret_cast<const unsigned char *>(mine.constData()),
                                                 unsigned(mine.size()), in, inlen);
            *out = chosen;
            return rc == OPENSSL_NPN_NEGOTIATED ? SSL_TLSEXT_ERR_OK : SSL_TLSEXT_ERR_NOACK;
        },
        &m_alpn);
}

void TScriptedServer::setTls(const QByteArray &certificate, const QByteArray &key)
{
    std::lock_guard lock(m_mutex);
    if (m_tls)
        SSL_CTX_free(m_tls);
    m_tls = SSL_CTX_new(TLS_server_method());
    BIO *certBio = BIO_new_mem_buf(certificate.constData(), int(certificate.size()));
    X509 *cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    BIO *keyBio = BIO_new_mem_buf(key.constData(), int(key.size()));
    EVP_PKEY *pkey = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    SSL_CTX_use_certificate(m_tls, cert);
    SSL_CTX_use_PrivateKey(m_tls, pkey);
    X509_free(cert);
    EVP_PKEY_free(pkey);
    BIO_free(certBio);
    BIO_free(keyBio);
}

void TScriptedServer::serve(int fd, int index)
{
    Connection conn;
    conn.fd = fd;
    SSL_CTX *tls = nullptr;
    {
        std::lock_guard lock(m_mutex);
        tls = m_tls;
    }
    if (tls) {
        // A client that never finishes the handshake must not hold the thread for good.
        timeval limit{3, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        conn.ssl = SSL_new(tls);
        SSL_set_fd(conn.ssl, fd);
        if (SSL_accept(conn.ssl) != 1) {
            std::lock_guard lock(m_mutex);
            ++m_failedHandshakes;
            return;
        }
        if (SSL_session_reused(conn.ssl)) {
            std::lock_guard lock(m_mutex);
            ++m_resumedHandshakes;
        }
        const unsigned char *protocol = nullptr;
        unsigned int length = 0;
        SSL_get0_alpn_selected(conn.ssl, &protocol, &length);
        if (QByteArray(reinterpret_cast<const char *>(protocol), int(length)) == "h2") {
            serveH2(conn, index);
            return;
        }
    }
    QByteArray request = m_readRequest ? readRequest(conn) : QByteArray();
    int next = index;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            m_requests << request;
        }
        if (!play(conn, request, scriptFor(request, next)) || m_stop)
            return;
        request = readRequest(conn);
        if (request.isEmpty())
            return; // the client closed or went quiet
        ++next; // in order: the scripts after this connection's first
    }
}

QByteArray TScriptedServer::readRequest(Connection &conn)
{
    QByteArray request;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
    while (!request.contains("\r\n\r\n") && std::chrono::steady_clock::now() < deadline && !m_stop) {
        if (!conn.readable(kSliceMs))
            continue;
        char buffer[4096];
        const ssize_t n = conn.receive(buffer, sizeof(buffer));
        if (n <= 0)
            break;
        request.append(buffer, n);
    }
    return request;
}

bool TScriptedServer::play(Connection &conn, const QByteArray &request, const Script &script)
{
    const int fd = conn.fd;
    for (const Step &step : script) {
        switch (step.kind) {
        case Step::Send:
        case Step::SendRepeated: {
            const int times = step.kind == Step::Send ? 1 : step.ms;
            for (int i = 0; i < times; ++i) {
                if (!conn.sendAll(step.data))
                    return false;
            }
            break;
        }
        case Step::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            break;
        case Step::KeepOpen:
            return true;
        case Step::ReadThenClose: {
            const QByteArray unanswered = readRequest(conn);
            std::lock_guard lock(m_mutex);
            m_requests << unanswered;
            return false;
        }
        case Step::NotifyClose:
            if (conn.ssl)
                SSL_shutdown(conn.ssl);
            break;
        case Step::Close:
        case Step::CloseWithoutNotify:
            if (conn.ssl && step.kind == Step::Close)
                SSL_shutdown(conn.ssl); // the TLS end of the body: close_notify
            ::shutdown(fd, SHUT_WR);
            // Let the client read what was sent before the socket goes.
            for (int waited = 0; waited < kRequestTimeoutMs && !m_stop; waited += kSliceMs) {
                if (waitReadable(fd, kSliceMs)) {
                    char buffer[4096];
                    if (::recv(fd, buffer, sizeof(buffer), 0) <= 0)
                        break;
                }
            }
            return false;
        case Step::Reset: {
            linger option{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof(option));
            return false;
        }
        case Step::Hold:
        case Step::ReadSlowly: {
            if (step.kind == Step::ReadSlowly)
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
            {
                std::lock_guard lock(m_mutex);
                m_received = request;
            }
            for (int waited = 0; waited < kHoldLimitMs && !m_stop; ) {
                if (!conn.readable(kSliceMs)) {
                    waited += kSliceMs;
                    continue;
                }
                char buffer[65536];
                const ssize_t n = conn.receive(buffer, sizeof(buffer));
                if (n <= 0)
                    break;
                std::lock_guard lock(m_mutex);
                m_received.append(buffer, n);
            }
            return false;
        }
        case Step::GoAwayOnce:
            break; // HTTP/2 only
        }
    }
    return false;
}

namespace {

// One HTTP/2 connection of the scripted server: requests come as streams,
// each answered from its script's bytes as an HTTP/1 server would send them.
struct TH2Serving
{
    struct Response
    {
        QByteArray status, body;
        QList<std::pair<QByteArray, QByteArray>> fields;
        qsizetype sent = 0;
    };
    QHash<int32_t, QByteArray> requests; // as text, for the test to read
    QHash<int32_t, QByteArray> paths;
    QHash<int32_t, Response> responses;
    int open = 0;
    std::function<void(int32_t, const QByteArray &, const QByteArray &)> complete;
};

nghttp2_nv field(const QByteArray &name, const QByteArray &value)
{
    return {reinterpret_cast<uint8_t *>(const_cast<char *>(name.constData())),
            reinterpret_cast<uint8_t *>(const_cast<char *>(value.constData())), size_t(name.size()),
            size_t(value.size()), NGHTTP2_NV_FLAG_NONE};
}

} // namespace

void TScriptedServer::serveH2(Connection &conn, int index)
{
    TH2Serving serving;
    int next = index;
    nghttp2_session_callbacks *callbacks = nullptr;
    nghttp2_session_callbacks_new(&callbacks);
    nghttp2_session_callbacks_set_on_header_callback(
        callbacks, [](nghttp2_session *, const nghttp2_frame *frame, const uint8_t *name, size_t namelen,
                      const uint8_t *value, size_t valuelen, uint8_t, void *user) {
            auto &s = *static_cast<TH2Serving *>(user);
            const QByteArray key(reinterpret_cast<const char *>(name), qsizetype(namelen));
            const QByteArray text(reinterpret_cast<const char *>(value), qsizetype(valuelen));
            if (key == ":path")
                s.paths[frame->hd.stream_id] = text;
            s.requests[frame->hd.stream_id] += key + ": " + text + "\r\n";
            return 0;
        });
    nghttp2_session_callbacks_set_on_frame_recv_callback(
        callbacks, [](nghttp2_session *, const nghttp2_frame *frame, void *user) {
            auto &s = *static_cast<TH2Serving *>(user);
            if (frame->hd.type == NGHTTP2_HEADERS && (frame->hd.flags & NGHTTP2_FLAG_END_STREAM)) {
                ++s.open;
                s.complete(frame->hd.stream_id, s.paths.value(frame->hd.stream_id), s.requests.value(frame->hd.stream_id));
            }
            return 0;
        });
    nghttp2_session_callbacks_set_on_stream_close_callback(
        callbacks, [](nghttp2_session *, int32_t, uint32_t, void *user) {
            --static_cast<TH2Serving *>(user)->open;
            return 0;
        });
    nghttp2_session *session = nullptr;
    nghttp2_session_server_new(&session, callbacks, &serving);
    nghttp2_session_callbacks_del(callbacks);
    const nghttp2_settings_entry settings[] = {{NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, m_h2StreamLimit.load()}};
    nghttp2_submit_settings(session, NGHTTP2_FLAG_NONE, settings, 1);

    serving.complete = [&](int32_t stream, const QByteArray &path, const QByteArray &text) {
        {
            std::lock_guard lock(m_mutex);
            m_requests << "GET " + path + " HTTP/2\r\n" + text + "\r\n";
        }
        m_h2PeakStreams = std::max(m_h2PeakStreams.load(), serving.open);
        const Script script = scriptFor("GET " + path + " HTTP/2\r\n", next++);
        QByteArray wire;
        for (const Step &step : script) {
            if (step.kind == Step::Reset) {
                nghttp2_submit_rst_stream(session, NGHTTP2_FLAG_NONE, stream, NGHTTP2_INTERNAL_ERROR);
                return;
            }
            if (step.kind == Step::Hold)
                return; // the stream stays open, unanswered
            if (step.kind == Step::GoAwayOnce && !m_wentAway.exchange(true)) {
                nghttp2_submit_goaway(session, NGHTTP2_FLAG_NONE, stream - 2, NGHTTP2_NO_ERROR, nullptr, 0);
                return;
            }
            if (step.kind == Step::Send)
                wire += step.data;
            else if (step.kind == Step::SendRepeated)
                wire += step.data.repeated(step.ms);
        }
        const qsizetype end = wire.indexOf("\r\n\r\n");
        TH2Serving::Response &r = serving.responses[stream];
        const QList<QByteArray> head = wire.left(end).split('\n');
        r.status = head.value(0).split(' ').value(1);
        for (qsizetype i = 1; i < head.size(); ++i) {
            const QByteArray line = head.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.left(colon).toLower();
            if (colon > 0 && name != "connection" && name != "transfer-encoding" && name != "keep-alive")
                r.fields.append({name, line.mid(colon + 1).trimmed()});
        }
        r.body = end < 0 ? QByteArray() : wire.mid(end + 4);
        static const QByteArray statusName(":status"); // the header entries point into it until submitted
        std::vector<nghttp2_nv> headers{field(statusName, r.status)};
        for (const auto &[name, value] : r.fields)
            headers.push_back(field(name, value));
        nghttp2_data_provider provider{};
        provider.read_callback = [](nghttp2_session *, int32_t id, uint8_t *buffer, size_t length, uint32_t *flags,
                                    nghttp2_data_source *, void *user) -> ssize_t {
            TH2Serving::Response &out = static_cast<TH2Serving *>(user)->responses[id];
            const size_t n = std::min(length, size_t(out.body.size() - out.sent));
            std::memcpy(buffer, out.body.constData() + out.sent, n);
            out.sent += qsizetype(n);
            if (out.sent == out.body.size())
                *flags |= NGHTTP2_DATA_FLAG_EOF;
            return ssize_t(n);
        };
        nghttp2_submit_response(session, stream, headers.data(), headers.size(), &provider);
    };

    auto flush = [&] {
        const uint8_t *data = nullptr;
        for (ssize_t n; (n = nghttp2_session_mem_send(session, &data)) > 0;) {
            if (!conn.sendAll(QByteArray(reinterpret_cast<const char *>(data), qsizetype(n))))
                return false;
        }
        return true;
    };
    flush();
    for (int quiet = 0; !m_stop && quiet < kHoldLimitMs;) {
        if (!conn.readable(kSliceMs)) {
            quiet += kSliceMs;
            continue;
        }
        quiet = 0;
        char buffer[65536];
        const ssize_t n = conn.receive(buffer, sizeof(buffer));
        if (n <= 0 || nghttp2_session_mem_recv(session, reinterpret_cast<const uint8_t *>(buffer), size_t(n)) < 0
            || !flush())
            break;
    }
    nghttp2_session_del(session);
}

