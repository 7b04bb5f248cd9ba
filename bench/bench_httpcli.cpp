// Download speed: a 256 MiB body from a loopback server, fetched by our
// client into its memory stream and by curl into /dev/null, in the same run.
#include "HttpProt.h"
#include "MemoryStream.h"
#include "PeakMemory.h"

#include <QList>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qint64 kBodySize = 256LL * 1024 * 1024;

// Serves the same large response to every connection until stopped.
class BulkServer
{
public:
    BulkServer()
        : m_block(1 << 20, 'z')
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
        ::listen(m_fd, 4);
        socklen_t len = sizeof(address);
        getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &len);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~BulkServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    quint16 port() const { return m_port; }

private:
    void run()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                continue;
            char request[4096];
            ::recv(client, request, sizeof(request), 0);
            const QByteArray header = "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(kBodySize)
                                      + "\r\nContent-Type: application/octet-stream\r\n\r\n";
            ::send(client, header.constData(), size_t(header.size()), MSG_NOSIGNAL);
            for (qint64 sent = 0; sent < kBodySize;) {
                const ssize_t n = ::send(client, m_block.constData(), size_t(m_block.size()), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += n;
                if (n < m_block.size()) {
                    qint64 rest = m_block.size() - n;
                    while (rest > 0) {
                        const ssize_t m = ::send(client, m_block.constData() + (m_block.size() - rest), size_t(rest), MSG_NOSIGNAL);
                        if (m <= 0)
                            break;
                        rest -= m;
                        sent += m;
                    }
                }
            }
            ::shutdown(client, SHUT_WR);
            char drain[4096];
            while (::recv(client, drain, sizeof(drain), 0) > 0) {
            }
            ::close(client);
        }
    }

    QByteArray m_block;
    int m_fd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// How fast this machine hands out and fills fresh memory: a floor for any
// client that keeps a body in memory pages it touches for the first time.
double freshMemoryMiBps()
{
    const size_t bytes = size_t(kBodySize);
    QElapsedTimer clock;
    clock.start();
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return 0;
    std::memset(p, 1, bytes);
    const double seconds = clock.nsecsElapsed() / 1e9;
    munmap(p, bytes);
    return double(kBodySize) / (1024 * 1024) / seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BulkServer server;
    const QString url = QStringLiteral("http://127.0.0.1:%1/big.bin").arg(server.port());
    const double mib = double(kBodySize) / (1024 * 1024);

    // One stream for all runs, as a transfer slot keeps its receive stream. The
    // first run in a process pays for memory the kernel has not handed out yet.
    TMemoryStream stream;
    QList<double> ours;
    double bestCurl = 1e9;
    qint64 peakGrowthKiB = 0;
    for (int run = 0; run < 3; ++run) {
        stream.clear();
        resetPeakRss();
        const qint64 baseline = peakRssKiB();
        {
            THttpCli cli;
            cli.URL = url;
            cli.ReceiveStream = qEnvironmentVariableIsSet("NOSTREAM") ? nullptr : &stream;
            bool ok = false;
            cli.OnRequestDone = [&](THttpCli *c, THttpRequest, int error) {
                ok = error == 0 && c->ReceivedBytes == kBodySize;
                app.quit();
            };
            QElapsedTimer clock;
            clock.start();
            cli.StartFetch();
            app.exec();
            if (!ok) {
                std::fprintf(stderr, "download failed\n");
                return 1;
            }
            ours << clock.nsecsElapsed() / 1e9;
            peakGrowthKiB = std::max(peakGrowthKiB, peakRssKiB() - baseline);
        }

        QElapsedTimer clock;
        clock.start();
        const int rc = QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                                                    QStringLiteral("/dev/null"), url});
        if (rc != 0) {
            std::fprintf(stderr, "curl failed (is it installed?)\n");
            return 1;
        }
        bestCurl = std::min(bestCurl, clock.nsecsElapsed() / 1e9);
    }
    const double curl = mib / bestCurl;
    const double first = mib / ours[0];
    const double warm = mib / std::min(ours[1], ours[2]);
    std::printf("download %.0f MiB over loopback: curl -o /dev/null %.0f MiB/s (best of 3)\n", mib, curl);
    std::printf("  ours into a memory stream, first run of the process: %.0f MiB/s = %.0f%% of curl\n", first,
                100 * first / curl);
    std::printf("  ours into a memory stream, warm (best of runs 2-3):   %.0f MiB/s = %.0f%% of curl (target >= 80%%)\n",
                warm, 100 * warm / curl);
    std::printf("  filling %.0f MiB of fresh memory on this machine: %.0f MiB/s (the bound for a first run)\n", mib,
                freshMemoryMiBps());
    std::printf("peak memory growth during our download: %.0f MiB = %.2f x body (target < 2.5)\n",
                peakGrowthKiB / 1024.0, peakGrowthKiB / 1024.0 / mib);
    return 0;
}
