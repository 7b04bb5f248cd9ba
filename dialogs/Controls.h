#pragma once

#include <QPushButton>

// A push button with its hint, as every window's buttons have one.
inline QPushButton *HintedButton(const QString &caption, const QString &hint, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setToolTip(hint);
    return button;
}
