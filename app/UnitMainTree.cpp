// The main window, part: the item tree's selection, double click, preview and context menu.
#include "UnitMain.h"

#include "CrawlDriver.h"
#include "DataRec.h"
#include "DesktopOpener.h"
#include "Extension.h"
#include "ItemState.h"
#include "ItemTree.h"
#include "JpegImage.h"
#include "RunState.h"
#include "SizeCheck.h"
#include "TreeCommands.h"
#include "UnitMain_p.h"
#include "UrlRules.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QShortcut>

using namespace MainWindowLook;

void TFormMain::BlankPreviewImage()
{
    ImagePreview->clear();
    ImagePreview->setFixedHeight(0);
    m_pictureSize = {};
    LabelPreviewName->setText(kNoImage);
    LabelPreviewSize->clear();
}

void TFormMain::PreviewImage(TItemId id)
{
    PreviewImage(TreeView->nodeOf(id));
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
    LabelPreviewSize->setText(QStringLiteral("%1 \u00d7 %2").arg(picture.size.width()).arg(picture.size.height()));
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
    m_run.setCurrentItem(node ? node->id() : kNoItem);
    PopupMenuTreeViewPopup();
    TreeViewChangeCustom(node);
}

void TFormMain::TreeViewChangeCustom(TTreeNode *node)
{
    TreeView->setToolTip(kTreeHint);
    const TDataRec *item = node ? node->item() : nullptr;
    // A root leaves the URL line alone, also one loaded from an item list
    // (which has item data, with nothing in it).
    if (!item || ItemState::isRoot(node->ref())) {
        BlankPreviewImage();
        return;
    }
    const bool open = ItemState::isOpen(node->ref());
    if (item->isLink) {
        LabelUrlInfo->clear();
        BlankPreviewImage();
        if (open)
            TreeView->setToolTip(QStringLiteral("Double click for parsing selected link(s)   [Context menu]"));
    } else {
        if (open)
            TreeView->setToolTip(QStringLiteral("Double click for downloading selected file(s)   [Context menu]"));
        else if (ItemState::isTaken(node->ref()))
            TreeView->setToolTip(QStringLiteral("Double click to view file   [Context menu]"));
        LabelUrlInfo->setText(QStringLiteral("Url: ") + item->url);
        if (ItemState::isStored(node->ref()))
            PreviewImage(node);
        else
            BlankPreviewImage();
    }
    LabelUrlInfo->setVisible(!LabelUrlInfo->text().isEmpty());
}

void TFormMain::TreeViewDblClick()
{
    TTreeNode *node = currentItem();
    if (!node || !node->item())
        return;
    if (node->item()->isLink) {
        if (ItemState::isNewLink(node->ref()) && !m_run.busy()) {
            ItemState::check(node->ref());
            emit parseRequested();
        }
        return;
    }
    if (ItemState::isNewFile(node->ref()) && !m_run.busy()) {
        ItemState::check(node->ref());
        emit downloadRequested();
    }
    // The run may have ended, or removed the node, meanwhile.
    if (currentItem() != node || !ItemState::isStored(node->ref()))
        return;
    node->setColor(TreeView->slotColor(ColorFileViewed));
    node->item()->viewed = true;
    if (m_openFile)
        m_openFile(node->item()->localPath);
    else
        m_desktop->open(node->item()->localPath);
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
    SelectUnselecttoggle1 = entry(QStringLiteral("&Check / Uncheck selected items   [Spacebar]"), &TFormMain::SelectUnselecttoggle1Click);
    PopupMenuTreeView->setDefaultAction(SelectUnselecttoggle1);
    Uncheckallitems1 = entry(QStringLiteral("&Uncheck all items"), &TFormMain::Uncheckallitems1Click, QKeySequence(Qt::CTRL | Qt::Key_U));
    Checkallfiles1 = entry(QStringLiteral("Check all &files in selected branch"), &TFormMain::Checkallfiles1Click);
    CheckallThumbnails1 = entry(QStringLiteral("Check all &Thumbnails in selected branch"), &TFormMain::CheckallThumbnails1Click);
    PopupMenuTreeView->addSeparator();
    Deleteselecteditems1 = entry(QStringLiteral("&Delete selected items"), &TFormMain::Deleteselecteditems1Click, QKeySequence(Qt::Key_Delete));
    Resetitem1 = entry(QStringLiteral("&Reset selected items"), &TFormMain::Resetitem1Click, QKeySequence(Qt::CTRL | Qt::Key_R));
    PopupMenuTreeView->addSeparator();
    Keywordsearch1 = entry(QStringLiteral("&Keyword search"), &TFormMain::keywordSearchRequested, QKeySequence(Qt::CTRL | Qt::Key_F));
    PopupMenuTreeView->addSeparator();
    Expandall1 = entry(QStringLiteral("&Expand all\tKeypad +"), &TFormMain::Expandall1Click);
    Collapseall1 = entry(QStringLiteral("C&ollapse all\tKeypad -"), &TFormMain::Collapseall1Click);
    PopupMenuTreeView->addSeparator();
    Sortitems1 = entry(QStringLiteral("&Sort items alphabetically"), &TFormMain::Sortitems1Click);
    Useselecteddocasmainandparseit1 = entry(QStringLiteral("Use selected link as &main url and parse it"),
                                            &TFormMain::Useselecteddocasmainandparseit1Click);
    Addselectedlinktobookmarks1 = entry(QStringLiteral("Add selected link to &bookmarks"),
                                        &TFormMain::Addselectedlinktobookmarks1Click, QKeySequence(Qt::CTRL | Qt::Key_A));
    ShowInFolder1 = entry(QStringLiteral("Show in fo&lder"), &TFormMain::ShowInFolder1Click);
    RetryFailed1 = entry(QStringLiteral("Retry fa&iled files"), &TFormMain::RetryFailed1Click);
    DownloadSkipped1 = entry(QStringLiteral("Download skipped files any&way"), &TFormMain::DownloadSkipped1Click);
    DownloadSkipped1->setToolTip(QStringLiteral("Downloads the files the size limits skipped, this once; the limits stay "
                                                "as they are"));
    CopyUrls1 = entry(QStringLiteral("Cop&y URLs"), &TFormMain::CopyUrls1Click);
    PopupMenuTreeView->addSeparator();
    CheckSize1 = entry(QStringLiteral("Check si&ze"), &TFormMain::CheckSize1Click);
    CheckSize1->setToolTip(QStringLiteral("Asks the server how large the highlighted (else the ticked) files are, "
                                          "and how many pixels a picture has, without downloading them"));
    SelectAtLeast1 = entry(QStringLiteral("Select files &at least W x H..."), &TFormMain::atLeastRequested);
    PopupMenuTreeView->setToolTipsVisible(true);
    connect(PopupMenuTreeView, &QMenu::aboutToShow, this, &TFormMain::PopupMenuTreeViewPopup);
    TreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenuTreeView->popup(TreeView->viewport()->mapToGlobal(at)); });
    // Shift+F10 opens it as the Menu key does, at the current item.
    auto *menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), TreeView, nullptr, nullptr, Qt::WidgetShortcut);
    menuKey->setObjectName(QStringLiteral("TreeMenuShortcut"));
    connect(menuKey, &QShortcut::activated, this, [this] {
        const QTreeWidgetItem *current = TreeView->currentItem();
        const QPoint at = current ? TreeView->visualItemRect(current).bottomLeft() : QPoint(0, 0);
        emit TreeView->customContextMenuRequested(at);
    });
    PopupMenuTreeViewPopup();
}

void TFormMain::PopupMenuTreeViewPopup()
{
    const bool haveNodes = TreeView->nodeCount() > 0;
    const bool idle = !m_run.busy();
    const TTreeNode *current = currentItem();
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
    ShowInFolder1->setEnabled(haveNodes && current && ItemState::isStored(current->ref()));
    RetryFailed1->setEnabled(haveNodes && idle);
    DownloadSkipped1->setEnabled(haveNodes && idle);
    CopyUrls1->setEnabled(haveNodes);
    CheckSize1->setEnabled(haveNodes && idle && m_sizeCheck);
    SelectAtLeast1->setEnabled(haveNodes && idle);
}

void TFormMain::CheckSize1Click()
{
    if (m_run.busy() || !m_sizeCheck)
        return;
    if (!m_sizeCheck->start(TreeCommands::FilesToCheck(TreeView)))
        setStatus(QStringLiteral(" Status: No new file to check - highlight or tick the files first"));
}

void TFormMain::RetryFailed1Click()
{
    if (m_run.busy())
        return;
    if (TreeCommands::RetryFailed(TreeView) > 0)
        emit downloadRequested();
}

void TFormMain::DownloadSkipped1Click()
{
    if (m_run.busy())
        return;
    if (TreeCommands::RetrySkipped(TreeView) > 0)
        emit downloadRequested();
    else
        setStatus(QStringLiteral(" Status: No file was skipped by the size limits"));
}

void TFormMain::CopyUrls1Click()
{
    const QStringList urls = TreeCommands::HighlightedUrls(TreeView);
    if (urls.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(urls.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    setStatus(urls.size() == 1 ? QStringLiteral(" Status: Copied 1 URL") : QStringLiteral(" Status: Copied %1 URLs").arg(urls.size()));
}

void TFormMain::ShowInFolder1Click()
{
    const TTreeNode *current = currentItem();
    if (current && ItemState::isStored(current->ref()))
        m_showFolder(current->item()->localPath);
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
    if (TTreeNode *current = currentItem())
        TreeCommands::CheckKindInBranch(current, KindFile);
}

void TFormMain::CheckallThumbnails1Click()
{
    if (TTreeNode *current = currentItem())
        TreeCommands::CheckKindInBranch(current, KindThumbnail);
}

void TFormMain::Deleteselecteditems1Click()
{
    // No still deletes the items: Esc and the close button keep everything.
    const std::optional<bool> files = ask(QStringLiteral("When deleting items, also delete their files on disk?"), true);
    if (!files)
        return;
    TreeCommands::DeleteHighlighted(TreeView, *files, ExpandDirectory(ComboBoxDownload->currentText()));
    if (TreeView->nodeCount() == 0)
        m_run.setCurrentItem(kNoItem);
    UpdateScreen();
}

void TFormMain::Resetitem1Click()
{
    if (currentItem())
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
    const TTreeNode *current = currentItem();
    if (!current || !current->item() || !current->item()->isLink)
        return;
    setUrlText(current->caption());
    if (m_crawl)
        m_crawl->ButtonStartClick();
}

void TFormMain::Addselectedlinktobookmarks1Click()
{
    const TTreeNode *current = currentItem();
    if (current && current->item() && current->item()->isLink)
        addKeepingText(ComboBoxBookmark, current->caption());
}

void TFormMain::Displayimagepreview1Click()
{
    UpdatePanels();
}

void TFormMain::Displaydownloadengineprogress1Click()
{
    UpdatePanels();
}
