#include "ItemTree.h"

#include "TreeConfig.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <QSet>

#include <algorithm>

namespace {

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

} // namespace

TItemTree::TItemTree(QWidget *parent)
    : TItemTree(nullptr, parent)
{
}

TItemTree::TItemTree(TItemStore *store, QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setIndentation(19);
    setIconSize(TTreeIcons::decorationSize());
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setToolTip(QStringLiteral("[Context menu]"));
    if (!store) {
        m_ownStore = std::make_unique<TItemStore>();
        store = m_ownStore.get();
    }
    follow(store);
}

TItemTree::~TItemTree()
{
    // The window holding the tree is going: its rows go without a word.
    m_store->disconnect(this);
    blockSignals(true);
    clear();
}

void TItemTree::follow(TItemStore *store)
{
    m_store = store;
    connect(store, &TItemStore::added, this, &TItemTree::itemAdded);
    connect(store, &TItemStore::changed, this, &TItemTree::itemChanged);
    connect(store, &TItemStore::removing, this, &TItemTree::itemRemoving);
    connect(store, &TItemStore::removingTops, this, &TItemTree::itemsRemoved);
    connect(store, &TItemStore::reordered, this, &TItemTree::childrenReordered);
    connect(store, &TItemStore::emptyingStarted, this, &TItemTree::storeEmptying);
    connect(store, &TItemStore::emptyingFinished, this, &TItemTree::storeEmptied);
    store->forEach([this](TItemId id) { itemAdded(id); });
}

void TItemTree::setConfig(const TTreeConfig *config)
{
    m_store->setConfig(config);
}

TTreeNode *TItemTree::AddTreeNode(TTreeNode *parent, const TDataRec &tmpl)
{
    return nodeOf(m_store->addFound(parent ? parent->id() : kNoItem, tmpl));
}

TTreeNode *TItemTree::appendNode(TTreeNode *parent, const QString &caption,
                                 std::unique_ptr<TDataRec> item, TreeIcon icon, int state,
                                 bool bold, const QColor &color)
{
    return nodeOf(m_store->append(parent ? parent->id() : kNoItem, caption, std::move(item), icon, state, bold, color));
}

bool TItemTree::NodeExistInTree(const TTreeNode *start, const QString &url) const
{
    return start && m_store->existsAfter(start->id(), url);
}

void TItemTree::itemAdded(TItemId id)
{
    // Everything is shown before the row joins the tree, so the view is told once.
    auto *node = new TTreeNode(m_store, id);
    node->refresh(this);
    m_nodes.insert(id, node);
    const TItemId parent = m_store->parentOf(id);
    if (TTreeNode *parentNode = nodeOf(parent))
        parentNode->addChild(node);
    else
        addTopLevelItem(node);
}

void TItemTree::itemChanged(TItemId id)
{
    if (TTreeNode *node = nodeOf(id))
        node->refresh(this);
}

void TItemTree::itemRemoving(TItemId id)
{
    TTreeNode *node = m_nodes.take(id);
    if (!node)
        return;
    m_leaving.insert(id, node);
    emit nodeRemoved(node);
}

void TItemTree::itemsRemoved(const QList<TItemId> &tops)
{
    QList<TTreeNode *> doomed;
    for (TItemId id : tops) {
        if (TTreeNode *node = m_leaving.value(id))
            doomed << node;
    }
    m_leaving.clear();
    // Taking one child out of a long list of siblings moves the rest, so a
    // parent that loses many children has its list rebuilt once instead.
    constexpr int kRebuildFrom = 32;
    QHash<QTreeWidgetItem *, QSet<QTreeWidgetItem *>> byParent;
    for (TTreeNode *node : std::as_const(doomed))
        byParent[node->parent()].insert(node);
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    for (auto it = byParent.cbegin(); it != byParent.cend(); ++it) {
        QTreeWidgetItem *parent = it.key();
        const QSet<QTreeWidgetItem *> &gone = it.value();
        if (gone.size() < kRebuildFrom) {
            qDeleteAll(gone);
            continue;
        }
        QList<QTreeWidgetItem *> kept;
        const int count = parent ? parent->childCount() : topLevelItemCount();
        for (int i = 0; i < count; ++i) {
            QTreeWidgetItem *child = parent ? parent->child(i) : topLevelItem(i);
            if (!gone.contains(child))
                kept << child;
        }
        setChildren(parent, kept); // in their order, which is the store's
        qDeleteAll(gone);
    }
    setUpdatesEnabled(updates);
}

void TItemTree::deleteNodes(const QList<TTreeNode *> &nodes)
{
    QList<TItemId> ids;
    ids.reserve(nodes.size());
    for (const TTreeNode *node : nodes)
        ids << node->id();
    m_store->remove(ids);
}

void TItemTree::childrenReordered(TItemId parentId)
{
    QList<QTreeWidgetItem *> ordered;
    for (TItemId id : m_store->children(parentId))
        ordered << nodeOf(id);
    setChildren(nodeOf(parentId), ordered);
}

void TItemTree::setChildren(QTreeWidgetItem *parent, const QList<QTreeWidgetItem *> &children)
{
    // Rows taken out of the tree forget whether they were open: noted while
    // they are still in it, opened again once they are back.
    const QList<QTreeWidgetItem *> open = expandedUnder(children);
    if (parent) {
        (void)parent->takeChildren();
        parent->addChildren(children);
    } else {
        while (topLevelItemCount() > 0)
            takeTopLevelItem(topLevelItemCount() - 1);
        addTopLevelItems(children);
    }
    expandAgain(open);
}

void TItemTree::storeEmptying()
{
    // Hidden, so it is not redrawn for every deleted row.
    m_wasVisible = isVisible();
    if (m_wasVisible)
        hide();
    emit emptyingStarted();
    m_nodes.clear();
    m_leaving.clear();
    clear();
}

void TItemTree::storeEmptied()
{
    emit emptyingFinished();
    if (m_wasVisible)
        show();
}

QList<TTreeNode *> TItemTree::highlightedNodes() const
{
    QList<TTreeNode *> nodes;
    const auto items = selectedItems();
    nodes.reserve(items.size());
    for (QTreeWidgetItem *item : items)
        nodes.append(static_cast<TTreeNode *>(item));
    return nodes;
}

void TItemTree::forEachNode(const std::function<void(TTreeNode *)> &visit) const
{
    std::vector<TTreeNode *> stack;
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        stack.push_back(topNode(i));
    while (!stack.empty()) {
        TTreeNode *node = stack.back();
        stack.pop_back();
        visit(node);
        for (int i = node->childCount() - 1; i >= 0; --i)
            stack.push_back(node->childNode(i));
    }
}

void TItemTree::Recolor()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, slotColor(ColorBackground));
    setPalette(pal);
    forEachNode([this](TTreeNode *node) {
        const TDataRec *item = node->item();
        if (!item)
            return;
        const bool done = node->stateIndex() == StateDone;
        int slot;
        if (item->isLink) {
            slot = done ? ColorLinkParsed : ColorLink;
        } else {
            slot = done ? ColorFileStored : ColorFile;
            if (item->viewed)
                slot = ColorFileViewed;
        }
        if (node->imageIndex() == TreeIcon::Root)
            slot = ColorLink;
        node->setColor(slotColor(slot));
    });
}

void TItemTree::clickCheckBox(TTreeNode *node)
{
    if (!node || node->stateIndex() == StateNone)
        return;
    node->setStateIndex(node->stateIndex() == StateChecked ? StateUnchecked : StateChecked);
    TreeViewClickCheck(node);
}

void TItemTree::TreeViewClickCheck(TTreeNode *node)
{
    switch (node->imageIndex()) {
    case TreeIcon::Busy:
    case TreeIcon::FileFailed:
    case TreeIcon::FileStored:
    case TreeIcon::LinkFailed:
    case TreeIcon::LinkParsed:
        node->setStateIndex(StateDone);
        break;
    default:
        break;
    }
    emit checkClicked(node);
}

QRect TItemTree::checkRect(TTreeNode *node) const
{
    const QModelIndex index = indexFromItem(node);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.features |= QStyleOptionViewItem::HasDecoration;
    option.decorationSize = iconSize();
    option.icon = node->icon(0);
    option.text = node->text(0);
    option.features |= QStyleOptionViewItem::HasDisplay;
    const QRect decoration = style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, this);
    return {decoration.left(), option.rect.top(), TTreeIcons::kIconSize + 1, option.rect.height()};
}

void TItemTree::setEmptyText(const QString &text)
{
    m_emptyText = text;
    viewport()->update();
}

void TItemTree::paintEvent(QPaintEvent *event)
{
    QTreeWidget::paintEvent(event);
    if (topLevelItemCount() > 0 || m_emptyText.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().marginsRemoved(QMargins(16, 16, 16, 16)), Qt::AlignCenter | Qt::TextWordWrap,
                     m_emptyText);
}

void TItemTree::mousePressEvent(QMouseEvent *event)
{
    auto *node = static_cast<TTreeNode *>(itemAt(event->position().toPoint()));
    if (node && event->button() == Qt::LeftButton && node->stateIndex() != StateNone
        && checkRect(node).contains(event->position().toPoint())) {
        // A tick leaves the multiple selection alone.
        clickCheckBox(node);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void TItemTree::mouseDoubleClickEvent(QMouseEvent *event)
{
    auto *node = static_cast<TTreeNode *>(itemAt(event->position().toPoint()));
    if (node && node->stateIndex() != StateNone && checkRect(node).contains(event->position().toPoint())) {
        clickCheckBox(node);
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void TItemTree::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        emit spacePressed();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit enterPressed();
        event->accept();
        return;
    default:
        QTreeWidget::keyPressEvent(event);
    }
}

void TItemTree::keyReleaseEvent(QKeyEvent *event)
{
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (keypad && event->key() == Qt::Key_Plus) {
        expandAll();
        event->accept();
        return;
    }
    if (keypad && event->key() == Qt::Key_Minus) {
        collapseAll();
        event->accept();
        return;
    }
    QTreeWidget::keyReleaseEvent(event);
}
