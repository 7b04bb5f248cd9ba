#include "ItemState.h"

namespace {

// A mark changes what it names and keeps the rest; an item that is gone is not marked.
struct TLook
{
    int icon, selectedIcon, state;
    QString reason;
};

TLook lookOf(const TItemStore::Entry &e)
{
    return {e.icon, e.selectedIcon, e.state, e.reason};
}

template<typename Change>
void mark(TItemRef ref, Change change)
{
    const TItemStore::Entry *e = ref.entry();
    if (!e)
        return;
    TLook look = lookOf(*e);
    change(look);
    ref.store->setLook(ref.id, look.icon, look.selectedIcon, look.state, look.reason);
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

// The reason for a failure goes with it: any other state mark clears it.
void markQueued(TItemRef ref)
{
    // The hourglass shows; the selected icon keeps "not started" until a slot takes it.
    mark(ref, [](TLook &l) { l = {IconBusy, IconFileNew, StateDone, {}}; });
}

void markRunning(TItemRef ref)
{
    mark(ref, [](TLook &l) { l = {IconBusy, IconBusy, StateDone, {}}; });
}

void markStored(TItemRef ref)
{
    mark(ref, [](TLook &l) { l = {IconFileStored, IconFileStored, l.state, {}}; });
}

void markFailed(TItemRef ref)
{
    mark(ref, [](TLook &l) { l.icon = l.selectedIcon = IconFileFailed; });
}

void markFailed(TItemRef ref, const QString &reason)
{
    mark(ref, [&reason](TLook &l) { l = {IconFileFailed, IconFileFailed, l.state, reason}; });
}

void markWaiting(TItemRef ref)
{
    mark(ref, [](TLook &l) { l = {IconFileNew, IconFileNew, StateChecked, {}}; });
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
    mark(ref, [](TLook &l) { l = {IconBusy, IconBusy, StateDone, {}}; });
}

void markParsed(TItemRef ref)
{
    mark(ref, [](TLook &l) { l.icon = l.selectedIcon = IconLinkParsed; });
}

void markLinkFailed(TItemRef ref, const QString &reason)
{
    mark(ref, [&reason](TLook &l) { l = {IconLinkFailed, IconLinkFailed, l.state, reason}; });
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
