#include "MemoryStream.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>

namespace {

constexpr qint64 kMinimumCapacity = 64 * 1024;
constexpr qint64 kPopulateStep = 8 * 1024 * 1024;

void *mapAnonymous(qint64 bytes)
{
    void *p = mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

} // namespace

TMemoryStream::TMemoryStream(QObject *parent)
    : QIODevice(parent)
{
    open(QIODevice::ReadWrite);
}

TMemoryStream::~TMemoryStream()
{
    release();
}

void TMemoryStream::release()
{
    if (m_data)
        munmap(m_data, size_t(m_capacity));
    m_data = nullptr;
    m_capacity = 0;
    m_size = 0;
    m_populated = 0;
}

bool TMemoryStream::reserve(qint64 bytes)
{
    if (bytes <= m_capacity)
        return true;
    qint64 capacity = std::max(kMinimumCapacity, m_capacity);
    while (capacity < bytes)
        capacity *= 2;
    void *grown = m_data ? mremap(m_data, size_t(m_capacity), size_t(capacity), MREMAP_MAYMOVE)
                         : mapAnonymous(capacity);
    if (!grown || grown == MAP_FAILED)
        return false;
    m_data = static_cast<char *>(grown);
    m_capacity = capacity;
    m_populated = std::min(m_populated, m_capacity);
    return true;
}

// Fresh pages are faulted in one at a time as they are first written, which
// bounds the first transfer of a process; the kernel maps a run of them much
// faster in one call. Huge pages are not asked for: on a fragmented machine
// the kernel compacts memory for them on the spot, which stalled the first
// large transfer of a process for a second and more.
void TMemoryStream::populate(qint64 end)
{
    if (end <= m_populated)
        return;
    const qint64 upTo = std::min(m_capacity, std::max(end, m_populated + kPopulateStep));
#ifdef MADV_POPULATE_WRITE
    madvise(m_data + m_populated, size_t(upTo - m_populated), MADV_POPULATE_WRITE);
#endif
    m_populated = upTo;
}

char *TMemoryStream::appendSpace(qint64 n)
{
    if (!reserve(m_size + n))
        return nullptr;
    populate(m_size + n);
    return m_data + m_size;
}

void TMemoryStream::appended(qint64 n)
{
    m_size += n;
    QIODevice::seek(m_size);
}

void TMemoryStream::clear()
{
    if (m_capacity > kKeptCapacity)
        release();
    m_size = 0;
    QIODevice::seek(0);
}

bool TMemoryStream::seek(qint64 pos)
{
    if (pos < 0 || pos > m_size)
        return false;
    return QIODevice::seek(pos);
}

qint64 TMemoryStream::readData(char *data, qint64 maxSize)
{
    const qint64 available = std::max<qint64>(0, m_size - pos());
    const qint64 n = std::min(maxSize, available);
    if (n > 0)
        std::memcpy(data, m_data + pos(), size_t(n));
    return n;
}

qint64 TMemoryStream::writeData(const char *data, qint64 size)
{
    const qint64 end = pos() + size;
    if (!reserve(end))
        return -1;
    populate(end);
    std::memcpy(m_data + pos(), data, size_t(size));
    m_size = std::max(m_size, end);
    return size;
}
