#pragma once

#include "DataRec.h"
#include "ScriptedServer.h"
#include "TestPki.h"
#include "Windows.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class TTreeNode;

// The whole program with an item tree ready for files, a local server and a
// trusted test certificate; the engine's tick is left to the tests.
class TDownloadFixture : public QObject
{
    Q_OBJECT

protected:
    using Server = TScriptedServer;

    void setUpCase();
    void setUp();
    void tearDown();

    QString url(const QString &path) const;
    QString downloadDir() const;
    TTreeNode *addFile(const QString &url, int state = StateChecked);
    QByteArray fileAt(const QString &name) const;
    // The slot's transfer (slot 0: every one) is over and what it received is on disk.
    bool ended(int slot) const;
    bool allEnded() const { return ended(0); }
    void finishRun();
    void expectIdle();
    // Bytes that differ at every position, so that a piece out of place shows.
    static QByteArray body(int size, char seed);

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TWindows> w;
    std::unique_ptr<Server> server;
    TTestPki pki;
    QTemporaryDir pkiDir;
};
