#pragma once

#include "DataRec.h"
#include "ItemStore.h"
#include "RunSettings.h"
#include "ShownPictures.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>


enum ScanMode { ModeMainDocument = 1, ModeParsedLink = 2 };

// Text of a link value: UTF-8 when it is valid UTF-8, else Latin-1, so that
// every byte of an old single-byte page keeps a character of its own.
QString DecodeLinkText(QByteArrayView bytes);

// Scans the text of one HTML document for links and files and adds them to
// the item tree. It does not parse HTML: blanks, line breaks and apostrophes
// are dropped and three fixed patterns are looked for in the upper-cased text.
class TLinkExtractor
{
public:
    // A value longer than this (a page without quotes or ">") is dropped:
    // it is longer than the request line a server takes.
    static constexpr qsizetype kMaxValueLength = 8 * 1024;
    // What one page may add: link text up to a multiple of the page's own
    // size, and a number of items. A page of honest links stays far below
    // both; a hostile one cannot make the tree outgrow memory.
    static constexpr qsizetype kValueBudgetFactor = 2;
    static constexpr qsizetype kValueBudgetFloor = 64 * 1024;
    static constexpr int kMaxItemsPerPage = 100000;

    explicit TLinkExtractor(TItemStore &items);
    ~TLinkExtractor();
    TLinkExtractor(const TLinkExtractor &) = delete;
    TLinkExtractor &operator=(const TLinkExtractor &) = delete;

    void setSettingsSource(std::function<TScanSettings()> source) { m_settings = std::move(source); }
    void setStatusSink(std::function<void(const QString &)> sink) { m_status = std::move(sink); }

    // Where files (and, for a parsed link, child links) are appended; forgotten
    // when that item leaves the store, even in the middle of a scan.
    TItemId fileParent() const { return m_fileParent; }
    void setFileParent(TItemId id) { m_fileParent = id; }
    TDataRec &templateItem() { return m_template; }

    void ParseDocument(const QString &base, const QByteArray &text, int mode);
    // The url(...) pictures of a stylesheet, as files found on its page.
    void ParseStylesheet(const QString &url, const QByteArray &css, int mode);
    // Stylesheets the last page links on its own server, to be read for
    // their pictures (with that option): absolute URLs, at most kMaxStylesheets.
    QStringList lastStylesheets() const { return m_stylesheets; }
    static constexpr int kMaxStylesheets = 20;
    // Asked while a second pass is waited for: true leaves it (Stop, closing).
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    // The last scan stopped at the bounds above: the rest of its page was left out.
    bool lastScanCut() const { return m_cut; }

private:
    // The number of items it added.
    // With filesOnly, a value is never taken for a page to parse.
    int handleValue(const QString &base, QByteArray value, qint32 kind, int mode, const TScanSettings &settings,
                    bool filesOnly = false);
    // The browser-like pass's finds, after the plain scan's; false when it was left.
    bool addShownPictures(const QString &base, TShownPage page, int mode, const TScanSettings &settings,
                          qsizetype &valueBudget, int &itemBudget);

    TItemStore &m_items;
    TItemId m_fileParent = kNoItem;
    TDataRec m_template;
    std::function<TScanSettings()> m_settings;
    std::function<void(const QString &)> m_status;
    std::function<bool()> m_cancelled;
    QStringList m_stylesheets;
    QMetaObject::Connection m_removed;
    QMetaObject::Connection m_emptied;
    bool m_cut = false;
};

// The normalised text: without blanks, line feeds, carriage returns and apostrophes.
QByteArray NormaliseDocument(const QByteArray &text);
