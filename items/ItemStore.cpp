#include "ItemStore.h"

#include "Extension.h"
#include "TreeConfig.h"

#include <QSet>

#include <algorithm>

namespace {

const std::vector<TItemId> kNone;

} // namespace

TItemStore::TItemStore(QObject *parent)
    : QObject(parent)
{
}

TItemStore::~TItemStore() = default;

QColor TItemStore::slotColor(int slot) const
{
    return m_config ? m_config->color(slot) : QColor(Qt::black);
}

TItemId TItemStore::addFound(TItemId parent, const TDataRec &tmpl)
{
    auto item = std::make_unique<TDataRec>(tmpl);
    item->viewed = false;
    if (item->isLink) {
        const QString caption = item->url;
        return append(parent, caption, std::move(item), TreeIcon::LinkNew, StateUnchecked, true, slotColor(ColorLink));
    }
    int state = StateUnchecked;
    if (m_config && m_config->autoSelectEnabled()) {
        const QString ext = ExtensionOf(item->name);
        if (!ext.isEmpty() && AsciiUpper(m_config->autoSelectFileTypes()).contains(ext))
            state = StateChecked;
    }
    const QString caption = FileCaption(*item);
    return append(parent, caption, std::move(item), TreeIcon::FileNew, state, false, slotColor(ColorFile));
}

TItemId TItemStore::append(TItemId parent, const QString &caption, std::unique_ptr<TDataRec> item, TreeIcon icon,
                           int state, bool bold, const QColor &color)
{
    if (parent != kNoItem && !contains(parent))
        return kNoItem;
    const TItemId id = m_nextId++;
    Entry &e = m_entries[id];
    e.parent = parent;
    e.caption = caption;
    e.icon = e.selectedIcon = icon;
    e.state = state;
    e.bold = bold;
    e.color = color;
    e.order = m_nextOrder++;
    if (item) {
        m_byUrl[item->url].append(id);
        e.item = std::move(item);
    }
    childList(parent).push_back(id);
    emit added(id);
    return id;
}

const TItemStore::Entry *TItemStore::entry(TItemId id) const
{
    const auto it = m_entries.find(id);
    return it == m_entries.end() ? nullptr : &it->second;
}

TItemStore::Entry *TItemStore::find(TItemId id)
{
    const auto it = m_entries.find(id);
    return it == m_entries.end() ? nullptr : &it->second;
}

TDataRec *TItemStore::item(TItemId id) const
{
    const Entry *e = entry(id);
    return e ? e->item.get() : nullptr;
}

TItemId TItemStore::parentOf(TItemId id) const
{
    const Entry *e = entry(id);
    return e ? e->parent : kNoItem;
}

const std::vector<TItemId> &TItemStore::children(TItemId id) const
{
    if (id == kNoItem)
        return m_top;
    const Entry *e = entry(id);
    return e ? e->children : kNone;
}

std::vector<TItemId> &TItemStore::childList(TItemId parent)
{
    return parent == kNoItem ? m_top : m_entries[parent].children;
}

// Setters tell the view only of a real change: most marks repeat what is there.
template<typename T>
void TItemStore::set(TItemId id, T Entry::*field, const T &value)
{
    Entry *e = find(id);
    if (!e || e->*field == value)
        return;
    e->*field = value;
    emit changed(id);
}

void TItemStore::setCaption(TItemId id, const QString &caption) { set(id, &Entry::caption, caption); }
void TItemStore::setReason(TItemId id, const QString &reason) { set(id, &Entry::reason, reason); }
void TItemStore::setSelectedIcon(TItemId id, TreeIcon icon) { set(id, &Entry::selectedIcon, icon); }
void TItemStore::setState(TItemId id, int state) { set(id, &Entry::state, state); }
void TItemStore::setBold(TItemId id, bool bold) { set(id, &Entry::bold, bold); }
void TItemStore::setColor(TItemId id, const QColor &color) { set(id, &Entry::color, color); }

void TItemStore::setIcon(TItemId id, TreeIcon icon)
{
    Entry *e = find(id);
    if (!e || (e->icon == icon && e->selectedIcon == icon))
        return;
    e->icon = e->selectedIcon = icon;
    emit changed(id);
}

void TItemStore::setLook(TItemId id, TreeIcon icon, TreeIcon selectedIcon, int state, const QString &reason)
{
    Entry *e = find(id);
    if (!e || (e->icon == icon && e->selectedIcon == selectedIcon && e->state == state && e->reason == reason))
        return;
    e->icon = icon;
    e->selectedIcon = selectedIcon;
    e->state = state;
    e->reason = reason;
    emit changed(id);
}

void TItemStore::setUrl(TItemId id, const QString &url)
{
    Entry *e = find(id);
    if (!e || !e->item || e->item->url == url)
        return;
    unindex(id, e->item->url);
    e->item->url = url;
    m_byUrl[url].append(id);
}

void TItemStore::unindex(TItemId id, const QString &url)
{
    auto it = m_byUrl.find(url);
    if (it == m_byUrl.end())
        return;
    auto &ids = it.value();
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (ids[i] == id) {
            ids.remove(i);
            break;
        }
    }
    if (ids.isEmpty())
        m_byUrl.erase(it);
}

bool TItemStore::comesAfter(TItemId id, TItemId start) const
{
    if (id == start)
        return false;
    // The two paths from the top, compared where they part.
    auto pathOf = [this](TItemId at) {
        std::vector<TItemId> path;
        for (; at != kNoItem; at = parentOf(at))
            path.push_back(at);
        std::reverse(path.begin(), path.end());
        return path;
    };
    const auto a = pathOf(id);
    const auto b = pathOf(start);
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    if (i == b.size())
        return true; // inside start's subtree
    if (i == a.size())
        return false; // an ancestor of start
    return entry(a[i])->order > entry(b[i])->order;
}

bool TItemStore::existsAfter(TItemId start, const QString &url) const
{
    if (start == kNoItem || children(start).empty())
        return false;
    const auto it = m_byUrl.constFind(url);
    if (it == m_byUrl.constEnd())
        return false;
    return std::any_of(it.value().cbegin(), it.value().cend(), [&](TItemId id) { return comesAfter(id, start); });
}

TItemId TItemStore::nextInPreOrder(TItemId id) const
{
    const Entry *e = entry(id);
    if (!e)
        return kNoItem;
    if (!e->children.empty())
        return e->children.front();
    for (TItemId at = id; at != kNoItem; at = parentOf(at)) {
        // Siblings lie in the order of their numbers: found by halving, not by walking.
        const auto &siblings = children(parentOf(at));
        const quint64 order = entry(at)->order;
        const auto it = std::upper_bound(siblings.begin(), siblings.end(), order,
                                         [this](quint64 o, TItemId sibling) { return o < entry(sibling)->order; });
        if (it != siblings.end())
            return *it;
    }
    return kNoItem;
}

void TItemStore::forEach(const std::function<void(TItemId)> &visit) const
{
    walk(m_top, visit);
}

void TItemStore::walk(const std::vector<TItemId> &roots, const std::function<void(TItemId)> &visit) const
{
    std::vector<TItemId> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        const TItemId id = stack.back();
        stack.pop_back();
        visit(id);
        const auto &kids = children(id);
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
}

void TItemStore::remove(const QList<TItemId> &tops)
{
    QList<TItemId> present;
    for (TItemId id : tops) {
        if (contains(id))
            present << id;
    }
    if (present.isEmpty())
        return;
    walk(std::vector<TItemId>(present.cbegin(), present.cend()), [this](TItemId id) { emit removing(id); });
    emit removingTops(present);
    // A parent losing many children has its list rebuilt once.
    QHash<TItemId, QSet<TItemId>> byParent;
    for (TItemId id : std::as_const(present))
        byParent[parentOf(id)].insert(id);
    for (auto it = byParent.cbegin(); it != byParent.cend(); ++it) {
        auto &list = childList(it.key());
        const QSet<TItemId> &doomed = it.value();
        list.erase(std::remove_if(list.begin(), list.end(), [&doomed](TItemId id) { return doomed.contains(id); }),
                   list.end());
    }
    for (TItemId id : std::as_const(present))
        erase(id);
}

void TItemStore::erase(TItemId id)
{
    std::vector<TItemId> stack{id};
    while (!stack.empty()) {
        const auto it = m_entries.find(stack.back());
        stack.pop_back();
        if (it == m_entries.end())
            continue;
        stack.insert(stack.end(), it->second.children.begin(), it->second.children.end());
        if (it->second.item)
            unindex(it->first, it->second.item->url);
        if (it->first == m_rootLinks)
            m_rootLinks = kNoItem;
        if (it->first == m_rootFiles)
            m_rootFiles = kNoItem;
        m_entries.erase(it);
    }
}

void TItemStore::removeChildren(TItemId id)
{
    const auto &kids = children(id);
    remove(QList<TItemId>(kids.begin(), kids.end()));
}

void TItemStore::clear()
{
    emit emptyingStarted();
    m_entries.clear();
    m_top.clear();
    m_byUrl.clear();
    m_rootLinks = m_rootFiles = kNoItem;
    emit emptyingFinished();
}

void TItemStore::makeRoots()
{
    clear();
    const QColor maroon(128, 0, 0);
    m_rootLinks = append(kNoItem, kRootLinksCaption, nullptr, TreeIcon::Root, StateNone, true, maroon);
    m_rootFiles = append(kNoItem, kRootFilesCaption, nullptr, TreeIcon::Root, StateNone, true, maroon);
}

void TItemStore::adoptRoot(TItemId id)
{
    const Entry *e = entry(id);
    if (!e || e->parent != kNoItem || e->icon != TreeIcon::Root)
        return;
    if (e->caption == kRootLinksCaption && m_rootLinks == kNoItem)
        m_rootLinks = id;
    else if (e->caption == kRootFilesCaption && m_rootFiles == kNoItem)
        m_rootFiles = id;
}

void TItemStore::reorderChildren(TItemId parent, const std::vector<TItemId> &order)
{
    auto &list = childList(parent);
    if (order.size() != list.size())
        return;
    list = order;
    for (TItemId id : list)
        m_entries[id].order = m_nextOrder++; // the duplicate search compares by this
    emit reordered(parent);
}
