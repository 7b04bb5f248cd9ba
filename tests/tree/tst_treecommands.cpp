#include "ItemTree.h"
#include "TreeCommands.h"
#include "TreeConfig.h"
#include "TreeDump.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TreeCommands;

// The tree's commands on a tree of their own, without the main window.
class TestTreeCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void toggleAndUncheckAll();
    void checkFilesInBranchStaysInTheBranch();
    void deleteRemovesTopMostHighlightedOnly();
    void deletingManySiblingsKeepsTheRestInOrder();
    void deleteTouchesOnlyFilesInsideTheDownloadDirectory();
    void resetMakesItemsNewAgain();
    void filesToCheckFollowTheSelection();
    void sortFollowsTheLanguageAndKeepsTheIndexTrue();
    void keywordSearch_data();
    void keywordSearch();

private:
    TTreeNode *file(TTreeNode *parent, const QString &name, int kind = KindFile, int state = StateUnchecked);
    TTreeNode *link(TTreeNode *parent, const QString &name);
    // What the duplicate index answers must equal a walk of the tree.
    void expectIndexTrue();

    TFixedTreeConfig config;
    TItemTree *tree = nullptr;
    QTemporaryDir dir;
};

void TestTreeCommands::init()
{
    tree = new TItemTree;
    tree->setConfig(&config);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->MakeRootNodes();
}

void TestTreeCommands::cleanup()
{
    delete tree;
}

TTreeNode *TestTreeCommands::file(TTreeNode *parent, const QString &name, int kind, int state)
{
    TDataRec rec = fileRec("http://h/" + name, kind);
    rec.localPath = dir.filePath(name);
    TTreeNode *node = tree->AddTreeNode(parent, rec);
    node->setStateIndex(state);
    return node;
}

TTreeNode *TestTreeCommands::link(TTreeNode *parent, const QString &name)
{
    return tree->AddTreeNode(parent, linkRec("http://h/" + name));
}

void TestTreeCommands::expectIndexTrue()
{
    QStringList urls;
    tree->forEachNode([&urls](TTreeNode *n) {
        if (n->item())
            urls << n->item()->url;
    });
    urls << "http://h/never.htm";
    // A node comes after start's first child in pre-order when the walk from there meets it.
    tree->forEachNode([&](TTreeNode *start) {
        if (start->childCount() == 0)
            return;
        QStringList after;
        bool started = false;
        tree->forEachNode([&](TTreeNode *n) {
            started = started || n == start->childNode(0);
            if (started && n->item())
                after << n->item()->url;
        });
        for (const QString &url : std::as_const(urls))
            QCOMPARE(tree->NodeExistInTree(start, url), after.contains(url));
    });
}

void TestTreeCommands::toggleAndUncheckAll()
{
    TTreeNode *a = file(tree->rootFiles(), "a.jpg");
    TTreeNode *b = file(tree->rootFiles(), "b.jpg", KindFile, StateChecked);
    TTreeNode *stored = file(tree->rootFiles(), "c.jpg", KindFile, StateDone);
    stored->setImageIndex(TreeIcon::FileStored);
    TTreeNode *l = link(tree->rootLinks(), "l.htm");
    for (TTreeNode *n : {a, b, stored, l, tree->rootLinks()})
        n->setSelected(true);
    ToggleHighlighted(tree);
    QCOMPARE(a->stateIndex(), int(StateChecked));
    QCOMPARE(b->stateIndex(), int(StateUnchecked));
    QCOMPARE(stored->stateIndex(), int(StateDone));
    QCOMPARE(l->stateIndex(), int(StateChecked));
    QCOMPARE(tree->rootLinks()->stateIndex(), int(StateNone));
    UncheckAll(tree);
    for (TTreeNode *n : {a, b, l})
        QCOMPARE(n->stateIndex(), int(StateUnchecked));
    QCOMPARE(stored->stateIndex(), int(StateDone));
    QCOMPARE(tree->rootFiles()->stateIndex(), int(StateNone));
}

void TestTreeCommands::checkFilesInBranchStaysInTheBranch()
{
    TTreeNode *page = link(tree->rootLinks(), "page.htm");
    TTreeNode *pic = file(page, "pic.jpg");
    TTreeNode *thumb = file(page, "th.jpg", KindThumbnail);
    TTreeNode *sub = link(page, "sub.htm");
    TTreeNode *deeper = file(sub, "deep.jpg");
    CheckKindInBranch(page, KindFile);
    QCOMPARE(pic->stateIndex(), int(StateChecked));
    QCOMPARE(thumb->stateIndex(), int(StateUnchecked));
    QCOMPARE(sub->stateIndex(), int(StateUnchecked));
    QCOMPARE(deeper->stateIndex(), int(StateUnchecked));
    CheckKindInBranch(page, KindThumbnail);
    QCOMPARE(thumb->stateIndex(), int(StateChecked));
}

void TestTreeCommands::deleteRemovesTopMostHighlightedOnly()
{
    TTreeNode *page = link(tree->rootLinks(), "page.htm");
    TTreeNode *inner = file(page, "inner.jpg");
    TTreeNode *keep = file(tree->rootFiles(), "keep.jpg");
    page->setSelected(true);
    inner->setSelected(true); // under a highlighted node: goes with it, not twice
    QCOMPARE(TopMostHighlighted(tree), QList<TTreeNode *>{page});
    DeleteHighlighted(tree, false, dir.path());
    QCOMPARE(tree->rootLinks()->childCount(), 0);
    QCOMPARE(tree->rootFiles()->childNode(0), keep);
    QCOMPARE(tree->nodeCount(), 3);
    expectIndexTrue();
}

void TestTreeCommands::deletingManySiblingsKeepsTheRestInOrder()
{
    QList<TTreeNode *> files;
    for (int i = 0; i < 100; ++i)
        files << file(tree->rootFiles(), QString("f%1.jpg").arg(i, 3, 10, QChar('0')));
    TTreeNode *nested = file(files[3], "nested.jpg");
    file(files[5], "kept.jpg");
    tree->rootFiles()->setExpanded(true);
    files[3]->setExpanded(true);
    files[5]->setExpanded(true);
    for (int i = 0; i < 100; i += 2)
        files[i]->setSelected(true);
    nested->setSelected(true);
    DeleteHighlighted(tree, false, dir.path());
    // What was open stays open.
    QVERIFY(tree->rootFiles()->isExpanded());
    QVERIFY(files[5]->isExpanded());
    QCOMPARE(tree->rootFiles()->childCount(), 50);
    for (int i = 0; i < 50; ++i)
        QCOMPARE(tree->rootFiles()->childNode(i)->caption(), QString("f%1.jpg").arg(2 * i + 1, 3, 10, QChar('0')));
    QCOMPARE(files[3]->childCount(), 0);
    QCOMPARE(tree->nodeCount(), 53);
    expectIndexTrue();
}

void TestTreeCommands::deleteTouchesOnlyFilesInsideTheDownloadDirectory()
{
    QDir(dir.path()).mkdir("downloads");
    const QString downloads = dir.filePath("downloads");
    auto touch = [](const QString &path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    };
    TTreeNode *mine = file(tree->rootFiles(), "mine.jpg");
    mine->item()->localPath = downloads + "/mine.jpg";
    TTreeNode *escaping = file(tree->rootFiles(), "escape.jpg");
    escaping->item()->localPath = downloads + "/../escape.jpg";
    TTreeNode *parent = link(tree->rootLinks(), "p.htm");
    TTreeNode *child = file(parent, "child.jpg");
    child->item()->localPath = downloads + "/child.jpg";
    for (const QString &path : {mine->item()->localPath, escaping->item()->localPath, child->item()->localPath})
        touch(path);
    for (TTreeNode *n : {mine, escaping, parent})
        n->setSelected(true);
    const QStringList removed = DeleteHighlighted(tree, true, downloads);
    QCOMPARE(removed, QStringList{downloads + "/mine.jpg"});
    QVERIFY(QFile::exists(dir.filePath("escape.jpg")));   // outside: left alone
    QVERIFY(QFile::exists(downloads + "/child.jpg")); // not itself highlighted
    QCOMPARE(tree->nodeCount(), 2);
}

void TestTreeCommands::resetMakesItemsNewAgain()
{
    TTreeNode *thumb = file(tree->rootFiles(), "t.jpg", KindThumbnail, StateDone);
    thumb->setImageIndex(TreeIcon::FileStored);
    thumb->setCaption("t.jpg   (Thumbnail)   (5000 bytes)");
    thumb->item()->sizeText = "5000";
    thumb->item()->viewed = true;
    thumb->item()->sizeChecked = true;
    thumb->item()->width = 10;
    TTreeNode *parsed = link(tree->rootLinks(), "parsed.htm");
    parsed->setImageIndex(TreeIcon::LinkParsed);
    parsed->setStateIndex(StateDone);
    TTreeNode *found = file(parsed, "found.jpg");
    found->setSelected(true); // goes with its reset link
    thumb->setSelected(true);
    parsed->setSelected(true);
    ResetHighlighted(tree);
    QCOMPARE(thumb->caption(), QString("t.jpg   (Thumbnail) "));
    QCOMPARE(thumb->imageIndex(), TreeIcon::FileNew);
    QCOMPARE(thumb->selectedIndex(), TreeIcon::FileNew);
    QCOMPARE(thumb->stateIndex(), int(StateUnchecked));
    QVERIFY(thumb->item()->sizeText.isEmpty() && !thumb->item()->viewed);
    QVERIFY(!thumb->item()->sizeChecked && thumb->item()->width == 0);
    QCOMPARE(parsed->imageIndex(), TreeIcon::LinkNew);
    QCOMPARE(parsed->stateIndex(), int(StateUnchecked));
    QCOMPARE(parsed->childCount(), 0);
    expectIndexTrue();
}

void TestTreeCommands::filesToCheckFollowTheSelection()
{
    TTreeNode *branch = link(tree->rootLinks(), "gallery.htm");
    TTreeNode *a = file(branch, "a.jpg");
    TTreeNode *b = file(branch, "b.jpg", KindFile, StateChecked);
    TTreeNode *c = file(tree->rootFiles(), "c.jpg", KindFile, StateChecked);
    TTreeNode *stored = file(tree->rootFiles(), "s.jpg", KindFile, StateDone);
    stored->setImageIndex(TreeIcon::FileStored);
    // A highlighted branch alone: its files, when nothing is ticked...
    branch->setSelected(true);
    b->setStateIndex(StateUnchecked);
    c->setStateIndex(StateUnchecked);
    QCOMPARE(FilesToCheck(tree), QList<TItemId>({a->id(), b->id()}));
    // ...the ticked files before it...
    c->setStateIndex(StateChecked);
    QCOMPARE(FilesToCheck(tree), QList<TItemId>({c->id()}));
    // ...and highlighted files before both; a stored file is never asked about again.
    a->setSelected(true);
    stored->setSelected(true);
    QCOMPARE(FilesToCheck(tree), QList<TItemId>({a->id()}));
    c->item()->sizeChecked = true;
    QCOMPARE(FilesNotChecked(tree), QList<TItemId>({a->id(), b->id()}));
}

void TestTreeCommands::sortFollowsTheLanguageAndKeepsTheIndexTrue()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    for (const char *name : {"zebra.jpg", "Apple.jpg", "\xc3\xa9t\xc3\xa9.jpg", "banana.jpg"})
        file(tree->rootFiles(), QString::fromUtf8(name));
    TTreeNode *page = link(tree->rootLinks(), "page.htm");
    file(page, "b.jpg");
    file(page, "a.jpg");
    link(tree->rootLinks(), "another.htm");
    tree->rootLinks()->setExpanded(true);
    page->setExpanded(true);
    SortAll(tree);
    QVERIFY(tree->rootLinks()->isExpanded() && page->isExpanded());
    QVERIFY(!tree->rootFiles()->isExpanded());
    QStringList names;
    for (int i = 0; i < tree->rootFiles()->childCount(); ++i)
        names << tree->rootFiles()->childNode(i)->caption();
    QCOMPARE(names.first(), QString("Apple.jpg"));
    QCOMPARE(names.last(), QString("zebra.jpg"));
    QVERIFY(names.indexOf(QString::fromUtf8("\xc3\xa9t\xc3\xa9.jpg")) < names.indexOf("zebra.jpg"));
    // The roots keep their order.
    QCOMPARE(tree->topNode(0)->caption(), QString("Root links:"));
    QCOMPARE(tree->topNode(1)->caption(), QString("Root files:"));
    QCOMPARE(tree->rootLinks()->childNode(0)->caption(), QString("http://h/another.htm"));
    QCOMPARE(page->childNode(0)->caption(), QString("a.jpg"));
    expectIndexTrue();
}

void TestTreeCommands::keywordSearch_data()
{
    QTest::addColumn<bool>("wholeTree");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("check");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<bool>("links");
    QTest::addColumn<bool>("files");
    QTest::addColumn<int>("counter");
    QTest::newRow("branch reaches children only") << false << "jpg" << true << false << true << true << 2;
    QTest::newRow("tree reaches everything") << true << "jpg" << true << false << true << true << 4;
    QTest::newRow("case must match") << true << "JPG" << true << true << true << true << 1;
    QTest::newRow("links only") << true << "htm" << true << false << true << false << 2;
    QTest::newRow("unchecking counts down") << true << "checked" << false << false << true << true << -1;
    QTest::newRow("already as wanted counts nothing") << true << "checked" << true << false << true << true << 0;
}

void TestTreeCommands::keywordSearch()
{
    QFETCH(bool, wholeTree);
    QFETCH(QString, keyword);
    QFETCH(bool, check);
    QFETCH(bool, caseSensitive);
    QFETCH(bool, links);
    QFETCH(bool, files);
    QFETCH(int, counter);
    TTreeNode *page = link(tree->rootLinks(), "page.htm");
    file(page, "one.jpg");
    file(page, "TWO.JPG");
    TTreeNode *sub = link(page, "sub.htm");
    file(sub, "three.jpg");
    file(tree->rootFiles(), "four.jpg");
    file(tree->rootFiles(), "checked.gif", KindFile, StateChecked);
    TTreeNode *stored = file(tree->rootFiles(), "stored.jpg", KindFile, StateDone);
    stored->setImageIndex(TreeIcon::FileStored); // never changed: not new
    TKeywordSearch search{keyword, wholeTree, links, files, check, caseSensitive};
    QCOMPARE(KeywordSearch(tree, page, search), counter);
    QCOMPARE(stored->stateIndex(), int(StateDone));
}

QTEST_MAIN(TestTreeCommands)
#include "tst_treecommands.moc"
