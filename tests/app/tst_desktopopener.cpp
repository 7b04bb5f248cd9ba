#include "DataRec.h"
#include "DesktopOpener.h"
#include "ItemTree.h"
#include "TreeConfig.h"
#include "TreeDump.h"
#include "Windows.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Opening stored files through the desktop: xdg-open's answer decides
// whether the user is told that nothing could open the file. A script
// stands in for xdg-open, exiting as xdg-open does.
class TestDesktopOpener : public QObject
{
    Q_OBJECT

private slots:
    void exitStatusBecomesAMessage_data();
    void exitStatusBecomesAMessage();
    void openerThatCannotStartIsReported();
    void storedFileWithoutProgramTellsTheUser();

private:
    QString fakeOpener(int exitCode);
    QTemporaryDir m_dir;
};

QString TestDesktopOpener::fakeOpener(int exitCode)
{
    const QString path = m_dir.filePath(QString("xdg-open-%1").arg(exitCode));
    QFile script(path);
    if (!script.exists() && script.open(QIODevice::WriteOnly)) {
        script.write(QString("#!/bin/sh\necho \"$1\" >> \"%1.log\"\nexit %2\n").arg(path).arg(exitCode).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return path;
}

void TestDesktopOpener::exitStatusBecomesAMessage_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("opened") << 0 << "";
    QTest::newRow("file gone") << 2 << "\"/x/a.jpg\" cannot be opened: the file is not there any more.";
    QTest::newRow("no program") << 3
                                << "No program is set to open \"/x/a.jpg\". Choose one for this kind of file in "
                                   "your desktop's settings for default applications.";
    QTest::newRow("program failed") << 4 << "The program for \"/x/a.jpg\" could not open it (error 4).";
}

void TestDesktopOpener::exitStatusBecomesAMessage()
{
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    TDesktopOpener opener;
    const QString program = fakeOpener(exitCode);
    opener.setProgram(program);
    QSignalSpy failed(&opener, &TDesktopOpener::failed);
    opener.open("/x/a.jpg");
    QTRY_VERIFY(QFile::exists(program + ".log"));
    if (message.isEmpty()) {
        QTest::qWait(200); // a success says nothing, now or later
        QCOMPARE(failed.count(), 0);
    } else {
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), message);
    }
}

void TestDesktopOpener::openerThatCannotStartIsReported()
{
    TDesktopOpener opener;
    opener.setProgram(m_dir.filePath("no-such-opener"));
    QSignalSpy failed(&opener, &TDesktopOpener::failed);
    opener.open("/x/b.png");
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY(failed.at(0).at(0).toString().startsWith("No program is set to open \"/x/b.png\""));
}

void TestDesktopOpener::storedFileWithoutProgramTellsTheUser()
{
    QTemporaryDir home;
    TWindows w(home.path());
    TFormMain &m = *w.main;
    m.show();
    m.setFileOpener({});
    m.desktopOpener()->setProgram(fakeOpener(3));
    TItemTree *tree = m.itemTree();
    tree->MakeRootNodes();
    TDataRec rec = fileRec("http://h.org/y.gif");
    rec.localPath = home.filePath("y.gif");
    TTreeNode *stored = tree->AddTreeNode(tree->rootFiles(), rec);
    stored->setImageIndex(TreeIcon::FileStored);
    tree->setCurrentItem(stored);
    m.TreeViewDblClick();
    QTRY_COMPARE(w.messages.size(), 1);
    QVERIFY(w.messages.at(0).startsWith("No program is set to open \"" + home.filePath("y.gif") + "\""));
}

QTEST_MAIN(TestDesktopOpener)
#include "tst_desktopopener.moc"
