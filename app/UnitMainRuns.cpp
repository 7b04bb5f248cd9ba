// The main window, part: what the crawl and download runs ask of it, the item list, its export and the directory test.
#include "UnitMain.h"

#include "Controls.h"
#include "DownloadScheduler.h"
#include "ItemList.h"
#include "ItemTree.h"
#include "Lamp.h"
#include "RunState.h"
#include "StatusPanels.h"
#include "TreeCommands.h"
#include "UnitMain_p.h"
#include "UrlRules.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>

#include <cstdio>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTimer>

using namespace MainWindowLook;

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
    return TreeView->nodeOf(m_run.currentItem());
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

void TFormMain::showNode(TItemId id)
{
    TTreeNode *node = TreeView->nodeOf(id);
    if (!node)
        return;
    for (QTreeWidgetItem *parent = node->parent(); parent; parent = parent->parent())
        parent->setExpanded(true);
    TreeView->scrollToItem(node);
}

void TFormMain::expandItem(TItemId id)
{
    if (TTreeNode *node = TreeView->nodeOf(id))
        node->setExpanded(true);
}

int TFormMain::highlightedCount() const
{
    return int(TreeView->selectedItems().size());
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

QString TFormMain::itemListFile() const
{
    return m_paths.dataDir + QStringLiteral("/Trawlix.dta");
}

void TFormMain::Savelinksfilelists1Click()
{
    if (TreeView->nodeCount() > 0)
        SaveListToDisk();
}

bool TFormMain::SaveListToDisk(bool quiet)
{
    if (!quiet)
        QCoreApplication::processEvents();
    QDir().mkpath(m_paths.dataDir);
    QString error;
    if (!ItemList::save(*TreeView, itemListFile(), &error)) {
        message(QStringLiteral("The items could not be saved to %1:\n%2").arg(itemListFile(), error));
        return false;
    }
    const QString saved = ItemCountText(TreeView->nodeCount(), "saved to");
    // On the way out no box holds the quit: a line on standard error says it.
    if (quiet)
        std::fprintf(stderr, "trawlix: %s %s/\n", qPrintable(saved), qPrintable(m_paths.dataDir));
    else
        information(saved + QStringLiteral(":\n\n%1/").arg(m_paths.dataDir));
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
    m_run.setCurrentItem(kNoItem);
    m_run.setParseCursor(kNoItem);
    if (m_downloads)
        m_downloads->TimerUpdate()->start();
}

void TFormMain::LoadListFromDisk()
{
    QCoreApplication::processEvents();
    if (QFile::exists(itemListFile())) {
        m_run.setCurrentItem(kNoItem);
        m_run.setParseCursor(kNoItem);
        QString error;
        const bool loaded = ItemList::load(TreeView, itemListFile(), m_run, &error);
        if (m_closing)
            return; // the window closed while the list loaded: nothing more to tell
        if (!loaded) {
            message(QStringLiteral("The items could not be loaded from %1:\n%2").arg(itemListFile(), error));
            return;
        }
    }
    information(ItemCountText(TreeView->nodeCount(), "loaded from") + QStringLiteral(":\n\n%1/").arg(m_paths.dataDir));
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
    const QString warning = QStringLiteral("The download directory does not exist !");
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

void TFormMain::ExportUrls1Click()
{
    const QStringList urls = TreeCommands::FileUrlsToExport(TreeView);
    if (urls.isEmpty()) {
        information(QStringLiteral("There are no files to export."));
        return;
    }
    const QString suggested = QDir(ExpandDirectory(ComboBoxDownload->currentText())).filePath(QStringLiteral("urls.txt"));
    const QString path = m_chooseSaveFile
                             ? m_chooseSaveFile(suggested)
                             : QFileDialog::getSaveFileName(this, QStringLiteral("Export ticked URLs"), suggested,
                                                            QStringLiteral("Text file (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    // One URL a line, as wget -i and curl read them; written whole or not at all.
    QSaveFile file(path);
    const QByteArray text = urls.join(QLatin1Char('\n')).toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        message(QStringLiteral("The URLs could not be exported to %1:\n%2").arg(path, file.errorString()));
        return;
    }
    setStatus(urls.size() == 1 ? QStringLiteral(" Status: Exported 1 URL to %1").arg(path)
                               : QStringLiteral(" Status: Exported %1 URLs to %2").arg(urls.size()).arg(path));
}
