#include "TreeNode.h"

#include "ItemTree.h"

TTreeNode::TTreeNode(TItemTree *owner)
    : m_owner(owner)
{
    refreshIcon();
}

TTreeNode::~TTreeNode()
{
    m_owner->nodeDestroyed(this);
}

void TTreeNode::setItem(std::unique_ptr<TDataRec> item)
{
    m_item = std::move(item);
    m_owner->nodeItemSet(this);
}

void TTreeNode::setImageIndex(int icon)
{
    m_imageIndex = icon;
    m_selectedIndex = icon;
    refreshIcon();
}

void TTreeNode::setSelectedIndex(int icon)
{
    m_selectedIndex = icon;
    refreshIcon();
}

void TTreeNode::setStateIndex(int state)
{
    m_stateIndex = state;
    refreshIcon();
}

bool TTreeNode::isBold() const
{
    return font(0).bold();
}

void TTreeNode::setBold(bool bold)
{
    QFont f = font(0);
    f.setBold(bold);
    setFont(0, f);
}

QColor TTreeNode::color() const
{
    return foreground(0).color();
}

void TTreeNode::setColor(const QColor &color)
{
    setForeground(0, color);
}

void TTreeNode::refreshIcon()
{
    setIcon(0, m_owner->icons().compose(m_stateIndex, m_imageIndex, m_selectedIndex));
}
