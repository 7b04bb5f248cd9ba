#pragma once

#include "ClientSetup.h"
#include "ItemState.h"
#include "FailureReason.h"
#include "HttpProt.h"
#include "RunProgress.h"
#include "RunSettings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QTimer;
class TBodyFile;
class TConnectionPool;
class TFileCommitter;
class TDownloadQueue;
class TDownloadView;
class TMemoryStream;
class TRunState;
struct TStatistics;

// The pool of eight transfer slots. Once a second it starts the first queued
// item in the lowest free slot (every free slot with the fast start); over
// HTTP/2 a slot carries several files as streams. Each body goes into an
// unnamed file beside its place (in memory where the file system has none)
// and gets its name only when whole.
class TFormHttpEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSlots = kTransferSlots;
    // Over HTTP/2 a slot carries several files at once, as streams of its
    // server's connection: transfer t belongs to slot (t - 1) % kSlots + 1.
    static constexpr int kMaxFilesPerSlot = 32;
    static constexpr int kTransfers = kSlots * kMaxFilesPerSlot;
    static int slotOf(int transfer) { return (transfer - 1) % kSlots + 1; }

    TFormHttpEngine(TItemStore &items, TDownloadQueue &queue, TRunState &run, TStatistics &statistics,
                    TDownloadView &view, QObject *parent = nullptr);
    ~TFormHttpEngine() override;

    void setSettingsSource(const TSettingsSource *source) { m_settings = source; }
    // Where kept connections wait; used while the settings ask for reuse.
    void setClientSetup(const TClientSetup &setup) { m_clients = setup; }

    // Slots are numbered 1 to 8.
    THttpCli *HttpCli(int slot) const;
    QTimer *Timer(int slot) const;
    QTimer *TimerCheckDownload() const { return m_timerCheckDownload; }
    bool EngineActive(int slot) const;
    int activeCount() const;
    // Files received whole whose names are still being given on disk.
    int storesPending() const;
    // Transfers running in slot n, its first and the HTTP/2 streams beside it.
    int filesInSlot(int n) const;

    // The lowest free slot up to the configured count; 0 when all are busy.
    int GetFreeEngine() const;
    // Before a download run: every slot free and untested.
    void resetSlots();
    // The run's figures start again from nothing.
    void beginProgress();
    // Files finished and queued, bytes, speed and time left of the run.
    TRunProgress::Figures progress(int remaining) const;
    // A transfer silent this long counts as stalled in the run's figures.
    static constexpr int kStalledMs = 5000;
    // Failed transfers waiting for their next try; the run is not over while any wait.
    int pendingRetries() const { return int(m_retries.size()); }
    // The run ends: waiting tries are given up, their items stay failed.
    void dropRetries();
    QTimer *TimerRetry() const { return m_timerRetry; }
    // Aborts every transfer; each ends in its completion.
    void abortAll();

    // Handlers.
    void TimerCheckDownloadTimer();
    void UpdateProxyAndName(THttpCli &cli);
    void HttpCliHeaderEnd(int slot);
    void HttpCliDocData(int slot);
    void CheckFileSizeLimits(int index, qint64 size, int slot);
    void HttpCliRequestDone(int slot, int error);
    void UpdateAndSave(int index, int slot, int error);
    void TimerTimer(int slot);
    void UpdateTimeOutNode(int index, int silentMs);
    void UpdateAbortedNode(int index, const QString &reason = {});
    // A transfer's end as a failure; kNotFetchable is the engine's own.
    static TFailure failureOf(int error, int status);
    // Puts the failed files whose time has come back into the queue.
    void TimerRetryTimer();
    // A link without a host (a relative link of a page loaded from disk):
    // its transfer ends at once with this caption.
    static constexpr int kNotFetchable = -1;
    // A transfer that brings less than this in a whole window fails as a
    // time-out: a server trickling a byte now and then never goes silent.
    static constexpr int kSlowWindowMs = 30000;
    static constexpr qint64 kSlowWindowBytes = 1024;
    void setSlowFloor(int windowMs, qint64 bytes)
    {
        m_slowWindowMs = windowMs;
        m_slowWindowBytes = bytes;
    }
    // Cut files kept on disk for their next try at one time (each holds a descriptor).
    static constexpr int kMaxFilePartials = 64;

private:
    struct Slot;
    struct Partial;
    Slot &slot(int n) const;
    // The transfer's client and timer, made when it is first used.
    Slot &prepared(int t);
    // Starts a queued file as one more stream of an HTTP/2 slot's
    // connection to its server; false when none has room for it.
    bool startExtraStream();
    // The first queued file that may start now: its queue index, or -1.
    int nextWaiting() const;
    void takeWaiting(int index);
    // The slot's lamp, gauge and hint from all its transfers.
    void showSlot(int n);
    // Starts the first waiting queue entry in the slot; false when none waits.
    bool startWaiting(int n);
    void startTransfer(int n, int index, TItemId id);
    // The caption's suffix says what happened; reason, in the item's
    // tooltip, says why.
    void markFailed(int index, const QString &suffix, const QString &reason);
    void skipForSize(int index, int slot, const QString &suffix, const QString &reason);
    // Empty when the body is stored, else why it could not be.
    QString store(TItemId id, Slot &s);
    // A body in a file gets its name off the window's thread; the item's
    // queue entry stays until then, so the run is not over before it.
    void storeInBackground(int index, Slot &s);
    void fileCommitted(int index, const TBodyFile &file, bool ok);
    void entryEnded(int index, TItemId id);
    static QString storeFailureText(const QString &path, const QString &why);
    void markStored(TItemId id, qint64 size);
    void release(int n);
    TDownloadSettings settings() const;
    // A failure worth another try, with tries left: the item waits for it.
    // False when it stays failed.
    bool scheduleRetry(TItemId id, TFailure failure, const THttpCli &cli);
    // Queued files of a server that said "later" wait until then.
    bool serverHeld(TItemId id) const;
    // False when the transfer in slot n has fallen below the slowest pace.
    bool keepsPace(Slot &s);
    // A cut body whose server takes ranges is kept for the item's next try...
    void keepPartial(TItemId id, Slot &s, int error);
    // ...which asks for the rest of it.
    void resumePartial(TItemId id, Slot &s);

    TItemRef ref(TItemId id) const { return {&m_items, id}; }

    TItemStore &m_items;
    TDownloadQueue &m_queue;
    TRunState &m_run;
    TStatistics &m_statistics;
    TDownloadView &m_view;
    std::unique_ptr<Slot[]> m_slots;
    QTimer *m_timerCheckDownload;
    const TSettingsSource *m_settings = nullptr;
    TClientSetup m_clients;
    mutable TRunProgress m_progress;
    QElapsedTimer m_clock;
    struct Retry
    {
        TItemId id;
        qint64 dueMs;
        QString reason;
    };
    std::vector<Retry> m_retries;
    QHash<TItemId, int> m_tries;  // failed tries of this run's items
    QHash<QString, qint64> m_serverHeldUntil; // "scheme://host:port" of a server that said "later"
    std::unordered_map<TItemId, std::unique_ptr<Partial>> m_partials;
    QTimer *m_timerRetry;
    int m_slowWindowMs = kSlowWindowMs;
    qint64 m_slowWindowBytes = kSlowWindowBytes;
    std::unique_ptr<TFileCommitter> m_committer; // last: gone first, its files stored by then
};
