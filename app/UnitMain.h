#pragma once

#include "ItemStore.h"

#include "CrawlView.h"
#include "DownloadView.h"
#include "MainForm.h"
#include "Paths.h"
#include "RunSettings.h"

#include <QList>
#include <QMainWindow>
#include <QSize>

#include <functional>
#include <optional>
#include <utility>

class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTimer;
class QToolButton;
class TFormConfiguration;
class TCrawlDriver;
class TDesktopOpener;
class TDownloadScheduler;
class TItemTree;
class TLamp;
class TRunState;
class TSizeCheck;
class TSettingsKey;
class TStatusPanels;
class TTreeNode;

// The main window: URL entry, action buttons, download directory, the item
// tree, the preview and progress panels, the status bar and the menus.
class TFormMain : public QMainWindow, public TMainForm, public TCrawlView, public TDownloadView
{
    Q_OBJECT

public:
    static constexpr int kSlots = kTransferSlots;
    static constexpr int kMinimumWidth = 580;
    static constexpr int kMinimumHeight = 355;
    static constexpr int kDirectoryTestPauseMs = 400;
    static inline const QString kProductName = QStringLiteral("Trawlix");

    TFormMain(const TPaths &paths, TRunState &run, TItemStore &items, QWidget *parent = nullptr);
    ~TFormMain() override;

    // The configuration window, created right after this one.
    void setConfiguration(TFormConfiguration *configuration);
    // How messages reach the user; a message box unless replaced.
    void setMessageSink(std::function<void(const QString &)> sink) { m_message = std::move(sink); }
    // How a Yes/No question is asked; a message box unless replaced. No
    // answer (nullopt) is the question dismissed with Esc or the close button.
    void setQuestionSink(std::function<std::optional<bool>(const QString &)> ask) { m_ask = std::move(ask); }
    // How a stored file is opened; the desktop's default application unless replaced.
    void setFileOpener(std::function<void(const QString &)> opener) { m_openFile = std::move(opener); }
    // What opens files and folders when no opener replaces it.
    TDesktopOpener *desktopOpener() const { return m_desktop; }
    // How a folder is opened, or a file shown in its folder; the desktop's
    // file manager unless replaced.
    void setFolderShower(std::function<void(const QString &)> show) { m_showFolder = std::move(show); }
    // How the end of a run is told while the window is not active; a
    // desktop notification unless replaced.
    void setNotifier(std::function<void(const QString &, const QString &)> notify) { m_notify = std::move(notify); }
    // How the window beeps; the desktop's beep unless replaced.
    void setBeeper(std::function<void()> beeper) { m_beep = std::move(beeper); }
    // Where a file is written, suggested first; the file chooser unless replaced.
    void setSaveFileChooser(std::function<QString(const QString &)> chooser) { m_chooseSaveFile = std::move(chooser); }
    // How an HTML file is chosen; the file chooser unless replaced.
    void setFileChooser(std::function<QString()> chooser) { m_chooseFile = std::move(chooser); }
    // Connects the buttons, the URL field and the tree to the crawl runs.
    void setCrawlDriver(TCrawlDriver *driver);
    // Connects "&Download files" and the tree to the download runs.
    void setDownloadScheduler(TDownloadScheduler *scheduler);
    // "Check size" in the tree's menu, and after every scan when the settings ask.
    void setSizeCheck(TSizeCheck *check) { m_sizeCheck = check; }

    // TMainForm
    QWidget *mainWidget() override { return this; }
    QComboBox *urlField() override;
    QComboBox *downloadField() override;
    QAction *previewAction() override;
    QAction *progressAction() override;
    TItemTree *itemTree() override;
    int docWidth() const override;
    void setDocWidth(int width) override;
    int previewWidth() const override;
    void setPreviewWidth(int width) override;
    void UpdateScreen() override;
    void UpdatePanels() override;
    void updateLoadItemsEntry() override;
    void showFriendlyName(bool on) override;
    void showSlotCount(int n) override;
    void setFieldBackground(const QColor &color) override;

    // TCrawlView
    QString urlText() const override;
    void setUrlText(const QString &url) override;
    void setStatus(const QString &text) override;
    void ShowBar(bool show, qint64 position, qint64 maximum) override;
    void setBusyLamp(bool lit) override;
    void setStartEnabled(bool enabled) override;
    void setParseEnabled(bool enabled) override;
    void showNode(TItemId id) override;
    void expandItem(TItemId id) override;
    void beep() override;
    QString chooseHtmlFile() override;
    void showError(const QString &text) override;

    // TDownloadView
    void setSlotLamp(int slot, bool lit) override;
    bool slotLampLit(int slot) const override;
    void setSlotProgress(int slot, qint64 position, qint64 maximum, bool exact) override;
    void showDownloadProgress(const TRunProgress::Figures &figures) override;
    void downloadRunEnded(const TRunProgress::Figures &figures) override;
    void crawlRunEnded(const QString &summary) override;
    void showPageFailure(const QString &reason) override;
    void setSlotHint(int slot, const QString &hint) override;
    void setCounts(int items, int selected, int remaining) override;
    void setRemainingCount(int remaining) override;
    void refreshTree() override;
    void PreviewImage(TItemId id) override;
    void PreviewImage(TTreeNode *node);
    int highlightedCount() const override;
    void treeReplaced() override;
    bool confirmDownloadDirectory(const QString &directory) override;

    bool DirectoryOk(const QString &directory) const;

    // Handlers.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void TimerLogoTimer();
    void BlankPreviewImage();
    void TreeViewChange(TTreeNode *node);
    void TreeViewChangeCustom(TTreeNode *node);
    void TreeViewDblClick();
    // The tree's context menu.
    void PopupMenuTreeViewPopup();
    void SelectUnselecttoggle1Click();
    void Uncheckallitems1Click();
    void Checkallfiles1Click();
    void CheckallThumbnails1Click();
    void Deleteselecteditems1Click();
    void Resetitem1Click();
    void Expandall1Click();
    void Collapseall1Click();
    void Sortitems1Click();
    void Useselecteddocasmainandparseit1Click();
    void Addselectedlinktobookmarks1Click();
    // The two fields' context menus.
    void Addbookmark1Click();
    void Copytoclipboard1Click();
    void Paste1Click();
    void MenuItem2Click();
    void MenuItem4Click();
    void MenuItem5Click();
    void ComboBoxBookmarkChange();
    void ComboBoxBookmarkExit();
    void ComboBoxDownloadChange();
    void Displayimagepreview1Click();
    void Displaydownloadengineprogress1Click();
    void Configuration1Click();
    void Quit1Click();
    // The clipboard into the URL field at the cursor, unless it holds several URLs.
    void pasteIntoUrlField();
    // Several URLs: all become bookmarks, the first the field's text. False,
    // changing nothing, for fewer than two.
    bool takeUrls(const QStringList &urls);
    // The first URL is fetched as "&Get url" fetches it; all become
    // bookmarks when there are several. For a drop and the command line.
    void fetchUrls(const QStringList &urls);
    void OpenDownloadFolder1Click();
    void ExportUrls1Click();
    // Opens the configuration where the size limits are.
    void sizeLimitsRequested();
    void DownloadSkipped1Click();
    void RetryFailed1Click();
    void CopyUrls1Click();
    void CheckSize1Click();
    void showRunFigures(const QStringList &lines);
    void ShowInFolder1Click();
    void Savelinksfilelists1Click();
    QString keepOlderList();
    void Loadlinksfilelistfromdisk1Click();
    // quiet: on the way out, said on standard error instead of in a box.
    bool SaveListToDisk(bool quiet = false);
    // Says at start that the last exit kept the list before it as path.
    void noteItemListBackup(const QString &path);
    void LoadListFromDisk();

    bool isBusy() const;
    void setBusy(bool busy);
    TTreeNode *currentItem() const;
    QString itemListFile() const;
    QSize previewPictureSize() const { return m_pictureSize; }

signals:
    // A double click or Enter asks for the run of its item.
    void parseRequested();
    void downloadRequested();
    void aboutRequested();
    void documentationRequested();
    void keywordSearchRequested();
    void statisticsRequested();
    void loginRequested();
    void bookmarksRequested();
    void directoryRequested();
    void versionInfoRequested();
    void atLeastRequested();
    // The close writes the settings: others add their values to the key.
    void savingSettings(TSettingsKey &key);
    // Everything is saved: the process ends now.
    void closed();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void nameControls();

    // Main-window state.
    bool LoadingItems = false;
    int LogoStep = 0;

    // Controls.
    QLabel *LabelVersion;
    QLabel *LabelUrl;
    QComboBox *ComboBoxBookmark;
    QPushButton *ButtonStop;
    QPushButton *ButtonStart;
    QPushButton *ButtonParse;
    QPushButton *ButtonDownload;
    QToolButton *ButtonLoadHtml;
    QLabel *LabelDownload;
    QComboBox *ComboBoxDownload;
    QToolButton *ButtonDirectory;
    QList<QLabel *> LogoLetters;
    QLabel *LabelItems;
    QLabel *LabelUrlInfo;
    QLabel *LabelWait;
    TItemTree *TreeView;
    QSplitter *SplitterMain;
    QSplitter *SplitterRight;
    QWidget *PanelDocument;
    QWidget *PanelRight;
    QWidget *PanelPreview;
    QLabel *ImagePreview;
    QLabel *LabelPreviewName;
    QLabel *LabelPreviewSize;
    QWidget *PanelProgress;
    QProgressBar *ProgressBars[kSlots];
    TStatusPanels *StatusBar;
    QProgressBar *Gauge;
    TLamp *LampBusy;
    QLabel *LabelDLs;
    TLamp *Lamps[kSlots];
    QMenu *File1;
    QAction *Loaditemsfromdisk1;
    QAction *Saveallitemstodisk1;
    QAction *ExportUrls1;
    QAction *OpenDownloadFolder1;
    QAction *Quit1;
    QAction *ChangeUsernamePassword1;
    QAction *Editbookmarks1;
    QAction *Configuration1;
    QAction *Displaydownloadengineprogress1;
    QAction *Displayimagepreview1;
    QAction *Statistics1;
    QAction *Documentation1;
    QAction *About1;
    QAction *Getinformation1;
    QMenu *PopupMenuTreeView = nullptr;
    QAction *SelectUnselecttoggle1;
    QAction *Uncheckallitems1;
    QAction *Checkallfiles1;
    QAction *CheckallThumbnails1;
    QAction *Deleteselecteditems1;
    QAction *Resetitem1;
    QAction *Keywordsearch1;
    QAction *Expandall1;
    QAction *Collapseall1;
    QAction *Sortitems1;
    QAction *Useselecteddocasmainandparseit1;
    QAction *Addselectedlinktobookmarks1;
    QAction *ShowInFolder1;
    QAction *RetryFailed1;
    QAction *DownloadSkipped1;
    QAction *CopyUrls1;
    QAction *CheckSize1;
    QAction *SelectAtLeast1;
    QList<QAction *> m_urlEditActions; // undo, cut, copy, paste, select all
    int m_lampsLeft = 31;              // where the slot lamps start in their panel
    int m_shownSlots = 4;              // slots with a lamp and a bar on show
    QLabel *LabelRunFigures = nullptr; // a download run's figures, under the bars
    QMenu *PopupMenuUrl;
    QMenu *PopupMenuDownload;
    QTimer *TimerLogo;

    QWidget *buildTopPanel();
    QWidget *buildDocumentPanel();
    QWidget *buildRightPanel();
    void buildStatusBar();
    void buildMenus();
    void buildTreeMenu();
    void fitMinimumSize();
    void buildFieldMenus();
    std::optional<bool> ask(const QString &question, bool withCancel = false);
    void buildTimers();
    void fitPreview();
    void showSlotProgress();
    static void paintSlotProgress(QProgressBar *bar, qint64 position, qint64 maximum);
    void paintDownloadField(bool ok);
    static void addKeepingText(QComboBox *field, const QString &entry);
    void message(const QString &text);
    void information(const QString &text);

    TPaths m_paths;
    TRunState &m_run;
    TItemStore &m_items;
    TDownloadScheduler *m_downloads = nullptr;
    TSizeCheck *m_sizeCheck = nullptr;
    TFormConfiguration *Configuration = nullptr;
    QSize m_pictureSize;
    QColor m_fieldBackground = Qt::white;
    int m_previewWidth = 105; // the right-hand panels' width, also while they are hidden
    QString m_warnedDirectory;
    std::function<void(const QString &)> m_message;
    std::function<void(const QString &)> m_openFile;
    TDesktopOpener *m_desktop;
    std::function<void(const QString &, const QString &)> m_notify;
    std::function<void(const QString &)> m_showFolder;
    std::function<QString(const QString &)> m_chooseSaveFile;
    std::function<QString()> m_chooseFile;
    std::function<std::optional<bool>(const QString &)> m_ask;
    bool m_backupNoticeShown = false; // the start said an older list was kept aside
    bool m_closing = false;
    QTimer *m_directoryTest = nullptr;
    bool m_treeIncomplete = false; // a load or a run was cut short by the close
    TCrawlDriver *m_crawl = nullptr;
    int m_pickedDirectory = -1; // the directory bookmark last picked from the list
    std::function<void()> m_beep;
    QTimer *m_displayTimer = nullptr;
    std::pair<qint64, qint64> m_slotProgress[kSlots] = {}; // position and size to show
    bool m_slotExact[kSlots] = {};                        // the size is the announced length
    QString m_slotHint[kSlots];                           // what the slot fetches
    bool m_slotLit[kSlots] = {};
    bool m_treeDirty = false;
    int m_remaining = 0, m_remainingShown = 0; // queued or running downloads
};
