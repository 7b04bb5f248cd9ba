#include "MemoryStream.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>

namespace {

constexpr qint64 kMinimumCapacity = 64 * 1024;

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
    // Fewer page faults on large bodies; a hint only.
    madvise(grown, size_t(capacity), MADV_HUGEPAGE);
    m_data = static_cast<char *>(grown);
    m_capacity = capacity;
    return true;
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
    std::memcpy(m_data + pos(), data, size_t(size));
    m_size = std::max(m_size, end);
    return size;
}
