#pragma once

#include "ClientSetup.h"
#include "ConnectionWarmer.h"
#include "HttpProt.h"
#include "ItemStore.h"
#include "LinkExtractor.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTimer;
class TCrawlView;
class TMemoryStream;
class TRunState;
class TConnectionPool;
struct TLogin;
struct TStatistics;

// Runs the document side: "&Get url", "&Parse links", "Load HTML document
// from disk" and "&Stop". Documents are fetched one at a time by its own
// client; a run goes on from the client's done event, never from a loop
// that waits, so the window stays responsive and "&Stop" acts at once. A
// press returns while its run goes on; filling() tells when it has ended.
class TCrawlDriver : public QObject
{
    Q_OBJECT

public:
    // The document time-out before any body was ever received.
    static constexpr int kInitialTimeoutMs = 30000;

    TCrawlDriver(TItemStore &items, TRunState &run, TStatistics &statistics, TLogin &login, TCrawlView &view,
                 QObject *parent = nullptr);
    ~TCrawlDriver() override;

    // Where the driver and its link extraction read their settings.
    void setSettingsSource(const TSettingsSource *source);
    // Where kept connections wait; used while the settings ask for reuse.
    void setClientSetup(const TClientSetup &setup) { m_clients = setup; }
    // The download side of "&Stop"; without one, stopping only clears the busy flag.
    void setDownloadStop(std::function<void()> stop) { m_stopDownloads = std::move(stop); }

    THttpCli *HttpDoc() const { return m_httpDoc.get(); }
    // Ends a fetch that waits, as the window closes.
    void abortFetch();
    // A Get url, Parse links or HTML load is filling the tree.
    bool filling() const { return m_filling; }
    // The window closes: every run ends and no request leaves from now on.
    void shutDown();
    QTimer *TimerTimeOut() const { return m_timerTimeOut; }
    TLinkExtractor &extractor() { return m_extractor; }

    // Handlers.
    void ButtonStartClick();
    void ButtonParseClick();
    void ButtonLoadHtmlClick();
    void ButtonStopClick();
    void CheckGateWay();
    void HttpDocDocBegin();
    void HttpDocDocData();
    void HttpDocDocEnd();
    void TimerTimeOutTimer();

private:
    // Fetches one document; then is told its text, which ends at the first
    // NUL byte (the whole body is left in m_body), or nothing when the fetch
    // failed. Always later, from the event loop.
    using Fetched = std::function<void(const std::optional<QByteArray> &text)>;
    void fetchDocument(const QString &url, qint64 limit, Fetched then);
    void fetchEnded(bool ok);
    // Get url's steps once the page has come, or failed.
    void pageArrived(const QString &url, const std::optional<QByteArray> &text);
    void getUrlEnded(const QString &url, bool fetched);
    // Connections for the downloads of the page's files, opened while the
    // user looks at the tree: to the server of its first file, one a slot.
    void warmConnections(const QString &pageUrl);
    // Parse links' walk: to the next ticked link from node, the link's page,
    // and the end of the walk.
    void parseFrom(TItemId id);
    void linkParsed(TItemId id);
    bool stepParseCursor(TItemId id);
    void parseEnded();
    void parseLink(TItemId id, std::function<void()> then);
    void linkArrived(TItemId id, const QString &url, const std::optional<QByteArray> &text,
                     const std::function<void()> &then);
    // With the options, the pictures of the stylesheets the last page links
    // on its own server, one after another; then follows.
    void readStylesheets(int mode, std::function<void()> then);
    void nextStylesheet();
    // What a run found: "Found 12 links and 30 files (25 new)".
    struct Found
    {
        int links = 0, files = 0, fresh = 0;
        bool listed = false;
        QSet<QString> onDisk; // the download directory's file names
        QString text() const;
    };
    // Counts the children of parent from the index from on.
    void countFound(TItemId parent, int from);
    Found m_found;
    static constexpr qint64 kMaxStylesheetBytes = 2 * 1024 * 1024;
    void saveHtml(const QString &name);
    // Why the page at url did not arrive, in plain words.
    QString pageFailure(const QString &url) const;
    void beginRun();
    void endRun();
    void letEventsRun();
    TCrawlSettings settings() const;

    TItemStore &m_items;
    TRunState &m_run;
    TStatistics &m_statistics;
    TLogin &m_login;
    TCrawlView &m_view;
    std::unique_ptr<THttpCli> m_httpDoc;
    std::unique_ptr<TMemoryStream> m_body;
    qint64 m_bodyLimit = -1; // a body larger than this is not read to its end
    QTimer *m_timerTimeOut;
    TLinkExtractor m_extractor;
    const TSettingsSource *m_settings = nullptr;
    std::function<void()> m_stopDownloads;
    bool m_filling = false;
    bool m_pageCut = false; // a page of this run was too big to take whole
    bool m_shutDown = false;
    bool m_timedOut = false; // the fetch under way was ended by the time-out
    Fetched m_then;          // what follows the fetch under way
    bool m_stopping = false; // in "&Stop": a fetch that ends meanwhile is told after it
    std::optional<bool> m_endedWhileStopping;
    QStringList m_sheets;    // stylesheets still to read, and the scan they belong to
    int m_sheetMode = 0;
    std::function<void()> m_afterSheets;
    int m_parsed = 0, m_failed = 0; // links of this Parse links run
    TClientSetup m_clients;
    TConnectionWarmer m_warmer;
};
