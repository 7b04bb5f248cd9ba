#include "SocketAddress.h"

#include "SocketErrors.h"
#include "WSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
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

bool Ipv6Address(const QString &name, in6_addr *address)
{
    const bool bracketed = name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'));
    const QByteArray text = (bracketed ? name.mid(1, name.size() - 2) : name).toLatin1();
    return text.contains(':') && inet_pton(AF_INET6, text.constData(), address) == 1;
}

TSocketAddress ResolveHost(const QString &name, quint16 port)
{
    if (name.isEmpty() || name.size() > 256)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '%1' Invalid Hostname.").arg(name));
    TSocketAddress result;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&result.storage);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&result.storage);
    auto useV4 = [&](in_addr address) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr = address;
        result.length = sizeof(sockaddr_in);
        return result;
    };
    in_addr address{};
    if (DottedAddress(name, &address))
        return useV4(address);
    if (name == QLatin1String("255.255.255.255")) {
        address.s_addr = INADDR_BROADCAST;
        return useV4(address);
    }
    if (Ipv6Address(name, &v6->sin6_addr)) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        result.length = sizeof(sockaddr_in6);
        return result;
    }
    if (name.at(0).isDigit() && name.count(QLatin1Char('.')) == 3)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '%1' Invalid IP address.").arg(name));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int rc = getaddrinfo(name.toLatin1().constData(), nullptr, &hints, &found);
    if (rc != 0 || !found || size_t(found->ai_addrlen) > sizeof(result.storage))
        throw ESocketException(QStringLiteral("WSocketResolveHost: Cannot convert host address '%1', Error #%2")
                                   .arg(name).arg(SocketError::HostNotFound));
    std::memcpy(&result.storage, found->ai_addr, found->ai_addrlen);
    result.length = socklen_t(found->ai_addrlen);
    freeaddrinfo(found);
    if (result.storage.ss_family == AF_INET6)
        v6->sin6_port = htons(port);
    else
        v4->sin_port = htons(port);
    return result;
}

QString AddressText(const sockaddr_storage &address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_addr, text, sizeof(text));
    else
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(&address)->sin_addr, text, sizeof(text));
    return QString::fromLatin1(text);
}

quint16 AddressPort(const sockaddr_storage &address)
{
    return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port
                                               : reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
}
