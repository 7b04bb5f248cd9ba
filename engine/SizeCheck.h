#pragma once

#include "ClientSetup.h"
#include "ItemState.h"
#include "PictureHead.h"
#include "RunSettings.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <memory>

class QTimer;
class THttpCli;
class TConnectionPool;
class TDownloadView;
class TRunState;

// "Check size": asks the server about each file before it is fetched - a
// ranged GET of the first 64 KiB for a picture (its dimensions are in
// there), a HEAD for anything else - and shows the length and the pixel
// dimensions in the item's caption. The configuration's size limits are
// applied to what is known. Nothing is written to disk. A run of its own,
// through the transfer slots the configuration allows.
class TSizeCheck : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSlots = kTransferSlots;
    static constexpr int kHeadBytes = 64 * 1024;
    // The end of a check that was never asked for: the link names no server.
    static constexpr int kNotFetchable = -1;

    TSizeCheck(TItemStore &items, TRunState &run, TDownloadView &view, QObject *parent = nullptr);
    ~TSizeCheck() override;

    void setSettingsSource(const TSettingsSource *source) { m_settings = source; }
    void setClientSetup(const TClientSetup &setup) { m_clients = setup; }

    // Checks these file items in turn; links, and files a run has taken
    // (queued, in transfer, stored or failed), are passed over. False, starting nothing, when none is left.
    bool start(const QList<TItemId> &ids);
    // Aborts the requests; the files not reached stay as they were.
    void stop();
    bool running() const { return m_running; }
    THttpCli *client(int slot) const;
    // A slot's file said nothing for the file time-out: its check ends.
    void TimerTimer(int slot);

    // "1.2 MB, 1920 x 1080", of what is known.
    static QString SizeFacts(qint64 size, int width, int height);
    // The caption a check gives: "photo.jpg (1.2 MB, 1920 x 1080)".
    static QString CheckedCaption(const QString &plainCaption, qint64 size, int width, int height);

signals:
    void finished();

private:
    struct Slot;
    Slot &slot(int n) const;
    void fill();
    void begin(int n, TItemId id);
    void docData(int n, const char *data, int len);
    void done(int n, int error);
    // Caption, tooltip and state of the item from what its check found.
    void apply(TItemId id, const Slot &s, int error);
    void release(int n);
    void forget(TItemId id);
    void end();
    void showProgress();
    TDownloadSettings settings() const;

    TItemRef ref(TItemId id) const { return {&m_items, id}; }

    TItemStore &m_items;
    TRunState &m_run;
    TDownloadView &m_view;
    const TSettingsSource *m_settings = nullptr;
    TClientSetup m_clients;
    std::unique_ptr<Slot[]> m_slots;
    std::deque<TItemId> m_waiting;
    QSet<TItemId> m_present; // waiting items still in the store
    bool m_running = false;
    int m_total = 0;
    int m_done = 0;
    int m_failed = 0;
};
