#include "PageReader.h"

#include <QThread>

#include <condition_variable>
#include <mutex>

struct TPageReader::State
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    TShownPage result;
};

namespace {

// A page nested very deep makes the parser's own clean-up go as deep.
constexpr uint kReaderStack = 256u * 1024 * 1024;

} // namespace

TPageReader::TPageReader(const QByteArray &page, int maxFinds, qsizetype maxValue)
    : m_state(std::make_shared<State>())
{
    QThread *thread = QThread::create([state = m_state, page, maxFinds, maxValue] {
        TShownPage result = ReadShownPictures(page, maxFinds, maxValue);
        const std::lock_guard lock(state->mutex);
        state->result = std::move(result);
        state->done = true;
        state->ended.notify_all();
    });
    thread->setStackSize(kReaderStack);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::LowPriority);
}

TPageReader::~TPageReader() = default;

bool TPageReader::wait(int ms)
{
    std::unique_lock lock(m_state->mutex);
    return m_state->ended.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_state->done; });
}

TShownPage TPageReader::take()
{
    const std::lock_guard lock(m_state->mutex);
    return std::move(m_state->result);
}
