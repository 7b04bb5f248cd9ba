#include "HttpResponseHead.h"

#include <QStringDecoder>

#include <algorithm>

std::optional<THttpStatusLine> ParseStatusLine(QByteArrayView line)
{
    const bool versionOk = line.startsWith("HTTP/1.0") || line.startsWith("HTTP/1.1");
    if (!versionOk || line.size() < 12 || line.at(8) != ' ')
        return std::nullopt;
    const QByteArrayView code = line.sliced(9, 3);
    if (!std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    THttpStatusLine status;
    status.minorVersion = line.at(7) - '0';
    status.code = (code.at(0) - '0') * 100 + (code.at(1) - '0') * 10 + (code.at(2) - '0');
    status.text = QString::fromLatin1(line.size() > 13 ? line.sliced(13) : QByteArrayView());
    return status;
}

std::optional<THeaderField> ParseHeaderField(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    QByteArrayView value = line.sliced(colon + 1);
    while (value.size() > 1 && value.front() == ' ')
        value = value.sliced(1);
    return THeaderField{QString::fromLatin1(line.first(colon)).toLower(), QString::fromLatin1(value)};
}

QString HeaderFieldValue(const QStringList &headerLines, QLatin1StringView name)
{
    for (const QString &line : headerLines) {
        if (!line.startsWith(name, Qt::CaseInsensitive))
            continue; // most lines are passed over without being taken apart
        const std::optional<THeaderField> field = ParseHeaderField(line.toLatin1());
        if (field && field->name == name)
            return field->value;
    }
    return {};
}

namespace {

qint64 oneLength(QStringView value)
{
    value = value.trimmed();
    if (value.isEmpty() || !std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit() && c.unicode() < 0x80; }))
        return -1;
    bool ok = false;
    const qint64 length = value.toLongLong(&ok);
    return ok ? length : -1;
}

} // namespace

qint64 ParseContentLength(const QString &value)
{
    if (!value.contains(QLatin1Char(',')))
        return oneLength(value);
    qint64 length = -1;
    for (const QStringView piece : QStringView(value).split(QLatin1Char(','))) {
        const qint64 next = oneLength(piece);
        if (next < 0)
            return -1;
        if (length >= 0 && next != length)
            return kConflictingLength;
        length = next;
    }
    return length;
}

QString LocationValue(const QString &latin1Value)
{
    const QByteArray bytes = latin1Value.toLatin1();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = latin1Value;
    text.remove(QLatin1Char('\t'));
    return text.trimmed();
}

TContentRange ParseContentRange(const QString &value)
{
    const qsizetype dash = value.indexOf(QLatin1Char('-'));
    const qsizetype slash = value.indexOf(QLatin1Char('/'));
    TContentRange range{dash >= 6 ? value.mid(6, dash - 6) : QString(),
                        dash >= 0 && slash > dash ? value.mid(dash + 1, slash - dash - 1) : QString()};
    if (slash >= 0)
        range.total = ParseContentLength(value.mid(slash + 1));
    return range;
}
