#pragma once

#include "DataRec.h"

#include <QTreeWidgetItem>

#include <memory>

class TItemTree;

// One node of the item tree: caption, icon number, state index, font and
// colour, and its own item data (none for the two root nodes).
class TTreeNode : public QTreeWidgetItem
{
public:
    explicit TTreeNode(TItemTree *owner);
    ~TTreeNode() override;

    TDataRec *item() const { return m_item.get(); }
    void setItem(std::unique_ptr<TDataRec> item);

    int imageIndex() const { return m_imageIndex; }
    int selectedIndex() const { return m_selectedIndex; }
    int stateIndex() const { return m_stateIndex; }
    // Sets the icon and the icon shown while selected.
    void setImageIndex(int icon);
    void setSelectedIndex(int icon);
    void setStateIndex(int state);

    bool isBold() const;
    void setBold(bool bold);
    QColor color() const;
    void setColor(const QColor &color);

    QString caption() const { return text(0); }
    void setCaption(const QString &caption) { setText(0, caption); }

    TTreeNode *parentNode() const { return static_cast<TTreeNode *>(parent()); }
    TTreeNode *childNode(int index) const { return static_cast<TTreeNode *>(child(index)); }

    // Position among its siblings that grows with every append; kept in
    // sibling order so the duplicate index can compare tree positions.
    quint64 order() const { return m_order; }
    void setOrder(quint64 order) { m_order = order; }

private:
    void refreshIcon();

    TItemTree *m_owner;
    std::unique_ptr<TDataRec> m_item;
    int m_imageIndex = IconFileNew;
    int m_selectedIndex = IconFileNew;
    int m_stateIndex = StateUnchecked;
    quint64 m_order = 0;
};
