#include "RetryPolicy.h"

#include "HttpResponseHead.h"

#include <algorithm>

namespace RetryPolicy {

int delaySeconds(int attempt, const QString &retryAfter, const QDateTime &now)
{
    const QString value = retryAfter.trimmed();
    if (!value.isEmpty()) {
        bool number = false;
        const qint64 seconds = value.toLongLong(&number);
        if (number && seconds >= 0)
            return int(std::min<qint64>(seconds, kMaxDelaySeconds));
        // HTTP dates end in "GMT", which the RFC 2822 reader takes as a zone only as "+0000".
        QString date = value;
        if (date.endsWith(QLatin1String(" GMT")))
            date = date.chopped(4) + QLatin1String(" +0000");
        const QDateTime at = QDateTime::fromString(date, Qt::RFC2822Date);
        if (at.isValid())
            return int(std::clamp<qint64>(now.secsTo(at), 0, kMaxDelaySeconds));
    }
    const int shift = std::clamp(attempt - 1, 0, 16);
    return std::min(1 << shift, kMaxDelaySeconds);
}

QString retryAfterField(const QStringList &headerLines)
{
    return HeaderFieldValue(headerLines, QLatin1StringView("retry-after")).trimmed();
}

} // namespace RetryPolicy
