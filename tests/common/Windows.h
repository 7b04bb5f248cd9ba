#pragma once

#include "Counters.h"
#include "CrawlDriver.h"
#include "Paths.h"
#include "RunState.h"
#include "UnitConfiguration.h"
#include "UnitMain.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

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
        main->setFileOpener([this](const QString &path) { opened << path; });
        main->setFileChooser([this] { return chosenFile; });
        main->setBeeper([this] { ++beeps; });
        configuration = std::make_unique<TFormConfiguration>(main.get(), paths, main.get());
        main->setConfiguration(configuration.get());
        configuration->FormCreate();
        crawl = std::make_unique<TCrawlDriver>(main->itemTree(), run, statistics, login, *main);
        crawl->setSettingsSource([this] { return configuration->crawlSettings(); });
        crawl->setScanSettingsSource([this] { return configuration->scanSettings(); });
        main->setCrawlDriver(crawl.get());
    }
    ~TWindows()
    {
        crawl.reset();
        configuration.reset(); // a child of the main window: delete it first
    }

    TPaths paths;
    TRunState run;
    TStatistics statistics;
    TLogin login;
    QStringList messages;
    QStringList opened;
    QString chosenFile; // what the file chooser answers
    int beeps = 0;
    std::unique_ptr<TFormMain> main;
    std::unique_ptr<TFormConfiguration> configuration;
    std::unique_ptr<TCrawlDriver> crawl;
};
