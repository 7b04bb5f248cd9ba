#include "UnitMain.h"

#include "AppIcons.h"
#include "Controls.h"
#include "CrawlDriver.h"
#include "DownloadScheduler.h"
#include "DataRec.h"
#include "Extension.h"
#include "ItemState.h"
#include "ItemTree.h"
#include "ItemList.h"
#include "TreeCommands.h"
#include "JpegImage.h"
#include "Lamp.h"
#include "Question.h"
#include "RunState.h"
#include "SettingsKey.h"
#include "StatusPanels.h"
#include "UnitConfiguration.h"
#include "UrlRules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

namespace {

// Black or white, whichever reads better on the background.
QColor ReadableOn(const QColor &background)
{
    return background.lightnessF() < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
}

const QString kNotActive = QStringLiteral(" Status: Not active");
const QString kNoImage = QStringLiteral("No image selected !");
const QString kTreeHint = QStringLiteral("[Context menu]");
const QColor kLogoLit(200, 30, 30);

QComboBox *editableList(QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setMaxVisibleItems(12);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return combo;
}

} // namespace

TFormMain::TFormMain(const TPaths &paths, TRunState &run, QWidget *parent)
    : QMainWindow(parent)
    , m_paths(paths)
    , m_run(run)
{
    setWindowTitle(kProductName);
    setWindowIcon(AppIcons::programIcon());
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    move(222, 135);
    resize(690, 456);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(2);
    layout->addWidget(buildTopPanel());

    SplitterMain = new QSplitter(Qt::Horizontal, central);
    SplitterMain->addWidget(buildDocumentPanel());
    SplitterMain->addWidget(buildRightPanel());
    SplitterMain->setStretchFactor(0, 1);
    SplitterMain->setStretchFactor(1, 0);
    SplitterMain->setChildrenCollapsible(false);
    SplitterMain->setSizes({width() - 105, 105});
    layout->addWidget(SplitterMain, 1);
    setCentralWidget(central);

    buildStatusBar();
    buildMenus();
    buildTreeMenu();
    buildFieldMenus();
    fitMinimumSize();
    buildTimers();
    FormCreate();
}

TFormMain::~TFormMain() = default;

QWidget *TFormMain::buildTopPanel()
{
    auto *panel = new QWidget(this);
    panel->setFixedHeight(71);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(6);

    LabelVersion = new QLabel(QStringLiteral("Version 2.02"), panel);
    LabelVersion->setEnabled(false);
    LabelUrl = new QLabel(QStringLiteral("&Url:"), panel);
    ComboBoxBookmark = editableList(panel);
    LabelUrl->setBuddy(ComboBoxBookmark);
    ButtonStop = HintedButton(QStringLiteral("&Stop"), QStringLiteral("Stop all operations"), panel);
    ButtonStart = HintedButton(QStringLiteral("&Get url"), QStringLiteral("Get main document and parse it for picture links"), panel);
    ButtonParse = HintedButton(QStringLiteral("&Parse links"), QStringLiteral("Parse all selected links"), panel);
    ButtonDownload = HintedButton(QStringLiteral("&Download files"), QStringLiteral("Download all selected files"), panel);
    ButtonStop->setEnabled(false);
    ButtonParse->setEnabled(false);
    ButtonDownload->setEnabled(false);

    ButtonLoadHtml = new QToolButton(panel);
    ButtonLoadHtml->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    ButtonLoadHtml->setToolTip(QStringLiteral("Load HTML document from disk"));
    LabelDownload = new QLabel(QStringLiteral("DL dir:"), panel);
    ComboBoxDownload = editableList(panel);
    ButtonDirectory = new QToolButton(panel);
    ButtonDirectory->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    ButtonDirectory->setToolTip(QStringLiteral("Click for directory view"));

    grid->addWidget(LabelVersion, 0, 0);
    grid->addWidget(LabelUrl, 0, 1, Qt::AlignRight);
    grid->addWidget(ComboBoxBookmark, 0, 2);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {ButtonStop, ButtonStart, ButtonParse, ButtonDownload})
        buttons->addWidget(b);
    grid->addLayout(buttons, 0, 3);

    grid->addWidget(ButtonLoadHtml, 1, 0, Qt::AlignLeft);
    grid->addWidget(LabelDownload, 1, 1, Qt::AlignRight);
    auto *dirRow = new QHBoxLayout;
    dirRow->addWidget(ComboBoxDownload, 1);
    dirRow->addWidget(ButtonDirectory);
    grid->addLayout(dirRow, 1, 2);

    auto *logo = new QHBoxLayout;
    logo->addStretch();
    QFont logoFont = font();
    logoFont.setBold(true);
    logoFont.setPointSizeF(logoFont.pointSizeF() * 1.5);
    for (const QChar letter : kProductName) {
        auto *label = new QLabel(QString(letter), panel);
        label->setFont(logoFont);
        QPalette pal = label->palette();
        pal.setColor(QPalette::Active, QPalette::WindowText, kLogoLit);
        pal.setColor(QPalette::Inactive, QPalette::WindowText, kLogoLit);
        label->setPalette(pal);
        label->setEnabled(false);
        label->installEventFilter(this);
        logo->addWidget(label);
        LogoLetters << label;
    }
    LabelVersion->installEventFilter(this);
    LabelUrl->installEventFilter(this);
    grid->addLayout(logo, 1, 3);
    grid->setColumnStretch(2, 1);

    connect(ComboBoxBookmark, &QComboBox::editTextChanged, this, &TFormMain::ComboBoxBookmarkChange);
    ComboBoxBookmark->lineEdit()->installEventFilter(this);
    // The directory is tested when its edit is finished, not on every key:
    // a pause in typing, Enter, leaving the field or a pick from the list.
    m_directoryTest = new QTimer(this);
    m_directoryTest->setSingleShot(true);
    m_directoryTest->setInterval(kDirectoryTestPauseMs);
    connect(m_directoryTest, &QTimer::timeout, this, &TFormMain::ComboBoxDownloadChange);
    connect(ComboBoxDownload, &QComboBox::editTextChanged, m_directoryTest, qOverload<>(&QTimer::start));
    connect(ComboBoxDownload, &QComboBox::activated, this, &TFormMain::ComboBoxDownloadChange);
    connect(ComboBoxDownload->lineEdit(), &QLineEdit::returnPressed, this, &TFormMain::ComboBoxDownloadChange);
    connect(ButtonDirectory, &QToolButton::clicked, this, &TFormMain::directoryRequested);
    return panel;
}

QWidget *TFormMain::buildDocumentPanel()
{
    PanelDocument = new QWidget(this);
    auto *layout = new QVBoxLayout(PanelDocument);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    auto *info = new QHBoxLayout;
    LabelItems = new QLabel(QStringLiteral("&Items"), PanelDocument);
    LabelUrlInfo = new QLabel(PanelDocument);
    LabelUrlInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelUrlInfo->hide();
    info->addWidget(LabelItems);
    info->addWidget(LabelUrlInfo, 1);
    layout->addLayout(info);

    TreeView = new TItemTree(PanelDocument);
    TreeView->setToolTip(kTreeHint);
    LabelItems->setBuddy(TreeView);
    LabelWait = new QLabel(QStringLiteral("Wait - Deleting tree .."), PanelDocument);
    LabelWait->setAlignment(Qt::AlignCenter);
    LabelWait->hide();
    layout->addWidget(TreeView, 1);
    layout->addWidget(LabelWait, 1);

    connect(TreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { TreeViewChange(static_cast<TTreeNode *>(current)); });
    connect(TreeView, &QTreeWidget::itemDoubleClicked, this, &TFormMain::TreeViewDblClick);
    connect(TreeView, &TItemTree::enterPressed, this, &TFormMain::TreeViewDblClick);
    connect(TreeView, &TItemTree::spacePressed, this, &TFormMain::SelectUnselecttoggle1Click);
    m_run.watch(TreeView);
    connect(TreeView, &TItemTree::emptyingStarted, this, [this] {
        LabelWait->show();
        LabelWait->repaint(); // the emptying itself keeps the event loop away
    });
    connect(TreeView, &TItemTree::emptyingFinished, LabelWait, &QWidget::hide);
    return PanelDocument;
}

QWidget *TFormMain::buildRightPanel()
{
    PanelRight = new QWidget(this);
    PanelRight->setMinimumWidth(105);
    auto *layout = new QVBoxLayout(PanelRight);
    layout->setContentsMargins(0, 0, 0, 0);
    SplitterRight = new QSplitter(Qt::Vertical, PanelRight);
    layout->addWidget(SplitterRight);

    PanelPreview = new QWidget(SplitterRight);
    PanelPreview->setMinimumWidth(50);
    auto *preview = new QVBoxLayout(PanelPreview);
    preview->setContentsMargins(2, 2, 2, 2);
    auto *title = new QLabel(QStringLiteral("Image preview"), PanelPreview);
    title->setAlignment(Qt::AlignCenter);
    title->setAutoFillBackground(true);
    title->setBackgroundRole(QPalette::Dark);
    title->setForegroundRole(QPalette::BrightText);
    title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ImagePreview = new QLabel(PanelPreview);
    ImagePreview->setScaledContents(true);
    ImagePreview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    LabelPreviewName = new QLabel(PanelPreview);
    LabelPreviewName->setWordWrap(true);
    LabelPreviewSize = new QLabel(PanelPreview);
    LabelPreviewName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LabelPreviewSize->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    preview->addWidget(title);
    preview->addWidget(ImagePreview);
    preview->addWidget(LabelPreviewName);
    preview->addWidget(LabelPreviewSize);
    preview->addStretch();
    PanelPreview->installEventFilter(this);

    PanelProgress = new QWidget(SplitterRight);
    auto *progress = new QVBoxLayout(PanelProgress);
    progress->setContentsMargins(2, 2, 2, 2);
    progress->setSpacing(1);
    auto *progressTitle = new QLabel(QStringLiteral("Download progress"), PanelProgress);
    progressTitle->setAlignment(Qt::AlignCenter);
    progressTitle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont small = progressTitle->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    progressTitle->setFont(small);
    progress->addWidget(progressTitle);
    for (QProgressBar *&bar : ProgressBars) {
        bar = new QProgressBar(PanelProgress);
        bar->setTextVisible(false);
        bar->setFixedSize(93, 5);
        bar->setToolTip(QStringLiteral("Not active"));
        bar->setValue(0);
        progress->addWidget(bar, 0, Qt::AlignHCenter);
    }
    progress->addStretch();
    PanelProgress->setFixedHeight(75);
    SplitterRight->setStretchFactor(0, 1);
    return PanelRight;
}

void TFormMain::buildStatusBar()
{
    StatusBar = new TStatusPanels({200, 50, 80, 10, 90, 103, 130, 0}, this);
    StatusBar->setText(0, kNotActive);
    StatusBar->setText(4, QStringLiteral(" # Items: 0"));
    StatusBar->setText(5, QStringLiteral(" # Selected: 0"));
    StatusBar->setText(6, QStringLiteral(" # Remaining DL's: 0"));
    statusBar()->addWidget(StatusBar, 1);
    statusBar()->setSizeGripEnabled(true);

    Gauge = new QProgressBar(StatusBar);
    StatusBar->fill(0, Gauge, QMargins(3, 4, 4, 4));
    Gauge->setTextVisible(false);
    Gauge->setStyleSheet(QStringLiteral("QProgressBar { border: none; background: rgb(192,192,192); }"
                                        "QProgressBar::chunk { background: rgb(0,0,128); }"));
    Gauge->setMaximum(0);
    Gauge->setValue(0);
    Gauge->hide();

    // Each lamp sits in its own panel, wherever the layout puts that panel.
    LampBusy = new TLamp(QStringLiteral("Busy"), Qt::red);
    StatusBar->place(1, LampBusy, QRect(4, 3, 41, 16));
    LampBusy->setEnabled(false);
    LabelDLs = new QLabel(QStringLiteral("DL's:"));
    StatusBar->place(2, LabelDLs, QRect(3, 3, 28, 16));
    for (int k = 0; k < kSlots; ++k) {
        Lamps[k] = new TLamp(QString::number(k + 1), Qt::yellow);
        StatusBar->place(2, Lamps[k], QRect(31 + 15 * k, 3, 15, 16));
        Lamps[k]->setToolTip(QString::number(k + 1));
        Lamps[k]->setEnabled(false); // lit only while its slot transfers
    }
}

void TFormMain::buildMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    Loaditemsfromdisk1 = File1->addAction(QStringLiteral("Load items from disk"), this,
                                          &TFormMain::Loadlinksfilelistfromdisk1Click);
    Saveallitemstodisk1 = File1->addAction(QStringLiteral("Save all items to disk"), this,
                                           &TFormMain::Savelinksfilelists1Click);
    File1->addSeparator();
    Quit1 = File1->addAction(QStringLiteral("Quit"), this, &TFormMain::Quit1Click);
    Loaditemsfromdisk1->setEnabled(false);
    Saveallitemstodisk1->setEnabled(false);

    QMenu *options = menuBar()->addMenu(QStringLiteral("&Options"));
    ChangeUsernamePassword1 = options->addAction(QStringLiteral("Change Username && Password for login to protected sites"),
                                                 this, &TFormMain::loginRequested);
    Editbookmarks1 = options->addAction(QStringLiteral("Edit bookmarks"), this, &TFormMain::bookmarksRequested);
    Configuration1 = options->addAction(QStringLiteral("Configuration"), this, &TFormMain::Configuration1Click);

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    Displaydownloadengineprogress1 = view->addAction(QStringLiteral("Display download engine progress"));
    Displaydownloadengineprogress1->setCheckable(true);
    Displaydownloadengineprogress1->setChecked(true);
    connect(Displaydownloadengineprogress1, &QAction::triggered, this, &TFormMain::Displaydownloadengineprogress1Click);
    Displayimagepreview1 = view->addAction(QStringLiteral("Display image preview"));
    Displayimagepreview1->setCheckable(true);
    Displayimagepreview1->setChecked(true);
    connect(Displayimagepreview1, &QAction::triggered, this, &TFormMain::Displayimagepreview1Click);
    Statistics1 = view->addAction(QStringLiteral("Statistics"), this, &TFormMain::statisticsRequested);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    Documentation1 = help->addAction(QStringLiteral("Documentation"), this, &TFormMain::documentationRequested);
    About1 = help->addAction(QStringLiteral("About"), this, &TFormMain::aboutRequested);
    Getinformation1 = help->addAction(QStringLiteral("Get information about latest version from WEB"), this,
                                      &TFormMain::versionInfoRequested);
}

void TFormMain::buildTimers()
{
    auto timer = [this](int interval, bool running) {
        auto *t = new QTimer(this);
        t->setInterval(interval);
        if (running)
            t->start();
        return t;
    };
    TimerLogo = timer(200, true);
    m_displayTimer = timer(40, false);
    m_displayTimer->setSingleShot(true);
    connect(m_displayTimer, &QTimer::timeout, this, &TFormMain::showSlotProgress);
    connect(TimerLogo, &QTimer::timeout, this, &TFormMain::TimerLogoTimer);
}

void TFormMain::setCrawlDriver(TCrawlDriver *driver)
{
    m_crawl = driver;
    connect(ButtonStart, &QPushButton::clicked, driver, &TCrawlDriver::ButtonStartClick);
    connect(ButtonParse, &QPushButton::clicked, driver, &TCrawlDriver::ButtonParseClick);
    connect(ButtonStop, &QPushButton::clicked, driver, &TCrawlDriver::ButtonStopClick);
    connect(ButtonLoadHtml, &QToolButton::clicked, driver, &TCrawlDriver::ButtonLoadHtmlClick);
    connect(ComboBoxBookmark->lineEdit(), &QLineEdit::returnPressed, driver, &TCrawlDriver::ButtonStartClick);
    connect(this, &TFormMain::parseRequested, driver, &TCrawlDriver::ButtonParseClick);
}

void TFormMain::setDownloadScheduler(TDownloadScheduler *scheduler)
{
    m_downloads = scheduler;
    connect(ButtonDownload, &QPushButton::clicked, scheduler, &TDownloadScheduler::ButtonDownloadClick);
    connect(this, &TFormMain::downloadRequested, scheduler, &TDownloadScheduler::ButtonDownloadClick);
}

void TFormMain::setSlotLamp(int slot, bool lit)
{
    m_slotLit[slot - 1] = lit;
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

bool TFormMain::slotLampLit(int slot) const
{
    return m_slotLit[slot - 1];
}

// Transfers report every block; lamps and bars show the latest state a few
// times a second, since painting on every change cost more than the transfer.
void TFormMain::setSlotProgress(int slot, qint64 position, qint64 maximum)
{
    m_slotProgress[slot - 1] = {position, maximum};
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

void TFormMain::showSlotProgress()
{
    for (int k = 0; k < kSlots; ++k) {
        paintSlotProgress(ProgressBars[k], m_slotProgress[k].first, m_slotProgress[k].second);
        Lamps[k]->setEnabled(m_slotLit[k]);
    }
    if (m_treeDirty)
        TreeView->viewport()->update();
    m_treeDirty = false;
    if (m_remainingShown != m_remaining) {
        m_remainingShown = m_remaining;
        StatusBar->setText(6, QStringLiteral(" # Remaining DL's: ") + QString::number(m_remaining));
    }
}

void TFormMain::setRemainingCount(int remaining)
{
    m_remaining = remaining;
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

void TFormMain::paintSlotProgress(QProgressBar *bar, qint64 position, qint64 maximum)
{
    if (maximum <= 0) {
        bar->setRange(0, 1); // empty; a range of 0 to 0 would show a busy bar
        bar->setValue(0);
        return;
    }
    // The bar counts in int: very large bodies are shown in KiB.
    const int shift = maximum > std::numeric_limits<int>::max() ? 10 : 0;
    bar->setRange(0, int(maximum >> shift));
    bar->setValue(int(std::clamp<qint64>(position, 0, maximum) >> shift));
}

void TFormMain::setSlotHint(int slot, const QString &hint)
{
    ProgressBars[slot - 1]->setToolTip(hint);
}

void TFormMain::setCounts(int items, int selected, int remaining)
{
    StatusBar->setText(4, QStringLiteral(" # Items: ") + QString::number(items));
    StatusBar->setText(5, QStringLiteral(" # Selected: ") + QString::number(selected));
    StatusBar->setText(6, QStringLiteral(" # Remaining DL's: ") + QString::number(remaining));
    m_remaining = m_remainingShown = remaining;
}

void TFormMain::refreshTree()
{
    // Changed items repaint themselves; the rest of the tree follows with the bars.
    m_treeDirty = true;
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

bool TFormMain::isBusy() const
{
    return m_run.busy();
}

void TFormMain::setBusy(bool busy)
{
    m_run.setBusy(busy);
}

TTreeNode *TFormMain::currentItem() const
{
    return m_run.currentItem();
}

QString TFormMain::urlText() const
{
    return ComboBoxBookmark->currentText();
}

void TFormMain::setUrlText(const QString &url)
{
    if (ComboBoxBookmark->currentText() != url)
        ComboBoxBookmark->setCurrentText(url);
}

void TFormMain::setStatus(const QString &text)
{
    StatusBar->setText(0, text);
}

void TFormMain::setBusyLamp(bool lit)
{
    LampBusy->setEnabled(lit);
}

void TFormMain::setStartEnabled(bool enabled)
{
    ButtonStart->setEnabled(enabled);
}

void TFormMain::setParseEnabled(bool enabled)
{
    ButtonParse->setEnabled(enabled);
}

void TFormMain::showNode(TTreeNode *node)
{
    for (QTreeWidgetItem *parent = node->parent(); parent; parent = parent->parent())
        parent->setExpanded(true);
    TreeView->scrollToItem(node);
}

void TFormMain::beep()
{
    if (m_beep)
        m_beep();
    else
        QApplication::beep();
}

QString TFormMain::chooseHtmlFile()
{
    if (m_chooseFile)
        return m_chooseFile();
    return QFileDialog::getOpenFileName(this, QStringLiteral("Load HTML Document"), QString(),
                                        QStringLiteral("HTML Document (*.ht* *.shtm*)"));
}

void TFormMain::showError(const QString &text)
{
    message(text);
}

void TFormMain::ComboBoxBookmarkExit()
{
    setUrlText(NormaliseUrlField(ComboBoxBookmark->currentText()));
}

void TFormMain::setConfiguration(TFormConfiguration *configuration)
{
    Configuration = configuration;
    TreeView->setConfig(configuration);
}

QComboBox *TFormMain::urlField() { return ComboBoxBookmark; }
QComboBox *TFormMain::downloadField() { return ComboBoxDownload; }
QAction *TFormMain::previewAction() { return Displayimagepreview1; }
QAction *TFormMain::progressAction() { return Displaydownloadengineprogress1; }
TItemTree *TFormMain::itemTree() { return TreeView; }

int TFormMain::docWidth() const
{
    return PanelDocument->width();
}

void TFormMain::setDocWidth(int width)
{
    SplitterMain->setSizes({width, previewWidth()});
}

int TFormMain::previewWidth() const
{
    return PanelRight->isVisible() ? PanelRight->width() : m_previewWidth;
}

void TFormMain::setPreviewWidth(int width)
{
    m_previewWidth = qMax(width, 105);
    SplitterMain->setSizes({docWidth(), m_previewWidth});
}

QString TFormMain::itemListFile() const
{
    return m_paths.dataDir + QStringLiteral("/Trawlix.dta");
}

void TFormMain::message(const QString &text)
{
    if (m_message)
        m_message(text);
    else
        QMessageBox::warning(this, kProductName, text);
}

void TFormMain::information(const QString &text)
{
    if (m_message)
        m_message(text);
    else
        QMessageBox::information(this, kProductName, text);
}

void TFormMain::Savelinksfilelists1Click()
{
    if (TreeView->nodeCount() > 0)
        SaveListToDisk();
}

bool TFormMain::SaveListToDisk()
{
    QCoreApplication::processEvents();
    QDir().mkpath(m_paths.dataDir);
    QString error;
    if (!ItemList::save(*TreeView, itemListFile(), &error)) {
        message(QStringLiteral("The items could not be saved to %1:\n%2").arg(itemListFile(), error));
        return false;
    }
    information(QStringLiteral("%1 items was sucessfully saved to: \n\n%2/").arg(TreeView->nodeCount()).arg(m_paths.dataDir));
    Loaditemsfromdisk1->setEnabled(true);
    return true;
}

void TFormMain::Loadlinksfilelistfromdisk1Click()
{
    m_run.setBusy(true);
    LoadingItems = true;
    if (m_downloads)
        m_downloads->TimerUpdate()->stop();
    UpdateScreen();
    LoadListFromDisk();
    m_run.setBusy(false);
    LoadingItems = false;
    UpdateScreen();
    m_run.setCurrentItem(nullptr);
    m_run.setParseCursor(nullptr);
    if (m_downloads)
        m_downloads->TimerUpdate()->start();
}

void TFormMain::LoadListFromDisk()
{
    QCoreApplication::processEvents();
    if (QFile::exists(itemListFile())) {
        m_run.setCurrentItem(nullptr);
        m_run.setParseCursor(nullptr);
        QString error;
        const bool loaded = ItemList::load(TreeView, itemListFile(), m_run, &error);
        if (m_closing)
            return; // the window closed while the list loaded: nothing more to tell
        if (!loaded) {
            message(QStringLiteral("The items could not be loaded from %1:\n%2").arg(itemListFile(), error));
            return;
        }
    }
    information(QStringLiteral("%1 Items was sucessfully loaded from: \n\n%2/").arg(TreeView->nodeCount()).arg(m_paths.dataDir));
}

void TFormMain::FormCreate()
{
    m_run.setBusy(false);
    m_run.setStopRequest(false);
    LogoStep = int(LogoLetters.size());
    LabelPreviewName->clear();
    LabelPreviewSize->clear();
    ComboBoxBookmarkChange();
    m_run.setCurrentItem(nullptr);
    m_run.setParseCursor(nullptr);
}

void TFormMain::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QMainWindow::changeEvent(event);
}

void TFormMain::FormActivate()
{
    updateLoadItemsEntry();
    const QString directory = ComboBoxDownload->currentText();
    if (DirectoryOk(directory)) {
        m_warnedDirectory.clear();
        return;
    }
    paintDownloadField(false);
    // One warning per directory: closing the box activates the window again.
    if (m_warnedDirectory != directory) {
        m_warnedDirectory = directory;
        message(QStringLiteral("Specified download directory don't exist !"));
    }
    ComboBoxDownload->setFocus();
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    if (!m_closing) {
        const int pending = m_downloads ? m_downloads->pendingCount() : 0;
        if (pending > 0
            && !ask(QStringLiteral("%1 files are still queued or downloading. Quit anyway?").arg(pending)).value_or(false)) {
            event->ignore();
            return;
        }
        m_closing = true;
        // A list half loaded or a tree half filled is never saved over the list on disk.
        if (LoadingItems || (m_crawl && m_crawl->filling()))
            m_treeIncomplete = true;
        // Every run, load and fetch ends here; none starts again.
        if (m_crawl)
            m_crawl->shutDown();
        m_run.setBusy(false);
        FormClose();
    }
    event->accept();
}

void TFormMain::FormClose()
{
    if (Configuration) {
        TSettingsKey key(m_paths.settingsFile);
        key.open();
        if (Configuration->CheckBoxAutoSave->isChecked() && !m_treeIncomplete)
            Savelinksfilelists1Click();
        Configuration->binding().saveAll(key);
        emit savingSettings(key);
        QString error;
        if (!key.close(&error))
            message(QStringLiteral("The settings could not be saved:\n%1").arg(error));
    }
    emit closed();
}

void TFormMain::Quit1Click()
{
    close();
}

void TFormMain::Configuration1Click()
{
    if (Configuration)
        Configuration->exec();
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == PanelPreview && event->type() == QEvent::Resize) {
        fitPreview();
    } else if (watched == ComboBoxBookmark->lineEdit() && event->type() == QEvent::FocusOut) {
        ComboBoxBookmarkExit();
    } else if (watched == ComboBoxDownload->lineEdit() && event->type() == QEvent::FocusOut) {
        if (m_directoryTest->isActive())
            ComboBoxDownloadChange();
    } else if (watched == ComboBoxDownload->lineEdit() && event->type() == QEvent::MouseButtonDblClick) {
        emit directoryRequested();
        return true;
    } else if (watched == LabelUrl && event->type() == QEvent::MouseButtonDblClick) {
        if (Configuration)
            Configuration->show();
        return true;
    } else if (event->type() == QEvent::MouseButtonRelease
               && (watched == LabelVersion || LogoLetters.contains(qobject_cast<QLabel *>(watched)))) {
        // Dim labels take no clicks: the about window shows while a letter is lit.
        if (qobject_cast<QWidget *>(watched)->isEnabled())
            emit aboutRequested();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::TimerLogoTimer()
{
    const int n = int(LogoLetters.size());
    if (!m_run.busy()) {
        for (QLabel *letter : LogoLetters)
            letter->setEnabled(false);
        LogoStep = n;
        return;
    }
    const int old = LogoStep;
    LogoStep = old == n ? 0 : old + 1;
    if (LogoStep < n) {
        LogoLetters[LogoStep]->setEnabled(true);
    } else {
        for (QLabel *letter : LogoLetters)
            letter->setEnabled(false);
    }
}

void TFormMain::BlankPreviewImage()
{
    ImagePreview->clear();
    ImagePreview->setFixedHeight(0);
    m_pictureSize = {};
    LabelPreviewName->setText(kNoImage);
    LabelPreviewSize->clear();
}

void TFormMain::PreviewImage(TTreeNode *node)
{
    // The node may go while the blank panel is painted: take what is needed first.
    const TDataRec *item = node ? node->item() : nullptr;
    const QString localPath = item ? item->localPath : QString();
    const QString url = item ? item->url : QString();
    BlankPreviewImage();
    QCoreApplication::processEvents();
    if (!AsciiUpper(localPath).contains(QLatin1String(".JP")) || !QFile::exists(localPath))
        return;
    // A huge picture is decoded at a fraction of its size: the panel is small.
    const int wanted = qMax(256, int(ImagePreview->width() * devicePixelRatioF()));
    const TJpegPicture picture = LoadJpegImage(localPath, wanted);
    if (picture.isNull())
        return;
    ImagePreview->show();
    ImagePreview->setPixmap(QPixmap::fromImage(picture.image));
    m_pictureSize = picture.size;
    fitPreview();
    LabelPreviewName->setText(url);
    LabelPreviewSize->setText(QStringLiteral("(%1 * %2)").arg(picture.size.width()).arg(picture.size.height()));
}

void TFormMain::fitPreview()
{
    if (m_pictureSize.height() == 0 || m_pictureSize.width() == 0)
        return;
    const int width = ImagePreview->width();
    ImagePreview->setFixedHeight(qRound(double(width) * m_pictureSize.height() / m_pictureSize.width()));
}

void TFormMain::TreeViewChange(TTreeNode *node)
{
    if (!TreeView->isVisible() || LoadingItems)
        return;
    m_run.setCurrentItem(node);
    PopupMenuTreeViewPopup();
    TreeViewChangeCustom(node);
}

void TFormMain::TreeViewChangeCustom(TTreeNode *node)
{
    TreeView->setToolTip(kTreeHint);
    const TDataRec *item = node ? node->item() : nullptr;
    // A root leaves the URL line alone, also one loaded from an item list
    // (which has item data, with nothing in it).
    if (!item || ItemState::isRoot(node)) {
        BlankPreviewImage();
        return;
    }
    const bool open = ItemState::isOpen(node);
    if (item->isLink) {
        LabelUrlInfo->clear();
        BlankPreviewImage();
        if (open)
            TreeView->setToolTip(QStringLiteral("Double click for parsing selected link(s)   [Context menu]"));
    } else {
        if (open)
            TreeView->setToolTip(QStringLiteral("Double click for downloading selected file(s)   [Context menu]"));
        else if (ItemState::isTaken(node))
            TreeView->setToolTip(QStringLiteral("Double click to view file   [Context menu]"));
        LabelUrlInfo->setText(QStringLiteral("Url: ") + item->url);
        if (ItemState::isStored(node))
            PreviewImage(node);
        else
            BlankPreviewImage();
    }
    LabelUrlInfo->setVisible(!LabelUrlInfo->text().isEmpty());
}

void TFormMain::TreeViewDblClick()
{
    TTreeNode *node = m_run.currentItem();
    if (!node || !node->item())
        return;
    if (node->item()->isLink) {
        if (ItemState::isNewLink(node) && !m_run.busy()) {
            ItemState::check(node);
            emit parseRequested();
        }
        return;
    }
    if (ItemState::isNewFile(node) && !m_run.busy()) {
        ItemState::check(node);
        emit downloadRequested();
    }
    // The run may have ended, or removed the node, meanwhile.
    if (m_run.currentItem() != node || !ItemState::isStored(node))
        return;
    node->setColor(TreeView->slotColor(ColorFileViewed));
    node->item()->viewed = true;
    if (m_openFile)
        m_openFile(node->item()->localPath);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(node->item()->localPath));
}

void TFormMain::buildTreeMenu()
{
    PopupMenuTreeView = new QMenu(TreeView);
    auto entry = [this](const QString &caption, void (TFormMain::*handler)(), const QKeySequence &keys = {}) {
        QAction *action = PopupMenuTreeView->addAction(caption, this, handler);
        if (!keys.isEmpty()) {
            action->setShortcut(keys);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            TreeView->addAction(action); // the keys work without the menu
        }
        return action;
    };
    SelectUnselecttoggle1 = entry(QStringLiteral("Check / Uncheck selected items   [Spacebar]"), &TFormMain::SelectUnselecttoggle1Click);
    PopupMenuTreeView->setDefaultAction(SelectUnselecttoggle1);
    Uncheckallitems1 = entry(QStringLiteral("Uncheck all items"), &TFormMain::Uncheckallitems1Click, QKeySequence(Qt::CTRL | Qt::Key_U));
    Checkallfiles1 = entry(QStringLiteral("Check all files in selected branch"), &TFormMain::Checkallfiles1Click);
    CheckallThumbnails1 = entry(QStringLiteral("Check all Thumbnails in selected branch"), &TFormMain::CheckallThumbnails1Click);
    PopupMenuTreeView->addSeparator();
    Deleteselecteditems1 = entry(QStringLiteral("Delete selected items"), &TFormMain::Deleteselecteditems1Click, QKeySequence(Qt::Key_Delete));
    Resetitem1 = entry(QStringLiteral("Reset selected items"), &TFormMain::Resetitem1Click, QKeySequence(Qt::CTRL | Qt::Key_R));
    PopupMenuTreeView->addSeparator();
    Keywordsearch1 = entry(QStringLiteral("Keyword search"), &TFormMain::keywordSearchRequested, QKeySequence(Qt::CTRL | Qt::Key_F));
    PopupMenuTreeView->addSeparator();
    Expandall1 = entry(QStringLiteral("Expand all    [Grey +]  "), &TFormMain::Expandall1Click);
    Collapseall1 = entry(QStringLiteral("Collapse all   [Grey -]"), &TFormMain::Collapseall1Click);
    PopupMenuTreeView->addSeparator();
    Sortitems1 = entry(QStringLiteral("Sort items alphabetically"), &TFormMain::Sortitems1Click);
    Useselecteddocasmainandparseit1 = entry(QStringLiteral("Use selected link as main url and parse it"),
                                            &TFormMain::Useselecteddocasmainandparseit1Click);
    Addselectedlinktobookmarks1 = entry(QStringLiteral("Add selected link to bookmarks"),
                                        &TFormMain::Addselectedlinktobookmarks1Click, QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(PopupMenuTreeView, &QMenu::aboutToShow, this, &TFormMain::PopupMenuTreeViewPopup);
    TreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenuTreeView->popup(TreeView->viewport()->mapToGlobal(at)); });
    PopupMenuTreeViewPopup();
}

void TFormMain::PopupMenuTreeViewPopup()
{
    const bool haveNodes = TreeView->nodeCount() > 0;
    const bool idle = !m_run.busy();
    const TTreeNode *current = m_run.currentItem();
    const bool branch = haveNodes && current && current->childCount() > 0;
    const bool link = haveNodes && idle && current && current->item() && current->item()->isLink;
    for (QAction *a : {SelectUnselecttoggle1, Uncheckallitems1, Deleteselecteditems1, Resetitem1, Keywordsearch1, Sortitems1})
        a->setEnabled(haveNodes && idle);
    Checkallfiles1->setEnabled(branch);
    CheckallThumbnails1->setEnabled(branch);
    Expandall1->setEnabled(haveNodes);
    Collapseall1->setEnabled(haveNodes);
    Useselecteddocasmainandparseit1->setEnabled(link);
    Addselectedlinktobookmarks1->setEnabled(link);
}

std::optional<bool> TFormMain::ask(const QString &question, bool withCancel)
{
    if (m_ask)
        return m_ask(question);
    return AskQuestion(this, kProductName, question, withCancel);
}

void TFormMain::SelectUnselecttoggle1Click()
{
    if (!m_run.busy())
        TreeCommands::ToggleHighlighted(TreeView);
}

void TFormMain::Uncheckallitems1Click()
{
    TreeCommands::UncheckAll(TreeView);
}

void TFormMain::Checkallfiles1Click()
{
    if (TTreeNode *current = m_run.currentItem())
        TreeCommands::CheckKindInBranch(current, KindFile);
}

void TFormMain::CheckallThumbnails1Click()
{
    if (TTreeNode *current = m_run.currentItem())
        TreeCommands::CheckKindInBranch(current, KindThumbnail);
}

void TFormMain::Deleteselecteditems1Click()
{
    // No still deletes the items: Esc and the close button keep everything.
    const std::optional<bool> files = ask(QStringLiteral("When deleting items, also delete referring file on disk ?"), true);
    if (!files)
        return;
    TreeCommands::DeleteHighlighted(TreeView, *files, ExpandDirectory(ComboBoxDownload->currentText()));
    if (TreeView->nodeCount() == 0)
        m_run.setCurrentItem(nullptr);
    UpdateScreen();
}

void TFormMain::Resetitem1Click()
{
    if (m_run.currentItem())
        TreeCommands::ResetHighlighted(TreeView);
}

void TFormMain::Expandall1Click()
{
    TreeView->expandAll();
}

void TFormMain::Collapseall1Click()
{
    TreeView->collapseAll();
}

void TFormMain::Sortitems1Click()
{
    TreeCommands::SortAll(TreeView);
}

void TFormMain::Useselecteddocasmainandparseit1Click()
{
    const TTreeNode *current = m_run.currentItem();
    if (!current || !current->item() || !current->item()->isLink)
        return;
    setUrlText(current->caption());
    if (m_crawl)
        m_crawl->ButtonStartClick();
}

void TFormMain::Addselectedlinktobookmarks1Click()
{
    const TTreeNode *current = m_run.currentItem();
    if (current && current->item() && current->item()->isLink)
        addKeepingText(ComboBoxBookmark, current->caption());
}

// The first entry of an empty list would become the field's text: what the
// user typed stays.
void TFormMain::addKeepingText(QComboBox *field, const QString &entry)
{
    const QString typed = field->currentText();
    field->addItem(entry);
    field->setEditText(typed);
}

void TFormMain::buildFieldMenus()
{
    PopupMenuUrl = new QMenu(ComboBoxBookmark);
    QAction *add = PopupMenuUrl->addAction(QStringLiteral("Add Url to bookmarks"), this, &TFormMain::Addbookmark1Click);
    PopupMenuUrl->setDefaultAction(add);
    PopupMenuUrl->addAction(QStringLiteral("Edit bookmarks"), this, &TFormMain::bookmarksRequested);
    PopupMenuUrl->addAction(QStringLiteral("Copy            [Ctrl-C]"), this, &TFormMain::Copytoclipboard1Click);
    PopupMenuUrl->addAction(QStringLiteral("Paste           [Ctrl-V]"), this, &TFormMain::Paste1Click);
    ComboBoxBookmark->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ComboBoxBookmark->lineEdit(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenuUrl->popup(ComboBoxBookmark->lineEdit()->mapToGlobal(at)); });

    PopupMenuDownload = new QMenu(ComboBoxDownload);
    QAction *addDir = PopupMenuDownload->addAction(QStringLiteral("Add directory to bookmarks"), this, &TFormMain::MenuItem2Click);
    PopupMenuDownload->setDefaultAction(addDir);
    PopupMenuDownload->addAction(QStringLiteral("Delete bookmark"), this, &TFormMain::MenuItem4Click);
    PopupMenuDownload->addAction(QStringLiteral("Delete all bookmarks"), this, &TFormMain::MenuItem5Click);
    ComboBoxDownload->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ComboBoxDownload->lineEdit(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenuDownload->popup(ComboBoxDownload->lineEdit()->mapToGlobal(at)); });
    connect(ComboBoxDownload, &QComboBox::activated, this, [this](int index) { m_pickedDirectory = index; });
    ComboBoxDownload->lineEdit()->installEventFilter(this);
}

void TFormMain::Addbookmark1Click()
{
    if (!ComboBoxBookmark->currentText().isEmpty())
        addKeepingText(ComboBoxBookmark, ComboBoxBookmark->currentText());
}

void TFormMain::Copytoclipboard1Click()
{
    QGuiApplication::clipboard()->setText(ComboBoxBookmark->currentText());
}

void TFormMain::Paste1Click()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        ComboBoxBookmark->setCurrentText(text);
}

void TFormMain::MenuItem2Click()
{
    if (!ComboBoxDownload->currentText().isEmpty())
        addKeepingText(ComboBoxDownload, ComboBoxDownload->currentText());
}

void TFormMain::MenuItem4Click()
{
    if (m_pickedDirectory < 0 || m_pickedDirectory >= ComboBoxDownload->count())
        return;
    const QString shown = ComboBoxDownload->currentText();
    ComboBoxDownload->removeItem(m_pickedDirectory);
    ComboBoxDownload->setCurrentText(shown);
    m_pickedDirectory = -1;
}

void TFormMain::MenuItem5Click()
{
    const QString shown = ComboBoxDownload->currentText();
    ComboBoxDownload->clear();
    ComboBoxDownload->setCurrentText(shown);
    m_pickedDirectory = -1;
}

void TFormMain::ComboBoxBookmarkChange()
{
    ButtonStart->setEnabled(!ComboBoxBookmark->currentText().isEmpty());
}

void TFormMain::ComboBoxDownloadChange()
{
    m_directoryTest->stop();
    paintDownloadField(DirectoryOk(ComboBoxDownload->currentText()));
}

void TFormMain::paintDownloadField(bool ok)
{
    QPalette pal = ComboBoxDownload->palette();
    pal.setColor(QPalette::Base, ok ? m_fieldBackground : QColor(Qt::red));
    pal.setColor(QPalette::Text, ok ? ReadableOn(m_fieldBackground) : QColor(Qt::white));
    ComboBoxDownload->setPalette(pal);
}

void TFormMain::setFieldBackground(const QColor &color)
{
    m_fieldBackground = color;
    QPalette pal = ComboBoxBookmark->palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Text, ReadableOn(color));
    ComboBoxBookmark->setPalette(pal);
    ComboBoxDownloadChange();
}

void TFormMain::Displayimagepreview1Click()
{
    UpdatePanels();
}

void TFormMain::Displaydownloadengineprogress1Click()
{
    UpdatePanels();
}

void TFormMain::UpdateScreen()
{
    const bool busy = m_run.busy();
    if (!busy)
        ShowBar(false, 0, 0);
    StatusBar->setText(0, kNotActive);
    const bool idle = !busy;
    if (Configuration)
        Configuration->SpinEditMaxTreads->setEnabled(idle);
    for (QWidget *w : std::initializer_list<QWidget *>{ComboBoxBookmark, ComboBoxDownload, ButtonLoadHtml,
                                                       ButtonDirectory, LabelDownload, LabelUrl})
        w->setEnabled(idle);
    LampBusy->setEnabled(busy);
    ButtonStop->setEnabled(LampBusy->isLit());
    ButtonStart->setEnabled(!LampBusy->isLit());
    const bool haveNodes = TreeView->nodeCount() > 0;
    ButtonDownload->setEnabled(haveNodes && !LampBusy->isLit());
    ButtonParse->setEnabled(haveNodes && !LampBusy->isLit());
    Saveallitemstodisk1->setEnabled(haveNodes);
    File1->setEnabled(!ButtonStop->isEnabled());
    File1->menuAction()->setEnabled(!ButtonStop->isEnabled());
    if (PopupMenuTreeView)
        PopupMenuTreeViewPopup(); // the menu's keys follow the busy state too
}

void TFormMain::UpdatePanels()
{
    const bool progress = Displaydownloadengineprogress1->isChecked();
    const bool preview = Displayimagepreview1->isChecked();
    if (PanelRight->isVisible())
        m_previewWidth = PanelRight->width(); // kept while the panels are hidden
    PanelRight->setVisible(progress || preview);
    PanelProgress->setVisible(progress);
    PanelPreview->setVisible(preview);
    UpdateScreen();
}

void TFormMain::ShowBar(bool show, qint64 position, qint64 maximum)
{
    const bool visible = show && maximum > 0;
    Gauge->setVisible(visible);
    if (visible) {
        // The gauge counts in int: very large bodies are shown in KiB.
        const int shift = maximum > std::numeric_limits<int>::max() ? 10 : 0;
        Gauge->setMaximum(int(maximum >> shift));
        Gauge->setValue(int(std::min(position, maximum) >> shift));
    } else {
        StatusBar->setText(0, QStringLiteral(" Status: ") + QString::number(position) + QStringLiteral(" bytes retrieved"));
    }
}

bool TFormMain::DirectoryOk(const QString &typed) const
{
    const QString directory = ExpandDirectory(typed);
    if (directory.isEmpty())
        return false;
    // A hidden probe of a random name, removed at once: no file of the user's is touched.
    const QByteArray line = "For test perpose only - This file can be deleted !\r\n";
    QTemporaryFile probe(directory + QStringLiteral("/.trawlix-probe-XXXXXX"));
    return probe.open() && probe.write(line) == line.size() && probe.flush();
}

bool TFormMain::confirmDownloadDirectory(const QString &directory)
{
    if (DirectoryOk(directory))
        return true;
    paintDownloadField(false);
    const QString warning = QStringLiteral("Specified download directory don't exist !");
    if (QFileInfo::exists(directory)) {
        message(warning + QStringLiteral("\n\n%1 cannot be written to.").arg(directory));
        return false;
    }
    if (!ask(warning + QStringLiteral("\n\nCreate %1 now?").arg(directory)).value_or(false))
        return false;
    const bool made = QDir().mkpath(directory) && DirectoryOk(directory);
    if (!made)
        message(QStringLiteral("The directory %1 could not be created.").arg(directory));
    ComboBoxDownloadChange();
    return made;
}

void TFormMain::updateLoadItemsEntry()
{
    Loaditemsfromdisk1->setEnabled(QFile::exists(itemListFile()));
}

void TFormMain::showFriendlyName(bool on)
{
    const QIcon icon = on ? AppIcons::disguiseIcon() : AppIcons::programIcon();
    setWindowTitle(on ? QStringLiteral("It's still Trawlix :-)") : kProductName);
    QApplication::setWindowIcon(icon);
    setWindowIcon(icon);
}

void TFormMain::showSlotCount(int n)
{
    for (int k = 2; k <= kSlots; ++k) {
        Lamps[k - 1]->setVisible(k <= n);
        ProgressBars[k - 1]->setVisible(k <= n);
    }
    StatusBar->setPanelWidth(2, n * 15 + 40);
    PanelProgress->setFixedHeight(n * 6 + 32);
    fitMinimumSize();
}

// Never narrower than what the buttons, the fields and the status panels
// need: a smaller window would clip them or lay one over another.
void TFormMain::fitMinimumSize()
{
    for (QWidget *part : std::initializer_list<QWidget *>{StatusBar, statusBar(), this}) {
        if (QLayout *layout = part->layout()) {
            layout->invalidate();
            layout->activate();
        }
    }
    // The main window's own hint leaves the status bar out; its size grip takes room too.
    constexpr int kSizeGripRoom = 24;
    const int statusWidth = statusBar()->minimumSizeHint().width() + kSizeGripRoom;
    setMinimumSize(minimumSizeHint().expandedTo(QSize(std::max(kMinimumWidth, statusWidth), kMinimumHeight)));
}
