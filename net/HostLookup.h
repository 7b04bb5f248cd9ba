#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QObject;

// What a host-name look-up found: the sockets error number (0 when found)
// and the addresses, IPv4 dotted or IPv6 in its text form, in the order the
// resolver gave them.
struct THostAddresses
{
    int error = 0;
    QStringList addresses;
};

// The system's resolver, called on the thread it is given.
THostAddresses ResolveHostName(const QString &name);

// One host-name look-up at a time, each on a thread of its own, so that a
// stalled name server holds neither the window nor the end of the process:
// a cancelled look-up is forgotten and its thread finishes on its own.
class THostLookup
{
public:
    using Resolver = std::function<THostAddresses(const QString &)>;
    using Done = std::function<void(const THostAddresses &)>;

    // Results are delivered through the event loop of receiver's thread.
    explicit THostLookup(QObject *receiver);
    ~THostLookup();
    THostLookup(const THostLookup &) = delete;
    THostLookup &operator=(const THostLookup &) = delete;

    // Tests put a resolver of their own in place of the system's.
    void setResolver(Resolver resolver) { m_resolver = std::move(resolver); }

    void start(const QString &name, Done done);
    // The running look-up, if any, reports nothing any more.
    void cancel();
    bool running() const { return m_running; }

private:
    struct Ticket;
    QObject *m_receiver;
    Resolver m_resolver = ResolveHostName;
    std::shared_ptr<Ticket> m_ticket;
    bool m_running = false;
};
