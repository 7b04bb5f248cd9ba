#pragma once

#include <QString>

class TTreeNode;

// What the crawl driver needs of the main window: the status bar, the
// progress gauge, the busy lamp, the enabling of the controls, a file
// chooser and the general error message. The main window implements it.
class TCrawlView
{
public:
    virtual ~TCrawlView() = default;

    virtual QString urlText() const = 0;
    virtual void setUrlText(const QString &url) = 0;
    // First status-bar panel.
    virtual void setStatus(const QString &text) = 0;
    // A gauge when the maximum is known, else the byte count as status text.
    virtual void ShowBar(bool show, qint64 position, qint64 maximum) = 0;
    virtual void setBusyLamp(bool lit) = 0;
    // Enables the controls after the busy flag.
    virtual void UpdateScreen() = 0;
    virtual void setStartEnabled(bool enabled) = 0;
    virtual void setParseEnabled(bool enabled) = 0;
    // Scrolls the tree to the node, expanding its parents.
    virtual void showNode(TTreeNode *node) = 0;
    virtual void beep() = 0;
    // The chosen HTML file, or an empty text when the user cancelled.
    virtual QString chooseHtmlFile() = 0;
    virtual void showError(const QString &text) = 0;
};
