#pragma once

#include <QString>

#include <netinet/in.h>
#include <sys/socket.h>

// Names and numbers of the socket's properties turned into what the system
// calls take. The resolvers throw ESocketException with the text the
// socket reports for a bad value.

// A dotted IPv4 address as the classic conversion reads it; the broadcast
// address does not count, as that conversion cannot tell it from a failure.
bool DottedAddress(const QString &name, in_addr *address);
// The number the leading digits of a text make; -1 past 65535.
int LeadingNumber(const QString &text);
// A port number or service name.
int ResolvePort(const QString &port, const QString &proto);
// A protocol number or name.
int ResolveProto(const QString &proto);
// An IPv6 address in its text form, with or without the brackets of a URL.
bool Ipv6Address(const QString &name, in6_addr *address);

// An address of either family with its port, as connect() takes it.
struct TSocketAddress
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
};

// A dotted or IPv6 address or a host name (looked up at once, blocking),
// with the port to connect to.
TSocketAddress ResolveHost(const QString &name, quint16 port);
QString AddressText(const sockaddr_storage &address);
quint16 AddressPort(const sockaddr_storage &address);
