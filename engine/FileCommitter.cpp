#include "FileCommitter.h"

#include "BodyFile.h"

TFileCommitter::TFileCommitter(QObject *parent)
    : QObject(parent)
    , m_thread([this] { run(); })
{
}

TFileCommitter::~TFileCommitter()
{
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    m_thread.join(); // the queue is empty by then: every handed-over file is stored
}

void TFileCommitter::commit(std::unique_ptr<TBodyFile> file, Done done)
{
    ++m_pending;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(file), std::move(done)});
    }
    m_wake.notify_one();
}

void TFileCommitter::run()
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // closing, nothing left
        auto job = std::make_shared<Job>(std::move(m_jobs.front()));
        m_jobs.pop_front();
        lock.unlock();
        const bool ok = job->file->commit();
        // The file goes with the result: it is let go of on the owner's
        // thread, unheard when the owner is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, job = std::move(job), ok] {
                --m_pending;
                job->done(*job->file, ok);
            },
            Qt::QueuedConnection);
    }
}
