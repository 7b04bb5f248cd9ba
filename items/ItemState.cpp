#include "ItemState.h"

namespace {

// A mark changes what it names and keeps the rest; an item that is gone is not marked.
struct TLook
{
    TreeIcon icon, selectedIcon;
    int state;
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

bool shows(TItemRef ref, TreeIcon icon)
{
    const TItemStore::Entry *e = ref.entry();
    return e && e->icon == icon;
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
    mark(ref, [](TLook &l) { l = {TreeIcon::Busy, TreeIcon::FileNew, StateDone, {}}; });
}

void markRunning(TItemRef ref)
{
    mark(ref, [](TLook &l) { l = {TreeIcon::Busy, TreeIcon::Busy, StateDone, {}}; });
}

void markStored(TItemRef ref)
{
    mark(ref, [](TLook &l) { l = {TreeIcon::FileStored, TreeIcon::FileStored, l.state, {}}; });
}

void markFailed(TItemRef ref)
{
    mark(ref, [](TLook &l) { l.icon = l.selectedIcon = TreeIcon::FileFailed; });
}

void markFailed(TItemRef ref, const QString &reason)
{
    mark(ref, [&reason](TLook &l) { l = {TreeIcon::FileFailed, TreeIcon::FileFailed, l.state, reason}; });
}

void markWaiting(TItemRef ref)
{
    mark(ref, [](TLook &l) { l = {TreeIcon::FileNew, TreeIcon::FileNew, StateChecked, {}}; });
}

bool isWaiting(TItemRef ref)
{
    const TItemStore::Entry *e = ref.entry();
    return e && e->icon == TreeIcon::FileNew && e->state == StateChecked && e->item && !e->item->isLink;
}

bool isQueued(TItemRef ref)
{
    const TItemStore::Entry *e = ref.entry();
    return e && e->selectedIcon == TreeIcon::FileNew;
}

bool isFailed(TItemRef ref)
{
    return shows(ref, TreeIcon::FileFailed);
}

bool isStored(TItemRef ref)
{
    return shows(ref, TreeIcon::FileStored);
}

void markFetching(TItemRef ref)
{
    mark(ref, [](TLook &l) { l = {TreeIcon::Busy, TreeIcon::Busy, StateDone, {}}; });
}

void markParsed(TItemRef ref)
{
    mark(ref, [](TLook &l) { l.icon = l.selectedIcon = TreeIcon::LinkParsed; });
}

void markLinkFailed(TItemRef ref, const QString &reason)
{
    mark(ref, [&reason](TLook &l) { l = {TreeIcon::LinkFailed, TreeIcon::LinkFailed, l.state, reason}; });
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
    return shows(ref, TreeIcon::LinkNew);
}

bool isNewFile(TItemRef ref)
{
    return shows(ref, TreeIcon::FileNew);
}

bool isRoot(TItemRef ref)
{
    return shows(ref, TreeIcon::Root);
}

} // namespace ItemState
