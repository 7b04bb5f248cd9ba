#pragma once

#include "HttpProt.h"
#include "LinkExtractor.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTimer;
class TCrawlView;
class TItemTree;
class TMemoryStream;
class TRunState;
class TTreeNode;
class TConnectionPool;
struct TLogin;
struct TStatistics;

// Runs the document side: "&Get url", "&Parse links", "Load HTML document
// from disk" and "&Stop". Documents are fetched one at a time by its own
// client, which runs the event loop while it waits, so the window stays
// responsive and "&Stop" acts at once.
class TCrawlDriver : public QObject
{
    Q_OBJECT

public:
    // The document time-out before any body was ever received.
    static constexpr int kInitialTimeoutMs = 30000;

    TCrawlDriver(TItemTree *tree, TRunState &run, TStatistics &statistics, TLogin &login, TCrawlView &view,
                 QObject *parent = nullptr);
    ~TCrawlDriver() override;

    // Where the driver and its link extraction read their settings.
    void setSettingsSource(const TSettingsSource *source);
    // Where kept connections wait; used while the settings ask for reuse.
    void setConnectionPool(TConnectionPool *pool) { m_pool = pool; }
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
    // Fetches one document; its text ends at the first NUL byte. The whole
    // body is left in m_body. Nothing when the fetch failed.
    std::optional<QByteArray> fetchDocument(const QString &url, qint64 limit = -1);
    // With the options, the pictures of the stylesheets the last page links
    // on its own server.
    void readStylesheets(int mode);
    // What a run found: "Found 12 links and 30 files (25 new)".
    struct Found
    {
        int links = 0, files = 0, fresh = 0;
        bool listed = false;
        QSet<QString> onDisk; // the download directory's file names
        QString text() const;
    };
    // Counts the children of parent from the index from on.
    void countFound(const TTreeNode *parent, int from);
    Found m_found;
    static constexpr qint64 kMaxStylesheetBytes = 2 * 1024 * 1024;
    void parseLink(TTreeNode *node);
    void saveHtml(const QString &name);
    // Why the page at url did not arrive, in plain words.
    QString pageFailure(const QString &url) const;
    void beginRun();
    void endRun();
    void letEventsRun();
    TCrawlSettings settings() const;

    TItemTree *m_tree;
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
    TConnectionPool *m_pool = nullptr;
};
