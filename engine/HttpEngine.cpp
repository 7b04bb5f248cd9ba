#include "HttpEngine.h"
#include "HttpEngine_p.h"

#include "H2Connection.h"
#include "SiteLogin.h"

#include "BodyFile.h"
#include "Counters.h"
#include "DownloadQueue.h"
#include "DownloadView.h"
#include "FailureReason.h"
#include "FileCommitter.h"
#include "ItemState.h"
#include "ItemStore.h"
#include "MemoryStream.h"
#include "RunState.h"
#include "SizeLimits.h"
#include "UrlRules.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <tuple>

namespace {

QString writeFailureText(const TBodyFile *file)
{
    return file && !file->errorText().isEmpty() ? QStringLiteral("cannot write the file: ") + file->errorText()
                                                 : QStringLiteral("cannot write the file");
}

} // namespace

TFormHttpEngine::TFormHttpEngine(TItemStore &items, TDownloadQueue &queue, TRunState &run, TStatistics &statistics,
                                 TDownloadView &view, QObject *parent)
    : QObject(parent)
    , m_items(items)
    , m_queue(queue)
    , m_run(run)
    , m_statistics(statistics)
    , m_view(view)
    , m_slots(std::make_unique<Slot[]>(kTransfers))
    , m_timerCheckDownload(new QTimer(this))
    , m_timerRetry(new QTimer(this))
    , m_committer(std::make_unique<TFileCommitter>())
{
    m_clock.start();
    m_timerRetry->setInterval(200);
    connect(m_timerRetry, &QTimer::timeout, this, &TFormHttpEngine::TimerRetryTimer);
    // An item that leaves the store has no try left.
    connect(&items, &TItemStore::removing, this, [this](TItemId id) {
        std::erase_if(m_retries, [id](const Retry &r) { return r.id == id; });
        m_tries.remove(id);
        m_partials.erase(id);
    });
    connect(&items, &TItemStore::emptyingStarted, this, [this] {
        m_retries.clear();
        m_tries.clear();
        m_partials.clear();
    });
    for (int n = 1; n <= kSlots; ++n)
        prepared(n);
    m_timerCheckDownload->setInterval(1000);
    connect(m_timerCheckDownload, &QTimer::timeout, this, &TFormHttpEngine::TimerCheckDownloadTimer);
    m_timerCheckDownload->start();
}

TFormHttpEngine::~TFormHttpEngine()
{
    // A client going away reports nothing more to the pool.
    for (int t = 1; t <= kTransfers; ++t) {
        if (THttpCli *cli = slot(t).cli.get()) {
            cli->OnHeaderEnd = nullptr;
            cli->OnDocData = nullptr;
            cli->OnRequestDone = nullptr;
        }
    }
}

TFormHttpEngine::Slot &TFormHttpEngine::slot(int n) const
{
    return m_slots[size_t(n - 1)];
}

TFormHttpEngine::Slot &TFormHttpEngine::prepared(int t)
{
    Slot &s = slot(t);
    if (s.cli)
        return s;
    s.cli = TClientSetup::newClient();
    THttpCli &cli = *s.cli;
    cli.OnHeaderEnd = [this, t](THttpCli *) { HttpCliHeaderEnd(t); };
    cli.OnDocData = [this, t](THttpCli *, const char *, int) { HttpCliDocData(t); };
    cli.OnRequestDone = [this, t](THttpCli *, THttpRequest, int error) { HttpCliRequestDone(t, error); };
    s.timer = new QTimer(this);
    connect(s.timer, &QTimer::timeout, this, [this, t] { TimerTimer(t); });
    return s;
}

THttpCli *TFormHttpEngine::HttpCli(int n) const
{
    return slot(n).cli.get();
}

QTimer *TFormHttpEngine::Timer(int n) const
{
    return slot(n).timer;
}

bool TFormHttpEngine::EngineActive(int n) const
{
    return slot(n).active;
}

int TFormHttpEngine::activeCount() const
{
    int count = 0;
    for (int t = 1; t <= kTransfers; ++t)
        count += slot(t).active ? 1 : 0;
    return count;
}

int TFormHttpEngine::storesPending() const
{
    return m_committer->pending();
}

int TFormHttpEngine::filesInSlot(int n) const
{
    int count = 0;
    for (int t = n; t <= kTransfers; t += kSlots)
        count += slot(t).active ? 1 : 0;
    return count;
}

TDownloadSettings TFormHttpEngine::settings() const
{
    return m_settings ? m_settings->downloadSettings() : TDownloadSettings();
}

int TFormHttpEngine::GetFreeEngine() const
{
    const int limit = qBound(1, settings().maxThreads, kSlots);
    for (int n = 1; n <= limit; ++n) {
        if (filesInSlot(n) == 0)
            return n;
    }
    return 0;
}

TRunProgress::Figures TFormHttpEngine::progress(int remaining) const
{
    int stalled = 0, longest = 0;
    for (int t = 1; t <= kTransfers; ++t) {
        const Slot &s = slot(t);
        if (!s.active)
            continue;
        const int left = s.timer->remainingTime();
        if (s.timer->isActive() && s.timer->interval() - left >= kStalledMs) {
            ++stalled;
            longest = std::max(longest, (left + 999) / 1000);
        }
    }
    m_progress.setStalled(stalled, longest);
    return m_progress.figures(remaining + pendingRetries(), m_clock.elapsed());
}

void TFormHttpEngine::resetSlots()
{
    for (int t = 1; t <= kTransfers; ++t) {
        slot(t).active = false;
        slot(t).sizeTested = false;
    }
}

void TFormHttpEngine::abortAll()
{
    for (int t = 1; t <= kTransfers; ++t) {
        if (THttpCli *cli = slot(t).cli.get())
            cli->AbortRequest();
    }
}

void TFormHttpEngine::TimerCheckDownloadTimer()
{
    if (m_run.stopRequested())
        return;
    const bool fill = settings().startAllAtOnce;
    // A slot of its own for each file first, as the slots were meant; then
    // more files as streams of the HTTP/2 connections the slots run on.
    bool started = false;
    do {
        const int n = GetFreeEngine();
        if (n == 0 || !startWaiting(n))
            break;
        started = true;
    } while (fill);
    if (started && !fill)
        return; // one start a tick
    while (startExtraStream() && fill) {
    }
}

int TFormHttpEngine::nextWaiting() const
{
    for (int i = m_queue.firstWaiting(); i < m_queue.size(); ++i) {
        const TItemId id = m_queue.at(i);
        if (id && ItemState::isQueued(ref(id)) && !serverHeld(id))
            return i;
    }
    return -1;
}

// Files of a server that said "later" keep their place for the next look:
// the search starts again at the first of them.
void TFormHttpEngine::takeWaiting(int index)
{
    for (int i = m_queue.firstWaiting(); i < (index < 0 ? m_queue.size() : index); ++i) {
        const TItemId id = m_queue.at(i);
        if (id && ItemState::isQueued(ref(id)) && serverHeld(id)) {
            m_queue.setFirstWaiting(i);
            return;
        }
    }
    m_queue.setFirstWaiting(index < 0 ? m_queue.size() : index + 1);
}

bool TFormHttpEngine::startWaiting(int n)
{
    const int index = nextWaiting();
    takeWaiting(index);
    if (index < 0)
        return false;
    startTransfer(n, index, m_queue.at(index));
    return true;
}

bool TFormHttpEngine::startExtraStream()
{
    const TDownloadSettings s = settings();
    const int perSlot = qBound(1, s.filesPerSlot, kMaxFilesPerSlot);
    if (perSlot <= 1 || m_run.stopRequested())
        return false;
    const int index = nextWaiting();
    if (index < 0)
        return false;
    const QString origin = OriginKey(m_items.item(m_queue.at(index))->url);
    const int slotCount = qBound(1, s.maxThreads, kSlots);
    for (int n = 1; n <= slotCount; ++n) {
        // The slot runs on an HTTP/2 connection to this file's server with room left.
        TH2Connection *connection = nullptr;
        int files = 0, free = 0;
        for (int t = n; t <= n + kSlots * (perSlot - 1); t += kSlots) {
            const Slot &x = slot(t);
            if (!x.active) {
                free = free ? free : t;
                continue;
            }
            ++files;
            if (!connection && x.cli->h2Connection() && OriginKey(x.cli->URL) == origin)
                connection = x.cli->h2Connection();
        }
        if (!connection || !free || files >= perSlot || connection->freeStreams() <= 0)
            continue;
        takeWaiting(index);
        startTransfer(free, index, m_queue.at(index));
        return true;
    }
    return false;
}

void TFormHttpEngine::showSlot(int n)
{
    qint64 received = 0, size = 0;
    bool exact = true;
    int files = 0;
    QString url;
    for (int t = n; t <= kTransfers; t += kSlots) {
        const Slot &s = slot(t);
        if (!s.active)
            continue;
        ++files;
        received += s.shownReceived;
        size += s.shownSize;
        exact = exact && s.shownExact;
        url = s.cli->URL;
    }
    m_view.setSlotLamp(n, files > 0);
    m_view.setSlotProgress(n, received, size, files > 0 && exact);
    m_view.setSlotHint(n, files == 0   ? QStringLiteral("Not active")
                          : files == 1 ? QStringLiteral("Downloading: ") + url
                                       : QStringLiteral("Downloading %1 files over HTTP/2").arg(files));
}

void TFormHttpEngine::startTransfer(int n, int index, TItemId id)
{
    Slot &s = prepared(n);
    TDataRec &item = *m_items.item(id);
    s.active = true;
    s.shownReceived = s.shownSize = 0;
    s.shownExact = false;
    s.sizeTested = false;
    s.skipped = false;
    s.noLimits = std::exchange(item.ignoreLimits, false);
    s.counted = 0;
    s.floorSince = m_clock.elapsed();
    s.floorBytes = 0;
    ItemState::markRunning(ref(id));
    m_view.refreshTree();
    THttpCli &cli = *s.cli;
    cli.URL = item.url;
    showSlot(slotOf(n));
    cli.Tag = index;
    s.resumedFrom = 0;
    s.validator.clear();
    if (m_partials.contains(id)) {
        resumePartial(id, s);
    } else {
        s.file = std::make_unique<TBodyFile>();
        if (s.file->begin(item.localPath)) {
            cli.ReceiveStream = s.file.get();
        } else {
            s.file.reset();
            s.buffer = std::make_unique<TMemoryStream>();
            cli.ReceiveStream = s.buffer.get();
        }
    }
    UpdateProxyAndName(cli);
    const TDownloadSettings current = settings();
    s.maxSize = current.maxSize;
    s.timer->setInterval(current.timeOutFileMs);
    s.timer->start();
    // A URL without a host (a relative link of a page loaded from disk) is
    // not asked for; it ends at once, as any failed transfer ends.
    const int refused = !FetchableUrl(cli.URL) ? kNotFetchable : cli.Begin(rqGet).error;
    if (refused != 0)
        QMetaObject::invokeMethod(
            this, [this, index, n, refused] { UpdateAndSave(index, n, refused); }, Qt::QueuedConnection);
}

void TFormHttpEngine::UpdateProxyAndName(THttpCli &cli)
{
    const TDownloadSettings s = settings();
    m_clients.apply(cli, s.proxy, s.reuseConnections);
}

void TFormHttpEngine::HttpCliDocData(int n)
{
    Slot &s = slot(n);
    THttpCli &cli = *s.cli;
    if (m_run.stopRequested())
        cli.AbortRequest();
    if (s.writeFailed(cli)) {
        // The disk is full, say: no use receiving the rest.
        markFailed(int(cli.Tag), QStringLiteral("  (Write error !)"), writeFailureText(s.file.get()));
        cli.AbortRequest();
    }
    s.timer->stop();
    s.timer->start();
    if (!keepsPace(s)) {
        markFailed(int(cli.Tag), QStringLiteral("  (Time out !)"),
                   QStringLiteral("less than %1 bytes in %2 s (too slow)").arg(m_slowWindowBytes).arg(m_slowWindowMs / 1000.0));
        cli.AbortRequest();
        return;
    }
    if (cli.ReceivedBytes > s.counted) {
        m_progress.bytesArrived(cli.ReceivedBytes - s.counted, m_clock.elapsed());
        s.counted = cli.ReceivedBytes;
    }
    // A resumed transfer counts from the bytes its earlier try left.
    const qint64 received = s.resumedFrom + cli.ReceivedBytes;
    qint64 size = cli.ExpectedLength >= 0 ? s.resumedFrom + cli.ExpectedLength : -1;
    const bool exact = size >= received && size > 0;
    if (size < received)
        size = received + 1024;
    s.shownReceived = received;
    s.shownSize = size;
    s.shownExact = exact;
    showSlot(slotOf(n));
    if (!s.sizeTested && size > 0)
        CheckFileSizeLimits(int(cli.Tag), size, n);
    else if (s.sizeTested && !s.noLimits && cli.ExpectedLength < 0 && received > s.maxSize)
        skipForSize(int(cli.Tag), n, QStringLiteral("  (Skipped - Size over limit)"), // no length: the limit holds as it grows
                    QStringLiteral("more than the largest size of %1 bytes").arg(s.maxSize));
}

bool TFormHttpEngine::keepsPace(Slot &s)
{
    const qint64 now = m_clock.elapsed();
    if (now - s.floorSince < m_slowWindowMs)
        return true;
    if (s.cli->ReceivedBytes - s.floorBytes < m_slowWindowBytes)
        return false;
    s.floorSince = now;
    s.floorBytes = s.cli->ReceivedBytes;
    return true;
}

void TFormHttpEngine::skipForSize(int index, int n, const QString &suffix, const QString &reason)
{
    const TItemId id = m_queue.at(index);
    if (!id || ItemState::isFailed(ref(id)))
        return;
    m_items.setCaption(id, FileCaption(*m_items.item(id), suffix));
    ItemState::markFailed(ref(id), reason);
    slot(n).skipped = true;
    slot(n).cli->AbortRequest();
}

void TFormHttpEngine::CheckFileSizeLimits(int index, qint64 size, int n)
{
    const TItemId id = m_queue.at(index);
    if (!id || size <= 0)
        return;
    // A size known before (from a check, or an item list) keeps its caption,
    // but it may be old: the limits are tested against what the server says now.
    TDataRec *item = m_items.item(id);
    const bool known = item->sizeChecked || !item->sizeText.isEmpty();
    item->sizeText = QString::number(size);
    if (const TSizeVerdict verdict = SizeLimitVerdict(size, settings()); verdict.skipped() && !slot(n).noLimits) {
        skipForSize(index, n, verdict.suffix, verdict.reason);
    } else if (!known) {
        m_items.setCaption(id, FileCaption(*m_items.item(id), QStringLiteral("  (%1 bytes)").arg(size)));
    }
    // The tree repaints when this socket event returns; running the event
    // loop from inside it would let the same socket's events nest.
    m_view.refreshTree();
    slot(n).sizeTested = true;
}

void TFormHttpEngine::HttpCliRequestDone(int n, int error)
{
    UpdateAndSave(int(slot(n).cli->Tag), n, error);
}

void TFormHttpEngine::UpdateAndSave(int index, int n, int error)
{
    Slot &s = slot(n);
    if (!s.active)
        return; // a second end of the same transfer
    const TItemId id = m_queue.at(index);
    const int status = s.cli->ResponseCode;
    const TFailure failure = failureOf(error, status);
    bool storing = false;
    if (id && !ItemState::isFailed(ref(id))) {
        const THttpReply result = s.cli->Result();
        if (failure == TFailure::NotFetchable)
            markFailed(index, FailureCaption(failure, status), UnfetchableReason(s.cli->URL));
        else if (failure == TFailure::Certificate)
            markFailed(index, FailureCaption(failure, status), FailureReason(result));
        else if (error != 0)
            UpdateAbortedNode(index, FailureReason(result));
        else if (failure == TFailure::HttpStatus)
            markFailed(index, FailureCaption(failure, status), FailureReason(result));
        else if (status == 204 || status == 304 || status < 200)
            markFailed(index, QStringLiteral("  (HTTP error %1 !)").arg(status),
                       QStringLiteral("HTTP %1 %2: the server sent no file").arg(status).arg(result.statusText).simplified());
        else if (s.resumedFrom + result.received == 0)
            markFailed(index, QStringLiteral("  (Aborted !)"), QStringLiteral("the server sent an empty answer, no file"));
        else if (s.file && !s.writeFailed(*s.cli))
            storing = true;
        else if (const QString problem = store(id, s); !problem.isEmpty())
            markFailed(index, QStringLiteral("  (Write error !)"), problem);
    }
    if (storing) {
        storeInBackground(index, s);
    } else if (id && ItemState::isStored(ref(id))) {
        m_progress.fileStored();
    } else if (id && s.skipped) {
        const TDownloadSettings limits = settings();
        const QString &sizeText = m_items.item(id)->sizeText;
        const bool over = sizeText.isEmpty() || sizeText.toLongLong() > limits.maxSize;
        m_progress.fileSkipped(over ? limits.maxSize : -1, over ? -1 : limits.minSize);
    } else if (!(id && scheduleRetry(id, failure, *s.cli)))
        m_progress.fileFailed(); // gone from the store meanwhile counts as not stored
    else
        keepPartial(id, s, error);
    s.cli->ReceiveStream = nullptr;
    s.file.reset();
    s.buffer.reset();
    if (storing)
        m_view.refreshTree();
    else
        entryEnded(index, id);
    release(n);
    if (settings().startAllAtOnce)
        TimerCheckDownloadTimer();
}

void TFormHttpEngine::storeInBackground(int index, Slot &s)
{
    m_committer->commit(std::move(s.file),
                        [this, index](const TBodyFile &file, bool ok) { fileCommitted(index, file, ok); });
}

void TFormHttpEngine::fileCommitted(int index, const TBodyFile &file, bool ok)
{
    const TItemId id = m_queue.at(index); // kNoItem when it left the store meanwhile
    if (ok) {
        if (id)
            markStored(id, file.size());
        m_progress.fileStored();
    } else {
        markFailed(index, QStringLiteral("  (Write error !)"),
                   storeFailureText(id ? m_items.item(id)->localPath : QString(), file.errorText()));
        m_progress.fileFailed();
    }
    entryEnded(index, id);
}

// The item's queue entry is done with: the run counts it no more.
void TFormHttpEngine::entryEnded(int index, TItemId id)
{
    m_view.refreshTree();
    m_queue.blank(index);
    if (id && id == m_run.currentItem())
        m_view.PreviewImage(id);
}

QString TFormHttpEngine::storeFailureText(const QString &path, const QString &why)
{
    return QStringLiteral("cannot store %1: %2").arg(path, why);
}

QString TFormHttpEngine::store(TItemId id, Slot &s)
{
    // Written beside its place and renamed into it: never a partial file
    // under the item's name, and an older copy stays until the new one is whole.
    if (s.writeFailed(*s.cli))
        return writeFailureText(s.file.get());
    const QString path = m_items.item(id)->localPath;
    qint64 size = 0;
    if (s.file) {
        if (!s.file->commit())
            return storeFailureText(path, s.file->errorText());
        size = s.file->size();
    } else {
        QSaveFile file(path);
        const TMemoryStream &body = *s.buffer;
        if (!file.open(QIODevice::WriteOnly) || file.write(body.data(), body.size()) != body.size() || !file.commit())
            return storeFailureText(path, file.errorString());
        SyncDirectory(QFileInfo(path).absolutePath());
        size = body.size();
    }
    markStored(id, size);
    return {};
}

void TFormHttpEngine::markStored(TItemId id, qint64 size)
{
    // A body without a length was shown with a guess: the caption tells what was stored.
    TDataRec *item = m_items.item(id);
    if (!item->sizeText.isEmpty() && item->sizeText != QString::number(size)) {
        item->sizeText = QString::number(size);
        m_items.setCaption(id, FileCaption(*item, QStringLiteral("  (%1 bytes)").arg(size)));
    }
    ItemState::markStored(ref(id));
    m_items.setColor(id, m_items.slotColor(ColorFileStored));
    TStatistics::add(m_statistics.FilesDl, 1);
    TStatistics::add(m_statistics.BytesDl, size / 1024);
}

void TFormHttpEngine::release(int n)
{
    Slot &s = slot(n);
    s.timer->stop();
    s.active = false;
    showSlot(slotOf(n));
}

void TFormHttpEngine::TimerTimer(int n)
{
    Slot &s = slot(n);
    UpdateTimeOutNode(int(s.cli->Tag), s.timer->interval());
    s.cli->AbortRequest();
    s.timer->stop();
}

void TFormHttpEngine::UpdateTimeOutNode(int index, int silentMs)
{
    markFailed(index, QStringLiteral("  (Time out !)"), QStringLiteral("no data for %1 s (time-out)").arg(silentMs / 1000.0));
}

void TFormHttpEngine::UpdateAbortedNode(int index, const QString &reason)
{
    markFailed(index, FailureCaption(TFailure::Stopped, 0), reason);
}

TFailure TFormHttpEngine::failureOf(int error, int status)
{
    return error == kNotFetchable ? TFailure::NotFetchable : FailureOf(error, status);
}

// A file that failed keeps whatever lies at its path: the transfer wrote
// nothing there, and an older copy of the user's must not go with it.
void TFormHttpEngine::markFailed(int index, const QString &suffix, const QString &reason)
{
    const TItemId id = m_queue.at(index);
    if (!id)
        return;
    TDataRec &item = *m_items.item(id);
    m_items.setCaption(id, FileCaption(item, suffix));
    item.sizeText.clear();
    ItemState::markFailed(ref(id), reason);
    m_view.refreshTree();
}
