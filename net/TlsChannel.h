#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// TLS over a byte stream that someone else carries: what arrives from the
// network is fed in, plaintext is read out; plaintext written comes out as
// bytes to send. The peer's certificate chain is verified against the
// system's trust store (or SSL_CERT_FILE / SSL_CERT_DIR) and must name the
// host; verification cannot be switched off.
class TTlsChannel
{
public:
    enum Step { Done, Pending, Failed };

    // The host checked against the certificate; host and port name the
    // server whose earlier sessions may be resumed.
    TTlsChannel(const QString &host, const QString &port);
    ~TTlsChannel();
    TTlsChannel(const TTlsChannel &) = delete;
    TTlsChannel &operator=(const TTlsChannel &) = delete;

    // The application protocols offered in the handshake (ALPN), most
    // wanted first, e.g. "h2", "http/1.1"; none unless asked.
    void offerProtocols(const QList<QByteArray> &names);
    // The one the server chose; empty when it chose none.
    QByteArray negotiatedProtocol() const;
    // Bytes that came from the network.
    void feed(const char *data, int len);
    // Advances the handshake as far as the bytes fed allow.
    Step handshake();
    bool established() const { return m_established; }
    // Plaintext that arrived: the count, 0 when none is complete yet, -1 on failure.
    int read(char *buffer, int size);
    // Whether plaintext, or bytes not yet decrypted, remain inside.
    bool hasPending() const;
    bool write(const char *data, int len);
    // Bytes to send to the network.
    QByteArray takeOutgoing();
    // The peer ended the session properly: a body that ends here is whole.
    bool closeNotifyReceived() const;

    bool certificateFailed() const { return m_certificateFailed; }
    QString errorText() const { return m_error; }

private:
    struct Handles;
    void fail();

    std::unique_ptr<Handles> m_ssl;
    bool m_established = false;
    bool m_certificateFailed = false;
    QString m_error;
};
