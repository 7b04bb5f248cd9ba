#include "TreeNode.h"

#include "ItemTree.h"

TTreeNode::TTreeNode(TItemStore *store, TItemId id)
    : m_store(store)
    , m_id(id)
{
}

void TTreeNode::refresh(TItemTree *tree)
{
    const TItemStore::Entry &e = entry();
    // Each only when it differs: a repaint is asked for by every real change.
    if (text(0) != e.caption)
        setText(0, e.caption);
    const QIcon icon = tree->icons().compose(e.state, e.icon, e.selectedIcon);
    if (icon.cacheKey() != this->icon(0).cacheKey())
        setIcon(0, icon);
    if (toolTip(0) != e.reason)
        setToolTip(0, e.reason);
    if (font(0).bold() != e.bold) {
        QFont f = font(0);
        f.setBold(e.bold);
        setFont(0, f);
    }
    if (foreground(0).color() != e.color)
        setForeground(0, e.color);
}
