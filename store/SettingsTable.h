#pragma once

// Every value of the configuration window, defined once: its name in the
// settings file, its group there, its first-run value and its range. The
// window's controls, the settings file's binding and the defaults of the run
// settings all read these, so a value has one default wherever it is used.
namespace Setting {

struct Number
{
    const char *name;
    int group;
    int value;
    int minimum;
    int maximum;
    int step;
};

struct Flag
{
    const char *name;
    int group;
    bool value;
};

struct Text
{
    const char *name;
    int group;
    const char *value;
};

// The transfer slots a run has at most: the engine's, the size check's, the
// main window's lamps and bars and the kept connections to one server.
inline constexpr int kTransferSlots = 8;

// Group 2: the general page.
inline constexpr Flag AutoSave{"AutoSave", 2, false};
inline constexpr Flag CreateDir{"CreateDir", 2, false};
inline constexpr Flag BossName{"BossName", 2, false};
inline constexpr Flag Beep{"Beep", 2, true};
inline constexpr Flag SaveWindow{"SaveWindow", 2, true};

// Group 3: downloading, parsing, time-outs and the proxy.
inline constexpr Text FileTypes{"FileTypes", 3, "jpg,jpeg,gif,bmp,mp3,mpeg,mpg"};
inline constexpr Number MinSize{"MinSize", 3, 1, 1, 999999, 1000};
inline constexpr Number MaxSize{"MaxSize", 3, 150000, 1000, 999999999, 1000};
inline constexpr Number MaxTreads{"MaxTreads", 3, 4, 1, kTransferSlots, 1};
inline constexpr Flag AddChild{"AddChild", 3, true};
inline constexpr Flag ExpandParse{"ExpandParse", 3, true};
inline constexpr Number TimeoutDoc{"TimeoutDoc", 3, 30, 5, 300, 5};   // seconds
inline constexpr Number TimeOutFile{"TimeOutFile", 3, 60, 5, 300, 5}; // seconds
inline constexpr Text AutoSelectFileTypes{"AutoSelectFileTypes", 3, "jpg,jpeg"};
inline constexpr Flag AutoSelectEnabled{"AutoSelectEnabled", 3, false};
inline constexpr Flag IncludeThumbs{"IncludeThumbs", 3, true};
inline constexpr Flag SkipFile{"SkipFile", 3, false};
inline constexpr Flag OverWriteFile{"OverWriteFile", 3, false};
inline constexpr Flag RenameFile{"RenameFile", 3, true};
inline constexpr Flag GetPassword{"GetPassword", 3, true};
inline constexpr Flag ItemJump{"ItemJump", 3, false};
inline constexpr Flag SaveHtml{"SaveHtml", 3, false};
inline constexpr Text Proxy{"Proxy", 3, "proxy.local"};
inline constexpr Text ProxyPort{"ProxyPort", 3, "3128"};
inline constexpr Text ProxyUsername{"ProxyUsername", 3, ""};
inline constexpr Text ProxyPassword{"ProxyPassword", 3, ""};
inline constexpr Flag ProxyEnabled{"ProxyEnabled", 3, false};
inline constexpr Flag StartAllSlots{"StartAllSlots", 3, true};
inline constexpr Flag ReuseConnections{"ReuseConnections", 3, true};
// Values added later come last in the file, so that a file written before
// them keeps every value it has: a missing value ends its group.
inline constexpr Flag FindShownPictures{"FindShownPictures", 3, false};
inline constexpr Number RetryCount{"RetryCount", 3, 0, 0, 9, 1};
inline constexpr Flag CheckSizesAfterScan{"CheckSizesAfterScan", 3, false};
inline constexpr Flag ReadStylesheets{"ReadStylesheets", 3, false};
inline constexpr Flag KeepQueryAddresses{"KeepQueryAddresses", 3, false};
inline constexpr Number FilesPerSlot{"FilesPerSlot", 3, 16, 1, 32, 1};

} // namespace Setting
