#pragma once

#include "ItemListFile.h"
#include "ItemRecs.h"
#include "ItemTree.h"

#include <QStringList>

// Every node of a tree, pre-order, as one line: depth, caption, icon, state,
// and the item data. Two trees are alike exactly when their dumps are.
inline QStringList dumpTree(const TItemTree &tree)
{
    QStringList lines;
    tree.forEachNode([&lines](TTreeNode *node) {
        int depth = 0;
        for (auto *p = node->parentNode(); p; p = p->parentNode())
            ++depth;
        QString line = QStringLiteral("%1|%2|i%3|s%4").arg(depth).arg(node->caption())
                           .arg(int(node->imageIndex())).arg(node->stateIndex());
        if (const TDataRec *item = node->item()) {
            line += QStringLiteral("|%1|%2|%3|%4|k%5").arg(item->isLink).arg(item->url, item->name,
                                                          item->localPath).arg(item->kind);
        }
        lines << line;
    });
    return lines;
}


// An item list of one root with this many new files under it.
inline QByteArray flatItemList(int files)
{
    TItemRecord r;
    r.icon = qint16(TreeIcon::FileNew);
    QByteArray bytes = ItemListFile::encode(r);
    r.level = 1;
    const QByteArray child = ItemListFile::encode(r);
    bytes.reserve(bytes.size() * (files + 1));
    for (int i = 0; i < files; ++i)
        bytes += child;
    return bytes;
}
