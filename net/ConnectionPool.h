#pragma once

#include "RunSettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QTimer;
class TH2Connection;
class TTlsChannel;
class TWSocket;

// Open connections whose last response ended whole, kept for the next
// request to the same server (scheme, host, port, proxy). A connection the
// server closes, or that says anything while idle, is dropped; any left
// idle for a few seconds is closed.
class TConnectionPool : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIdleMs = 4000;
    static constexpr int kMaxPerServer = kTransferSlots;
    static constexpr int kMaxIdle = 64;

    struct TConnection
    {
        TWSocket *socket = nullptr; // the taker's from now on
        std::unique_ptr<TTlsChannel> tls;
    };

    explicit TConnectionPool(QObject *parent = nullptr);
    ~TConnectionPool() override;

    // Keeps a connected socket (and its TLS session); the pool owns it now.
    void park(const QString &server, TWSocket *socket, std::unique_ptr<TTlsChannel> tls);
    // The most recently kept open connection to this server, or none.
    std::optional<TConnection> take(const QString &server);
    int idleCount() const { return int(m_idle.size()); }
    int idleCount(const QString &server) const;
    void closeAll();
    // HTTP/2 connections are shared while they run, not taken: one per server.
    void share(const QString &server, TH2Connection *connection);
    TH2Connection *shared(const QString &server) const;
    // Closes what has been idle for at least this long; the pool's own timer
    // does it with kIdleMs.
    void closeIdleOlderThan(int ms);

private:
    struct Entry
    {
        QString server;
        TWSocket *socket;
        std::unique_ptr<TTlsChannel> tls;
        qint64 parkedAt;
    };

    void watch(Entry &entry);
    void drop(TWSocket *socket);
    void dropOldest(const QString &server);
    void sweep();
    std::vector<Entry>::iterator find(TWSocket *socket);

    std::vector<Entry> m_idle; // oldest first
    std::vector<std::pair<QString, TH2Connection *>> m_shared;
    QTimer *m_sweep;
};
