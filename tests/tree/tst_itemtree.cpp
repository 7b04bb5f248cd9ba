#include "Extension.h"
#include "ItemTree.h"
#include "TreeConfig.h"
#include "TreeCommands.h"
#include "TreeDump.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

class TestItemTree : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addedItemsLookAsTheyShould();
    void autoSelectByExtension_data();
    void autoSelectByExtension();
    void extensionSearchStartsBeforeTheLastCharacter_data();
    void extensionSearchStartsBeforeTheLastCharacter();
    void rootNodesAreBoldMaroonWithoutBoxes();

    void duplicateSearchCoversStartSubtreeAndEverythingAfter();
    void duplicateSearchNeedsAChildOfTheStartNode();
    void duplicateSearchIsCaseSensitive();
    void duplicateIndexFollowsDeletesAndEmptying();
    void duplicateIndexAgreesWithAWalkOnRandomTrees();

    void checkClickTogglesNewItemsAndKeepsFinishedOnesGreyed();
    void mouseOnTheBoxTicksWithoutChangingTheSelection();
    void spaceAndEnterAreReportedAndConsumed();
    void keypadPlusAndMinusExpandAndCollapse();
    void recolouringFollowsStateAndViewedFlag();

private:
    TItemTree *tree = nullptr;
    TFixedTreeConfig config;
};

void TestItemTree::init()
{
    config = TFixedTreeConfig();
    tree = new TItemTree;
    tree->setConfig(&config);
    tree->MakeRootNodes();
}

void TestItemTree::cleanup()
{
    delete tree;
    tree = nullptr;
}

void TestItemTree::addedItemsLookAsTheyShould()
{
    TDataRec tmpl = linkRec("http://h/a/page.htm");
    tmpl.viewed = true;
    TTreeNode *link = tree->AddTreeNode(tree->rootLinks(), tmpl);
    QCOMPARE(link->caption(), QString("http://h/a/page.htm"));
    QCOMPARE(link->imageIndex(), TreeIcon::LinkNew);
    QCOMPARE(link->stateIndex(), int(StateUnchecked));
    QVERIFY(link->isBold());
    QCOMPARE(link->color(), config.colors[ColorLink]);
    QVERIFY(!link->item()->viewed);

    TTreeNode *thumb = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/d/pic.jpg", KindThumbnail));
    QCOMPARE(thumb->caption(), QString("pic.jpg   (Thumbnail) "));
    QCOMPARE(thumb->imageIndex(), TreeIcon::FileNew);
    QVERIFY(!thumb->isBold());
    QCOMPARE(thumb->color(), config.colors[ColorFile]);

    TTreeNode *file = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/d/big.jpg"));
    QCOMPARE(file->caption(), QString("big.jpg"));
    // Appended as last child, and the template is copied, not shared.
    QCOMPARE(tree->rootFiles()->childCount(), 2);
    QCOMPARE(tree->rootFiles()->childNode(1), file);
    QVERIFY(file->item() != thumb->item());
    QCOMPARE(tree->nodeCount(), 5);
}

void TestItemTree::autoSelectByExtension_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("types");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("state");

    QTest::newRow("upper-case name") << true << "jpg,jpeg" << "pic.JPG" << int(StateChecked);
    QTest::newRow("other type") << true << "jpg,jpeg" << "clip.mpg" << int(StateUnchecked);
    QTest::newRow("substring of a type") << true << "jpg,jpeg" << "x.peg" << int(StateChecked);
    QTest::newRow("last dot counts") << true << "gz" << "a.tar.gz" << int(StateChecked);
    QTest::newRow("no dot") << true << "jpg,jpeg" << "readme" << int(StateUnchecked);
    QTest::newRow("switched off") << false << "jpg,jpeg" << "pic.jpg" << int(StateUnchecked);
}

void TestItemTree::autoSelectByExtension()
{
    QFETCH(bool, enabled);
    QFETCH(QString, types);
    QFETCH(QString, name);
    QFETCH(int, state);
    config.autoSelect = enabled;
    config.autoSelectTypes = types;
    TTreeNode *node = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/" + name));
    QCOMPARE(node->stateIndex(), state);
    // Links are never ticked automatically.
    TDataRec link = linkRec("http://h/" + name);
    QCOMPARE(tree->AddTreeNode(tree->rootLinks(), link)->stateIndex(), int(StateUnchecked));
}

void TestItemTree::extensionSearchStartsBeforeTheLastCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("extension");
    QTest::newRow("plain") << "pic.jpg" << "JPG";
    QTest::newRow("two dots") << "a.tar.gz" << "GZ";
    QTest::newRow("final dot kept") << "x.jpg." << "JPG.";
    QTest::newRow("only a final dot") << "abc." << "";
    QTest::newRow("none") << "readme" << "";
    QTest::newRow("dot in host") << "http://h.com/dir/" << "COM/DIR/";
    QTest::newRow("empty") << "" << "";
}

void TestItemTree::extensionSearchStartsBeforeTheLastCharacter()
{
    QFETCH(QString, text);
    QFETCH(QString, extension);
    QCOMPARE(ExtensionOf(text), extension);
}

void TestItemTree::rootNodesAreBoldMaroonWithoutBoxes()
{
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topNode(0), tree->rootLinks());
    QCOMPARE(tree->rootLinks()->caption(), QString("Root links:"));
    QCOMPARE(tree->rootFiles()->caption(), QString("Root files:"));
    for (TTreeNode *root : {tree->rootLinks(), tree->rootFiles()}) {
        QCOMPARE(root->stateIndex(), int(StateNone));
        QCOMPARE(root->imageIndex(), TreeIcon::Root);
        QVERIFY(root->isBold());
        QCOMPARE(root->color(), QColor(128, 0, 0));
        QVERIFY(!root->item());
    }
}

void TestItemTree::duplicateSearchCoversStartSubtreeAndEverythingAfter()
{
    TTreeNode *a = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/a/"));
    TTreeNode *b = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/b/"));
    tree->AddTreeNode(a, fileRec("http://h/a/under-a.jpg"));
    tree->AddTreeNode(b, linkRec("http://h/b/child/"));
    tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/f.jpg"));

    // From the root links node, the files root (after it) is searched too.
    QVERIFY(tree->NodeExistInTree(tree->rootLinks(), "http://h/f.jpg"));
    QVERIFY(tree->NodeExistInTree(tree->rootLinks(), "http://h/a/under-a.jpg"));
    // From b: its own subtree and what follows, not a or a's children above it.
    QVERIFY(tree->NodeExistInTree(b, "http://h/b/child/"));
    QVERIFY(tree->NodeExistInTree(b, "http://h/f.jpg"));
    QVERIFY(!tree->NodeExistInTree(b, "http://h/a/under-a.jpg"));
    QVERIFY(!tree->NodeExistInTree(b, "http://h/a/"));
    // The start node itself is not visited.
    QVERIFY(!tree->NodeExistInTree(b, "http://h/b/"));
    // A later child appended to a (above b) comes before b in pre-order.
    tree->AddTreeNode(a, fileRec("http://h/late.jpg"));
    QVERIFY(!tree->NodeExistInTree(b, "http://h/late.jpg"));
    QVERIFY(tree->NodeExistInTree(a, "http://h/late.jpg"));
}

void TestItemTree::duplicateSearchNeedsAChildOfTheStartNode()
{
    TTreeNode *lonely = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/x/"));
    tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/f.jpg"));
    QVERIFY(!tree->NodeExistInTree(lonely, "http://h/f.jpg"));
    QVERIFY(!tree->NodeExistInTree(nullptr, "http://h/f.jpg"));
}

void TestItemTree::duplicateSearchIsCaseSensitive()
{
    tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/first/"));
    tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/Pic.jpg"));
    QVERIFY(!tree->NodeExistInTree(tree->rootLinks(), "http://h/pic.jpg"));
    QVERIFY(tree->NodeExistInTree(tree->rootLinks(), "http://h/Pic.jpg"));
}

void TestItemTree::duplicateIndexFollowsDeletesAndEmptying()
{
    TTreeNode *a = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/a/"));
    tree->AddTreeNode(a, fileRec("http://h/a/1.jpg"));
    tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/a/1.jpg"));
    QCOMPARE(tree->nodeCount(), 5);

    tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/b/"));
    tree->deleteNodes({a}); // also deletes its child
    QCOMPARE(tree->nodeCount(), 4);
    QVERIFY(!tree->NodeExistInTree(tree->rootLinks(), "http://h/a/"));
    QVERIFY(tree->NodeExistInTree(tree->rootLinks(), "http://h/a/1.jpg"));

    tree->MakeRootNodes();
    QCOMPARE(tree->nodeCount(), 2);
    tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/z/"));
    QVERIFY(!tree->NodeExistInTree(tree->rootLinks(), "http://h/a/1.jpg"));
}

// The index must give the answers of a plain walk from the start node's
// first child to the end of the tree, whatever order the tree grew or was sorted in.
static bool walkSearch(TItemTree *tree, TTreeNode *start, const QString &url)
{
    if (!start || start->childCount() == 0)
        return false;
    QTreeWidgetItemIterator it(start->child(0));
    for (; *it; ++it) {
        const TDataRec *item = static_cast<TTreeNode *>(*it)->item();
        if (item && item->url == url)
            return true;
    }
    Q_UNUSED(tree);
    return false;
}

void TestItemTree::duplicateIndexAgreesWithAWalkOnRandomTrees()
{
    QRandomGenerator rng(20261209);
    QList<TTreeNode *> nodes{tree->rootLinks(), tree->rootFiles()};
    for (int step = 0; step < 1500; ++step) {
        const int action = rng.bounded(10);
        if (action == 0 && nodes.size() > 4) {
            TTreeNode *victim = nodes.at(2 + rng.bounded(nodes.size() - 2));
            QList<TTreeNode *> gone;
            QTreeWidgetItemIterator it(victim);
            // Collect the victim's subtree before deleting it.
            gone << victim;
            std::function<void(TTreeNode *)> collect = [&](TTreeNode *n) {
                for (int i = 0; i < n->childCount(); ++i) {
                    gone << n->childNode(i);
                    collect(n->childNode(i));
                }
            };
            collect(victim);
            for (TTreeNode *n : gone)
                nodes.removeOne(n);
            tree->deleteNodes({victim});
        } else if (action == 1 && step % 5 == 0) {
            TreeCommands::SortAll(tree);
        } else {
            TTreeNode *parent = nodes.at(rng.bounded(nodes.size()));
            const QString url = QStringLiteral("http://h/%1").arg(rng.bounded(60));
            nodes << tree->AddTreeNode(parent, rng.bounded(2) ? linkRec(url) : fileRec(url));
        }
        if (step % 25 == 0) {
            // The rows show the store's order, and the store walks it step by step.
            QList<TItemId> shown, walked;
            tree->forEachNode([&shown](TTreeNode *n) { shown << n->id(); });
            for (TItemId id = tree->topNode(0)->id(); id != kNoItem; id = tree->store()->nextInPreOrder(id))
                walked << id;
            QCOMPARE(walked, shown);
            for (TTreeNode *start : nodes) {
                for (int u = 0; u < 60; u += 7) {
                    const QString url = QStringLiteral("http://h/%1").arg(u);
                    QCOMPARE(tree->NodeExistInTree(start, url), walkSearch(tree, start, url));
                }
            }
        }
    }
    QCOMPARE(tree->nodeCount(), nodes.size());
}

void TestItemTree::checkClickTogglesNewItemsAndKeepsFinishedOnesGreyed()
{
    QSignalSpy clicked(tree, &TItemTree::checkClicked);
    TTreeNode *fresh = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/new.jpg"));
    tree->clickCheckBox(fresh);
    QCOMPARE(fresh->stateIndex(), int(StateChecked));
    tree->clickCheckBox(fresh);
    QCOMPARE(fresh->stateIndex(), int(StateUnchecked));

    for (TreeIcon icon : {TreeIcon::Busy, TreeIcon::FileFailed, TreeIcon::FileStored, TreeIcon::LinkFailed, TreeIcon::LinkParsed}) {
        TTreeNode *done = tree->AddTreeNode(tree->rootFiles(), fileRec(QString("http://h/%1.jpg").arg(int(icon))));
        done->setImageIndex(icon);
        done->setStateIndex(StateDone);
        tree->clickCheckBox(done);
        QCOMPARE(done->stateIndex(), int(StateDone));
    }
    // A link not parsed may be ticked again after being greyed.
    TTreeNode *link = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/l/"));
    link->setStateIndex(StateDone);
    tree->clickCheckBox(link);
    QCOMPARE(link->stateIndex(), int(StateChecked));

    tree->clickCheckBox(tree->rootLinks());
    QCOMPARE(tree->rootLinks()->stateIndex(), int(StateNone));
    QCOMPARE(clicked.count(), 8);
}

void TestItemTree::mouseOnTheBoxTicksWithoutChangingTheSelection()
{
    TTreeNode *a = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/a.jpg"));
    TTreeNode *b = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/b.jpg"));
    tree->resize(400, 300);
    tree->show();
    tree->expandAll();
    QVERIFY(QTest::qWaitForWindowExposed(tree));
    a->setSelected(true);

    const QPoint onBox = tree->checkRect(b).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onBox);
    QCOMPARE(b->stateIndex(), int(StateChecked));
    QVERIFY(a->isSelected());
    QVERIFY(!b->isSelected());

    // A click on the caption selects and leaves the box alone.
    const QRect row = tree->visualItemRect(b);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(row.right() - 5, row.center().y()));
    QVERIFY(b->isSelected());
    QCOMPARE(b->stateIndex(), int(StateChecked));
}

void TestItemTree::spaceAndEnterAreReportedAndConsumed()
{
    TTreeNode *a = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/a.jpg"));
    tree->show();
    tree->setCurrentItem(a);
    QSignalSpy space(tree, &TItemTree::spacePressed);
    QSignalSpy enter(tree, &TItemTree::enterPressed);
    QTest::keyClick(tree, Qt::Key_Space);
    QTest::keyClick(tree, Qt::Key_Return);
    QTest::keyClick(tree, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(space.count(), 1);
    QCOMPARE(enter.count(), 2);
    // The tree's own toggling of the focused item does not follow.
    QCOMPARE(a->stateIndex(), int(StateUnchecked));
}

void TestItemTree::keypadPlusAndMinusExpandAndCollapse()
{
    TTreeNode *a = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/a/"));
    tree->AddTreeNode(a, fileRec("http://h/a/x.jpg"));
    tree->show();
    QTest::keyRelease(tree, Qt::Key_Plus, Qt::KeypadModifier);
    QVERIFY(tree->rootLinks()->isExpanded());
    QVERIFY(a->isExpanded());
    QTest::keyRelease(tree, Qt::Key_Minus, Qt::KeypadModifier);
    QVERIFY(!tree->rootLinks()->isExpanded());
    QVERIFY(!a->isExpanded());
    // The main keyboard's plus is not the keypad's.
    QTest::keyRelease(tree, Qt::Key_Plus);
    QVERIFY(!tree->rootLinks()->isExpanded());
}

void TestItemTree::recolouringFollowsStateAndViewedFlag()
{
    TTreeNode *link = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/a/"));
    TTreeNode *parsed = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/b/"));
    parsed->setStateIndex(StateDone);
    TTreeNode *file = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/1.jpg"));
    TTreeNode *stored = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/2.jpg"));
    stored->setStateIndex(StateDone);
    TTreeNode *viewed = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/3.jpg"));
    viewed->setStateIndex(StateDone);
    viewed->item()->viewed = true;
    TTreeNode *loadedRoot = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/r/"));
    loadedRoot->setImageIndex(TreeIcon::Root);
    loadedRoot->setStateIndex(StateDone);

    for (int slot = 1; slot <= 6; ++slot)
        config.colors[slot] = QColor(slot * 40, 10, 10);
    tree->Recolor();

    QCOMPARE(link->color(), config.colors[ColorLink]);
    QCOMPARE(parsed->color(), config.colors[ColorLinkParsed]);
    QCOMPARE(file->color(), config.colors[ColorFile]);
    QCOMPARE(stored->color(), config.colors[ColorFileStored]);
    QCOMPARE(viewed->color(), config.colors[ColorFileViewed]);
    QCOMPARE(loadedRoot->color(), config.colors[ColorLink]);
    QCOMPARE(tree->rootLinks()->color(), QColor(128, 0, 0));
    QCOMPARE(tree->palette().color(QPalette::Base), config.colors[ColorBackground]);
    QVERIFY(link->isBold());
    QVERIFY(!file->isBold());
}

QTEST_MAIN(TestItemTree)
#include "tst_itemtree.moc"
