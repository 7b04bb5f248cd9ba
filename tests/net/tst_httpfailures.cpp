#include "HttpProt.h"
#include "HttpTestRun.h"
#include "Recorder.h"
#include "ScriptedServer.h"
#include "WSocket.h"

#include "SocketErrors.h"

#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

using Server = TScriptedServer;
Q_DECLARE_METATYPE(TScriptedServer::Script)

// Every way a request can fail - aborted, refused, cut, hostile, out of
// resources - ends it once, with a clear error, and leaves the client usable.
class TestHttpFailures : public QObject
{
    Q_OBJECT

private slots:
    void abortEndsTheRequestOnce_data();
    void abortEndsTheRequestOnce();
    void staleNoticesNeverReachTheNextRequest();
    void busyClientRefusesASecondRequest();
    void fetchRaisesForErrorStatusAndLocalFailures();
    void getGivesTheOutcomeAsAValue();
    void responseWithoutHeader();
    void overlongHeaderLineFailsAtOnce();
    void hostileResponses_data();
    void hostileResponses();
    void silentServerIsEndedByTheCaller();
    void brokenTransfersFail_data();
    void brokenTransfersFail();
    void endlessHeaderIsCut_data();
    void endlessHeaderIsCut();
    void abortInsideAnEventEndsTheRequestOnce_data();
    void abortInsideAnEventEndsTheRequestOnce();
    void refusedStartLeavesTheClientUsable();
    void controlCharactersNeverReachTheRequest();
    void runningOutOfDescriptorsIsReportedAsSuch();
};

void TestHttpFailures::abortEndsTheRequestOnce_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<int>("state");
    QTest::newRow("lookup") << "lookup" << int(hcResolving);
    QTest::newRow("connect") << "connect" << int(hcConnecting);
    QTest::newRow("header") << "header" << int(hcAwaitingHeader);
    QTest::newRow("body") << "body" << int(hcAwaitingBody);
}

void TestHttpFailures::abortEndsTheRequestOnce()
{
    QFETCH(QString, phase);
    QFETCH(int, state);
    Server server;
    server.addScript({Server::send(phase == "body" ? "HTTP/1.0 200 OK\r\n\r\npart" : "HTTP/1.0 200"), Server::hold()});
    THttpCli cli;
    TRecorder rec(cli);
    bool connected = false;
    cli.OnSessionConnected = [&](THttpCli *) { connected = true; };
    cli.URL = phase == "lookup" ? QString("http://localhost:%1/").arg(server.port()) : url(server);
    cli.StartFetch();
    if (phase == "header")
        QTRY_VERIFY(cli.ClientState() == hcAwaitingHeader && cli.socket()->ReadCount() > 0);
    if (phase == "body")
        QTRY_VERIFY(!rec.pieces.isEmpty());
    QCOMPARE(int(cli.ClientState()), state);
    cli.AbortRequest();
    QCOMPARE(cli.ClientState(), hcIdle);
    QCOMPARE(cli.ResponseCode, 404);
    QCOMPARE(cli.ResponseText, QString("Connection aborted on request"));
    QTRY_COMPARE(rec.done, 1);
    QCOMPARE(rec.lastError, 3);
    QTest::qWait(100);
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.events.contains("DocEnd"), phase == "body");
    if (phase == "lookup" || phase == "connect")
        QVERIFY(!connected);
}

void TestHttpFailures::staleNoticesNeverReachTheNextRequest()
{
    Server server;
    server.addScript({Server::send("HTTP/1.0 200 OK\r\n\r\nslow"), Server::hold()});
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nfast"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    cli.StartFetch();
    QTRY_VERIFY(!rec.pieces.isEmpty());
    cli.AbortRequest();
    // Started again before the aborted request's notices were dispatched.
    rec.events.clear();
    rec.body.buffer().clear();
    rec.body.seek(0);
    cli.StartFetch();
    QTRY_VERIFY(rec.events.contains("Done 1 0"));
    QCOMPARE(rec.events.filter("Done").size(), 1);
    QCOMPARE(rec.body.data(), QByteArray("fast"));
}

void TestHttpFailures::busyClientRefusesASecondRequest()
{
    Server server;
    server.addScript({Server::hold()});
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    cli.StartFetch();
    try {
        cli.StartFetch();
        QFAIL("no exception");
    } catch (const EHttpException &e) {
        QCOMPARE(e.Code, 1);
        QCOMPARE(e.message(), QString("HTTP component is busy"));
    }
    QVERIFY_THROWS_EXCEPTION(EHttpException, cli.Fetch());
    // The same refusal as a value leaves the request under way alone.
    const THttpReply refused = cli.Begin();
    QCOMPARE(refused.error, 1);
    QCOMPARE(refused.errorText, QString("HTTP component is busy"));
    QVERIFY(cli.ClientState() != hcIdle);
    cli.AbortRequest();
    QTRY_COMPARE(rec.done, 1);
}

void TestHttpFailures::fetchRaisesForErrorStatusAndLocalFailures()
{
    Server server;
    server.addScript(Server::reply("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\n<h1>gone</h1>"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server, "/missing.htm");
    try {
        cli.Fetch();
        QFAIL("no exception");
    } catch (const EHttpException &e) {
        QCOMPARE(e.Code, 404);
        QCOMPARE(e.message(), QString("Not Found"));
    }
    // The done event came inside Fetch, before it raised; the server answered.
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.lastError, 0);
    QVERIFY(!rec.events.contains("DocEnd"));

    THttpCli refused;
    TRecorder refusedRec(refused);
    refused.URL = QString("http://127.0.0.1:%1/").arg(Server::refusedPort());
    try {
        refused.Fetch();
        QFAIL("no exception");
    } catch (const EHttpException &e) {
        QCOMPARE(e.Code, 404);
        QCOMPARE(e.message(), QString("Connection refused (Error #10061)"));
    }
    QCOMPARE(refusedRec.lastError, 10061);

    THttpCli badPort;
    TRecorder badRec(badPort);
    badPort.URL = "http://127.0.0.1:99999/";
    QVERIFY_THROWS_EXCEPTION(EHttpException, badPort.Fetch());
    QVERIFY(badPort.ResponseText.startsWith("can't connect: "));
    QVERIFY(badRec.lastError != 0);

    // A good page after all that.
    Server good;
    good.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nfine"));
    cli.URL = url(good);
    cli.Fetch();
    QCOMPARE(rec.body.data().right(4), QByteArray("fine"));
}

void TestHttpFailures::getGivesTheOutcomeAsAValue()
{
    Server server;
    server.addScript(Server::reply("HTTP/1.1 404 Not Found\r\n\r\n<h1>gone</h1>"));
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nfine"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server, "/missing.htm");
    THttpReply result = cli.Get();
    QCOMPARE(result.status, 404);
    QCOMPARE(result.error, 0);
    QVERIFY(!result.ok());
    QCOMPARE(rec.done, 1);

    cli.URL = url(server, "/");
    result = cli.Get();
    QVERIFY(result.ok());
    QCOMPARE(result.status, 200);
    QCOMPARE(result.received, 4);

    THttpCli refused;
    refused.URL = QString("http://127.0.0.1:%1/").arg(Server::refusedPort());
    result = refused.Get();
    QCOMPARE(result.error, 10061);
    QVERIFY(!result.ok());
}

void TestHttpFailures::responseWithoutHeader()
{
    Server server;
    server.addScript(Server::reply("<html><body>\r\nline two\nline three\r\n"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QVERIFY(rec.events.filter("HeaderData").isEmpty());
    QCOMPARE(cli.MediaType, QString("text/html"));
    QCOMPARE(rec.body.data(), QByteArray("<html><body>line twoline three"));
    QCOMPARE(cli.ResponseCode, 0);
}

void TestHttpFailures::overlongHeaderLineFailsAtOnce()
{
    // The server keeps the connection open: the client must not wait for it.
    Server server;
    server.addScript({Server::send("HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(10000, 'x')), Server::hold()});
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(cli.HeaderLines, QStringList{"HTTP/1.0 200 OK"});
    QCOMPARE(rec.lastError, THttpCli::kHeaderTooLarge);
    QVERIFY(rec.pieces.isEmpty());
}

void TestHttpFailures::hostileResponses_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("code");
    QRandomGenerator rng(42);
    for (int i = 0; i < 6; ++i) {
        QByteArray noise(2000 + rng.bounded(20000), Qt::Uninitialized);
        for (char &c : noise)
            c = char(rng.bounded(256));
        if (i % 2)
            noise.replace('\0', '\n');
        QTest::addRow("random bytes %d", i) << noise << -1;
    }
    QTest::newRow("letters as status code") << QByteArray("HTTP/1.1 2x0 OK\r\n\r\nbody") << 0;
    QTest::newRow("status line cut short") << QByteArray("HTTP/1.0\r\n\r\nbody") << 0;
    QTest::newRow("huge status code") << QByteArray("HTTP/1.1 99999999 Big\r\n\r\n") << 999;
    QTest::newRow("letters as length") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: abc\r\n\r\nbody") << 200;
    QTest::newRow("negative length") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nbody") << 200;
    QTest::newRow("enormous length") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nx") << 200;
    QTest::newRow("empty location") << QByteArray("HTTP/1.0 302 Found\r\nLocation:\r\n\r\nstay") << 302;
    QTest::newRow("NUL in header") << QByteArray("HTTP/1.0 200 OK\r\nX: a\0b\r\n\r\nbody", 30) << 200;
    QTest::newRow("only line feeds") << QByteArray(20000, '\n') << 0;
}

void TestHttpFailures::hostileResponses()
{
    QFETCH(QByteArray, response);
    QFETCH(int, code);
    Server server;
    server.addScript(Server::reply(response));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.done, 1);
    QCOMPARE(cli.ClientState(), hcIdle);
    if (code >= 0)
        QCOMPARE(cli.ResponseCode, code);
    QVERIFY(cli.ExpectedLength >= -1);
    QCOMPARE(cli.ReceivedBytes, rec.body.data().size());
}

void TestHttpFailures::silentServerIsEndedByTheCaller()
{
    Server server;
    server.addScript({Server::hold()});
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    QTimer::singleShot(200, &cli, [&cli] { cli.AbortRequest(); });
    try {
        cli.Fetch();
        QFAIL("no exception");
    } catch (const EHttpException &e) {
        QCOMPARE(e.Code, 404);
        QCOMPARE(e.message(), QString("Connection aborted on request"));
    }
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.lastError, 3);
}

void TestHttpFailures::brokenTransfersFail_data()
{
    QTest::addColumn<Server::Script>("script");
    QTest::addColumn<int>("error"); // -1: any non-zero socket error
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("expected");
    const QByteArray megabyteHeader = "HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n";
    QTest::newRow("reset in the middle of the body")
        << Server::Script{Server::send(megabyteHeader + QByteArray(300000, 'r')), Server::pause(300), Server::reset()}
        << int(SocketError::ConnReset) << qint64(300000) << qint64(1000000);
    QTest::newRow("close before the length arrived")
        << Server::Script{Server::send(megabyteHeader + QByteArray(1000, 'c')), Server::close()}
        << THttpCli::kIncompleteResponse << qint64(1000) << qint64(1000000);
    QTest::newRow("reset before any status line") << Server::Script{Server::reset()} << -1 << qint64(0) << qint64(-1);
    QTest::newRow("close before any status line") << Server::Script{Server::close()} << THttpCli::kIncompleteResponse
                                                  << qint64(0) << qint64(-1);
    QTest::newRow("random bytes") << Server::reply("\x8f\x02zq\xff\n\x13\x07 ok\r\n\r\nmore") << THttpCli::kMalformedStatus
                                  << qint64(0) << qint64(-1);
    QTest::newRow("status code not a number") << Server::reply("HTTP/1.1 abc OK\r\n\r\nbody")
                                              << THttpCli::kMalformedStatus << qint64(0) << qint64(-1);
    QTest::newRow("empty first line") << Server::reply("\r\nHTTP/1.0 200 OK\r\n\r\nbody") << THttpCli::kMalformedStatus
                                      << qint64(0) << qint64(-1);
    QTest::newRow("header ends at the close") << Server::reply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n")
                                              << THttpCli::kIncompleteResponse << qint64(0) << qint64(-1);
    QTest::newRow("two different lengths")
        << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\nContent-Length: 3000\r\n\r\n" + QByteArray(5000, 'd'))
        << THttpCli::kBadFraming << qint64(0) << qint64(5000);
    QTest::newRow("chunks to an HTTP/1.0 request, cut in a chunk")
        << Server::reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nonly") << THttpCli::kIncompleteResponse
        << qint64(4) << qint64(-1);
    QTest::newRow("a part of the file, not asked for")
        << Server::reply("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 100-103/1000\r\nContent-Length: 4\r\n\r\npart")
        << THttpCli::kWrongRange << qint64(0) << qint64(4);
    // What stays a success.
    QTest::newRow("the same length twice") << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 4\r\nContent-Length: 4\r\n\r\nfour")
                                           << 0 << qint64(4) << qint64(4);
    QTest::newRow("a part that is the whole file")
        << Server::reply("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-3/4\r\nContent-Length: 4\r\n\r\nfour") << 0
        << qint64(4) << qint64(4);
    QTest::newRow("interim answers before the real one")
        << Server::reply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n"
                         "Location: /elsewhere\r\n\r\n"
                         "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nfour")
        << 0 << qint64(4) << qint64(4);
    QTest::newRow("no length, ends at the close") << Server::reply("HTTP/1.0 200 OK\r\n\r\nwhole body") << 0
                                                  << qint64(10) << qint64(-1);
    QTest::newRow("exact length") << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nfour") << 0 << qint64(4)
                                  << qint64(4);
    QTest::newRow("length 'abc' is no length") << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: abc\r\n\r\nbody")
                                               << 0 << qint64(4) << qint64(-1);
    QTest::newRow("length '-5' is no length") << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nbody")
                                              << 0 << qint64(4) << qint64(-1);
    QTest::newRow("length too big to be one")
        << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nbody") << 0 << qint64(4)
        << qint64(-1);
    QTest::newRow("no body for a 304") << Server::reply("HTTP/1.0 304 Not Modified\r\nContent-Length: 50\r\n\r\n") << 0
                                       << qint64(0) << qint64(50);
    QTest::newRow("no body for a 204, chunked or not")
        << Server::reply("HTTP/1.1 204 No Content\r\nTransfer-Encoding: chunked\r\n\r\n") << 0 << qint64(0) << qint64(-1);
}

void TestHttpFailures::brokenTransfersFail()
{
    QFETCH(Server::Script, script);
    QFETCH(int, error);
    QFETCH(qint64, received);
    QFETCH(qint64, expected);
    Server server;
    server.addScript(script);
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    bool threw = false;
    try {
        cli.Fetch();
    } catch (const EHttpException &e) {
        threw = true;
        QCOMPARE(e.Code, rec.lastError);
        QVERIFY(!e.message().isEmpty());
    }
    QCOMPARE(rec.done, 1);
    if (error < 0)
        QVERIFY2(rec.lastError >= 10000, qPrintable(QString::number(rec.lastError)));
    else
        QCOMPARE(rec.lastError, error);
    QCOMPARE(threw, error != 0);
    const THttpReply result = cli.Result();
    QCOMPARE(result.ok(), error == 0);
    QCOMPARE(result.received, received);
    QCOMPARE(result.expected, expected);
    QCOMPARE(rec.body.data().size(), received);
    QCOMPARE(cli.ClientState(), hcIdle);
}

void TestHttpFailures::endlessHeaderIsCut_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("many short lines") << QByteArray("X-Pad: 0123456789\r\n");
    QTest::newRow("fewer long lines") << "X-Long: " + QByteArray(8000, 'l') + "\r\n";
}

void TestHttpFailures::endlessHeaderIsCut()
{
    QFETCH(QByteArray, line);
    Server server;
    server.addScript({Server::send("HTTP/1.0 200 OK\r\n"), Server::repeat(line, 200000), Server::close()});
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, THttpCli::kHeaderTooLarge);
    QVERIFY(cli.HeaderLines.size() <= THttpCli::kMaxHeaderLines);
    QVERIFY(rec.pieces.isEmpty());
    QVERIFY_THROWS_EXCEPTION(EHttpException, cli.Fetch());
}

void TestHttpFailures::abortInsideAnEventEndsTheRequestOnce_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("connections"); // the most the server may see
    QTest::newRow("resolving") << "resolving" << 0;
    QTest::newRow("connecting") << "connecting" << 0;
    QTest::newRow("connected") << "connected" << 1;
    QTest::newRow("session connected") << "session" << 1;
    QTest::newRow("location change") << "location" << 1;
    QTest::newRow("header data") << "header" << 1;
    QTest::newRow("body data") << "body" << 1;
}

void TestHttpFailures::abortInsideAnEventEndsTheRequestOnce()
{
    QFETCH(QString, event);
    QFETCH(int, connections);
    Server server;
    if (event != "body")
        server.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: /next\r\n\r\n"));
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nfine"));
    THttpCli cli;
    TRecorder rec(cli);
    int aborts = 0;
    auto abortOnce = [&](THttpCli *c) {
        if (aborts++ == 0)
            c->AbortRequest();
    };
    const QHash<QString, THttpCliState> states{
        {"resolving", hcResolving}, {"connecting", hcConnecting}, {"connected", hcConnected}};
    if (states.contains(event)) {
        cli.OnStateChange = [&](THttpCli *c) {
            if (c->ClientState() == states.value(event))
                abortOnce(c);
        };
    }
    if (event == "session")
        cli.OnSessionConnected = abortOnce;
    if (event == "location")
        cli.OnLocationChange = abortOnce;
    if (event == "header")
        cli.OnHeaderData = abortOnce;
    if (event == "body")
        cli.OnDocData = [&](THttpCli *c, const char *, int) { abortOnce(c); };
    cli.URL = url(server, "/start");
    cli.StartFetch();
    QTRY_COMPARE(rec.done, 1);
    QTest::qWait(300);
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.lastError, THttpCli::kAborted);
    QCOMPARE(aborts, 1);
    QCOMPARE(cli.ClientState(), hcIdle);
    QVERIFY2(server.connections() <= connections, qPrintable(QString::number(server.connections())));

    // The client is idle and takes the next request.
    cli.OnStateChange = nullptr;
    cli.OnSessionConnected = nullptr;
    cli.OnLocationChange = nullptr;
    cli.OnHeaderData = nullptr;
    cli.OnDocData = nullptr;
    rec.done = 0;
    Server good;
    good.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nagain"));
    cli.URL = url(good);
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, 0);
    QVERIFY(rec.body.data().endsWith("again"));
}

void TestHttpFailures::refusedStartLeavesTheClientUsable()
{
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = "http://"; // the URL field's default: no host
    cli.StartFetch();
    QTRY_COMPARE(rec.done, 1);
    QVERIFY(rec.lastError != 0);
    QCOMPARE(cli.ClientState(), hcIdle);
    QVERIFY_THROWS_EXCEPTION(EHttpException, cli.Fetch());
    QCOMPARE(rec.done, 2);

    Server server;
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nworks"));
    cli.URL = url(server);
    cli.Fetch();
    QCOMPARE(rec.lastError, 0);
    QVERIFY(rec.body.data().endsWith("works"));
}

void TestHttpFailures::controlCharactersNeverReachTheRequest()
{
    Server server;
    server.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: /a\rX-Injected: yes\r\n\r\n"));
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nnever"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, THttpCli::kInvalidUrl);
    QCOMPARE(server.connections(), 1);

    for (const QString &bad : {url(server, "/x\r\nX-Injected: yes"), url(server, "/x\ny"),
                               QString("http://127.0.0.1\rX-Injected:%1/").arg(server.port())}) {
        rec.done = 0;
        cli.URL = bad;
        runUntilDone(cli, rec);
        QCOMPARE(rec.lastError, THttpCli::kInvalidUrl);
    }
    // A dotted address followed by anything else is no address.
    rec.done = 0;
    cli.URL = QString("http://127.0.0.1 junk:%1/").arg(server.port());
    runUntilDone(cli, rec);
    QVERIFY(rec.lastError != 0);
    QCOMPARE(server.connections(), 1);
    QVERIFY(!server.requests().join().contains("X-Injected"));
}

void TestHttpFailures::runningOutOfDescriptorsIsReportedAsSuch()
{
    Server server;
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\n"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    // No descriptor left for the socket: the lowest free one is the limit.
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const int lowest = ::dup(0);
    ::close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(lowest);
    setrlimit(RLIMIT_NOFILE, &tight);
    cli.StartFetch();
    setrlimit(RLIMIT_NOFILE, &saved);
    QTRY_COMPARE(rec.done, 1);
    QCOMPARE(rec.lastError, 10024);
    QVERIFY2(cli.ResponseText.contains("Too many open files"), qPrintable(cli.ResponseText));
}

QTEST_MAIN(TestHttpFailures)
#include "tst_httpfailures.moc"
