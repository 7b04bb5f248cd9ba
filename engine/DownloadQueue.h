#pragma once

#include "ItemStore.h"

#include <QHash>
#include <QObject>
#include <QVector>

// The items of a download run, addressed by a 0-based index. Entries are
// blanked, never removed, while a run is active, so the index a transfer slot
// holds stays valid; an item that leaves the store blanks its entry at once.
class TDownloadQueue : public QObject
{
    Q_OBJECT

public:
    explicit TDownloadQueue(QObject *parent = nullptr);

    // Blanks the entries of the items this store removes.
    void watch(TItemStore *items);

    int append(TItemId id);
    // The item at index, or kNoItem when blank or out of range.
    TItemId at(int index) const;
    void blank(int index);
    int size() const { return int(m_entries.size()); }
    // Entries not blank.
    int remaining() const { return m_remaining; }
    // Forgets every entry; the next run numbers from 0 again.
    void clear();

    // The first entry that may still wait for a slot: everything before it
    // is blank or started, so a search never starts over from 0.
    int firstWaiting() const { return m_firstWaiting; }
    void setFirstWaiting(int index) { m_firstWaiting = index; }

signals:
    // Entries not blank: items queued or in transfer.
    void remainingChanged(int remaining);

private:
    void forget(TItemId id);
    void setRemaining(int remaining);
    void blankAll();

    QVector<TItemId> m_entries;
    QHash<TItemId, int> m_index;
    int m_remaining = 0;
    int m_firstWaiting = 0;
};
