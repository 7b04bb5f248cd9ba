#pragma once

#include "RunProgress.h"
#include "RunView.h"

#include <QString>


// What the download engine needs of the main window besides what every run
// needs: the slot lamps and gauges, the status-bar counts, the tree's redraw
// and the picture preview. The main window implements it.
class TDownloadView : public virtual TRunView
{
public:
    // Slots are numbered 1 to 8.
    virtual void setSlotLamp(int slot, bool lit) = 0;
    virtual bool slotLampLit(int slot) const = 0;
    // exact: the maximum is the length the server announced, not a guess.
    virtual void setSlotProgress(int slot, qint64 position, qint64 maximum, bool exact) = 0;
    virtual void setSlotHint(int slot, const QString &hint) = 0;
    // Status-bar panels 4, 5 and 6.
    virtual void setCounts(int items, int selected, int remaining) = 0;
    // Panel 6 alone, as the queue changes: items queued or in transfer.
    virtual void setRemainingCount(int remaining) = 0;
    virtual void refreshTree() = 0;
    virtual void PreviewImage(TItemId id) = 0;
    // Rows highlighted in the tree, for the status bar.
    virtual int highlightedCount() const = 0;
    // Before a run: true when files can be written to the directory, which
    // the user may be offered to create; false stops the run before it starts.
    virtual bool confirmDownloadDirectory(const QString &directory) = 0;
    // While a run goes, once a second: how far it is.
    virtual void showDownloadProgress(const TRunProgress::Figures &figures) { setStatus(RunProgressText(figures)); }
    // The run has ended: what it did.
    virtual void downloadRunEnded(const TRunProgress::Figures &figures) { (void)figures; }
};
