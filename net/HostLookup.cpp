#include "HostLookup.h"

#include "SocketErrors.h"

#include <QObject>

#include <arpa/inet.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr int kMaxAddresses = 256;

int lookupError(int code)
{
    switch (code) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return SocketError::HostNotFound;
    case EAI_AGAIN:
        return SocketError::TryAgain;
    default:
        return SocketError::NoRecovery;
    }
}

} // namespace

THostAddresses ResolveHostName(const QString &name)
{
    // Both families, in the order the resolver prefers them.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo *found = nullptr;
    const int rc = getaddrinfo(name.toUtf8().constData(), nullptr, &hints, &found);
    if (rc != 0)
        return {lookupError(rc), {}};
    THostAddresses result;
    for (addrinfo *a = found; a && result.addresses.size() < kMaxAddresses; a = a->ai_next) {
        char text[INET6_ADDRSTRLEN];
        const void *address = a->ai_family == AF_INET6
                                  ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 *>(a->ai_addr)->sin6_addr)
                                  : static_cast<const void *>(&reinterpret_cast<const sockaddr_in *>(a->ai_addr)->sin_addr);
        if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) && inet_ntop(a->ai_family, address, text, sizeof(text))
            && !result.addresses.contains(QString::fromLatin1(text)))
            result.addresses << QString::fromLatin1(text);
    }
    freeaddrinfo(found);
    if (result.addresses.isEmpty())
        result.error = SocketError::NoData;
    return result;
}

// Shared by the owner and the look-up thread: the thread posts its result
// only while the owner still wants it, under the lock the owner takes to
// withdraw, so nothing is posted to an object that is going away.
struct THostLookup::Ticket
{
    std::mutex mutex;
    QObject *receiver = nullptr;
    Done done;
};

THostLookup::THostLookup(QObject *receiver)
    : m_receiver(receiver)
{
}

THostLookup::~THostLookup()
{
    cancel();
}

void THostLookup::start(const QString &name, Done done)
{
    cancel();
    auto ticket = std::make_shared<Ticket>();
    ticket->receiver = m_receiver;
    ticket->done = std::move(done);
    m_ticket = ticket;
    m_running = true;
    std::thread([ticket, name, resolver = m_resolver, this] {
        const THostAddresses result = resolver(name);
        std::lock_guard lock(ticket->mutex);
        if (!ticket->receiver)
            return;
        QMetaObject::invokeMethod(
            ticket->receiver,
            [ticket, result, this] {
                if (m_ticket != ticket)
                    return; // cancelled or replaced meanwhile
                m_ticket.reset();
                m_running = false;
                ticket->done(result);
            },
            Qt::QueuedConnection);
    }).detach();
}

void THostLookup::cancel()
{
    if (!m_ticket)
        return;
    {
        std::lock_guard lock(m_ticket->mutex);
        m_ticket->receiver = nullptr;
    }
    m_ticket.reset();
    m_running = false;
}
