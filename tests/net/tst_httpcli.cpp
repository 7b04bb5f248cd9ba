#include "HttpProt.h"
#include "HttpTestRun.h"
#include "MemoryStream.h"
#include "Recorder.h"
#include "ScriptedServer.h"
#include "WSocket.h"

#include "SocketErrors.h"

#include <QBuffer>
#include <QTimer>
#include <QtTest>


using Server = TScriptedServer;
Q_DECLARE_METATYPE(TScriptedServer::Script)

// Requests as they leave, responses as they arrive, relocations and logins.
class TestHttpCli : public QObject
{
    Q_OBJECT

private slots:
    void splitUrl_data();
    void splitUrl();
    void locationsResolveAsInABrowser_data();
    void locationsResolveAsInABrowser();
    void emptyRelocationFailsClearly();
    void announcedLengthEndsTheBody_data();
    void announcedLengthEndsTheBody();
    void loginStaysWithItsServer_data();
    void loginStaysWithItsServer();
    void askedLoginGoesOnlyToTheServerThatAsks_data();
    void askedLoginGoesOnlyToTheServerThatAsks();
    void httpDate();
    void normalResponseEventOrder();
    void headerSplitOverReadsWithBareLineFeeds();
    void bodyArrivingWithTheHeaderIsOnePiece();
    void bodyIsReadInLargeBlocks();
    void memoryStreamHoldsTheWholeBody();
    void requestLines_data();
    void requestLines();
    void relocationTargets_data();
    void relocationTargets();
    void relocationsAreBounded();
    void postSendsItsBodyAfterTheHeader();
    void proxyRelocationKeepsThePort_data();
    void proxyRelocationKeepsThePort();
    void relocationToAnotherHostUsesItsOwnPort();
    void relocationResetsTheExpectedLength();
    void fastTransferLeavesTheEventLoopRunning();
};

void TestHttpCli::splitUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("parts"); // proto user pass host port path
    QTest::newRow("empty") << "" << QStringList{"", "", "", "", "", ""};
    QTest::newRow("full") << "http://me:pw@h.org:81/a/b.htm" << QStringList{"http", "me", "pw", "h.org", "81", "/a/b.htm"};
    QTest::newRow("bare host") << "h.org" << QStringList{"", "", "", "h.org", "", ""};
    QTest::newRow("host and port") << "h.org:3128" << QStringList{"", "", "", "h.org", "3128", ""};
    QTest::newRow("rooted path") << "/x/y" << QStringList{"http", "", "", "", "", "/x/y"};
    QTest::newRow("double slash") << "//h.org/x" << QStringList{"http", "", "", "", "", "/h.org/x"};
    QTest::newRow("http colon path") << "HTTP:/x" << QStringList{"http", "", "", "", "", "/x"};
    QTest::newRow("mailto") << "mailto:me@h.org" << QStringList{"mailto", "me", "", "h.org", "", ""};
    QTest::newRow("user only") << "ftp://me@h.org/f" << QStringList{"ftp", "me", "", "h.org", "", "/f"};
    QTest::newRow("password with at") << "http://me:p@ss@h.org/" << QStringList{"http", "me", "p@ss", "h.org", "", "/"};
    QTest::newRow("bare file name") << "page.html" << QStringList{"", "", "", "page.html", "", ""};
    QTest::newRow("IPv6 with port") << "http://[::1]:8080/x" << QStringList{"http", "", "", "[::1]", "8080", "/x"};
    QTest::newRow("IPv6 alone") << "http://[fe80::1]/" << QStringList{"http", "", "", "[fe80::1]", "", "/"};
    QTest::newRow("IPv6 with login") << "https://me:pw@[::1]/" << QStringList{"https", "me", "pw", "[::1]", "", "/"};
    QTest::newRow("IPv6 proxy field") << "[::1]" << QStringList{"", "", "", "[::1]", "", ""};
}

void TestHttpCli::splitUrl()
{
    QFETCH(QString, url);
    QFETCH(QStringList, parts);
    const TUrlParts p = SplitUrl(url);
    QCOMPARE((QStringList{p.proto, p.user, p.pass, p.host, p.port, p.path}), parts);
}

void TestHttpCli::locationsResolveAsInABrowser_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("resolved");
    const QString base = "http://h.org:81/a/b/page.htm?x=1";
    QTest::newRow("absolute") << "https://o.org/z" << "https://o.org/z";
    QTest::newRow("scheme-relative") << "//o.org/z" << "http://o.org/z";
    QTest::newRow("rooted") << "/z/y.htm" << "http://h.org:81/z/y.htm";
    QTest::newRow("relative") << "next/page.htm" << "http://h.org:81/a/b/next/page.htm";
    QTest::newRow("dot segments") << "./c/../../up.htm" << "http://h.org:81/a/up.htm";
    QTest::newRow("above the root") << "../../../../top.htm" << "http://h.org:81/top.htm";
    QTest::newRow("query only") << "?y=2" << "http://h.org:81/a/b/page.htm?y=2";
    QTest::newRow("query keeps its dots") << "p?u=../x" << "http://h.org:81/a/b/p?u=../x";
    QTest::newRow("bare name that looks like a host") << "www.o.org" << "http://h.org:81/a/b/www.o.org";
    QTest::newRow("absolute with dots") << "http://o.org/foo/bar/../ton" << "http://o.org/foo/ton";
    QTest::newRow("escaped dots") << "/a/%2e%2E/b/%2e/c" << "http://h.org:81/b/c";
    QTest::newRow("scheme-relative with dots") << "//o.org/a/./b/../c?d/../e" << "http://o.org/a/c?d/../e";
}

void TestHttpCli::locationsResolveAsInABrowser()
{
    QFETCH(QString, location);
    QFETCH(QString, resolved);
    QCOMPARE(ResolveLocation("http://h.org:81/a/b/page.htm?x=1", location), resolved);
    QCOMPARE(ResolveLocation("http://h.org", "x.htm"), QString("http://h.org/x.htm"));
}

void TestHttpCli::emptyRelocationFailsClearly()
{
    Server server;
    server.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation:\r\n\r\nstay"));
    server.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:b/c\r\n\r\nstay"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, THttpCli::kInvalidUrl);
    QVERIFY(cli.Result().errorText.contains("empty Location"));
    // A port that is no number is refused before any look-up or connection.
    rec.done = 0;
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, THttpCli::kInvalidUrl);
    QCOMPARE(server.connections(), 2);
    cli.URL = "http://127.0.0.1:99999/x";
    rec.done = 0;
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, THttpCli::kInvalidUrl);
    QVERIFY(cli.Result().errorText.contains("99999"));
    QCOMPARE(server.connections(), 2);
}

void TestHttpCli::announcedLengthEndsTheBody_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("head");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("longer than announced") << "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + QByteArray(5000, 'b')
                                           << false << QByteArray(1000, 'b');
    QTest::newRow("exact, connection kept open") << "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n" + QByteArray(3000, 'k')
                                                 << false << QByteArray(3000, 'k');
    QTest::newRow("empty body, kept open") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") << false
                                           << QByteArray();
    QTest::newRow("no content, kept open") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false << QByteArray();
    QTest::newRow("head, kept open") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 77\r\n\r\n") << true << QByteArray();
    QTest::newRow("head, said to be chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") << true
                                              << QByteArray();
}

void TestHttpCli::announcedLengthEndsTheBody()
{
    // The server never closes: the response ends where its header said.
    QFETCH(QByteArray, response);
    QFETCH(bool, head);
    QFETCH(QByteArray, body);
    Server server;
    server.addScript({Server::send(response), Server::hold()});
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    if (head)
        cli.StartHead();
    else
        cli.StartFetch();
    QTRY_VERIFY_WITH_TIMEOUT(rec.done > 0, 10000);
    QCOMPARE(rec.lastError, 0);
    QCOMPARE(rec.body.data(), body);
    QCOMPARE(cli.ReceivedBytes, qint64(body.size()));
    QCOMPARE(rec.done, 1);
    QCOMPARE(cli.ClientState(), hcIdle);
}

void TestHttpCli::loginStaysWithItsServer_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("sentAgain");
    QTest::newRow("same server, login window") << "same" << true;
    QTest::newRow("another port, login window") << "other" << false;
    QTest::newRow("another port, login in the URL") << "url" << false;
}

void TestHttpCli::loginStaysWithItsServer()
{
    Server first, second;
    QFETCH(QString, how);
    QFETCH(bool, sentAgain);
    const QString target = how == "same" ? url(first, "/next") : url(second, "/next");
    first.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: " + target.toLatin1() + "\r\n\r\n"));
    first.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nthere"));
    second.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nthere"));
    THttpCli cli;
    TRecorder rec(cli);
    if (how == "url") {
        cli.URL = QString("http://u:p@127.0.0.1:%1/start").arg(first.port());
    } else {
        cli.URL = url(first, "/start");
        cli.Username = "me";
        cli.Password = "secret";
    }
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, 0);
    QVERIFY(first.requests().value(0).contains("\r\nAuthorization: Basic "));
    const QByteArray next = how == "same" ? first.requests().value(1) : second.requests().value(0);
    QVERIFY(!next.isEmpty());
    QCOMPARE(next.contains("Authorization:"), sentAgain);
    // A login from a URL is that request's alone.
    if (how == "url")
        QVERIFY(cli.Username.isEmpty());
}

void TestHttpCli::askedLoginGoesOnlyToTheServerThatAsks_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the server asks") << "asks";
    QTest::newRow("the server relocated to asks") << "relocated";
    QTest::newRow("asked, still refused") << "refused";
}

void TestHttpCli::askedLoginGoesOnlyToTheServerThatAsks()
{
    QFETCH(QString, how);
    Server first, second;
    const QByteArray challenge = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n\r\nlogin";
    if (how == "relocated") {
        first.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: " + url(second, "/x").toLatin1() + "\r\n\r\n"));
        second.addScript(Server::reply(challenge));
    } else {
        first.addScript(Server::reply(challenge));
        first.addScript(Server::reply(how == "asks" ? "HTTP/1.0 200 OK\r\n\r\ninside" : challenge));
    }
    THttpCli cli;
    TRecorder rec(cli);
    QStringList asked;
    QObject::connect(&cli, &THttpCli::loginAsked, [&asked](const QString &origin) { asked << origin; });
    cli.URL = url(first, "/secret");
    cli.setAskedLogin("me", "secret");
    runUntilDone(cli, rec);
    QVERIFY(!first.requests().value(0).contains("Authorization"));
    if (how == "relocated") {
        QCOMPARE(cli.ResponseCode, 401);
        QCOMPARE(second.requests().size(), 1);
        QVERIFY(!second.requests().value(0).contains("Authorization"));
        QVERIFY(asked.isEmpty());
        return;
    }
    QCOMPARE(first.requests().size(), 2);
    QVERIFY(first.requests().value(1).contains("\r\nAuthorization: Basic bWU6c2VjcmV0\r\n"));
    QCOMPARE(asked, QStringList{QString("http://127.0.0.1:%1").arg(first.port())});
    QCOMPARE(rec.done, 1);
    QCOMPARE(cli.ResponseCode, how == "asks" ? 200 : 401);
    if (how == "asks")
        QCOMPARE(rec.body.data(), QByteArray("inside"));
}

void TestHttpCli::httpDate()
{
    const QDateTime when(QDate(2026, 12, 9), QTime(4, 5, 6));
    QCOMPARE(FormatHttpDate(when), QString("Wed, 09 Dec 2026 04:05:06"));
}

void TestHttpCli::normalResponseEventOrder()
{
    Server server;
    server.addScript(Server::reply("HTTP/1.1 200 OK\r\nContent-Length: 11\r\nContent-Type: Text/HTML\r\n\r\nhello world"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server, "/index.html");
    runUntilDone(cli, rec);
    QCOMPARE(rec.events, (QStringList{"HeaderBegin", "HeaderData HTTP/1.1 200 OK", "HeaderData Content-Length: 11",
                                      "HeaderData Content-Type: Text/HTML", "HeaderEnd", "DocBegin", "DocData",
                                      "DocEnd", "Idle", "Done 1 0"}));
    QCOMPARE(cli.ResponseCode, 200);
    QCOMPARE(cli.ResponseText, QString("OK"));
    QCOMPARE(cli.ExpectedLength, 11);
    QCOMPARE(cli.ReceivedBytes, 11);
    QCOMPARE(cli.MediaType, QString("text/html"));
    QCOMPARE(rec.body.data(), QByteArray("hello world"));
    QCOMPARE(cli.ClientState(), hcIdle);
}

void TestHttpCli::headerSplitOverReadsWithBareLineFeeds()
{
    Server server;
    const QByteArray response = "HTTP/1.0 200 Fine\nX-One: 1\r\nX-Two:   2 \n\nbody";
    Server::Script script;
    for (char c : response) {
        script.push_back(Server::send(QByteArray(1, c)));
        script.push_back(Server::pause(1));
    }
    script.push_back(Server::close());
    server.addScript(script);
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(cli.HeaderLines, (QStringList{"HTTP/1.0 200 Fine", "X-One: 1", "X-Two:   2 "}));
    QCOMPARE(rec.body.data(), QByteArray("body"));
    QCOMPARE(cli.ExpectedLength, -1);
    QCOMPARE(rec.lastError, 0);
}

void TestHttpCli::bodyArrivingWithTheHeaderIsOnePiece()
{
    Server server;
    server.addScript({Server::send("HTTP/1.1 200 OK\r\n\r\nfirst piece"), Server::pause(100),
                      Server::send("second"), Server::close()});
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.pieces.first(), QByteArray("first piece"));
    QCOMPARE(rec.pieces.last(), QByteArray("second"));
    QCOMPARE(cli.ReceivedBytes, 17);
}

void TestHttpCli::bodyIsReadInLargeBlocks()
{
    Server server;
    QByteArray page(4 * 1024 * 1024, 'b');
    server.addScript({Server::send("HTTP/1.0 200 OK\r\n\r\n"), Server::pause(50), Server::send(page), Server::close()});
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.body.data().size(), page.size());
    int largest = 0;
    for (const QByteArray &piece : rec.pieces)
        largest = std::max(largest, int(piece.size()));
    QVERIFY2(largest > 8192, qPrintable(QString::number(largest)));
}

void TestHttpCli::memoryStreamHoldsTheWholeBody()
{
    Server server;
    QByteArray page(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < page.size(); ++i)
        page[i] = char(i % 251);
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\n" + page));
    THttpCli cli;
    TRecorder rec(cli);
    TMemoryStream stream;
    cli.ReceiveStream = &stream;
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(stream.size(), page.size());
    QVERIFY(stream.toByteArray() == page);
    QVERIFY(stream.seek(10));
    QCOMPARE(stream.read(3), page.mid(10, 3));
    QVERIFY(!stream.seek(page.size() + 1));

    // Cleared, it keeps its warm memory for the next body, up to a limit.
    const qint64 capacity = stream.capacity();
    stream.clear();
    QCOMPARE(stream.size(), 0);
    QCOMPARE(stream.capacity(), capacity);
    QCOMPARE(stream.write("abc", 3), 3);
    QCOMPARE(stream.toByteArray(), QByteArray("abc"));
    QVERIFY(stream.reserve(TMemoryStream::kKeptCapacity + 1));
    stream.clear();
    QCOMPARE(stream.capacity(), 0);
}

void TestHttpCli::requestLines_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("proxy");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("proxyUser");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray common = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                              "User-Agent: Mozilla/3.0 (compatible)\r\n";
    QTest::newRow("direct") << "/a/b.htm" << "" << "" << ""
                            << "GET /a/b.htm HTTP/1.0\r\n" + common + "Host: 127.0.0.1:PORT\r\nPragma: no-cache\r\n\r\n";
    QTest::newRow("bare host") << "" << "" << "" << ""
                               << "GET / HTTP/1.0\r\n" + common + "Host: 127.0.0.1:PORT\r\nPragma: no-cache\r\n\r\n";
    QTest::newRow("credentials from the properties") << "/x" << "" << "me:secret" << ""
        << "GET /x HTTP/1.0\r\n" + common + "Host: 127.0.0.1:PORT\r\nPragma: no-cache\r\n"
           "Authorization: Basic bWU6c2VjcmV0\r\n\r\n";
    QTest::newRow("credentials in the URL") << "URL-CREDENTIALS" << "" << "" << ""
        << "GET /p HTTP/1.0\r\n" + common + "Host: 127.0.0.1:PORT\r\nPragma: no-cache\r\n"
           "Authorization: Basic dTpw\r\n\r\n";
    QTest::newRow("through a proxy") << "http://example.org:8080/x.jpg" << "PROXY" << "" << "pu:pp"
        << "GET http://example.org:8080/x.jpg HTTP/1.0\r\n" + common + "Host: example.org:8080\r\nPragma: no-cache\r\n"
           "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n";
    QTest::newRow("proxy, no port in URL") << "http://example.org/" << "PROXY" << "" << ""
        << "GET http://example.org/ HTTP/1.0\r\n" + common + "Host: example.org\r\nPragma: no-cache\r\n\r\n";
    QTest::newRow("non-ASCII path") << QString::fromUtf8("/bl\xc3\xa5 b.jpg") << "" << "" << ""
        << "GET /bl%C3%A5%20b.jpg HTTP/1.0\r\n" + common + "Host: 127.0.0.1:PORT\r\nPragma: no-cache\r\n\r\n";
}

void TestHttpCli::requestLines()
{
    QFETCH(QString, path);
    QFETCH(QString, proxy);
    QFETCH(QString, user);
    QFETCH(QString, proxyUser);
    QFETCH(QByteArray, expected);
    Server server;
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\n"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.NoCache = true;
    if (path == "URL-CREDENTIALS")
        cli.URL = QString("http://u:p@127.0.0.1:%1/p").arg(server.port());
    else if (proxy.isEmpty())
        cli.URL = url(server, path);
    else
        cli.URL = path;
    if (!proxy.isEmpty()) {
        cli.Proxy = "127.0.0.1";
        cli.ProxyPort = QString::number(server.port());
    }
    if (!user.isEmpty()) {
        cli.Username = user.section(':', 0, 0);
        cli.Password = user.section(':', 1);
    }
    if (!proxyUser.isEmpty()) {
        cli.ProxyUsername = proxyUser.section(':', 0, 0);
        cli.ProxyPassword = proxyUser.section(':', 1);
    }
    runUntilDone(cli, rec);
    expected.replace("PORT", QByteArray::number(server.port()));
    QCOMPARE(server.requests().value(0), expected);
}

void TestHttpCli::relocationTargets_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QByteArray>("requestLine");
    QTest::newRow("rooted path") << "/moved/here.htm" << QByteArray("GET /moved/here.htm HTTP/1.0");
    QTest::newRow("absolute") << "http://127.0.0.1:PORT/abs.htm" << QByteArray("GET /abs.htm HTTP/1.0");
    QTest::newRow("absolute, no path") << "http://127.0.0.1:PORT" << QByteArray("GET / HTTP/1.0");
    QTest::newRow("scheme-relative") << "//127.0.0.1:PORT/other.htm" << QByteArray("GET /other.htm HTTP/1.0");
    QTest::newRow("bare file name") << "file.html" << QByteArray("GET /dir/file.html HTTP/1.0");
    QTest::newRow("relative path") << "next/page.htm?q=1" << QByteArray("GET /dir/next/page.htm?q=1 HTTP/1.0");
    QTest::newRow("up a level") << "../up.htm" << QByteArray("GET /up.htm HTTP/1.0");
    // As browsers follow them: UTF-8 escaped once, no fragment, dots and
    // backslashes resolved, blanks around the value dropped.
    QTest::newRow("UTF-8 path") << "/straße/ö.jpg" << QByteArray("GET /stra%C3%9Fe/%C3%B6.jpg HTTP/1.0");
    QTest::newRow("fragment") << "/here.htm#top" << QByteArray("GET /here.htm HTTP/1.0");
    QTest::newRow("absolute with dot segments") << "http://127.0.0.1:PORT/foo/bar/../ton" << QByteArray("GET /foo/ton HTTP/1.0");
    QTest::newRow("backslashes") << "\\back\\slash.htm?a\\b" << QByteArray("GET /back/slash.htm?a\\b HTTP/1.0");
    QTest::newRow("blanks around") << " /blank.htm \t " << QByteArray("GET /blank.htm HTTP/1.0");
}

void TestHttpCli::relocationTargets()
{
    QFETCH(QString, location);
    QFETCH(QByteArray, requestLine);
    Server server;
    location.replace("PORT", QString::number(server.port()));
    server.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: " + location.toUtf8() + "\r\n\r\nmoved"));
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nthere"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server, "/dir/start.htm");
    runUntilDone(cli, rec);
    QCOMPARE(server.connections(), 2);
    QVERIFY2(server.requests().value(1).startsWith(requestLine + "\r\n"), server.requests().value(1).constData());
    QVERIFY(server.requests().value(1).contains("\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n"));
    QCOMPARE(rec.body.data(), QByteArray("there")); // the relocating page's body is dropped
    QCOMPARE(rec.events.filter(QRegularExpression("^Location ")).size(), 1);
    QCOMPARE(rec.events.filter("HeaderBegin").size(), 2);
    QCOMPARE(rec.events.filter("DocBegin").size(), 1);
    QCOMPARE(rec.lastError, 0);
}

void TestHttpCli::relocationsAreBounded()
{
    Server server;
    // A chain of three is followed to its end.
    for (int hop = 1; hop <= 3; ++hop)
        server.addScript(Server::reply(QString("HTTP/1.0 301 Moved\r\nLocation: /hop%1\r\n\r\n").arg(hop).toLatin1()));
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nend"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.body.data(), QByteArray("end"));
    QCOMPARE(server.connections(), 4);

    // A server that sends the client to itself forever is given up on.
    Server loop;
    loop.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: /again\r\n\r\n"));
    THttpCli looping;
    TRecorder looped(looping);
    looping.URL = url(loop);
    runUntilDone(looping, looped, 30000);
    QCOMPARE(loop.connections(), THttpCli::kMaxRelocations + 1);
    QCOMPARE(looping.ResponseCode, 404);
    QCOMPARE(looping.ResponseText, QString("Too many relocations"));
    QCOMPARE(looped.lastError, THttpCli::kTooManyRelocations);
    QCOMPARE(looped.done, 1);
}

void TestHttpCli::postSendsItsBodyAfterTheHeader()
{
    Server server;
    server.setReadRequest(false);
    server.addScript({Server::readSlowly(0)});
    THttpCli cli;
    TRecorder rec(cli);
    QVERIFY_THROWS_EXCEPTION(EHttpException, cli.StartPost()); // nothing to post
    QBuffer form;
    form.setData(QByteArray(20000, 'f'));
    form.open(QIODevice::ReadOnly);
    cli.PostStream = &form;
    bool ended = false;
    cli.OnSendEnd = [&](THttpCli *) { ended = true; };
    cli.URL = url(server, "/form");
    cli.StartPost();
    QTRY_VERIFY(ended);
    QCOMPARE(cli.PostedBytes, 20000);
    cli.AbortRequest();
    QTRY_VERIFY(server.received().endsWith(QByteArray(20000, 'f')));
    const QByteArray sent = server.received();
    QVERIFY(sent.startsWith("POST /form HTTP/1.0\r\n"));
    QVERIFY(sent.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    QVERIFY(sent.contains("\r\nContent-Length: 20000\r\n\r\nffff"));
}

void TestHttpCli::proxyRelocationKeepsThePort_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QByteArray>("requestLine");
    QTest::newRow("absolute with port") << "http://example.org:8080/next"
                                        << QByteArray("GET http://example.org:8080/next HTTP/1.0");
    QTest::newRow("rooted") << "/rooted" << QByteArray("GET http://example.org:8080/rooted HTTP/1.0");
}

void TestHttpCli::proxyRelocationKeepsThePort()
{
    QFETCH(QString, location);
    QFETCH(QByteArray, requestLine);
    Server proxy;
    proxy.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: " + location.toLatin1() + "\r\n\r\n"));
    proxy.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nthere"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.Proxy = "127.0.0.1";
    cli.ProxyPort = QString::number(proxy.port());
    cli.URL = "http://example.org:8080/start";
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, 0);
    QVERIFY(proxy.requests().value(0).startsWith("GET http://example.org:8080/start HTTP/1.0\r\n"));
    QVERIFY2(proxy.requests().value(1).startsWith(requestLine + "\r\n"), proxy.requests().value(1).constData());
    QCOMPARE(cli.CurrentLocation, QString::fromLatin1(requestLine.mid(4, requestLine.size() - 13)));
}

void TestHttpCli::relocationToAnotherHostUsesItsOwnPort()
{
    // From a server on some port to a URL without a port: port 80 is meant,
    // not the first server's, which must not be asked a second time.
    Server server;
    server.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1/x\r\n\r\n"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(server.connections(), 1);
    QCOMPARE(cli.CurrentLocation, QString("http://127.0.0.1/x"));
}

void TestHttpCli::relocationResetsTheExpectedLength()
{
    Server server;
    server.addScript(Server::reply("HTTP/1.0 302 Found\r\nLocation: /next\r\nContent-Length: 5\r\n\r\nmoved"));
    server.addScript(Server::reply("HTTP/1.0 200 OK\r\n\r\nno length here"));
    THttpCli cli;
    TRecorder rec(cli);
    cli.URL = url(server);
    runUntilDone(cli, rec);
    QCOMPARE(rec.lastError, 0);
    QCOMPARE(cli.ExpectedLength, -1);
    QCOMPARE(rec.body.data(), QByteArray("no length here"));
}

void TestHttpCli::fastTransferLeavesTheEventLoopRunning()
{
    // 256 MiB as fast as loopback goes: the window's timers must keep running.
    const QByteArray block(1024 * 1024, 'f');
    Server server;
    server.addScript({Server::send("HTTP/1.0 200 OK\r\n\r\n"), Server::repeat(block, 256), Server::close()});
    THttpCli cli;
    int done = 0;
    cli.OnRequestDone = [&](THttpCli *, THttpRequest, int) { ++done; };
    // A reader that does some work per byte, as storing a body does: data
    // keeps arriving faster than it is taken.
    quint64 sum = 0;
    cli.OnDocData = [&](THttpCli *, const char *data, int len) {
        for (int i = 0; i < len; ++i)
            sum = sum * 31 + uchar(data[i]);
    };
    // Timer ticks that come while the body is half received: the transfer
    // hands the loop back between its reads, however fast the machine.
    int ticksWithinTheBody = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (cli.ReceivedBytes > 0 && cli.ReceivedBytes < 256LL * 1024 * 1024)
            ++ticksWithinTheBody;
    });
    cli.URL = url(server);
    cli.StartFetch();
    ticker.start();
    QTRY_VERIFY_WITH_TIMEOUT(done == 1, 60000);
    QCOMPARE(cli.ReceivedBytes, 256LL * 1024 * 1024);
    QVERIFY(sum != 0);
    QVERIFY2(ticksWithinTheBody >= 10, qPrintable(QString("%1 ticks").arg(ticksWithinTheBody)));
}

QTEST_MAIN(TestHttpCli)
#include "tst_httpcli.moc"
