#include "HttpProt.h"

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

    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
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
