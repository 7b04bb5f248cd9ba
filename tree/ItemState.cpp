#include "ItemState.h"

#include "DataRec.h"
#include "TreeNode.h"

namespace {

void show(TTreeNode *node, int icon, int selectedIcon)
{
    node->setImageIndex(icon);
    node->setSelectedIndex(selectedIcon);
}

// The reason for a failure goes with it: any other state clears it.
void explain(TTreeNode *node, const QString &reason = {})
{
    if (reason != node->toolTip(0)) // no change, no repaint: most items never had one
        node->setToolTip(0, reason);
}

} // namespace

namespace ItemState {

void markQueued(TTreeNode *node)
{
    explain(node);
    // The hourglass shows; the selected icon keeps "not started" until a slot takes it.
    show(node, IconBusy, IconFileNew);
    node->setStateIndex(StateDone);
}

void markRunning(TTreeNode *node)
{
    explain(node);
    show(node, IconBusy, IconBusy);
    node->setStateIndex(StateDone);
}

void markStored(TTreeNode *node)
{
    explain(node);
    show(node, IconFileStored, IconFileStored);
}

void markFailed(TTreeNode *node)
{
    show(node, IconFileFailed, IconFileFailed);
}

void markFailed(TTreeNode *node, const QString &reason)
{
    markFailed(node);
    explain(node, reason);
}

void markWaiting(TTreeNode *node)
{
    explain(node);
    node->setStateIndex(StateChecked);
    show(node, IconFileNew, IconFileNew);
}

bool isWaiting(const TTreeNode *node)
{
    return node->imageIndex() == IconFileNew && node->stateIndex() == StateChecked && node->item()
           && !node->item()->isLink;
}

bool isQueued(const TTreeNode *node)
{
    return node->selectedIndex() == IconFileNew;
}

bool isFailed(const TTreeNode *node)
{
    return node->imageIndex() == IconFileFailed;
}

bool isStored(const TTreeNode *node)
{
    return node->imageIndex() == IconFileStored;
}

void markFetching(TTreeNode *node)
{
    explain(node);
    node->setImageIndex(IconBusy);
    node->setStateIndex(StateDone);
}

void markParsed(TTreeNode *node)
{
    node->setImageIndex(IconLinkParsed);
}

void markLinkFailed(TTreeNode *node, const QString &reason)
{
    node->setImageIndex(IconLinkFailed);
    explain(node, reason);
}

void check(TTreeNode *node)
{
    node->setStateIndex(StateChecked);
}

void uncheck(TTreeNode *node)
{
    node->setStateIndex(StateUnchecked);
}

bool isChecked(const TTreeNode *node)
{
    return node->stateIndex() == StateChecked;
}

bool isOpen(const TTreeNode *node)
{
    return node->stateIndex() == StateUnchecked || node->stateIndex() == StateChecked;
}

bool isTaken(const TTreeNode *node)
{
    return node->stateIndex() == StateDone;
}

bool isNewLink(const TTreeNode *node)
{
    return node->imageIndex() == IconLinkNew;
}

bool isNewFile(const TTreeNode *node)
{
    return node->imageIndex() == IconFileNew;
}

bool isRoot(const TTreeNode *node)
{
    return node->imageIndex() == IconRoot;
}

} // namespace ItemState
