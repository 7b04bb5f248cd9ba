#include "DownloadFixture.h"
#include "ItemState.h"
#include "ItemTree.h"
#include "Parts.h"
#include "PictureHead.h"
#include "SizeCheck.h"
#include "StatusPanels.h"
#include "TreeCommands.h"
#include "TreeNode.h"
#include "UnitAtLeast.h"
#include "UrlRules.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QtTest>

#include <algorithm>

// Pictures' first bytes, made by hand so that every field sits where the
// formats put it.
namespace {

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b += char(v & 0xff);
    return b;
}

QByteArray big16(int v)
{
    return bytesOf({v >> 8, v});
}

QByteArray little16(int v)
{
    return bytesOf({v, v >> 8});
}

QByteArray little32(quint32 v)
{
    return little16(int(v & 0xffff)) + little16(int(v >> 16));
}

// A JPEG with an EXIF block (and its thumbnail's worth of bytes) before the frame header.
QByteArray jpeg(int width, int height, int exifBytes = 3000, char frame = '\xc0')
{
    QByteArray b("\xff\xd8", 2);
    b += QByteArray("\xff\xe1", 2) + big16(exifBytes + 2) + QByteArray(exifBytes, 'x');
    b += QByteArray("\xff\xff\xff", 3) + frame + big16(17) + '\x08' + big16(height) + big16(width) + QByteArray(10, '\x01');
    return b + QByteArray("\xff\xda", 2) + QByteArray(500, '\x55');
}

QByteArray png(int width, int height)
{
    QByteArray b("\x89PNG\r\n\x1a\n", 8);
    b += QByteArray("\0\0\0\x0dIHDR", 8);
    b += big16(0) + big16(width) + big16(0) + big16(height);
    return b + QByteArray(200, '\x07');
}

QByteArray gif(int width, int height)
{
    return "GIF89a" + little16(width) + little16(height) + QByteArray(100, '\x02');
}

QByteArray riff(const QByteArray &chunk)
{
    return "RIFF" + little32(quint32(chunk.size() + 4)) + "WEBP" + chunk;
}

QByteArray webpLossy(int width, int height)
{
    return riff("VP8 " + little32(100) + QByteArray("\x10\x02\x00\x9d\x01\x2a", 6) + little16(width) + little16(height)
                + QByteArray(90, '\x03'));
}

QByteArray webpLossless(int width, int height)
{
    const quint32 bits = quint32(width - 1) | quint32(height - 1) << 14;
    return riff("VP8L" + little32(50) + '\x2f' + little32(bits) + QByteArray(45, '\x04'));
}

QByteArray webpExtended(int width, int height)
{
    auto three = [](int v) { return bytesOf({v, v >> 8, v >> 16}); };
    return riff("VP8X" + little32(10) + QByteArray(4, '\0') + three(width - 1) + three(height - 1) + QByteArray(60, '\x05'));
}

QByteArray response(const QByteArray &status, const QByteArray &fields, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\n" + fields + "Content-Length: " + QByteArray::number(body.size())
           + "\r\nConnection: close\r\n\r\n" + body;
}

// What a server that honours the range sends for the first 64 KiB.
QByteArray partial(const QByteArray &whole)
{
    const QByteArray part = whole.left(TSizeCheck::kHeadBytes);
    return response("206 Partial Content",
                    "Content-Range: bytes 0-" + QByteArray::number(part.size() - 1) + "/" + QByteArray::number(whole.size())
                        + "\r\nAccept-Ranges: bytes\r\n",
                    part);
}

} // namespace

// "Check size": lengths and dimensions before anything is fetched, the size
// limits applied to them, and "Select files at least W x H".
class TestSizeCheck : public TDownloadFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init()
    {
        setUp();
        Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->setValue(50000000);
    }
    void cleanup() { tearDown(); }

    void dimensionsFromTheFirstBytes_data();
    void dimensionsFromTheFirstBytes();
    void brokenOrHostileHeads();
    void checkShowsSizesAndDimensionsAndStoresNothing();
    void limitsApplyBeforeAnyBody();
    void failuresLeaveTheFileToTheDownload();
    void stopEndsTheCheck();
    void downloadAfterCheckStoresTheWholeFile();
    void selectFilesAtLeast();
    void itemListBringsTheDimensionsBack();
    void checkAfterEveryScan();
    void treeMenuChecksTheHighlightedFiles();

private:
    void checkAll()
    {
        QVERIFY(w->sizeCheck->start(TreeCommands::FilesNotChecked(w->main->itemTree())));
        QTRY_VERIFY_WITH_TIMEOUT(!w->sizeCheck->running(), 20000);
    }
    QStringList storedFiles() const
    {
        return QDir(downloadDir()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString statusText() const { return Part<TStatusPanels>(*w->main, "StatusBar")->text(0); }
    QByteArray requestFor(const QByteArray &path) const
    {
        const QList<QByteArray> all = server->requests();
        const auto it = std::find_if(all.cbegin(), all.cend(), [&path](const QByteArray &r) { return r.contains(" " + path + " "); });
        return it == all.cend() ? QByteArray() : *it;
    }
};

void TestSizeCheck::dimensionsFromTheFirstBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("jpeg baseline") << jpeg(1920, 1080) << 1920 << 1080;
    QTest::newRow("jpeg progressive") << jpeg(640, 4000, 60000, '\xc2') << 640 << 4000;
    QTest::newRow("jpeg with junk before a marker")
        << jpeg(800, 600).insert(2 + 4 + 3000, QByteArray("junk\0\x01\xff\x00", 8)) << 800 << 600;
    QTest::newRow("png") << png(300, 200) << 300 << 200;
    QTest::newRow("gif") << gif(16, 65535) << 16 << 65535;
    QTest::newRow("webp lossy") << webpLossy(1024, 768) << 1024 << 768;
    QTest::newRow("webp lossless") << webpLossless(16384, 1) << 16384 << 1;
    QTest::newRow("webp extended") << webpExtended(9000, 12000) << 9000 << 12000;
}

void TestSizeCheck::dimensionsFromTheFirstBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, width);
    QFETCH(int, height);
    const TPictureHead head = ReadPictureHead(bytes);
    QCOMPARE(head.status, TPictureHead::Found);
    QCOMPARE(head.width, width);
    QCOMPARE(head.height, height);
    // Any beginning of it asks for more, or already knows; never a wrong answer.
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        const TPictureHead part = ReadPictureHead(QByteArrayView(bytes).first(n));
        QVERIFY2(part.status == TPictureHead::NeedMore || (part.status == TPictureHead::Found && part.width == width),
                 qPrintable(QString::number(n)));
    }
}

void TestSizeCheck::brokenOrHostileHeads()
{
    QCOMPARE(ReadPictureHead("<html><body>").status, TPictureHead::NotKnown);
    QCOMPARE(ReadPictureHead("").status, TPictureHead::NeedMore);
    // A segment length below its own two bytes would walk in place forever.
    QCOMPARE(ReadPictureHead(QByteArray("\xff\xd8\xff\xe0\x00\x01", 6)).status, TPictureHead::NotKnown);
    QCOMPARE(ReadPictureHead(QByteArray("\xff\xd8\xff\xe0\x00\x00", 6)).status, TPictureHead::NotKnown);
    // Image data before any frame header; a frame header too short to hold the size.
    QCOMPARE(ReadPictureHead(QByteArray("\xff\xd8\xff\xda\x00\x08", 6) + QByteArray(100, 'x')).status, TPictureHead::NotKnown);
    QCOMPARE(ReadPictureHead(QByteArray("\xff\xd8\xff\xc0\x00\x03", 6) + QByteArray(100, 'x')).status, TPictureHead::NotKnown);
    // Fill bytes without end, a length that points far ahead: more is needed, nothing is read past the end.
    QCOMPARE(ReadPictureHead(QByteArray("\xff\xd8", 2) + QByteArray(70000, '\xff')).status, TPictureHead::NeedMore);
    QCOMPARE(ReadPictureHead(QByteArray("\xff\xd8\xff\xe1\xff\xff", 6) + QByteArray(100, 'x')).status, TPictureHead::NeedMore);
    // Zero sizes are no sizes; a PNG whose first chunk is not its header.
    QCOMPARE(ReadPictureHead(gif(0, 10)).status, TPictureHead::NotKnown);
    QCOMPARE(ReadPictureHead(png(0, 0)).status, TPictureHead::NotKnown);
    QByteArray wrongChunk = png(10, 10);
    wrongChunk.replace(12, 4, "tEXt");
    QCOMPARE(ReadPictureHead(wrongChunk).status, TPictureHead::NotKnown);
    QCOMPARE(ReadPictureHead(riff("AVI LIST")).status, TPictureHead::NotKnown);
    QByteArray badStart = webpLossy(10, 10);
    badStart[23] = 0;
    QCOMPARE(ReadPictureHead(badStart).status, TPictureHead::NotKnown);
    // Random bytes behind each signature: any answer, but within the bytes and never a crash.
    QRandomGenerator random(20261209);
    for (const QByteArray &start : {QByteArray("\xff\xd8", 2), QByteArray("\x89PNG\r\n\x1a\n", 8), QByteArray("GIF89a"),
                                    QByteArray("RIFF\0\0\0\0WEBPVP8", 15)}) {
        for (int round = 0; round < 2000; ++round) {
            QByteArray bytes = start;
            const int extra = int(random.bounded(64));
            for (int i = 0; i < extra; ++i)
                bytes += char(random.bounded(256));
            const TPictureHead head = ReadPictureHead(bytes);
            if (head.status == TPictureHead::Found)
                QVERIFY(head.width > 0 && head.height > 0);
        }
    }
}

void TestSizeCheck::checkShowsSizesAndDimensionsAndStoresNothing()
{
    const QByteArray photo = jpeg(1920, 1080, 60000) + QByteArray(1200000, 'j');
    const QByteArray big = png(4000, 3000) + QByteArray(400000, 'p');
    server->route("/photo.jpg", Server::reply(partial(photo)));
    // This server ignores the range: the first bytes are read, then the transfer is ended.
    server->route("/big.png", Server::reply(response("200 OK", "", big)));
    server->route("/anim.webp", Server::reply(partial(webpExtended(320, 240))));
    server->route("/movie.mp4", Server::reply("HTTP/1.1 200 OK\r\nContent-Length: 31457280\r\nConnection: close\r\n\r\n"));
    server->route("/odd.gif", Server::reply(partial("<html>not a gif</html>")));
    TTreeNode *photoItem = addFile(url("/photo.jpg"), StateUnchecked);
    TTreeNode *bigItem = addFile(url("/big.png"), StateUnchecked);
    TTreeNode *animItem = addFile(url("/anim.webp"), StateUnchecked);
    TTreeNode *movieItem = addFile(url("/movie.mp4"), StateUnchecked);
    TTreeNode *oddItem = addFile(url("/odd.gif"), StateUnchecked);
    checkAll();
    QCOMPARE(photoItem->caption(), QString("photo.jpg (1.2 MB, 1920 x 1080)"));
    QCOMPARE(bigItem->caption(), QString("big.png (391 KB, 4000 x 3000)"));
    QCOMPARE(animItem->caption(), QString("anim.webp (90 bytes, 320 x 240)"));
    QCOMPARE(movieItem->caption(), QString("movie.mp4 (30 MB)"));
    QCOMPARE(oddItem->caption(), QString("odd.gif (22 bytes)"));
    QCOMPARE(photoItem->item()->sizeText, QString::number(photo.size()));
    QCOMPARE(photoItem->item()->width, 1920);
    // Pictures are asked for their first 64 KiB, anything else with HEAD.
    QVERIFY(requestFor("/photo.jpg").startsWith("GET "));
    QVERIFY(requestFor("/photo.jpg").contains("\r\nRange: bytes=0-65535\r\n"));
    QVERIFY(requestFor("/movie.mp4").startsWith("HEAD "));
    // The items stay new and unticked, and the check wrote nothing.
    for (TTreeNode *node : {photoItem, bigItem, animItem, movieItem, oddItem}) {
        QVERIFY(ItemState::isNewFile(node->ref()));
        QVERIFY(!ItemState::isChecked(node->ref()));
    }
    QCOMPARE(storedFiles(), QStringList());
    QCOMPARE(statusText(), QString(" Status: Sizes checked: 5 files"));
    expectIdle();
}

void TestSizeCheck::limitsApplyBeforeAnyBody()
{
    Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->setValue(100000);
    Part<QSpinBox>(*w->configuration, "SpinEditMinSize")->setValue(1000);
    server->route("/large.jpg", Server::reply(partial(jpeg(2000, 1000) + QByteArray(200000, 'l'))));
    server->route("/tiny.gif", Server::reply(partial(gif(1, 1))));
    server->route("/fine.jpg", Server::reply(partial(jpeg(800, 600))));
    TTreeNode *large = addFile(url("/large.jpg"));
    TTreeNode *tiny = addFile(url("/tiny.gif"));
    TTreeNode *fine = addFile(url("/fine.jpg"));
    checkAll();
    QCOMPARE(large->caption(), QString("large.jpg  (Skipped - Size over limit)"));
    QCOMPARE(large->toolTip(0), QString("199 KB, 2000 x 1000: 203529 bytes, over the largest size of 100000 bytes"));
    QCOMPARE(tiny->caption(), QString("tiny.gif  (Skipped - Size under limit)"));
    QVERIFY(ItemState::isFailed(large->ref()) && ItemState::isFailed(tiny->ref()));
    QCOMPARE(fine->caption(), QString("fine.jpg (3.4 KB, 800 x 600)"));
    // The download run takes only the file within the limits.
    const int asked = int(server->requests().size());
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ItemState::isStored(fine->ref()));
    finishRun();
    QCOMPARE(server->requests().size(), asked + 1);
    QVERIFY(!requestFor("/fine.jpg").isEmpty());
}

void TestSizeCheck::failuresLeaveTheFileToTheDownload()
{
    server->route("/gone.jpg", Server::reply(response("404 Not Found", "", "")));
    server->route("/busy.jpg", Server::reply(response("503 Service Unavailable", "", "")));
    server->route("/cut.jpg", {Server::send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-65535/900000\r\n"
                                            "Content-Length: 65536\r\n\r\n\xff\xd8\xff\xe1\x7f\xff"),
                               Server::close()});
    TTreeNode *gone = addFile(url("/gone.jpg"));
    TTreeNode *busy = addFile(url("/busy.jpg"));
    TTreeNode *cut = addFile(url("/cut.jpg"));
    TTreeNode *nowhere = addFile("http://127.0.0.1:" + QString::number(Server::refusedPort()) + "/x.png");
    TTreeNode *serverless = addFile("pics/y.png"); // a relative link of a page loaded from disk
    checkAll();
    // Not there: the download would fail the same way.
    QCOMPARE(gone->caption(), QString("gone.jpg  (HTTP error 404 !)"));
    QVERIFY(ItemState::isFailed(gone->ref()));
    // Anything else may pass: the file stays ticked for the download, the tooltip says why.
    QCOMPARE(busy->caption(), QString("busy.jpg"));
    QCOMPARE(busy->toolTip(0), QString("Size not checked - HTTP 503 Service Unavailable"));
    QCOMPARE(cut->caption(), QString("cut.jpg"));
    QVERIFY(cut->toolTip(0).startsWith("Size not checked - "));
    QVERIFY(nowhere->toolTip(0).contains("refused"));
    QCOMPARE(serverless->toolTip(0), "Size not checked - " + UnfetchableReason("pics/y.png"));
    for (TTreeNode *node : {busy, cut, nowhere, serverless})
        QVERIFY(ItemState::isWaiting(node->ref()));
    QCOMPARE(statusText(), QString(" Status: Sizes checked: 0 files, 5 failed"));
}

void TestSizeCheck::stopEndsTheCheck()
{
    server->route("/slow.jpg", {Server::hold()});
    TTreeNode *slow = addFile(url("/slow.jpg"));
    QVERIFY(w->sizeCheck->start({slow->id()}));
    QVERIFY(w->run.busy());
    QTRY_VERIFY(w->main->slotLampLit(1));
    QVERIFY(!Part<QPushButton>(*w->main, "ButtonDownload")->isEnabled());
    w->crawl->ButtonStopClick();
    QVERIFY(!w->sizeCheck->running());
    QCOMPARE(slow->caption(), QString("slow.jpg"));
    QVERIFY(ItemState::isWaiting(slow->ref()));
    QTest::qWait(50); // the aborted request's end comes, and changes nothing
    QVERIFY(!slow->item()->sizeChecked);
    expectIdle();
    // A file that never answers ends with the file time-out, as a download would.
    server->route("/silent.jpg", {Server::hold()});
    TTreeNode *silent = addFile(url("/silent.jpg"));
    QVERIFY(w->sizeCheck->start({silent->id()}));
    QTRY_VERIFY(w->sizeCheck->client(1)->ClientState() == hcAwaitingHeader);
    w->sizeCheck->TimerTimer(1);
    QTRY_VERIFY(!w->sizeCheck->running());
    QVERIFY(silent->toolTip(0).endsWith("(time-out)"));
}

void TestSizeCheck::downloadAfterCheckStoresTheWholeFile()
{
    const QByteArray photo = jpeg(1000, 700, 30000) + QByteArray(45000, 'q');
    server->addScript(Server::reply(partial(photo)));
    server->addScript(Server::reply(response("200 OK", "", photo)));
    TTreeNode *node = addFile(url("/photo.jpg"));
    checkAll();
    QCOMPARE(node->caption(), QString("photo.jpg (74 KB, 1000 x 700)"));
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_VERIFY(ItemState::isStored(node->ref()));
    finishRun();
    QCOMPARE(fileAt("photo.jpg"), photo);
    QCOMPARE(node->caption(), QString("photo.jpg (74 KB, 1000 x 700)")); // what the check showed still holds
}

void TestSizeCheck::selectFilesAtLeast()
{
    server->route("/wide.jpg", Server::reply(partial(jpeg(1920, 1080))));
    server->route("/tall.png", Server::reply(partial(png(600, 2000))));
    server->route("/small.gif", Server::reply(partial(gif(200, 150))));
    server->route("/unknown.jpg", Server::reply(response("200 OK", "", "not a picture")));
    TTreeNode *wide = addFile(url("/wide.jpg"), StateUnchecked);
    TTreeNode *tall = addFile(url("/tall.png"), StateUnchecked);
    TTreeNode *small = addFile(url("/small.gif"), StateUnchecked);
    TTreeNode *unknown = addFile(url("/unknown.jpg"), StateUnchecked);
    TFormAtLeast window(w->main->itemTree());
    QStringList said;
    window.setMessageSink([&said](const QString &text) { said << text; });
    window.ButtonSelectClick();
    QCOMPARE(said.value(0), QString("No file's dimensions are known yet: use \"Check size\" in the tree's menu first."));
    checkAll();
    Part<QSpinBox>(window, "SpinEditWidth")->setValue(600);
    Part<QSpinBox>(window, "SpinEditHeight")->setValue(1500);
    window.ButtonSelectClick();
    QCOMPARE(said.value(1), QString("1 item was checked."));
    QVERIFY(ItemState::isChecked(tall->ref()));
    Part<QSpinBox>(window, "SpinEditHeight")->setValue(100);
    window.ButtonSelectClick();
    QCOMPARE(said.value(2), QString("1 item was checked.")); // wide; tall was ticked already
    QVERIFY(ItemState::isChecked(wide->ref()));
    QVERIFY(!ItemState::isChecked(small->ref()));
    QVERIFY(!ItemState::isChecked(unknown->ref()));
}

void TestSizeCheck::itemListBringsTheDimensionsBack()
{
    server->route("/kept.jpg", Server::reply(partial(jpeg(1024, 768))));
    addFile(url("/kept.jpg"), StateUnchecked);
    TTreeNode *plain = addFile(url("/not (5 x 5)"), StateUnchecked); // a name that only looks checked
    plain->item()->name = "not (5 x 5)";
    checkAll();
    QVERIFY(w->main->SaveListToDisk());
    w->main->itemTree()->emptyTree();
    w->main->Loadlinksfilelistfromdisk1Click();
    TTreeNode *kept = nullptr, *named = nullptr;
    w->main->itemTree()->forEachNode([&](TTreeNode *node) {
        if (node->item() && node->item()->name == "kept.jpg")
            kept = node;
        if (node->item() && node->item()->name == "not (5 x 5)")
            named = node;
    });
    QVERIFY(kept && named);
    QCOMPARE(kept->caption(), QString("kept.jpg (3.4 KB, 1024 x 768)"));
    QCOMPARE(kept->item()->width, 1024);
    QCOMPARE(kept->item()->height, 768);
    QVERIFY(kept->item()->sizeChecked);
    QCOMPARE(named->item()->width, 0);
}

void TestSizeCheck::checkAfterEveryScan()
{
    QCOMPARE(Part<QCheckBox>(*w->configuration, "CheckBoxCheckSizes")->isChecked(), false);
    Part<QCheckBox>(*w->configuration, "CheckBoxCheckSizes")->setChecked(true);
    server->route("/page.htm", Server::page("<a href=\"one.jpg\">1</a> <a href=\"two.gif\">2</a>"));
    server->route("/one.jpg", Server::reply(partial(jpeg(10, 20))));
    server->route("/two.gif", Server::reply(partial(gif(30, 40))));
    Part<QComboBox>(*w->main, "ComboBoxBookmark")->setCurrentText(url("/page.htm"));
    w->getUrl();
    // The check may be over before a look at it: its finds tell that it ran.
    const auto captions = [this] {
        QStringList all;
        for (int i = 0; i < w->main->itemTree()->rootFiles()->childCount(); ++i)
            all << w->main->itemTree()->rootFiles()->childNode(i)->caption();
        return all;
    };
    QTRY_COMPARE_WITH_TIMEOUT(captions(), QStringList({"one.jpg (3.4 KB, 10 x 20)", "two.gif (110 bytes, 30 x 40)"}), 20000);
    QTRY_VERIFY(!w->sizeCheck->running());
}

void TestSizeCheck::treeMenuChecksTheHighlightedFiles()
{
    server->route("/chosen.png", Server::reply(partial(png(64, 32))));
    TTreeNode *chosen = addFile(url("/chosen.png"), StateUnchecked);
    TTreeNode *other = addFile(url("/other.png"), StateChecked);
    w->main->itemTree()->setCurrentItem(chosen);
    chosen->setSelected(true);
    QAction *entry = Part<QAction>(*w->main, "CheckSize1");
    w->main->PopupMenuTreeViewPopup();
    QVERIFY(entry->isEnabled());
    entry->trigger();
    QVERIFY(w->sizeCheck->running());
    w->main->PopupMenuTreeViewPopup();
    QVERIFY(!entry->isEnabled()); // one run at a time
    QTRY_VERIFY_WITH_TIMEOUT(!w->sizeCheck->running(), 20000);
    QCOMPARE(chosen->caption(), QString("chosen.png (224 bytes, 64 x 32)"));
    QCOMPARE(other->caption(), QString("other.png")); // ticked, but not highlighted: not asked about
    QCOMPARE(server->requests().size(), 1);
}

QTEST_MAIN(TestSizeCheck)
#include "tst_sizecheck.moc"
