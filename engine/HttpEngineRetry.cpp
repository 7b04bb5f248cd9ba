// The download engine, part: failed transfers tried again after a pause,
// and the servers that asked to be left alone for a while.
#include "HttpEngine.h"
#include "HttpEngine_p.h"

#include "DataRec.h"
#include "DownloadQueue.h"
#include "DownloadView.h"
#include "ItemState.h"
#include "RetryPolicy.h"
#include "RunState.h"
#include "UrlRules.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>

void TFormHttpEngine::beginProgress()
{
    m_progress.begin(m_clock.elapsed());
    m_tries.clear();
    m_serverHeldUntil.clear();
}

bool TFormHttpEngine::scheduleRetry(TItemId id, TFailure failure, const THttpCli &cli)
{
    const TDownloadSettings s = settings();
    if (s.retries <= 0 || m_run.stopRequested() || !ItemState::isFailed(ref(id)) || !RetryMayHelp(failure, cli.ResponseCode))
        return false;
    int &tries = m_tries[id];
    if (++tries > s.retries)
        return false;
    const int delay = RetryPolicy::delaySeconds(tries, RetryPolicy::retryAfterField(cli.HeaderLines),
                                                QDateTime::currentDateTimeUtc());
    const qint64 due = m_clock.elapsed() + qint64(delay) * 1000;
    const QString reason = m_items.entry(id)->reason;
    m_retries.push_back({id, due, reason});
    m_items.setReason(id, QStringLiteral("%1 - trying again in %2 s (%3 of %4)").arg(reason).arg(delay).arg(tries).arg(s.retries));
    if (failure == TFailure::HttpStatus && RetryPolicy::holdsTheServer(cli.ResponseCode)) {
        qint64 &until = m_serverHeldUntil[HostRoot(m_items.item(id)->url)];
        until = std::max(until, due);
    }
    m_timerRetry->start();
    return true;
}

bool TFormHttpEngine::serverHeld(TItemId id) const
{
    if (m_serverHeldUntil.isEmpty())
        return false;
    const auto held = m_serverHeldUntil.constFind(HostRoot(m_items.item(id)->url));
    return held != m_serverHeldUntil.constEnd() && *held > m_clock.elapsed();
}

void TFormHttpEngine::TimerRetryTimer()
{
    const qint64 now = m_clock.elapsed();
    bool queued = false;
    for (auto it = m_retries.begin(); it != m_retries.end();) {
        if (it->dueMs > now) {
            ++it;
            continue;
        }
        const TItemId id = it->id;
        it = m_retries.erase(it);
        // As a new file again, its place on disk kept from the first try.
        m_items.item(id)->sizeText.clear();
        m_items.setCaption(id, FileCaption(*m_items.item(id)));
        m_queue.append(id);
        ItemState::markQueued(ref(id));
        queued = true;
    }
    if (m_retries.empty())
        m_timerRetry->stop();
    if (queued) {
        m_view.refreshTree();
        if (settings().startAllAtOnce)
            TimerCheckDownloadTimer();
    }
}

void TFormHttpEngine::dropRetries()
{
    for (const Retry &r : m_retries) {
        m_items.setReason(r.id, r.reason);
        m_progress.fileFailed();
    }
    m_retries.clear();
    m_partials.clear();
    m_timerRetry->stop();
}
