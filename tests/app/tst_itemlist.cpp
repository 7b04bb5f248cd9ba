#include "ItemList.h"
#include "ItemTree.h"
#include "Parts.h"
#include "StatusPanels.h"
#include "TreeDump.h"
#include "Windows.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include <cstring>

// Saving the item tree and loading it back through the main window's menu.
class TestItemList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyKindOfNodeComesBack();
    void sixRecordsInPreOrder();
    void emptyTreeSavesNothing();
    void loadedUrlsAreIndexed();
    void stopEndsALoad();
    void autoSaveAtClose();
    void exitSaveKeepsAListThatHadMore();
    void hostileFiles_data();
    void hostileFiles();
    void loadAndSaveKeepEveryTextByteForByte();
    void numbersOutOfRangeBecomeDefaults();

private:
    QList<TItemRecord> records() const;
    void writeList(const QByteArray &bytes) const;

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TWindows> w;
};

void TestItemList::init()
{
    home = std::make_unique<QTemporaryDir>();
    w = std::make_unique<TWindows>(home->path());
    w->main->show();
}

void TestItemList::cleanup()
{
    w.reset();
    home.reset();
}

QList<TItemRecord> TestItemList::records() const
{
    QList<TItemRecord> list;
    w->main->itemTree()->forEachNode([&list](TTreeNode *node) {
        int level = 0;
        for (auto *p = node->parent(); p; p = p->parent())
            ++level;
        list << ItemList::recordOf(node, level);
    });
    return list;
}

void TestItemList::writeList(const QByteArray &bytes) const
{
    QFile file(w->main->itemListFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestItemList::everyKindOfNodeComesBack()
{
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    TTreeNode *fresh = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/new.htm"));
    TTreeNode *parsed = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/parsed.htm"));
    parsed->setImageIndex(TreeIcon::LinkParsed);
    parsed->setStateIndex(StateDone);
    TTreeNode *failed = tree->AddTreeNode(parsed, linkRec("http://h/failed.htm"));
    failed->setImageIndex(TreeIcon::LinkFailed);
    failed->setStateIndex(StateDone);
    TTreeNode *child = tree->AddTreeNode(parsed, fileRec("http://h/under.jpg"));
    child->setStateIndex(StateChecked);
    TDataRec stored = fileRec("http://h/" + QString(60, 'n') + ".jpg", KindThumbnail);
    stored.localPath = "/d/stored.jpg";
    stored.sizeText = QString(20, '9');
    TTreeNode *viewed = tree->AddTreeNode(tree->rootFiles(), stored);
    viewed->setImageIndex(TreeIcon::FileStored);
    viewed->setStateIndex(StateDone);
    viewed->item()->viewed = true;
    viewed->setCaption(QString(300, 'c'));
    TTreeNode *skipped = tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/skip.gif"));
    skipped->setImageIndex(TreeIcon::FileFailed);
    skipped->setStateIndex(StateDone);
    // A chain down to the deepest level the format holds.
    TTreeNode *deep = fresh;
    for (int level = 2; level <= 50; ++level)
        deep = tree->AddTreeNode(deep, linkRec(QString("http://h/l%1.htm").arg(level)));

    QList<TItemRecord> before = records();
    w->main->Savelinksfilelists1Click();
    QCOMPARE(w->messages.size(), 1);
    QVERIFY(w->messages.first().startsWith(QString("%1 items were saved to:").arg(tree->nodeCount())));
    QVERIFY(Part<QAction>(*w->main, "Loaditemsfromdisk1")->isEnabled());
    QCOMPARE(QFileInfo(w->main->itemListFile()).size(), qint64(837) * before.size());

    tree->emptyTree();
    w->main->Loadlinksfilelistfromdisk1Click();
    QCOMPARE(w->messages.size(), 2);
    QVERIFY(w->messages.last().startsWith(QString("%1 items were loaded from:").arg(before.size())));
    QVERIFY(!w->run.busy());

    // What the format keeps comes back as it was, cut to its room.
    for (TItemRecord &r : before) {
        r.caption.truncate(255);
        r.name.truncate(40);
        r.sizeText.truncate(15);
    }
    QCOMPARE(records(), before);
    // Roots come back bold in the link colour, with the data of an empty file.
    for (int i = 0; i < 2; ++i) {
        TTreeNode *root = tree->topNode(i);
        QCOMPARE(root->imageIndex(), TreeIcon::Root);
        QCOMPARE(root->stateIndex(), int(StateNone));
        QVERIFY(root->isBold());
        QCOMPARE(root->color(), w->configuration->color(ColorLink));
        QVERIFY(root->item() && !root->item()->isLink);
    }
    QCOMPARE(tree->rootLinks(), tree->topNode(0));
    QCOMPARE(tree->rootFiles(), tree->topNode(1));
    // A loaded root shows no empty "Url:" line of its own: it leaves the line alone.
    tree->setCurrentItem(tree->topNode(1)->childNode(0));
    const QString shown = Part<QLabel>(*w->main, "LabelUrlInfo")->text();
    tree->setCurrentItem(tree->topNode(1));
    QCOMPARE(Part<QLabel>(*w->main, "LabelUrlInfo")->text(), shown);
    QVERIFY(shown.startsWith("Url: http://h/"));
    const TTreeNode *links = tree->topNode(0);
    QVERIFY(links->childNode(0)->isBold());
    QCOMPARE(links->childNode(0)->color(), w->configuration->color(ColorLink));
    QCOMPARE(links->childNode(1)->color(), w->configuration->color(ColorLinkParsed));
    QCOMPARE(links->childNode(1)->childNode(1)->color(), w->configuration->color(ColorFile));
    QVERIFY(!links->childNode(1)->childNode(1)->isBold());
    const TTreeNode *files = tree->topNode(1);
    QCOMPARE(files->childNode(0)->color(), w->configuration->color(ColorFileViewed));
    QCOMPARE(files->childNode(1)->color(), w->configuration->color(ColorFileStored));
    QCOMPARE(files->childNode(1)->selectedIndex(), TreeIcon::FileFailed);
}

void TestItemList::sixRecordsInPreOrder()
{
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/a.htm"));
    for (const char *name : {"x.jpg", "y.jpg", "z.jpg"})
        tree->AddTreeNode(tree->rootFiles(), fileRec(QString("http://h/") + name));
    w->main->Savelinksfilelists1Click();
    QFile file(w->main->itemListFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 6 * 837);
    QList<int> levels;
    for (int i = 0; i < 6; ++i)
        levels << ItemListFile::decode(bytes.constData() + i * 837).level;
    QCOMPARE(levels, (QList<int>{0, 1, 0, 1, 1, 1}));
}

void TestItemList::emptyTreeSavesNothing()
{
    w->main->Savelinksfilelists1Click();
    QVERIFY(!QFile::exists(w->main->itemListFile()));
    QVERIFY(w->messages.isEmpty());
    // The file gone when the load runs: the tree stays, the count is told.
    w->main->Loadlinksfilelistfromdisk1Click();
    QCOMPARE(w->messages, QStringList{QString("0 items were loaded from:\n\n%1/").arg(w->paths.dataDir)});
}

void TestItemList::loadedUrlsAreIndexed()
{
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    for (int i = 0; i < 50; ++i)
        tree->AddTreeNode(tree->rootFiles(), fileRec(QString("http://h/f%1.jpg").arg(i)));
    w->main->Savelinksfilelists1Click();
    tree->emptyTree();
    w->main->Loadlinksfilelistfromdisk1Click();
    // The duplicate search finds what was loaded, and only that.
    TTreeNode *files = tree->topNode(1);
    for (int i = 0; i < 50; ++i)
        QVERIFY(tree->NodeExistInTree(files, QString("http://h/f%1.jpg").arg(i)));
    QVERIFY(!tree->NodeExistInTree(files, "http://h/f50.jpg"));
    tree->setItemUrl(files->childNode(0), "http://h/renamed.jpg");
    QVERIFY(tree->NodeExistInTree(files, "http://h/renamed.jpg"));
    QVERIFY(!tree->NodeExistInTree(files, "http://h/f0.jpg"));
}

void TestItemList::stopEndsALoad()
{
    writeList(flatItemList(200000));
    QTimer::singleShot(30, Part<QPushButton>(*w->main, "ButtonStop"), [this] { w->crawl->ButtonStopClick(); });
    w->main->Loadlinksfilelistfromdisk1Click();
    const int loaded = w->main->itemTree()->nodeCount();
    QVERIFY2(loaded > 0 && loaded < 200001, qPrintable(QString::number(loaded)));
    QVERIFY(w->messages.last().startsWith(QString("%1 item").arg(loaded)));
    QVERIFY(!w->run.busy());
}

void TestItemList::autoSaveAtClose()
{
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    Part<QCheckBox>(*w->configuration, "CheckBoxAutoSave")->setChecked(true);
    w->main->close();
    QCOMPARE(QFileInfo(w->main->itemListFile()).size(), qint64(2 * 837));
    QVERIFY(w->messages.isEmpty()); // no box holds the quit
    QVERIFY(!QFile::exists(w->main->itemListFile() + ".bak")); // nothing was lost: nothing kept aside
    // Link URLs may hold logins: no one else may read the list.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    QCOMPARE(QFile::permissions(w->main->itemListFile()) & others, QFile::Permissions());
}

void TestItemList::exitSaveKeepsAListThatHadMore()
{
    // A harvest on disk; the program started anew on another page, then quit.
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        tree->AddTreeNode(tree->rootFiles(), fileRec(QString("http://h/") + name));
    QVERIFY(w->main->SaveListToDisk());
    QFile list(w->main->itemListFile());
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QByteArray harvest = list.readAll();
    list.close();
    tree->emptyTree();
    tree->MakeRootNodes();
    tree->AddTreeNode(tree->rootFiles(), fileRec("http://h/a.jpg"));
    Part<QCheckBox>(*w->configuration, "CheckBoxAutoSave")->setChecked(true);
    w->main->close();
    QCOMPARE(QFileInfo(w->main->itemListFile()).size(), qint64(3 * 837));
    QFile backup(w->main->itemListFile() + ".bak");
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), harvest);
    // The next start says so, once.
    w = std::make_unique<TWindows>(home->path());
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(0),
             " Status: The last exit saved a smaller item list; the one before was kept as " + w->main->itemListFile() + ".bak");
    w->main->FormClose();
    w = std::make_unique<TWindows>(home->path());
    QCOMPARE(Part<TStatusPanels>(*w->main, "StatusBar")->text(0), QString(" Status: Not active"));
}

void TestItemList::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("nodes");
    QTest::addColumn<bool>("error");
    TItemRecord r;
    auto record = [&r](int level) {
        r.level = level;
        r.caption = QString("level %1").arg(level);
        return ItemListFile::encode(r);
    };
    QTest::newRow("short last record") << record(0) + record(1) + record(1).left(400) << 2 << true;
    QTest::newRow("levels without a parent")
        << record(1) + record(0) + record(2) + record(1) + record(-3) + record(51) + record(2) + record(4) << 3 << false;
    QRandomGenerator rng(11);
    QByteArray noise(837 * 40, Qt::Uninitialized);
    for (char &c : noise)
        c = char(rng.bounded(256));
    QTest::newRow("random bytes") << noise << -1 << false;
    QTest::newRow("empty file") << QByteArray() << 0 << false;
}

void TestItemList::hostileFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, nodes);
    QFETCH(bool, error);
    w->main->itemTree()->MakeRootNodes();
    writeList(bytes);
    w->main->Loadlinksfilelistfromdisk1Click();
    if (nodes >= 0)
        QCOMPARE(w->main->itemTree()->nodeCount(), nodes);
    QCOMPARE(w->messages.size(), 1);
    QCOMPARE(w->messages.first().contains("could not be loaded"), error);
    QVERIFY(!w->run.busy());
    QVERIFY(Part<QPushButton>(*w->main, "ButtonStart")->isEnabled());
}

void TestItemList::loadAndSaveKeepEveryTextByteForByte()
{
    // Texts from an older single-byte system, each filling its room.
    QByteArray bytes;
    TItemRecord root;
    root.icon = qint16(TreeIcon::Root);
    root.state = StateNone;
    root.caption = "Root files:";
    bytes += ItemListFile::encode(root);
    QByteArray file = ItemListFile::encode(TItemRecord{});
    auto field = [&file](int offset, const QByteArray &text) {
        file[offset] = char(text.size());
        std::memcpy(file.data() + offset + 1, text.constData(), size_t(text.size()));
    };
    file[261] = 1; // level
    file[259] = char(TreeIcon::FileNew);
    file[257] = char(StateChecked);
    file[834] = char(KindFile);
    field(0, QByteArray(255, '\xe9'));
    field(265, QByteArray(40, '\xe5'));
    field(306, "/home/me/" + QByteArray(246, '\xf8'));
    field(562, "http://h/" + QByteArray(246, '\xe6'));
    field(818, "1234");
    bytes += file;
    writeList(bytes);
    w->main->Loadlinksfilelistfromdisk1Click();
    QCOMPARE(w->main->itemTree()->nodeCount(), 2);
    QVERIFY(w->main->SaveListToDisk());
    QFile saved(w->main->itemListFile());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == bytes);
}

void TestItemList::numbersOutOfRangeBecomeDefaults()
{
    // Thousands of distinct icon and state pairs would each cost a picture.
    QByteArray bytes;
    TItemRecord r;
    r.icon = qint16(TreeIcon::Root);
    r.state = StateNone;
    bytes += ItemListFile::encode(r);
    r.level = 1;
    for (int i = 0; i < 2000; ++i) {
        r.isLink = i % 2;
        r.icon = qint16(i * 37 - 30000);
        r.state = qint16(30000 - i * 29);
        r.kind = qint16(i);
        r.name = "../../../tmp/x.htm"; // a link's name is never the program's
        bytes += ItemListFile::encode(r);
    }
    writeList(bytes);
    w->main->Loadlinksfilelistfromdisk1Click();
    QCOMPARE(w->main->itemTree()->nodeCount(), 2001);
    QSet<TreeIcon> icons;
    QSet<int> states;
    w->main->itemTree()->forEachNode([&](TTreeNode *node) {
        icons << node->imageIndex() << node->selectedIndex();
        states << node->stateIndex();
        if (const TDataRec *item = node->item()) {
            QVERIFY(item->kind >= KindLink && item->kind <= KindThumbnail);
            if (item->isLink)
                QVERIFY(item->name.isEmpty());
        }
    });
    QCOMPARE(icons, (QSet<TreeIcon>{TreeIcon::Root, TreeIcon::LinkNew, TreeIcon::FileNew}));
    QCOMPARE(states, (QSet<int>{StateNone, StateUnchecked}));
}

QTEST_MAIN(TestItemList)
#include "tst_itemlist.moc"
