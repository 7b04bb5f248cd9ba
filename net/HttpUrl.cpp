#include "HttpProt.h"

#include <algorithm>

TUrlParts SplitUrl(const QString &url)
{
    TUrlParts parts;
    if (url.isEmpty())
        return parts;
    QString rest;
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        parts.proto = url.left(scheme);
        rest = url.mid(scheme + 3);
    } else if (url.startsWith(QLatin1Char('/'))) {
        parts.proto = QStringLiteral("http");
        if (url.size() > 1 && url.at(1) != QLatin1Char('/')) {
            parts.path = url;
            return parts;
        }
        rest = url.mid(1);
    } else if (url.left(5).toLower() == QLatin1String("http:")) {
        parts.proto = QStringLiteral("http");
        if (url.size() > 6 && url.at(6) != QLatin1Char('/')) {
            parts.path = url.mid(5);
            return parts;
        }
        rest = url.mid(6);
    } else if (url.left(7).toLower() == QLatin1String("mailto:")) {
        parts.proto = QStringLiteral("mailto");
        rest = url.mid(url.indexOf(QLatin1Char(':')) + 1);
    } else {
        rest = url;
    }

    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString authority = slash < 0 ? rest : rest.left(slash);
    if (slash >= 0)
        parts.path = rest.mid(slash);

    qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    // An IPv6 address stands in brackets ("[::1]:8080"): its colons are not the port's.
    if (colon >= 0 && colon < authority.lastIndexOf(QLatin1Char(']')))
        colon = -1;
    QString userInfo;
    if (colon < 0 && at < 0) {
        parts.host = authority;
    } else if (colon > at) {
        parts.port = authority.mid(colon + 1);
        parts.host = authority.mid(at + 1, colon - at - 1);
        if (at >= 0)
            userInfo = authority.left(at);
    } else {
        parts.host = authority.mid(at + 1);
        userInfo = authority.left(at);
    }
    const qsizetype split = userInfo.indexOf(QLatin1Char(':'));
    if (split < 0) {
        parts.user = userInfo;
    } else {
        parts.user = userInfo.left(split);
        parts.pass = userInfo.mid(split + 1);
    }
    return parts;
}

namespace {

bool isDot(const QString &segment)
{
    return segment == QLatin1String(".") || segment.compare(QLatin1String("%2e"), Qt::CaseInsensitive) == 0;
}

bool isDoubleDot(const QString &segment)
{
    if (segment.size() < 2 || segment.size() > 6)
        return false;
    const QString lower = segment.toLower();
    return lower == QLatin1String("..") || lower == QLatin1String(".%2e") || lower == QLatin1String("%2e.")
           || lower == QLatin1String("%2e%2e");
}

// "a/b/../c/./d" as "a/c/d": the dot segments of a path resolved away.
QString removeDotSegments(const QString &path)
{
    const QStringList segments = path.split(QLatin1Char('/'));
    QStringList kept;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const QString &segment = segments.at(i);
        const bool last = i == segments.size() - 1;
        if (isDot(segment)) {
            if (last)
                kept << QString();
        } else if (isDoubleDot(segment)) {
            if (kept.size() > 1)
                kept.removeLast();
            if (last)
                kept << QString();
        } else {
            kept << segment;
        }
    }
    return kept.join(QLatin1Char('/'));
}

} // namespace

bool IsHttpsScheme(const QString &proto)
{
    return proto.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

QString DefaultPort(bool tls)
{
    return tls ? QStringLiteral("443") : QStringLiteral("80");
}

namespace {

QString serverKeyOf(const TUrlParts &parts)
{
    return parts.host.toLower() + QLatin1Char(':') + (parts.port.isEmpty() ? DefaultPort(IsHttpsScheme(parts.proto)) : parts.port);
}

} // namespace

QString ServerKey(const QString &url)
{
    return serverKeyOf(SplitUrl(url));
}

namespace {

// The path of an absolute URL with its dot segments resolved; the query
// and fragment as they were.
QString normalisedAbsolute(const QString &url, qsizetype schemeEnd)
{
    const qsizetype pathStart = url.indexOf(QLatin1Char('/'), schemeEnd + 3);
    if (pathStart < 0)
        return url;
    qsizetype pathEnd = url.size();
    for (const QChar end : {QLatin1Char('?'), QLatin1Char('#')}) {
        if (const qsizetype at = url.indexOf(end, pathStart); at >= 0)
            pathEnd = std::min(pathEnd, at);
    }
    return url.left(pathStart) + removeDotSegments(url.mid(pathStart, pathEnd - pathStart)) + url.mid(pathEnd);
}

// Browsers read a backslash before the query as a slash in http(s) URLs.
QString backslashesAsSlashes(QString location)
{
    qsizetype end = location.size();
    for (const QChar stop : {QLatin1Char('?'), QLatin1Char('#')}) {
        if (const qsizetype at = location.indexOf(stop); at >= 0)
            end = std::min(end, at);
    }
    for (qsizetype i = 0; i < end; ++i) {
        if (location.at(i) == QLatin1Char('\\'))
            location[i] = QLatin1Char('/');
    }
    return location;
}

} // namespace

QString OriginKey(const QString &url)
{
    const TUrlParts parts = SplitUrl(url);
    const QString scheme = parts.proto.isEmpty() ? QStringLiteral("http") : parts.proto.toLower();
    return scheme + QStringLiteral("://") + serverKeyOf(parts);
}

QString ResolveLocation(const QString &base, const QString &rawLocation)
{
    const QString location = backslashesAsSlashes(rawLocation.trimmed());
    const qsizetype schemeEnd = location.indexOf(QLatin1String("://"));
    if (schemeEnd > 0) {
        const QString scheme = location.left(schemeEnd);
        if (std::all_of(scheme.cbegin(), scheme.cend(), [](QChar c) {
                return c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
            }))
            return normalisedAbsolute(location, schemeEnd);
    }
    const qsizetype baseScheme = base.indexOf(QLatin1String("://"));
    const QString scheme = baseScheme > 0 ? base.left(baseScheme) : QStringLiteral("http");
    if (location.startsWith(QLatin1String("//")))
        return normalisedAbsolute(scheme + QLatin1Char(':') + location, scheme.size());
    const QString rest = baseScheme > 0 ? base.mid(baseScheme + 3) : base;
    const qsizetype pathStart = rest.indexOf(QLatin1Char('/'));
    const QString origin = scheme + QStringLiteral("://") + (pathStart < 0 ? rest : rest.left(pathStart));
    QString basePath = pathStart < 0 ? QStringLiteral("/") : rest.mid(pathStart);
    for (const QChar end : {QLatin1Char('?'), QLatin1Char('#')}) {
        if (const qsizetype at = basePath.indexOf(end); at >= 0)
            basePath.truncate(at);
    }
    if (location.startsWith(QLatin1Char('?')) || location.startsWith(QLatin1Char('#')))
        return origin + basePath + location;
    QString merged = location.startsWith(QLatin1Char('/')) ? location
                                                           : basePath.left(basePath.lastIndexOf(QLatin1Char('/')) + 1) + location;
    const qsizetype queryAt = merged.indexOf(QLatin1Char('?'));
    const QString query = queryAt < 0 ? QString() : merged.mid(queryAt);
    if (queryAt >= 0)
        merged.truncate(queryAt);
    return origin + removeDotSegments(merged) + query;
}

QString FormatHttpDate(const QDateTime &when)
{
    static const char days[] = "MonTueWedThuFriSatSun";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const QDate date = when.date();
    const QTime time = when.time();
    return QString::asprintf("%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d", days + 3 * (date.dayOfWeek() - 1),
                             date.day(), months + 3 * (date.month() - 1), date.year(), time.hour(),
                             time.minute(), time.second());
}
