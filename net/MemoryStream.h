#pragma once

#include <QIODevice>

// A growable in-memory stream for received bodies. Its storage is mapped
// memory that grows in place (the kernel moves pages, nothing is copied), is
// mapped ahead of the writer in large steps, and keeps its capacity when
// cleared up to a limit, so a transfer slot that downloads one file after
// another reuses warm memory.
class TMemoryStream : public QIODevice
{
    Q_OBJECT

public:
    // Capacity kept by clear(); larger buffers are given back.
    static constexpr qint64 kKeptCapacity = 64LL * 1024 * 1024;

    explicit TMemoryStream(QObject *parent = nullptr);
    ~TMemoryStream() override;

    const char *data() const { return m_data; }
    qint64 size() const override { return m_size; }
    qint64 capacity() const { return m_capacity; }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;

    // Makes room for at least this many bytes; false when memory ran out.
    bool reserve(qint64 bytes);
    // Room for n more bytes at the end, for a reader that fills it in place;
    // null when memory ran out. appended() then takes what was filled in.
    char *appendSpace(qint64 n);
    void appended(qint64 n);
    // Empties the stream, keeping warm memory up to kKeptCapacity.
    void clear();
    QByteArray toByteArray() const { return QByteArray(m_data, qsizetype(m_size)); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void release();
    void populate(qint64 end);

    char *m_data = nullptr;
    qint64 m_size = 0;
    qint64 m_capacity = 0;
    qint64 m_populated = 0; // bytes from the start already backed by pages
};
