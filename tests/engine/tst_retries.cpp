#include "DownloadFixture.h"
#include "HttpEngine.h"
#include "Parts.h"
#include "ItemState.h"
#include "RetryPolicy.h"
#include "TreeNode.h"

#include <QDir>
#include <QSpinBox>
#include <QtTest>

#include <algorithm>

// Failed transfers tried again: which failures are worth it, the pause
// before each try, and runs against a server that says "later".
class TestRetries : public TDownloadFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void whatIsWorthRetrying();
    void pauseBeforeEachTry_data();
    void pauseBeforeEachTry();
    void serverThatSaysLaterGetsItsFileAndHoldsTheOthers();
    void triesRunOut();
    void offByDefault();
    void cutTransferGoesOn_data();
    void cutTransferGoesOn();
    void finishWaitsForARetryThatMovedBack();

private:
    int requestsFor(const QByteArray &path) const
    {
        const QList<QByteArray> all = server->requests();
        return int(std::count_if(all.cbegin(), all.cend(), [&path](const QByteArray &r) { return r.contains(path); }));
    }
    void retries(int count) { Part<QSpinBox>(*w->configuration, "SpinEditRetries")->setValue(count); }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            w->engine->TimerCheckDownloadTimer();
    }
};

void TestRetries::whatIsWorthRetrying()
{
    const auto worthRetrying = [](int error, int status) {
        return RetryMayHelp(TFormHttpEngine::failureOf(error, status), status);
    };
    for (int status : {408, 429, 500, 502, 503, 504})
        QVERIFY2(worthRetrying(0, status), qPrintable(QString::number(status)));
    for (int status : {200, 301, 400, 401, 403, 404, 501})
        QVERIFY2(!worthRetrying(0, status), qPrintable(QString::number(status)));
    QVERIFY(worthRetrying(10061, 404));                          // refused: the status is the client's own
    QVERIFY(worthRetrying(THttpCli::kIncompleteResponse, 200)); // a cut body
    for (int error : {THttpCli::kAborted, THttpCli::kCertificateError, THttpCli::kTlsError, THttpCli::kInvalidUrl,
                      TFormHttpEngine::kNotFetchable, THttpCli::kWrongRange})
        QVERIFY2(!worthRetrying(error, 200), qPrintable(QString::number(error)));
}

void TestRetries::pauseBeforeEachTry_data()
{
    QTest::addColumn<int>("attempt");
    QTest::addColumn<QString>("retryAfter");
    QTest::addColumn<int>("seconds");
    QTest::newRow("first") << 1 << "" << 1;
    QTest::newRow("second") << 2 << "" << 2;
    QTest::newRow("fifth") << 5 << "" << 16;
    QTest::newRow("many") << 30 << "" << 300;
    QTest::newRow("seconds") << 1 << "7" << 7;
    QTest::newRow("too long") << 1 << "86400" << 300;
    QTest::newRow("date ahead") << 1 << "Wed, 09 Dec 2026 12:00:30 GMT" << 30;
    QTest::newRow("date passed") << 3 << "Wed, 09 Dec 2026 11:00:00 GMT" << 0;
    QTest::newRow("nonsense") << 3 << "soon" << 4;
    QTest::newRow("negative") << 2 << "-5" << 2;
}

void TestRetries::pauseBeforeEachTry()
{
    QFETCH(int, attempt);
    QFETCH(QString, retryAfter);
    QFETCH(int, seconds);
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    QCOMPARE(RetryPolicy::delaySeconds(attempt, retryAfter, now), seconds);
    QCOMPARE(RetryPolicy::retryAfterField({"Content-Type: x", "retry-after:  " + retryAfter}), retryAfter.trimmed());
}

void TestRetries::serverThatSaysLaterGetsItsFileAndHoldsTheOthers()
{
    retries(2);
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(1);
    // a.jpg: "later" on the first connection, the file on the next ones.
    server->addScript(Server::reply("HTTP/1.0 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Length: 0\r\n\r\n"));
    server->addScript(Server::page(body(3000, 'a'), "image/jpeg"));
    server->route("/b.jpg", Server::page(body(4000, 'b'), "image/jpeg"));
    TTreeNode *first = addFile(url("/a.jpg"));
    TTreeNode *second = addFile(url("/b.jpg"));
    w->downloads->ButtonDownloadClick();
    tick();
    QTRY_COMPARE(first->caption(), QString("a.jpg  (HTTP error 503 !)"));
    QCOMPARE(first->toolTip(0), QString("HTTP 503 Service Unavailable - trying again in 1 s (1 of 2)"));
    // The server asked for a second: its other file waits too, and the run goes on.
    tick(3);
    QCOMPARE(w->engine->activeCount(), 0);
    QCOMPARE(server->requests().size(), 1);
    finishRun();
    QVERIFY(w->run.busy());
    QTRY_COMPARE_WITH_TIMEOUT(first->caption(), QString("a.jpg"), 5000); // queued again, behind b.jpg
    QTRY_VERIFY((tick(), first->imageIndex() == TreeIcon::FileStored && second->imageIndex() == TreeIcon::FileStored));
    QCOMPARE(fileAt("a.jpg"), body(3000, 'a'));
    QCOMPARE(fileAt("b.jpg"), body(4000, 'b'));
    QVERIFY(first->toolTip(0).isEmpty());
    finishRun();
    QVERIFY(!w->run.busy());
    QCOMPARE(w->engine->progress(0).stored, 2);
    QCOMPARE(w->engine->progress(0).failed, 0);
    expectIdle();
}

void TestRetries::triesRunOut()
{
    retries(1);
    server->route("/down.jpg", Server::reply("HTTP/1.0 500 Internal Server Error\r\nRetry-After: 0\r\nContent-Length: 0\r\n\r\n"));
    server->route("/gone.jpg", Server::reply("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
    TTreeNode *down = addFile(url("/down.jpg"));
    TTreeNode *gone = addFile(url("/gone.jpg"));
    w->downloads->ButtonDownloadClick();
    tick(2);
    QTRY_COMPARE(gone->caption(), QString("gone.jpg  (HTTP error 404 !)"));
    QTRY_COMPARE(w->engine->pendingRetries() + w->engine->activeCount(), 0);
    tick();
    QTRY_COMPARE(requestsFor("down.jpg"), 2);
    QTRY_VERIFY(allEnded());
    QCOMPARE(down->caption(), QString("down.jpg  (HTTP error 500 !)"));
    QCOMPARE(down->toolTip(0), QString("HTTP 500 Internal Server Error")); // no try left
    QCOMPARE(requestsFor("gone.jpg"), 1);                // a 404 is not tried again
    finishRun();
    expectIdle();
}

void TestRetries::offByDefault()
{
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditRetries")->value(), 0);
    server->route("/busy.jpg", Server::reply("HTTP/1.0 503 Service Unavailable\r\nRetry-After: 0\r\nContent-Length: 0\r\n\r\n"));
    TTreeNode *busy = addFile(url("/busy.jpg"));
    w->downloads->ButtonDownloadClick();
    tick();
    QTRY_COMPARE(busy->caption(), QString("busy.jpg  (HTTP error 503 !)"));
    QCOMPARE(w->engine->pendingRetries(), 0);
    finishRun();
    QCOMPARE(server->requests().size(), 1);
    expectIdle();
}

void TestRetries::cutTransferGoesOn_data()
{
    const QByteArray whole = body(10000, 'w');
    const QByteArray changed = body(12000, 'c');
    const QByteArray rest = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 4000-9999/10000\r\nContent-Length: 6000\r\n\r\n"
                            + whole.mid(4000);
    QTest::addColumn<QByteArray>("firstFields");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QByteArray>("askedAgain"); // the range lines of the second request, or "" for none
    QTest::addColumn<QByteArray>("stored");      // "" when nothing may be stored
    QTest::newRow("same file: the rest is asked for and appended")
        << QByteArray("Accept-Ranges: bytes\r\nETag: \"v1\"\r\n") << rest
        << QByteArray("Range: bytes=4000-\r\nIf-Range: \"v1\"\r\n") << whole;
    QTest::newRow("weak ETag: Last-Modified vouches instead")
        << QByteArray("Accept-Ranges: bytes\r\nETag: W/\"v1\"\r\nLast-Modified: Tue, 08 Dec 2026 10:00:00 GMT\r\n") << rest
        << QByteArray("Range: bytes=4000-\r\nIf-Range: Tue, 08 Dec 2026 10:00:00 GMT\r\n") << whole;
    QTest::newRow("changed since: the whole new file replaces the part")
        << QByteArray("Accept-Ranges: bytes\r\nETag: \"v1\"\r\n")
        << "HTTP/1.1 200 OK\r\nETag: \"v2\"\r\nContent-Length: 12000\r\n\r\n" + changed
        << QByteArray("Range: bytes=4000-\r\nIf-Range: \"v1\"\r\n") << changed;
    QTest::newRow("no ranges: asked for whole")
        << QByteArray("ETag: \"v1\"\r\n") << "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + whole << QByteArray() << whole;
    QTest::newRow("nothing to vouch for the part: asked for whole")
        << QByteArray("Accept-Ranges: bytes\r\n") << "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + whole
        << QByteArray() << whole;
    QTest::newRow("the rest from the wrong place is not appended")
        << QByteArray("Accept-Ranges: bytes\r\nETag: \"v1\"\r\n")
        << "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-5999/10000\r\nContent-Length: 6000\r\n\r\n" + whole.left(6000)
        << QByteArray("Range: bytes=4000-\r\nIf-Range: \"v1\"\r\n") << QByteArray();
    QTest::newRow("the rest of another version is not appended")
        << QByteArray("Accept-Ranges: bytes\r\nETag: \"v1\"\r\n")
        << "HTTP/1.1 206 Partial Content\r\nETag: \"v2\"\r\nContent-Range: bytes 4000-9999/10000\r\nContent-Length: 6000\r\n\r\n"
               + changed.mid(4000, 6000)
        << QByteArray("Range: bytes=4000-\r\nIf-Range: \"v1\"\r\n") << QByteArray();
}

void TestRetries::cutTransferGoesOn()
{
    QFETCH(QByteArray, firstFields);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, askedAgain);
    QFETCH(QByteArray, stored);
    retries(1);
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(1); // one client for every file
    const QByteArray whole = body(10000, 'w');
    // The first answer is cut off after 4000 of its 10000 bytes.
    server->addScript({Server::send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n" + firstFields + "\r\n" + whole.left(4000)),
                       Server::close()});
    server->addScript(Server::reply(second));
    TTreeNode *file = addFile(url("/big.jpg"));
    w->downloads->ButtonDownloadClick();
    tick();
    QTRY_VERIFY(w->engine->pendingRetries() == 1);
    QTRY_VERIFY_WITH_TIMEOUT((tick(), server->requests().size() == 2), 5000);
    QTRY_VERIFY(allEnded() && w->engine->pendingRetries() == 0); // the file named too, on its own thread
    finishRun();
    const QByteArray request = server->requests().at(1);
    if (askedAgain.isEmpty())
        QVERIFY2(!request.contains("Range"), request.constData());
    else
        QVERIFY2(request.contains("\r\n" + askedAgain), request.constData());
    if (stored.isEmpty()) {
        QCOMPARE(file->caption(), QString("big.jpg  (Aborted !)"));
        QVERIFY2(file->toolTip(0).startsWith("the server sent "), qPrintable(file->toolTip(0)));
        QCOMPARE(QDir(downloadDir()).entryList(QDir::Files | QDir::Hidden), QStringList());
    } else {
        QVERIFY(ItemState::isStored(file->ref()));
        QCOMPARE(fileAt("big.jpg"), stored);
    }
    expectIdle();
    // The same client's next files are asked for whole and stored whole.
    server->route("/n1.jpg", Server::page(body(7000, '1'), "image/jpeg"));
    server->route("/n2.jpg", Server::page(body(8000, '2'), "image/jpeg"));
    TTreeNode *n1 = addFile(url("/n1.jpg"));
    TTreeNode *n2 = addFile(url("/n2.jpg"));
    w->downloads->ButtonDownloadClick();
    QTRY_VERIFY((tick(), ItemState::isStored(n1->ref()) && ItemState::isStored(n2->ref())));
    QCOMPARE(fileAt("n1.jpg"), body(7000, '1'));
    QCOMPARE(fileAt("n2.jpg"), body(8000, '2'));
    const QList<QByteArray> sent = server->requests();
    for (qsizetype i = 2; i < sent.size(); ++i)
        QVERIFY2(!sent.at(i).contains("Range"), sent.at(i).constData());
    finishRun();
}

void TestRetries::finishWaitsForARetryThatMovedBack()
{
    // The finish tick reads the queue as it is, not as the last count saw it.
    retries(1);
    server->addScript(Server::reply("HTTP/1.0 503 Service Unavailable\r\nRetry-After: 0\r\nContent-Length: 0\r\n\r\n"));
    server->addScript(Server::page(body(3000, 'r'), "image/jpeg"));
    TTreeNode *file = addFile(url("/r.jpg"));
    w->downloads->ButtonDownloadClick();
    tick();
    QTRY_COMPARE(w->engine->pendingRetries(), 1);
    w->downloads->TimerUpdateTimer(); // counts an empty queue
    QTRY_COMPARE(w->engine->pendingRetries(), 0);
    w->downloads->TimerDownloadFinishTimer();
    QVERIFY(w->run.busy());
    QTRY_VERIFY((tick(), ItemState::isStored(file->ref())));
    QCOMPARE(fileAt("r.jpg"), body(3000, 'r'));
    finishRun();
    QVERIFY(!w->run.busy());
    expectIdle();
}

QTEST_MAIN(TestRetries)
#include "tst_retries.moc"
