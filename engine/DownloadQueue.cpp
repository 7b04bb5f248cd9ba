#include "DownloadQueue.h"

#include "ItemTree.h"

TDownloadQueue::TDownloadQueue(QObject *parent)
    : QObject(parent)
{
}

void TDownloadQueue::watch(TItemTree *tree)
{
    connect(tree, &TItemTree::nodeRemoved, this, &TDownloadQueue::forget);
    connect(tree, &TItemTree::emptyingStarted, this, &TDownloadQueue::blankAll);
}

int TDownloadQueue::append(TTreeNode *node)
{
    const int index = int(m_entries.size());
    m_entries.append(node);
    m_index.insert(node, index);
    setRemaining(m_remaining + 1);
    return index;
}

TTreeNode *TDownloadQueue::at(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries.at(index) : nullptr;
}

void TDownloadQueue::blank(int index)
{
    TTreeNode *node = at(index);
    if (!node)
        return;
    m_entries[index] = nullptr;
    m_index.remove(node);
    setRemaining(m_remaining - 1);
}

void TDownloadQueue::clear()
{
    m_entries.clear();
    m_index.clear();
    setRemaining(0);
    m_firstWaiting = 0;
}

void TDownloadQueue::forget(TTreeNode *node)
{
    const auto it = m_index.constFind(node);
    if (it != m_index.constEnd())
        blank(*it);
}

void TDownloadQueue::blankAll()
{
    m_entries.fill(nullptr);
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
