#pragma once

#include "ItemStore.h"

#include <QObject>

// What the runs (crawl, download) and the main window share while they work
// on the items: whether a run is busy, whether the user asked them to stop,
// and the items they work at. An item that leaves the store is forgotten
// here at once.
class TRunState : public QObject
{
    Q_OBJECT

public:
    explicit TRunState(QObject *parent = nullptr);

    // Forgets the items this store removes.
    void watch(TItemStore *items);

    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }
    bool stopRequested() const { return m_stopRequest; }
    void setStopRequest(bool stop) { m_stopRequest = stop; }

    // The tree's current item, as the main window last saw it change.
    TItemId currentItem() const { return m_currentItem; }
    void setCurrentItem(TItemId id) { m_currentItem = id; }
    // Where files found by a scan go.
    TItemId fileParent() const { return m_fileParent; }
    void setFileParent(TItemId id) { m_fileParent = id; }
    // The item "&Parse links" is at.
    TItemId parseCursor() const { return m_parseCursor; }
    void setParseCursor(TItemId id) { m_parseCursor = id; }

private:
    void forget(TItemId id);
    void forgetAll();

    bool m_busy = false;
    bool m_stopRequest = false;
    TItemId m_currentItem = kNoItem;
    TItemId m_fileParent = kNoItem;
    TItemId m_parseCursor = kNoItem;
};
