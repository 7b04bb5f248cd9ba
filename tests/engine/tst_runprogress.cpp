#include "DownloadFixture.h"
#include "HttpEngine.h"
#include "ItemTree.h"
#include "ItemState.h"
#include "Parts.h"
#include "RunProgress.h"
#include "StatusPanels.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QAction>
#include <QtTest>

// How far a download run is: the figures (counted against a clock the test
// sets), their texts, and what the window shows through a real run.
class TestRunProgress : public TDownloadFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void figuresFollowTheFiles();
    void speedCoversTheLastSecondsQuietOnesIncluded();
    void textsReadAsSentences_data();
    void textsReadAsSentences();
    void windowShowsTheRunWhileItGoes();
    void endOfRunIsToldWhenTheWindowIsNotActive();
    void sizeSkipsAreCountedApartAndCanBeFetchedAnyway();
    void endOfPageRunsIsToldToo();
};

void TestRunProgress::figuresFollowTheFiles()
{
    TRunProgress progress;
    progress.begin(1000);
    TRunProgress::Figures f = progress.figures(4, 1000);
    QCOMPARE(f.total, 4);
    QCOMPARE(f.percent, 0);
    QCOMPARE(f.secondsLeft, -1); // nothing finished: no pace yet
    progress.fileStored();
    progress.fileFailed();
    f = progress.figures(2, 5000); // two of four took 4 s
    QCOMPARE(f.stored, 1);
    QCOMPARE(f.failed, 1);
    QCOMPARE(f.total, 4);
    QCOMPARE(f.percent, 50);
    QCOMPARE(f.secondsLeft, 4);
    // More files ticked during the run raise the total, not the finished.
    f = progress.figures(7, 5000);
    QCOMPARE(f.total, 9);
    QCOMPARE(f.percent, 22);
    progress.begin(9000); // a new run starts from nothing
    QCOMPARE(progress.figures(0, 9000).stored, 0);
}

void TestRunProgress::speedCoversTheLastSecondsQuietOnesIncluded()
{
    TRunProgress progress;
    progress.begin(0);
    for (qint64 t = 100; t <= 10000; t += 100)
        progress.bytesArrived(1000, t); // 10 000 bytes a second
    TRunProgress::Figures f = progress.figures(1, 10000);
    QCOMPARE(f.bytes, qint64(100000));
    QVERIFY2(qAbs(f.bytesPerSecond - 10000) < 500, qPrintable(QString::number(f.bytesPerSecond)));
    // Three quiet seconds: the speed falls; after the whole window, nothing.
    f = progress.figures(1, 13000);
    QVERIFY2(f.bytesPerSecond > 3000 && f.bytesPerSecond < 5000, qPrintable(QString::number(f.bytesPerSecond)));
    QCOMPARE(progress.figures(1, 16000).bytesPerSecond, 0.0);
    // Files stalled near the end: the estimate waits for their time-out.
    progress.begin(0);
    progress.fileStored();
    progress.setStalled(2, 50);
    QCOMPARE(progress.figures(2, 1000).secondsLeft, 50);
    // A start: the first second counts as a second, not as a burst.
    progress.begin(0);
    progress.bytesArrived(5000, 50);
    QCOMPARE(progress.figures(1, 100).bytesPerSecond, 5000.0);
}

void TestRunProgress::textsReadAsSentences_data()
{
    QTest::addColumn<QList<int>>("counts"); // stored, failed, skipped, total, seconds left
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<double>("speed");
    QTest::addColumn<QString>("progress");
    QTest::addColumn<QString>("summary");
    QTest::newRow("start") << QList<int>{0, 0, 0, 200, -1} << qint64(0) << 0.0 << " Status: 0/200 \u00b7 0 bytes \u00b7 0 bytes/s"
                           << "0 files stored";
    QTest::newRow("midway") << QList<int>{41, 1, 0, 200, 35} << qint64(3250586) << 1258291.0
                            << " Status: 42/200 \u00b7 1 failed \u00b7 3.1 MB \u00b7 1.2 MB/s \u00b7 0:35 left"
                            << "41 files stored, 1 failed";
    QTest::newRow("long") << QList<int>{1, 0, 0, 9000, 3725} << qint64(5) * 1024 * 1024 * 1024 << 20480.0
                          << " Status: 1/9000 \u00b7 5.0 GB \u00b7 20 KB/s \u00b7 1:02:05 left" << "1 file stored";
    // Files the size limit left out are no failures, and the limit is named.
    QTest::newRow("skipped") << QList<int>{26, 2, 11, 39, -1} << qint64(900000) << 0.0
                             << " Status: 39/39 \u00b7 11 skipped \u00b7 2 failed \u00b7 879 KB \u00b7 0 bytes/s"
                             << "26 files stored, 11 skipped by your size limit (over 150000 bytes), 2 failed";
    // Two files wait for their time-out: the time left is theirs, and said.
    QTest::newRow("stalled") << QList<int>{30, 0, 0, 32, 50, 2} << qint64(1024) << 0.0
                             << " Status: 30/32 \u00b7 2 stalled \u00b7 1.0 KB \u00b7 0 bytes/s \u00b7 0:50 left" << "30 files stored";
}

void TestRunProgress::textsReadAsSentences()
{
    QFETCH(QList<int>, counts);
    QFETCH(qint64, bytes);
    QFETCH(double, speed);
    QFETCH(QString, progress);
    QFETCH(QString, summary);
    TRunProgress::Figures f;
    f.stored = counts[0];
    f.failed = counts[1];
    f.skipped = counts[2];
    f.maxSize = f.skipped > 0 ? 150000 : -1;
    f.total = counts[3];
    f.secondsLeft = counts[4];
    f.bytes = bytes;
    f.bytesPerSecond = speed;
    f.stalled = counts.value(5);
    QCOMPARE(RunProgressText(f), progress);
    if (f.stalled > 0)
        QVERIFY(RunProgressLines(f).last().endsWith(", waiting for 2 stalled files"));
    QCOMPARE(RunSummaryText(f), summary);
}

void TestRunProgress::windowShowsTheRunWhileItGoes()
{
    server->route("/a.jpg", Server::page(body(3000, 'a'), "image/jpeg"));
    server->route("/b.jpg", Server::page(body(4000, 'b'), "image/jpeg"));
    // Half of its body, then the server holds on.
    server->route("/held.jpg", {Server::send("HTTP/1.0 200 OK\r\nContent-Length: 2000\r\n\r\n"),
                                Server::send(QByteArray(1000, 'h')), Server::hold()});
    addFile(url("/a.jpg"));
    addFile(url("/held.jpg"));
    addFile(url("/b.jpg"));
    TFormMain &m = *w->main;
    w->downloads->ButtonDownloadClick();
    for (int tick = 0; tick < 3; ++tick)
        w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(w->queue.remaining(), 1);
    QTRY_COMPARE(w->engine->HttpCli(2)->ReceivedBytes, 1000);
    w->downloads->TimerUpdateTimer();
    const QString status = Part<TStatusPanels>(m, "StatusBar")->text(0);
    QVERIFY2(status.startsWith(" Status: 2/3 \u00b7 7.8 KB \u00b7 "), qPrintable(status));
    QVERIFY2(status.endsWith(" left"), qPrintable(status));
    QCOMPARE(m.windowTitle(), QString("66% - Trawlix"));
    // Whole under the bars too, where the window's width does not cut it.
    const QStringList lines = Part<QLabel>(m, "LabelRunFigures")->text().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QString("2 of 3 files"));
    QVERIFY(lines.at(1).startsWith("7.8 KB at ") && lines.at(2).endsWith(" left"));
    QVERIFY(Part<QLabel>(m, "LabelRunFigures")->isVisible());
    // The held file's gauge: its percent of the announced length.
    QTRY_COMPARE(SlotGauge(m, 1)->toolTip(), "Downloading: " + url("/held.jpg") + " - 50% of 2.0 KB");
    w->crawl->ButtonStopClick();
    QCOMPARE(m.windowTitle(), QString("Trawlix"));
    expectIdle();
}

void TestRunProgress::endOfRunIsToldWhenTheWindowIsNotActive()
{
    server->route("/a.jpg", Server::page(body(3000, 'a'), "image/jpeg"));
    server->route("/gone.jpg", Server::reply("HTTP/1.0 404 Not Found\r\n\r\n"));
    addFile(url("/a.jpg"));
    addFile(url("/gone.jpg"));
    TFormMain &m = *w->main;
    // The user is in another window.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QTRY_VERIFY(!m.isActiveWindow());
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(w->queue.remaining(), 0);
    finishRun();
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->text(0), QString(" Status: Not active - 1 file stored, 1 failed"));
    QCOMPARE(w->notifications, QStringList{"Trawlix: Download finished: 1 file stored, 1 failed"});
    QCOMPARE(Part<QLabel>(m, "LabelRunFigures")->text(), QString("1 file stored\n1 failed"));
    // A run the user watches ends without a notification.
    QApplication::setActiveWindow(&m);
    QTRY_VERIFY(m.isActiveWindow());
    addFile(url("/a.jpg"));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(w->queue.remaining(), 0);
    finishRun();
    QCOMPARE(w->notifications.size(), 1);
    QCOMPARE(m.windowTitle(), QString("Trawlix"));
    expectIdle();
}

void TestRunProgress::sizeSkipsAreCountedApartAndCanBeFetchedAnyway()
{
    server->route("/a.jpg", Server::page(body(3000, 'a'), "image/jpeg"));
    server->route("/big.jpg", Server::page(body(8000, 'b'), "image/jpeg"));
    Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->setValue(5000);
    TTreeNode *big = addFile(url("/big.jpg"));
    addFile(url("/a.jpg"));
    TFormMain &m = *w->main;
    w->downloads->ButtonDownloadClick();
    QTRY_VERIFY((w->engine->TimerCheckDownloadTimer(), w->queue.remaining() == 0));
    finishRun();
    const QString summary = "1 file stored, 1 skipped by your size limit (over 5000 bytes)";
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->text(0), " Status: Not active - " + summary);
    QVERIFY(Part<QLabel>(m, "LabelRunFigures")->text().contains("<a href=\"limits\">Change the size limits"));
    QCOMPARE(w->engine->progress(0).failed, 0);
    // This once, the limit stays.
    QAction *anyway = Part<QAction>(m, "DownloadSkipped1");
    m.PopupMenuTreeViewPopup();
    QVERIFY(anyway->isEnabled());
    anyway->trigger();
    QTRY_VERIFY((w->engine->TimerCheckDownloadTimer(), ItemState::isStored(big->ref())));
    QCOMPARE(fileAt("big.jpg"), body(8000, 'b'));
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->value(), 5000);
    finishRun();
    expectIdle();
}

void TestRunProgress::endOfPageRunsIsToldToo()
{
    server->route("/", Server::page("<a href=\"p.htm\">p</a><a href=\"q.htm\">q</a><img src=\"a.jpg\">"));
    server->route("/p.htm", Server::page("<img src=\"b.jpg\">"));
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QTRY_VERIFY(!w->main->isActiveWindow());
    Part<QComboBox>(*w->main, "ComboBoxBookmark")->setCurrentText(url("/"));
    w->getUrl();
    QCOMPARE(w->notifications, QStringList{"Trawlix: Found 2 links and 1 file (1 new)"});
    // Both links ticked; q.htm is not there.
    TItemTree *tree = w->main->itemTree();
    for (int i = 0; i < tree->rootLinks()->childCount(); ++i)
        tree->rootLinks()->childNode(i)->setStateIndex(StateChecked);
    w->parseLinks();
    QCOMPARE(w->notifications.value(1), QString("Trawlix: Links parsed: 1, 1 failed. Found 0 links and 1 file (1 new)"));
    Part<QComboBox>(*w->main, "ComboBoxBookmark")->setCurrentText(url("/missing.htm"));
    w->getUrl();
    QCOMPARE(w->notifications.value(2), QString("Trawlix: Page not fetched - HTTP 404 Not Found"));
}

QTEST_MAIN(TestRunProgress)
#include "tst_runprogress.moc"
