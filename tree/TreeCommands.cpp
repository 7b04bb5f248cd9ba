#include "TreeCommands.h"

#include "EventSlice.h"
#include "Extension.h"
#include "ItemState.h"
#include "ItemTree.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

bool insideDirectory(const QString &path, const QString &directory)
{
    const QString dir = QFileInfo(directory).canonicalFilePath();
    const QString file = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    if (dir.isEmpty() || file.isEmpty())
        return false;
    return file == dir || file.startsWith(dir + QLatin1Char('/'));
}

// Items taken out of the tree forget whether they were expanded: what was
// open under these items, to be opened again once they are back.
QList<QTreeWidgetItem *> expandedUnder(const QList<QTreeWidgetItem *> &items)
{
    QList<QTreeWidgetItem *> open;
    QList<QTreeWidgetItem *> pending = items;
    while (!pending.isEmpty()) {
        QTreeWidgetItem *item = pending.takeLast();
        if (item->childCount() == 0)
            continue;
        if (item->isExpanded())
            open << item;
        for (int i = 0; i < item->childCount(); ++i)
            pending << item->child(i);
    }
    return open;
}

void expandAgain(const QList<QTreeWidgetItem *> &open)
{
    for (QTreeWidgetItem *item : open)
        item->setExpanded(true);
}

void sortChildren(TItemTree *tree, TTreeNode *parent, const QCollator &collator)
{
    QList<QTreeWidgetItem *> children = parent ? parent->takeChildren() : QList<QTreeWidgetItem *>();
    if (!parent) {
        while (tree->topLevelItemCount() > 0)
            children << tree->takeTopLevelItem(0);
    }
    // Each caption's sort key once, not two captions compared afresh each time.
    std::vector<std::pair<QCollatorSortKey, QTreeWidgetItem *>> keyed;
    keyed.reserve(size_t(children.size()));
    // The roots stay first, in their order: only what lies beside them is sorted.
    const auto roots = std::stable_partition(children.begin(), children.end(), [](QTreeWidgetItem *child) {
        return static_cast<TTreeNode *>(child)->imageIndex() == IconRoot;
    });
    for (auto it = roots; it != children.end(); ++it)
        keyed.emplace_back(collator.sortKey((*it)->text(0)), *it);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first.compare(b.first) < 0; });
    const qsizetype first = roots - children.begin();
    for (qsizetype i = first; i < children.size(); ++i)
        children[i] = keyed[size_t(i - first)].second;
    if (parent)
        parent->addChildren(children);
    else
        tree->addTopLevelItems(children);
    tree->renumberChildren(parent); // the duplicate index compares by this order
}

// Deletes nodes none of which lies under another. Taking one child out of a
// long list of siblings moves the rest, so a parent that loses many children
// has its list rebuilt once instead.
void deleteNodes(TItemTree *tree, const QList<TTreeNode *> &nodes)
{
    constexpr int kRebuildFrom = 32;
    QHash<QTreeWidgetItem *, QSet<QTreeWidgetItem *>> byParent;
    for (TTreeNode *node : nodes)
        byParent[node->parent()].insert(node);
    tree->setUpdatesEnabled(false);
    for (auto it = byParent.cbegin(); it != byParent.cend(); ++it) {
        QTreeWidgetItem *parent = it.key();
        const QSet<QTreeWidgetItem *> &doomed = it.value();
        if (doomed.size() < kRebuildFrom) {
            qDeleteAll(doomed);
            continue;
        }
        QList<QTreeWidgetItem *> staying;
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < count; ++i) {
            QTreeWidgetItem *child = parent ? parent->child(i) : tree->topLevelItem(i);
            if (!doomed.contains(child))
                staying << child;
        }
        const QList<QTreeWidgetItem *> open = expandedUnder(staying);
        QList<QTreeWidgetItem *> children = parent ? parent->takeChildren() : QList<QTreeWidgetItem *>();
        if (!parent) {
            while (tree->topLevelItemCount() > 0)
                children << tree->takeTopLevelItem(tree->topLevelItemCount() - 1);
            std::reverse(children.begin(), children.end());
        }
        QList<QTreeWidgetItem *> kept;
        kept.reserve(children.size());
        for (QTreeWidgetItem *child : std::as_const(children)) {
            if (!doomed.contains(child))
                kept << child;
        }
        // Kept in their order, so the duplicate index's sibling numbers stay true.
        if (parent)
            parent->addChildren(kept);
        else
            tree->addTopLevelItems(kept);
        expandAgain(open);
        qDeleteAll(doomed);
    }
    tree->setUpdatesEnabled(true);
}

} // namespace

void TreeCommands::ToggleHighlighted(TItemTree *tree)
{
    for (TTreeNode *node : tree->highlightedNodes()) {
        const int icon = node->imageIndex();
        if (icon != IconFileNew && icon != IconLinkNew)
            continue;
        if (node->stateIndex() == StateUnchecked)
            node->setStateIndex(StateChecked);
        else if (node->stateIndex() == StateChecked)
            node->setStateIndex(StateUnchecked);
    }
}

void TreeCommands::UncheckAll(TItemTree *tree)
{
    tree->forEachNode([](TTreeNode *node) {
        if (node->imageIndex() != IconRoot && node->stateIndex() == StateChecked)
            node->setStateIndex(StateUnchecked);
    });
}

void TreeCommands::CheckKindInBranch(TTreeNode *branch, int kind)
{
    for (int i = 0; i < branch->childCount(); ++i) {
        TTreeNode *child = branch->childNode(i);
        const TDataRec *item = child->item();
        if (item && !item->isLink && item->kind == kind && child->imageIndex() == IconFileNew)
            child->setStateIndex(StateChecked);
    }
}

QList<TTreeNode *> TreeCommands::TopMostHighlighted(const TItemTree *tree)
{
    const QList<TTreeNode *> highlighted = tree->highlightedNodes();
    const QSet<TTreeNode *> chosen(highlighted.cbegin(), highlighted.cend());
    QList<TTreeNode *> topMost;
    tree->forEachNode([&](TTreeNode *node) {
        if (!chosen.contains(node))
            return;
        for (TTreeNode *p = node->parentNode(); p; p = p->parentNode()) {
            if (chosen.contains(p))
                return;
        }
        topMost << node;
    });
    return topMost;
}

QStringList TreeCommands::DeleteHighlighted(TItemTree *tree, bool deleteFiles, const QString &downloadDir)
{
    QStringList removed;
    if (deleteFiles) {
        tree->forEachNode([&](TTreeNode *node) {
            const TDataRec *item = node->item();
            if (!node->isSelected() || !item || item->localPath.isEmpty())
                return;
            if (insideDirectory(item->localPath, downloadDir) && QFileInfo(item->localPath).isFile()
                && QFile::remove(item->localPath))
                removed << item->localPath;
        });
    }
    deleteNodes(tree, TopMostHighlighted(tree));
    return removed;
}

void TreeCommands::ResetHighlighted(TItemTree *tree)
{
    QList<TTreeNode *> chosen;
    tree->forEachNode([&chosen](TTreeNode *node) {
        if (node->isSelected() && node->item())
            chosen << node;
    });
    // Children of a reset link go; a chosen node among them goes with them.
    QSet<TTreeNode *> gone;
    const auto removed = QObject::connect(tree, &TItemTree::nodeRemoved, tree, [&gone](TTreeNode *n) { gone << n; });
    for (TTreeNode *node : std::as_const(chosen)) {
        if (gone.contains(node))
            continue;
        TDataRec *item = node->item();
        if (item->isLink) {
            node->setImageIndex(IconLinkNew);
            node->setSelectedIndex(IconLinkNew);
            node->setStateIndex(StateUnchecked);
            node->setToolTip(0, {});
            qDeleteAll(node->takeChildren());
        } else {
            node->setImageIndex(IconFileNew);
            node->setSelectedIndex(IconFileNew);
            node->setStateIndex(StateUnchecked);
            item->viewed = false;
            item->forgetSize();
            node->setCaption(FileCaption(*item));
            node->setToolTip(0, {});
        }
    }
    QObject::disconnect(removed);
}

int TreeCommands::RetryFailed(TItemTree *tree)
{
    int count = 0;
    tree->forEachNode([&count](TTreeNode *node) {
        TDataRec *item = node->item();
        if (!item || item->isLink || !ItemState::isFailed(node))
            return;
        item->forgetSize();
        node->setCaption(FileCaption(*item));
        ItemState::markWaiting(node);
        ++count;
    });
    return count;
}

int TreeCommands::RetrySkipped(TItemTree *tree)
{
    int count = 0;
    tree->forEachNode([&count](TTreeNode *node) {
        TDataRec *item = node->item();
        if (!item || item->isLink || !ItemState::isFailed(node) || !node->caption().contains(QLatin1String("(Skipped - Size")))
            return;
        item->forgetSize();
        item->ignoreLimits = true;
        node->setCaption(FileCaption(*item));
        ItemState::markWaiting(node);
        ++count;
    });
    return count;
}

namespace {

bool newFile(const TTreeNode *node)
{
    return node->item() && !node->item()->isLink && ItemState::isNewFile(node) && ItemState::isOpen(node);
}

} // namespace

QList<TTreeNode *> TreeCommands::FilesToCheck(const TItemTree *tree)
{
    QList<TTreeNode *> highlighted, ticked, inBranch;
    tree->forEachNode([&](TTreeNode *node) {
        if (!newFile(node))
            return;
        if (node->isSelected())
            highlighted << node;
        else if (ItemState::isChecked(node))
            ticked << node;
        else if (node->parent() && node->parent()->isSelected())
            inBranch << node;
    });
    if (!highlighted.isEmpty())
        return highlighted;
    return !ticked.isEmpty() ? ticked : inBranch;
}

QList<TTreeNode *> TreeCommands::FilesNotChecked(const TItemTree *tree)
{
    QList<TTreeNode *> found;
    tree->forEachNode([&found](TTreeNode *node) {
        if (newFile(node) && !node->item()->sizeChecked)
            found << node;
    });
    return found;
}

int TreeCommands::SelectAtLeast(TItemTree *tree, int width, int height)
{
    int count = 0;
    tree->forEachNode([&](TTreeNode *node) {
        if (!newFile(node) || ItemState::isChecked(node))
            return;
        const TDataRec *item = node->item();
        if (item->width > 0 && item->width >= width && item->height >= height) {
            ItemState::check(node);
            ++count;
        }
    });
    return count;
}

QStringList TreeCommands::FileUrlsToExport(const TItemTree *tree)
{
    QStringList ticked, all;
    tree->forEachNode([&](TTreeNode *node) {
        const TDataRec *item = node->item();
        if (!item || item->isLink)
            return;
        all << item->url;
        if (ItemState::isChecked(node))
            ticked << item->url;
    });
    return ticked.isEmpty() ? all : ticked;
}

QStringList TreeCommands::HighlightedUrls(const TItemTree *tree)
{
    QStringList urls;
    tree->forEachNode([&urls](TTreeNode *node) {
        if (node->isSelected() && node->item())
            urls << node->item()->url;
    });
    return urls;
}

void TreeCommands::SortAll(TItemTree *tree)
{
    QCollator collator; // the user's language
    collator.setNumericMode(false);
    QList<TTreeNode *> parents;
    tree->forEachNode([&parents](TTreeNode *node) {
        if (node->childCount() > 1)
            parents << node;
    });
    QList<QTreeWidgetItem *> tops;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        tops << tree->topLevelItem(i);
    const QList<QTreeWidgetItem *> open = expandedUnder(tops);
    tree->setUpdatesEnabled(false);
    sortChildren(tree, nullptr, collator);
    for (TTreeNode *parent : std::as_const(parents))
        sortChildren(tree, parent, collator);
    expandAgain(open);
    tree->setUpdatesEnabled(true);
}

int TreeCommands::KeywordSearch(TItemTree *tree, TTreeNode *current, const TKeywordSearch &search)
{
    const QString keyword = search.caseSensitive ? search.keyword : AsciiUpper(search.keyword);
    if (keyword.isEmpty())
        return 0;
    int counter = 0;
    auto visit = [&](TTreeNode *node) {
        const QString caption = search.caseSensitive ? node->caption() : AsciiUpper(node->caption());
        if (!caption.contains(keyword))
            return;
        const int icon = node->imageIndex();
        if (!((search.links && icon == IconLinkNew) || (search.files && icon == IconFileNew)))
            return;
        if (search.check && node->stateIndex() != StateChecked) {
            node->setStateIndex(StateChecked);
            ++counter;
        } else if (!search.check && node->stateIndex() != StateUnchecked) {
            node->setStateIndex(StateUnchecked);
            --counter;
        }
    };
    if (search.wholeTree) {
        tree->forEachNode(visit);
    } else if (current) {
        for (int i = 0; i < current->childCount(); ++i)
            visit(current->childNode(i));
    }
    return counter;
}
