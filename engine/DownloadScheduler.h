#pragma once

#include "HttpEngine.h"
#include "ItemStore.h"

#include <QObject>
#include <QSet>

#include <functional>

class QTimer;
class TDownloadQueue;
class TDownloadView;
class TRunState;

// The main window's side of downloading: "&Download files" begins a run, the
// hand-out walk queues every checked file each second, the finish timer ends
// the run when the queue is empty, and the status counts are kept up to date.
class TDownloadScheduler : public QObject
{
    Q_OBJECT

public:
    TDownloadScheduler(TItemStore &items, TDownloadQueue &queue, TRunState &run, TFormHttpEngine &engine,
                       TDownloadView &view, QObject *parent = nullptr);

    void setSettingsSource(const TSettingsSource *source) { m_settings = source; }
    // The whole "&Stop" command, which a download run begins with.
    void setStopCommand(std::function<void()> stop) { m_stopCommand = std::move(stop); }

    QTimer *TimerAddDownload() const { return m_timerAddDownload; }
    QTimer *TimerDownloadFinish() const { return m_timerDownloadFinish; }
    QTimer *TimerUpdate() const { return m_timerUpdate; }
    int remainingCount() const { return m_remaining; }
    // Items queued or in transfer right now.
    int pendingCount() const;

    // Handlers.
    void ButtonDownloadClick();
    void TimerAddDownloadTimer();
    void TimerDownloadFinishTimer();
    void TimerUpdateTimer();
    // The download side of "&Stop".
    void stopDownloads();

private:
    void handOut(TItemId id, const TDownloadSettings &s);
    TDownloadSettings settings() const;

    TItemStore &m_items;
    TDownloadQueue &m_queue;
    TRunState &m_run;
    TFormHttpEngine &m_engine;
    TDownloadView &m_view;
    QTimer *m_timerAddDownload;
    QTimer *m_timerDownloadFinish;
    QTimer *m_timerUpdate;
    int m_remaining = 0;
    QSet<QString> m_claimed; // local paths the items of this run were given
    const TSettingsSource *m_settings = nullptr;
    std::function<void()> m_stopCommand;
};
