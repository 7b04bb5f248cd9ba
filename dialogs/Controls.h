#pragma once

#include <QFontMetrics>
#include <QPushButton>
#include <QSize>

#include <initializer_list>
#include <utility>

// A push button with its hint, as every window's buttons have one.
inline QPushButton *HintedButton(const QString &caption, const QString &hint, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setToolTip(hint);
    return button;
}

// "1 item was checked", "3 items were saved to": a count and what
// happened to the items, in agreement.
inline QString ItemCountText(int count, const char *what)
{
    return count == 1 ? QStringLiteral("1 item was %1").arg(QLatin1String(what))
                      : QStringLiteral("%1 items were %2").arg(count).arg(QLatin1String(what));
}

// Each control carries the name it is known by, so that it can be found by name.
inline void NameControls(std::initializer_list<std::pair<QObject *, const char *>> named)
{
    for (const auto &[object, name] : named)
        object->setObjectName(QLatin1String(name));
}

// Wide enough that the window manager shows the whole title: its text in
// a title bar's bold font, with room for the bar's icon and buttons.
inline QSize TitleRoom(const QWidget &window)
{
    QFont bold = window.font();
    bold.setBold(true);
    return {QFontMetrics(bold).horizontalAdvance(window.windowTitle()) + 160, 0};
}
