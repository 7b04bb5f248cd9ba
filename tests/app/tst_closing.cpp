#include "ItemList.h"
#include "ItemTree.h"
#include "Parts.h"
#include "ScriptedServer.h"
#include "TreeDump.h"
#include "Windows.h"

#include <QCheckBox>
#include <QTimer>
#include <QAction>
#include <QtTest>

using Server = TScriptedServer;

// Closing the main window: what ends, what is asked and what is kept on disk.
class TestClosing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void closingDuringALoadKeepsTheListOnDisk();
    void closingEndsAParseRunAndSendsNothingMore();
    void closingWithDownloadsPendingAsksFirst_data();
    void closingWithDownloadsPendingAsksFirst();

private:
    QString url(const QString &path) const;

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TWindows> w;
    std::unique_ptr<Server> server;
};

void TestClosing::init()
{
    home = std::make_unique<QTemporaryDir>();
    w = std::make_unique<TWindows>(home->path());
    server = std::make_unique<Server>();
    w->main->show();
}

void TestClosing::cleanup()
{
    w.reset();
    server.reset();
    home.reset();
}

QString TestClosing::url(const QString &path) const
{
    return QString("http://127.0.0.1:%1%2").arg(server->port()).arg(path);
}

void TestClosing::closingDuringALoadKeepsTheListOnDisk()
{
    const QByteArray bytes = flatItemList(60001);
    QFile list(w->main->itemListFile());
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(bytes);
    list.close();
    Part<QCheckBox>(*w->configuration, "CheckBoxAutoSave")->setChecked(true);
    QTimer::singleShot(20, w->main.get(), [this] { w->main->close(); });
    w->main->Loadlinksfilelistfromdisk1Click();
    QVERIFY(!w->main->isVisible());
    QVERIFY(w->main->itemTree()->nodeCount() < 60002);
    QVERIFY(list.open(QIODevice::ReadOnly));
    QVERIFY(list.readAll() == bytes);
    QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.join('\n'))); // no "loaded" box after the close
    QVERIFY(!w->run.busy());
}

void TestClosing::closingEndsAParseRunAndSendsNothingMore()
{
    server->route("/hang.htm", {Server::hold()});
    server->route("/next.htm", Server::page("next"));
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    for (const char *path : {"/hang.htm", "/next.htm", "/next.htm?2"}) {
        TTreeNode *node = tree->AddTreeNode(tree->rootLinks(), linkRec(url(path)));
        node->setStateIndex(StateChecked);
    }
    bool closed = false;
    connect(w->main.get(), &TFormMain::closed, this, [&closed] { closed = true; });
    QTimer::singleShot(200, w->main.get(), [this] { w->main->close(); });
    w->crawl->ButtonParseClick();
    QTRY_VERIFY(closed);
    QCOMPARE(server->requests().size(), 1);
    // Nothing starts again once the window has closed.
    w->crawl->ButtonStartClick();
    w->crawl->ButtonParseClick();
    QTest::qWait(50);
    QCOMPARE(server->requests().size(), 1);
}

void TestClosing::closingWithDownloadsPendingAsksFirst_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("yes quits") << true;
    QTest::newRow("no keeps running") << false;
}

void TestClosing::closingWithDownloadsPendingAsksFirst()
{
    QFETCH(bool, quit);
    server->addScript({Server::hold()});
    w->engine->TimerCheckDownload()->stop();
    Part<QCheckBox>(*w->configuration, "CheckBoxStartAll")->setChecked(false); // one transfer, the others queued
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    for (const char *path : {"/a.jpg", "/b.jpg", "/c.jpg"}) {
        TTreeNode *node = tree->AddTreeNode(tree->rootFiles(), fileRec(url(path)));
        node->setStateIndex(StateChecked);
    }
    w->downloads->ButtonDownloadClick();
    w->engine->TimerCheckDownloadTimer();
    QTRY_COMPARE(server->connections(), 1);
    QStringList asked;
    w->main->setQuestionSink([&](const QString &q) {
        asked << q;
        return quit;
    });
    // File > Quit stays offered while the run is busy, and asks as the title bar's button does.
    QAction *quitEntry = Part<QAction>(*w->main, "Quit1");
    QVERIFY(quitEntry->isEnabled());
    quitEntry->trigger();
    QCOMPARE(asked, QStringList{"3 files are still queued or downloading. Quit anyway?"});
    QCOMPARE(w->main->isVisible(), !quit);
    if (quit) {
        QVERIFY(!w->engine->EngineActive(1));
        QCOMPARE(w->queue.remaining(), 0);
    } else {
        QVERIFY(w->engine->EngineActive(1));
        QCOMPARE(w->queue.remaining(), 3);
        w->crawl->ButtonStopClick();
    }
    // Nothing pending: closing asks nothing.
    asked.clear();
    w->main->close();
    QVERIFY(asked.isEmpty());
    QVERIFY(!w->main->isVisible());
}

QTEST_MAIN(TestClosing)
#include "tst_closing.moc"
