#include "CrawlDriver.h"

#include "Counters.h"
#include "CrawlView.h"
#include "FailureReason.h"
#include "HttpProt.h"
#include "SiteLogin.h"
#include "ItemState.h"
#include "MemoryStream.h"
#include "RunState.h"
#include "UrlRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

#include <tuple>

namespace {

const QString kNotActive = QStringLiteral(" Status: Not active");
const QString kPageCut = QStringLiteral(" Status: Not active - a page held too many links; the rest of it was left out");

} // namespace

TCrawlDriver::TCrawlDriver(TItemStore &items, TRunState &run, TStatistics &statistics, TLogin &login,
                           TCrawlView &view, QObject *parent)
    : QObject(parent)
    , m_items(items)
    , m_run(run)
    , m_statistics(statistics)
    , m_login(login)
    , m_view(view)
    , m_httpDoc(TClientSetup::newClient())
    , m_timerTimeOut(new QTimer(this))
    , m_extractor(items)
{
    // The client's own defaults are the program's (port, agent, accepted
    // types, form type); as every client of the runs, it asks past caches.
    THttpCli &doc = *m_httpDoc;
    doc.OnDocBegin = [this](THttpCli *) { HttpDocDocBegin(); };
    doc.OnDocData = [this](THttpCli *, const char *, int) { HttpDocDocData(); };
    doc.OnDocEnd = [this](THttpCli *) { HttpDocDocEnd(); };
    connect(&doc, &THttpCli::replied, this, [this](const THttpReply &reply) { fetchEnded(reply.ok()); });

    m_timerTimeOut->setInterval(kInitialTimeoutMs);
    connect(m_timerTimeOut, &QTimer::timeout, this, &TCrawlDriver::TimerTimeOutTimer);
    m_extractor.setStatusSink([this](const QString &text) { m_view.setStatus(text); });
    m_extractor.setCancelCheck([this] { return m_shutDown || m_run.stopRequested(); });
}

TCrawlDriver::~TCrawlDriver()
{
    // Nothing of a half-done fetch reaches a driver that is going away.
    m_httpDoc->OnDocBegin = nullptr;
    m_httpDoc->OnDocData = nullptr;
    m_httpDoc->OnDocEnd = nullptr;
    m_httpDoc->disconnect(this);
}

void TCrawlDriver::setSettingsSource(const TSettingsSource *source)
{
    m_settings = source;
    m_extractor.setSettingsSource([source] { return source ? source->scanSettings() : TScanSettings(); });
}

TCrawlSettings TCrawlDriver::settings() const
{
    return m_settings ? m_settings->crawlSettings() : TCrawlSettings();
}

void TCrawlDriver::letEventsRun()
{
    QCoreApplication::processEvents();
}

void TCrawlDriver::CheckGateWay()
{
    const TCrawlSettings s = settings();
    m_clients.apply(*m_httpDoc, s.proxy, s.reuseConnections);
}

void TCrawlDriver::fetchDocument(const QString &url, qint64 limit, Fetched then)
{
    m_bodyLimit = limit;
    THttpCli &doc = *m_httpDoc;
    doc.AbortRequest();
    m_then = std::move(then);
    const bool fetchable = !m_shutDown && FetchableUrl(url);
    if (fetchable) {
        doc.URL = url;
        CheckGateWay();
        m_body = std::make_unique<TMemoryStream>();
        doc.ReceiveStream = m_body.get();
        if (doc.Begin(rqGet).error == 0)
            return; // on its way: the client's done event goes on
    }
    // Not asked for: the run goes on from the event loop, as after any fetch.
    QMetaObject::invokeMethod(this, [this] { fetchEnded(false); }, Qt::QueuedConnection);
}

void TCrawlDriver::fetchEnded(bool ok)
{
    if (m_stopping) {
        m_endedWhileStopping = ok; // the run's end follows the stop's own texts
        return;
    }
    m_httpDoc->ReceiveStream = nullptr;
    Fetched then = std::exchange(m_then, nullptr);
    if (!then)
        return;
    if (!ok || !m_body) {
        then(std::nullopt);
        return;
    }
    const QByteArray body = m_body->toByteArray();
    const qsizetype nul = body.indexOf('\0');
    then(nul < 0 ? body : body.left(nul));
}

void TCrawlDriver::ButtonStartClick()
{
    if (m_shutDown)
        return;
    // A field that holds no usable URL touches nothing: not the tree, not a run.
    if (const QString problem = UrlFieldProblem(m_view.urlText()); !problem.isEmpty()) {
        m_view.setStatus(QStringLiteral(" Status: Not fetched - ") + problem);
        m_view.showPageFailure(problem);
        return;
    }
    m_view.setUrlText(NormaliseUrlField(m_view.urlText().trimmed()));
    ButtonStopClick();
    m_view.setStartEnabled(false);

    m_run.setStopRequest(false);
    m_run.setBusy(true);
    beginRun();
    m_view.UpdateScreen();
    m_timedOut = false;
    m_timerTimeOut->start();
    m_view.setStatus(QStringLiteral(" Status: Getting data"));
    letEventsRun();
    TStatistics::add(m_statistics.DocParsed, 1);

    // The tree goes only once the page has arrived: a failed fetch leaves it as it was.
    const QString url = m_view.urlText();
    fetchDocument(url, -1, [this, url](const std::optional<QByteArray> &text) { pageArrived(url, text); });
}

void TCrawlDriver::pageArrived(const QString &url, const std::optional<QByteArray> &text)
{
    if (!text) {
        getUrlEnded(url, false);
        return;
    }
    m_items.clear();
    m_run.setCurrentItem(kNoItem);
    m_view.setStatus(QStringLiteral(" Status: Parsing doc"));
    const QString base = DocumentBase(url);
    m_items.makeRoots();
    m_run.setFileParent(m_items.rootFiles());
    m_extractor.setFileParent(m_run.fileParent());
    m_view.treeReplaced();
    m_extractor.ParseDocument(base, *text, ModeMainDocument);
    m_pageCut = m_extractor.lastScanCut();
    warmConnections(url);
    readStylesheets(ModeMainDocument, [this, url] {
        if (m_items.contains(m_items.rootFiles()))
            m_view.expandItem(m_items.rootFiles());
        getUrlEnded(url, true);
    });
}

void TCrawlDriver::getUrlEnded(const QString &url, bool fetched)
{
    m_timerTimeOut->stop();
    endRun();
    if (!fetched) {
        const QString reason = pageFailure(url);
        const QString failure = QStringLiteral("Page not fetched - ") + reason;
        m_view.setStatus(QStringLiteral(" Status: ") + failure);
        m_view.showPageFailure(reason);
        m_view.crawlRunEnded(failure);
    } else {
        m_view.showPageFailure({});
        m_found = {};
        countFound(m_items.rootLinks(), 0);
        countFound(m_items.rootFiles(), 0);
        m_view.crawlRunEnded(m_found.text());
    }
}

void TCrawlDriver::warmConnections(const QString &pageUrl)
{
    const TCrawlSettings s = settings();
    const TItemId files = m_items.rootFiles();
    if (!s.reuseConnections || !m_clients.pool || !m_items.contains(files))
        return;
    QString first, origin;
    int onIt = 0; // files on that server, as far as the slots go
    for (TItemId file : m_items.children(files)) {
        if (onIt >= s.slotCount)
            break;
        const TDataRec *item = m_items.item(file);
        if (!item || item->isLink || !FetchableUrl(item->url))
            continue;
        if (first.isEmpty()) {
            first = item->url;
            origin = OriginKey(first);
        }
        onIt += OriginKey(item->url) == origin ? 1 : 0;
    }
    // The page's own connection waits in the pool already when the files are on its server.
    const int count = onIt - (origin == OriginKey(pageUrl) ? 1 : 0);
    if (count > 0)
        m_warmer.warm(first, count, m_clients, s.proxy);
}

QString TCrawlDriver::pageFailure(const QString &url) const
{
    if (!FetchableUrl(url))
        return QStringLiteral("not a fetchable URL");
    if (m_timedOut)
        return QStringLiteral("no answer for %1 s (time-out)").arg(m_timerTimeOut->interval() / 1000.0);
    const THttpReply result = m_httpDoc->Result();
    if (result.error == 0 && result.status == 401)
        return QStringLiteral("HTTP 401, the site needs a login (Options > Change Username & Password)");
    if (result.error == 0 && result.status == 407)
        return QStringLiteral("HTTP 407, the proxy needs a login (Options > Configuration > Timeout & Proxy)");
    return FailureReason(result);
}

void TCrawlDriver::ButtonParseClick()
{
    if (m_shutDown)
        return;
    ButtonStopClick();
    m_view.setParseEnabled(false);
    m_run.setBusy(true);
    beginRun();
    m_run.setStopRequest(false);
    m_view.UpdateScreen();
    letEventsRun();

    m_run.setParseCursor(m_items.children(kNoItem).empty() ? kNoItem : m_items.children(kNoItem).front());
    m_parsed = m_failed = 0;
    m_found = {};
    parseFrom(m_run.parseCursor());
}

// Walks the items from id in pre-order to the next ticked link and parses
// it; the walk goes on when its page has been read.
void TCrawlDriver::parseFrom(TItemId id)
{
    for (; id != kNoItem; id = m_run.parseCursor()) {
        if (m_run.stopRequested())
            break;
        const TDataRec *item = m_items.item(id);
        if (ItemState::isChecked({&m_items, id}) && item && item->isLink) {
            parseLink(id, [this, id] { linkParsed(id); });
            return;
        }
        if (!stepParseCursor(id))
            break;
    }
    parseEnded();
}

void TCrawlDriver::linkParsed(TItemId id)
{
    if (m_run.parseCursor() == id && m_items.entry(id)->icon == TreeIcon::LinkFailed)
        ++m_failed;
    else if (m_run.parseCursor() == id)
        ++m_parsed;
    if (stepParseCursor(id))
        parseFrom(m_run.parseCursor());
    else
        parseEnded();
}

bool TCrawlDriver::stepParseCursor(TItemId id)
{
    letEventsRun();
    // The cursor is forgotten when its item leaves the store meanwhile.
    if (m_run.parseCursor() != id || id == kNoItem)
        return false;
    m_run.setParseCursor(m_items.nextInPreOrder(id));
    return m_run.parseCursor() != kNoItem;
}

void TCrawlDriver::parseEnded()
{
    m_view.UpdateScreen();
    letEventsRun();
    m_timerTimeOut->stop();
    endRun();
    if (m_parsed + m_failed > 0)
        m_view.crawlRunEnded((m_failed > 0 ? QStringLiteral("Links parsed: %1, %2 failed. ").arg(m_parsed).arg(m_failed)
                                           : QStringLiteral("Links parsed: %1. ").arg(m_parsed))
                             + m_found.text());
}

void TCrawlDriver::countFound(TItemId parent, int from)
{
    // New: not yet stored under the name a download would give it. The
    // directory is listed once a run, not asked once a file.
    if (!m_found.listed) {
        const QStringList names = QDir(settings().downloadDir).entryList(QDir::Files | QDir::Hidden);
        m_found.onDisk = QSet<QString>(names.cbegin(), names.cend());
        m_found.listed = true;
    }
    const auto &children = m_items.children(parent);
    for (size_t i = size_t(qMax(from, 0)); parent != kNoItem && i < children.size(); ++i) {
        const TDataRec *item = m_items.item(children[i]);
        if (!item)
            continue;
        if (item->isLink) {
            ++m_found.links;
            continue;
        }
        ++m_found.files;
        if (!m_found.onDisk.contains(item->name))
            ++m_found.fresh;
    }
}

QString TCrawlDriver::Found::text() const
{
    return QStringLiteral("Found %1 and %2 (%3 new)")
        .arg(links == 1 ? QStringLiteral("1 link") : QStringLiteral("%1 links").arg(links),
             files == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(files))
        .arg(fresh);
}

void TCrawlDriver::parseLink(TItemId id, std::function<void()> then)
{
    const TCrawlSettings s = settings();
    if (s.itemJump) {
        m_view.showNode(id);
        letEventsRun();
        if (m_run.parseCursor() != id) {
            then();
            return;
        }
    }
    const QString url = m_items.entry(id)->caption;
    if (QString user, password; s.getPassword && CredentialsFromUrl(url, &user, &password))
        m_login.setSiteLogin(ServerKey(url), user, password);

    // Every wait below may remove the item: the cursor tells whether it is still there.
    m_timerTimeOut->start();
    ItemState::markFetching({&m_items, id});
    TStatistics::add(m_statistics.LinksParsed, 1);
    m_view.setStatus(QStringLiteral(" Status: Getting data"));
    letEventsRun();
    m_timedOut = false;
    fetchDocument(url, -1, [this, id, url, then = std::move(then)](const std::optional<QByteArray> &text) {
        linkArrived(id, url, text, then);
    });
}

void TCrawlDriver::linkArrived(TItemId id, const QString &url, const std::optional<QByteArray> &text,
                               const std::function<void()> &then)
{
    if (!text) {
        if (m_run.parseCursor() == id)
            ItemState::markLinkFailed({&m_items, id}, pageFailure(url));
        then();
        return;
    }
    if (m_run.parseCursor() != id) {
        then();
        return;
    }
    // The name becomes a path: the same rule as for file names, so that
    // a name from an edited item list cannot write outside the directory.
    const QString name = m_items.item(id)->name;
    if (settings().saveHtml && name.contains(QLatin1String("htm")) && UsableFileName(name))
        saveHtml(name);
    m_view.setStatus(QStringLiteral(" Status: Parsing link"));
    letEventsRun();
    if (m_run.parseCursor() != id) {
        then();
        return;
    }
    m_run.setFileParent(id);
    m_extractor.setFileParent(id);
    const int before = int(m_items.children(id).size());
    m_extractor.ParseDocument(DocumentBase(url), *text, ModeParsedLink);
    m_pageCut = m_pageCut || m_extractor.lastScanCut();
    if (m_run.parseCursor() != id) {
        then();
        return;
    }
    readStylesheets(ModeParsedLink, [this, id, before, then] {
        if (m_run.parseCursor() == id) {
            countFound(id, before);
            ItemState::markParsed({&m_items, id});
            if (settings().expandParse)
                m_view.expandItem(id);
            m_items.setColor(id, m_items.slotColor(ColorLinkParsed));
        }
        then();
    });
}

void TCrawlDriver::readStylesheets(int mode, std::function<void()> then)
{
    const TScanSettings s = m_settings ? m_settings->scanSettings() : TScanSettings();
    m_sheets = s.findShown && s.readStylesheets ? m_extractor.lastStylesheets() : QStringList();
    m_sheetMode = mode;
    m_afterSheets = std::move(then);
    nextStylesheet();
}

void TCrawlDriver::nextStylesheet()
{
    if (m_sheets.isEmpty() || m_shutDown || m_run.stopRequested() || !m_extractor.fileParent()) {
        m_sheets.clear();
        if (std::function<void()> then = std::exchange(m_afterSheets, nullptr))
            then();
        return;
    }
    const QString sheet = m_sheets.takeFirst();
    m_view.setStatus(QStringLiteral(" Status: Reading stylesheet ") + sheet);
    fetchDocument(sheet, kMaxStylesheetBytes, [this, sheet](const std::optional<QByteArray> &css) {
        if (css)
            m_extractor.ParseStylesheet(sheet, *css, m_sheetMode);
        nextStylesheet();
    });
}

void TCrawlDriver::saveHtml(const QString &name)
{
    QSaveFile file(LocalPath(settings().downloadDir, name));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(m_body->data(), m_body->size());
        file.commit();
    }
}

void TCrawlDriver::ButtonLoadHtmlClick()
{
    const QString path = m_view.chooseHtmlFile();
    if (path.isEmpty() || m_shutDown)
        return;
    m_run.setStopRequest(false);
    m_run.setBusy(true);
    beginRun();
    m_view.UpdateScreen();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        // Tell why, and give the window back: nothing else can end this run.
        m_view.showError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
        endRun();
        return;
    }
    QByteArray text = file.readAll();
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text.truncate(nul);

    m_view.setStatus(QStringLiteral(" Status: Parsing doc"));
    m_items.makeRoots();
    m_run.setCurrentItem(kNoItem);
    m_run.setFileParent(m_items.rootFiles());
    m_extractor.setFileParent(m_run.fileParent());
    m_extractor.ParseDocument(QString(), text, ModeMainDocument);
    m_pageCut = m_extractor.lastScanCut();
    endRun();
}

void TCrawlDriver::beginRun()
{
    m_filling = true;
}

void TCrawlDriver::endRun()
{
    m_filling = false;
    m_body.reset(); // a large page is not kept for longer than its scan
    m_run.setBusy(false);
    m_view.UpdateScreen();
    if (settings().beep)
        m_view.beep();
    m_view.setStatus(m_pageCut ? kPageCut : kNotActive);
    m_pageCut = false;
}

void TCrawlDriver::ButtonStopClick()
{
    m_stopping = true;
    m_run.setStopRequest(true);
    if (m_stopDownloads)
        m_stopDownloads();
    else
        m_run.setBusy(false);
    m_timerTimeOut->stop();
    letEventsRun();
    m_httpDoc->AbortRequest();
    m_warmer.abort();
    letEventsRun();
    letEventsRun();
    m_view.UpdateScreen();
    m_view.setStatus(kNotActive);
    letEventsRun();
    m_view.setStatus(kNotActive);
    m_stopping = false;
    if (const std::optional<bool> ended = std::exchange(m_endedWhileStopping, std::nullopt))
        fetchEnded(*ended);
}

void TCrawlDriver::HttpDocDocBegin()
{
    m_view.ShowBar(false, 0, 0);
    m_view.setBusyLamp(true);
    m_timerTimeOut->setInterval(settings().timeoutDocMs);
}

void TCrawlDriver::HttpDocDocData()
{
    m_view.ShowBar(true, m_httpDoc->ReceivedBytes, m_httpDoc->ExpectedLength);
    if (m_bodyLimit >= 0 && m_httpDoc->ReceivedBytes > m_bodyLimit) {
        m_httpDoc->AbortRequest();
        return;
    }
    // The time-out counts the silence since the last piece.
    m_timerTimeOut->stop();
    m_timerTimeOut->start();
}

void TCrawlDriver::HttpDocDocEnd()
{
    if (!m_run.busy())
        m_view.setBusyLamp(false);
    m_view.ShowBar(false, 0, 0);
    m_view.setStatus(kNotActive);
}

void TCrawlDriver::abortFetch()
{
    m_httpDoc->AbortRequest();
}

void TCrawlDriver::shutDown()
{
    m_shutDown = true;
    ButtonStopClick();
}

void TCrawlDriver::TimerTimeOutTimer()
{
    m_timedOut = true;
    m_httpDoc->AbortRequest();
    m_timerTimeOut->stop();
}
