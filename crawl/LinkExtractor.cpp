#include "LinkExtractor.h"

#include "EventSlice.h"
#include "ItemStore.h"
#include "HttpProt.h"
#include "PageReader.h"
#include "ShownPictures.h"
#include "UrlRules.h"

#include <QByteArrayMatcher>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace {

// The three patterns, in the order their occurrences are handled.
struct Pattern
{
    QByteArray text;
    qint32 kind;
};

const Pattern kPatterns[] = {
    {QByteArrayLiteral("AHREF="), KindFile},
    {QByteArrayLiteral("URL\"VALUE="), KindFile},
    {QByteArrayLiteral("SRC="), KindThumbnail},
};

QByteArray asciiUpper(const QByteArray &text)
{
    QByteArray upper(text.size(), Qt::Uninitialized);
    std::transform(text.cbegin(), text.cend(), upper.begin(), [](char c) {
        return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    });
    return upper;
}

// Finds where values end, for starts that never move backwards: the text
// between two asks is scanned once, so a page packed with patterns whose
// values run on and on still costs one pass.
class TValueEnds
{
public:
    explicit TValueEnds(const QByteArray &text)
        : m_data(text.constData())
        , m_size(text.size())
    {
    }

    // Where a value that starts at start ends: the first ">" or double quote
    // after its first character, or the text's last character. -1 when the
    // value would be longer than a link can sensibly be.
    qsizetype after(qsizetype start)
    {
        const qsizetype stop = nextStop(start + 1);
        if (stop - (start + 1) < TLinkExtractor::kMaxValueLength && stop < m_size)
            return stop;
        if (start + 1 + TLinkExtractor::kMaxValueLength < m_size)
            return -1;
        return std::max(start, m_size - 1);
    }

private:
    // The first ">" or double quote at or after from; the text's size when none.
    qsizetype nextStop(qsizetype from)
    {
        if (m_stop >= from)
            return m_stop; // nothing between from and the stop found before
        qsizetype i = from;
        while (i < m_size && m_data[i] != '>' && m_data[i] != '"')
            ++i;
        m_stop = i;
        return i;
    }

    const char *m_data;
    qsizetype m_size;
    qsizetype m_stop = -1;
};

} // namespace

QString DecodeLinkText(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QByteArray NormaliseDocument(const QByteArray &text)
{
    // Written through a pointer: appending byte by byte cost more than the scan after it.
    QByteArray result(text.size(), Qt::Uninitialized);
    char *out = result.data();
    for (char c : text) {
        if (c != ' ' && c != '\n' && c != '\r' && c != '\'')
            *out++ = c;
    }
    result.truncate(out - result.constData());
    return result;
}

TLinkExtractor::TLinkExtractor(TItemStore &items)
    : m_items(items)
{
    m_removed = QObject::connect(&items, &TItemStore::removing, &items, [this](TItemId id) {
        if (m_fileParent == id)
            m_fileParent = kNoItem;
    });
    m_emptied = QObject::connect(&items, &TItemStore::emptyingStarted, &items, [this] { m_fileParent = kNoItem; });
}

TLinkExtractor::~TLinkExtractor()
{
    QObject::disconnect(m_removed);
    QObject::disconnect(m_emptied);
}

void TLinkExtractor::ParseDocument(const QString &base, const QByteArray &text, int mode)
{
    m_cut = false;
    if (text.isEmpty())
        return;
    TEventSlice events;
    if (m_status)
        m_status(QStringLiteral(" Status: Parsing link"));
    events.flush();

    const TScanSettings settings = m_settings ? m_settings() : TScanSettings();
    m_stylesheets.clear();
    // The browser-like read runs beside the plain scan, on a thread of its own.
    std::unique_ptr<TPageReader> reader;
    if (settings.findShown)
        reader = std::make_unique<TPageReader>(text, kMaxItemsPerPage, kMaxValueLength);
    // Each pass over a big page takes tens of milliseconds (most of it the
    // fresh memory): the window gets its turn between them.
    const QByteArray normalised = NormaliseDocument(text);
    events.poll();
    const QByteArray upper = asciiUpper(normalised);
    events.poll();

    qsizetype valueBudget = std::max(kValueBudgetFactor * normalised.size(), kValueBudgetFloor);
    int itemBudget = kMaxItemsPerPage;

    // Each pattern's occurrences never overlap one another or the other
    // patterns, so one left-to-right pass per pattern visits them in the
    // order a search for the first remaining occurrence would.
    for (const Pattern &pattern : kPatterns) {
        if (m_cut)
            break;
        const QByteArrayMatcher matcher(pattern.text);
        TValueEnds ends(normalised);
        for (qsizetype at = matcher.indexIn(upper); at >= 0;
             at = matcher.indexIn(upper, at + pattern.text.size())) {
            qsizetype start = at + pattern.text.size();
            if (pattern.kind == KindThumbnail && start < normalised.size() && normalised.at(start) == '"')
                ++start;
            qsizetype end = start < normalised.size() ? ends.after(start) : start;
            if (end >= 0) {
                QByteArray value = normalised.mid(start, end - start);
                value.replace('"', QByteArrayView());
                valueBudget -= value.size();
                itemBudget -= handleValue(base, value, pattern.kind, mode, settings);
                if (valueBudget < 0 || itemBudget <= 0) {
                    m_cut = true;
                    break;
                }
            }
            events.poll();
        }
    }
    if (reader && !m_cut) {
        // After the plain scan, so that its items and their order stay as they were.
        while (!reader->wait(4)) {
            events.flush();
            if (m_cancelled && m_cancelled())
                return; // the read goes on alone and ends unheard
        }
        addShownPictures(base, reader->take(), mode, settings, valueBudget, itemBudget);
    }
    events.flush();
}

bool TLinkExtractor::addShownPictures(const QString &base, TShownPage page, int mode, const TScanSettings &settings,
                                      qsizetype &valueBudget, int &itemBudget)
{
    // Resolved as a browser resolves them, against <base href> where the page has one.
    const QString pageBase = page.base.isEmpty() ? base : ResolveLocation(base, DecodeLinkText(page.base));
    for (const QByteArray &sheet : std::as_const(page.stylesheets)) {
        const QString url = ResolveLocation(pageBase, DecodeLinkText(sheet));
        if (m_stylesheets.size() < kMaxStylesheets && HostRoot(url) == HostRoot(base) && FetchableUrl(url)
            && !m_stylesheets.contains(url))
            m_stylesheets << url;
    }
    TEventSlice events;
    // A value met again (with its kind) can only be a duplicate by then.
    QSet<std::pair<QByteArray, qint32>> seen;
    for (const TShownPicture &picture : std::as_const(page.pictures)) {
        const std::pair key{picture.value, picture.kind};
        if (seen.contains(key))
            continue;
        seen.insert(key);
        QString absolute = ResolveLocation(pageBase, DecodeLinkText(picture.value));
        if (const qsizetype hash = absolute.indexOf(QLatin1Char('#')); hash >= 0)
            absolute.truncate(hash); // a fragment is the browser's own, never part of the file

        valueBudget -= picture.value.size();
        itemBudget -= handleValue(base, absolute.toUtf8(), picture.kind, mode, settings, true);
        if (valueBudget < 0 || itemBudget <= 0) {
            m_cut = true;
            return false;
        }
        events.poll();
    }
    return true;
}

void TLinkExtractor::ParseStylesheet(const QString &url, const QByteArray &css, int mode)
{
    TShownPage page;
    CssUrls(css, KindFile, page.pictures, kMaxValueLength);
    if (page.pictures.size() > kMaxItemsPerPage)
        page.pictures.resize(kMaxItemsPerPage);
    page.base = url.toUtf8(); // a stylesheet's url(...) is relative to the stylesheet
    const TScanSettings settings = m_settings ? m_settings() : TScanSettings();
    qsizetype valueBudget = std::max(kValueBudgetFactor * css.size(), kValueBudgetFloor);
    int itemBudget = kMaxItemsPerPage;
    m_cut = false;
    const QStringList sheets = std::exchange(m_stylesheets, {});
    addShownPictures(url, std::move(page), mode, settings, valueBudget, itemBudget);
    m_stylesheets = sheets;
}

int TLinkExtractor::handleValue(const QString &base, QByteArray rawValue, qint32 kind, int mode,
                                const TScanSettings &settings, bool filesOnly)
{
    int added = 0;
    QString value = ResolveLink(DecodeLinkText(rawValue), base);
    // With the option, a file's address keeps its query (not its fragment);
    // its type and name come from the path alone.
    const qsizetype query = settings.keepQuery ? value.indexOf(QLatin1Char('?')) : -1;
    if (query >= 0 && value.indexOf(QLatin1Char('#'), query) >= 0)
        value.truncate(value.indexOf(QLatin1Char('#'), query));
    const QString path = query < 0 ? value : value.left(query);
    const QString name = FilNavn(path);

    if (!filesOnly && IncludeDocument(value)) {
        m_template.isLink = true;
        m_template.url = value;
        m_template.name = name;
        m_template.localPath = LocalPath(settings.downloadDir, name);
        m_template.sizeText.clear();
        m_template.kind = KindLink;
        if (mode == ModeMainDocument) {
            const TItemId links = m_items.rootLinks();
            if (links != kNoItem && !m_items.existsAfter(links, value)) {
                m_items.addFound(links, m_template);
                ++added;
            }
        } else if (settings.addChild && m_fileParent != kNoItem && !m_items.existsAfter(m_fileParent, value)) {
            m_items.addFound(m_fileParent, m_template);
            ++added;
        }
    }

    if (IncludeFile(path, settings.fileTypes) && m_fileParent != kNoItem
        && !m_items.existsAfter(m_fileParent, value)) {
        m_template.isLink = false;
        m_template.url = value;
        m_template.kind = kind;
        m_template.localPath = LocalPath(settings.downloadDir, name);
        m_template.name = name;
        if (kind == KindFile || settings.includeThumbs) {
            m_items.addFound(m_fileParent, m_template);
            ++added;
        }
    }
    return added;
}
