#include "ConnectionPool.h"
#include "HttpProt.h"
#include "HttpTestRun.h"
#include "Recorder.h"
#include "ScriptedServer.h"
#include "TestPki.h"
#include "WSocket.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

using Server = TScriptedServer;

// The client over HTTP/2: chosen by ALPN when connections are kept, one
// connection carrying the requests of many clients as streams, each client
// telling its events as over HTTP/1; the server's stream limit, a reset
// stream, relocations, and a server that speaks only HTTP/1.1.
class TestH2Client : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void slotsShareOneConnection();
    void eventsAreThoseOfHttp1();
    void streamLimitSmallerThanTheSlots();
    void resetStreamFailsItsRequestAlone();
    void goAwaySendsRefusedRequestsAgainOnAFreshConnection();
    void relocationAndErrorStatus();
    void serverWithoutHttp2IsAnsweredInHttp11();
    void connectionLostBetweenTwoTurnsSendsTheRequestAgain();

private:
    std::unique_ptr<Server> h2Server();
    QString secureUrl(const Server &server, const QString &path) const
    {
        return QString("https://127.0.0.1:%1%2").arg(server.port()).arg(path);
    }

    TTestPki m_pki;
    QTemporaryDir m_dir;
};

void TestH2Client::initTestCase()
{
    m_pki = TTestPki::make();
    m_pki.trust(m_dir.path());
}

std::unique_ptr<Server> TestH2Client::h2Server()
{
    auto server = std::make_unique<Server>();
    server->setTls(m_pki.server.certificate, m_pki.server.key);
    server->setAlpn({"h2", "http/1.1"});
    return server;
}

void TestH2Client::slotsShareOneConnection()
{
    auto server = h2Server();
    for (int i = 0; i < 24; ++i)
        server->route(QString("/p%1.jpg").arg(i).toLatin1(), Server::page11(QByteArray(3000 + i, char('a' + i)), "image/jpeg"));
    TConnectionPool pool;
    std::vector<std::unique_ptr<THttpCli>> clients;
    std::vector<std::unique_ptr<TRecorder>> recorders;
    for (int slot = 0; slot < 8; ++slot) {
        clients.push_back(std::make_unique<THttpCli>());
        clients.back()->setConnectionPool(&pool);
        recorders.push_back(std::make_unique<TRecorder>(*clients.back()));
    }
    // The first request opens the connection; then eight at once, three rounds.
    clients[0]->URL = secureUrl(*server, "/p0.jpg");
    const THttpReply opened = clients[0]->Get();
    QVERIFY2(opened.ok(), qPrintable(QString("%1 %2 %3").arg(opened.error).arg(opened.errorText).arg(opened.status)));
    for (int round = 0; round < 3; ++round) {
        for (int slot = 0; slot < 8; ++slot) {
            recorders[slot]->body.buffer().clear();
            recorders[slot]->body.seek(0);
            clients[slot]->URL = secureUrl(*server, QString("/p%1.jpg").arg(round * 8 + slot));
            clients[slot]->StartFetch();
        }
        for (int slot = 0; slot < 8; ++slot) {
            QTRY_COMPARE(clients[slot]->ClientState(), hcIdle);
            QCOMPARE(recorders[slot]->lastError, 0);
            QCOMPARE(recorders[slot]->body.data(), QByteArray(3000 + round * 8 + slot, char('a' + round * 8 + slot)));
        }
    }
    QCOMPARE(server->connections(), 1);
    QVERIFY(server->requests().value(3).startsWith("GET /p"));
    QVERIFY(server->requests().value(3).contains(" HTTP/2\r\n"));
}

void TestH2Client::eventsAreThoseOfHttp1()
{
    auto server = h2Server();
    server->route("/x", Server::page11("twelve bytes"));
    QStringList events[2];
    for (int over = 0; over < 2; ++over) {
        TConnectionPool pool;
        THttpCli cli;
        cli.setConnectionPool(&pool);
        TRecorder rec(cli);
        cli.URL = secureUrl(*server, "/x");
        if (over == 0)
            server->setAlpn({"http/1.1"});
        else
            server->setAlpn({"h2"});
        QVERIFY(cli.Get().ok());
        QCOMPARE(rec.body.data(), QByteArray("twelve bytes"));
        events[over] = rec.events.filter(QRegularExpression("^(HeaderBegin|HeaderEnd|DocBegin|DocData|DocEnd|Idle|Done)"));
    }
    QCOMPARE(events[1], events[0]);
}

void TestH2Client::streamLimitSmallerThanTheSlots()
{
    auto server = h2Server();
    server->setH2StreamLimit(2);
    for (int i = 0; i < 8; ++i)
        server->route(QString("/s%1").arg(i).toLatin1(), Server::page11(QByteArray(100000, char('0' + i))));
    TConnectionPool pool;
    std::vector<std::unique_ptr<THttpCli>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<THttpCli>());
        clients.back()->setConnectionPool(&pool);
    }
    clients[0]->URL = secureUrl(*server, "/s0");
    QVERIFY(clients[0]->Get().ok());
    std::vector<std::unique_ptr<TRecorder>> recorders;
    for (int i = 0; i < 8; ++i) {
        recorders.push_back(std::make_unique<TRecorder>(*clients[i]));
        clients[i]->URL = secureUrl(*server, QString("/s%1").arg(i));
        clients[i]->StartFetch();
    }
    for (int i = 0; i < 8; ++i) {
        QTRY_COMPARE(recorders[i]->done, 1);
        QCOMPARE(recorders[i]->lastError, 0);
        QCOMPARE(recorders[i]->body.data(), QByteArray(100000, char('0' + i)));
    }
    QVERIFY(server->h2PeakStreams() <= 2);
    QCOMPARE(server->connections(), 1);
}

void TestH2Client::resetStreamFailsItsRequestAlone()
{
    auto server = h2Server();
    server->route("/good", Server::page11("good"));
    server->route("/bad", {Server::reset()});
    TConnectionPool pool;
    THttpCli good, bad;
    good.setConnectionPool(&pool);
    bad.setConnectionPool(&pool);
    TRecorder goodRec(good), badRec(bad);
    good.URL = secureUrl(*server, "/good");
    QVERIFY(good.Get().ok());
    bad.URL = secureUrl(*server, "/bad");
    good.StartFetch();
    bad.StartFetch();
    QTRY_COMPARE(goodRec.done + badRec.done, 3);
    QCOMPARE(badRec.lastError, THttpCli::kIncompleteResponse);
    QVERIFY(bad.Result().errorText.contains("reset"));
    QCOMPARE(goodRec.lastError, 0);
    QCOMPARE(goodRec.body.data(), QByteArray("goodgood"));
    QCOMPARE(server->connections(), 1);
}

void TestH2Client::goAwaySendsRefusedRequestsAgainOnAFreshConnection()
{
    auto server = h2Server();
    server->route("/first", Server::page11("first"));
    server->route("/stop", {Server::goAwayOnce(), Server::send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nstop")});
    server->route("/after", Server::page11("after"));
    TConnectionPool pool;
    THttpCli first, stop, after;
    for (THttpCli *cli : {&first, &stop, &after})
        cli->setConnectionPool(&pool);
    TRecorder stopRec(stop), afterRec(after);
    first.URL = secureUrl(*server, "/first");
    QVERIFY(first.Get().ok());
    // Both go out on the open connection; the server's GOAWAY refuses them.
    stop.URL = secureUrl(*server, "/stop");
    after.URL = secureUrl(*server, "/after");
    stop.StartFetch();
    after.StartFetch();
    QTRY_COMPARE(stopRec.done + afterRec.done, 2);
    QCOMPARE(stopRec.lastError, 0);
    QCOMPARE(stopRec.body.data(), QByteArray("stop"));
    QCOMPARE(afterRec.lastError, 0);
    QCOMPARE(afterRec.body.data(), QByteArray("after"));
    // Each request told its events once, as if it had gone out once.
    QCOMPARE(stopRec.events.filter("DocBegin").size(), 1);
    QCOMPARE(stopRec.events.filter("HeaderBegin").size(), 1);
    // Sent again at once, each may open a connection of its own; the next
    // request takes one of them.
    const int opened = server->connections();
    QVERIFY(opened >= 2);
    first.URL = secureUrl(*server, "/after");
    QVERIFY(first.Get().ok());
    QCOMPARE(server->connections(), opened);
}

void TestH2Client::relocationAndErrorStatus()
{
    auto server = h2Server();
    server->route("/old", {Server::send("HTTP/1.1 302 Found\r\nLocation: /new\r\nContent-Length: 0\r\n\r\n"), Server::keepOpen()});
    server->route("/new", Server::page11("moved here"));
    server->route("/gone", {Server::send("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone"), Server::keepOpen()});
    TKeptClient kept;
    kept.cli.URL = secureUrl(*server, "/old");
    QVERIFY(kept.cli.Get().ok());
    QCOMPARE(kept.rec.body.data(), QByteArray("moved here"));
    QVERIFY(kept.rec.events.contains("Location " + secureUrl(*server, "/new")));
    kept.cli.URL = secureUrl(*server, "/gone");
    const THttpReply result = kept.cli.Get();
    QCOMPARE(result.status, 404);
    QCOMPARE(kept.cli.ResponseText, QString("Not Found"));
    QCOMPARE(server->connections(), 1);
}

void TestH2Client::serverWithoutHttp2IsAnsweredInHttp11()
{
    Server server;
    server.setTls(m_pki.server.certificate, m_pki.server.key);
    server.setAlpn({"http/1.1"});
    server.route("/a", Server::page11("a"));
    TKeptClient kept;
    kept.cli.URL = secureUrl(server, "/a");
    QVERIFY(kept.cli.Get().ok());
    QVERIFY(kept.cli.Get().ok());
    QVERIFY(server.requests().value(0).startsWith("GET /a HTTP/1.1\r\n"));
    QCOMPARE(server.connections(), 1);
}

void TestH2Client::connectionLostBetweenTwoTurnsSendsTheRequestAgain()
{
    // A request takes the shared connection and sends its stream on the next
    // turn; the server's close is noticed in between.
    auto server = h2Server();
    server->route("/a.jpg", Server::page11("first", "image/jpeg"));
    server->route("/b.jpg", Server::page11("second", "image/jpeg"));
    TConnectionPool pool;
    THttpCli opener, late;
    opener.setConnectionPool(&pool);
    late.setConnectionPool(&pool);
    TRecorder rec(late);
    opener.URL = secureUrl(*server, "/a.jpg");
    QVERIFY(opener.Get().ok());
    auto *connection = pool.findChild<TH2Connection *>();
    QVERIFY(connection);
    late.URL = secureUrl(*server, "/b.jpg");
    late.StartFetch();
    TWSocket *socket = connection->findChild<TWSocket *>();
    socket->OnSessionClosed(socket, 0);
    QTRY_COMPARE(late.ClientState(), hcIdle);
    QCOMPARE(rec.lastError, 0);
    QCOMPARE(rec.body.data(), QByteArray("second"));
    QCOMPARE(server->connections(), 2);
    late.AbortRequest(); // touches no connection that is gone
}

QTEST_MAIN(TestH2Client)
#include "tst_h2client.moc"
