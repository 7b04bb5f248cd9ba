#include "DelayLink.h"
#include "DownloadFixture.h"
#include "DownloadQueue.h"
#include "DownloadScheduler.h"
#include "HttpEngine.h"
#include "ItemTree.h"
#include "Lamp.h"
#include "Parts.h"
#include "ScriptedServer.h"
#include "StatusPanels.h"
#include "TestPki.h"
#include "TreeDump.h"
#include "UrlRules.h"
#include "Windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

// What a download run never stores: failures, refused names and paths,
// a missing directory, a login meant for another server.
class TestDownloadFailures : public TDownloadFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void failuresStoreNothing_data();
    void failuresStoreNothing();
    void missingDirectoryIsOfferedBeforeTheRun_data();
    void missingDirectoryIsOfferedBeforeTheRun();
    void pathsAreMadeInTheDownloadDirectory();
    void httpsFilesAreStoredOrRefused();
    void siteLoginGoesToItsServerAlone();
    void parallelTlsTransfersOverASlowLinkLoseNothing_data();
    void parallelTlsTransfersOverASlowLinkLoseNothing();
    void namesThatCannotBeFilesFailAtHandOut_data();
    void namesThatCannotBeFilesFailAtHandOut();
    void failedFilesAreRetriedOnRequest();
    void bodyThatCannotTakeItsNameFails();
};

void TestDownloadFailures::failuresStoreNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Server::Script>("script");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("reason"); // in the item's tooltip
    QTest::newRow("error status")
        << "/e.jpg" << Server::reply("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found") << "  (HTTP error 404 !)"
        << "HTTP 404 Not Found";
    QTest::newRow("body shorter than its length")
        << "/e.jpg" << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 9000\r\n\r\nonly this") << "  (Aborted !)"
        << "connection closed before the response was complete (9 of 9000 bytes)";
    QTest::newRow("reset in the middle")
        << "/e.jpg" << Server::Script{Server::send("HTTP/1.0 200 OK\r\nContent-Length: 9000\r\n\r\npart"), Server::pause(200), Server::reset()}
        << "  (Aborted !)" << "the server broke the connection";
    QTest::newRow("refused") << "refused" << Server::Script{} << "  (Aborted !)" << "the server refused the connection";
    // Answers without a body are no file, whatever their header says.
    QTest::newRow("no content") << "/e.jpg" << Server::reply("HTTP/1.1 204 No Content\r\nTransfer-Encoding: chunked\r\n\r\n")
                                << "  (HTTP error 204 !)" << "HTTP 204 No Content: the server sent no file";
    QTest::newRow("not modified, after an interim answer")
        << "/e.jpg" << Server::reply("HTTP/1.1 103 Early Hints\r\n\r\nHTTP/1.1 304 Not Modified\r\n\r\n")
        << "  (HTTP error 304 !)" << "HTTP 304 Not Modified: the server sent no file";
    QTest::newRow("empty answer") << "/e.jpg" << Server::reply("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n")
                                  << "  (Aborted !)" << "the server sent an empty answer, no file";
    // A server that trickles a byte now and then never goes silent: its pace fails it.
    QTest::newRow("too slow") << "/e.jpg"
                              << Server::Script{Server::send("HTTP/1.0 200 OK\r\nContent-Length: 9000\r\n\r\na"), Server::pause(200),
                                                Server::send("b"), Server::pause(200), Server::send("c"), Server::hold()}
                              << "  (Time out !)" << "less than 1024 bytes in 0.3 s (too slow)";
    QTest::newRow("relative, no host to ask") << "relative" << Server::Script{} << "  (Not a fetchable URL !)"
                                              << "the link names no server (a relative link of a page loaded from disk?)";
    QTest::newRow("rooted, no host to ask") << "rooted" << Server::Script{} << "  (Not a fetchable URL !)"
                                            << "the link names no server (a relative link of a page loaded from disk?)";
    QTest::newRow("starts with //") << "//127.0.0.1:1/pics/e.jpg" << Server::Script{} << "  (Not a fetchable URL !)"
                                    << "the link \"//127.0.0.1:1/pics/e.jpg\" starts with // and names no scheme; links "
                                       "of that form are kept as they stand, without the page's server";
    QTest::newRow("an empty folder name") << "img//e.jpg" << Server::Script{} << "  (Not a fetchable URL !)"
                                          << "the link \"img//e.jpg\" holds // (an empty folder name); links of that "
                                             "form are kept as they stand, without the page's server";
}

void TestDownloadFailures::failuresStoreNothing()
{
    QFETCH(QString, path);
    QFETCH(Server::Script, script);
    QFETCH(QString, suffix);
    QFETCH(QString, reason);
    server->route(path.toLatin1(), script);
    // With "Overwrite existing" an older copy stays unless a new body replaces it.
    Part<QRadioButton>(*w->configuration, "RadioButtonOverwrite")->setChecked(true);
    const QString link = path.contains("//")  ? path
                         : path == "relative" ? QString("pics/e.jpg")
                         : path == "rooted"  ? QString("/pics/e.jpg")
                         : path == "refused" ? QString("http://127.0.0.1:%1/e.jpg").arg(Server::refusedPort())
                                             : url(path);
    TTreeNode *item = addFile(link);
    w->engine->setSlowFloor(300, 1024);
    QFile old(item->item()->localPath);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("older copy");
    old.close();
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(item->caption(), "e.jpg" + suffix);
    QCOMPARE(item->imageIndex(), TreeIcon::FileFailed);
    QCOMPARE(item->toolTip(0), reason);
    QCOMPARE(fileAt("e.jpg"), QByteArray("older copy"));
    QVERIFY(w->messages.filter("e.jpg").isEmpty()); // no message box per file
    finishRun();
    expectIdle();
    // The slot's client takes the next file.
    Part<QComboBox>(*w->main, "ComboBoxDownload")->setCurrentText(w->paths.defaultDownloadDir);
    server->route("/next.jpg", Server::page("next", "image/jpeg"));
    TTreeNode *next = addFile(url("/next.jpg"));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(next->imageIndex(), TreeIcon::FileStored);
    QVERIFY(next->toolTip(0).isEmpty());
}

void TestDownloadFailures::missingDirectoryIsOfferedBeforeTheRun_data()
{
    QTest::addColumn<bool>("create");
    QTest::newRow("no: nothing starts") << false;
    QTest::newRow("yes: made, and the run goes on") << true;
}

void TestDownloadFailures::missingDirectoryIsOfferedBeforeTheRun()
{
    QFETCH(bool, create);
    server->route("/e.jpg", Server::page("fine", "image/jpeg"));
    const QString missing = home->filePath("missing/deeper");
    Part<QComboBox>(*w->main, "ComboBoxDownload")->setCurrentText(missing);
    TTreeNode *item = addFile(url("/e.jpg"));
    w->answer = create;
    w->downloads->ButtonDownloadClick();
    QCOMPARE(w->questions.size(), 1);
    QVERIFY(w->questions.first().startsWith("The download directory does not exist !"));
    QCOMPARE(QFileInfo(missing).isDir(), create);
    if (!create) {
        QVERIFY(!w->run.busy());
        QCOMPARE(w->queue.remaining(), 0);
        QCOMPARE(item->imageIndex(), TreeIcon::FileNew);
        QCOMPARE(item->stateIndex(), int(StateChecked));
        QCOMPARE(server->connections(), 0);
        return;
    }
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(item->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(QFile(missing + "/e.jpg").size(), 4);
    finishRun();
    expectIdle();
}

void TestDownloadFailures::pathsAreMadeInTheDownloadDirectory()
{
    // An item whose path points elsewhere (from an edited item list, say).
    server->route("/x.jpg", Server::page("picture", "image/jpeg"));
    Part<QRadioButton>(*w->configuration, "RadioButtonOverwrite")->setChecked(true);
    const QString outside = home->filePath("outside.jpg");
    QFile precious(outside);
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("precious");
    precious.close();
    TTreeNode *item = addFile(url("/x.jpg"));
    item->item()->localPath = outside;
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(item->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(fileAt("x.jpg"), QByteArray("picture"));
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("precious"));
}

void TestDownloadFailures::httpsFilesAreStoredOrRefused()
{
    server->setTls(pki.server.certificate, pki.server.key);
    server->route("/s.jpg", Server::page(body(70000, 's'), "image/jpeg"));
    TTreeNode *good = addFile(QString("https://127.0.0.1:%1/s.jpg").arg(server->port()));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(good->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(fileAt("s.jpg"), body(70000, 's'));
    finishRun();

    Server untrusted;
    untrusted.setTls(pki.expired.certificate, pki.expired.key);
    untrusted.route("/e.jpg", Server::page("never", "image/jpeg"));
    TTreeNode *bad = addFile(QString("https://127.0.0.1:%1/e.jpg").arg(untrusted.port()));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(bad->caption(), QString("e.jpg  (Certificate error !)"));
    QCOMPARE(bad->imageIndex(), TreeIcon::FileFailed);
    QCOMPARE(fileAt("e.jpg"), QByteArray("<missing>"));
    finishRun();
    expectIdle();
}

void TestDownloadFailures::siteLoginGoesToItsServerAlone()
{
    // A login read from a link serves its own server; the window's goes only
    // to a server that asked for one (401), from then on up front.
    Server asking, silent;
    server->route("/mine.jpg", Server::page("mine", "image/jpeg"));
    asking.addScript(Server::reply("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n\r\nno"));
    asking.addScript(Server::page("theirs", "image/jpeg"));
    silent.route("/free.jpg", Server::page("free", "image/jpeg"));
    w->login.Username = "window";
    w->login.Password = "pw";
    w->login.setSiteLogin(ServerKey(url("/")), "me", "secret");
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(1);
    addFile(url("/mine.jpg"));
    TTreeNode *theirs = addFile(QString("http://127.0.0.1:%1/theirs.jpg").arg(asking.port()));
    TTreeNode *again = addFile(QString("http://127.0.0.1:%1/again.jpg").arg(asking.port()));
    addFile(QString("http://127.0.0.1:%1/free.jpg").arg(silent.port()));
    w->downloads->ButtonDownloadClick();
    QTRY_VERIFY((w->engine->TimerCheckDownloadTimer(), w->queue.remaining() == 0));
    QVERIFY(server->requests().value(0).contains("\r\nAuthorization: Basic bWU6c2VjcmV0\r\n"));
    const QList<QByteArray> asked = asking.requests();
    QCOMPARE(asked.size(), 3);
    QVERIFY(!asked.at(0).contains("Authorization"));
    QVERIFY(asked.at(1).contains("\r\nAuthorization: Basic d2luZG93OnB3\r\n"));
    QVERIFY(asked.at(2).contains("\r\nAuthorization: Basic d2luZG93OnB3\r\n"));
    QCOMPARE(theirs->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(again->imageIndex(), TreeIcon::FileStored);
    QVERIFY(!silent.requests().value(0).contains("Authorization"));
    finishRun();
    expectIdle();
}

void TestDownloadFailures::parallelTlsTransfersOverASlowLinkLoseNothing_data()
{
    QTest::addColumn<bool>("withLength");
    QTest::newRow("bodies with their length") << true;
    QTest::newRow("bodies ended by the server") << false;
}

void TestDownloadFailures::parallelTlsTransfersOverASlowLinkLoseNothing()
{
    // Every connection's end comes in a crowded loop, with the server's
    // close_notify and its close close together: no file may be lost.
    QFETCH(bool, withLength);
    constexpr int kFiles = 48;
    server->setTls(pki.server.certificate, pki.server.key);
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray picture = body(20000 + i, char('a' + i % 26));
        server->route(QString("/t%1.jpg").arg(i).toLatin1(),
                      withLength ? Server::page(picture, "image/jpeg")
                                 : Server::reply("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + picture));
    }
    TDelayLink link(server->port(), 10);
    Part<QCheckBox>(*w->configuration, "CheckBoxStartAll")->setChecked(true);
    Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->setValue(1000000);
    QList<TTreeNode *> items;
    for (int i = 0; i < kFiles; ++i)
        items << addFile(QString("https://127.0.0.1:%1/t%2.jpg").arg(link.port()).arg(i));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY_WITH_TIMEOUT(w->queue.remaining() == 0, 60000);
    for (int i = 0; i < kFiles; ++i) {
        QVERIFY2(items[i]->imageIndex() == TreeIcon::FileStored, qPrintable(items[i]->caption()));
        QVERIFY(fileAt(QString("t%1.jpg").arg(i)) == body(20000 + i, char('a' + i % 26)));
    }
    finishRun();
    expectIdle();
}

void TestDownloadFailures::namesThatCannotBeFilesFailAtHandOut_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("empty") << "/dir/";
    QTest::newRow("dot") << "/dir/.";
    QTest::newRow("dot dot") << "/dir/..";
}

void TestDownloadFailures::namesThatCannotBeFilesFailAtHandOut()
{
    QFETCH(QString, link);
    TTreeNode *item = addFile(url(link));
    w->downloads->ButtonDownloadClick();
    QCOMPARE(item->imageIndex(), TreeIcon::FileFailed);
    QCOMPARE(w->queue.size(), 0);
    QCOMPARE(server->connections(), 0);
    finishRun();
    expectIdle();
}

void TestDownloadFailures::failedFilesAreRetriedOnRequest()
{
    server->addScript(Server::reply("HTTP/1.0 503 Service Unavailable\r\nContent-Length: 4\r\n\r\nbusy"));
    server->addScript(Server::page(body(5000, 'r'), "image/jpeg"));
    TTreeNode *item = addFile(url("/later.jpg"));
    TTreeNode *stored = addFile(url("/stored.jpg"), StateDone);
    stored->setImageIndex(TreeIcon::FileStored);
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(item->caption(), QString("later.jpg  (HTTP error 503 !)"));
    finishRun();
    // The failure goes, the file is ticked and fetched again; stored files stay as they are.
    Part<QAction>(*w->main, "RetryFailed1")->trigger();
    QCOMPARE(item->caption(), QString("later.jpg"));
    QVERIFY(item->toolTip(0).isEmpty());
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(item->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(fileAt("later.jpg"), body(5000, 'r'));
    QCOMPARE(server->requests().size(), 2);
    QCOMPARE(stored->imageIndex(), TreeIcon::FileStored);
    finishRun();
    expectIdle();
}

void TestDownloadFailures::bodyThatCannotTakeItsNameFails()
{
    // The name is given off the window's thread; its failure still reaches
    // the item and the run, and the run is not over before it.
    Part<QRadioButton>(*w->configuration, "RadioButtonOverwrite")->setChecked(true);
    server->route("/taken.jpg", Server::page(body(3000, 't'), "image/jpeg"));
    server->route("/next.jpg", Server::page("next", "image/jpeg"));
    TTreeNode *item = addFile(url("/taken.jpg"));
    TTreeNode *next = addFile(url("/next.jpg"));
    QVERIFY(QDir().mkpath(item->item()->localPath + "/inside")); // a folder where the file would go
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(allEnded());
    QCOMPARE(item->caption(), QString("taken.jpg  (Write error !)"));
    QVERIFY2(item->toolTip(0).startsWith("cannot store " + item->item()->localPath), qPrintable(item->toolTip(0)));
    QVERIFY(QFileInfo(item->item()->localPath + "/inside").isDir());
    QCOMPARE(next->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(fileAt("next.jpg"), QByteArray("next"));
    QCOMPARE(QDir(downloadDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"next.jpg"}); // no leftovers
    finishRun();
    expectIdle();
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(0), QString(" Status: Not active - 1 file stored, 1 failed"));
}

QTEST_MAIN(TestDownloadFailures)
#include "tst_downloadfailures.moc"
