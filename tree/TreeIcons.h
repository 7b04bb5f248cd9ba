#pragma once

#include "DataRec.h"

#include <QHash>
#include <QIcon>
#include <QPixmap>

// The pictures of the item tree: eight 16 x 16 item icons and one check
// picture for each state index, drawn at 1x and 2x so they stay crisp on
// high-DPI screens. A node shows its check picture and its icon side by side.
class TTreeIcons
{
public:
    static constexpr int kIconSize = 16;
    static constexpr int kGap = 2;
    static QSize decorationSize() { return {2 * kIconSize + kGap, kIconSize}; }

    // The icon of a node; selectedIcon is shown while the node is selected.
    QIcon compose(int state, TreeIcon icon, TreeIcon selectedIcon);

    static QPixmap itemIcon(TreeIcon icon, qreal dpr = 1.0);
    static QPixmap checkPicture(int state, qreal dpr = 1.0);

private:
    static QPixmap composed(int state, TreeIcon icon, qreal dpr);
    QHash<int, QIcon> m_cache;
};
