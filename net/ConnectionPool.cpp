#include "ConnectionPool.h"

#include "H2Connection.h"
#include "TlsChannel.h"
#include "WSocket.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void silence(TWSocket *socket)
{
    socket->OnDataAvailable = nullptr;
    socket->OnSessionClosed = nullptr;
    socket->OnDataSent = nullptr;
    socket->OnSessionConnected = nullptr;
    socket->OnDnsLookupDone = nullptr;
}

} // namespace

TConnectionPool::TConnectionPool(QObject *parent)
    : QObject(parent)
    , m_sweep(new QTimer(this))
{
    m_sweep->setInterval(kIdleMs / 4);
    connect(m_sweep, &QTimer::timeout, this, &TConnectionPool::sweep);
}

TConnectionPool::~TConnectionPool()
{
    closeAll();
    for (auto &[server, connection] : std::exchange(m_shared, {}))
        delete connection;
}

void TConnectionPool::share(const QString &server, TH2Connection *connection)
{
    connection->setParent(this);
    m_shared.emplace_back(server, connection);
    connect(connection, &TH2Connection::retired, this, [this, connection] {
        std::erase_if(m_shared, [connection](const auto &entry) { return entry.second == connection; });
    });
    connect(connection, &QObject::destroyed, this, [this, connection] {
        std::erase_if(m_shared, [connection](const auto &entry) { return entry.second == connection; });
    });
}

TH2Connection *TConnectionPool::shared(const QString &server) const
{
    for (const auto &[key, connection] : m_shared) {
        if (key == server && connection->acceptsMore())
            return connection;
    }
    return nullptr;
}

void TConnectionPool::park(const QString &server, TWSocket *socket, std::unique_ptr<TTlsChannel> tls)
{
    silence(socket);
    socket->setParent(this);
    if (idleCount(server) >= kMaxPerServer)
        dropOldest(server);
    if (idleCount() >= kMaxIdle)
        dropOldest(QString());
    m_idle.push_back({server, socket, std::move(tls), now()});
    watch(m_idle.back());
    if (!m_sweep->isActive())
        m_sweep->start();
}

std::optional<TConnectionPool::TConnection> TConnectionPool::take(const QString &server)
{
    for (auto it = m_idle.rbegin(); it != m_idle.rend(); ++it) {
        if (it->server != server || it->socket->State() != wsConnected)
            continue;
        TConnection taken{it->socket, std::move(it->tls)};
        silence(taken.socket);
        m_idle.erase(std::next(it).base());
        return taken;
    }
    return std::nullopt;
}

int TConnectionPool::idleCount(const QString &server) const
{
    return int(std::count_if(m_idle.cbegin(), m_idle.cend(), [&](const Entry &e) { return e.server == server; }));
}

void TConnectionPool::closeAll()
{
    while (!m_idle.empty())
        drop(m_idle.front().socket);
}

// An idle connection has nothing to say: a close, or data (a late response,
// garbage), ends it. TLS may still bring session tickets, which are taken in.
void TConnectionPool::watch(Entry &entry)
{
    TWSocket *socket = entry.socket;
    socket->OnSessionClosed = [this](TWSocket *s, int) { drop(s); };
    socket->OnDataAvailable = [this](TWSocket *s, int) {
        const auto it = find(s);
        if (it == m_idle.end())
            return;
        char buffer[16384];
        const int raw = s->Receive(buffer, sizeof(buffer));
        if (raw <= 0)
            return;
        TTlsChannel *tls = it->tls.get();
        if (!tls) {
            drop(s);
            return;
        }
        tls->feed(buffer, raw);
        char plain[512];
        if (tls->read(plain, sizeof(plain)) != 0 || tls->closeNotifyReceived())
            drop(s);
    };
}

std::vector<TConnectionPool::Entry>::iterator TConnectionPool::find(TWSocket *socket)
{
    return std::find_if(m_idle.begin(), m_idle.end(), [socket](const Entry &e) { return e.socket == socket; });
}

void TConnectionPool::drop(TWSocket *socket)
{
    const auto it = find(socket);
    if (it == m_idle.end())
        return;
    m_idle.erase(it);
    silence(socket);
    if (socket->State() != wsClosed)
        socket->Close();
    socket->deleteLater();
}

void TConnectionPool::dropOldest(const QString &server)
{
    const auto it = std::find_if(m_idle.begin(), m_idle.end(),
                                 [&](const Entry &e) { return server.isEmpty() || e.server == server; });
    if (it != m_idle.end())
        drop(it->socket);
}

void TConnectionPool::sweep()
{
    closeIdleOlderThan(kIdleMs);
}

void TConnectionPool::closeIdleOlderThan(int ms)
{
    const qint64 limit = now() - ms;
    std::vector<TWSocket *> old;
    for (const Entry &e : m_idle) {
        if (e.parkedAt <= limit)
            old.push_back(e.socket);
    }
    for (TWSocket *socket : old)
        drop(socket);
    if (m_idle.empty())
        m_sweep->stop();
}
