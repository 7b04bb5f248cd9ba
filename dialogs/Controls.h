#pragma once

#include <QPushButton>

#include <initializer_list>
#include <utility>

// A push button with its hint, as every window's buttons have one.
inline QPushButton *HintedButton(const QString &caption, const QString &hint, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setToolTip(hint);
    return button;
}

// Each control carries the name it is known by, so that it can be found by name.
inline void NameControls(std::initializer_list<std::pair<QObject *, const char *>> named)
{
    for (const auto &[object, name] : named)
        object->setObjectName(QLatin1String(name));
}
