// "Check size" of a gallery of 200 pictures beside their download, both
// through the window with every slot in use: from a server that answers the
// range with the first 64 KiB, and from one that ignores it and sends the
// whole file. Pictures of 20 KB (the test site's) and of 1 MB; on loopback
// and over a link with a 20 ms round trip. Best of three.
#include "BenchCommon.h"
#include "DataRec.h"
#include "DelayLink.h"
#include "ItemTree.h"
#include "Parts.h"
#include "SizeCheck.h"
#include "TreeCommands.h"
#include "TreeNode.h"
#include "Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QSpinBox>
#include <QTemporaryDir>

#include <cstdio>
#include <limits>

namespace {

constexpr int kPictures = 200;

// A JPEG's first bytes (its frame header says 1600 x 1200), the rest filler.
QByteArray jpegOf(int size, int seed)
{
    QByteArray b("\xff\xd8\xff\xc0\x00\x11\x08\x04\xb0\x06\x40", 11);
    return b + picture(size - int(b.size()), seed);
}

void serveGallery(Server &server, int size, bool ranged)
{
    for (int i = 0; i < kPictures; ++i) {
        const QByteArray body = jpegOf(size, i);
        const QByteArray path = "/g/pic" + QByteArray::number(i) + ".jpg";
        if (!ranged) {
            server.route(path, Server::page11(body, "image/jpeg"));
            continue;
        }
        // Every check asks for the same range: one answer serves them all.
        const QByteArray part = body.left(TSizeCheck::kHeadBytes);
        server.route(path, {Server::send("HTTP/1.1 206 Partial Content\r\nContent-Type: image/jpeg\r\nContent-Range: bytes 0-"
                                         + QByteArray::number(part.size() - 1) + "/" + QByteArray::number(body.size())
                                         + "\r\nContent-Length: " + QByteArray::number(part.size()) + "\r\n\r\n" + part),
                            Server::keepOpen()});
    }
}

enum class Run { Check, Download };

// ms for the run over every picture, and how many came out right.
qint64 timedRun(Run kind, quint16 port, int *done)
{
    QTemporaryDir home;
    TWindows w(home.path());
    w.main->show();
    Part<QSpinBox>(*w.configuration, "SpinEditMaxTreads")->setValue(8);
    Part<QSpinBox>(*w.configuration, "SpinEditMaxSize")->setValue(Part<QSpinBox>(*w.configuration, "SpinEditMaxSize")->maximum());
    Part<QCheckBox>(*w.configuration, "CheckBoxStartAll")->setChecked(true);
    Part<QCheckBox>(*w.configuration, "CheckBoxReuseConnections")->setChecked(true);
    TItemTree *tree = w.main->itemTree();
    tree->MakeRootNodes();
    const QString dir = Part<QComboBox>(*w.main, "ComboBoxDownload")->currentText();
    for (int i = 0; i < kPictures; ++i) {
        TDataRec rec;
        rec.kind = KindFile;
        rec.name = QString("pic%1.jpg").arg(i);
        rec.url = QString("http://127.0.0.1:%1/g/").arg(port) + rec.name;
        rec.localPath = QDir(dir).filePath(rec.name);
        tree->AddTreeNode(tree->rootFiles(), rec)->setStateIndex(StateChecked);
    }
    QElapsedTimer clock;
    clock.start();
    if (kind == Run::Check) {
        w.sizeCheck->start(TreeCommands::FilesToCheck(tree));
        waitUntil([&w] { return !w.sizeCheck->running(); }, 120000);
    } else {
        w.downloads->ButtonDownloadClick();
        waitUntil([&w] { return w.queue.remaining() == 0; }, 120000);
    }
    const qint64 ms = clock.elapsed();
    *done = 0;
    tree->forEachNode([done, kind](TTreeNode *node) {
        if (node->item() && !node->item()->isLink)
            *done += kind == Run::Check ? node->item()->width == 1600 : node->imageIndex() == TreeIcon::FileStored;
    });
    return ms;
}

// The download always fetches the whole files; the check meets both kinds of server.
void row(int rttMs, int size)
{
    Server ranged, whole;
    serveGallery(ranged, size, true);
    serveGallery(whole, size, false);
    std::unique_ptr<TDelayLink> rangedLink, wholeLink;
    quint16 rangedPort = ranged.port(), wholePort = whole.port();
    if (rttMs > 0) {
        rangedLink = std::make_unique<TDelayLink>(ranged.port(), rttMs / 2);
        wholeLink = std::make_unique<TDelayLink>(whole.port(), rttMs / 2);
        rangedPort = rangedLink->port();
        wholePort = wholeLink->port();
    }
    constexpr qint64 kNever = std::numeric_limits<qint64>::max();
    qint64 checkRanged = kNever, checkWhole = kNever, download = kNever;
    int checkedRanged = 0, checkedWhole = 0, stored = 0;
    for (int round = 0; round < 3; ++round) {
        checkRanged = std::min(checkRanged, timedRun(Run::Check, rangedPort, &checkedRanged));
        checkWhole = std::min(checkWhole, timedRun(Run::Check, wholePort, &checkedWhole));
        download = std::min(download, timedRun(Run::Download, wholePort, &stored));
    }
    std::printf("%3d ms  %4d KB  check: range honoured %5lld ms (%d), range ignored %5lld ms (%d)   download %5lld ms (%d stored)\n",
                rttMs, size / 1024, checkRanged, checkedRanged, checkWhole, checkedWhole, download, stored);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::printf("%d pictures, 8 slots, connections kept, best of 3; (n) = pictures whose dimensions were found or files stored\n",
                kPictures);
    for (const int rtt : {0, 20}) {
        for (const int size : {20 * 1024, 1024 * 1024})
            row(rtt, size);
    }
    return 0;
}
