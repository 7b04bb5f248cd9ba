#include "ItemTree.h"

#include "Extension.h"
#include "TreeConfig.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <vector>

namespace {

// The node and its ancestors, top-level first.
std::vector<const TTreeNode *> pathOf(const TTreeNode *node)
{
    std::vector<const TTreeNode *> path;
    for (const TTreeNode *n = node; n; n = n->parentNode())
        path.push_back(n);
    return {path.rbegin(), path.rend()};
}

} // namespace

TItemTree::TItemTree(QWidget *parent)
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
}

TItemTree::~TItemTree()
{
    // Nodes report their destruction to this object: delete them while it is
    // whole, and tell no one, as the window holding the tree is going too.
    blockSignals(true);
    m_emptying = true;
    clear();
}

QColor TItemTree::slotColor(int slot) const
{
    return m_config ? m_config->color(slot) : QColor(Qt::black);
}

TTreeNode *TItemTree::AddTreeNode(TTreeNode *parent, const TDataRec &tmpl)
{
    auto item = std::make_unique<TDataRec>(tmpl);
    item->viewed = false;
    if (item->isLink) {
        const QString caption = item->url;
        return appendNode(parent, caption, std::move(item), IconLinkNew, StateUnchecked, true,
                          slotColor(ColorLink));
    }

    int state = StateUnchecked;
    if (m_config && m_config->autoSelectEnabled()) {
        const QString ext = ExtensionOf(item->name);
        if (!ext.isEmpty() && AsciiUpper(m_config->autoSelectFileTypes()).contains(ext))
            state = StateChecked;
    }
    const QString caption = FileCaption(*item);
    return appendNode(parent, caption, std::move(item), IconFileNew, state, false,
                      slotColor(ColorFile));
}

TTreeNode *TItemTree::appendNode(TTreeNode *parent, const QString &caption,
                                 std::unique_ptr<TDataRec> item, int icon, int state,
                                 bool bold, const QColor &color)
{
    // Everything is set before the node joins the tree, so the view is told once.
    auto *node = new TTreeNode(this);
    node->setCaption(caption);
    node->setImageIndex(icon);
    node->setStateIndex(state);
    node->setBold(bold);
    node->setColor(color);
    if (item)
        node->setItem(std::move(item));
    attach(parent, node);
    return node;
}

void TItemTree::attach(TTreeNode *parent, TTreeNode *node)
{
    node->setOrder(m_nextOrder++);
    ++m_nodeCount;
    if (parent)
        parent->addChild(node);
    else
        addTopLevelItem(node);
}

void TItemTree::nodeItemSet(TTreeNode *node)
{
    if (node->item())
        m_byUrl[node->item()->url].append(node);
}

void TItemTree::nodeDestroyed(TTreeNode *node)
{
    if (m_emptying)
        return;
    --m_nodeCount;
    emit nodeRemoved(node);
    if (node == m_rootLinks)
        m_rootLinks = nullptr;
    if (node == m_rootFiles)
        m_rootFiles = nullptr;
    if (node->item())
        unindex(node);
}

void TItemTree::unindex(TTreeNode *node)
{
    auto it = m_byUrl.find(node->item()->url);
    if (it == m_byUrl.end())
        return;
    auto &nodes = it.value();
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        if (nodes[i] == node) {
            nodes.remove(i);
            break;
        }
    }
    if (nodes.isEmpty())
        m_byUrl.erase(it);
}

void TItemTree::setItemUrl(TTreeNode *node, const QString &url)
{
    if (!node->item() || node->item()->url == url)
        return;
    unindex(node);
    node->item()->url = url;
    m_byUrl[url].append(node);
}

bool TItemTree::comesAfter(const TTreeNode *node, const TTreeNode *start) const
{
    if (node == start)
        return false;
    const auto a = pathOf(node);
    const auto b = pathOf(start);
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    if (i == b.size())
        return true; // inside start's subtree
    if (i == a.size())
        return false; // an ancestor of start
    return a[i]->order() > b[i]->order();
}

bool TItemTree::NodeExistInTree(const TTreeNode *start, const QString &url) const
{
    if (!start || start->childCount() == 0)
        return false;
    const auto it = m_byUrl.constFind(url);
    if (it == m_byUrl.constEnd())
        return false;
    for (const TTreeNode *node : it.value()) {
        if (comesAfter(node, start))
            return true;
    }
    return false;
}

void TItemTree::emptyTree()
{
    const bool wasVisible = isVisible();
    // Hidden, so it is not redrawn for every deleted node.
    if (wasVisible)
        hide();
    emit emptyingStarted();
    m_emptying = true;
    clear();
    m_emptying = false;
    m_byUrl.clear();
    m_nodeCount = 0;
    m_rootLinks = nullptr;
    m_rootFiles = nullptr;
    emit emptyingFinished();
    if (wasVisible)
        show();
}

void TItemTree::MakeRootNodes()
{
    emptyTree();
    const QColor maroon(128, 0, 0);
    m_rootLinks = appendNode(nullptr, kRootLinksCaption, nullptr, IconRoot, StateNone, true, maroon);
    m_rootFiles = appendNode(nullptr, kRootFilesCaption, nullptr, IconRoot, StateNone, true, maroon);
}

void TItemTree::adoptRoot(TTreeNode *node)
{
    if (node->parent() || node->imageIndex() != IconRoot)
        return;
    if (node->caption() == kRootLinksCaption && !m_rootLinks)
        m_rootLinks = node;
    else if (node->caption() == kRootFilesCaption && !m_rootFiles)
        m_rootFiles = node;
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
        if (node->imageIndex() == IconRoot)
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
    case IconBusy:
    case IconFileFailed:
    case IconFileStored:
    case IconLinkFailed:
    case IconLinkParsed:
        node->setStateIndex(StateDone);
        break;
    default:
        break;
    }
    emit checkClicked(node);
}

void TItemTree::renumberChildren(TTreeNode *parent)
{
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        auto *child = parent ? parent->childNode(i) : topNode(i);
        child->setOrder(m_nextOrder++);
    }
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
