#include "ItemState.h"

namespace {

void show(TItemRef ref, int icon, int selectedIcon)
{
    ref.store->setIcon(ref.id, icon);
    ref.store->setSelectedIcon(ref.id, selectedIcon);
}

// The reason for a failure goes with it: any other state clears it.
void explain(TItemRef ref, const QString &reason = {})
{
    ref.store->setReason(ref.id, reason);
}

int iconOf(TItemRef ref)
{
    const TItemStore::Entry *e = ref.entry();
    return e ? e->icon : -1;
}

int stateOf(TItemRef ref)
{
    const TItemStore::Entry *e = ref.entry();
    return e ? e->state : StateNone;
}

} // namespace

namespace ItemState {

void markQueued(TItemRef ref)
{
    explain(ref);
    // The hourglass shows; the selected icon keeps "not started" until a slot takes it.
    show(ref, IconBusy, IconFileNew);
    ref.store->setState(ref.id, StateDone);
}

void markRunning(TItemRef ref)
{
    explain(ref);
    show(ref, IconBusy, IconBusy);
    ref.store->setState(ref.id, StateDone);
}

void markStored(TItemRef ref)
{
    explain(ref);
    show(ref, IconFileStored, IconFileStored);
}

void markFailed(TItemRef ref)
{
    show(ref, IconFileFailed, IconFileFailed);
}

void markFailed(TItemRef ref, const QString &reason)
{
    markFailed(ref);
    explain(ref, reason);
}

void markWaiting(TItemRef ref)
{
    explain(ref);
    ref.store->setState(ref.id, StateChecked);
    show(ref, IconFileNew, IconFileNew);
}

bool isWaiting(TItemRef ref)
{
    const TItemStore::Entry *e = ref.entry();
    return e && e->icon == IconFileNew && e->state == StateChecked && e->item && !e->item->isLink;
}

bool isQueued(TItemRef ref)
{
    const TItemStore::Entry *e = ref.entry();
    return e && e->selectedIcon == IconFileNew;
}

bool isFailed(TItemRef ref)
{
    return iconOf(ref) == IconFileFailed;
}

bool isStored(TItemRef ref)
{
    return iconOf(ref) == IconFileStored;
}

void markFetching(TItemRef ref)
{
    explain(ref);
    ref.store->setIcon(ref.id, IconBusy);
    ref.store->setState(ref.id, StateDone);
}

void markParsed(TItemRef ref)
{
    ref.store->setIcon(ref.id, IconLinkParsed);
}

void markLinkFailed(TItemRef ref, const QString &reason)
{
    ref.store->setIcon(ref.id, IconLinkFailed);
    explain(ref, reason);
}

void check(TItemRef ref)
{
    ref.store->setState(ref.id, StateChecked);
}

void uncheck(TItemRef ref)
{
    ref.store->setState(ref.id, StateUnchecked);
}

bool isChecked(TItemRef ref)
{
    return stateOf(ref) == StateChecked;
}

bool isOpen(TItemRef ref)
{
    const int state = stateOf(ref);
    return ref.entry() && (state == StateUnchecked || state == StateChecked);
}

bool isTaken(TItemRef ref)
{
    return stateOf(ref) == StateDone;
}

bool isNewLink(TItemRef ref)
{
    return iconOf(ref) == IconLinkNew;
}

bool isNewFile(TItemRef ref)
{
    return iconOf(ref) == IconFileNew;
}

bool isRoot(TItemRef ref)
{
    return iconOf(ref) == IconRoot;
}

} // namespace ItemState
