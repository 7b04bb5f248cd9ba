#include "WSocket.h"

#include "SocketAddress.h"
#include "SocketErrors.h"
#include "WSocket_p.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace WSocketRules;

TWSocket::TWSocket(QObject *parent)
    : QObject(parent)
{
    m_stallTimer = new QTimer(this);
    m_stallTimer->setInterval(kStallPollMs);
    connect(m_stallTimer, &QTimer::timeout, this, [this] { guarded([this] { pollStalledClose(); }); });
    setDefaults();
}

TWSocket::~TWSocket()
{
    m_destroying = true;
    try {
        CancelLookup();
        if (m_state != wsClosed)
            Close();
    } catch (...) {
    }
    closeHandleQuietly();
}

void TWSocket::setDefaults()
{
    m_proto = QStringLiteral("tcp");
    m_protoAssigned = true;
    m_addrAssigned = false;
    m_portAssigned = false;
    m_localPort = QStringLiteral("0");
    m_localPortAssigned = false;
    m_localAddr = QStringLiteral("0.0.0.0");
    LingerOnOff = wsLingerOn;
    LingerTimeout = 0;
    m_state = wsClosed;
    m_sendQueue.clear();
    m_closeReported = false;
    m_readCount = 0;
    m_readStalled = false;
    FlushTimeout = 60;
}

void TWSocket::changeState(TSocketState state)
{
    const TSocketState old = m_state;
    m_state = state;
    if (old != state && OnChangeState)
        OnChangeState(this, old, state);
}

void TWSocket::raiseError(const QString &message)
{
    if (OnError) {
        m_lastErrorMessage = message;
        OnError(this);
        return;
    }
    throw ESocketException(message);
}

void TWSocket::refuse(const QString &text)
{
    raiseError(text);
}

void TWSocket::errorReport(const QString &function)
{
    const int code = m_lastError;
    if (code == SocketError::ConnReset || code == SocketError::NotConnected) {
        closeHandleQuietly();
        m_state = wsClosed;
    }
    raiseError(QStringLiteral("Error %1 in function %2\r\n%3").arg(code).arg(function, SocketErrorText(code)));
}

void TWSocket::changeProperty(QString &field, bool &assigned, const QString &value, const char *name)
{
    const QString trimmed = value.trimmed();
    if (m_state != wsClosed) {
        if (trimmed == field)
            return;
        refuse(QStringLiteral("Cannot change %1 if not closed").arg(QLatin1String(name)));
        return;
    }
    field = trimmed;
    assigned = true;
}

void TWSocket::setAddr(const QString &addr)
{
    changeProperty(m_addr, m_addrAssigned, addr, "Addr");
}

void TWSocket::setPort(const QString &port)
{
    changeProperty(m_port, m_portAssigned, port, "Port");
}

void TWSocket::setProto(const QString &proto)
{
    changeProperty(m_proto, m_protoAssigned, proto, "Proto");
}

void TWSocket::setLocalPort(const QString &port)
{
    changeProperty(m_localPort, m_localPortAssigned, port, "LocalPort");
}

void TWSocket::setLocalAddr(const QString &addr)
{
    if (m_state != wsClosed) {
        if (addr.trimmed() != m_localAddr)
            refuse(QStringLiteral("Cannot change LocalAddr if not closed"));
        return;
    }
    in_addr address{};
    const QString trimmed = addr.trimmed();
    if (trimmed.isEmpty() || (!DottedAddress(trimmed, &address) && trimmed != QLatin1String("255.255.255.255"))) {
        refuse(QStringLiteral("SetLocalAddr(): Invalid IP address"));
        return;
    }
    m_localAddr = trimmed;
}

void TWSocket::setSendFlags(int flags)
{
    if (flags != wsSendNormal && flags != wsSendUrgent) {
        refuse(QStringLiteral("Invalid SendFlags"));
        return;
    }
    m_sendFlags = TSocketSendFlags(flags);
}

bool TWSocket::peerAddress(sockaddr_storage *peer) const
{
    socklen_t len = sizeof(*peer);
    return m_state == wsConnected && getpeername(m_fd, reinterpret_cast<sockaddr *>(peer), &len) == 0;
}

QString TWSocket::PeerAddr() const
{
    sockaddr_storage peer{};
    return peerAddress(&peer) ? AddressText(peer) : QStringLiteral("error");
}

QString TWSocket::PeerPort() const
{
    sockaddr_storage peer{};
    return peerAddress(&peer) ? QString::number(AddressPort(peer)) : QStringLiteral("error");
}

int TWSocket::RcvdCount()
{
    if (m_fd < 0)
        return 0;
    int pending = 0;
    if (ioctl(m_fd, FIONREAD, &pending) != 0) {
        m_lastError = lastSocketError();
        errorReport(QStringLiteral("ioctlsocket"));
        return -1;
    }
    return pending;
}

void TWSocket::LookupHost(const QString &name)
{
    if (name.isEmpty()) {
        m_lastError = SocketError::InvalidArgument;
        refuse(QStringLiteral("DNS lookup: invalid host name."));
        runHandler(OnDnsLookupDone, this, SocketError::InvalidArgument);
        return;
    }
    m_lookup.cancel();
    m_dnsResult.clear();
    m_dnsResultList.clear();

    // An address needs no look-up; IPv6 may come in a URL's brackets.
    in_addr address{};
    in6_addr address6{};
    char text[INET6_ADDRSTRLEN] = {};
    if (DottedAddress(name, &address))
        inet_ntop(AF_INET, &address, text, sizeof(text));
    else if (Ipv6Address(name, &address6))
        inet_ntop(AF_INET6, &address6, text, sizeof(text));
    if (text[0]) {
        m_dnsResult = QString::fromLatin1(text);
        m_dnsResultList << m_dnsResult;
        runHandler(OnDnsLookupDone, this, 0);
        return;
    }
    m_lookup.start(name, [this](const THostAddresses &found) { guarded([this, &found] { lookupDone(found); }); });
}

void TWSocket::lookupDone(const THostAddresses &found)
{
    if (found.error == 0) {
        m_dnsResultList = found.addresses;
        m_dnsResult = m_dnsResultList.first();
    }
    runHandler(OnDnsLookupDone, this, found.error);
}

void TWSocket::CancelLookup()
{
    if (!m_lookup.running())
        return;
    m_lookup.cancel();
    if (!m_destroying && OnDnsLookupDone)
        runHandler(OnDnsLookupDone, this, SocketError::Interrupted);
}

void TWSocket::Connect()
{
    if (m_fd >= 0 && m_state != wsClosed) {
        m_lastError = SocketError::InvalidArgument;
        refuse(QStringLiteral("Connect: Socket already in use"));
        return;
    }
    if (!m_portAssigned) {
        refuse(QStringLiteral("Connect: No Port Specified"));
        return;
    }
    if (!m_addrAssigned) {
        refuse(QStringLiteral("Connect: No IP Address Specified"));
        return;
    }
    if (!m_protoAssigned) {
        refuse(QStringLiteral("Connect: No Protocol Specified"));
        return;
    }

    TSocketAddress remote;
    try {
        const int proto = ResolveProto(m_proto);
        if (proto != IPPROTO_TCP)
            throw ESocketException(QStringLiteral("only tcp is supported"));
        const auto port = quint16(ResolvePort(m_port, m_proto));
        if (m_localPortAssigned)
            ResolvePort(m_localPort, m_proto);
        remote = ResolveHost(m_addr, port);
    } catch (const ESocketException &e) {
        refuse(QStringLiteral("connect: ") + e.message());
        return;
    }

    m_sendQueue.clear();
    // Nothing of an earlier connection may decide what this one reports.
    m_closeReported = false;
    m_readProgress = false;
    m_readStalled = false;
    m_lastError = 0;
    const int fd = ::socket(remote.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        m_lastError = lastSocketError();
        errorReport(QStringLiteral("Connect (socket)"));
        return;
    }
    m_fd = fd;
    ++m_generation;
    changeState(wsOpened);

    // A local address is an IPv4 one: it binds connections of that family.
    if (remote.family() == AF_INET && (m_localPort != QLatin1String("0") || m_localAddr != QLatin1String("0.0.0.0"))) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        DottedAddress(m_localAddr, &local.sin_addr);
        local.sin_port = htons(quint16(LeadingNumber(m_localPort)));
        if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof(local)) != 0) {
            m_lastError = lastSocketError();
            refuse(QStringLiteral("winsock.bind failed, error #%1").arg(m_lastError));
            return;
        }
    }
    if (LingerOnOff != wsLingerNoSet) {
        linger option{LingerOnOff == wsLingerOn ? 1 : 0, LingerTimeout};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof(option));
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on));
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    // A request is written whole and then waited on: holding its last piece
    // back for an acknowledgement (Nagle) would only cost a round trip.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));

    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { guarded([this] { onReadable(); }); });
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { guarded([this] { onWritable(); }); });

    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr *>(&remote.storage), remote.length);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 || errno == EINPROGRESS) {
        changeState(wsConnecting);
        return;
    }
    const int error = lastSocketError();
    switch (error) {
    case SocketError::ConnRefused:
    case SocketError::TimedOut:
    case 10051: // network unreachable
    case 10065: // host unreachable
        // Reported through the connect event, as any connection attempt that fails.
        changeState(wsConnecting);
        m_writeNotifier->setEnabled(false);
        postNotification([this, error] { connectCompleted(error); });
        return;
    default:
        m_lastError = error;
        errorReport(QStringLiteral("Connect"));
    }
}

void TWSocket::postNotification(std::function<void()> notification)
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, notification = std::move(notification)] {
            if (generation == m_generation && m_fd >= 0)
                guarded(notification);
        },
        Qt::QueuedConnection);
}

void TWSocket::guarded(const std::function<void()> &notification)
{
    try {
        notification();
    } catch (const std::exception &e) {
        bool canClose = true;
        if (OnBgException) {
            try {
                OnBgException(this, e, canClose);
            } catch (...) {
            }
        }
        if (canClose) {
            try {
                AbortSession();
            } catch (...) {
            }
        }
    } catch (...) {
        try {
            AbortSession();
        } catch (...) {
        }
    }
}

void TWSocket::closeHandleQuietly()
{
    if (m_fd < 0)
        return;
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    ++m_generation;
    m_stallTimer->stop();
}

void TWSocket::internalClose(bool shutdownFirst, int error)
{
    if (m_fd < 0) {
        if (m_state != wsClosed) {
            changeState(wsClosed);
            setDefaults();
        }
        return;
    }
    if (m_state == wsClosed)
        return;
    if (shutdownFirst)
        ::shutdown(m_fd, SHUT_WR);
    closeHandleQuietly();
    changeState(wsClosed);
    if (!m_destroying && !m_closeReported) {
        m_closeReported = true;
        runHandler(OnSessionClosed, this, error);
    }
    try {
        setDefaults();
    } catch (...) {
    }
}

void TWSocket::Close()
{
    internalClose(true, 0);
}

void TWSocket::AbortSession()
{
    CancelLookup();
    m_sendQueue.clear();
    if (m_fd >= 0 && m_state == wsConnected) {
        linger option{0, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof(option));
    }
    internalClose(false, 0);
}

void TWSocket::PumpMessages()
{
    QCoreApplication::processEvents();
}
