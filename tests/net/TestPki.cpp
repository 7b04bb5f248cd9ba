#include "TestPki.h"

#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace {

EVP_PKEY *newKey()
{
    return EVP_EC_gen("P-256");
}

QByteArray pem(EVP_PKEY *key)
{
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char *data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    QByteArray out(data, int(n));
    BIO_free(bio);
    return out;
}

QByteArray pem(X509 *certificate)
{
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char *data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    QByteArray out(data, int(n));
    BIO_free(bio);
    return out;
}

void extension(X509 *certificate, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    X509_add_ext(certificate, ext, -1);
    X509_EXTENSION_free(ext);
}

// A certificate for key, signed by issuerKey (itself when no issuer is given).
X509 *certify(EVP_PKEY *key, const char *name, const char *altNames, bool authority, long fromSeconds,
              long toSeconds, X509 *issuer, EVP_PKEY *issuerKey)
{
    static long serial = 1;
    X509 *certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(certificate), toSeconds);
    X509_set_pubkey(certificate, key);
    X509_NAME *subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(name), -1, -1, 0);
    X509 *signer = issuer ? issuer : certificate;
    X509_set_issuer_name(certificate, X509_get_subject_name(signer));
    extension(certificate, signer, NID_basic_constraints, authority ? "critical,CA:TRUE" : "CA:FALSE");
    if (authority)
        extension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    if (altNames)
        extension(certificate, signer, NID_subject_alt_name, altNames);
    X509_sign(certificate, issuerKey ? issuerKey : key, EVP_sha256());
    return certificate;
}

} // namespace

void TTestPki::trust(const QString &directory) const
{
    const QString path = directory + QStringLiteral("/authority.pem");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(authority);
    qputenv("SSL_CERT_FILE", QFile::encodeName(path));
}

TTestPki TTestPki::make()
{
    constexpr long kDay = 24 * 3600;
    TTestPki pki;
    EVP_PKEY *caKey = newKey();
    X509 *ca = certify(caKey, "Trawlix Test Authority", nullptr, true, -kDay, 30 * kDay, nullptr, nullptr);
    pki.authority = pem(ca);
    auto issue = [&](const char *names, long from, long to, bool self) {
        EVP_PKEY *key = newKey();
        X509 *certificate = certify(key, "127.0.0.1", names, false, from, to, self ? nullptr : ca, self ? nullptr : caKey);
        Pair pair{pem(certificate), pem(key)};
        X509_free(certificate);
        EVP_PKEY_free(key);
        return pair;
    };
    pki.server = issue("IP:127.0.0.1,IP:::1,DNS:localhost", -kDay, 30 * kDay, false);
    pki.selfSigned = issue("IP:127.0.0.1,DNS:localhost", -kDay, 30 * kDay, true);
    pki.wrongHost = issue("DNS:other.example", -kDay, 30 * kDay, false);
    pki.expired = issue("IP:127.0.0.1,DNS:localhost", -10 * kDay, -kDay, false);
    X509_free(ca);
    EVP_PKEY_free(caKey);
    return pki;
}
