#pragma once

#include "ItemState.h"

#include <QTreeWidgetItem>

class TItemTree;

// One row of the item tree: the view of one item of the store. What it
// shows (caption, icons, box, font, colour, tooltip) is the store's; its
// setters change the store, which tells the tree to show the change.
class TTreeNode : public QTreeWidgetItem
{
public:
    TTreeNode(TItemStore *store, TItemId id);

    TItemId id() const { return m_id; }
    TItemRef ref() const { return {m_store, m_id}; }
    TDataRec *item() const { return m_store->item(m_id); }

    TreeIcon imageIndex() const { return entry().icon; }
    TreeIcon selectedIndex() const { return entry().selectedIcon; }
    int stateIndex() const { return entry().state; }
    // Sets the icon and the icon shown while selected.
    void setImageIndex(TreeIcon icon) { m_store->setIcon(m_id, icon); }
    void setSelectedIndex(TreeIcon icon) { m_store->setSelectedIcon(m_id, icon); }
    void setStateIndex(int state) { m_store->setState(m_id, state); }

    bool isBold() const { return entry().bold; }
    void setBold(bool bold) { m_store->setBold(m_id, bold); }
    QColor color() const { return entry().color; }
    void setColor(const QColor &color) { m_store->setColor(m_id, color); }
    QString caption() const { return entry().caption; }
    void setCaption(const QString &caption) { m_store->setCaption(m_id, caption); }
    QString reason() const { return entry().reason; }
    void setReason(const QString &reason) { m_store->setReason(m_id, reason); }

    TTreeNode *parentNode() const { return static_cast<TTreeNode *>(parent()); }
    TTreeNode *childNode(int index) const { return static_cast<TTreeNode *>(child(index)); }

    // Shows what the store holds for the item.
    void refresh(TItemTree *tree);

private:
    const TItemStore::Entry &entry() const { return *m_store->entry(m_id); }

    TItemStore *m_store;
    TItemId m_id;
};
