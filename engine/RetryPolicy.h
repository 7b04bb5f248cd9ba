#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// When a failed transfer is tried again: a broken or cut connection, or an
// answer that says "later" or "not now" (408, 429, 500, 502, 503, 504).
namespace RetryPolicy {

constexpr int kMaxDelaySeconds = 300;

// Whether a transfer that ended so is worth another try. A refused
// certificate, a stop, a link without a server or a 404 are not.
bool worthRetrying(int error, int status);
// Seconds before try number attempt + 1 (attempt 1 failed: 1 s, then 2, 4,
// ...), or the server's Retry-After (seconds or an HTTP date), capped at
// kMaxDelaySeconds.
int delaySeconds(int attempt, const QString &retryAfter, const QDateTime &now);
// The value of the Retry-After field among response header lines, or empty.
QString retryAfterField(const QStringList &headerLines);
// A 429 or 503 holds the server's other queued files back too.
inline bool holdsTheServer(int status) { return status == 429 || status == 503; }

} // namespace RetryPolicy
