#include "HttpProt.h"
#include "HttpTestRun.h"
#include "Recorder.h"
#include "ScriptedServer.h"
#include "TestPki.h"
#include "WSocket.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Server = TScriptedServer;

namespace {

// A port on ::1 where connections are never completed: its listener has no
// room left, so the handshake of each new one goes unanswered.
class TBlackHole
{
public:
    explicit TBlackHole(quint16 port)
    {
        m_listen = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(m_listen, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        address.sin6_port = htons(port);
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof(address));
        ::listen(m_listen, 0);
        m_filler = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(m_filler, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    }
    ~TBlackHole()
    {
        ::close(m_filler);
        ::close(m_listen);
    }

private:
    int m_listen = -1;
    int m_filler = -1;
};

THostAddresses dualStack(const QString &)
{
    return {0, {"::1", "127.0.0.1"}};
}

} // namespace

// IPv6 addresses in URLs, the proxy field and relocations, and a name with
// addresses of both families: the resolver's first gets a head start, the
// other family joins when it runs out or fails.
class TestIpv6 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addressInBracketsIsFetched();
    void tlsChecksTheAddress();
    void proxyAndRelocationTakeIpv6();
    void firstAddressIsUsedWhenItAnswers();
    void refusedFirstAddressFallsBackAtOnce();
    void silentFirstAddressFallsBackAfterItsHeadStart();
    void bothFamiliesFailingTellsTheFirstFailure();

private:
    TTestPki m_pki;
    QTemporaryDir m_dir;
};

void TestIpv6::initTestCase()
{
    m_pki = TTestPki::make();
    m_pki.trust(m_dir.path());
}

void TestIpv6::addressInBracketsIsFetched()
{
    Server server(Server::Family::Ipv6);
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nv6"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = QString("http://[::1]:%1/six").arg(server.port());
    QVERIFY(cli.Get().ok());
    QCOMPARE(rec.body.data(), QByteArray("v6"));
    const QByteArray request = server.requests().value(0);
    QVERIFY(request.startsWith("GET /six HTTP/1.0\r\n"));
    QVERIFY2(request.contains(QString("\r\nHost: [::1]:%1\r\n").arg(server.port()).toLatin1()), request.constData());
}

void TestIpv6::tlsChecksTheAddress()
{
    Server server(Server::Family::Ipv6);
    server.setTls(m_pki.server.certificate, m_pki.server.key);
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nsecure"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = QString("https://[::1]:%1/").arg(server.port());
    const THttpReply result = cli.Get();
    QVERIFY2(result.ok(), qPrintable(result.errorText));
    QCOMPARE(rec.body.data(), QByteArray("secure"));

    Server wrong(Server::Family::Ipv6);
    wrong.setTls(m_pki.wrongHost.certificate, m_pki.wrongHost.key);
    wrong.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nno"));
    cli.URL = QString("https://[::1]:%1/").arg(wrong.port());
    QCOMPARE(cli.Get().error, THttpCli::kCertificateError);
}

void TestIpv6::proxyAndRelocationTakeIpv6()
{
    Server target(Server::Family::Ipv6);
    target.addScript(Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nhere"));
    Server start;
    start.addScript(Server::reply(
        QString("HTTP/1.0 302 Found\r\nLocation: http://[::1]:%1/there\r\n\r\n").arg(target.port()).toLatin1()));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(start, "/from");
    QVERIFY(cli.Get().ok());
    QCOMPARE(rec.body.data().right(4), QByteArray("here"));
    QVERIFY(target.requests().value(0).startsWith("GET /there HTTP/1.0\r\n"));

    Server proxy(Server::Family::Ipv6);
    proxy.addScript(Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nproxy"));
    cli.Proxy = "[::1]";
    cli.ProxyPort = QString::number(proxy.port());
    cli.URL = "http://example.org/p";
    QVERIFY(cli.Get().ok());
    QVERIFY(proxy.requests().value(0).startsWith("GET http://example.org/p HTTP/1.0\r\n"));
}

void TestIpv6::firstAddressIsUsedWhenItAnswers()
{
    Server four;
    Server six(Server::Family::Ipv6, four.port());
    four.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nfour"));
    six.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nsix"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.socket()->setResolver(dualStack);
    cli.URL = QString("http://dual.test:%1/").arg(four.port());
    QVERIFY(cli.Get().ok());
    QCOMPARE(rec.body.data(), QByteArray("six"));
    QCOMPARE(four.connections(), 0);
}

void TestIpv6::refusedFirstAddressFallsBackAtOnce()
{
    Server four; // nothing listens on ::1 at its port
    four.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nfour"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.socket()->setResolver(dualStack);
    cli.URL = QString("http://dual.test:%1/").arg(four.port());
    const THttpReply result = cli.Get();
    QVERIFY2(result.ok(), qPrintable(result.errorText));
    QCOMPARE(rec.body.data(), QByteArray("four"));
    QCOMPARE(rec.done, 1);
}

void TestIpv6::silentFirstAddressFallsBackAfterItsHeadStart()
{
    Server four;
    four.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nfour"));
    TBlackHole hole(four.port());
    THttpCli cli;
    TRecorder rec(cli);
    cli.socket()->setResolver(dualStack);
    cli.URL = QString("http://dual.test:%1/").arg(four.port());
    QElapsedTimer clock;
    clock.start();
    const THttpReply result = cli.Get();
    QVERIFY2(result.ok(), qPrintable(result.errorText));
    QCOMPARE(rec.body.data(), QByteArray("four"));
    QVERIFY(clock.elapsed() >= THttpCli::kHeadStartMs * 9 / 10); // IPv6 had its head start (timers may be 5% early)
    QCOMPARE(rec.done, 1);
}

void TestIpv6::bothFamiliesFailingTellsTheFirstFailure()
{
    THttpCli cli;
    TRecorder rec(cli);
    cli.socket()->setResolver(dualStack);
    cli.URL = QString("http://dual.test:%1/").arg(Server::refusedPort());
    const THttpReply result = cli.Get();
    QCOMPARE(result.error, 10061);
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.lastError, 10061);
}

QTEST_MAIN(TestIpv6)
#include "tst_ipv6.moc"
