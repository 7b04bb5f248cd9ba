#pragma once

#include <QObject>

class TItemTree;
class TTreeNode;

// What the runs (crawl, download) and the main window share while they work
// on the item tree: whether a run is busy, whether the user asked them to
// stop, and the nodes they work at. A node that leaves the tree is forgotten
// here at once, so a run that waited never reaches a freed node.
class TRunState : public QObject
{
    Q_OBJECT

public:
    explicit TRunState(QObject *parent = nullptr);

    // Forgets the nodes this tree removes.
    void watch(TItemTree *tree);

    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }
    bool stopRequested() const { return m_stopRequest; }
    void setStopRequest(bool stop) { m_stopRequest = stop; }

    // The tree's current node, as the main window last saw it change.
    TTreeNode *currentItem() const { return m_currentItem; }
    void setCurrentItem(TTreeNode *node) { m_currentItem = node; }
    // Where files found by a scan go.
    TTreeNode *fileParent() const { return m_fileParent; }
    void setFileParent(TTreeNode *node) { m_fileParent = node; }
    // The node "&Parse links" is at.
    TTreeNode *parseCursor() const { return m_parseCursor; }
    void setParseCursor(TTreeNode *node) { m_parseCursor = node; }

private:
    void forget(TTreeNode *node);
    void forgetAll();

    bool m_busy = false;
    bool m_stopRequest = false;
    TTreeNode *m_currentItem = nullptr;
    TTreeNode *m_fileParent = nullptr;
    TTreeNode *m_parseCursor = nullptr;
};
