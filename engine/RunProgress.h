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
        int total = 0; // finished plus still queued or in transfer
        qint64 bytes = 0;
        double bytesPerSecond = 0;
        int secondsLeft = -1; // unknown until a file has finished
        int percent = 0;      // of the files
    };

    void begin(qint64 nowMs);
    void fileStored() { ++m_stored; }
    void fileFailed() { ++m_failed; }
    void bytesArrived(qint64 count, qint64 nowMs);
    // The figures now, with this many files still queued or in transfer.
    Figures figures(int remaining, qint64 nowMs) const;
    bool started() const { return m_startMs >= 0; }

private:
    qint64 m_startMs = -1;
    int m_stored = 0;
    int m_failed = 0;
    qint64 m_bytes = 0;
    std::deque<std::pair<qint64, qint64>> m_samples; // (time, bytes so far), the last few seconds
};

// " Status: File download - 42 of 200 files, 3.1 MB at 1.2 MB/s, about 0:35 left"
QString RunProgressText(const TRunProgress::Figures &figures);
// The same in three short lines: files, bytes and speed, time left.
QStringList RunProgressLines(const TRunProgress::Figures &figures);
// "198 files stored, 2 failed": what a finished run did.
QString RunSummaryText(const TRunProgress::Figures &figures);
// "1.2 MB", "800 bytes": sizes as a user reads them (units of 1024).
QString ByteSizeText(qint64 bytes);
