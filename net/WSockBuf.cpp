#include "WSockBuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int size)
    : m_data(size <= 0 ? kDefaultSize : size, Qt::Uninitialized)
{
}

int TBuffer::append(const char *data, int count)
{
    const int room = std::min(count, size() - m_write);
    if (room <= 0)
        return 0;
    std::memcpy(m_data.data() + m_write, data, size_t(room));
    m_write += room;
    return room;
}

const char *TBuffer::peek(int *count) const
{
    *count = m_write - m_read;
    return *count > 0 ? m_data.constData() + m_read : nullptr;
}

int TBuffer::consume(int n)
{
    const int dropped = std::clamp(n, 0, m_write - m_read);
    m_read += dropped;
    if (m_read == m_write)
        m_read = m_write = 0;
    return dropped;
}

void TBuffer::resize(int size)
{
    size = std::max(size, m_write);
    m_data.resize(size);
}
