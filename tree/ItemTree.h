#pragma once

#include "DataRec.h"
#include "TreeIcons.h"
#include "TreeNode.h"

#include <QHash>
#include <QTreeWidget>
#include <QVarLengthArray>

#include <functional>

class TTreeConfig;

// The check-box tree that holds every link and file found. Besides the
// widget it keeps an index of the nodes by URL, so the duplicate search does
// not walk the tree.
class TItemTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit TItemTree(QWidget *parent = nullptr);
    ~TItemTree() override;

    void setConfig(const TTreeConfig *config) { m_config = config; }
    const TTreeConfig *config() const { return m_config; }

    // Appends a copy of the template as the last child of parent.
    TTreeNode *AddTreeNode(TTreeNode *parent, const TDataRec &tmpl);
    // Appends a node as it is (item list loading, root nodes). A null parent
    // makes a top-level node.
    TTreeNode *appendNode(TTreeNode *parent, const QString &caption,
                          std::unique_ptr<TDataRec> item, int icon, int state,
                          bool bold, const QColor &color);

    // What an empty tree says in its middle: how to begin, or why the last
    // page did not come.
    void setEmptyText(const QString &text);
    QString emptyText() const { return m_emptyText; }

    // Changes an item's URL; the only way to, as the duplicate index must follow.
    void setItemUrl(TTreeNode *node, const QString &url);

    // True when a node with exactly this URL comes after start's first child
    // in pre-order (start's subtree and everything after it).
    bool NodeExistInTree(const TTreeNode *start, const QString &url) const;

    // Empties the tree (hidden meanwhile) and adds "Root links:" and "Root files:".
    void MakeRootNodes();
    void emptyTree();
    // A loaded top-level node that is one of the two roots takes that place.
    void adoptRoot(TTreeNode *node);
    TTreeNode *rootLinks() const { return m_rootLinks; }
    TTreeNode *rootFiles() const { return m_rootFiles; }

    int nodeCount() const { return m_nodeCount; }
    TTreeNode *topNode(int index) const { return static_cast<TTreeNode *>(topLevelItem(index)); }
    TTreeNode *currentNode() const { return static_cast<TTreeNode *>(currentItem()); }
    QList<TTreeNode *> highlightedNodes() const;
    // Every node in pre-order.
    void forEachNode(const std::function<void(TTreeNode *)> &visit) const;

    // Paints every node with item data from the colour slots; roots keep theirs.
    void Recolor();
    QColor slotColor(int slot) const;

    // A click on a node's box: toggles it, then runs TreeViewClickCheck.
    void clickCheckBox(TTreeNode *node);
    // After the toggle: busy and finished items stay greyed.
    void TreeViewClickCheck(TTreeNode *node);
    // Renumbers the sibling order of parent's children after a reorder.
    void renumberChildren(TTreeNode *parent);

    TTreeIcons &icons() { return m_icons; }

    // Part of the node's bookkeeping; called by TTreeNode only.
    void nodeDestroyed(TTreeNode *node);
    void nodeItemSet(TTreeNode *node);

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
    bool comesAfter(const TTreeNode *node, const TTreeNode *start) const;
    void unindex(TTreeNode *node);
    void attach(TTreeNode *parent, TTreeNode *node);

    const TTreeConfig *m_config = nullptr;
    QString m_emptyText;
    TTreeIcons m_icons;
    QHash<QString, QVarLengthArray<TTreeNode *, 1>> m_byUrl;
    TTreeNode *m_rootLinks = nullptr;
    TTreeNode *m_rootFiles = nullptr;
    quint64 m_nextOrder = 1;
    int m_nodeCount = 0;
    bool m_emptying = false;
};
