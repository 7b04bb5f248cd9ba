#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// When a failed transfer is tried again (which failures may go better
// another time is the failure table's RetryMayHelp).
namespace RetryPolicy {

constexpr int kMaxDelaySeconds = 300;

// Seconds before try number attempt + 1 (attempt 1 failed: 1 s, then 2, 4,
// ...), or the server's Retry-After (seconds or an HTTP date), capped at
// kMaxDelaySeconds.
int delaySeconds(int attempt, const QString &retryAfter, const QDateTime &now);
// The value of the Retry-After field among response header lines, or empty.
QString retryAfterField(const QStringList &headerLines);
// A 429 or 503 holds the server's other queued files back too.
inline bool holdsTheServer(int status) { return status == 429 || status == 503; }

} // namespace RetryPolicy
