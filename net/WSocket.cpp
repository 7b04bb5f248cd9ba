#include "WSocket.h"

#include "SocketErrors.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kStallPollMs = 50;
// Read at most this much per readiness before the event loop runs again, so
// a fast transfer never freezes the window and other sockets get their turn.
constexpr qint64 kReadBudget = 1024 * 1024;

// A dotted IPv4 address as the classic conversion reads it; the broadcast
// address does not count, as that conversion cannot tell it from a failure.
// Only digits, dots and hex letters may stand in it: the conversion would
// stop at a blank and take whatever follows as part of a valid address.
bool dottedAddress(const QString &name, in_addr *address)
{
    const bool clean = std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('x') || c == QLatin1Char('X')
               || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
    });
    const QByteArray latin = name.toLatin1();
    if (!clean || latin.isEmpty() || name == QLatin1String("255.255.255.255"))
        return false;
    return inet_aton(latin.constData(), address) != 0;
}

bool allDigits(const QString &text)
{
    return !text.isEmpty() && text.at(0).isDigit();
}

int leadingNumber(const QString &text)
{
    int value = 0;
    for (QChar c : text) {
        if (!c.isDigit())
            break;
        value = value * 10 + c.digitValue();
        if (value > 0xffff)
            return -1;
    }
    return value;
}

int resolvePort(const QString &port, const QString &proto)
{
    if (port.isEmpty() || port.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Port."));
    if (allDigits(port)) {
        const int value = leadingNumber(port);
        if (value < 0)
            throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Port."));
        return value;
    }
    const servent *service = getservbyname(port.toLatin1().constData(), proto.toLatin1().constData());
    if (!service)
        throw ESocketException(QStringLiteral("WSocketResolvePort: Cannot convert port '%1', Error #%2")
                                   .arg(port).arg(SocketError::NoData));
    return ntohs(service->s_port);
}

int resolveProto(const QString &proto)
{
    if (proto.isEmpty() || proto.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolveProto: Invalid Protocol."));
    if (allDigits(proto))
        return leadingNumber(proto);
    // The usual names need no look-up, which opens the protocols file each
    // time and fails when the process is out of file descriptors.
    if (proto.compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0)
        return IPPROTO_TCP;
    if (proto.compare(QLatin1String("udp"), Qt::CaseInsensitive) == 0)
        return IPPROTO_UDP;
    const protoent *entry = getprotobyname(proto.toLatin1().constData());
    if (!entry)
        throw ESocketException(QStringLiteral("WSocketResolveProto: Cannot convert protocol '%1', Error #%2")
                                   .arg(proto).arg(SocketError::NoData));
    return entry->p_proto;
}

in_addr resolveHost(const QString &name)
{
    if (name.isEmpty() || name.size() > 256)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '%1' Invalid Hostname.").arg(name));
    in_addr address{};
    if (dottedAddress(name, &address))
        return address;
    if (name == QLatin1String("255.255.255.255")) {
        address.s_addr = INADDR_BROADCAST;
        return address;
    }
    if (name.at(0).isDigit() && name.count(QLatin1Char('.')) == 3)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '%1' Invalid IP address.").arg(name));
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *result = nullptr;
    const int rc = getaddrinfo(name.toLatin1().constData(), nullptr, &hints, &result);
    if (rc != 0 || !result)
        throw ESocketException(QStringLiteral("WSocketResolveHost: Cannot convert host address '%1', Error #%2")
                                   .arg(name).arg(SocketError::HostNotFound));
    address = reinterpret_cast<sockaddr_in *>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
    return address;
}

int lastSocketError()
{
    return SocketErrorFromErrno(errno);
}

} // namespace

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
    if (trimmed.isEmpty() || (!dottedAddress(trimmed, &address) && trimmed != QLatin1String("255.255.255.255"))) {
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

bool TWSocket::peerAddress(sockaddr_in *peer) const
{
    socklen_t len = sizeof(*peer);
    return m_state == wsConnected && getpeername(m_fd, reinterpret_cast<sockaddr *>(peer), &len) == 0;
}

QString TWSocket::PeerAddr() const
{
    sockaddr_in peer{};
    return peerAddress(&peer) ? QString::fromLatin1(inet_ntoa(peer.sin_addr)) : QStringLiteral("error");
}

QString TWSocket::PeerPort() const
{
    sockaddr_in peer{};
    return peerAddress(&peer) ? QString::number(ntohs(peer.sin_port)) : QStringLiteral("error");
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
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, SocketError::InvalidArgument);
        return;
    }
    m_lookup.cancel();
    m_dnsResult.clear();
    m_dnsResultList.clear();

    in_addr address{};
    if (dottedAddress(name, &address)) {
        m_dnsResult = QString::fromLatin1(inet_ntoa(address));
        m_dnsResultList << m_dnsResult;
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
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
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, found.error);
}

void TWSocket::CancelLookup()
{
    if (!m_lookup.running())
        return;
    m_lookup.cancel();
    if (!m_destroying && OnDnsLookupDone)
        OnDnsLookupDone(this, SocketError::Interrupted);
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

    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    try {
        const int proto = resolveProto(m_proto);
        if (proto != IPPROTO_TCP)
            throw ESocketException(QStringLiteral("only tcp is supported"));
        remote.sin_port = htons(quint16(resolvePort(m_port, m_proto)));
        if (m_localPortAssigned)
            resolvePort(m_localPort, m_proto);
        remote.sin_addr = resolveHost(m_addr);
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
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        m_lastError = lastSocketError();
        errorReport(QStringLiteral("Connect (socket)"));
        return;
    }
    m_fd = fd;
    ++m_generation;
    changeState(wsOpened);

    if (m_localPort != QLatin1String("0") || m_localAddr != QLatin1String("0.0.0.0")) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        dottedAddress(m_localAddr, &local.sin_addr);
        local.sin_port = htons(quint16(leadingNumber(m_localPort)));
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

    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { guarded([this] { onReadable(); }); });
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { guarded([this] { onWritable(); }); });

    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof(remote));
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

void TWSocket::onWritable()
{
    if (m_fd < 0)
        return;
    if (m_state == wsConnecting) {
        int error = 0;
        socklen_t len = sizeof(error);
        getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len);
        connectCompleted(SocketErrorFromErrno(error));
        return;
    }
    m_writeNotifier->setEnabled(false);
    sendStep();
    if (m_fd >= 0 && allSent() && OnDataSent)
        OnDataSent(this, 0);
}

void TWSocket::connectCompleted(int error)
{
    if (m_fd < 0)
        return;
    m_writeNotifier->setEnabled(false);
    changeState(wsConnected);
    if (error == 0)
        m_readNotifier->setEnabled(true);
    if (OnSessionConnected)
        OnSessionConnected(this, error);
    if (error != 0 && m_state != wsClosed)
        Close();
}

void TWSocket::onReadable()
{
    if (m_fd < 0)
        return;
    const quint64 generation = m_generation;
    int pending = 0;
    if (ioctl(m_fd, FIONREAD, &pending) == 0 && pending > 0) {
        receiveLoop(0, kReadBudget);
        return;
    }
    if (generation != m_generation)
        return;
    // Readable with nothing to read: the peer closed, or the connection failed.
    char probe;
    ssize_t n;
    do {
        n = ::recv(m_fd, &probe, 1, MSG_PEEK);
    } while (n < 0 && errno == EINTR);
    if (n == 0)
        peerClosed(0);
    else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        peerClosed(lastSocketError());
}

void TWSocket::peerClosed(int error)
{
    if (m_state == wsConnecting)
        return;
    const quint64 generation = m_generation;
    receiveLoop(0, -1);
    // The reader may have closed this connection, or even started the next
    // one, while taking the last data: then its close was told already.
    if (generation != m_generation || m_fd < 0)
        return;
    if (!m_closeReported) {
        m_closeReported = true;
        if (OnSessionClosed)
            OnSessionClosed(this, error);
    }
    if (m_state != wsClosed)
        Close();
}

void TWSocket::receiveLoop(int error, qint64 budget)
{
    const quint64 generation = m_generation;
    const qint64 start = m_readCount;
    for (;;) {
        m_lastError = 0;
        m_readProgress = false;
        try {
            if (OnDataAvailable) {
                OnDataAvailable(this, error);
            } else {
                char discard[1024];
                Receive(discard, sizeof(discard));
            }
        } catch (...) {
            // A failing handler ends this pass of reading; the data stays pending.
            if (generation == m_generation && m_fd >= 0 && !m_readProgress)
                stallReading();
            return;
        }
        if (generation != m_generation || m_fd < 0)
            return;
        if (m_lastError != 0) {
            // A connection that broke while we read (a reset, say) is closed
            // with its error; the next read would only see an ordinary end.
            if (m_lastError != SocketError::WouldBlock && budget >= 0)
                peerClosed(m_lastError);
            return;
        }
        if (budget >= 0 && m_readCount - start >= budget)
            return; // the notifier fires again at the next turn of the loop
        int pending = 0;
        if (ioctl(m_fd, FIONREAD, &pending) != 0) {
            m_lastError = lastSocketError();
            return;
        }
        if (pending == 0)
            return;
        if (!m_readProgress) {
            // The handler takes nothing more: wait until it reads again, or the peer closes.
            stallReading();
            return;
        }
    }
}

void TWSocket::stallReading()
{
    if (!m_readNotifier || m_readStalled)
        return;
    m_readStalled = true;
    m_readNotifier->setEnabled(false);
    m_stallTimer->start();
}

void TWSocket::pollStalledClose()
{
    if (m_fd < 0 || !m_readStalled) {
        m_stallTimer->stop();
        return;
    }
    pollfd watch{m_fd, POLLRDHUP, 0};
    if (::poll(&watch, 1, 0) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        m_stallTimer->stop();
        peerClosed(0);
    }
}

int TWSocket::Receive(void *buffer, int size)
{
    if (m_fd < 0) {
        m_lastError = SocketError::NotSocket;
        return -1;
    }
    if (m_readStalled) {
        m_readStalled = false;
        m_stallTimer->stop();
        m_readNotifier->setEnabled(true);
    }
    ssize_t n;
    do {
        n = ::recv(m_fd, buffer, size_t(qMax(size, 0)), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_lastError = lastSocketError();
        return -1;
    }
    m_readCount += n;
    if (n > 0)
        m_readProgress = true;
    return int(n);
}

int TWSocket::Send(const void *data, int len)
{
    if (m_state != wsConnected) {
        m_lastError = SocketError::NotConnected;
        errorReport(QStringLiteral("Send"));
        return -1;
    }
    if (len <= 0)
        return 0;
    const char *bytes = static_cast<const char *>(data);
    int left = len;
    if (m_sendQueue.empty())
        m_sendQueue.emplace_back();
    while (left > 0) {
        const int taken = m_sendQueue.back().append(bytes, left);
        bytes += taken;
        left -= taken;
        if (left > 0)
            m_sendQueue.emplace_back();
    }
    sendStep();
    // The data-sent event comes from the event loop, never from inside Send.
    if (m_fd >= 0 && allSent())
        postNotification([this] {
            if (allSent() && OnDataSent)
                OnDataSent(this, 0);
        });
    return len;
}

bool TWSocket::allSent() const
{
    return m_sendQueue.empty() || (m_sendQueue.size() == 1 && m_sendQueue.front().unread() == 0);
}

void TWSocket::sendStep()
{
    if (m_fd < 0)
        return;
    while (!m_sendQueue.empty()) {
        TBuffer &chunk = m_sendQueue.front();
        int count = 0;
        const char *data = chunk.peek(&count);
        if (count == 0) {
            if (m_sendQueue.size() == 1)
                return;
            m_sendQueue.pop_front();
            continue;
        }
        ssize_t n;
        do {
            n = ::send(m_fd, data, size_t(count), MSG_NOSIGNAL | (m_sendFlags == wsSendUrgent ? MSG_OOB : 0));
        } while (n < 0 && errno == EINTR);
        if (n == 0)
            return;
        if (n < 0) {
            const int error = lastSocketError();
            switch (error) {
            case SocketError::ConnReset:
            case SocketError::NotSocket:
            case SocketError::NotConnected:
            case SocketError::InvalidArgument:
            case SocketError::ConnAborted:
                m_closeReported = true;
                Close();
                if (OnSessionClosed)
                    OnSessionClosed(this, error);
                return;
            case SocketError::WouldBlock:
                m_writeNotifier->setEnabled(true);
                return;
            default:
                m_lastError = error;
                errorReport(QStringLiteral("TryToSend failed"));
                return;
            }
        }
        if (OnSendData)
            OnSendData(this, int(n));
        chunk.consume(int(n));
        if (n < count) {
            m_writeNotifier->setEnabled(true);
            return;
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
        if (OnSessionClosed)
            OnSessionClosed(this, error);
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
