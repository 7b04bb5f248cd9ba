#include "ScriptedServer.h"
#include "SocketErrors.h"
#include "WSockBuf.h"
#include "WSocket.h"

#include <QtTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include <cerrno>

class TestWSocket : public QObject
{
    Q_OBJECT

private slots:
    void sendQueueChunks();
    void errorNumbersAndTexts_data();
    void errorNumbersAndTexts();
    void dottedAddressIsLookedUpBeforeReturning();
    void hostNameLookupCompletesLater();
    void cancelledLookupReportsInterruptedOnce();
    void stalledLookupHoldsNeitherWindowNorExit();
    void refusedConnectPassesConnectedThenCloses();
    void peerCloseDeliversPendingDataFirst();
    void sendWhileClosedIsReported();
    void bigSendToASlowReaderIsQueued();
    void propertiesAreRefusedWhileOpen();
    void socketIsReusedAfterClose();
    void readerClosingAtTheEndReportsOneClosePerConnection();
    void failingReadHandlerIsRetriedWhenThePeerCloses();
    void exceptionsInOtherHandlersAbortTheSession();

private:
    static void connectTo(TWSocket &socket, quint16 port);
};

void TestWSocket::sendQueueChunks()
{
    TBuffer chunk;
    QCOMPARE(chunk.size(), 1514);
    QCOMPARE(TBuffer(0).size(), 1514);
    const QByteArray data(2000, 'x');
    QCOMPARE(chunk.append(data.constData(), 2000), 1514);
    QCOMPARE(chunk.append(data.constData(), 10), 0);
    int count = 0;
    chunk.peek(&count);
    QCOMPARE(count, 1514);
    QCOMPARE(chunk.consume(1000), 1000);
    QCOMPARE(chunk.unread(), 514);
    QCOMPARE(chunk.consume(9999), 514);
    // Everything consumed: the chunk can be filled again from the start.
    QVERIFY(!chunk.peek(&count));
    QCOMPARE(chunk.append(data.constData(), 20), 20);
}

void TestWSocket::errorNumbersAndTexts_data()
{
    QTest::addColumn<int>("posix");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("refused") << ECONNREFUSED << 10061 << "Connection refused";
    QTest::newRow("reset") << ECONNRESET << 10054 << "Connection reset by peer";
    QTest::newRow("would block") << EAGAIN << 10035 << "Operation would block";
    QTest::newRow("in progress") << EINPROGRESS << 10036 << "Operation now in progress";
    QTest::newRow("not connected") << ENOTCONN << 10057 << "Socket is not connected";
    QTest::newRow("timed out") << ETIMEDOUT << 10060 << "Connection timed out";
    QTest::newRow("broken pipe") << EPIPE << 10053 << "Connection aborted";
    QTest::newRow("none") << 0 << 0 << "No Error";
}

void TestWSocket::errorNumbersAndTexts()
{
    QFETCH(int, posix);
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(SocketErrorFromErrno(posix), code);
    QCOMPARE(SocketErrorText(code), text);
    QCOMPARE(SocketErrorText(11001), QString("Host not found"));
    QCOMPARE(SocketErrorText(12345), QString("Not a WinSock error"));
}

void TestWSocket::dottedAddressIsLookedUpBeforeReturning()
{
    TWSocket socket;
    QList<int> done;
    socket.OnDnsLookupDone = [&](TWSocket *, int error) { done << error; };
    socket.LookupHost("127.0.0.1");
    QCOMPARE(done, QList<int>{0});
    QCOMPARE(socket.DnsResult(), QString("127.0.0.1"));
    socket.LookupHost("127.1");
    QCOMPARE(socket.DnsResult(), QString("127.0.0.1"));
    QCOMPARE(done.size(), 2);
    QVERIFY_THROWS_EXCEPTION(ESocketException, socket.LookupHost(""));
}

void TestWSocket::hostNameLookupCompletesLater()
{
    TWSocket socket;
    QList<int> done;
    socket.OnDnsLookupDone = [&](TWSocket *, int error) { done << error; };
    socket.LookupHost("localhost");
    QVERIFY(done.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(done, QList<int>{0}, 10000);
    QVERIFY(socket.DnsResultList().contains("127.0.0.1"));
}

void TestWSocket::cancelledLookupReportsInterruptedOnce()
{
    TWSocket socket;
    QList<int> done;
    socket.OnDnsLookupDone = [&](TWSocket *, int error) { done << error; };
    socket.LookupHost("localhost");
    socket.CancelLookup();
    QCOMPARE(done, QList<int>{10004});
    QTest::qWait(300);
    QCOMPARE(done, QList<int>{10004});
    socket.CancelLookup(); // nothing pending: nothing reported
    QCOMPARE(done.size(), 1);
}

namespace {

// A name server that never answers within the life of the test.
THostAddresses stalledResolver(const QString &)
{
    std::this_thread::sleep_for(std::chrono::seconds(8));
    return {SocketError::HostNotFound, {}};
}

// Run as a child process: starts a look-up that stalls, gives up on it and
// ends the process at once.
int cancelLookupAndExit(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TWSocket socket;
    socket.setResolver(stalledResolver);
    socket.LookupHost("stalled.example");
    QTimer::singleShot(50, &app, [&] {
        socket.CancelLookup();
        app.quit();
    });
    return app.exec();
}

} // namespace

void TestWSocket::stalledLookupHoldsNeitherWindowNorExit()
{
    TWSocket socket;
    socket.setResolver(stalledResolver);
    QList<int> done;
    socket.OnDnsLookupDone = [&](TWSocket *, int error) { done << error; };
    QElapsedTimer clock;
    clock.start();
    socket.LookupHost("stalled.example");
    QVERIFY(clock.elapsed() < 5000); // a guard: the resolver stalls for 8 s
    socket.CancelLookup();
    QCOMPARE(done, QList<int>{10004});

    QProcess child;
    clock.restart();
    child.start(QCoreApplication::applicationFilePath(), {"--cancel-lookup-and-exit"});
    QVERIFY(child.waitForFinished(6000)); // before the 8 s stall is over
    QCOMPARE(child.exitCode(), 0);
}

void TestWSocket::connectTo(TWSocket &socket, quint16 port)
{
    socket.setAddr("127.0.0.1");
    socket.setPort(QString::number(port));
    socket.setProto("tcp");
    socket.Connect();
}

void TestWSocket::refusedConnectPassesConnectedThenCloses()
{
    TWSocket socket;
    QStringList events;
    socket.OnChangeState = [&](TWSocket *, TSocketState, TSocketState to) { events << QString("state %1").arg(to); };
    socket.OnSessionConnected = [&](TWSocket *, int error) { events << QString("connected %1").arg(error); };
    socket.OnSessionClosed = [&](TWSocket *, int error) { events << QString("closed %1").arg(error); };
    connectTo(socket, TScriptedServer::refusedPort());
    QTRY_VERIFY(events.contains("closed 0"));
    QCOMPARE(events, (QStringList{"state 1", "state 3", "state 4", "connected 10061", "state 7", "closed 0"}));
}

void TestWSocket::peerCloseDeliversPendingDataFirst()
{
    TScriptedServer server;
    server.setReadRequest(false);
    server.addScript({TScriptedServer::send("first part, "), TScriptedServer::pause(50),
                      TScriptedServer::send("last part"), TScriptedServer::close()});
    TWSocket socket;
    QByteArray data;
    QStringList events;
    socket.OnSessionConnected = [&](TWSocket *, int error) { events << QString("connected %1").arg(error); };
    socket.OnDataAvailable = [&](TWSocket *s, int) {
        char buffer[4];
        const int n = s->Receive(buffer, sizeof(buffer)); // small reads: the loop must come back
        if (n > 0) {
            data.append(buffer, n);
            if (events.last() != "data")
                events << "data";
        }
    };
    socket.OnSessionClosed = [&](TWSocket *, int) { events << QString("closed, %1 bytes").arg(data.size()); };
    connectTo(socket, server.port());
    QTRY_VERIFY(!events.isEmpty() && events.last().startsWith("closed"));
    QCOMPARE(data, QByteArray("first part, last part"));
    QCOMPARE(events.first(), QString("connected 0"));
    QCOMPARE(events.last(), QString("closed, 21 bytes"));
    QCOMPARE(events.filter("closed").size(), 1);
    QCOMPARE(socket.State(), wsClosed);
}

void TestWSocket::sendWhileClosedIsReported()
{
    TWSocket socket;
    try {
        socket.Send("x", 1);
        QFAIL("no exception");
    } catch (const ESocketException &e) {
        QCOMPARE(e.message(), QString("Error 10057 in function Send\r\nSocket is not connected"));
    }
    QCOMPARE(socket.LastError(), 10057);
    int errors = 0;
    socket.OnError = [&](TWSocket *) { ++errors; };
    QCOMPARE(socket.Send("x", 1), -1);
    QCOMPARE(errors, 1);
}

void TestWSocket::bigSendToASlowReaderIsQueued()
{
    TScriptedServer server;
    server.setReadRequest(false);
    server.addScript({TScriptedServer::readSlowly(300)});
    TWSocket socket;
    bool connected = false, inSend = false, sentInside = false, closed = false;
    int dataSent = 0;
    qint64 sendDataBytes = 0;
    socket.OnSessionConnected = [&](TWSocket *, int error) { connected = error == 0; };
    socket.OnDataSent = [&](TWSocket *, int) {
        ++dataSent;
        sentInside |= inSend;
    };
    socket.OnSendData = [&](TWSocket *, int n) { sendDataBytes += n; };
    socket.OnSessionClosed = [&](TWSocket *, int) { closed = true; };
    connectTo(socket, server.port());
    QTRY_VERIFY(connected);

    QByteArray payload(32 * 1024 * 1024, Qt::Uninitialized); // more than any loopback buffer holds
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7 + (i >> 13));
    inSend = true;
    QCOMPARE(socket.Send(payload), int(payload.size()));
    inSend = false;
    QVERIFY(sendDataBytes < payload.size()); // the network did not take it all at once
    QTRY_COMPARE_WITH_TIMEOUT(dataSent, 1, 20000);
    QVERIFY(!sentInside);
    QCOMPARE(sendDataBytes, payload.size());
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), payload.size(), 20000);
    QVERIFY(server.received() == payload);
    socket.Close();
    QVERIFY(closed);
    QCOMPARE(dataSent, 1);
}

void TestWSocket::propertiesAreRefusedWhileOpen()
{
    TScriptedServer server;
    server.setReadRequest(false);
    server.addScript({TScriptedServer::hold()});
    TWSocket socket;
    bool connected = false;
    socket.OnSessionConnected = [&](TWSocket *, int) { connected = true; };
    connectTo(socket, server.port());
    QTRY_VERIFY(connected);
    QCOMPARE(socket.State(), wsConnected);
    QCOMPARE(socket.PeerAddr(), QString("127.0.0.1"));
    QCOMPARE(socket.PeerPort(), QString::number(server.port()));
    // Nagle's algorithm would hold a request's last piece (after a TLS
    // handshake's own write) until the peer acknowledges: a round trip lost.
    int noDelay = 0;
    socklen_t size = sizeof(noDelay);
    QCOMPARE(getsockopt(socket.HSocket(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    QCOMPARE(noDelay, 1);
    try {
        socket.setPort("81");
        QFAIL("no exception");
    } catch (const ESocketException &e) {
        QCOMPARE(e.message(), QString("Cannot change Port if not closed"));
    }
    socket.setPort(QString::number(server.port())); // the same value is no change
    socket.setAddr(" 127.0.0.1 ");
    QVERIFY_THROWS_EXCEPTION(ESocketException, socket.setAddr("10.0.0.1"));
    QVERIFY_THROWS_EXCEPTION(ESocketException, socket.Connect());
    socket.Close();
    QCOMPARE(socket.PeerAddr(), QString("error"));
}

void TestWSocket::socketIsReusedAfterClose()
{
    TScriptedServer server;
    server.setReadRequest(false);
    server.addScript(TScriptedServer::reply("one"));
    TWSocket socket;
    QByteArray data;
    int closed = 0;
    socket.OnDataAvailable = [&](TWSocket *s, int) {
        char buffer[64];
        const int n = s->Receive(buffer, sizeof(buffer));
        if (n > 0)
            data.append(buffer, n);
    };
    socket.OnSessionClosed = [&](TWSocket *, int) { ++closed; };
    for (int round = 1; round <= 3; ++round) {
        connectTo(socket, server.port());
        QTRY_COMPARE(closed, round);
        // Closing resets the assignment: the next connect must name its peer again.
        QVERIFY_THROWS_EXCEPTION(ESocketException, socket.Connect());
    }
    QCOMPARE(data, QByteArray("oneoneone"));
    QCOMPARE(socket.ReadCount(), 0);
}

void TestWSocket::readerClosingAtTheEndReportsOneClosePerConnection()
{
    // The reader sees the end of the data inside the socket's own last read
    // pass and closes from there: that close is the only one told, and the
    // next connection on the same socket still gets its own.
    TScriptedServer server;
    server.setReadRequest(false);
    server.addScript(TScriptedServer::reply("one"));
    TWSocket socket;
    QByteArray data;
    QList<int> closesPerRound;
    socket.OnDataAvailable = [&](TWSocket *s, int) {
        char buffer[64];
        const int n = s->Receive(buffer, sizeof(buffer));
        if (n > 0)
            data.append(buffer, n);
        else if (n == 0)
            s->Close();
    };
    socket.OnSessionClosed = [&](TWSocket *, int) { ++closesPerRound.last(); };
    for (int round = 1; round <= 3; ++round) {
        closesPerRound << 0;
        connectTo(socket, server.port());
        QTRY_COMPARE(closesPerRound.last(), 1);
        QTest::qWait(20); // a second report would come now
    }
    QCOMPARE(closesPerRound, (QList<int>{1, 1, 1}));
    QCOMPARE(data, QByteArray("oneoneone"));
}

void TestWSocket::failingReadHandlerIsRetriedWhenThePeerCloses()
{
    TScriptedServer server;
    server.setReadRequest(false);
    server.addScript({TScriptedServer::send("abc"), TScriptedServer::pause(200), TScriptedServer::close()});
    TWSocket socket;
    int calls = 0, closed = 0, background = 0;
    QByteArray data;
    socket.OnDataAvailable = [&](TWSocket *s, int) {
        if (++calls == 1)
            throw std::runtime_error("not now"); // takes nothing: the socket must not spin
        char buffer[16];
        const int n = s->Receive(buffer, sizeof(buffer));
        if (n > 0)
            data.append(buffer, n);
    };
    socket.OnSessionClosed = [&](TWSocket *, int) { ++closed; };
    socket.OnBgException = [&](TWSocket *, const std::exception &, bool &) { ++background; };
    connectTo(socket, server.port());
    QTRY_COMPARE(closed, 1);
    QCOMPARE(data, QByteArray("abc"));
    QVERIFY(calls <= 4);
    QCOMPARE(background, 0);
}

void TestWSocket::exceptionsInOtherHandlersAbortTheSession()
{
    TScriptedServer server;
    server.setReadRequest(false);
    server.addScript({TScriptedServer::hold()});
    TWSocket socket;
    QString seen;
    int closed = 0;
    socket.OnSessionConnected = [&](TWSocket *, int) { throw std::runtime_error("handler failed"); };
    socket.OnBgException = [&](TWSocket *, const std::exception &e, bool &canClose) {
        seen = QString::fromLatin1(e.what());
        QVERIFY(canClose);
    };
    socket.OnSessionClosed = [&](TWSocket *, int) { ++closed; };
    connectTo(socket, server.port());
    QTRY_COMPARE(closed, 1);
    QCOMPARE(seen, QString("handler failed"));
    QCOMPARE(socket.State(), wsClosed);
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--cancel-lookup-and-exit") == 0)
        return cancelLookupAndExit(1, argv);
    QCoreApplication app(argc, argv);
    TestWSocket test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_wsocket.moc"
