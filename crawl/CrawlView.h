#pragma once

#include "RunView.h"

#include <QString>

// What the crawl driver needs of the main window besides what every run
// needs: the URL field, the busy lamp, two buttons, a file chooser and the
// general error message. The main window implements it.
class TCrawlView : public virtual TRunView
{
public:
    virtual QString urlText() const = 0;
    virtual void setUrlText(const QString &url) = 0;
    virtual void setBusyLamp(bool lit) = 0;
    virtual void setStartEnabled(bool enabled) = 0;
    virtual void setParseEnabled(bool enabled) = 0;
    // The chosen HTML file, or an empty text when the user cancelled.
    virtual QString chooseHtmlFile() = 0;
    virtual void showError(const QString &text) = 0;
    // Opens the item's branch in the tree.
    virtual void expandItem(TItemId id) = 0;
    // Why the page of the last Get url did not come; empty when it came.
    virtual void showPageFailure(const QString &reason) { (void)reason; }
    // A Get url or Parse links run has ended; summary says what it did.
    virtual void crawlRunEnded(const QString &summary) { (void)summary; }
    // A new page's tree replaces the last: what the window showed of the
    // old one (the current item, its preview, a run's figures) goes.
    virtual void treeReplaced() {}
};
