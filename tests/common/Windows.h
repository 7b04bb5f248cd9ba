#pragma once

#include "Counters.h"
#include "CrawlDriver.h"
#include "DownloadQueue.h"
#include "DownloadScheduler.h"
#include "HttpEngine.h"
#include "Paths.h"
#include "RunState.h"
#include "UnitConfiguration.h"
#include "UnitMain.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// The program's windows and runs, created in start-up order over a private home.
struct TWindows
{
    explicit TWindows(const QString &root)
        : paths(TPaths::under(root))
    {
        QDir().mkpath(paths.defaultDownloadDir);
        QDir().mkpath(paths.dataDir);
        main = std::make_unique<TFormMain>(paths, run);
        main->setMessageSink([this](const QString &text) { messages << text; });
        main->setQuestionSink([this](const QString &text) {
            questions << text;
            return answer;
        });
        main->setFileOpener([this](const QString &path) { opened << path; });
        main->setFileChooser([this] { return chosenFile; });
        main->setBeeper([this] { ++beeps; });
        configuration = std::make_unique<TFormConfiguration>(main.get(), paths, main.get());
        main->setConfiguration(configuration.get());
        configuration->FormCreate();
        queue.watch(main->itemTree());
        engine = std::make_unique<TFormHttpEngine>(main->itemTree(), queue, run, statistics, login, *main);
        engine->setSettingsSource([this] { return configuration->downloadSettings(); });
        downloads = std::make_unique<TDownloadScheduler>(main->itemTree(), queue, run, *engine, *main);
        downloads->setSettingsSource([this] { return configuration->downloadSettings(); });
        crawl = std::make_unique<TCrawlDriver>(main->itemTree(), run, statistics, login, *main);
        crawl->setSettingsSource([this] { return configuration->crawlSettings(); });
        crawl->setScanSettingsSource([this] { return configuration->scanSettings(); });
        crawl->setDownloadStop([this] { downloads->stopDownloads(); });
        downloads->setStopCommand([this] { crawl->ButtonStopClick(); });
        main->setCrawlDriver(crawl.get());
        main->setDownloadScheduler(downloads.get());
    }
    ~TWindows()
    {
        crawl.reset();
        downloads.reset();
        engine.reset();
        configuration.reset(); // a child of the main window: delete it first
    }

    TPaths paths;
    TRunState run;
    TDownloadQueue queue;
    TStatistics statistics;
    TLogin login;
    QStringList messages;
    QStringList questions;
    std::optional<bool> answer = false; // what every question is answered
    QStringList opened;
    QString chosenFile; // what the file chooser answers
    int beeps = 0;
    std::unique_ptr<TFormMain> main;
    std::unique_ptr<TFormConfiguration> configuration;
    std::unique_ptr<TFormHttpEngine> engine;
    std::unique_ptr<TDownloadScheduler> downloads;
    std::unique_ptr<TCrawlDriver> crawl;
};
