#pragma once

#include <QString>
#include <QtGlobal>

// What every item of the tree knows about the link or file it stands for.
struct TDataRec
{
    bool isLink = false;
    QString name;       // text after the URL's last "/"; the local file name of a file
    QString localPath;  // download directory, "/", name
    QString url;        // absolute URL: caption of a link, key of the duplicate search
    QString sizeText;   // decimal size once the download engine knows it
    qint32 kind = 0;    // 0 link, 1 file, 2 thumbnail (embedded) file
    bool viewed = false;
    // What a size check found; not kept in the item list file, whose
    // caption still shows it.
    bool sizeChecked = false;
    qint32 width = 0, height = 0; // pixels, 0 when not known
    // "Download skipped files anyway": the size limits pass its next transfer.
    bool ignoreLimits = false;

    // New again: nothing known of its size.
    void forgetSize()
    {
        sizeText.clear();
        sizeChecked = false;
        width = height = 0;
    }
};

// An item's processing state, as its icon shows it; the numbers are the
// ones the item list file keeps.
enum class TreeIcon : qint16 {
    Busy = 0,
    FileNew = 1,
    FileFailed = 2,
    FileStored = 3,
    LinkNew = 4,
    LinkFailed = 5,
    LinkParsed = 6,
    Root = 7
};
inline constexpr int kTreeIconCount = 8;

// The state a stored number names; `fallback` for a number no state has.
constexpr TreeIcon TreeIconFromNumber(int number, TreeIcon fallback)
{
    return number >= 0 && number < kTreeIconCount ? TreeIcon(number) : fallback;
}

// State indexes: the picture of the check box.
enum TreeState : int {
    StateNone = -1,
    StateUnchecked = 1,
    StateChecked = 2,
    StateDone = 3
};

enum ItemKind : qint32 { KindLink = 0, KindFile = 1, KindThumbnail = 2 };

// Colour slots of the configuration, numbered as the settings Color1 ... Color6.
enum ColorSlot : int {
    ColorLink = 1,
    ColorLinkParsed = 2,
    ColorFile = 3,
    ColorFileStored = 4,
    ColorFileViewed = 5,
    ColorBackground = 6
};

inline const QString kThumbnailMark = QStringLiteral("   (Thumbnail) ");

// A file item's caption: its name, the thumbnail mark for kind 2, and a
// suffix that tells its state ("  (Time out !)", "  (1200 bytes)", ...).
inline QString FileCaption(const TDataRec &item, const QString &suffix = QString())
{
    return item.name + (item.kind == KindThumbnail ? kThumbnailMark : QString()) + suffix;
}
// The dimensions a size check wrote at the end of a caption, "photo.jpg
// (1.2 MB, 1920 x 1080)", when the caption is the item's plain one so
// extended; false otherwise. What an item list file brings back of a check.
bool DimensionsInCaption(const TDataRec &item, const QString &caption, qint32 *width, qint32 *height);

inline const QString kRootLinksCaption = QStringLiteral("Root links:");
inline const QString kRootFilesCaption = QStringLiteral("Root files:");
