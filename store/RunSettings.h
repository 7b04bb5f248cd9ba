#pragma once

#include <QString>

// The settings the runs read, as plain values. The configuration window
// holds them while the program runs and hands them out through
// TSettingsSource; the runs read them when they need them.

// The transfer slots a run has at most: the engine's, the size check's, the
// main window's lamps and bars and the kept connections to one server.
constexpr int kTransferSlots = 8;

// The HTTP proxy of the configuration.
struct TProxySettings
{
    bool enabled = false;
    QString host, port, username, password;
};

// What the download engine and its runs read.
struct TDownloadSettings
{
    enum Existing { Skip, Overwrite, Rename };

    int maxThreads = 4;
    int timeOutFileMs = 60000; // the configuration window's default, as everywhere
    qint64 minSize = 1;
    qint64 maxSize = 150000;
    TProxySettings proxy;
    Existing existing = Rename;
    bool itemJump = false;
    bool beep = false;
    bool createDir = false;      // a directory of its own for each site
    bool startAllAtOnce = true; // fill every free slot at once, refill at completion
    bool reuseConnections = true; // keep connections for the next file (HTTP/1.1 and HTTP/2)
    QString downloadDir;
    int retries = 0; // further tries of a transfer that failed in a way worth retrying
    int filesPerSlot = 16; // files a slot carries at once over HTTP/2, as streams of its connection
};

// What the crawl driver reads.
struct TCrawlSettings
{
    TProxySettings proxy;
    int timeoutDocMs = 30000; // silence allowed once the body has begun
    bool getPassword = false; // pick user and password from a link's URL
    bool saveHtml = false;    // keep fetched link documents in the download directory
    bool expandParse = false;
    bool itemJump = false;
    bool beep = false;
    bool reuseConnections = true; // keep connections for the next document (HTTP/1.1 and HTTP/2)
    int slotCount = 4;            // the download slots, which a page's connections are opened for
    QString downloadDir;
};

// What link extraction reads, once at the start of a scan.
struct TScanSettings
{
    QString fileTypes;      // wanted file extensions, e.g. "jpg,jpeg,gif"
    bool addChild = true;   // a parsed link adds document links under itself
    bool includeThumbs = true;
    QString downloadDir;
    bool findShown = false; // a second pass for srcset, lazy loading, CSS and og:image
    bool checkSizes = false; // a size check of the new files after every scan
    bool readStylesheets = false; // with findShown: the page's stylesheets on its own server too
    bool keepQuery = false;       // a file address keeps its query ("photo.jpg?w=1600")
};

// The one way the runs reach the settings.
class TSettingsSource
{
public:
    virtual ~TSettingsSource() = default;
    virtual TDownloadSettings downloadSettings() const = 0;
    virtual TCrawlSettings crawlSettings() const = 0;
    virtual TScanSettings scanSettings() const = 0;
};
