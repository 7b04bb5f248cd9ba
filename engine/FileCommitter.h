#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TBodyFile;

// Gives finished bodies their names on a thread of its own. A small file's
// syncs to disk cost more than its transfer on a fast link: on the window's
// thread they held every other slot's next request and the window itself.
// Files are committed one after another, in the order handed over; each
// result comes back on the owner's thread. Closing waits for what was
// handed over, so no whole body is lost at exit.
class TFileCommitter : public QObject
{
    Q_OBJECT

public:
    // Told on the owner's thread, with the file (closed when ok).
    using Done = std::function<void(const TBodyFile &file, bool ok)>;

    explicit TFileCommitter(QObject *parent = nullptr);
    ~TFileCommitter() override;

    void commit(std::unique_ptr<TBodyFile> file, Done done);
    // Handed over and not yet told.
    int pending() const { return m_pending; }

private:
    struct Job
    {
        std::unique_ptr<TBodyFile> file;
        Done done;
    };

    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs; // guarded by m_mutex
    bool m_closing = false; // guarded by m_mutex
    int m_pending = 0;      // the owner's thread only
    std::thread m_thread;
};
