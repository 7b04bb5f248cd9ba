#include "DelayLink.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <chrono>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSliceMs = 20;
constexpr int kLifetimeMs = 60000; // a relay left by a failing test ends by itself

int listenOnLoopback(quint16 *port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    ::listen(fd, 64);
    socklen_t len = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &len);
    *port = ntohs(address.sin_port);
    return fd;
}

int connectToLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One direction of a relayed connection: what was read, each piece due later.
struct Direction
{
    int from, to;
    std::deque<std::pair<Clock::time_point, QByteArray>> queue;
    bool ended = false;   // the sender closed its side
    bool shutDown = false; // and that was passed on

    bool done() const { return shutDown; }
};

} // namespace

TDelayLink::TDelayLink(quint16 targetPort, int delayMs)
    : m_target(targetPort)
    , m_delayMs(delayMs)
{
    m_listen = listenOnLoopback(&m_port);
    m_thread = std::thread([this] { run(); });
}

TDelayLink::~TDelayLink()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

void TDelayLink::run()
{
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) <= 0)
            continue;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0)
            m_workers.emplace_back([this, client] { relay(client); });
    }
    for (std::thread &worker : m_workers)
        worker.join();
}

void TDelayLink::relay(int client)
{
    const int server = connectToLoopback(m_target);
    if (server < 0) {
        ::close(client);
        return;
    }
    // A wire passes each piece on as it comes: no holding back small ones
    // for an acknowledgement, which on loopback would wait out a delayed ACK.
    for (const int fd : {client, server}) {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    }
    Direction up{client, server, {}, false, false};
    Direction down{server, client, {}, false, false};
    const auto started = Clock::now();
    while (!m_stop && !(up.done() && down.done())) {
        if (Clock::now() - started > std::chrono::milliseconds(kLifetimeMs))
            break;
        const auto now = Clock::now();
        // Woken when the next piece is due, to the microsecond: a wait cut to
        // whole milliseconds ends early and spins, taking the CPU the
        // programs measured through the link need.
        Clock::duration wait = std::chrono::milliseconds(kSliceMs);
        for (Direction *d : {&up, &down}) {
            // Pass on what is due, in order.
            while (!d->queue.empty() && d->queue.front().first <= now) {
                const QByteArray &piece = d->queue.front().second;
                for (qsizetype sent = 0; sent < piece.size();) {
                    const ssize_t n = ::send(d->to, piece.constData() + sent, size_t(piece.size() - sent), MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    sent += n;
                }
                d->queue.pop_front();
            }
            if (d->ended && d->queue.empty() && !d->shutDown) {
                ::shutdown(d->to, SHUT_WR);
                d->shutDown = true;
            }
            if (!d->queue.empty())
                wait = std::min(wait, std::max(Clock::duration::zero(), d->queue.front().first - now));
        }
        pollfd watch[2] = {{up.from, short(up.ended ? 0 : POLLIN), 0}, {down.from, short(down.ended ? 0 : POLLIN), 0}};
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
        const timespec timeout{time_t(us / 1000000), long(us % 1000000) * 1000};
        if (::ppoll(watch, 2, &timeout, nullptr) <= 0)
            continue;
        for (int k = 0; k < 2; ++k) {
            Direction &d = k == 0 ? up : down;
            if (!(watch[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[16384];
            const ssize_t n = ::recv(d.from, buffer, sizeof(buffer), 0);
            if (n <= 0)
                d.ended = true;
            else
                d.queue.emplace_back(Clock::now() + std::chrono::milliseconds(m_delayMs), QByteArray(buffer, n));
        }
    }
    ::close(client);
    ::close(server);
}
