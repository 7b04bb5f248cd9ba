#include "SizeLimits.h"

TSizeVerdict SizeLimitVerdict(qint64 size, const TDownloadSettings &s)
{
    if (size < s.minSize)
        return {QStringLiteral("  (Skipped - Size under limit)"),
                QStringLiteral("%1 bytes, under the least size of %2 bytes").arg(size).arg(s.minSize)};
    if (size > s.maxSize)
        return {QStringLiteral("  (Skipped - Size over limit)"),
                QStringLiteral("%1 bytes, over the largest size of %2 bytes").arg(size).arg(s.maxSize)};
    return {};
}
