#include "TlsChannel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <QHash>

#include <mutex>

namespace {

// Sessions of the servers talked to lately, so the next connection to one
// resumes instead of doing the whole handshake again (as browsers and curl do).
class TSessionCache
{
public:
    static constexpr int kMaxEntries = 64;

    static TSessionCache &instance()
    {
        static TSessionCache cache;
        return cache;
    }
    ~TSessionCache()
    {
        for (SSL_SESSION *session : std::as_const(m_sessions))
            SSL_SESSION_free(session);
    }
    void put(const QByteArray &key, SSL_SESSION *session)
    {
        std::lock_guard lock(m_mutex);
        if (SSL_SESSION *old = m_sessions.take(key))
            SSL_SESSION_free(old);
        if (m_sessions.size() >= kMaxEntries) {
            SSL_SESSION_free(m_sessions.begin().value());
            m_sessions.erase(m_sessions.begin());
        }
        m_sessions.insert(key, session);
    }
    // A reference of the caller's own, or null.
    SSL_SESSION *get(const QByteArray &key)
    {
        std::lock_guard lock(m_mutex);
        SSL_SESSION *session = m_sessions.value(key);
        if (session)
            SSL_SESSION_up_ref(session);
        return session;
    }

private:
    std::mutex m_mutex;
    QHash<QByteArray, SSL_SESSION *> m_sessions;
};

int keyIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// Called by OpenSSL with each new session (in TLS 1.3 after the handshake).
int keepSession(SSL *ssl, SSL_SESSION *session)
{
    const auto *key = static_cast<const QByteArray *>(SSL_get_ex_data(ssl, keyIndex()));
    if (!key || !SSL_SESSION_is_resumable(session))
        return 0;
    TSessionCache::instance().put(*key, session);
    return 1; // the cache keeps the reference
}

// One client context for the process: loading the trust store for every
// connection would cost more than the connection.
SSL_CTX *clientContext()
{
    static SSL_CTX *context = [] {
        SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(ctx);
        SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(ctx, keepSession);
        return ctx;
    }();
    return context;
}

QString lastOpenSslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("the connection did not speak TLS");
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    return QString::fromLatin1(text);
}

} // namespace

struct TTlsChannel::Handles
{
    QByteArray sessionKey; // host and port: whose sessions resume this one
    SSL *ssl = nullptr;
    BIO *in = nullptr;  // network -> TLS, owned by ssl
    BIO *out = nullptr; // TLS -> network, owned by ssl
    ~Handles()
    {
        if (!ssl)
            return;
        // A session the server ended properly may be resumed: OpenSSL drops
        // the sessions of connections that look cut off.
        if (SSL_get_shutdown(ssl) & SSL_RECEIVED_SHUTDOWN)
            SSL_set_shutdown(ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
        SSL_free(ssl);
    }
};

TTlsChannel::TTlsChannel(const QString &host, const QString &port)
    : m_ssl(std::make_unique<Handles>())
{
    ERR_clear_error();
    m_ssl->ssl = SSL_new(clientContext());
    m_ssl->in = BIO_new(BIO_s_mem());
    m_ssl->out = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(m_ssl->in, -1); // "no data yet", not end of stream
    SSL_set_bio(m_ssl->ssl, m_ssl->in, m_ssl->out);
    SSL_set_connect_state(m_ssl->ssl);
    m_ssl->sessionKey = (host + QLatin1Char(':') + port).toUtf8();
    SSL_set_ex_data(m_ssl->ssl, keyIndex(), &m_ssl->sessionKey);
    if (SSL_SESSION *session = TSessionCache::instance().get(m_ssl->sessionKey)) {
        SSL_set_session(m_ssl->ssl, session);
        SSL_SESSION_free(session);
    }
    // "[::1]" as a URL writes it is the address ::1.
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    const QByteArray name = (bracketed ? host.mid(1, host.size() - 2) : host).toUtf8();
    // A name is sent as the server name; an address is checked as an address.
    X509_VERIFY_PARAM *param = SSL_get0_param(m_ssl->ssl);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, name.constData()) != 1) {
        ERR_clear_error();
        SSL_set_tlsext_host_name(m_ssl->ssl, name.constData());
        SSL_set1_host(m_ssl->ssl, name.constData());
    }
}

TTlsChannel::~TTlsChannel() = default;

void TTlsChannel::feed(const char *data, int len)
{
    if (len > 0)
        BIO_write(m_ssl->in, data, len);
}

void TTlsChannel::fail()
{
    const long verify = SSL_get_verify_result(m_ssl->ssl);
    if (verify != X509_V_OK) {
        m_certificateFailed = true;
        m_error = QStringLiteral("certificate error: ") + QString::fromLatin1(X509_verify_cert_error_string(verify));
        ERR_clear_error();
    } else {
        m_error = QStringLiteral("TLS error: ") + lastOpenSslError();
    }
}

TTlsChannel::Step TTlsChannel::handshake()
{
    if (m_established)
        return Done;
    const int rc = SSL_do_handshake(m_ssl->ssl);
    if (rc == 1) {
        m_established = true;
        return Done;
    }
    const int error = SSL_get_error(m_ssl->ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return Pending;
    fail();
    return Failed;
}

int TTlsChannel::read(char *buffer, int size)
{
    const int n = SSL_read(m_ssl->ssl, buffer, size);
    if (n > 0)
        return n;
    const int error = SSL_get_error(m_ssl->ssl, n);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_ZERO_RETURN)
        return 0;
    fail();
    return -1;
}

bool TTlsChannel::hasPending() const
{
    return SSL_pending(m_ssl->ssl) > 0 || BIO_ctrl_pending(m_ssl->in) > 0;
}

bool TTlsChannel::write(const char *data, int len)
{
    while (len > 0) {
        const int n = SSL_write(m_ssl->ssl, data, len);
        if (n <= 0) {
            fail();
            return false;
        }
        data += n;
        len -= n;
    }
    return true;
}

QByteArray TTlsChannel::takeOutgoing()
{
    QByteArray bytes(int(BIO_ctrl_pending(m_ssl->out)), Qt::Uninitialized);
    if (!bytes.isEmpty())
        BIO_read(m_ssl->out, bytes.data(), int(bytes.size()));
    return bytes;
}

void TTlsChannel::offerProtocols(const QList<QByteArray> &names)
{
    QByteArray wire; // each name after its length byte
    for (const QByteArray &name : names) {
        if (!name.isEmpty() && name.size() < 256)
            wire += char(name.size()) + name;
    }
    SSL_set_alpn_protos(m_ssl->ssl, reinterpret_cast<const unsigned char *>(wire.constData()), unsigned(wire.size()));
}

QByteArray TTlsChannel::negotiatedProtocol() const
{
    const unsigned char *name = nullptr;
    unsigned int length = 0;
    SSL_get0_alpn_selected(m_ssl->ssl, &name, &length);
    return QByteArray(reinterpret_cast<const char *>(name), int(length));
}

bool TTlsChannel::closeNotifyReceived() const
{
    return (SSL_get_shutdown(m_ssl->ssl) & SSL_RECEIVED_SHUTDOWN) != 0;
}
