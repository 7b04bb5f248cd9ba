#include "ShownPictures.h"

#include "PageBounds.h"
#include "Srcset.h"

#include <QByteArrayMatcher>
#include <QStringConverter>

#include <gumbo.h>

#include <algorithm>
#include <vector>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

QByteArrayView attribute(const GumboElement &element, const char *name)
{
    const GumboAttribute *found = gumbo_get_attribute(&element.attributes, name);
    return found ? QByteArrayView(found->value) : QByteArrayView();
}

bool hasAttribute(const GumboElement &element, const char *name)
{
    return gumbo_get_attribute(&element.attributes, name) != nullptr;
}

bool hasWord(QByteArrayView list, const char *word)
{
    const QList<QByteArray> words = list.toByteArray().toLower().simplified().split(' ');
    return words.contains(QByteArray(word));
}

// A <link> to a picture the browser fetches: the page's icons, a preloaded
// picture, the old image_src.
bool shownLink(const GumboElement &e)
{
    const QByteArrayView rel = attribute(e, "rel");
    return hasWord(rel, "icon") || hasWord(rel, "apple-touch-icon") || hasWord(rel, "image_src")
           || (hasWord(rel, "preload") && attribute(e, "as").trimmed().toByteArray().toLower() == "image");
}

// Collects finds in page order, within the caps.
class Collector
{
public:
    Collector(TShownPage &page, int maxFinds, qsizetype maxValue)
        : m_page(page)
        , m_maxFinds(maxFinds)
        , m_maxValue(maxValue)
    {
    }
    bool full() const { return m_page.pictures.size() >= m_maxFinds; }
    void add(QByteArrayView value, qint32 kind)
    {
        value = value.trimmed();
        if (value.isEmpty() || value.size() > m_maxValue || value.startsWith("data:") || full())
            return;
        m_page.pictures.append({value.toByteArray(), kind});
    }
    void css(QByteArrayView text, qint32 kind)
    {
        if (!full())
            CssUrls(text, kind, m_page.pictures, m_maxValue);
        if (m_page.pictures.size() > m_maxFinds)
            m_page.pictures.resize(m_maxFinds);
    }
    void largest(QByteArrayView srcset, qint32 kind) { add(LargestSrcsetCandidate(srcset), kind); }

    void element(const GumboNode &node);
    void picture(const GumboNode &node);

private:
    void dataAttributes(const GumboElement &element, qint32 kind);

    TShownPage &m_page;
    int m_maxFinds;
    qsizetype m_maxValue;
};

// A data-* value is taken where it may name a file: one word with a dot in
// it, or CSS with url(...); the URL rules then keep the wanted types.
void Collector::dataAttributes(const GumboElement &element, qint32 kind)
{
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto *a = static_cast<const GumboAttribute *>(element.attributes.data[i]);
        const QByteArrayView name(a->name);
        if (!name.startsWith("data-"))
            continue;
        const QByteArrayView value = QByteArrayView(a->value).trimmed();
        if (name.endsWith("srcset")) {
            largest(value, kind);
        } else if (value.contains("url(") || value.contains("URL(")) {
            css(value, kind);
        } else if (value.contains('.') && std::none_of(value.begin(), value.end(), isSpace)
                   && !value.startsWith('{') && !value.startsWith('[')) {
            add(value, kind);
        }
    }
}

void Collector::element(const GumboNode &node)
{
    const GumboElement &e = node.v.element;
    const bool own = e.tag == GUMBO_TAG_IMG || e.tag == GUMBO_TAG_SOURCE;
    const qint32 kind = own ? KindThumbnail : KindFile;
    switch (e.tag) {
    case GUMBO_TAG_A:
    case GUMBO_TAG_AREA:
        add(attribute(e, "href"), KindFile);
        break;
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_SOURCE:
        add(attribute(e, "src"), KindThumbnail);
        largest(attribute(e, "srcset"), KindThumbnail);
        break;
    case GUMBO_TAG_INPUT:
        if (attribute(e, "type").toByteArray().toLower() == "image")
            add(attribute(e, "src"), KindThumbnail);
        break;
    case GUMBO_TAG_VIDEO:
        add(attribute(e, "poster"), KindFile);
        break;
    case GUMBO_TAG_META: {
        const QByteArray property = (hasAttribute(e, "property") ? attribute(e, "property") : attribute(e, "name"))
                                        .toByteArray().trimmed().toLower();
        if (property == "og:image" || property == "og:image:url" || property == "og:image:secure_url"
            || property == "twitter:image" || property == "twitter:image:src")
            add(attribute(e, "content"), KindFile);
        break;
    }
    case GUMBO_TAG_LINK:
        if (hasWord(attribute(e, "rel"), "stylesheet") && !attribute(e, "href").trimmed().isEmpty())
            m_page.stylesheets.append(attribute(e, "href").trimmed().toByteArray());
        else if (shownLink(e))
            add(attribute(e, "href"), KindFile);
        if (hasWord(attribute(e, "rel"), "preload"))
            largest(attribute(e, "imagesrcset"), KindFile);
        break;
    case GUMBO_TAG_BASE:
        if (m_page.base.isEmpty() && hasAttribute(e, "href"))
            m_page.base = attribute(e, "href").trimmed().toByteArray();
        break;
    case GUMBO_TAG_IMAGE:
        if (e.tag_namespace == GUMBO_NAMESPACE_SVG) // an SVG <image>, by either of its attribute names
            add(hasAttribute(e, "href") ? attribute(e, "href") : attribute(e, "xlink:href"), KindFile);
        break;
    default:
        break;
    }
    if (hasAttribute(e, "background"))
        add(attribute(e, "background"), KindFile); // the old way of tiling a page or a cell
    css(attribute(e, "style"), KindFile);
    dataAttributes(e, kind);
}

// A <picture> gives one picture: the largest candidate of the sources a
// wide light screen takes, else its <img>'s.
void Collector::picture(const GumboNode &node)
{
    QList<TSrcsetCandidate> candidates;
    const GumboNode *img = nullptr;
    const GumboVector &children = node.v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto *child = static_cast<const GumboNode *>(children.data[i]);
        if (child->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboElement &e = child->v.element;
        if (e.tag == GUMBO_TAG_IMG && !img)
            img = child;
        if (e.tag != GUMBO_TAG_SOURCE || !MatchesWideLightScreen(attribute(e, "media")))
            continue;
        for (const char *name : {"srcset", "data-srcset"})
            candidates << ParseSrcset(attribute(e, name));
        if (!attribute(e, "src").trimmed().isEmpty())
            candidates << TSrcsetCandidate{attribute(e, "src").trimmed().toByteArray(), -1, -1};
    }
    if (const qsizetype best = LargestCandidate(candidates); best >= 0) {
        add(candidates[best].url, KindThumbnail);
        return;
    }
    if (img)
        element(*img);
}

// What a find may cost: gumbo's memory is its own, but with a page that is
// not UTF-8 its bytes are read as Latin-1, as the plain scan reads them.
QByteArray asUtf8(const QByteArray &page)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8.decode(page);
    return utf8.hasError() ? QString::fromLatin1(page).toUtf8() : page;
}

// This parser's tag list is older than <picture>: it is known by its name.
bool isPicture(const GumboElement &e)
{
    const QByteArrayView tag(e.original_tag.data, qsizetype(e.original_tag.length));
    return e.tag == GUMBO_TAG_UNKNOWN && tag.size() > 8 && qstrnicmp(tag.data(), 8, "<picture", 8) == 0
           && (isSpace(tag[8]) || tag[8] == '>' || tag[8] == '/');
}

bool skipped(const GumboElement &e)
{
    return e.tag == GUMBO_TAG_SCRIPT || e.tag == GUMBO_TAG_TEMPLATE || e.tag == GUMBO_TAG_NOSCRIPT
           || e.tag == GUMBO_TAG_TEXTAREA;
}

} // namespace

namespace {

// The quoted pictures of image-set("a.jpg" 1x, "b.jpg" 2x), which need no url(); one pass.
void imageSetStrings(QByteArrayView css, qint32 kind, QList<TShownPicture> &found, qsizetype maxValue)
{
    static const QByteArrayMatcher open("image-set(");
    const qsizetype n = css.size();
    for (qsizetype at = open.indexIn(css); at >= 0; at = open.indexIn(css, at)) {
        qsizetype i = at + 10;
        int depth = 1;
        while (i < n && depth > 0) {
            const char c = css[i];
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                --depth;
            } else if ((c == '"' || c == '\'') && depth == 1) {
                const qsizetype end = css.indexOf(c, i + 1);
                if (end < 0)
                    return;
                const QByteArrayView value = css.sliced(i + 1, end - i - 1).trimmed();
                if (!value.isEmpty() && value.size() <= maxValue && !value.startsWith("data:"))
                    found.append({value.toByteArray(), kind});
                i = end;
            }
            ++i;
        }
        at = i;
    }
}

} // namespace

void CssUrls(QByteArrayView css, qint32 kind, QList<TShownPicture> &found, qsizetype maxValue)
{
    if (css.contains("image-set("))
        imageSetStrings(css, kind, found, maxValue);
    static const QByteArrayMatcher open("url(");
    const qsizetype n = css.size();
    qsizetype at = 0;
    for (;;) {
        // Case-blind without a lowered copy: "url(" and "URL(" are the two forms met.
        qsizetype lower = open.indexIn(css, at);
        qsizetype upper = css.indexOf("URL(", at);
        if (lower < 0 && upper < 0)
            return;
        at = lower < 0 ? upper : upper < 0 ? lower : std::min(lower, upper);
        qsizetype i = at + 4;
        while (i < n && isSpace(css[i]))
            ++i;
        char quote = 0;
        if (i < n && (css[i] == '"' || css[i] == '\''))
            quote = css[i++];
        const qsizetype start = i;
        while (i < n && (quote ? css[i] != quote : (css[i] != ')' && !isSpace(css[i]))))
            ++i;
        const QByteArrayView value = css.sliced(start, i - start).trimmed();
        // The search goes on after this value: a value is never read twice.
        at = std::max(i, at + 4);
        if (!value.isEmpty() && value.size() <= maxValue && !value.startsWith("data:") && !value.contains("url("))
            found.append({value.toByteArray(), kind});
    }
}

TShownPage ReadShownPictures(const QByteArray &page, int maxFinds, qsizetype maxValue)
{
    TShownPage result;
    const QByteArray text = BoundedForParsing(asUtf8(page));
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 100; // a broken page cannot fill memory with its errors
    GumboOutput *output = gumbo_parse_with_options(&options, text.constData(), size_t(text.size()));
    if (!output)
        return result;
    Collector collector(result, maxFinds, maxValue);
    // Depth first in page order, without recursion: a page nested a
    // hundred thousand deep is walked like any other.
    std::vector<const GumboNode *> stack{output->document};
    while (!stack.empty() && !collector.full()) {
        const GumboNode *node = stack.back();
        stack.pop_back();
        const GumboVector *children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT) {
            const GumboElement &e = node->v.element;
            if (skipped(e))
                continue;
            if (e.tag == GUMBO_TAG_STYLE) {
                for (unsigned i = 0; i < e.children.length; ++i) {
                    const auto *t = static_cast<const GumboNode *>(e.children.data[i]);
                    if (t->type == GUMBO_NODE_TEXT || t->type == GUMBO_NODE_WHITESPACE || t->type == GUMBO_NODE_CDATA)
                        collector.css(t->v.text.text, KindFile);
                }
                continue;
            }
            if (isPicture(e)) {
                collector.picture(*node);
                continue; // its sources and image gave their one picture
            }
            collector.element(*node);
            children = &e.children;
        }
        if (!children)
            continue;
        for (unsigned i = children->length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode *>(children->data[i - 1]));
    }
    gumbo_destroy_output(&options, output);
    return result;
}

QList<TShownPicture> FindShownPictures(const QByteArray &page)
{
    return ReadShownPictures(page).pictures;
}
