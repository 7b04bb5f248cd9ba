#include "ConnectionPool.h"
#include "HttpProt.h"
#include "HttpTestRun.h"
#include "MemoryStream.h"
#include "Recorder.h"
#include "ScriptedServer.h"
#include "TestPki.h"
#include "WSocket.h"

#include <QTemporaryDir>
#include <QtTest>

using Server = TScriptedServer;

namespace {

// Every state a client passes through, with its other events, as one list.
struct TStateLog
{
    explicit TStateLog(THttpCli &cli)
        : rec(cli)
    {
        cli.OnStateChange = [this](THttpCli *c) {
            rec.events << QString("State %1").arg(c->ClientState());
            if (c->ClientState() == hcIdle)
                rec.events << "Idle";
        };
        cli.OnSessionConnected = [this](THttpCli *) { rec.events << "Connected"; };
    }
    QStringList take()
    {
        const QStringList events = rec.events;
        rec.events.clear();
        rec.body.buffer().clear();
        rec.body.seek(0);
        return events;
    }
    TRecorder rec;
};

QByteArray chunkedResponse(const QList<QByteArray> &chunks, const QByteArray &extraHeader = {})
{
    QByteArray wire = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n" + extraHeader + "Transfer-Encoding: chunked\r\n\r\n";
    for (const QByteArray &chunk : chunks)
        wire += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    return wire + "0\r\n\r\n";
}

} // namespace

// Kept connections: one connection serves request after request, for one
// client or many, plain or inside TLS; whatever says the connection cannot
// go on (the server closes, the framing is off, the request was cut) ends it.
class TestKeepAlive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void oneConnectionServesRequestAfterRequest();
    void clientsShareTheConnectionsOfOneServer();
    void connectionsThatCannotGoOnAreNotKept_data();
    void connectionsThatCannotGoOnAreNotKept();
    void serverClosingAnIdleConnectionIsNoticed();
    void serverClosingUnderARequestIsRetriedOnce();
    void rangeBelongsToItsRequest_data();
    void rangeBelongsToItsRequest();
    void chunkedBodiesArriveWhole();
    void hostileChunksFailClearly();
    void withoutAPoolTheRequestIsTheClassicOne();
    void idleConnectionsCloseAfterAWhile();
    void abortedBodyRetiresTheConnection();
    void tlsSessionGoesOnOverAKeptConnection();
    void tunnelThroughAProxyIsKept();

private:
    TTestPki m_pki;
    QTemporaryDir m_dir;
};

void TestKeepAlive::initTestCase()
{
    m_pki = TTestPki::make();
    m_pki.trust(m_dir.path());
}

void TestKeepAlive::oneConnectionServesRequestAfterRequest()
{
    Server server;
    for (const char *path : {"/a.jpg", "/b.jpg", "/c.jpg"})
        server.route(path, Server::page11(QByteArray("picture ") + path, "image/jpeg"));
    TConnectionPool pool;
    THttpCli cli;
    cli.setConnectionPool(&pool);
    TStateLog log(cli);
    QStringList first;
    for (const char *path : {"/a.jpg", "/b.jpg", "/c.jpg"}) {
        cli.URL = url(server, path);
        QVERIFY(cli.Get().ok());
        QCOMPARE(log.rec.body.data(), QByteArray("picture ") + path);
        // A kept connection tells the same events, in the same order, as a new one.
        const QStringList events = log.take();
        if (first.isEmpty())
            first = events;
        QCOMPARE(events, first);
    }
    QCOMPARE(server.connections(), 1);
    QCOMPARE(server.requests().size(), 3);
    QVERIFY(server.requests().value(1).startsWith("GET /b.jpg HTTP/1.1\r\n"));
    QVERIFY(server.requests().value(1).contains(QString("\r\nHost: 127.0.0.1:%1\r\n").arg(server.port()).toLatin1()));
    QCOMPARE(pool.idleCount(), 1);
}

void TestKeepAlive::clientsShareTheConnectionsOfOneServer()
{
    Server server;
    server.route("/x", Server::page11("x"));
    TConnectionPool pool;
    THttpCli one, two;
    one.setConnectionPool(&pool);
    two.setConnectionPool(&pool);
    TRecorder recOne(one), recTwo(two);
    one.URL = two.URL = url(server, "/x");
    QVERIFY(one.Get().ok());
    QVERIFY(two.Get().ok());
    QVERIFY(one.Get().ok());
    QCOMPARE(server.connections(), 1);
    // Two at once need two connections; both are kept afterwards.
    one.StartFetch();
    two.StartFetch();
    QTRY_COMPARE(recOne.done + recTwo.done, 5);
    QCOMPARE(server.connections(), 2);
    QCOMPARE(pool.idleCount(), 2);
}

void TestKeepAlive::connectionsThatCannotGoOnAreNotKept_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::newRow("Connection: close") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok");
    QTest::newRow("HTTP/1.0 server") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    // Its end is the server's close.
    QTest::newRow("no length") << QByteArray("HTTP/1.1 200 OK\r\n\r\nok");
    QTest::newRow("bytes after the body") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA");
    QTest::newRow("length beside chunks")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n");
    QTest::newRow("error status") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno");
}

void TestKeepAlive::connectionsThatCannotGoOnAreNotKept()
{
    QFETCH(QByteArray, response);
    Server server;
    const bool endsAtClose = !response.contains("Content-Length") && !response.contains("chunked");
    server.addScript({Server::send(response), endsAtClose ? Server::close() : Server::keepOpen()});
    TKeptClient kept;
    kept.cli.URL = url(server, "/");
    kept.cli.Get();
    QCOMPARE(kept.rec.done, 1);
    QCOMPARE(kept.rec.lastError, 0);
    if (!response.contains(" 404 "))
        QVERIFY(kept.rec.body.data().startsWith("ok"));
    QCOMPARE(kept.pool.idleCount(), 0);
    kept.cli.Get();
    QCOMPARE(server.connections(), 2);
}

void TestKeepAlive::serverClosingAnIdleConnectionIsNoticed()
{
    Server server;
    server.addScript({Server::send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none"), Server::close()});
    server.addScript(Server::page11("two"));
    TKeptClient kept;
    kept.cli.URL = url(server, "/");
    QVERIFY(kept.cli.Get().ok());
    QTRY_COMPARE(kept.pool.idleCount(), 0); // the close came while it was idle
    kept.clearBody();
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(kept.rec.body.data(), QByteArray("two"));
    QCOMPARE(server.connections(), 2);
}

void TestKeepAlive::serverClosingUnderARequestIsRetriedOnce()
{
    Server server;
    // The first connection answers once, then drops the next request unanswered.
    server.addScript({Server::send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 3\r\n\r\none"),
                      Server::readThenClose()});
    server.addScript(Server::page11("two"));
    TConnectionPool pool;
    THttpCli cli;
    cli.setConnectionPool(&pool);
    TStateLog log(cli);
    cli.URL = url(server, "/");
    QVERIFY(cli.Get().ok());
    const QStringList first = log.take();
    QCOMPARE(pool.idleCount(), 1);
    cli.ContentRangeBegin = "1";
    cli.setIfRange("\"v1\"");
    const THttpReply second = cli.Get();
    QVERIFY2(second.ok(), qPrintable(second.errorText));
    QCOMPARE(log.rec.body.data(), QByteArray("two"));
    QCOMPARE(log.take(), first); // the second try is not told
    QCOMPARE(server.connections(), 2);
    QCOMPARE(server.requests().size(), 3);
    // The second try asks for the same range as the first did.
    for (int i : {1, 2}) {
        QVERIFY(server.requests().at(i).contains("\r\nRange: bytes=1-\r\nIf-Range: \"v1\"\r\n"));
    }
}

void TestKeepAlive::rangeBelongsToItsRequest_data()
{
    QTest::addColumn<bool>("kept");
    QTest::newRow("kept connections") << true;
    QTest::newRow("a connection per request") << false;
}

void TestKeepAlive::rangeBelongsToItsRequest()
{
    // A range goes with its request through a relocation; the answer's
    // Content-Range never becomes the next request's Range. A relocation on
    // a kept connection is followed and told as on a new one.
    QFETCH(bool, kept);
    Server server;
    auto answer = [](const QByteArray &head, const QByteArray &body) {
        return Server::Script{Server::send("HTTP/1.1 " + head + "\r\nContent-Length: " + QByteArray::number(body.size())
                                           + "\r\n\r\n" + body),
                              Server::keepOpen()};
    };
    server.route("/moved.jpg", answer("302 Found\r\nLocation: /part.jpg", ""));
    server.route("/part.jpg", answer("206 Partial Content\r\nContent-Range: bytes 3-5/6\r\nETag: \"v1\"", "def"));
    server.route("/whole.jpg", answer("200 OK\r\nETag: \"v1\"", "abcdef"));
    server.route("/elsewhere.jpg", answer("302 Found\r\nLocation: /whole.jpg", ""));
    server.route("/changed.jpg", answer("206 Partial Content\r\nContent-Range: bytes 3-5/6\r\nETag: \"v2\"", "xyz"));
    TKeptClient client;
    if (!kept)
        client.cli.setConnectionPool(nullptr);
    THttpCli &cli = client.cli;
    cli.URL = url(server, "/moved.jpg");
    cli.ContentRangeBegin = "3";
    cli.setIfRange("\"v1\"");
    QVERIFY(cli.Get().ok());
    QCOMPARE(client.rec.body.data(), QByteArray("def"));
    QCOMPARE(cli.Result().contentRange.begin, QString("3"));
    for (const char *path : {"/whole.jpg", "/elsewhere.jpg"}) {
        client.clearBody();
        client.rec.events.clear();
        cli.URL = url(server, path);
        QVERIFY(cli.Get().ok());
        QCOMPARE(client.rec.body.data(), QByteArray("abcdef"));
    }
    QVERIFY(client.rec.events.contains("Location " + url(server, "/whole.jpg")));
    // A part of another version of the file is not taken for the rest of the one held.
    cli.URL = url(server, "/changed.jpg");
    cli.ContentRangeBegin = "3";
    cli.setIfRange("\"v1\"");
    QCOMPARE(cli.Get().error, THttpCli::kWrongRange);
    const QList<QByteArray> sent = server.requests();
    QCOMPARE(sent.size(), 6);
    for (int i : {0, 1, 5})
        QVERIFY2(sent.at(i).contains("\r\nRange: bytes=3-\r\nIf-Range: \"v1\"\r\n"), sent.at(i).constData());
    for (int i : {2, 3, 4})
        QVERIFY2(!sent.at(i).contains("Range"), sent.at(i).constData());
}

void TestKeepAlive::chunkedBodiesArriveWhole()
{
    QByteArray big(300000, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 13);
    const QByteArray wire = chunkedResponse({"head-", big.left(100000), big.mid(100000)});
    Server server;
    // Sent in pieces that split sizes, data and line breaks.
    Server::Script script;
    for (qsizetype at = 0; at < wire.size(); at += 7777)
        script.push_back(Server::send(wire.mid(at, 7777)));
    script.push_back(Server::keepOpen());
    server.addScript(script);
    server.addScript(Server::page11("after"));
    TKeptClient kept;
    kept.cli.URL = url(server, "/big.jpg");
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(kept.rec.body.data(), "head-" + big);
    QCOMPARE(kept.cli.ReceivedBytes, big.size() + 5);
    QCOMPARE(kept.rec.events.filter("DocEnd").size(), 1);
    kept.clearBody();
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(kept.rec.body.data(), QByteArray("after"));
    QCOMPARE(server.connections(), 1);

    // Into a memory stream, as the engine reads, the framing stays out too.
    TMemoryStream memory;
    kept.cli.ReceiveStream = &memory;
    server.addScript({Server::send(chunkedResponse({"abc", "def"})), Server::keepOpen()});
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(memory.toByteArray(), QByteArray("abcdef"));
    QCOMPARE(server.connections(), 1);
}

void TestKeepAlive::hostileChunksFailClearly()
{
    Server server;
    server.addScript({Server::send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabc\r\nzz\r\n"),
                      Server::keepOpen()});
    server.addScript({Server::send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab"), Server::close()});
    TKeptClient kept;
    kept.cli.URL = url(server, "/");
    THttpReply result = kept.cli.Get();
    QCOMPARE(result.error, THttpCli::kBadFraming);
    QVERIFY(result.errorText.startsWith("malformed chunked body"));
    QCOMPARE(kept.pool.idleCount(), 0);
    result = kept.cli.Get();
    QCOMPARE(result.error, THttpCli::kIncompleteResponse);
    QCOMPARE(kept.rec.done, 2);
    QCOMPARE(kept.pool.idleCount(), 0);
}

void TestKeepAlive::withoutAPoolTheRequestIsTheClassicOne()
{
    Server server;
    server.addScript(Server::reply(chunkedResponse({"Wiki"})));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server, "/w");
    QVERIFY(cli.Get().ok());
    QVERIFY(server.requests().value(0).startsWith("GET /w HTTP/1.0\r\n"));
    // A server may answer an HTTP/1.0 request in chunks all the same: the
    // body is what the chunks hold, never the framing around it.
    QCOMPARE(rec.body.data(), QByteArray("Wiki"));
}

void TestKeepAlive::idleConnectionsCloseAfterAWhile()
{
    Server server;
    server.addScript(Server::page11("x"));
    TKeptClient kept;
    kept.cli.URL = url(server, "/");
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(kept.pool.idleCount(), 1);
    kept.pool.closeIdleOlderThan(60000);
    QCOMPARE(kept.pool.idleCount(), 1);
    kept.pool.closeIdleOlderThan(0);
    QCOMPARE(kept.pool.idleCount(), 0);
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(server.connections(), 2);
}

void TestKeepAlive::abortedBodyRetiresTheConnection()
{
    Server server;
    server.addScript({Server::send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(5000, 'x')),
                      Server::hold()});
    server.addScript(Server::page11("next"));
    TKeptClient kept;
    kept.cli.OnDocData = [&](THttpCli *c, const char *, int) { c->AbortRequest(); };
    kept.cli.URL = url(server, "/");
    QCOMPARE(kept.cli.Get().error, THttpCli::kAborted);
    QCOMPARE(kept.pool.idleCount(), 0);
    kept.cli.OnDocData = nullptr;
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(server.connections(), 2);
}

void TestKeepAlive::tlsSessionGoesOnOverAKeptConnection()
{
    Server server;
    server.setTls(m_pki.server.certificate, m_pki.server.key);
    server.route("/one", Server::page11("first"));
    server.route("/two", {Server::send(chunkedResponse({"sec", "ond"})), Server::keepOpen()});
    TKeptClient kept;
    for (const char *path : {"/one", "/two", "/one"}) {
        kept.rec.body.buffer().clear();
        kept.rec.body.seek(0);
        kept.cli.URL = QString("https://localhost:%1%2").arg(server.port()).arg(path);
        const THttpReply result = kept.cli.Get();
        QVERIFY2(result.ok(), qPrintable(result.errorText));
    }
    QCOMPARE(kept.rec.body.data(), QByteArray("first"));
    QCOMPARE(server.connections(), 1);
    QCOMPARE(server.failedHandshakes(), 0);
}

void TestKeepAlive::tunnelThroughAProxyIsKept()
{
    // A plain proxy connection carries requests for any server; here the
    // proxy is the test server itself, answering absolute URLs.
    Server proxy;
    proxy.route("http://example.org/a", Server::page11("a"));
    proxy.route("http://example.org/b", Server::page11("b"));
    TKeptClient kept;
    kept.cli.Proxy = "127.0.0.1";
    kept.cli.ProxyPort = QString::number(proxy.port());
    kept.cli.URL = "http://example.org/a";
    QVERIFY(kept.cli.Get().ok());
    kept.cli.URL = "http://example.org/b";
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(proxy.connections(), 1);
    // Another proxy login is another connection.
    kept.cli.ProxyUsername = "someone";
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(proxy.connections(), 2);
}

QTEST_MAIN(TestKeepAlive)
#include "tst_keepalive.moc"
