#pragma once

#include <QByteArray>

// One chunk of a socket's send queue: a fixed-size block with a write and a
// read position. Once everything written has been consumed, both return to 0.
class TBuffer
{
public:
    static constexpr int kDefaultSize = 1514;

    explicit TBuffer(int size = kDefaultSize);

    // Copies as much as fits behind the written bytes; returns that amount.
    int append(const char *data, int count);
    // The unread bytes.
    const char *peek(int *count) const;
    // Drops up to n unread bytes; returns how many were dropped.
    int consume(int n);
    int unread() const { return m_write - m_read; }
    int size() const { return int(m_data.size()); }
    void resize(int size);

private:
    QByteArray m_data;
    int m_write = 0;
    int m_read = 0;
};
