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
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <algorithm>

// Downloads through the real windows, slots and clients against loopback servers.
class TestDownloads : public TDownloadFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Slots
    void slotsFillOnePerTickLowestFirst();
    void fastStartFillsEverySlotAndRefillsAtCompletion();
    void sizeLimits_data();
    void sizeLimits();
    void sizeLimitHoldsWhileABodyWithoutLengthGrows_data();
    void sizeLimitHoldsWhileABodyWithoutLengthGrows();
    void longestNamesAreStored();
    void timeOutIsNeverShownAsAbort();

    // The run
    void storedFilesAreWholeAndCounted();
    void connectionsAreKeptUnlessSwitchedOff_data();
    void connectionsAreKeptUnlessSwitchedOff();
    void slotsCarrySeveralFilesOverHttp2_data();
    void slotsCarrySeveralFilesOverHttp2();
    void stopReturnsQueuedItemsAndAbortsRunning();
    void remainingCountFollowsTheQueue();
    void existingFileChoice_data();
    void existingFileChoice();
    void twoItemsOfOneNameInOneRun_data();
    void twoItemsOfOneNameInOneRun();
    void siteDirectoryWhenAsked();
    void runWithNothingCheckedEndsAtTheFirstFinishTick();
    void removedItemsWhileTransfersRun_data();
    void removedItemsWhileTransfersRun();
};

void TestDownloads::slotsFillOnePerTickLowestFirst()
{
    server->addScript({Server::send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n"), Server::hold()});
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(3);
    for (int i = 0; i < 6; ++i)
        addFile(url(QString("/f%1.jpg").arg(i)));
    w->downloads->ButtonDownloadClick();
    QCOMPARE(w->queue.remaining(), 6);
    for (int tick = 1; tick <= 5; ++tick) {
        w->engine->TimerCheckDownloadTimer();
        const int expected = std::min(tick, 3);
        QCOMPARE(w->engine->activeCount(), expected);
        for (int n = 1; n <= 8; ++n) {
            QCOMPARE(w->engine->EngineActive(n), n <= expected);
            QCOMPARE(w->main->slotLampLit(n), n <= expected);
        }
    }
    QCOMPARE(SlotGauge(*w->main, 0)->toolTip(), "Downloading: " + url("/f0.jpg"));
    w->crawl->ButtonStopClick();
    expectIdle();
}

void TestDownloads::fastStartFillsEverySlotAndRefillsAtCompletion()
{
    for (int i = 0; i < 20; ++i)
        server->route(QString("/p%1.jpg").arg(i).toLatin1(), Server::page(body(3000 + i, char(i)), "image/jpeg"));
    Part<QCheckBox>(*w->configuration, "CheckBoxStartAll")->setChecked(true);
    QList<TTreeNode *> items;
    for (int i = 0; i < 20; ++i)
        items << addFile(url(QString("/p%1.jpg").arg(i)));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer(); // one tick, no more
    QCOMPARE(w->engine->activeCount(), 8);
    QTRY_VERIFY_WITH_TIMEOUT(w->queue.remaining() == 0, 10000);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(items[i]->imageIndex(), TreeIcon::FileStored);
        QCOMPARE(fileAt(QString("p%1.jpg").arg(i)), body(3000 + i, char(i)));
    }
    finishRun();
    expectIdle();
}

void TestDownloads::sizeLimits_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("known"); // the size an item list brought back
    QTest::addColumn<TreeIcon>("icon");
    QTest::addColumn<QString>("caption");
    const QByteArray exact = body(5000, 'a');
    QTest::newRow("exactly the maximum") << "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + exact << QString()
                                         << TreeIcon::FileStored << "s.jpg  (5000 bytes)";
    QTest::newRow("one byte over") << "HTTP/1.0 200 OK\r\nContent-Length: 5001\r\n\r\n" + exact + "x" << QString()
                                   << TreeIcon::FileFailed << "s.jpg  (Skipped - Size over limit)";
    QTest::newRow("over, though an item list said less")
        << "HTTP/1.0 200 OK\r\nContent-Length: 5001\r\n\r\n" + exact + "x" << "3000" << TreeIcon::FileFailed
        << "s.jpg  (Skipped - Size over limit)";
    QTest::newRow("under the minimum") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 99\r\n\r\n") + body(99, 'u')
                                       << QString() << TreeIcon::FileFailed << "s.jpg  (Skipped - Size under limit)";
    // Without a length the first block is sized at what came plus 1024; the
    // caption of what was stored tells its real size.
    QTest::newRow("no length") << QByteArray("HTTP/1.0 200 OK\r\n\r\n") + body(1460, 'n') << QString()
                               << TreeIcon::FileStored << "s.jpg  (1460 bytes)";
}

void TestDownloads::sizeLimitHoldsWhileABodyWithoutLengthGrows_data()
{
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("known"); // the size an item list brought back
    QTest::addColumn<TreeIcon>("icon");
    QTest::addColumn<QString>("caption");
    QTest::newRow("stays under") << 1000 << QString() << TreeIcon::FileStored << "s.jpg  (3000 bytes)";
    QTest::newRow("grows past the maximum") << 4000 << QString() << TreeIcon::FileFailed
                                            << "s.jpg  (Skipped - Size over limit)";
    QTest::newRow("grows past, though an item list said less") << 4000 << "2000" << TreeIcon::FileFailed
                                                               << "s.jpg  (Skipped - Size over limit)";
}

void TestDownloads::sizeLimitHoldsWhileABodyWithoutLengthGrows()
{
    QFETCH(int, second);
    QFETCH(QString, known);
    QFETCH(TreeIcon, icon);
    QFETCH(QString, caption);
    server->route("/s.jpg", {Server::send("HTTP/1.0 200 OK\r\n\r\n" + body(2000, 'g')), Server::pause(100),
                             Server::send(body(second, 'h')), Server::close()});
    Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->setValue(5000);
    TTreeNode *item = addFile(url("/s.jpg"));
    item->item()->sizeText = known;
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(item->imageIndex(), icon);
    QCOMPARE(item->caption(), caption);
    QCOMPARE(QFile::exists(item->item()->localPath), icon == TreeIcon::FileStored);
    QCOMPARE(QDir(downloadDir()).entryList(QDir::Files | QDir::Hidden).size(), icon == TreeIcon::FileStored ? 1 : 0);
    finishRun();
    expectIdle();
}

void TestDownloads::longestNamesAreStored()
{
    // 255 bytes is the file system's limit for a name: the transfer's own
    // temporary name must not push it over.
    const QString name = QString(251, 'n') + ".jpg";
    server->route(("/" + name).toLatin1(), Server::page("long", "image/jpeg"));
    TTreeNode *item = addFile(url("/" + name));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(item->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(fileAt(name), QByteArray("long"));
    finishRun();
    expectIdle();
}

void TestDownloads::sizeLimits()
{
    QFETCH(QByteArray, response);
    QFETCH(QString, known);
    QFETCH(TreeIcon, icon);
    QFETCH(QString, caption);
    server->route("/s.jpg", Server::reply(response));
    Part<QSpinBox>(*w->configuration, "SpinEditMinSize")->setValue(100);
    Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->setValue(5000);
    TTreeNode *item = addFile(url("/s.jpg"));
    item->item()->sizeText = known;
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(item->imageIndex(), icon);
    QCOMPARE(item->caption(), caption);
    QCOMPARE(QFile::exists(item->item()->localPath), icon == TreeIcon::FileStored);
    finishRun();
    expectIdle();
}

void TestDownloads::timeOutIsNeverShownAsAbort()
{
    server->route("/slow.jpg", {Server::send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nabc"), Server::hold()});
    TTreeNode *item = addFile(url("/slow.jpg"));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(w->engine->HttpCli(1)->ReceivedBytes, 3);
    QVERIFY(w->engine->Timer(1)->isActive());
    w->engine->TimerTimer(1); // the silence lasted TimeOutFile seconds
    QTRY_VERIFY(ended(1));
    QCOMPARE(item->caption(), QString("slow.jpg  (Time out !)"));
    QVERIFY2(item->toolTip(0).endsWith(" s (time-out)"), qPrintable(item->toolTip(0)));
    QCOMPARE(item->imageIndex(), TreeIcon::FileFailed);
    QVERIFY(item->item()->sizeText.isEmpty());
    QVERIFY(!QFile::exists(item->item()->localPath));
    finishRun();
    expectIdle();
}

void TestDownloads::storedFilesAreWholeAndCounted()
{
    const QByteArray big = body(3 * 1024 * 1024 + 5, 'b');
    server->route("/big.jpg", Server::page(big, "image/jpeg"));
    Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->setValue(10'000'000);
    TTreeNode *item = addFile(url("/big.jpg"));
    w->main->itemTree()->setCurrentItem(item);
    const TStatistics before = w->statistics;
    w->downloads->ButtonDownloadClick();
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(0), QString(" Status: File download"));
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(item->imageIndex(), TreeIcon::FileStored);
    QCOMPARE(item->color(), w->configuration->color(ColorFileStored));
    QVERIFY(fileAt("big.jpg") == big);
    QCOMPARE(w->statistics.FilesDl, before.FilesDl + 1);
    QCOMPARE(w->statistics.BytesDl, before.BytesDl + 3 * 1024);
    QCOMPARE(QDir(downloadDir()).entryList(QDir::Files), QStringList{"big.jpg"}); // no temporary left
    const QByteArray request = server->requests().value(0);
    QVERIFY(request.startsWith("GET /big.jpg HTTP/1.1\r\n")); // connections are kept unless switched off
    QVERIFY(request.contains("\r\nPragma: no-cache\r\n"));
    QVERIFY(request.contains("\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"));
    Part<QCheckBox>(*w->configuration, "CheckBoxBeep")->setChecked(true);
    finishRun();
    QCOMPARE(w->beeps, 1);
    QVERIFY(Part<QPushButton>(*w->main, "ButtonDownload")->isEnabled());
    expectIdle();
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(6), QString(" Downloads left: 0"));
}

void TestDownloads::remainingCountFollowsTheQueue()
{
    // Shown as items are queued and end, not only at the status tick, and whole.
    w->downloads->TimerUpdate()->stop();
    server->addScript({Server::send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nab"), Server::hold()});
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(1);
    for (int i = 0; i < 195; ++i)
        addFile(url(QString("/r%1.jpg").arg(i)));
    QLabel *panel = qobject_cast<QLabel *>(Part<TStatusPanels>(*w->main, "StatusBar")->panel(6));
    w->downloads->ButtonDownloadClick();
    QTRY_COMPARE(panel->text(), QString(" Downloads left: 195"));
    QVERIFY(panel->width() >= panel->sizeHint().width());
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(w->engine->HttpCli(1)->ReceivedBytes, 2);
    Part<QPushButton>(*w->main, "ButtonStop")->click();
    QTRY_COMPARE(panel->text(), QString(" Downloads left: 0"));
    expectIdle();
}

void TestDownloads::connectionsAreKeptUnlessSwitchedOff_data()
{
    QTest::addColumn<bool>("reuse");
    QTest::newRow("kept") << true;
    QTest::newRow("switched off") << false;
}

void TestDownloads::connectionsAreKeptUnlessSwitchedOff()
{
    QFETCH(bool, reuse);
    Part<QCheckBox>(*w->configuration, "CheckBoxReuseConnections")->setChecked(reuse);
    Part<QCheckBox>(*w->configuration, "CheckBoxStartAll")->setChecked(true);
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(2);
    QList<QByteArray> bodies;
    for (int i = 0; i < 12; ++i) {
        bodies << body(2000 + i, char(i));
        const QByteArray path = QString("/k%1.jpg").arg(i).toLatin1();
        server->route(path, reuse ? Server::page11(bodies.last(), "image/jpeg") : Server::page(bodies.last(), "image/jpeg"));
        addFile(url(path));
    }
    w->downloads->ButtonDownloadClick();
    QTRY_COMPARE(w->queue.remaining(), 0);
    for (int i = 0; i < 12; ++i)
        QVERIFY(fileAt(QString("k%1.jpg").arg(i)) == bodies[i]);
    // Two slots at once: two connections carry everything, or one each file.
    QCOMPARE(server->connections(), reuse ? 2 : 12);
    for (const QByteArray &request : server->requests())
        QVERIFY(request.contains(reuse ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n"));
    finishRun();
    expectIdle();
}

void TestDownloads::slotsCarrySeveralFilesOverHttp2_data()
{
    QTest::addColumn<int>("perSlot");
    QTest::addColumn<int>("streamLimit");
    QTest::addColumn<QString>("files"); // "held", "whole", "one reset" or "one silent"
    QTest::newRow("16 a slot, held") << 16 << 100 << "held";
    QTest::newRow("one a slot, held") << 1 << 100 << "held";
    QTest::newRow("the server allows 3 streams") << 16 << 3 << "whole";
    QTest::newRow("a stream reset for one file, tried again") << 16 << 100 << "one reset";
    QTest::newRow("one silent file times out alone") << 16 << 100 << "one silent";
}

void TestDownloads::slotsCarrySeveralFilesOverHttp2()
{
    QFETCH(int, perSlot);
    QFETCH(int, streamLimit);
    QFETCH(QString, files);
    server->setTls(pki.server.certificate, pki.server.key);
    server->setAlpn({"h2"});
    server->setH2StreamLimit(quint32(streamLimit));
    Part<QCheckBox>(*w->configuration, "CheckBoxReuseConnections")->setChecked(true);
    Part<QCheckBox>(*w->configuration, "CheckBoxStartAll")->setChecked(true);
    Part<QSpinBox>(*w->configuration, "SpinEditFilesPerSlot")->setValue(perSlot);
    QList<TTreeNode *> items;
    for (int i = 0; i < 40; ++i) {
        const QByteArray path = QString("/h%1.jpg").arg(i).toLatin1();
        const bool odd = i == 7;
        server->route(path, files == "held" || (files == "one silent" && odd) ? Server::Script{Server::hold()}
                            : files == "one reset" && odd                     ? Server::Script{Server::reset()}
                                                                              : Server::page11(body(2000 + i, char(i)), "image/jpeg"));
        items << addFile(QString("https://127.0.0.1:%1").arg(server->port()) + path);
    }
    w->downloads->ButtonDownloadClick();
    if (files == "held") {
        // Each tick starts what the slots' HTTP/2 connections take.
        const int expected = perSlot == 1 ? 8 : 40;
        QTRY_VERIFY((w->engine->TimerCheckDownloadTimer(), w->engine->activeCount() == expected));
        int most = 0;
        for (int n = 1; n <= TFormHttpEngine::kSlots; ++n) {
            most = std::max(most, w->engine->filesInSlot(n));
            QVERIFY(w->main->slotLampLit(n));
        }
        QVERIFY(most <= perSlot && (perSlot == 1 || most > 1));
        if (perSlot > 1)
            QTRY_COMPARE(SlotGauge(*w->main, 0)->toolTip(), QString("Downloading %1 files over HTTP/2").arg(w->engine->filesInSlot(1)));
        // Stop ends every stream of every slot.
        w->crawl->ButtonStopClick();
        QCOMPARE(w->engine->activeCount(), 0);
        finishRun();
        expectIdle();
        return;
    }
    if (files == "one silent") {
        // The others end around it; its own time-out fails it alone.
        QTRY_VERIFY_WITH_TIMEOUT((w->engine->TimerCheckDownloadTimer(), w->engine->activeCount() == 1), 20000);
        int silent = 0;
        for (int t = 1; t <= TFormHttpEngine::kTransfers && !silent; ++t)
            silent = w->engine->EngineActive(t) && w->engine->HttpCli(t)->URL.endsWith("/h7.jpg") ? t : 0;
        QVERIFY(silent > 0 && w->engine->Timer(silent)->isActive());
        w->engine->TimerTimer(silent);
    }
    if (files == "one reset") {
        // Its own failure is tried again, on the same connection.
        Part<QSpinBox>(*w->configuration, "SpinEditRetries")->setValue(1);
        QTRY_VERIFY(items[7]->toolTip(0).contains("trying again in 1 s"));
        server->route("/h7.jpg", Server::page11(body(2007, char(7)), "image/jpeg"));
    }
    QTRY_VERIFY_WITH_TIMEOUT((w->engine->TimerCheckDownloadTimer(), w->queue.remaining() == 0 && allEnded() && !w->engine->pendingRetries()), 20000);
    for (int i = 0; i < 40; ++i) {
        if (files == "one silent" && i == 7) {
            QCOMPARE(items[i]->caption(), QString("h7.jpg  (Time out !)"));
            continue;
        }
        QCOMPARE(items[i]->imageIndex(), TreeIcon::FileStored);
        QVERIFY(fileAt(QString("h%1.jpg").arg(i)) == body(2000 + i, char(i)));
    }
    QVERIFY(server->h2PeakStreams() <= streamLimit);
    finishRun();
    expectIdle();
}

void TestDownloads::stopReturnsQueuedItemsAndAbortsRunning()
{
    server->addScript({Server::send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nab"), Server::hold()});
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(2);
    QList<TTreeNode *> items;
    for (int i = 0; i < 7; ++i)
        items << addFile(url(QString("/q%1.jpg").arg(i)));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(w->engine->HttpCli(2)->ReceivedBytes == 2 && w->engine->HttpCli(1)->ReceivedBytes == 2);
    Part<QPushButton>(*w->main, "ButtonStop")->click();
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(items[i]->caption(), QString("q%1.jpg  (Aborted !)").arg(i));
        QCOMPARE(items[i]->imageIndex(), TreeIcon::FileFailed);
    }
    for (int i = 2; i < 7; ++i) {
        QCOMPARE(items[i]->imageIndex(), TreeIcon::FileNew);
        QCOMPARE(items[i]->selectedIndex(), TreeIcon::FileNew);
        QCOMPARE(items[i]->stateIndex(), int(StateChecked));
    }
    w->downloads->TimerUpdateTimer();
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(6), QString(" Downloads left: 0"));
    QCOMPARE(w->queue.size(), 0); // idle after a stop: the next run numbers from 0 again
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(0), QString(" Status: Not active"));
    expectIdle();
    QVERIFY(QDir(downloadDir()).entryList(QDir::Files).isEmpty());
}

void TestDownloads::existingFileChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("newFile");
    QTest::newRow("skip") << "skip" << QStringList{"pic.jpg"} << "";
    QTest::newRow("overwrite") << "overwrite" << QStringList{"pic.jpg"} << "pic.jpg";
    QTest::newRow("rename") << "rename" << QStringList{"pic.jpg", "pic[0].jpg"} << "pic[0].jpg";
}

void TestDownloads::existingFileChoice()
{
    QFETCH(QString, choice);
    QFETCH(QStringList, files);
    QFETCH(QString, newFile);
    server->route("/pic.jpg", Server::page("new picture", "image/jpeg"));
    server->route("/th/pic.jpg", Server::page("new picture", "image/jpeg"));
    QFile old(QDir(downloadDir()).filePath("pic.jpg"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old picture");
    old.close();
    Part<QRadioButton>(*w->configuration, "RadioButtonSkip")->setChecked(choice == "skip");
    Part<QRadioButton>(*w->configuration, "RadioButtonOverwrite")->setChecked(choice == "overwrite");
    Part<QRadioButton>(*w->configuration, "RadioButtonRename")->setChecked(choice == "rename");
    TTreeNode *item = addFile(url("/pic.jpg"));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    QCOMPARE(QDir(downloadDir()).entryList(QDir::Files), files);
    if (newFile.isEmpty()) {
        QCOMPARE(item->caption(), QString("pic.jpg  (Skipped - Already exist on disk)"));
        QCOMPARE(item->stateIndex(), int(StateUnchecked));
        QCOMPARE(item->imageIndex(), TreeIcon::FileNew);
        QCOMPARE(fileAt("pic.jpg"), QByteArray("old picture"));
        // A thumbnail says so in its caption.
        TDataRec thumb = fileRec(url("/th/pic.jpg"), KindThumbnail);
        thumb.localPath = item->item()->localPath;
        TTreeNode *th = w->main->itemTree()->AddTreeNode(w->main->itemTree()->rootFiles(), thumb);
        th->setStateIndex(StateChecked);
        w->downloads->TimerAddDownloadTimer();
        QCOMPARE(th->caption(), QString("pic.jpg   (Thumbnail) (Skipped - Already exist on disk)"));
    } else {
        QCOMPARE(fileAt(newFile), QByteArray("new picture"));
        QCOMPARE(item->item()->name, newFile);
        if (newFile != "pic.jpg")
            QCOMPARE(fileAt("pic.jpg"), QByteArray("old picture"));
    }
    finishRun();
    expectIdle();
}

void TestDownloads::twoItemsOfOneNameInOneRun_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("together");
    for (const char *choice : {"skip", "overwrite", "rename"}) {
        QTest::addRow("%s, running at once", choice) << choice << true;
        QTest::addRow("%s, one after the other", choice) << choice << false;
    }
}

void TestDownloads::twoItemsOfOneNameInOneRun()
{
    // Neither item may destroy what the other stores: the second one is
    // skipped, or gets a numbered name even when existing files are overwritten.
    QFETCH(QString, choice);
    QFETCH(bool, together);
    server->route("/a/pic.jpg", Server::page("picture a", "image/jpeg"));
    server->route("/b/pic.jpg", Server::page("picture b", "image/jpeg"));
    Part<QRadioButton>(*w->configuration, "RadioButtonSkip")->setChecked(choice == "skip");
    Part<QRadioButton>(*w->configuration, "RadioButtonOverwrite")->setChecked(choice == "overwrite");
    Part<QRadioButton>(*w->configuration, "RadioButtonRename")->setChecked(choice == "rename");
    TTreeNode *a = addFile(url("/a/pic.jpg"));
    TTreeNode *b = addFile(url("/b/pic.jpg"), together ? StateChecked : StateUnchecked);
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    if (together)
        w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(allEnded());
    if (!together) {
        b->setStateIndex(StateChecked);
        w->downloads->TimerAddDownloadTimer();
        w->engine->TimerCheckDownloadTimer();
        QTRY_VERIFY(allEnded());
    }
    QCOMPARE(fileAt("pic.jpg"), QByteArray("picture a"));
    QCOMPARE(a->imageIndex(), TreeIcon::FileStored);
    if (choice == "skip") {
        QCOMPARE(QDir(downloadDir()).entryList(QDir::Files), QStringList{"pic.jpg"});
        QCOMPARE(b->caption(), QString("pic.jpg  (Skipped - Already exist on disk)"));
        QCOMPARE(b->imageIndex(), TreeIcon::FileNew);
    } else {
        QCOMPARE(QDir(downloadDir()).entryList(QDir::Files), (QStringList{"pic.jpg", "pic[0].jpg"}));
        QCOMPARE(fileAt("pic[0].jpg"), QByteArray("picture b"));
        QCOMPARE(b->item()->name, QString("pic[0].jpg"));
        QCOMPARE(b->imageIndex(), TreeIcon::FileStored);
    }
    finishRun();
    expectIdle();
}

void TestDownloads::siteDirectoryWhenAsked()
{
    server->route("/a/site.jpg", Server::page("site picture", "image/jpeg"));
    Part<QCheckBox>(*w->configuration, "CheckBoxCreateDir")->setChecked(true);
    TTreeNode *item = addFile(url("/a/site.jpg"));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ended(1));
    const QString site = QString("127_0_0_1:%1").arg(server->port());
    QCOMPARE(item->item()->localPath, QDir(downloadDir()).filePath(site + "/site.jpg"));
    QFile stored(item->item()->localPath);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), QByteArray("site picture"));
    QCOMPARE(UrlPath("http://WWW.Example.org/x/y.jpg", downloadDir()), QDir(downloadDir()).filePath("www_example_org"));
}

void TestDownloads::runWithNothingCheckedEndsAtTheFirstFinishTick()
{
    addFile(url("/x.jpg"), StateUnchecked);
    Part<QCheckBox>(*w->configuration, "CheckBoxBeep")->setChecked(true);
    w->downloads->ButtonDownloadClick();
    QVERIFY(w->run.busy());
    QVERIFY(w->downloads->TimerDownloadFinish()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!w->run.busy(), 5000); // the real timers this time
    QCOMPARE(w->beeps, 1);
    QVERIFY(!w->downloads->TimerAddDownload()->isActive());
    QCOMPARE(server->connections(), 0);
    expectIdle();
}

void TestDownloads::removedItemsWhileTransfersRun_data()
{
    QTest::addColumn<bool>("wholeTree");
    QTest::newRow("the item") << false;
    QTest::newRow("the whole tree") << true;
}

void TestDownloads::removedItemsWhileTransfersRun()
{
    QFETCH(bool, wholeTree);
    server->addScript({Server::send("HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\nhalf"), Server::pause(400),
                       Server::send("done"), Server::close()});
    TTreeNode *gone = addFile(url("/gone.jpg"));
    TTreeNode *kept = addFile(url("/kept.jpg"));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(w->engine->HttpCli(1)->ReceivedBytes == 4);
    if (wholeTree)
        w->main->itemTree()->emptyTree();
    else
        w->main->itemTree()->deleteNodes({gone});
    QTRY_VERIFY(allEnded());
    if (!wholeTree) {
        QCOMPARE(kept->imageIndex(), TreeIcon::FileStored);
        QCOMPARE(fileAt("kept.jpg"), QByteArray("halfdone"));
    }
    // The removed item's body was not written anywhere.
    QCOMPARE(fileAt("gone.jpg"), QByteArray("<missing>"));
    finishRun();
    expectIdle();
}

QTEST_MAIN(TestDownloads)
#include "tst_downloads.moc"
