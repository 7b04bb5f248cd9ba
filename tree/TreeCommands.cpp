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

// The new order of a parent's children (kNoItem: the top-level items) by caption.
void sortChildren(TItemStore *store, TItemId parent, const QCollator &collator)
{
    std::vector<TItemId> children = store->children(parent);
    // The roots stay first, in their order: only what lies beside them is sorted.
    const auto roots = std::stable_partition(children.begin(), children.end(),
                                             [store](TItemId id) { return store->entry(id)->icon == TreeIcon::Root; });
    // Each caption's sort key once, not two captions compared afresh each time.
    std::vector<std::pair<QCollatorSortKey, TItemId>> keyed;
    keyed.reserve(size_t(children.end() - roots));
    for (auto it = roots; it != children.end(); ++it)
        keyed.emplace_back(collator.sortKey(store->entry(*it)->caption), *it);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first.compare(b.first) < 0; });
    auto out = roots;
    for (const auto &k : keyed)
        *out++ = k.second;
    store->reorderChildren(parent, children);
}

} // namespace

void TreeCommands::ToggleHighlighted(TItemTree *tree)
{
    for (TTreeNode *node : tree->highlightedNodes()) {
        const TreeIcon icon = node->imageIndex();
        if (icon != TreeIcon::FileNew && icon != TreeIcon::LinkNew)
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
        if (node->imageIndex() != TreeIcon::Root && node->stateIndex() == StateChecked)
            node->setStateIndex(StateUnchecked);
    });
}

void TreeCommands::CheckKindInBranch(TTreeNode *branch, int kind)
{
    for (int i = 0; i < branch->childCount(); ++i) {
        TTreeNode *child = branch->childNode(i);
        const TDataRec *item = child->item();
        if (item && !item->isLink && item->kind == kind && child->imageIndex() == TreeIcon::FileNew)
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
    tree->deleteNodes(TopMostHighlighted(tree));
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
            node->setImageIndex(TreeIcon::LinkNew);
            node->setSelectedIndex(TreeIcon::LinkNew);
            node->setStateIndex(StateUnchecked);
            node->setReason({});
            tree->store()->removeChildren(node->id());
        } else {
            node->setImageIndex(TreeIcon::FileNew);
            node->setSelectedIndex(TreeIcon::FileNew);
            node->setStateIndex(StateUnchecked);
            item->viewed = false;
            item->forgetSize();
            node->setCaption(FileCaption(*item));
            node->setReason({});
        }
    }
    QObject::disconnect(removed);
}

int TreeCommands::RetryFailed(TItemTree *tree)
{
    int count = 0;
    tree->forEachNode([&count](TTreeNode *node) {
        TDataRec *item = node->item();
        if (!item || item->isLink || !ItemState::isFailed(node->ref()))
            return;
        item->forgetSize();
        node->setCaption(FileCaption(*item));
        ItemState::markWaiting(node->ref());
        ++count;
    });
    return count;
}

int TreeCommands::RetrySkipped(TItemTree *tree)
{
    int count = 0;
    tree->forEachNode([&count](TTreeNode *node) {
        TDataRec *item = node->item();
        if (!item || item->isLink || !ItemState::isFailed(node->ref()) || !node->caption().contains(QLatin1String("(Skipped - Size")))
            return;
        item->forgetSize();
        item->ignoreLimits = true;
        node->setCaption(FileCaption(*item));
        ItemState::markWaiting(node->ref());
        ++count;
    });
    return count;
}

namespace {

bool newFile(const TTreeNode *node)
{
    return node->item() && !node->item()->isLink && ItemState::isNewFile(node->ref()) && ItemState::isOpen(node->ref());
}

} // namespace

QList<TItemId> TreeCommands::FilesToCheck(const TItemTree *tree)
{
    QList<TItemId> highlighted, ticked, inBranch;
    tree->forEachNode([&](TTreeNode *node) {
        if (!newFile(node))
            return;
        if (node->isSelected())
            highlighted << node->id();
        else if (ItemState::isChecked(node->ref()))
            ticked << node->id();
        else if (node->parent() && node->parent()->isSelected())
            inBranch << node->id();
    });
    if (!highlighted.isEmpty())
        return highlighted;
    return !ticked.isEmpty() ? ticked : inBranch;
}

QList<TItemId> TreeCommands::FilesNotChecked(const TItemTree *tree)
{
    QList<TItemId> found;
    tree->forEachNode([&found](TTreeNode *node) {
        if (newFile(node) && !node->item()->sizeChecked)
            found << node->id();
    });
    return found;
}

int TreeCommands::SelectAtLeast(TItemTree *tree, int width, int height)
{
    int count = 0;
    tree->forEachNode([&](TTreeNode *node) {
        if (!newFile(node) || ItemState::isChecked(node->ref()))
            return;
        const TDataRec *item = node->item();
        if (item->width > 0 && item->width >= width && item->height >= height) {
            ItemState::check(node->ref());
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
        if (ItemState::isChecked(node->ref()))
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
    TItemStore *store = tree->store();
    QList<TItemId> parents;
    store->forEach([&](TItemId id) {
        if (store->children(id).size() > 1)
            parents << id;
    });
    tree->setUpdatesEnabled(false);
    sortChildren(store, kNoItem, collator);
    for (TItemId parent : std::as_const(parents))
        sortChildren(store, parent, collator);
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
        const TreeIcon icon = node->imageIndex();
        if (!((search.links && icon == TreeIcon::LinkNew) || (search.files && icon == TreeIcon::FileNew)))
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
