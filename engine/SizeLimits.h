#pragma once

#include "RunSettings.h"

#include <QString>

// What the configuration's size limits say of a file of this many bytes:
// nothing when it is within them, else the caption's suffix and the reason.
struct TSizeVerdict
{
    QString suffix; // "  (Skipped - Size over limit)"; empty when the file may come
    QString reason;
    bool skipped() const { return !suffix.isEmpty(); }
};

TSizeVerdict SizeLimitVerdict(qint64 size, const TDownloadSettings &settings);
