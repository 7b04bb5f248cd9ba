#include "RunProgress.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

void TRunProgress::begin(qint64 nowMs)
{
    *this = TRunProgress();
    m_startMs = nowMs;
    m_samples.emplace_back(nowMs, 0);
}

void TRunProgress::fileSkipped(qint64 maxSize, qint64 minSize)
{
    ++m_skipped;
    if (maxSize >= 0)
        m_maxSize = maxSize;
    if (minSize >= 0)
        m_minSize = minSize;
}

void TRunProgress::bytesArrived(qint64 count, qint64 nowMs)
{
    m_bytes += count;
    // One sample per tenth of a second is plenty for a speed over seconds.
    if (m_samples.empty() || nowMs - m_samples.back().first >= 100)
        m_samples.emplace_back(nowMs, m_bytes);
    else
        m_samples.back().second = m_bytes;
    while (m_samples.size() > 1 && nowMs - m_samples[1].first >= kSpeedWindowMs)
        m_samples.pop_front();
}

TRunProgress::Figures TRunProgress::figures(int remaining, qint64 nowMs) const
{
    Figures f;
    f.stored = m_stored;
    f.failed = m_failed;
    f.skipped = m_skipped;
    f.maxSize = m_maxSize;
    f.minSize = m_minSize;
    f.stalled = m_stalled;
    const int finished = m_stored + m_failed + m_skipped;
    f.total = finished + std::max(remaining, 0);
    f.bytes = m_bytes;
    f.percent = f.total > 0 ? finished * 100 / f.total : 0;
    // Bytes over the last few seconds, quiet ones included: from the last
    // sample before the window began (or the run's start) up to now.
    const qint64 from = nowMs - kSpeedWindowMs;
    qint64 baseBytes = 0;
    qint64 baseTime = m_startMs;
    for (const auto &[time, bytes] : m_samples) {
        if (time > from)
            break;
        baseBytes = bytes;
        baseTime = time;
    }
    if (m_startMs >= 0) {
        const qint64 span = std::max<qint64>(nowMs - std::max(baseTime, from), 1000);
        f.bytesPerSecond = double(m_bytes - baseBytes) * 1000.0 / double(span);
    }
    if (finished > 0 && m_startMs >= 0) {
        const double perFileMs = double(nowMs - m_startMs) / finished;
        f.secondsLeft = int(std::ceil(perFileMs * (f.total - finished) / 1000.0));
    }
    // A stalled transfer ends no sooner than its time-out.
    if (m_stalled > 0 && finished < f.total)
        f.secondsLeft = std::max(f.secondsLeft, m_stallSeconds);
    return f;
}

QString ByteSizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    static const char *const units[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 1 : 0).arg(QLatin1String(units[unit]));
}

namespace {

QString durationText(int seconds)
{
    const int h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString ms = QStringLiteral("%1:%2").arg(m, h > 0 ? 2 : 1, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QStringLiteral("%1:%2").arg(h).arg(ms) : ms;
}

} // namespace

namespace {

QString countText(int count, const char *one, const char *many)
{
    return count == 1 ? QString::fromLatin1(one) : QString::fromLatin1(many).arg(count);
}

// "3 skipped · 1 failed · 2 stalled": the parts that are not zero.
QStringList outcomeParts(const TRunProgress::Figures &f)
{
    QStringList parts;
    if (f.skipped > 0)
        parts << QStringLiteral("%1 skipped").arg(f.skipped);
    if (f.failed > 0)
        parts << QStringLiteral("%1 failed").arg(f.failed);
    if (f.stalled > 0)
        parts << QStringLiteral("%1 stalled").arg(f.stalled);
    return parts;
}

const QString kDot = QStringLiteral(" \u00b7 ");

} // namespace

QStringList RunProgressLines(const TRunProgress::Figures &f)
{
    const int finished = f.stored + f.failed + f.skipped;
    QString files = QStringLiteral("%1 of %2 files").arg(finished).arg(f.total);
    if (const QStringList parts = outcomeParts(f); !parts.isEmpty())
        files += QStringLiteral(" (%1)").arg(parts.join(QStringLiteral(", ")));
    QStringList lines{files, ByteSizeText(f.bytes) + QStringLiteral(" at ") + ByteSizeText(qint64(f.bytesPerSecond)) + QStringLiteral("/s")};
    if (f.secondsLeft >= 0 && finished < f.total)
        lines << QStringLiteral("about ") + durationText(f.secondsLeft) + QStringLiteral(" left")
                     + (f.stalled > 0 ? countText(f.stalled, ", waiting for 1 stalled file", ", waiting for %1 stalled files")
                                      : QString());
    return lines;
}

QString RunProgressText(const TRunProgress::Figures &f)
{
    const int finished = f.stored + f.failed + f.skipped;
    QStringList parts{QStringLiteral("%1/%2").arg(finished).arg(f.total)};
    parts << outcomeParts(f) << ByteSizeText(f.bytes) << ByteSizeText(qint64(f.bytesPerSecond)) + QStringLiteral("/s");
    if (f.secondsLeft >= 0 && finished < f.total)
        parts << durationText(f.secondsLeft) + QStringLiteral(" left");
    return QStringLiteral(" Status: ") + parts.join(kDot);
}

QString RunSummaryText(const TRunProgress::Figures &f)
{
    QString text = countText(f.stored, "1 file stored", "%1 files stored");
    if (f.skipped > 0) {
        QStringList limits;
        if (f.maxSize >= 0)
            limits << QStringLiteral("over %1 bytes").arg(f.maxSize);
        if (f.minSize >= 0)
            limits << QStringLiteral("under %1 bytes").arg(f.minSize);
        text += QStringLiteral(", %1 skipped by your size limit (%2)").arg(f.skipped).arg(limits.join(QStringLiteral(" or ")));
    }
    if (f.failed > 0)
        text += QStringLiteral(", %1 failed").arg(f.failed);
    return text;
}

QString RunTitleText(const TRunProgress::Figures &f, const QString &product)
{
    return (QStringList{QStringLiteral("%1%").arg(f.percent)} + outcomeParts(f)).join(kDot) + QStringLiteral(" - ") + product;
}
