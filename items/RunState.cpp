#include "RunState.h"

TRunState::TRunState(QObject *parent)
    : QObject(parent)
{
}

void TRunState::watch(TItemStore *items)
{
    connect(items, &TItemStore::removing, this, &TRunState::forget);
    connect(items, &TItemStore::emptyingStarted, this, &TRunState::forgetAll);
}

void TRunState::forget(TItemId id)
{
    if (m_currentItem == id)
        m_currentItem = kNoItem;
    if (m_fileParent == id)
        m_fileParent = kNoItem;
    if (m_parseCursor == id)
        m_parseCursor = kNoItem;
}

void TRunState::forgetAll()
{
    m_currentItem = kNoItem;
    m_fileParent = kNoItem;
    m_parseCursor = kNoItem;
}
