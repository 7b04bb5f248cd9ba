#include "DownloadQueue.h"


TDownloadQueue::TDownloadQueue(QObject *parent)
    : QObject(parent)
{
}

void TDownloadQueue::watch(TItemStore *items)
{
    connect(items, &TItemStore::removing, this, &TDownloadQueue::forget);
    connect(items, &TItemStore::emptyingStarted, this, &TDownloadQueue::blankAll);
}

int TDownloadQueue::append(TItemId id)
{
    const int index = int(m_entries.size());
    m_entries.append(id);
    m_index.insert(id, index);
    setRemaining(m_remaining + 1);
    return index;
}

TItemId TDownloadQueue::at(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries.at(index) : kNoItem;
}

void TDownloadQueue::blank(int index)
{
    const TItemId id = at(index);
    if (id == kNoItem)
        return;
    m_entries[index] = kNoItem;
    m_index.remove(id);
    setRemaining(m_remaining - 1);
}

void TDownloadQueue::clear()
{
    m_entries.clear();
    m_index.clear();
    setRemaining(0);
    m_firstWaiting = 0;
}

void TDownloadQueue::forget(TItemId id)
{
    const auto it = m_index.constFind(id);
    if (it != m_index.constEnd())
        blank(*it);
}

void TDownloadQueue::blankAll()
{
    m_entries.fill(kNoItem);
    m_index.clear();
    setRemaining(0);
}

void TDownloadQueue::setRemaining(int remaining)
{
    if (remaining == m_remaining)
        return;
    m_remaining = remaining;
    emit remainingChanged(remaining);
}
