// A gallery of 200 pictures of 20 KB harvested over a link that delays
// every piece of data (20 ms and 100 ms round trips), plain and over TLS
// (where the server offers HTTP/2), from our scripted server and from nginx
// when it is installed: ours with connections kept and without, beside
// wget, wget2 and curl when they are installed. Page fetch included for
// everyone; best of three; ours counted stored only byte for byte.
#include "BenchCommon.h"
#include "DataRec.h"
#include "DelayLink.h"
#include "ItemTree.h"
#include "NginxGallery.h"
#include "Parts.h"
#include "TestPki.h"
#include "TreeNode.h"
#include "Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <limits>

namespace {

constexpr int kPictures = 200;

// "&Get url" and then every picture, through the window: ms and files stored.
qint64 harvest(const QString &page, bool reuse, int perSlot, int *stored)
{
    QTemporaryDir home;
    TWindows w(home.path());
    w.main->show();
    Part<QSpinBox>(*w.configuration, "SpinEditMaxTreads")->setValue(8);
    Part<QCheckBox>(*w.configuration, "CheckBoxStartAll")->setChecked(true);
    Part<QCheckBox>(*w.configuration, "CheckBoxReuseConnections")->setChecked(reuse);
    Part<QSpinBox>(*w.configuration, "SpinEditFilesPerSlot")->setValue(perSlot);
    Part<QCheckBox>(*w.configuration, "CheckBoxAutoSelect")->setChecked(true);
    Part<QLineEdit>(*w.configuration, "EditAutoSelectFileTypes")->setText("jpg");
    Part<QComboBox>(*w.main, "ComboBoxBookmark")->setCurrentText(page);
    QElapsedTimer clock;
    clock.start();
    w.getUrl();
    w.downloads->ButtonDownloadClick();
    waitUntil([&w] { return w.queue.remaining() == 0; }, 120000);
    const qint64 ms = clock.elapsed();
    // Stored: on disk byte for byte.
    const QDir directory(Part<QComboBox>(*w.main, "ComboBoxDownload")->currentText());
    *stored = 0;
    for (int i = 0; i < kPictures; ++i) {
        QFile file(directory.filePath(QString("pic%1.jpg").arg(i)));
        *stored += file.open(QIODevice::ReadOnly) && file.readAll() == picture(20 * 1024, i) ? 1 : 0;
    }
    return ms;
}

qint64 timed(const QString &program, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(program, arguments);
    return clock.elapsed();
}

// A peer's harvest of the same page, in a directory of its own.
qint64 peer(const QString &name, const QString &page, const QString &authority)
{
    QTemporaryDir target;
    if (name == "wget" || name == "wget2") {
        QStringList args{"-q", "-r", "-l1", "-nd", "-A", "jpg", "-P", target.path(), page};
        if (!authority.isEmpty())
            args << "--ca-certificate=" + authority;
        if (name == "wget2")
            args << "--max-threads=8";
        return timed(name, args);
    }
    // curl does not follow links: the page first, then its pictures, eight at a time.
    QStringList args{"-s", "--parallel", "--parallel-max", "8", "--output-dir", target.path(), "-o", "index.html", page};
    if (!authority.isEmpty())
        args << "--cacert" << authority;
    const QString base = page.left(page.lastIndexOf('/') + 1);
    for (int i = 0; i < kPictures; ++i)
        args << "-O" << base + QString("pic%1.jpg").arg(i);
    return timed("curl", args);
}

// A time as round trips of the link, beside the bound of the model: over
// HTTP/2 the whole run in one connection's slow start (12 round trips),
// over HTTP/1.1 with 8 connections 28.
QString roundTrips(qint64 ms, int rttMs, int bound)
{
    return QString("%1 RTT, bound %2").arg(double(ms) / rttMs, 0, 'f', 1).arg(bound);
}

void row(const char *server, int rttMs, const QString &scheme, const QString &page, const QString &authority)
{
    const bool secure = scheme == "https";
    constexpr qint64 kNever = std::numeric_limits<qint64>::max();
    qint64 kept = kNever, one = kNever, classic = kNever;
    int storedKept = 0, storedOne = 0, storedClassic = 0;
    QMap<QString, qint64> peers;
    for (int round = 0; round < 3; ++round) {
        kept = std::min(kept, harvest(page, true, 16, &storedKept));
        if (secure)
            one = std::min(one, harvest(page, true, 1, &storedOne));
        classic = std::min(classic, harvest(page, false, 1, &storedClassic));
        for (const char *name : {"wget2", "curl", "wget"}) {
            if (QStandardPaths::findExecutable(name).isEmpty())
                continue;
            const qint64 ms = peer(name, page, authority);
            peers[name] = std::min(peers.value(name, kNever), ms);
        }
    }
    const int bound = secure ? 12 : 28;
    if (secure)
        std::printf("%-8s %3d ms %-5s  ours HTTP/2 16 a slot %6lld ms (%s; %d stored), 1 a slot %6lld ms (%s; %d)",
                    server, rttMs, qPrintable(scheme), kept, qPrintable(roundTrips(kept, rttMs, bound)), storedKept, one,
                    qPrintable(roundTrips(one, rttMs, bound)), storedOne);
    else
        std::printf("%-8s %3d ms %-5s  ours kept %6lld ms (%s; %d stored)", server, rttMs, qPrintable(scheme), kept,
                    qPrintable(roundTrips(kept, rttMs, bound)), storedKept);
    std::printf(", ours HTTP/1.0 %6lld ms (%d)", classic, storedClassic);
    for (auto it = peers.cbegin(); it != peers.cend(); ++it)
        std::printf(", %s %lld ms (%.1f RTT)", qPrintable(it.key()), it.value(), double(it.value()) / rttMs);
    std::printf("\n");
    std::fflush(stdout);
}

// One large file through the window's engine and through curl, MiB/s.
void largeFile(int rttMs)
{
    constexpr int kMiB = 50;
    Server server;
    server.route("/large.bin", Server::page11(picture(kMiB * 1024 * 1024, 9), "application/octet-stream"));
    TDelayLink link(server.port(), rttMs / 2);
    const QString url = QString("http://127.0.0.1:%1/large.bin").arg(link.port());
    double ours = 0, curl = 0;
    for (int round = 0; round < 2; ++round) {
        QTemporaryDir home;
        TWindows w(home.path());
        Part<QSpinBox>(*w.configuration, "SpinEditMaxSize")->setValue(Part<QSpinBox>(*w.configuration, "SpinEditMaxSize")->maximum());
        TItemTree *tree = w.main->itemTree();
        tree->MakeRootNodes();
        TDataRec rec;
        rec.kind = KindFile;
        rec.url = url;
        rec.name = "large.bin";
        rec.localPath = QDir(Part<QComboBox>(*w.main, "ComboBoxDownload")->currentText()).filePath(rec.name);
        tree->AddTreeNode(tree->rootFiles(), rec)->setStateIndex(StateChecked);
        Part<QCheckBox>(*w.configuration, "CheckBoxStartAll")->setChecked(true);
        QElapsedTimer clock;
        clock.start();
        w.downloads->ButtonDownloadClick();
        waitUntil([&w] { return w.queue.remaining() == 0; }, 120000);
        ours = std::max(ours, kMiB / (clock.nsecsElapsed() / 1e9));
        if (!QStandardPaths::findExecutable("curl").isEmpty()) {
            QTemporaryDir target;
            const qint64 ms = timed("curl", {"-s", "-o", target.filePath("large.bin"), url});
            curl = std::max(curl, kMiB * 1000.0 / std::max<qint64>(ms, 1));
        }
    }
    std::printf("%3d ms one file of %d MiB: ours %.0f MiB/s, curl %.0f MiB/s (best of 2)\n", rttMs, kMiB, ours, curl);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir pkiDir;
    const TTestPki pki = TTestPki::make();
    pki.trust(pkiDir.path());
    const QString authority = QDir(pkiDir.path()).filePath("authority.pem");
    QFile file(authority);
    if (file.open(QIODevice::WriteOnly))
        file.write(pki.authority);
    file.close();

    std::printf("gallery of %d pictures of 20 KB over a delaying link, 8 slots, fast start, page included, best of 3\n",
                kPictures);
    TGallery plain(kPictures, 20 * 1024, true);
    TGallery secure(kPictures, 20 * 1024, true);
    secure.server.setTls(pki.server.certificate, pki.server.key);
    secure.server.setAlpn({"h2", "http/1.1"}); // as today's servers answer: HTTP/2 to whoever asks
    const TNginxGallery nginx(kPictures, 20 * 1024, pki.server.certificate, pki.server.key);
    if (!nginx.running())
        std::printf("(no nginx: its rows are left out)\n");
    // Arguments choose: a round trip (20, 100), a server (scripted, nginx).
    const QStringList only = app.arguments().mid(1);
    const auto chosen = [&only](const QString &what, const QStringList &kind) {
        return std::none_of(only.cbegin(), only.cend(), [&kind](const QString &a) { return kind.contains(a); })
            || only.contains(what);
    };
    const QStringList rtts{"20", "100"}, servers{"scripted", "nginx"};
    for (const int rtt : {20, 100}) {
        if (!chosen(QString::number(rtt), rtts))
            continue;
        for (const QString &server : servers) {
            if (!chosen(server, servers) || (server == "nginx" && !nginx.running()))
                continue;
            const bool ours = server == "scripted";
            TDelayLink plainLink(ours ? plain.server.port() : nginx.plainPort, rtt / 2);
            TDelayLink secureLink(ours ? secure.server.port() : nginx.securePort, rtt / 2);
            row(qPrintable(server), rtt, "http", QString("http://127.0.0.1:%1/g/index.html").arg(plainLink.port()), QString());
            row(qPrintable(server), rtt, "https", QString("https://localhost:%1/g/index.html").arg(secureLink.port()), authority);
        }
        largeFile(rtt);
    }
    return 0;
}
