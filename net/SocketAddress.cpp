#include "SocketAddress.h"

#include "SocketErrors.h"
#include "WSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netdb.h>

namespace {

bool allDigits(const QString &text)
{
    return !text.isEmpty() && text.at(0).isDigit();
}

} // namespace

int LeadingNumber(const QString &text)
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

// Only digits, dots and hex letters may stand in it: the conversion would
// stop at a blank and take whatever follows as part of a valid address.
bool DottedAddress(const QString &name, in_addr *address)
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

int ResolvePort(const QString &port, const QString &proto)
{
    if (port.isEmpty() || port.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Port."));
    if (allDigits(port)) {
        const int value = LeadingNumber(port);
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

int ResolveProto(const QString &proto)
{
    if (proto.isEmpty() || proto.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolveProto: Invalid Protocol."));
    if (allDigits(proto))
        return LeadingNumber(proto);
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

in_addr ResolveHost(const QString &name)
{
    if (name.isEmpty() || name.size() > 256)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '%1' Invalid Hostname.").arg(name));
    in_addr address{};
    if (DottedAddress(name, &address))
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
