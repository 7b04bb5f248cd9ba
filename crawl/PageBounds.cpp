#include "PageBounds.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool oneOf(QByteArrayView name, std::initializer_list<const char *> names)
{
    return std::any_of(names.begin(), names.end(), [name](const char *n) {
        return qsizetype(std::strlen(n)) == name.size() && qstrnicmp(name.data(), name.size(), n, name.size()) == 0;
    });
}

// Elements that never hold others, or whose end the parser supplies itself:
// neither makes the tree deeper.
bool nestsNothing(QByteArrayView name)
{
    return oneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                        "track", "wbr", "p", "li", "dt", "dd", "tr", "td", "th", "option", "optgroup", "rb", "rt",
                        "rp", "tbody", "thead", "tfoot", "colgroup", "caption", "image"});
}

// Elements whose content is text up to their own end tag.
bool rawText(QByteArrayView name)
{
    return oneOf(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes", "noscript"});
}

class Bounder
{
public:
    Bounder(const QByteArray &page, int maxDepth, int maxAttributes)
        : m_page(page)
        , m_maxDepth(maxDepth)
        , m_maxAttributes(maxAttributes)
    {
    }

    QByteArray run();

private:
    // Copies page[m_copied, to) unless a cut is under way.
    void keepUpTo(qsizetype to)
    {
        if (m_changed)
            m_out.append(QByteArrayView(m_page).sliced(m_copied, to - m_copied));
        m_copied = to;
    }
    void dropUpTo(qsizetype to)
    {
        if (!m_changed) {
            m_changed = true;
            m_out.reserve(m_page.size());
            m_out.append(QByteArrayView(m_page).first(m_copied));
        }
        m_copied = to;
    }
    qsizetype tag(qsizetype at);
    qsizetype skipRawText(qsizetype at, QByteArrayView name);

    const QByteArray &m_page;
    int m_maxDepth;
    int m_maxAttributes;
    int m_depth = 0;
    qsizetype m_copied = 0;
    bool m_changed = false;
    QByteArray m_out;
};

// A start or end tag at "<"; returns where the text after it begins.
qsizetype Bounder::tag(qsizetype at)
{
    const QByteArrayView page(m_page);
    const qsizetype n = page.size();
    const bool closing = page[at + 1] == '/';
    qsizetype i = at + (closing ? 2 : 1);
    const qsizetype nameStart = i;
    while (i < n && !isSpace(page[i]) && page[i] != '>' && page[i] != '/')
        ++i;
    const QByteArrayView name = page.sliced(nameStart, i - nameStart);
    int attributes = 0;
    qsizetype cutFrom = -1;
    bool selfClosing = false;
    while (i < n && page[i] != '>') {
        if (isSpace(page[i]) || page[i] == '/') {
            selfClosing = page[i] == '/';
            ++i;
            continue;
        }
        selfClosing = false;
        if (++attributes == m_maxAttributes + 1)
            cutFrom = i;
        while (i < n && !isSpace(page[i]) && page[i] != '>' && page[i] != '/' && page[i] != '=')
            ++i;
        while (i < n && isSpace(page[i]))
            ++i;
        if (i < n && page[i] == '=') {
            ++i;
            while (i < n && isSpace(page[i]))
                ++i;
            if (i < n && (page[i] == '"' || page[i] == '\'')) {
                const char quote = page[i];
                const qsizetype end = page.indexOf(quote, i + 1);
                i = end < 0 ? n : end + 1;
            } else {
                while (i < n && !isSpace(page[i]) && page[i] != '>')
                    ++i;
            }
        }
    }
    const qsizetype end = std::min(i + 1, n);
    if (closing) {
        if (!nestsNothing(name))
            m_depth = std::max(0, m_depth - 1);
        return end;
    }
    if (!nestsNothing(name) && !selfClosing && !rawText(name)) {
        if (m_depth >= m_maxDepth) {
            keepUpTo(at);
            dropUpTo(end); // too deep: the start tag goes, its content stays
            return end;
        }
        ++m_depth;
    }
    if (cutFrom >= 0) {
        keepUpTo(cutFrom);
        dropUpTo(std::max(cutFrom, end - 1)); // the ">" stays
    }
    return rawText(name) ? skipRawText(end, name) : end;
}

// Past the text of a script, style or the like, up to its end tag.
qsizetype Bounder::skipRawText(qsizetype at, QByteArrayView name)
{
    const QByteArrayView page(m_page);
    for (qsizetype i = page.indexOf("</", at); i >= 0; i = page.indexOf("</", i + 2)) {
        const QByteArrayView rest = page.sliced(i + 2);
        if (rest.size() >= name.size() && qstrnicmp(rest.data(), name.size(), name.data(), name.size()) == 0)
            return i;
    }
    return page.size();
}

QByteArray Bounder::run()
{
    const QByteArrayView page(m_page);
    const qsizetype n = page.size();
    qsizetype i = page.indexOf('<');
    while (i >= 0 && i + 1 < n) {
        if (page.sliced(i).startsWith("<!--")) {
            const qsizetype end = page.indexOf("-->", i + 4);
            i = end < 0 ? -1 : page.indexOf('<', end + 3);
            continue;
        }
        const char next = page[i + 1];
        const bool isTag = isLetter(next) || (next == '/' && i + 2 < n && isLetter(page[i + 2]));
        i = isTag ? tag(i) : i + 1;
        i = i < n ? page.indexOf('<', i) : -1;
    }
    if (!m_changed)
        return m_page;
    keepUpTo(n);
    return m_out;
}

} // namespace

QByteArray BoundedForParsing(const QByteArray &page, int maxDepth, int maxAttributes)
{
    return Bounder(page, maxDepth, maxAttributes).run();
}
