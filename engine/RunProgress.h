#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <utility>

// How far a download run is: files finished of those handed out, bytes
// received, the current speed (over the last few seconds) and an estimate
// of the time left (from the run's pace so far). Times are milliseconds of
// any steady clock; the caller passes them, so the figures can be tested.
class TRunProgress
{
public:
    static constexpr qint64 kSpeedWindowMs = 5000;

    struct Figures
    {
        int stored = 0;
        int failed = 0;
        int skipped = 0; // by the size limits: not a failure
        qint64 maxSize = -1, minSize = -1; // the limits that skipped files, -1 when none did
        int stalled = 0;       // transfers silent for a while, waiting for their time-out
        int total = 0; // finished plus still queued or in transfer
        qint64 bytes = 0;
        double bytesPerSecond = 0;
        int secondsLeft = -1; // unknown until a file has finished
        int percent = 0;      // of the files
    };

    void begin(qint64 nowMs);
    void fileStored() { ++m_stored; }
    void fileFailed() { ++m_failed; }
    // A file the size limits left out: over maxSize, or under minSize (the other -1).
    void fileSkipped(qint64 maxSize, qint64 minSize);
    // Transfers silent for a while, and the most seconds one still waits for its time-out.
    void setStalled(int count, int secondsToTimeOut)
    {
        m_stalled = count;
        m_stallSeconds = secondsToTimeOut;
    }
    void bytesArrived(qint64 count, qint64 nowMs);
    // The figures now, with this many files still queued or in transfer.
    Figures figures(int remaining, qint64 nowMs) const;
    bool started() const { return m_startMs >= 0; }

private:
    qint64 m_startMs = -1;
    int m_stored = 0;
    int m_failed = 0;
    int m_skipped = 0;
    qint64 m_maxSize = -1, m_minSize = -1;
    int m_stalled = 0, m_stallSeconds = 0;
    qint64 m_bytes = 0;
    std::deque<std::pair<qint64, qint64>> m_samples; // (time, bytes so far), the last few seconds
};

// " Status: 42/200 · 3 skipped · 1 failed · 3.1 MB · 1.2 MB/s · 0:35 left": short
// enough for the status bar.
QString RunProgressText(const TRunProgress::Figures &figures);
// The same in three lines under the bars: files, bytes and speed, time left.
QStringList RunProgressLines(const TRunProgress::Figures &figures);
// "26 files stored, 11 skipped by your size limit (over 150000 bytes), 2 failed":
// what a finished run did.
QString RunSummaryText(const TRunProgress::Figures &figures);
// "42% - Trawlix", "42% · 3 skipped · 1 failed - Trawlix"
QString RunTitleText(const TRunProgress::Figures &figures, const QString &product);
// "1.2 MB", "800 bytes": sizes as a user reads them (units of 1024).
QString ByteSizeText(qint64 bytes);
