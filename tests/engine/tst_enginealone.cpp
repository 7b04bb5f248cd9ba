#include "Counters.h"
#include "DownloadQueue.h"
#include "DownloadScheduler.h"
#include "DownloadView.h"
#include "HttpEngine.h"
#include "ItemState.h"
#include "RunSettings.h"
#include "RunState.h"
#include "ScriptedServer.h"
#include "ItemRecs.h"
#include "UrlRules.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using Server = TScriptedServer;

namespace {

// The settings a run reads, as plain values.
struct TFixedSettings : TSettingsSource
{
    TDownloadSettings download;
    TDownloadSettings downloadSettings() const override { return download; }
    TCrawlSettings crawlSettings() const override { return {}; }
    TScanSettings scanSettings() const override { return {}; }
};

// Records what the engine shows instead of a window showing it.
struct TRecordingView : TDownloadView
{
    bool lamps[9] = {};
    QStringList hints[9];
    QStringList statuses;
    int lampChanges = 0;
    int remaining = -1;
    bool directoryOk = true;
    QStringList asked;

    void setStatus(const QString &text) override { statuses << text; }
    void ShowBar(bool, qint64, qint64) override {}
    void UpdateScreen() override {}
    void beep() override {}
    void showNode(TItemId) override {}
    void setSlotLamp(int slot, bool lit) override
    {
        lamps[slot] = lit;
        ++lampChanges;
    }
    bool slotLampLit(int slot) const override { return lamps[slot]; }
    void setSlotProgress(int, qint64, qint64, bool) override {}
    void setSlotHint(int slot, const QString &hint) override { hints[slot] << hint; }
    void setCounts(int, int, int r) override { remaining = r; }
    void setRemainingCount(int r) override { remaining = r; }
    void refreshTree() override {}
    void PreviewImage(TItemId) override {}
    int highlightedCount() const override { return 0; }
    bool confirmDownloadDirectory(const QString &directory) override
    {
        asked << directory;
        return directoryOk;
    }
};

} // namespace

// The download engine and its scheduler on their own: an item store, a queue and a
// view that records, with no main window and no configuration window.
class TestEngineAlone : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void runStoresEveryFileAndReportsThroughTheView();
    void refusedDirectoryStartsNothing();

private:
    TItemId addFile(const QString &path);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Server> server;
    std::unique_ptr<TItemStore> store;
    TDownloadQueue queue;
    TRunState run;
    TStatistics statistics;
    TFixedSettings settings;
    TRecordingView view;
    std::unique_ptr<TFormHttpEngine> engine;
    std::unique_ptr<TDownloadScheduler> downloads;
};

void TestEngineAlone::init()
{
    dir = std::make_unique<QTemporaryDir>();
    server = std::make_unique<Server>();
    store = std::make_unique<TItemStore>();
    store->makeRoots();
    queue.watch(store.get());
    view = TRecordingView();
    settings.download = TDownloadSettings();
    settings.download.downloadDir = dir->path();
    settings.download.maxThreads = 8;
    settings.download.startAllAtOnce = true;
    engine = std::make_unique<TFormHttpEngine>(*store, queue, run, statistics, view);
    engine->setSettingsSource(&settings);
    engine->TimerCheckDownload()->stop();
    downloads = std::make_unique<TDownloadScheduler>(*store, queue, run, *engine, view);
    downloads->setSettingsSource(&settings);
    downloads->setStopCommand([this] { downloads->stopDownloads(); });
}

void TestEngineAlone::cleanup()
{
    downloads.reset();
    engine.reset();
    store.reset();
    server.reset();
    dir.reset();
}

TItemId TestEngineAlone::addFile(const QString &path)
{
    TDataRec rec = fileRec(QString("http://127.0.0.1:%1%2").arg(server->port()).arg(path));
    rec.localPath = LocalPath(dir->path(), rec.name);
    const TItemId id = store->addFound(store->rootFiles(), rec);
    store->setState(id, StateChecked);
    return id;
}

void TestEngineAlone::runStoresEveryFileAndReportsThroughTheView()
{
    QList<QByteArray> bodies;
    QList<TItemId> items;
    for (int i = 0; i < 5; ++i) {
        bodies << QByteArray(1000 + i, char('a' + i));
        server->route(QString("/p%1.jpg").arg(i).toLatin1(), Server::page(bodies.last(), "image/jpeg"));
        items << addFile(QString("/p%1.jpg").arg(i));
    }
    const qint32 storedBefore = statistics.FilesDl;
    downloads->ButtonDownloadClick();
    QCOMPARE(view.asked, QStringList{dir->path()});
    QCOMPARE(view.remaining, 5);
    QTRY_COMPARE_WITH_TIMEOUT(queue.remaining(), 0, 10000);
    for (int i = 0; i < 5; ++i) {
        QVERIFY(ItemState::isStored({store.get(), items[i]}));
        QFile file(QDir(dir->path()).filePath(QString("p%1.jpg").arg(i)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bodies[i]);
    }
    QCOMPARE(statistics.FilesDl - storedBefore, 5);
    QCOMPARE(view.remaining, 0);
    for (int n = 1; n <= 8; ++n)
        QVERIFY(!view.lamps[n]);
    QVERIFY(view.hints[1].contains("Not active"));
    QVERIFY(view.hints[1].first().startsWith("Downloading: http://127.0.0.1:"));
    downloads->TimerUpdateTimer();
    downloads->TimerDownloadFinishTimer();
    QVERIFY(!run.busy());
}

void TestEngineAlone::refusedDirectoryStartsNothing()
{
    addFile("/never.jpg");
    view.directoryOk = false;
    downloads->ButtonDownloadClick();
    engine->TimerCheckDownloadTimer();
    QCOMPARE(queue.remaining(), 0);
    QCOMPARE(view.lampChanges, 0);
    QCOMPARE(server->connections(), 0);
    QVERIFY(!run.busy());
}

QTEST_MAIN(TestEngineAlone)
#include "tst_enginealone.moc"
