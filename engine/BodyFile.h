#pragma once

#include <QIODevice>
#include <QString>

// The body of one transfer on its way to disk: written as it arrives into an
// unnamed file in the directory of its final path, and given that name only
// when whole. A transfer that fails, or a process that dies, leaves nothing
// behind: the unnamed file goes with its descriptor.
class TBodyFile : public QIODevice
{
    Q_OBJECT

public:
    explicit TBodyFile(QObject *parent = nullptr);
    ~TBodyFile() override;

    // False when the directory's file system has no unnamed files (or the
    // directory is missing): the caller then keeps the body in memory.
    bool begin(const QString &path);
    // Puts the whole body under its name, replacing what was there. False
    // when anything failed, writing included; nothing is left behind then.
    bool commit();
    // Drops what was written: the body begins again from its first byte.
    bool restart();
    bool failed() const { return m_failed; }
    qint64 size() const override { return m_size; }
    bool isSequential() const override { return true; }
    QString errorText() const { return m_error; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void fail(const QString &what);

    int m_fd = -1;
    QString m_path;
    qint64 m_size = 0;
    bool m_failed = false;
    QString m_error;
};

// Makes a directory's entries (a name just given) last through a power loss.
void SyncDirectory(const QString &path);
