#include "RunState.h"

#include "ItemTree.h"

TRunState::TRunState(QObject *parent)
    : QObject(parent)
{
}

void TRunState::watch(TItemTree *tree)
{
    connect(tree, &TItemTree::nodeRemoved, this, &TRunState::forget);
    connect(tree, &TItemTree::emptyingStarted, this, &TRunState::forgetAll);
}

void TRunState::forget(TTreeNode *node)
{
    if (m_currentItem == node)
        m_currentItem = nullptr;
    if (m_fileParent == node)
        m_fileParent = nullptr;
    if (m_parseCursor == node)
        m_parseCursor = nullptr;
}

void TRunState::forgetAll()
{
    m_currentItem = nullptr;
    m_fileParent = nullptr;
    m_parseCursor = nullptr;
}
