#pragma once

#include "DataRec.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QObject>
#include <QVarLengthArray>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class TTreeConfig;

// An item's handle: stays the same while it lives, never reused.
using TItemId = quint32;
inline constexpr TItemId kNoItem = 0;

// Every link and file found, with what the tree shows of each, apart from
// any widget: the crawl adds to it, the runs change it, the tree window is a
// view of it. Items are addressed by id; one that is gone is simply not
// found, so a run that waited never reaches a freed item. An index by URL
// keeps the duplicate search from walking the items.
class TItemStore : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        TItemId parent = kNoItem;
        std::vector<TItemId> children;
        QString caption;
        QString reason; // why it failed; the tree's tooltip
        std::unique_ptr<TDataRec> item; // none for the two roots
        TreeIcon icon = TreeIcon::FileNew;
        TreeIcon selectedIcon = TreeIcon::FileNew; // shown while highlighted
        int state = StateUnchecked;     // the check box
        bool bold = false;
        QColor color;
        // Grows with every append and reorder, so sibling positions compare
        // without searching the parent's list.
        quint64 order = 0;
    };

    explicit TItemStore(QObject *parent = nullptr);
    ~TItemStore() override;

    void setConfig(const TTreeConfig *config) { m_config = config; }
    const TTreeConfig *config() const { return m_config; }
    QColor slotColor(int slot) const;

    // Appends a copy of the template, as a new link or file, as the last child of parent.
    TItemId addFound(TItemId parent, const TDataRec &tmpl);
    // Appends an item as it is (item list loading, roots); kNoItem as parent
    // makes a top-level item.
    TItemId append(TItemId parent, const QString &caption, std::unique_ptr<TDataRec> item, TreeIcon icon, int state,
                   bool bold, const QColor &color);

    bool contains(TItemId id) const { return m_entries.contains(id); }
    // Null when the item is gone.
    const Entry *entry(TItemId id) const;
    TDataRec *item(TItemId id) const;
    TItemId parentOf(TItemId id) const;
    const std::vector<TItemId> &children(TItemId id) const; // kNoItem: the top-level items
    int count() const { return int(m_entries.size()); }

    // Each change tells the view once.
    void setCaption(TItemId id, const QString &caption);
    void setReason(TItemId id, const QString &reason);
    void setIcon(TItemId id, TreeIcon icon); // and the highlighted icon
    // Icons, box and reason at once, the view told once: what a state mark sets.
    void setLook(TItemId id, TreeIcon icon, TreeIcon selectedIcon, int state, const QString &reason);
    void setSelectedIcon(TItemId id, TreeIcon icon);
    void setState(TItemId id, int state);
    void setBold(TItemId id, bool bold);
    void setColor(TItemId id, const QColor &color);
    // Changes an item's URL; the only way to, as the duplicate index must follow.
    void setUrl(TItemId id, const QString &url);

    // True when an item with exactly this URL comes after start's first
    // child in pre-order (start's subtree and everything after it).
    bool existsAfter(TItemId start, const QString &url) const;
    // The item after id in pre-order, kNoItem after the last.
    TItemId nextInPreOrder(TItemId id) const;
    void forEach(const std::function<void(TItemId)> &visit) const; // pre-order

    // Removes items none of which lies under another, with everything under them.
    void remove(const QList<TItemId> &tops);
    void removeChildren(TItemId id);
    // Empties the store and adds "Root links:" and "Root files:".
    void makeRoots();
    void clear();
    // A loaded top-level item that is one of the two roots takes that place.
    void adoptRoot(TItemId id);
    TItemId rootLinks() const { return m_rootLinks; }
    TItemId rootFiles() const { return m_rootFiles; }

    // Puts parent's children (kNoItem: the top-level items) in this order; the same ids.
    void reorderChildren(TItemId parent, const std::vector<TItemId> &order);

signals:
    void added(TItemId id);
    void changed(TItemId id);
    // Each item about to go, its own subtree included, while it can still be read.
    void removing(TItemId id);
    // Then once for the items asked to go, before they are erased.
    void removingTops(const QList<TItemId> &tops);
    void reordered(TItemId parent);
    // The whole store is being emptied, and is empty now.
    void emptyingStarted();
    void emptyingFinished();

private:
    Entry *find(TItemId id);
    // Pre-order over the roots and everything under them.
    void walk(const std::vector<TItemId> &roots, const std::function<void(TItemId)> &visit) const;
    template<typename T>
    void set(TItemId id, T Entry::*field, const T &value);
    std::vector<TItemId> &childList(TItemId parent);
    bool comesAfter(TItemId id, TItemId start) const;
    void unindex(TItemId id, const QString &url);
    void erase(TItemId id);

    const TTreeConfig *m_config = nullptr;
    std::unordered_map<TItemId, Entry> m_entries;
    std::vector<TItemId> m_top;
    QHash<QString, QVarLengthArray<TItemId, 1>> m_byUrl;
    TItemId m_rootLinks = kNoItem;
    TItemId m_rootFiles = kNoItem;
    TItemId m_nextId = 1;
    quint64 m_nextOrder = 1;
};
