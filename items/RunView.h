#pragma once

#include "ItemStore.h"

#include <QString>


// What every run (crawl or download) needs of the main window: the status
// text, the progress gauge, the enabling of the controls, the beep and the
// scrolling of the tree. The main window implements it.
class TRunView
{
public:
    virtual ~TRunView() = default;

    // First status-bar panel.
    virtual void setStatus(const QString &text) = 0;
    // A gauge when the maximum is known, else the byte count as status text.
    virtual void ShowBar(bool show, qint64 position, qint64 maximum) = 0;
    // Enables the controls after the busy flag.
    virtual void UpdateScreen() = 0;
    virtual void beep() = 0;
    // Scrolls the tree to the item, expanding its parents.
    virtual void showNode(TItemId id) = 0;
};
