#include "DownloadFixture.h"

#include "HttpEngine.h"
#include "ItemTree.h"
#include "Parts.h"
#include "TreeDump.h"
#include "UrlRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

void TDownloadFixture::setUpCase()
{
    pki = TTestPki::make();
    pki.trust(pkiDir.path());
}

void TDownloadFixture::setUp()
{
    home = std::make_unique<QTemporaryDir>();
    w = std::make_unique<TWindows>(home->path());
    server = std::make_unique<Server>();
    // Ticks are called by the tests: waiting for real seconds proves nothing.
    w->engine->TimerCheckDownload()->stop();
    // Every start is a tick of the test's own, unless a test asks for the fast start.
    Part<QCheckBox>(*w->configuration, "CheckBoxStartAll")->setChecked(false);
    w->main->itemTree()->MakeRootNodes();
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(8);
    w->main->show();
}

void TDownloadFixture::tearDown()
{
    w.reset();
    server.reset();
    home.reset();
}

QString TDownloadFixture::url(const QString &path) const
{
    return QString("http://127.0.0.1:%1%2").arg(server->port()).arg(path);
}

TTreeNode *TDownloadFixture::addFile(const QString &url, int state)
{
    TDataRec rec = fileRec(url);
    rec.localPath = LocalPath(downloadDir(), rec.name);
    TItemTree *tree = w->main->itemTree();
    TTreeNode *node = tree->AddTreeNode(tree->rootFiles(), rec);
    node->setStateIndex(state);
    return node;
}

QString TDownloadFixture::downloadDir() const
{
    return Part<QComboBox>(*w->main, "ComboBoxDownload")->currentText();
}

QByteArray TDownloadFixture::fileAt(const QString &name) const
{
    QFile file(QDir(downloadDir()).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool TDownloadFixture::ended(int slot) const
{
    // Slot 0: every slot.
    const bool idle = slot == 0 ? w->engine->activeCount() == 0 : !w->engine->EngineActive(slot);
    return idle && w->engine->storesPending() == 0;
}

void TDownloadFixture::finishRun()
{
    w->downloads->TimerUpdateTimer();
    w->downloads->TimerDownloadFinishTimer();
}

void TDownloadFixture::expectIdle()
{
    TFormMain &m = *w->main;
    QVERIFY(!w->run.busy());
    for (int n = 1; n <= TFormHttpEngine::kSlots; ++n) {
        QVERIFY(!m.slotLampLit(n));
        QVERIFY(!w->engine->EngineActive(n));
        QCOMPARE(SlotGauge(m, n - 1)->toolTip(), QString("Not active"));
    }
    QCOMPARE(w->queue.remaining(), 0);
}

QByteArray TDownloadFixture::body(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7);
    return bytes;
}
