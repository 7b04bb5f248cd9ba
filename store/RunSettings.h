#pragma once

#include "SettingsTable.h"

#include <QString>

// The settings the runs read, as plain values. The configuration window
// holds them while the program runs and hands them out through
// TSettingsSource; the runs read them when they need them. Their defaults
// are the settings table's first-run values.

using Setting::kTransferSlots;

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

    int maxThreads = Setting::MaxTreads.value;
    int timeOutFileMs = Setting::TimeOutFile.value * 1000;
    qint64 minSize = Setting::MinSize.value;
    qint64 maxSize = Setting::MaxSize.value;
    TProxySettings proxy;
    Existing existing = Rename;
    bool itemJump = Setting::ItemJump.value;
    bool beep = Setting::Beep.value;
    bool createDir = Setting::CreateDir.value;             // a directory of its own for each site
    bool startAllAtOnce = Setting::StartAllSlots.value;    // fill every free slot at once, refill at completion
    bool reuseConnections = Setting::ReuseConnections.value; // keep connections for the next file (HTTP/1.1 and HTTP/2)
    QString downloadDir;
    int retries = Setting::RetryCount.value;       // further tries of a transfer that failed in a way worth retrying
    int filesPerSlot = Setting::FilesPerSlot.value; // files a slot carries at once over HTTP/2, as streams of its connection
};

// What the crawl driver reads.
struct TCrawlSettings
{
    TProxySettings proxy;
    int timeoutDocMs = Setting::TimeoutDoc.value * 1000; // silence allowed once the body has begun
    bool getPassword = Setting::GetPassword.value;       // pick user and password from a link's URL
    bool saveHtml = Setting::SaveHtml.value;             // keep fetched link documents in the download directory
    bool expandParse = Setting::ExpandParse.value;
    bool itemJump = Setting::ItemJump.value;
    bool beep = Setting::Beep.value;
    bool reuseConnections = Setting::ReuseConnections.value; // keep connections for the next document (HTTP/1.1 and HTTP/2)
    int slotCount = Setting::MaxTreads.value;                // the download slots, which a page's connections are opened for
    QString downloadDir;
};

// What link extraction reads, once at the start of a scan.
struct TScanSettings
{
    QString fileTypes = QString::fromLatin1(Setting::FileTypes.value); // wanted file extensions, e.g. "jpg,jpeg,gif"
    bool addChild = Setting::AddChild.value;       // a parsed link adds document links under itself
    bool includeThumbs = Setting::IncludeThumbs.value;
    QString downloadDir;
    bool findShown = Setting::FindShownPictures.value;     // a second pass for srcset, lazy loading, CSS and og:image
    bool checkSizes = Setting::CheckSizesAfterScan.value;  // a size check of the new files after every scan
    bool readStylesheets = Setting::ReadStylesheets.value; // with findShown: the page's stylesheets on its own server too
    bool keepQuery = Setting::KeepQueryAddresses.value;    // a file address keeps its query ("photo.jpg?w=1600")
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
