#pragma once

#include "Paths.h"
#include "UnitConfiguration.h"
#include "UnitMain.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The program's windows, created in start-up order over a private home.
struct TWindows
{
    explicit TWindows(const QString &root)
        : paths(TPaths::under(root))
    {
        QDir().mkpath(paths.defaultDownloadDir);
        QDir().mkpath(paths.dataDir);
        main = std::make_unique<TFormMain>(paths);
        main->setMessageSink([this](const QString &text) { messages << text; });
        main->setFileOpener([this](const QString &path) { opened << path; });
        configuration = std::make_unique<TFormConfiguration>(main.get(), paths, main.get());
        main->setConfiguration(configuration.get());
        configuration->FormCreate();
    }
    ~TWindows()
    {
        configuration.reset(); // a child of the main window: delete it first
    }

    TPaths paths;
    QStringList messages;
    QStringList opened;
    std::unique_ptr<TFormMain> main;
    std::unique_ptr<TFormConfiguration> configuration;
};
