#pragma once

#include "ItemStore.h"

#include <QList>
#include <QString>

class TItemTree;
class TTreeNode;

// The commands of the tree's context menu that act on many items at once.
// Each keeps the tree's duplicate index true.
namespace TreeCommands {

// Ticks or unticks every highlighted new file or new link.
void ToggleHighlighted(TItemTree *tree);
// Unticks every ticked node but the roots.
void UncheckAll(TItemTree *tree);
// Ticks the new files of a kind (1 file, 2 thumbnail) among the branch's direct children.
void CheckKindInBranch(TTreeNode *branch, int kind);
// The highlighted nodes that have no highlighted ancestor, in pre-order: each
// goes with its descendants, so none is deleted twice.
QList<TTreeNode *> TopMostHighlighted(const TItemTree *tree);
// Deletes the highlighted nodes. With deleteFiles, also the file each
// highlighted item itself names, when that file lies inside the download
// directory; a path that leads elsewhere is left alone. The files removed.
QStringList DeleteHighlighted(TItemTree *tree, bool deleteFiles, const QString &downloadDir);
// Makes the highlighted items new again: links lose what was found under them.
void ResetHighlighted(TItemTree *tree);
// Failed files lose their failure and are ticked for the next run. The count.
int RetryFailed(TItemTree *tree);
// The files the size limits skipped, waiting again and ticked, their next
// transfer free of the limits (which stay as they are); how many.
int RetrySkipped(TItemTree *tree);
// The URLs of the ticked files, or of every file when none is ticked, in tree order.
QStringList FileUrlsToExport(const TItemTree *tree);
// The URLs of the highlighted items, in tree order.
QStringList HighlightedUrls(const TItemTree *tree);
// What "Check size" asks about: the highlighted new files; else the ticked
// ones; else the new files directly under a highlighted branch.
QList<TItemId> FilesToCheck(const TItemTree *tree);
// The new files no size check has seen yet, in tree order.
QList<TItemId> FilesNotChecked(const TItemTree *tree);
// Ticks the new files a size check found at least width x height pixels
// large. The number ticked.
int SelectAtLeast(TItemTree *tree, int width, int height);
// Sorts every node's children and the top-level nodes by caption, in the
// order of the user's language.
void SortAll(TItemTree *tree);

struct TKeywordSearch
{
    QString keyword;
    bool wholeTree = false; // else the current item's direct children
    bool links = true;
    bool files = true;
    bool check = true;      // found items are checked, else unchecked
    bool caseSensitive = false;
};
// Checks or unchecks the new links and files whose caption holds the
// keyword; the number checked, or minus the number unchecked.
int KeywordSearch(TItemTree *tree, TTreeNode *current, const TKeywordSearch &search);

} // namespace TreeCommands
