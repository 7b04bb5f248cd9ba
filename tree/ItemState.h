#pragma once

#include <QString>

class TTreeNode;

// The steps a file or link item goes through, by name. The tree shows each
// as a pair of icons and a box state (the numbers the item list file keeps);
// these are the only places outside the tree's own commands that write them.
namespace ItemState {

// Files
void markQueued(TTreeNode *node);  // handed out to the download queue
void markRunning(TTreeNode *node); // in a transfer slot
void markStored(TTreeNode *node);
void markFailed(TTreeNode *node);  // failed or skipped: the caption says what happened
void markFailed(TTreeNode *node, const QString &reason); // and the tooltip says why
void markWaiting(TTreeNode *node); // back among the checked files, as before its run
// Checked and not yet downloaded: what a download run takes.
bool isWaiting(const TTreeNode *node);
// Queued and not started.
bool isQueued(const TTreeNode *node);
bool isFailed(const TTreeNode *node);
bool isStored(const TTreeNode *node);

// Links
void markFetching(TTreeNode *node);
void markParsed(TTreeNode *node);
void markLinkFailed(TTreeNode *node, const QString &reason = {});

// The box: ticked, or free of any mark.
void check(TTreeNode *node);
void uncheck(TTreeNode *node);
bool isChecked(const TTreeNode *node);
// The box can still be ticked or unticked.
bool isOpen(const TTreeNode *node);
// A run has taken the item: its box is greyed until it is reset.
bool isTaken(const TTreeNode *node);
bool isNewLink(const TTreeNode *node);
bool isNewFile(const TTreeNode *node);
bool isRoot(const TTreeNode *node);

} // namespace ItemState
