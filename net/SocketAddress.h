#pragma once

#include <QString>

#include <netinet/in.h>

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
// A dotted address or a host name, looked up at once (blocking).
in_addr ResolveHost(const QString &name);
