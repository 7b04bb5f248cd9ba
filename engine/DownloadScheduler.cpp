#include "DownloadScheduler.h"

#include "DownloadQueue.h"
#include "DownloadView.h"
#include "EventSlice.h"
#include "ItemState.h"
#include "RunState.h"
#include "UrlRules.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>
#include <QTimer>

namespace {

// How long "&Stop" waits for the aborted transfers to end.
constexpr int kStopWaitMs = 5000;

} // namespace

TDownloadScheduler::TDownloadScheduler(TItemStore &items, TDownloadQueue &queue, TRunState &run,
                                       TFormHttpEngine &engine, TDownloadView &view, QObject *parent)
    : QObject(parent)
    , m_items(items)
    , m_queue(queue)
    , m_run(run)
    , m_engine(engine)
    , m_view(view)
    , m_timerAddDownload(new QTimer(this))
    , m_timerDownloadFinish(new QTimer(this))
    , m_timerUpdate(new QTimer(this))
{
    m_timerAddDownload->setInterval(1000);
    m_timerDownloadFinish->setInterval(2000);
    m_timerUpdate->setInterval(1000);
    connect(m_timerAddDownload, &QTimer::timeout, this, &TDownloadScheduler::TimerAddDownloadTimer);
    connect(m_timerDownloadFinish, &QTimer::timeout, this, &TDownloadScheduler::TimerDownloadFinishTimer);
    connect(m_timerUpdate, &QTimer::timeout, this, &TDownloadScheduler::TimerUpdateTimer);
    m_timerUpdate->start();
    connect(&m_queue, &TDownloadQueue::remainingChanged, this, [this](int remaining) { m_view.setRemainingCount(remaining); });
}

TDownloadSettings TDownloadScheduler::settings() const
{
    return m_settings ? m_settings->downloadSettings() : TDownloadSettings();
}

void TDownloadScheduler::ButtonDownloadClick()
{
    // Every file would end "(Write error !)": say so before anything starts.
    if (!m_view.confirmDownloadDirectory(settings().downloadDir))
        return;
    if (m_stopCommand)
        m_stopCommand();
    else
        stopDownloads();
    m_run.setBusy(true);
    m_run.setStopRequest(false);
    m_claimed.clear(); // what earlier runs stored is on disk now
    m_view.UpdateScreen();
    m_view.setStatus(QStringLiteral(" Status: File download"));
    QCoreApplication::processEvents();
    m_engine.resetSlots();
    m_engine.beginProgress();
    TimerAddDownloadTimer();
    if (settings().startAllAtOnce)
        m_engine.TimerCheckDownloadTimer(); // no wait for the next start tick
    m_timerAddDownload->start();
    QCoreApplication::processEvents();
    m_timerDownloadFinish->start();
}

int TDownloadScheduler::pendingCount() const
{
    return m_queue.remaining();
}

void TDownloadScheduler::TimerAddDownloadTimer()
{
    // The walk first gathers what qualifies, without letting events run; the
    // items are then handled with events on a time slice, each looked at
    // again, since the user may have unticked or removed it meanwhile.
    QList<TItemId> found;
    m_items.forEach([&](TItemId id) {
        if (ItemState::isWaiting({&m_items, id}))
            found << id;
    });
    if (found.isEmpty())
        return;
    const TDownloadSettings s = settings();
    TEventSlice events;
    for (TItemId id : std::as_const(found)) {
        if (m_run.stopRequested())
            break;
        if (ItemState::isWaiting({&m_items, id})) // false once it is gone
            handOut(id, s);
        events.poll();
    }
    m_view.refreshTree();
}

void TDownloadScheduler::handOut(TItemId id, const TDownloadSettings &s)
{
    if (s.itemJump)
        m_view.showNode(id);
    TDataRec *item = m_items.item(id);
    const TItemRef ref{&m_items, id};
    if (!UsableFileName(item->name)) {
        // "", "." or ".." can never be a file of its own.
        ItemState::markFailed(ref, QStringLiteral("the link names no file to store"));
        return;
    }
    // The path is made here, in today's download directory: a path kept from
    // elsewhere (an item list from another machine, say) is never written to.
    const QString directory = s.createDir ? UrlPath(item->url, s.downloadDir) : s.downloadDir;
    item->localPath = LocalPath(directory, item->name);
    if (s.existing == TDownloadSettings::Skip && PathTaken(item->localPath, m_claimed)) {
        ItemState::uncheck(ref);
        m_items.setCaption(id, item->name
                                  + (item->kind == KindThumbnail ? QStringLiteral("   (Thumbnail) (Skipped - Already exist on disk)")
                                                                 : QStringLiteral("  (Skipped - Already exist on disk)")));
        return;
    }
    if (CheckFileName(*item, directory, s.existing == TDownloadSettings::Overwrite, m_claimed)) {
        m_claimed.insert(item->localPath);
        m_queue.append(id);
        ItemState::markQueued(ref);
        return;
    }
    ItemState::markFailed(ref, QStringLiteral("no free file name for it in %1").arg(directory));
}

void TDownloadScheduler::TimerDownloadFinishTimer()
{
    // Read now, not the last tick's count: a retry may just have moved back
    // into the queue, or a transfer may be starting again on a fresh connection.
    if (m_queue.remaining() != 0 || m_engine.pendingRetries() > 0 || m_engine.activeCount() > 0)
        return;
    m_timerAddDownload->stop();
    QCoreApplication::processEvents();
    m_run.setStopRequest(false);
    m_run.setBusy(false);
    m_view.UpdateScreen();
    if (settings().beep)
        m_view.beep();
    m_timerDownloadFinish->stop();
    const TRunProgress::Figures done = m_engine.progress(0);
    if (done.total > 0)
        m_view.downloadRunEnded(done);
}

void TDownloadScheduler::TimerUpdateTimer()
{
    m_remaining = m_queue.remaining();
    m_view.setCounts(m_items.count(), m_view.highlightedCount(), m_remaining);
    if (m_timerDownloadFinish->isActive() && !m_run.stopRequested()) {
        m_view.showDownloadProgress(m_engine.progress(m_remaining));
    }
    if (!m_run.busy() && m_run.stopRequested() && m_remaining == 0)
        m_queue.clear();
}

void TDownloadScheduler::stopDownloads()
{
    m_timerDownloadFinish->stop();
    m_timerAddDownload->stop();
    m_engine.dropRetries();
    m_engine.abortAll();
    m_run.setStopRequest(true);
    m_view.ShowBar(false, 0, 0);
    m_view.setStatus(QStringLiteral(" Status: stopping !"));
    QCoreApplication::processEvents();
    // Every aborted transfer ends in its completion, which puts its lamp out.
    const QDeadlineTimer deadline(kStopWaitMs);
    while (m_engine.activeCount() > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // the status timer ticks each second
    for (int i = 0; i < m_queue.size(); ++i) {
        if (const TItemId id = m_queue.at(i)) {
            ItemState::markWaiting({&m_items, id});
            m_queue.blank(i);
        }
    }
    m_run.setBusy(false);
}
