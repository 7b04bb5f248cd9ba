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
#include "TreeNode.h"
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

bool TFormHttpEngine::scheduleRetry(TTreeNode *node, TFailure failure, const THttpCli &cli)
{
    const TDownloadSettings s = settings();
    if (s.retries <= 0 || m_run.stopRequested() || !ItemState::isFailed(node) || !RetryMayHelp(failure, cli.ResponseCode))
        return false;
    int &tries = m_tries[node];
    if (++tries > s.retries)
        return false;
    const int delay = RetryPolicy::delaySeconds(tries, RetryPolicy::retryAfterField(cli.HeaderLines),
                                                QDateTime::currentDateTimeUtc());
    const qint64 due = m_clock.elapsed() + qint64(delay) * 1000;
    const QString reason = node->toolTip(0);
    m_retries.push_back({node, due, reason});
    node->setToolTip(0, QStringLiteral("%1 - trying again in %2 s (%3 of %4)").arg(reason).arg(delay).arg(tries).arg(s.retries));
    if (failure == TFailure::HttpStatus && RetryPolicy::holdsTheServer(cli.ResponseCode)) {
        qint64 &until = m_serverHeldUntil[HostRoot(node->item()->url)];
        until = std::max(until, due);
    }
    m_timerRetry->start();
    return true;
}

bool TFormHttpEngine::serverHeld(const TTreeNode *node) const
{
    if (m_serverHeldUntil.isEmpty())
        return false;
    const auto held = m_serverHeldUntil.constFind(HostRoot(node->item()->url));
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
        TTreeNode *node = it->node;
        it = m_retries.erase(it);
        // As a new file again, its place on disk kept from the first try.
        node->item()->sizeText.clear();
        node->setCaption(FileCaption(*node->item()));
        m_queue.append(node);
        ItemState::markQueued(node);
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
        r.node->setToolTip(0, r.reason);
        m_progress.fileFailed();
    }
    m_retries.clear();
    m_partials.clear();
    m_timerRetry->stop();
}
