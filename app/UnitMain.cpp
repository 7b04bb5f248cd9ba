// The main window: its construction, the wiring to the runs, and the form's own events.
#include "UnitMain.h"

#include "AppIcons.h"
#include "CrawlDriver.h"
#include "DataRec.h"
#include "DesktopNotifier.h"
#include "DesktopOpener.h"
#include "DownloadScheduler.h"
#include "ItemList.h"
#include "ItemTree.h"
#include "Question.h"
#include "RunState.h"
#include "SettingsKey.h"
#include "StatusPanels.h"
#include "UnitConfiguration.h"
#include "UnitMain_p.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>

#include <cstdio>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace MainWindowLook;

TFormMain::TFormMain(const TPaths &paths, TRunState &run, TItemStore &items, QWidget *parent)
    : QMainWindow(parent)
    , m_paths(paths)
    , m_run(run)
    , m_items(items)
    , m_desktop(new TDesktopOpener(this))
    , m_notify(NotifyDesktop)
    , m_showFolder([this](const QString &path) {
        if (QFileInfo(path).isDir())
            m_desktop->open(path);
        else
            m_desktop->showInFolder(path);
    })
{
    connect(m_desktop, &TDesktopOpener::failed, this, &TFormMain::message);
    setWindowTitle(kProductName);
    setAcceptDrops(true); // URLs dropped from a browser or file manager
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
    nameControls();
    FormCreate();
}

TFormMain::~TFormMain() = default;

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

void TFormMain::FormCreate()
{
    m_run.setBusy(false);
    m_run.setStopRequest(false);
    LogoStep = int(LogoLetters.size());
    LabelPreviewName->clear();
    LabelPreviewSize->clear();
    ComboBoxBookmarkChange();
    m_run.setCurrentItem(kNoItem);
    m_run.setParseCursor(kNoItem);
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
        message(QStringLiteral("The download directory does not exist !"));
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
        QString backup;
        if (Configuration->autoSaveOnClose() && !m_treeIncomplete && TreeView->nodeCount() > 0) {
            backup = keepOlderList();
            SaveListToDisk(true);
        }
        Configuration->binding().saveAll(key);
        // Told once at the next start; a notice shown at this start is done.
        if (!backup.isEmpty() || m_backupNoticeShown)
            key.writeString(QStringLiteral("ItemListBackup"), backup);
        emit savingSettings(key);
        QString error;
        if (!key.close(&error))
            message(QStringLiteral("The settings could not be saved:\n%1").arg(error));
    }
    emit closed();
}

// A list on disk with items the tree does not hold (a start with a URL, say,
// that began a new tree) is kept as Trawlix.dta.bak, one generation, before
// the exit save replaces it. Its path, or empty when none was needed.
QString TFormMain::keepOlderList()
{
    const QString list = itemListFile();
    if (!ItemList::holdsItemsMissingFrom(*TreeView, list))
        return {};
    const QString backup = list + QStringLiteral(".bak");
    QFile::remove(backup);
    if (!QFile::copy(list, backup))
        return {};
    std::fprintf(stderr, "trawlix: the item list on disk held items this tree does not; it was kept as %s\n",
                 qPrintable(backup));
    return backup;
}

void TFormMain::noteItemListBackup(const QString &path)
{
    if (path.isEmpty() || !QFile::exists(path))
        return;
    setStatus(QStringLiteral(" Status: The last exit saved a smaller item list; the one before was kept as ") + path);
    m_backupNoticeShown = true;
}

void TFormMain::Quit1Click()
{
    close();
}

void TFormMain::OpenDownloadFolder1Click()
{
    const QString directory = ExpandDirectory(ComboBoxDownload->currentText());
    if (!QFileInfo(directory).isDir()) {
        message(QStringLiteral("The download folder \"%1\" does not exist yet.").arg(directory));
        return;
    }
    m_showFolder(directory);
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
    } else if (watched == ComboBoxBookmark->lineEdit() && event->type() == QEvent::KeyPress
               && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
        pasteIntoUrlField();
        return true;
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

std::optional<bool> TFormMain::ask(const QString &question, bool withCancel)
{
    if (m_ask)
        return m_ask(question);
    return AskQuestion(this, kProductName, question, withCancel);
}

void TFormMain::showFriendlyName(bool on)
{
    const QIcon icon = on ? AppIcons::disguiseIcon() : AppIcons::programIcon();
    setWindowTitle(on ? QStringLiteral("It's still Trawlix :-)") : kProductName);
    QApplication::setWindowIcon(icon);
    setWindowIcon(icon);
}
