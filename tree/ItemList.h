#pragma once

#include "ItemListFile.h"

#include <QMetaObject>
#include <QString>

#include <functional>

class TItemTree;
class TRunState;
class TTreeNode;

// Between the item tree and the item list file: a node as a record, and
// records placed back as nodes.
namespace ItemList {

// The record of a node at its depth (0 for a top-level node).
TItemRecord recordOf(const TTreeNode *node, int level);

// Writes every node of the tree, in pre-order, through a temporary file
// renamed into place: a failed save leaves the previous list as it was.
// False with the reason when it could not be written.
bool save(const TItemTree &tree, const QString &path, QString *error);

// Empties the tree and fills it from the file, letting window events run on
// a time slice; it ends early when the run's busy flag is cleared ("&Stop").
// Records without a parent are skipped. False with the reason when the file
// could not be read or ends in a short record; the nodes loaded stay.
bool load(TItemTree *tree, const QString &path, const TRunState &run, QString *error);

// Whether the list in the file names an item (by its URL) that the tree
// does not hold: replacing it would lose that item.
bool holdsItemsMissingFrom(const TItemTree &tree, const QString &path);

} // namespace ItemList

// Places records into a tree in the order the file holds them, keeping the
// most recent node of each level 0 to 50 as the parent of the next level.
class TItemListBuilder
{
public:
    explicit TItemListBuilder(TItemTree *tree);
    ~TItemListBuilder();
    TItemListBuilder(const TItemListBuilder &) = delete;
    TItemListBuilder &operator=(const TItemListBuilder &) = delete;

    // The new node, or null when the record has no parent in the tree (a level
    // below 0, above 50, or more than one deeper than the record before).
    TTreeNode *add(const TItemRecord &record);

private:
    TItemTree *m_tree;
    TTreeNode *m_levels[ItemListFile::kMaxLevel + 1] = {};
    int m_lastLevel = -1;
    QMetaObject::Connection m_removed;
    QMetaObject::Connection m_emptied;
};
