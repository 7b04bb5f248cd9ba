#include "UrlRules.h"

#include "DataRec.h"
#include "Extension.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString kNeverDocuments =
    QStringLiteral("MOV,JPG,JPEG,BMP,GIF,AVI,MPG,MPEG,TXT,EXE,BAT,RM,ZIP,MP3,VIV,TIF,TGZ");
constexpr int kMaxNumberedNames = 999;

// Index where the host starts: after "://", or 0 for a URL without a scheme.
qsizetype authorityStart(const QString &url)
{
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    return scheme < 0 ? 0 : scheme + 3;
}

void cutBackToSlash(QString &text)
{
    while (!text.isEmpty() && !text.endsWith(QLatin1Char('/')))
        text.chop(1);
}

} // namespace

QString DocumentBase(const QString &documentUrl)
{
    QString url = documentUrl;
    const qsizetype query = url.indexOf(QLatin1Char('?'));
    if (query >= 0)
        url.truncate(query);
    const qsizetype fragment = url.indexOf(QLatin1Char('#'));
    if (fragment >= 0)
        url.truncate(fragment);

    const bool hasPath = url.indexOf(QLatin1Char('/'), authorityStart(url)) >= 0;
    const QString upper = AsciiUpper(url);
    const bool pageByName = upper.contains(QLatin1String(".HTM")) || upper.contains(QLatin1String(".SHTM"));
    const bool pageBySegment = hasPath && FilNavn(url).contains(QLatin1Char('.'));

    if (pageByName || pageBySegment) {
        // Never cut into "scheme://host": a bare host is its own root.
        if (!hasPath && url.contains(QLatin1String("://")))
            return url + QLatin1Char('/');
        cutBackToSlash(url);
        return url;
    }
    if (!url.endsWith(QLatin1Char('/')))
        url += QLatin1Char('/');
    return url;
}

QString HostRoot(const QString &url)
{
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return {};
    const qsizetype slash = url.indexOf(QLatin1Char('/'), scheme + 3);
    return slash < 0 ? url : url.left(slash);
}

QString ResolveLink(QString value, QString base)
{
    if (value.startsWith(QLatin1String(".."))) {
        const qsizetype slash = value.indexOf(QLatin1Char('/'));
        if (slash >= 0)
            value.remove(0, slash + 1);
        // A parent step from the host's root directory stays there.
        const QString root = HostRoot(base);
        const bool atHostRoot = !root.isEmpty() && base == root + QLatin1Char('/');
        if (!atHostRoot) {
            base.chop(1);
            cutBackToSlash(base);
        }
    }
    if (value.contains(QLatin1String("//")))
        return value;
    if (value.startsWith(QLatin1Char('/'))) {
        const QString root = HostRoot(base);
        if (!root.isEmpty())
            return root + value;
        value.remove(0, 1);
    }
    return base + value;
}

QString FilNavn(const QString &url)
{
    return url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
}

QString LocalPath(const QString &downloadDir, const QString &name)
{
    return downloadDir + QLatin1Char('/') + name;
}

bool IncludeDocument(const QString &url)
{
    const QString ext = ExtensionOf(url);
    if (!ext.isEmpty() && kNeverDocuments.contains(ext))
        return false;
    if (url.contains(QLatin1String("..")) || url.contains(QLatin1Char('?')))
        return false;
    const QString upper = AsciiUpper(url);
    return !upper.contains(QLatin1String("MAILTO")) && !upper.contains(QLatin1String("MAIL TO"));
}

bool IncludeFile(const QString &url, const QString &fileTypes)
{
    const QString ext = ExtensionOf(url);
    if (ext.isEmpty() || !AsciiUpper(fileTypes).contains(ext))
        return false;
    return !url.contains(QLatin1String("..")) && !url.contains(QLatin1Char('?'));
}

QString RemoveChar(const QString &text, QChar c)
{
    QString result = text;
    result.remove(c);
    return result;
}

bool CheckFileName(TDataRec &item, const QString &downloadDir, bool overwrite, const QSet<QString> &claimed)
{
    const auto taken = [&claimed](const QString &path) { return PathTaken(path, claimed); };
    if (overwrite && !claimed.contains(item.localPath))
        return true;
    QString name = item.name;
    if (taken(item.localPath)) {
        int n = 0;
        do {
            const qsizetype dot = name.indexOf(QLatin1Char('.'));
            QString stem = dot < 0 ? QString() : name.left(dot);
            const QString rest = dot < 0 ? name : name.mid(dot + 1);
            if (stem.contains(QLatin1Char('[')) && stem.contains(QLatin1Char(']')))
                stem.truncate(stem.indexOf(QLatin1Char('[')));
            name = stem + QLatin1Char('[') + QString::number(n) + QLatin1String("].") + rest;
            ++n;
        } while (taken(LocalPath(downloadDir, name)) && n < kMaxNumberedNames);
    }
    const QString path = LocalPath(downloadDir, name);
    if (taken(path))
        return false;
    item.localPath = path;
    item.name = name;
    return true;
}

bool PathTaken(const QString &path, const QSet<QString> &claimed)
{
    return claimed.contains(path) || QFileInfo::exists(path);
}

QString NormaliseUrlField(const QString &text)
{
    const QString lower = text.toLower();
    if (lower.contains(QLatin1String("http://")) || lower.contains(QLatin1String("https://")))
        return text;
    return QStringLiteral("http://") + text;
}

bool CredentialsFromUrl(const QString &url, QString *user, QString *password)
{
    // The text after the scheme, "http://" or "https://".
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    const QString rest = url.mid(scheme > 0 ? scheme + 3 : 7, 255);
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    const qsizetype at = rest.indexOf(QLatin1Char('@'));
    if (colon < 0 || at < 0)
        return false;
    *user = rest.left(colon);
    *password = at > colon ? rest.mid(colon + 1, at - colon - 1) : QString();
    return true;
}

QString UrlPath(const QString &url, const QString &downloadDir)
{
    QString host = url.toLower();
    host.remove(QLatin1String("https://"));
    host.remove(QLatin1String("http://"));
    const qsizetype slash = host.indexOf(QLatin1Char('/'), 1);
    if (slash >= 0)
        host.truncate(slash);
    host.replace(QLatin1Char('.'), QLatin1Char('_')).replace(QLatin1Char('/'), QLatin1Char('_'));
    if (!UsableFileName(host))
        return downloadDir;
    const QString directory = LocalPath(downloadDir, host);
    return QDir().mkpath(directory) ? directory : downloadDir;
}

bool UsableFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool FetchableUrl(const QString &url)
{
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    return scheme > 0 && scheme + 3 < url.size() && url.at(scheme + 3) != QLatin1Char('/');
}

QString UnfetchableReason(const QString &url)
{
    if (url.startsWith(QLatin1String("//")))
        return QStringLiteral("the link \"%1\" starts with // and names no scheme; links of that form are kept as they "
                              "stand, without the page's server")
            .arg(url);
    if (url.indexOf(QLatin1String("://")) > 0)
        return QStringLiteral("the address \"%1\" names no host").arg(url);
    if (url.contains(QLatin1String("//")))
        return QStringLiteral("the link \"%1\" holds // (an empty folder name); links of that form are kept as they "
                              "stand, without the page's server")
            .arg(url);
    return QStringLiteral("the link names no server (a relative link of a page loaded from disk?)");
}

namespace {

// "htp:/x", "ftp://x", "mailto:a@b": a scheme name in front that is not
// one the client speaks. "host:8080/x" and "user:pass@host" are not schemes.
bool ForeignScheme(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    const QString scheme = text.left(colon).toLower();
    for (const QChar c : scheme) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')))
            return false;
    }
    if (!scheme.at(0).isLetter() || scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return false;
    const QString after = text.mid(colon + 1);
    static const QStringList kOthers = {QStringLiteral("mailto"), QStringLiteral("javascript"),
                                        QStringLiteral("file"),   QStringLiteral("data"),
                                        QStringLiteral("ftp"),    QStringLiteral("about")};
    return after.startsWith(QLatin1Char('/')) || kOthers.contains(scheme);
}

} // namespace

QString UrlFieldProblem(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("the URL field is empty");
    const QStringList words = trimmed.split(QRegularExpression(QStringLiteral("\\s+")));
    for (const QString &word : words.mid(1)) {
        if (word.contains(QLatin1String("://")) || word.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
            return QStringLiteral("the field holds more than one URL");
    }
    const QString lower = trimmed.toLower();
    // An address inside the path ("http://archive/web/http://site/") is one URL.
    const bool schemeFirst = lower.startsWith(QLatin1String("http://")) || lower.startsWith(QLatin1String("https://"));
    if (ForeignScheme(trimmed) || (!schemeFirst && lower.contains(QLatin1String("://"))))
        return QStringLiteral("only http:// and https:// addresses can be fetched");
    const QString url = NormaliseUrlField(trimmed);
    const QString rest = url.mid(url.indexOf(QLatin1String("://")) + 3);
    const QString authority = rest.left(rest.indexOf(QLatin1Char('/'))).section(QLatin1Char('@'), -1);
    QString host = authority;
    QString port;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        host = close < 0 ? QString() : authority.left(close + 1);
        port = close < 0 ? QString() : authority.mid(close + 1);
    } else if (const qsizetype colon = authority.indexOf(QLatin1Char(':')); colon >= 0) {
        host = authority.left(colon);
        port = authority.mid(colon);
    }
    if (host.isEmpty() || host == QLatin1String("[]"))
        return QStringLiteral("the URL names no host");
    if (port.size() > 1) {
        bool number = false;
        const int value = port.mid(1).toInt(&number);
        if (!port.startsWith(QLatin1Char(':')) || !number || value <= 0 || value > 65535)
            return QStringLiteral("the port is not a number from 1 to 65535");
    }
    return {};
}

QStringList UrlsInText(const QString &text)
{
    QStringList urls;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        for (const QString &word : line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            const QString lower = word.toLower();
            if (lower.startsWith(QLatin1String("http://")) || lower.startsWith(QLatin1String("https://"))
                || lower.startsWith(QLatin1String("www.")))
                urls << word;
        }
    }
    return urls;
}
