#include "ItemList.h"

#include "EventSlice.h"
#include "ItemTree.h"
#include "RunState.h"

#include <QFile>
#include <QSet>
#include <QSaveFile>

TItemRecord ItemList::recordOf(const TTreeNode *node, int level)
{
    TItemRecord r;
    r.caption = node->caption();
    r.state = qint16(node->stateIndex());
    r.icon = qint16(node->imageIndex());
    r.level = level;
    if (const TDataRec *item = node->item()) {
        r.isLink = item->isLink;
        r.url = item->url;
        if (!item->isLink) {
            r.name = item->name;
            r.localPath = item->localPath;
            r.sizeText = item->sizeText;
            r.kind = qint16(item->kind);
            r.viewed = item->viewed;
        }
    }
    return r;
}

bool ItemList::save(const TItemTree &tree, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // Link URLs may carry logins: the list is for the user's eyes alone.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    tree.forEachNode([&file](TTreeNode *node) {
        int level = 0;
        for (const QTreeWidgetItem *p = node->parent(); p; p = p->parent())
            ++level;
        file.write(ItemListFile::encode(recordOf(node, level)));
    });
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool ItemList::load(TItemTree *tree, const QString &path, const TRunState &run, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    tree->emptyTree();
    TItemListBuilder builder(tree);
    TEventSlice events;
    char record[ItemListFile::kRecordSize];
    while (run.busy()) {
        const qint64 n = file.read(record, sizeof(record));
        if (n == 0)
            return true;
        if (n != sizeof(record)) {
            *error = n < 0 ? file.errorString()
                           : QStringLiteral("The file ends in the middle of a record (%1 of %2 bytes).")
                                 .arg(n)
                                 .arg(ItemListFile::kRecordSize);
            return false;
        }
        builder.add(ItemListFile::decode(record));
        events.poll();
    }
    return true;
}

TItemListBuilder::TItemListBuilder(TItemTree *tree)
    : m_tree(tree)
{
    // Window events run while a list loads: a parent the user removes meanwhile
    // takes no more children.
    m_removed = QObject::connect(tree, &TItemTree::nodeRemoved, tree, [this](TTreeNode *node) {
        for (TTreeNode *&level : m_levels) {
            if (level == node)
                level = nullptr;
        }
    });
    m_emptied = QObject::connect(tree, &TItemTree::emptyingStarted, tree, [this] {
        std::fill(std::begin(m_levels), std::end(m_levels), nullptr);
        m_lastLevel = -1;
    });
}

TItemListBuilder::~TItemListBuilder()
{
    QObject::disconnect(m_removed);
    QObject::disconnect(m_emptied);
}

TTreeNode *TItemListBuilder::add(const TItemRecord &r)
{
    const int level = r.level;
    if (level < 0 || level > ItemListFile::kMaxLevel || level > m_lastLevel + 1)
        return nullptr;
    TTreeNode *parent = level > 0 ? m_levels[level - 1] : nullptr;
    if (level > 0 && !parent)
        return nullptr;

    // Every loaded node gets item data, complete before the node is indexed
    // by its URL. A link's name is never saved: one found in a file is not
    // the program's, and is not taken.
    auto item = std::make_unique<TDataRec>();
    item->isLink = r.isLink;
    item->name = r.isLink ? QString() : r.name;
    item->localPath = r.localPath;
    item->url = r.url;
    item->sizeText = r.sizeText;
    item->kind = r.kind >= KindLink && r.kind <= KindThumbnail ? r.kind : qint32(r.isLink ? KindLink : KindFile);
    item->viewed = r.viewed;
    if (!r.isLink && DimensionsInCaption(*item, r.caption, &item->width, &item->height))
        item->sizeChecked = true;
    // Numbers outside their ranges become what a new item of the kind has.
    const TreeIcon icon = TreeIconFromNumber(r.icon, r.isLink ? TreeIcon::LinkNew : TreeIcon::FileNew);
    const bool knownState = r.state == StateNone || r.state == StateUnchecked || r.state == StateChecked || r.state == StateDone;
    const qint16 state = knownState ? r.state : qint16(StateUnchecked);

    const bool done = state == StateDone;
    int slot = r.isLink ? (done ? ColorLinkParsed : ColorLink) : (done ? ColorFileStored : ColorFile);
    if (!r.isLink && r.viewed)
        slot = ColorFileViewed;
    bool bold = r.isLink;
    if (icon == TreeIcon::Root) {
        bold = true;
        slot = ColorLink;
    }
    TTreeNode *node = m_tree->appendNode(parent, r.caption, std::move(item), icon, state, bold,
                                         m_tree->slotColor(slot));
    node->setSelectedIndex(icon);
    m_tree->adoptRoot(node); // "Get url" and the scans find the roots again
    m_levels[level] = node;
    m_lastLevel = level;
    return node;
}

bool ItemList::holdsItemsMissingFrom(const TItemTree &tree, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QSet<QString> held;
    tree.forEachNode([&held](TTreeNode *node) {
        if (node->item())
            held.insert(node->item()->url);
    });
    char record[ItemListFile::kRecordSize];
    while (file.read(record, sizeof(record)) == qint64(sizeof(record))) {
        const TItemRecord r = ItemListFile::decode(record);
        if (!r.url.isEmpty() && !held.contains(r.url))
            return true;
    }
    return false;
}
