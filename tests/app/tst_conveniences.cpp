#include "ItemTree.h"
#include "Parts.h"
#include "ScriptedServer.h"
#include "StatusPanels.h"
#include "TreeConfig.h"
#include "TreeDump.h"
#include "Windows.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QShortcut>
#include <QTemporaryDir>
#include <QtTest>

// What a desktop user expects of the main window beyond the buttons:
// several URLs pasted or dropped at once, the browser's keys, and the
// download folder shown in the file manager.
class TestConveniences : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void severalPastedUrlsBecomeBookmarks();
    void oneUrlPastesAtTheCursor();
    void droppedUrlIsFetched();
    void urlsGivenAtStartAreFetched();
    void programTakesAUrlOnItsCommandLine();
    void browserKeys();
    void foldersAreShown();
    void tickedUrlsAreExported();
    void highlightedUrlsAreCopied();

private:
    QComboBox *urlField() const { return Part<QComboBox>(*w->main, "ComboBoxBookmark"); }
    QString url(const QString &path) const { return QString("http://127.0.0.1:%1%2").arg(server->port()).arg(path); }

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TWindows> w;
    std::unique_ptr<TScriptedServer> server;
};

void TestConveniences::init()
{
    home = std::make_unique<QTemporaryDir>();
    w = std::make_unique<TWindows>(home->path());
    server = std::make_unique<TScriptedServer>();
    w->main->show();
}

void TestConveniences::cleanup()
{
    w.reset();
    server.reset();
}

void TestConveniences::severalPastedUrlsBecomeBookmarks()
{
    QApplication::clipboard()->setText("http://a.org/1.htm\nhttp://b.org/2.htm\n");
    QLineEdit *edit = urlField()->lineEdit();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(urlField()->currentText(), QString("http://a.org/1.htm"));
    QCOMPARE(urlField()->count(), 2);
    QCOMPARE(urlField()->itemText(1), QString("http://b.org/2.htm"));
    // The same through the field's menu entry.
    QApplication::clipboard()->setText("https://c.org/ https://d.org/");
    Part<QMenu>(*w->main, "PopupMenuUrl")->actions().at(3)->trigger();
    QCOMPARE(urlField()->currentText(), QString("https://c.org/"));
    QCOMPARE(urlField()->count(), 4);
    QVERIFY(server->requests().isEmpty()); // pasting fetches nothing
}

void TestConveniences::oneUrlPastesAtTheCursor()
{
    QLineEdit *edit = urlField()->lineEdit();
    edit->setFocus();
    urlField()->setEditText("http://h.org/");
    edit->setCursorPosition(edit->text().size());
    QApplication::clipboard()->setText("page.htm");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(urlField()->currentText(), QString("http://h.org/page.htm"));
    QCOMPARE(urlField()->count(), 0);
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(urlField()->currentText(), QString("http://h.org/"));
}

void TestConveniences::droppedUrlIsFetched()
{
    server->route("/", TScriptedServer::page("<img src=\"a.jpg\">"));
    QMimeData data;
    data.setUrls({QUrl(url("/")), QUrl("file:///tmp/x.jpg"), QUrl("http://other.org/")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->main.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->main.get(), &drop);
    QCOMPARE(urlField()->currentText(), url("/"));
    QCOMPARE(urlField()->count(), 2);
    QTRY_VERIFY(w->main->itemTree()->rootFiles());
    QCOMPARE(w->main->itemTree()->rootFiles()->childCount(), 1);
}

void TestConveniences::urlsGivenAtStartAreFetched()
{
    server->route("/", TScriptedServer::page("<img src=\"a.jpg\"><img src=\"b.jpg\">"));
    w->main->fetchUrls({url("/"), "http://second.example/"});
    QCOMPARE(urlField()->currentText(), url("/"));
    QVERIFY(urlField()->findText("http://second.example/") >= 0);
    QTRY_VERIFY(w->main->itemTree()->rootFiles());
    QCOMPARE(w->main->itemTree()->rootFiles()->childCount(), 2);
}

void TestConveniences::programTakesAUrlOnItsCommandLine()
{
    server->route("/start.htm", TScriptedServer::page("<img src=\"a.jpg\">"));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", home->path());
    environment.insert("XDG_CONFIG_HOME", home->filePath("config"));
    environment.insert("XDG_DATA_HOME", home->filePath("data"));
    program.setProcessEnvironment(environment);
    program.start(TRAWLIX_PROGRAM, {url("/start.htm")});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!server->requests().isEmpty(), 20000);
    QVERIFY(server->requests().first().startsWith("GET /start.htm "));
    program.kill();
    program.waitForFinished();
    // Asking for help or the version needs no window at all.
    QProcess help;
    QProcessEnvironment bare = environment;
    bare.remove("QT_QPA_PLATFORM");
    bare.remove("DISPLAY");
    bare.remove("WAYLAND_DISPLAY");
    help.setProcessEnvironment(bare);
    help.start(TRAWLIX_PROGRAM, {"--version"});
    QVERIFY(help.waitForFinished());
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(help.readAllStandardOutput().startsWith("trawlix "));
    // Nor does a mistyped option, which is said to be one, beside the toolkit's own.
    help.start(TRAWLIX_PROGRAM, {"-style", "fusion", "--bogus"});
    QVERIFY(help.waitForFinished());
    QCOMPARE(help.exitStatus(), QProcess::NormalExit);
    QCOMPARE(help.exitCode(), 1);
    QVERIFY(help.readAllStandardError().contains("Unknown option 'bogus'"));
}

void TestConveniences::browserKeys()
{
    server->route("/", TScriptedServer::page("<img src=\"a.jpg\">"));
    TFormMain &m = *w->main;
    m.activateWindow();
    QTRY_VERIFY(m.isActiveWindow());
    urlField()->setEditText(url("/"));
    m.itemTree()->setFocus();
    QTest::keyClick(&m, Qt::Key_L, Qt::ControlModifier);
    QTRY_VERIFY(urlField()->lineEdit()->hasFocus());
    QCOMPARE(urlField()->lineEdit()->selectedText(), url("/"));
    QTest::keyClick(&m, Qt::Key_F5);
    QTRY_VERIFY(m.itemTree()->rootFiles());
    QCOMPARE(server->requests().size(), 1);
    QCOMPARE(Part<QAction>(m, "Quit1")->shortcut(), QKeySequence(QKeySequence::Quit));
}

void TestConveniences::foldersAreShown()
{
    TFormMain &m = *w->main;
    Part<QAction>(m, "OpenDownloadFolder1")->trigger();
    QCOMPARE(w->shownFolders, QStringList{w->paths.defaultDownloadDir});
    // A stored file is shown in its folder; others are not.
    TItemTree *tree = m.itemTree();
    tree->MakeRootNodes();
    TDataRec rec = fileRec("http://h.org/y.gif");
    rec.localPath = w->paths.defaultDownloadDir + "/y.gif";
    TTreeNode *file = tree->AddTreeNode(tree->rootFiles(), rec);
    tree->setCurrentItem(file);
    Part<QMenu>(m, "PopupMenuTreeView")->popup(QPoint());
    QVERIFY(!Part<QAction>(m, "ShowInFolder1")->isEnabled());
    file->setImageIndex(TreeIcon::FileStored);
    Part<QMenu>(m, "PopupMenuTreeView")->hide();
    Part<QMenu>(m, "PopupMenuTreeView")->popup(QPoint());
    QVERIFY(Part<QAction>(m, "ShowInFolder1")->isEnabled());
    Part<QAction>(m, "ShowInFolder1")->trigger();
    QCOMPARE(w->shownFolders.value(1), rec.localPath);
    // A folder that is not there is said, not handed on.
    Part<QComboBox>(m, "ComboBoxDownload")->setEditText(home->filePath("missing"));
    Part<QAction>(m, "OpenDownloadFolder1")->trigger();
    QCOMPARE(w->shownFolders.size(), 2);
    QCOMPARE(w->messages.value(0), "The download folder \"" + home->filePath("missing") + "\" does not exist yet.");
}

void TestConveniences::tickedUrlsAreExported()
{
    TFormMain &m = *w->main;
    TItemTree *tree = m.itemTree();
    tree->MakeRootNodes();
    tree->AddTreeNode(tree->rootLinks(), linkRec("http://h.org/page.html"));
    TTreeNode *a = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h.org/a.jpg"));
    tree->AddTreeNode(tree->rootFiles(), fileRec("http://h.org/b.jpg", KindThumbnail));
    TTreeNode *c = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h.org/c.jpg"));
    auto exported = [this, &m] {
        w->chosenSaveFile = home->filePath("urls.txt");
        Part<QAction>(m, "ExportUrls1")->trigger();
        QFile file(w->chosenSaveFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    };
    // None ticked: every file, links left out; one URL a line, as wget -i reads them.
    QCOMPARE(exported(), QByteArray("http://h.org/a.jpg\nhttp://h.org/b.jpg\nhttp://h.org/c.jpg\n"));
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->text(0), " Status: Exported 3 URLs to " + home->filePath("urls.txt"));
    a->setStateIndex(StateChecked);
    c->setStateIndex(StateChecked);
    QCOMPARE(exported(), QByteArray("http://h.org/a.jpg\nhttp://h.org/c.jpg\n"));
    // Cancelled: nothing written; a place that cannot be written: said, and the old file kept.
    const int said = w->messages.size();
    w->chosenSaveFile.clear();
    Part<QAction>(m, "ExportUrls1")->trigger();
    QCOMPARE(w->messages.size(), said);
    w->chosenSaveFile = home->filePath("no/such/dir/urls.txt");
    Part<QAction>(m, "ExportUrls1")->trigger();
    QVERIFY(w->messages.last().startsWith("The URLs could not be exported to " + home->filePath("no/such/dir/urls.txt")));
}

void TestConveniences::highlightedUrlsAreCopied()
{
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    TTreeNode *link = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h.org/page.html"));
    tree->AddTreeNode(tree->rootFiles(), fileRec("http://h.org/a.jpg"));
    TTreeNode *b = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h.org/b.jpg"));
    link->setSelected(true);
    b->setSelected(true);
    tree->rootFiles()->setSelected(true); // a root has no URL
    w->main->UpdateScreen(); // the menu's entries follow the tree
    QVERIFY(Part<QAction>(*w->main, "CopyUrls1")->isEnabled());
    Part<QAction>(*w->main, "CopyUrls1")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString("http://h.org/page.html\nhttp://h.org/b.jpg\n"));
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(0), QString(" Status: Copied 2 URLs"));
    // Shift+F10 opens the tree's menu, as the Menu key does.
    QMenu *menu = Part<QAction>(*w->main, "CopyUrls1")->associatedObjects().isEmpty()
                      ? nullptr
                      : qobject_cast<QMenu *>(Part<QAction>(*w->main, "CopyUrls1")->associatedObjects().first());
    QVERIFY(menu);
    Part<QShortcut>(*w->main, "TreeMenuShortcut")->activated();
    QTRY_VERIFY(menu->isVisible());
    menu->close();
}

QTEST_MAIN(TestConveniences)
#include "tst_conveniences.moc"
