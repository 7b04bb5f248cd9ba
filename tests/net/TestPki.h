#pragma once

#include <QByteArray>
#include <QString>

// Certificates made at test time: a test authority, and server certificates
// it signs (or not) for 127.0.0.1, as PEM.
struct TTestPki
{
    struct Pair
    {
        QByteArray certificate;
        QByteArray key;
    };

    QByteArray authority; // to trust through SSL_CERT_FILE
    Pair server;          // 127.0.0.1 and localhost, valid
    Pair selfSigned;      // 127.0.0.1, signed by itself
    Pair wrongHost;       // valid, but for another name
    Pair expired;         // 127.0.0.1, ended yesterday

    static TTestPki make();
    // Makes the authority the one this process trusts (SSL_CERT_FILE), with
    // its file in the directory; to be done before any TLS connection.
    void trust(const QString &directory) const;
};
