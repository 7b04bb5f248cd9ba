#include "Program.h"

#include "BuildInfo.h"
#include "CrawlDriver.h"
#include "DownloadScheduler.h"
#include "HttpEngine.h"
#include "SettingsKey.h"
#include "SizeCheck.h"
#include "UnitAtLeast.h"
#include "UnitBookMarks.h"
#include "UnitConfiguration.h"
#include "UnitDirectory.h"
#include "UnitHelp.h"
#include "UnitInfo.h"
#include "UnitKeyword.h"
#include "UnitMain.h"
#include "UnitPassword.h"
#include "UnitStat.h"
#include "UnitWebInfo.h"

TProgram::TProgram(const TPaths &startPaths, const std::function<void(TFormMain &)> &prepare)
    : paths(startPaths)
{
    QString backup;
    {
        TSettingsKey key(paths.settingsFile);
        key.open();
        statistics.load(key);
        login.load(key);
        backup = key.readString(QStringLiteral("ItemListBackup")).value_or(QString());
    }

    // The windows, in start-up order.
    run.watch(&items);
    queue.watch(&items);
    main = std::make_unique<TFormMain>(paths, run, items);
    TFormMain *form = main.get();
    if (prepare)
        prepare(*form);
    configuration = new TFormConfiguration(form, paths, form);
    form->setConfiguration(configuration);
    configuration->FormCreate();
    // The documentation lies next to the program (in the build), in the
    // installation's shared files, or in the data directory.
    help = new TFormHelp({paths.programDir, paths.sharedDir, paths.dataDir}, form);
    auto *info = new TFormInfo(form);
    webInfo = new TFormWebInfo(form);
    webInfo->setUrl(BuildInfo::kVersionUrl);
    QObject::connect(form, &TFormMain::documentationRequested, help, &QWidget::show);
    QObject::connect(form, &TFormMain::aboutRequested, info, &QWidget::show);
    QObject::connect(form, &TFormMain::versionInfoRequested, webInfo, &QWidget::show);
    auto *stat = new TFormStat(statistics, form);
    auto *password = new TFormPassword(login, form);
    auto *directory = new TFormDirectory(form->downloadField(), [form] { form->ComboBoxDownloadChange(); }, form);
    auto *bookmarks = new TFormBookMarks(form->urlField(), form);
    auto *keyword = new TFormKeyword(form->itemTree(), run, form);
    QObject::connect(form, &TFormMain::statisticsRequested, stat, &TFormStat::Statistics1Click);
    QObject::connect(form, &TFormMain::loginRequested, password, &QDialog::exec);
    QObject::connect(form, &TFormMain::directoryRequested, directory, &TFormDirectory::openChooser);
    QObject::connect(form, &TFormMain::bookmarksRequested, bookmarks, &QDialog::exec);
    QObject::connect(form, &TFormMain::keywordSearchRequested, keyword, &QWidget::show);
    auto *atLeast = new TFormAtLeast(form->itemTree(), form);
    QObject::connect(form, &TFormMain::atLeastRequested, atLeast, &QDialog::open);

    // The runs.
    TFormConfiguration *settings = configuration;
    // Every client of the runs gets its login, proxy and kept connections from here.
    const TClientSetup clients{&login, &connections};
    // Connections kept under the old proxy or reuse setting are not taken again.
    QObject::connect(configuration, &TFormConfiguration::settingsChanged, configuration,
                     [this] { connections.closeIdleOlderThan(0); });
    engine = std::make_unique<TFormHttpEngine>(items, queue, run, statistics, *form);
    engine->setSettingsSource(settings);
    engine->setClientSetup(clients);
    downloads = std::make_unique<TDownloadScheduler>(items, queue, run, *engine, *form);
    downloads->setSettingsSource(settings);
    crawl = std::make_unique<TCrawlDriver>(items, run, statistics, login, *form);
    crawl->setSettingsSource(settings);
    crawl->setClientSetup(clients);
    sizeCheck = std::make_unique<TSizeCheck>(items, run, *form);
    sizeCheck->setSettingsSource(settings);
    sizeCheck->setClientSetup(clients);
    TDownloadScheduler *scheduler = downloads.get();
    TCrawlDriver *driver = crawl.get();
    TSizeCheck *check = sizeCheck.get();
    crawl->setDownloadStop([scheduler, check] {
        check->stop();
        scheduler->stopDownloads();
    });
    downloads->setStopCommand([driver] { driver->ButtonStopClick(); });
    form->setCrawlDriver(driver);
    form->setDownloadScheduler(scheduler);
    form->setSizeCheck(check);
    form->noteItemListBackup(backup);

    QObject::connect(form, &TFormMain::savingSettings, form, [this](TSettingsKey &key) {
        statistics.save(key);
        login.save(key);
    });
    // A fetch that waits would hold the process: it ends with the window.
    QObject::connect(form, &TFormMain::closed, driver, &TCrawlDriver::abortFetch);
    QObject::connect(form, &TFormMain::closed, webInfo, &TFormWebInfo::abort);
}

TProgram::~TProgram()
{
    // The runs go before the windows they report to, the configuration
    // window (which the others read) before the main window.
    crawl.reset();
    sizeCheck.reset();
    downloads.reset();
    engine.reset();
    delete configuration;
    main.reset();
}
