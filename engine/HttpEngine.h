#pragma once

#include "HttpProt.h"
#include "RunProgress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTimer;
class TConnectionPool;
class TDownloadQueue;
class TDownloadView;
class TItemTree;
class TMemoryStream;
class TRunState;
class TTreeNode;
struct TLogin;
struct TStatistics;

// The pool of eight transfer slots. Once a second it starts the first queued
// item in the lowest free slot (every free slot with the fast start); each
// body is received into memory and written whole at the completion.
class TFormHttpEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSlots = 8;

    TFormHttpEngine(TItemTree *tree, TDownloadQueue &queue, TRunState &run, TStatistics &statistics,
                    TLogin &login, TDownloadView &view, QObject *parent = nullptr);
    ~TFormHttpEngine() override;

    void setSettingsSource(const TSettingsSource *source) { m_settings = source; }
    // Where kept connections wait; used while the settings ask for reuse.
    void setConnectionPool(TConnectionPool *pool) { m_pool = pool; }

    // Slots are numbered 1 to 8.
    THttpCli *HttpCli(int slot) const;
    QTimer *Timer(int slot) const;
    QTimer *TimerCheckDownload() const { return m_timerCheckDownload; }
    bool EngineActive(int slot) const;
    int activeCount() const;

    // The lowest free slot up to the configured count; 0 when all are busy.
    int GetFreeEngine() const;
    // Before a download run: every slot free and untested.
    void resetSlots();
    // The run's figures start again from nothing.
    void beginProgress() { m_progress.begin(m_clock.elapsed()); }
    // Files finished and queued, bytes, speed and time left of the run.
    TRunProgress::Figures progress(int remaining) const { return m_progress.figures(remaining, m_clock.elapsed()); }
    // Aborts every transfer; each ends in its completion.
    void abortAll();

    // Handlers.
    void TimerCheckDownloadTimer();
    void UpdateProxyAndName(THttpCli &cli);
    void HttpCliDocData(int slot);
    void CheckFileSizeLimits(int index, qint64 size, int slot);
    void HttpCliRequestDone(int slot, int error);
    void UpdateAndSave(int index, int slot, int error);
    void TimerTimer(int slot);
    void UpdateTimeOutNode(int index);
    void UpdateAbortedNode(int index, const QString &reason = {});
    // A link without a host (a relative link of a page loaded from disk):
    // its transfer ends at once with this caption.
    static constexpr int kNotFetchable = -1;

private:
    struct Slot;
    Slot &slot(int n) const;
    // Starts the first waiting queue entry in the slot; false when none waits.
    bool startWaiting(int n);
    void startTransfer(int n, int index, TTreeNode *node);
    // The caption's suffix says what happened; reason, in the item's
    // tooltip, says why.
    void markFailed(int index, const QString &suffix, const QString &reason);
    void skipForSize(int index, int slot, const QString &suffix, const QString &reason);
    // Empty when the body is stored, else why it could not be.
    QString store(TTreeNode *node, Slot &s);
    void release(int n);
    TDownloadSettings settings() const;

    TItemTree *m_tree;
    TDownloadQueue &m_queue;
    TRunState &m_run;
    TStatistics &m_statistics;
    TLogin &m_login;
    TDownloadView &m_view;
    std::unique_ptr<Slot[]> m_slots;
    QTimer *m_timerCheckDownload;
    const TSettingsSource *m_settings = nullptr;
    TConnectionPool *m_pool = nullptr;
    TRunProgress m_progress;
    QElapsedTimer m_clock;
};
