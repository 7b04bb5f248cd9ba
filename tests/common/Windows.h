#pragma once

#include "CrawlDriver.h"
#include "DownloadQueue.h"
#include "DownloadScheduler.h"
#include "HttpEngine.h"
#include "Paths.h"
#include "Program.h"
#include "RunState.h"
#include "UnitConfiguration.h"
#include "UnitMain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <optional>

// What the user would see or answer, caught by a test.
struct TCaughtOutput
{
    QStringList messages;
    QStringList questions;
    std::optional<bool> answer = false; // what every question is answered
    QStringList opened;
    QStringList shownFolders;
    QStringList notifications; // title and text, joined by ": "

    QString chosenFile; // what the file chooser answers
    QString chosenSaveFile; // where the save chooser writes
    int beeps = 0;
};

// The program's windows and runs over a private home, wired as the program
// wires them. The caught output comes first, so it exists before the windows
// can report anything.
struct TWindows : TCaughtOutput, TProgram
{
    explicit TWindows(const QString &root)
        : TProgram(prepareHome(root), [this](TFormMain &form) { catchOutput(form); })
    {
    }

    // "&Get url" and "&Parse links" as pressed, each waited for to its end:
    // a press returns while its run goes on.
    void getUrl()
    {
        crawl->ButtonStartClick();
        waitForCrawl();
    }
    void parseLinks()
    {
        crawl->ButtonParseClick();
        waitForCrawl();
    }
    void waitForCrawl(int limitMs = 30000)
    {
        QTimer wake; // the wait below returns at least this often
        wake.start(5);
        const QDeadlineTimer deadline(limitMs);
        while (crawl->filling() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

private:
    static TPaths prepareHome(const QString &root)
    {
        const TPaths home = TPaths::under(root);
        QDir().mkpath(home.defaultDownloadDir);
        QDir().mkpath(home.dataDir);
        return home;
    }

    void catchOutput(TFormMain &form)
    {
        form.setMessageSink([this](const QString &text) { messages << text; });
        form.setQuestionSink([this](const QString &text) {
            questions << text;
            return answer;
        });
        form.setFileOpener([this](const QString &path) { opened << path; });
        form.setFolderShower([this](const QString &path) { shownFolders << path; });
        form.setFileChooser([this] { return chosenFile; });
        form.setSaveFileChooser([this](const QString &) { return chosenSaveFile; });
        form.setBeeper([this] { ++beeps; });
        form.setNotifier([this](const QString &title, const QString &text) { notifications << title + ": " + text; });
    }
};
