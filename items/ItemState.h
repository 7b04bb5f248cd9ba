#pragma once

#include "ItemStore.h"

#include <QString>

// One item of a store, as the runs and the tree's commands name it.
struct TItemRef
{
    TItemStore *store;
    TItemId id;

    const TItemStore::Entry *entry() const { return store->entry(id); }
    TDataRec *item() const { return store->item(id); }
};

// The steps a file or link item goes through, by name. The tree shows each
// as a pair of icons and a box state (the numbers the item list file keeps);
// these are the only places outside the tree's own commands that write them.
// An item that is gone is neither marked nor anything.
namespace ItemState {

// Files
void markQueued(TItemRef ref);  // handed out to the download queue
void markRunning(TItemRef ref); // in a transfer slot
void markStored(TItemRef ref);
void markFailed(TItemRef ref);  // failed or skipped: the caption says what happened
void markFailed(TItemRef ref, const QString &reason); // and the tooltip says why
void markWaiting(TItemRef ref); // back among the checked files, as before its run
// Checked and not yet downloaded: what a download run takes.
bool isWaiting(TItemRef ref);
// Queued and not started.
bool isQueued(TItemRef ref);
bool isFailed(TItemRef ref);
bool isStored(TItemRef ref);

// Links
void markFetching(TItemRef ref);
void markParsed(TItemRef ref);
void markLinkFailed(TItemRef ref, const QString &reason = {});

// The box: ticked, or free of any mark.
void check(TItemRef ref);
void uncheck(TItemRef ref);
bool isChecked(TItemRef ref);
// The box can still be ticked or unticked.
bool isOpen(TItemRef ref);
// A run has taken the item: its box is greyed until it is reset.
bool isTaken(TItemRef ref);
bool isNewLink(TItemRef ref);
bool isNewFile(TItemRef ref);
bool isRoot(TItemRef ref);

} // namespace ItemState
