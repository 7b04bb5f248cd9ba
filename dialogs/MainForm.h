#pragma once

class QAction;
class QColor;
class QComboBox;
class QWidget;
class TItemTree;

// What the configuration window reads from and applies to the main window.
// The main window implements it; the configuration window knows nothing more of it.
class TMainForm
{
public:
    virtual ~TMainForm() = default;

    virtual QWidget *mainWidget() = 0;
    virtual QComboBox *urlField() = 0;
    virtual QComboBox *downloadField() = 0;
    virtual QAction *previewAction() = 0;
    virtual QAction *progressAction() = 0;
    virtual TItemTree *itemTree() = 0;

    virtual int docWidth() const = 0;
    virtual void setDocWidth(int width) = 0;
    virtual int previewWidth() const = 0;
    virtual void setPreviewWidth(int width) = 0;

    virtual void UpdateScreen() = 0;
    virtual void UpdatePanels() = 0;
    // Enables "Load items from disk" when the item list file exists.
    virtual void updateLoadItemsEntry() = 0;
    // Friendly name on or off: titles and icon.
    virtual void showFriendlyName(bool on) = 0;
    // Lamps, progress bars and panel sizes for n transfer slots.
    virtual void showSlotCount(int n) = 0;
    // Background of the tree and of the URL and directory fields.
    virtual void setFieldBackground(const QColor &color) = 0;
};
