#pragma once

#include "ItemStore.h"
#include "TreeIcons.h"
#include "TreeNode.h"

#include <QHash>
#include <QTreeWidget>

#include <functional>
#include <memory>

class TTreeConfig;

// The check-box tree that shows every link and file found: a view of the
// item store, kept in step with it. The store is handed in by the program,
// or owned by the tree when none is (tests, benchmarks).
class TItemTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit TItemTree(QWidget *parent = nullptr);
    explicit TItemTree(TItemStore *store, QWidget *parent = nullptr);
    ~TItemTree() override;

    TItemStore *store() const { return m_store; }
    void setConfig(const TTreeConfig *config);
    const TTreeConfig *config() const { return m_store->config(); }

    // The row of an item; null when it is gone.
    TTreeNode *nodeOf(TItemId id) const { return m_nodes.value(id); }

    // Appends a copy of the template as the last child of parent.
    TTreeNode *AddTreeNode(TTreeNode *parent, const TDataRec &tmpl);
    // Appends a node as it is (item list loading, root nodes). A null parent
    // makes a top-level node.
    TTreeNode *appendNode(TTreeNode *parent, const QString &caption,
                          std::unique_ptr<TDataRec> item, TreeIcon icon, int state,
                          bool bold, const QColor &color);

    // What an empty tree says in its middle: how to begin, or why the last
    // page did not come.
    void setEmptyText(const QString &text);
    QString emptyText() const { return m_emptyText; }

    // Changes an item's URL; the only way to, as the duplicate index must follow.
    void setItemUrl(TTreeNode *node, const QString &url) { m_store->setUrl(node->id(), url); }

    // True when a node with exactly this URL comes after start's first child
    // in pre-order (start's subtree and everything after it).
    bool NodeExistInTree(const TTreeNode *start, const QString &url) const;

    // Empties the tree (hidden meanwhile) and adds "Root links:" and "Root files:".
    void MakeRootNodes() { m_store->makeRoots(); }
    void emptyTree() { m_store->clear(); }
    // A loaded top-level node that is one of the two roots takes that place.
    void adoptRoot(TTreeNode *node) { m_store->adoptRoot(node->id()); }
    TTreeNode *rootLinks() const { return nodeOf(m_store->rootLinks()); }
    TTreeNode *rootFiles() const { return nodeOf(m_store->rootFiles()); }

    int nodeCount() const { return m_store->count(); }
    TTreeNode *topNode(int index) const { return static_cast<TTreeNode *>(topLevelItem(index)); }
    TTreeNode *currentNode() const { return static_cast<TTreeNode *>(currentItem()); }
    QList<TTreeNode *> highlightedNodes() const;
    // Every node in pre-order.
    void forEachNode(const std::function<void(TTreeNode *)> &visit) const;
    // Deletes nodes none of which lies under another, with their subtrees.
    void deleteNodes(const QList<TTreeNode *> &nodes);

    // Paints every node with item data from the colour slots; roots keep theirs.
    void Recolor();
    QColor slotColor(int slot) const { return m_store->slotColor(slot); }

    // A click on a node's box: toggles it, then runs TreeViewClickCheck.
    void clickCheckBox(TTreeNode *node);
    // After the toggle: busy and finished items stay greyed.
    void TreeViewClickCheck(TTreeNode *node);

    TTreeIcons &icons() { return m_icons; }

    // The check box area of a node in viewport coordinates.
    QRect checkRect(TTreeNode *node) const;

signals:
    void checkClicked(TTreeNode *node);
    // A node is being deleted on its own (not while the whole tree is emptied).
    void nodeRemoved(TTreeNode *node);
    // The whole tree is being emptied (it is hidden meanwhile), and is empty now.
    void emptyingStarted();
    void emptyingFinished();
    void spacePressed();
    void enterPressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void follow(TItemStore *store);
    void itemAdded(TItemId id);
    void itemChanged(TItemId id);
    void itemRemoving(TItemId id);
    void itemsRemoved(const QList<TItemId> &tops);
    void childrenReordered(TItemId parent);
    // Parent's rows (null: the top level) become these, which are among them now.
    void setChildren(QTreeWidgetItem *parent, const QList<QTreeWidgetItem *> &children);
    void storeEmptying();
    void storeEmptied();

    std::unique_ptr<TItemStore> m_ownStore;
    TItemStore *m_store = nullptr;
    QHash<TItemId, TTreeNode *> m_nodes;
    QHash<TItemId, TTreeNode *> m_leaving; // between an item's removal and its erasure
    QString m_emptyText;
    TTreeIcons m_icons;
    bool m_wasVisible = false;
};
