// HTTPS: 256 MiB over TLS on loopback, and 1,000 small requests each on a
// connection of its own, with our client and with curl trusting the same
// test authority, in the same run.
#include "HttpProt.h"
#include "MemoryStream.h"
#include "ScriptedServer.h"
#include "TestPki.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

using Server = TScriptedServer;

// One GET with our client, waiting in the event loop; false when it failed.
bool fetch(THttpCli &cli, const QString &url, QIODevice *stream)
{
    QEventLoop loop;
    bool ok = false;
    cli.URL = url;
    cli.ReceiveStream = stream;
    cli.OnRequestDone = [&](THttpCli *, THttpRequest, int error) {
        ok = error == 0;
        loop.quit();
    };
    cli.StartFetch();
    loop.exec();
    return ok;
}

double curlSeconds(const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    if (QProcess::execute(QStringLiteral("curl"), arguments) != 0)
        return -1;
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const TTestPki pki = TTestPki::make();
    pki.trust(dir.path());
    const QString authority = dir.filePath(QStringLiteral("authority.pem"));

    constexpr int kMiB = 256;
    const QByteArray block(1024 * 1024, 'z');
    Server server;
    server.setTls(pki.server.certificate, pki.server.key);
    server.route("/big.bin", {Server::send("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(kMiB * 1048576LL)
                                           + "\r\n\r\n"),
                              Server::repeat(block, kMiB), Server::close()});
    server.route("/small.txt", Server::page("a small answer\n", "text/plain"));
    const QString big = QStringLiteral("https://127.0.0.1:%1/big.bin").arg(server.port());
    const QString small = QStringLiteral("https://127.0.0.1:%1/small.txt").arg(server.port());

    // Turn about, best of three each.
    double ours = 0, oursStream = 0, curl = 0;
    TMemoryStream stream;
    for (int round = 0; round < 3; ++round) {
        const double c = curlSeconds({"-s", "--cacert", authority, "-o", "/dev/null", big});
        if (c < 0) {
            std::fprintf(stderr, "curl failed (is it installed?)\n");
            return 1;
        }
        curl = std::max(curl, kMiB / c);
        THttpCli cli;
        QElapsedTimer clock;
        clock.start();
        if (!fetch(cli, big, nullptr))
            return 1;
        ours = std::max(ours, kMiB / (clock.nsecsElapsed() / 1e9));
        stream.clear();
        clock.restart();
        if (!fetch(cli, big, &stream))
            return 1;
        oursStream = std::max(oursStream, kMiB / (clock.nsecsElapsed() / 1e9));
    }
    std::printf("https, %d MiB over loopback (best of 3): curl --cacert -o /dev/null %.0f MiB/s; ours discarding %.0f "
                "MiB/s = %.0f%% (target >= 80%%), into a memory stream %.0f MiB/s\n",
                kMiB, curl, ours, 100 * ours / curl, oursStream);

    constexpr int kRequests = 1000;
    QFile config(dir.filePath(QStringLiteral("urls.curl")));
    config.open(QIODevice::WriteOnly);
    for (int i = 0; i < kRequests; ++i)
        config.write(QStringLiteral("url = \"%1\"\noutput = \"/dev/null\"\n").arg(small).toUtf8());
    config.close();
    double oursRate = 0, curlRate = 0;
    for (int round = 0; round < 3; ++round) {
        const double c = curlSeconds({"-s", "--cacert", authority, "-K", config.fileName()});
        curlRate = std::max(curlRate, kRequests / c);
        THttpCli cli;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kRequests; ++i) {
            if (!fetch(cli, small, nullptr))
                return 1;
        }
        oursRate = std::max(oursRate, kRequests / (clock.nsecsElapsed() / 1e9));
    }
    std::printf("https, %d small requests, a connection each (best of 3): curl %.0f/s, ours %.0f/s = %.0f%% (target >= 80%%)\n",
                kRequests, curlRate, oursRate, 100 * oursRate / curlRate);
    return 0;
}
