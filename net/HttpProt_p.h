#pragma once

// Small rules the client's source files share; not part of its interface.

#include "HttpProt.h"

#include <algorithm>

namespace HttpWire {

inline QByteArray basicCredentials(const QString &user, const QString &password)
{
    return (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

// A control character in a URL would end the request line early and smuggle
// header lines of the text's own into the request.
inline bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

inline QString joinUrl(const QString &proto, const QString &host, const QString &port, const QString &path)
{
    return (proto.isEmpty() ? QStringLiteral("http") : proto) + QStringLiteral("://") + host
           + (port.isEmpty() ? QString() : QLatin1Char(':') + port) + path;
}

// A request target never carries the fragment: it is the client's own.
inline QString withoutFragment(const QString &path)
{
    const qsizetype hash = path.indexOf(QLatin1Char('#'));
    return hash < 0 ? path : path.left(hash);
}

// A port as a URL may name it: none, or a number from 1 to 65535.
inline bool validPort(const QString &port)
{
    if (port.isEmpty())
        return true;
    bool ok = false;
    const int number = port.toInt(&ok);
    return ok && number >= 1 && number <= 65535
           && std::all_of(port.cbegin(), port.cend(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

// An interim answer (1xx, but for a switch of protocols): the real one follows it.
inline bool isInterim(int status)
{
    return status >= 100 && status < 200 && status != 101;
}

// Responses that carry no body whatever their header says.
inline bool hasNoBody(THttpRequest request, int status)
{
    return request == rqHead || (status >= 100 && status < 200) || status == 204 || status == 304;
}

} // namespace HttpWire
