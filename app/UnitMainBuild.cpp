// The main window, part: building its panels, status bar, menus and timers.
#include "UnitMain.h"

#include "Controls.h"
#include "DataRec.h"
#include "ElidedLabel.h"
#include "ItemTree.h"
#include "Lamp.h"
#include "PaintPacer.h"
#include "RunState.h"
#include "StatusPanels.h"
#include "UnitConfiguration.h"
#include "UnitMain_p.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace MainWindowLook;

QComboBox *MainWindowLook::editableList(QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setMaxVisibleItems(12);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return combo;
}

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
    LabelUrlInfo = new TElidedLabel(PanelDocument);
    LabelUrlInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelUrlInfo->hide();
    info->setSpacing(16); // "Items" and the current item's "Url: …" stay apart
    info->addWidget(LabelItems);
    info->addWidget(LabelUrlInfo, 1);
    layout->addLayout(info);

    TreeView = new TItemTree(&m_items, PanelDocument);
    TreeView->setToolTip(kTreeHint);
    TreeView->setEmptyText(kEmptyTreeHint);
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
    for (int k = 0; k < kSlots; ++k) {
        QProgressBar *&bar = ProgressBars[k];
        bar = new QProgressBar(PanelProgress);
        bar->setTextVisible(false);
        bar->setFixedSize(93, 5);
        m_slotHint[k] = QStringLiteral("Not active");
        bar->setToolTip(m_slotHint[k]);
        bar->setValue(0);
        progress->addWidget(bar, 0, Qt::AlignHCenter);
    }
    LabelRunFigures = new QLabel(PanelProgress);
    connect(LabelRunFigures, &QLabel::linkActivated, this, [this] { sizeLimitsRequested(); });
    LabelRunFigures->setFont(small);
    LabelRunFigures->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LabelRunFigures->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LabelRunFigures->setWordWrap(true); // a narrow panel wraps a line rather than cut it
    LabelRunFigures->hide();
    progress->addWidget(LabelRunFigures);
    progress->addStretch();
    PanelProgress->setFixedHeight(75);
    SplitterRight->setStretchFactor(0, 1);
    return PanelRight;
}

void TFormMain::buildStatusBar()
{
    StatusBar = new TStatusPanels({200, 50, 80, 10, 90, 103, 130, 0}, this);
    StatusBar->setText(0, kNotActive);
    StatusBar->keepWhole(0, kNotActive);
    connect(StatusBar, &TStatusPanels::widened, this, &TFormMain::fitMinimumSize);
    StatusBar->setText(4, QStringLiteral(" Items: 0"));
    StatusBar->setText(5, QStringLiteral(" Selected: 0"));
    StatusBar->setText(6, QStringLiteral(" Downloads left: 0"));
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
    LabelDLs = new QLabel(QStringLiteral("Slots:"));
    // The lamps start after the label as the font draws it.
    m_lampsLeft = 3 + LabelDLs->fontMetrics().horizontalAdvance(LabelDLs->text()) + 3;
    StatusBar->place(2, LabelDLs, QRect(3, 3, m_lampsLeft - 3, 16));
    for (int k = 0; k < kSlots; ++k) {
        Lamps[k] = new TLamp(QString::number(k + 1), Qt::yellow);
        StatusBar->place(2, Lamps[k], QRect(m_lampsLeft + 15 * k, 3, 15, 16));
        Lamps[k]->setToolTip(QString::number(k + 1));
        Lamps[k]->setEnabled(false); // lit only while its slot transfers
    }
}

void TFormMain::buildMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    Loaditemsfromdisk1 = File1->addAction(QStringLiteral("&Load items from disk"), this,
                                          &TFormMain::Loadlinksfilelistfromdisk1Click);
    Saveallitemstodisk1 = File1->addAction(QStringLiteral("&Save all items to disk"), this,
                                           &TFormMain::Savelinksfilelists1Click);
    ExportUrls1 = File1->addAction(QStringLiteral("&Export ticked URLs..."), this, &TFormMain::ExportUrls1Click);
    OpenDownloadFolder1 = File1->addAction(QStringLiteral("Open &download folder"), this, &TFormMain::OpenDownloadFolder1Click);
    File1->addSeparator();
    Quit1 = File1->addAction(QStringLiteral("&Quit"), this, &TFormMain::Quit1Click);
    Quit1->setShortcut(QKeySequence::Quit);
    // Keys a browser user reaches for: the address field and reload.
    auto *toUrl = new QAction(this);
    toUrl->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(toUrl, &QAction::triggered, this, [this] {
        ComboBoxBookmark->lineEdit()->setFocus(Qt::ShortcutFocusReason);
        ComboBoxBookmark->lineEdit()->selectAll();
    });
    auto *again = new QAction(this);
    again->setShortcut(QKeySequence(Qt::Key_F5));
    connect(again, &QAction::triggered, this, [this] {
        if (ButtonStart->isEnabled())
            ButtonStart->click();
    });
    addActions({toUrl, again});
    Loaditemsfromdisk1->setEnabled(false);
    Saveallitemstodisk1->setEnabled(false);

    QMenu *options = menuBar()->addMenu(QStringLiteral("&Options"));
    ChangeUsernamePassword1 = options->addAction(QStringLiteral("Change &Username && Password for login to protected sites"),
                                                 this, &TFormMain::loginRequested);
    Editbookmarks1 = options->addAction(QStringLiteral("Edit &bookmarks"), this, &TFormMain::bookmarksRequested);
    Configuration1 = options->addAction(QStringLiteral("&Configuration"), this, &TFormMain::Configuration1Click);

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    Displaydownloadengineprogress1 = view->addAction(QStringLiteral("Display download engine &progress"));
    Displaydownloadengineprogress1->setCheckable(true);
    Displaydownloadengineprogress1->setChecked(true);
    connect(Displaydownloadengineprogress1, &QAction::triggered, this, &TFormMain::Displaydownloadengineprogress1Click);
    Displayimagepreview1 = view->addAction(QStringLiteral("Display image pre&view"));
    Displayimagepreview1->setCheckable(true);
    Displayimagepreview1->setChecked(true);
    connect(Displayimagepreview1, &QAction::triggered, this, &TFormMain::Displayimagepreview1Click);
    Statistics1 = view->addAction(QStringLiteral("&Statistics"), this, &TFormMain::statisticsRequested);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    Documentation1 = help->addAction(QStringLiteral("&Documentation"), this, &TFormMain::documentationRequested);
    About1 = help->addAction(QStringLiteral("&About"), this, &TFormMain::aboutRequested);
    Getinformation1 = help->addAction(QStringLiteral("&Get information about latest version from WEB"), this,
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
    new TPaintPacer(this, [this] { return m_run.busy(); });
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

void TFormMain::nameControls()
{
    NameControls({
        {LabelVersion, "LabelVersion"},
        {LabelUrl, "LabelUrl"},
        {ComboBoxBookmark, "ComboBoxBookmark"},
        {ButtonStop, "ButtonStop"},
        {ButtonStart, "ButtonStart"},
        {ButtonParse, "ButtonParse"},
        {ButtonDownload, "ButtonDownload"},
        {ButtonLoadHtml, "ButtonLoadHtml"},
        {LabelDownload, "LabelDownload"},
        {ComboBoxDownload, "ComboBoxDownload"},
        {ButtonDirectory, "ButtonDirectory"},
        {LabelItems, "LabelItems"},
        {LabelRunFigures, "LabelRunFigures"},
        {LabelUrlInfo, "LabelUrlInfo"},
        {LabelRunFigures, "LabelRunFigures"},
        {LabelWait, "LabelWait"},
        {TreeView, "TreeView"},
        {SplitterMain, "SplitterMain"},
        {SplitterRight, "SplitterRight"},
        {PanelDocument, "PanelDocument"},
        {PanelRight, "PanelRight"},
        {PanelPreview, "PanelPreview"},
        {ImagePreview, "ImagePreview"},
        {LabelPreviewName, "LabelPreviewName"},
        {LabelPreviewSize, "LabelPreviewSize"},
        {PanelProgress, "PanelProgress"},
        {StatusBar, "StatusBar"},
        {Gauge, "Gauge"},
        {LampBusy, "LampBusy"},
        {LabelDLs, "LabelDLs"},
        {File1, "File1"},
        {Loaditemsfromdisk1, "Loaditemsfromdisk1"},
        {Saveallitemstodisk1, "Saveallitemstodisk1"},
        {ExportUrls1, "ExportUrls1"},
        {OpenDownloadFolder1, "OpenDownloadFolder1"},
        {Quit1, "Quit1"},
        {ChangeUsernamePassword1, "ChangeUsernamePassword1"},
        {Editbookmarks1, "Editbookmarks1"},
        {Configuration1, "Configuration1"},
        {Displaydownloadengineprogress1, "Displaydownloadengineprogress1"},
        {Displayimagepreview1, "Displayimagepreview1"},
        {Statistics1, "Statistics1"},
        {Documentation1, "Documentation1"},
        {About1, "About1"},
        {Getinformation1, "Getinformation1"},
        {PopupMenuTreeView, "PopupMenuTreeView"},
        {SelectUnselecttoggle1, "SelectUnselecttoggle1"},
        {Uncheckallitems1, "Uncheckallitems1"},
        {Checkallfiles1, "Checkallfiles1"},
        {CheckallThumbnails1, "CheckallThumbnails1"},
        {Deleteselecteditems1, "Deleteselecteditems1"},
        {Resetitem1, "Resetitem1"},
        {Keywordsearch1, "Keywordsearch1"},
        {Expandall1, "Expandall1"},
        {Collapseall1, "Collapseall1"},
        {Sortitems1, "Sortitems1"},
        {Useselecteddocasmainandparseit1, "Useselecteddocasmainandparseit1"},
        {Addselectedlinktobookmarks1, "Addselectedlinktobookmarks1"},
        {ShowInFolder1, "ShowInFolder1"},
        {RetryFailed1, "RetryFailed1"},
        {DownloadSkipped1, "DownloadSkipped1"},
        {CopyUrls1, "CopyUrls1"},
        {CheckSize1, "CheckSize1"},
        {SelectAtLeast1, "SelectAtLeast1"},
        {PopupMenuUrl, "PopupMenuUrl"},
        {PopupMenuDownload, "PopupMenuDownload"},
        {TimerLogo, "TimerLogo"},
    });
    for (int i = 0; i < kSlots; ++i) {
        ProgressBars[i]->setObjectName(QStringLiteral("Gauge%1").arg(i + 1));
        Lamps[i]->setObjectName(QStringLiteral("Lamp%1").arg(i + 1));
    }
    for (int i = 0; i < LogoLetters.size(); ++i)
        LogoLetters[i]->setObjectName(QStringLiteral("Logo%1").arg(i + 1));
}
