#include "Counters.h"
#include "CrawlDriver.h"
#include "DownloadQueue.h"
#include "DownloadScheduler.h"
#include "HttpEngine.h"
#include "Paths.h"
#include "RunState.h"
#include "SettingsKey.h"
#include "UnitConfiguration.h"
#include "UnitHelp.h"
#include "UnitInfo.h"
#include "UnitMain.h"
#include "UnitBookMarks.h"
#include "UnitDirectory.h"
#include "UnitKeyword.h"
#include "UnitPassword.h"
#include "UnitStat.h"
#include "UnitWebInfo.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trawlix"));

    // What the runs and the windows share, made before any of them.
    const TPaths paths = TPaths::standard();
    TRunState run;
    TDownloadQueue queue;
    TStatistics statistics;
    TLogin login;
    {
        TSettingsKey key(paths.settingsFile);
        key.open();
        statistics.load(key);
        login.load(key);
    }

    // The windows, in start-up order; each gets the others it uses.
    TFormMain formMain(paths, run);
    // Owned by the main window, whose child it is.
    auto *formConfiguration = new TFormConfiguration(&formMain, paths, &formMain);
    formMain.setConfiguration(formConfiguration);
    formConfiguration->FormCreate();
    // The documentation lies next to the program, or in the data directory.
    auto *formHelp = new TFormHelp({paths.programDir, paths.dataDir}, &formMain);
    auto *formInfo = new TFormInfo(&formMain);
    auto *formWebInfo = new TFormWebInfo(&formMain);
    QObject::connect(&formMain, &TFormMain::documentationRequested, formHelp, &QWidget::show);
    QObject::connect(&formMain, &TFormMain::aboutRequested, formInfo, &QWidget::show);
    QObject::connect(&formMain, &TFormMain::versionInfoRequested, formWebInfo, &QWidget::show);
    auto *formStat = new TFormStat(statistics, &formMain);
    auto *formPassword = new TFormPassword(login, &formMain);
    auto *formDirectory = new TFormDirectory(formMain.downloadField(), [&formMain] { formMain.ComboBoxDownloadChange(); },
                                             &formMain);
    auto *formBookMarks = new TFormBookMarks(formMain.urlField(), &formMain);
    auto *formKeyword = new TFormKeyword(formMain.itemTree(), run, &formMain);
    QObject::connect(&formMain, &TFormMain::statisticsRequested, formStat, &TFormStat::Statistics1Click);
    QObject::connect(&formMain, &TFormMain::loginRequested, formPassword, &QDialog::exec);
    QObject::connect(&formMain, &TFormMain::directoryRequested, formDirectory, &TFormDirectory::openChooser);
    QObject::connect(&formMain, &TFormMain::bookmarksRequested, formBookMarks, &QDialog::exec);
    QObject::connect(&formMain, &TFormMain::keywordSearchRequested, formKeyword, &QWidget::show);

    queue.watch(formMain.itemTree());
    TFormHttpEngine formHttpEngine(formMain.itemTree(), queue, run, statistics, login, formMain);
    formHttpEngine.setSettingsSource([formConfiguration] { return formConfiguration->downloadSettings(); });
    TDownloadScheduler downloads(formMain.itemTree(), queue, run, formHttpEngine, formMain);
    downloads.setSettingsSource([formConfiguration] { return formConfiguration->downloadSettings(); });

    TCrawlDriver crawl(formMain.itemTree(), run, statistics, login, formMain);
    crawl.setSettingsSource([formConfiguration] { return formConfiguration->crawlSettings(); });
    crawl.setScanSettingsSource([formConfiguration] { return formConfiguration->scanSettings(); });
    crawl.setDownloadStop([&downloads] { downloads.stopDownloads(); });
    downloads.setStopCommand([&crawl] { crawl.ButtonStopClick(); });
    formMain.setCrawlDriver(&crawl);
    formMain.setDownloadScheduler(&downloads);

    QObject::connect(&formMain, &TFormMain::savingSettings, [&](TSettingsKey &key) {
        statistics.save(key);
        login.save(key);
    });
    // A fetch that waits would hold the process: it ends with the window.
    QObject::connect(&formMain, &TFormMain::closed, &crawl, &TCrawlDriver::abortFetch);
    QObject::connect(&formMain, &TFormMain::closed, formWebInfo, &TFormWebInfo::abort);
    QObject::connect(&formMain, &TFormMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    formMain.show();
    return app.exec();
}
