#pragma once

#include "ConnectionPool.h"
#include "Counters.h"
#include "DownloadQueue.h"
#include "ItemStore.h"
#include "Paths.h"
#include "RunState.h"

#include <functional>
#include <memory>

class TCrawlDriver;
class TDownloadScheduler;
class TFormConfiguration;
class TFormHelp;
class TFormHttpEngine;
class TFormMain;
class TFormWebInfo;
class TSizeCheck;

// The program's whole object graph, built in start-up order with each
// window handed the others it uses: what main() runs and what the tests
// drive, so both wire it the same way.
struct TProgram
{
    // prepare runs right after the main window exists, before anything can
    // report through it (tests put their sinks in place there).
    explicit TProgram(const TPaths &paths, const std::function<void(TFormMain &)> &prepare = {});
    ~TProgram();
    TProgram(const TProgram &) = delete;
    TProgram &operator=(const TProgram &) = delete;

    // What the runs and the windows share, made before any of them.
    TPaths paths;
    TItemStore items; // every link and file found; the tree window shows them
    TRunState run;
    TDownloadQueue queue;
    TStatistics statistics;
    TLogin login;
    TConnectionPool connections; // kept for the next request, by the engine and the crawl

    std::unique_ptr<TFormMain> main;
    TFormConfiguration *configuration = nullptr; // the main window's child, as every other window
    TFormWebInfo *webInfo = nullptr;
    TFormHelp *help = nullptr;
    std::unique_ptr<TFormHttpEngine> engine;
    std::unique_ptr<TDownloadScheduler> downloads;
    std::unique_ptr<TCrawlDriver> crawl;
    std::unique_ptr<TSizeCheck> sizeCheck;
};
