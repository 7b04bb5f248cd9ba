#include "ShownPictures.h"

#include <QByteArrayMatcher>

#include <algorithm>

namespace {

// The piece of text from pos, n long, cut to what the text holds.
QByteArrayView part(QByteArrayView text, qsizetype pos, qsizetype n = -1)
{
    pos = std::clamp<qsizetype>(pos, 0, text.size());
    const qsizetype rest = text.size() - pos;
    return text.sliced(pos, n < 0 ? rest : std::min(n, rest));
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

QByteArray lower(QByteArrayView text)
{
    return text.toByteArray().toLower();
}

// The url(...) values of a piece of CSS, in order.
void cssUrls(QByteArrayView css, QList<TShownPicture> &found)
{
    static const QByteArrayMatcher open("url(");
    const QByteArray lowered = lower(css);
    for (qsizetype at = open.indexIn(lowered); at >= 0; at = open.indexIn(lowered, at + 4)) {
        qsizetype i = at + 4;
        while (i < css.size() && isSpace(css[i]))
            ++i;
        char quote = 0;
        if (i < css.size() && (css[i] == '"' || css[i] == '\''))
            quote = css[i++];
        const qsizetype start = i;
        while (i < css.size() && (quote ? css[i] != quote : (css[i] != ')' && !isSpace(css[i]))))
            ++i;
        const QByteArray value = part(css, start, i - start).toByteArray().trimmed();
        if (!value.isEmpty() && !value.startsWith("data:"))
            found.append({DecodeEntities(value), KindFile});
    }
}

bool named(QByteArrayView text, const char *name)
{
    return qstrnicmp(text.data(), text.size(), name, qsizetype(qstrlen(name))) == 0;
}

// Calls take(name, value) for each attribute of a tag whose name ends at i,
// up to the tag's ">"; returns where the tag ends.
template<typename Take>
qsizetype readAttributes(QByteArrayView page, qsizetype i, Take take)
{
    const qsizetype n = page.size();
    for (;;) {
        while (i < n && (isSpace(page[i]) || page[i] == '/'))
            ++i;
        if (i >= n || page[i] == '>')
            return i;
        const qsizetype nameStart = i;
        while (i < n && !isSpace(page[i]) && page[i] != '=' && page[i] != '>' && page[i] != '/')
            ++i;
        const QByteArrayView name = part(page, nameStart, i - nameStart);
        QByteArrayView value;
        while (i < n && isSpace(page[i]))
            ++i;
        if (i < n && page[i] == '=') {
            ++i;
            while (i < n && isSpace(page[i]))
                ++i;
            if (i < n && (page[i] == '"' || page[i] == '\'')) {
                const char quote = page[i++];
                const qsizetype start = i;
                while (i < n && page[i] != quote)
                    ++i;
                value = part(page, start, i - start);
                if (i < n)
                    ++i;
            } else {
                const qsizetype start = i;
                while (i < n && !isSpace(page[i]) && page[i] != '>')
                    ++i;
                value = part(page, start, i - start);
            }
        }
        if (i == nameStart)
            ++i; // a stray character: step over it
        take(name, value);
    }
}

// Where the "</style" after from starts, in any case; the text's size when none.
qsizetype closingStyleTag(QByteArrayView text, qsizetype from)
{
    for (qsizetype at = text.indexOf("</", from); at >= 0; at = text.indexOf("</", at + 2)) {
        if (named(part(text, at + 2, 5), "style"))
            return at;
    }
    return text.size();
}

} // namespace

QByteArray DecodeEntities(const QByteArray &value)
{
    if (!value.contains('&'))
        return value;
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '&') {
            const qsizetype semicolon = value.indexOf(';', i);
            if (semicolon > i && semicolon - i <= 10) {
                const QByteArray name = value.mid(i + 1, semicolon - i - 1);
                char c = 0;
                if (name == "amp")
                    c = '&';
                else if (name == "quot")
                    c = '"';
                else if (name == "apos" || name == "#39")
                    c = '\'';
                else if (name == "lt")
                    c = '<';
                else if (name == "gt")
                    c = '>';
                else if (name.startsWith("#x") || name.startsWith("#X")) {
                    bool ok = false;
                    const int code = name.mid(2).toInt(&ok, 16);
                    c = ok && code > 0 && code < 128 ? char(code) : 0;
                } else if (name.startsWith('#')) {
                    bool ok = false;
                    const int code = name.mid(1).toInt(&ok);
                    c = ok && code > 0 && code < 128 ? char(code) : 0;
                }
                if (c) {
                    out.append(c);
                    i = semicolon;
                    continue;
                }
            }
        }
        out.append(value[i]);
    }
    return out;
}

QByteArray LargestSrcsetCandidate(const QByteArray &srcset)
{
    QByteArray best;
    double bestWidth = -1, bestDensity = -1;
    bool anyWidth = false;
    for (const QByteArray &part : srcset.split(',')) {
        const QList<QByteArray> words = part.simplified().split(' ');
        const QByteArray url = words.value(0);
        if (url.isEmpty())
            continue;
        const QByteArray descriptor = words.value(1).toLower();
        bool ok = false;
        if (descriptor.endsWith('w')) {
            const double width = descriptor.chopped(1).toDouble(&ok);
            if (ok && width > bestWidth) {
                bestWidth = width;
                best = url;
            }
            anyWidth = anyWidth || ok;
        } else if (!anyWidth) {
            const double density = descriptor.endsWith('x') ? descriptor.chopped(1).toDouble(&ok) : 1.0;
            if (!descriptor.endsWith('x') || ok) {
                if (density >= bestDensity) { // ties: the later one, as "else the last"
                    bestDensity = density;
                    best = url;
                }
            }
        }
    }
    return best;
}

QList<TShownPicture> FindShownPictures(const QByteArray &page)
{
    QList<TShownPicture> found;
    const QByteArrayView text(page);
    const qsizetype n = text.size();
    qsizetype i = text.indexOf('<');
    while (i >= 0 && i < n) {
        if (part(text, i, 4) == "<!--") {
            const qsizetype end = text.indexOf("-->", i + 4);
            i = end < 0 ? -1 : text.indexOf('<', end + 3);
            continue;
        }
        if (i + 1 < n && text[i + 1] == '/') { // a closing tag holds nothing of ours
            const qsizetype end = text.indexOf('>', i);
            i = end < 0 ? -1 : text.indexOf('<', end);
            continue;
        }
        qsizetype j = i + 1;
        while (j < n && !isSpace(text[j]) && text[j] != '>' && text[j] != '/')
            ++j;
        const QByteArrayView tag = part(text, i + 1, j - i - 1);
        const bool picture = named(tag, "img") || named(tag, "source");
        const bool meta = named(tag, "meta");
        QByteArrayView property, content;
        const qsizetype tagEnd = readAttributes(text, j, [&](QByteArrayView name, QByteArrayView value) {
            if (named(name, "style")) {
                cssUrls(value, found);
            } else if (picture && (named(name, "srcset") || named(name, "data-srcset"))) {
                const QByteArray largest = LargestSrcsetCandidate(DecodeEntities(value.toByteArray()));
                if (!largest.isEmpty())
                    found.append({largest, KindThumbnail});
            } else if (picture && (named(name, "data-src") || named(name, "data-original") || named(name, "data-lazy-src"))) {
                const QByteArray picked = DecodeEntities(value.toByteArray().trimmed());
                if (!picked.isEmpty())
                    found.append({picked, KindThumbnail});
            } else if (meta && named(name, "property")) {
                property = value;
            } else if (meta && named(name, "content")) {
                content = value;
            }
        });
        if (meta && named(property.trimmed(), "og:image") && !content.trimmed().isEmpty())
            found.append({DecodeEntities(content.trimmed().toByteArray()), KindFile});
        if (named(tag, "style") && tagEnd < n) {
            const qsizetype end = closingStyleTag(text, tagEnd);
            cssUrls(part(text, tagEnd + 1, end - tagEnd - 1), found);
            i = text.indexOf('<', end);
            continue;
        }
        i = tagEnd >= n ? -1 : text.indexOf('<', tagEnd);
    }
    return found;
}
