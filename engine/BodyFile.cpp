#include "BodyFile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

TBodyFile::TBodyFile(QObject *parent)
    : QIODevice(parent)
{
}

TBodyFile::~TBodyFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TBodyFile::begin(const QString &path)
{
    m_path = path;
    // Naming an unnamed file goes through /proc; without it the caller keeps
    // the body in memory instead.
    if (::access("/proc/self/fd", X_OK) != 0)
        return false;
    const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    m_fd = ::open(directory.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return false;
    open(QIODevice::WriteOnly);
    return true;
}

void TBodyFile::fail(const QString &what)
{
    if (!m_failed)
        m_error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    m_failed = true;
}

qint64 TBodyFile::readData(char *, qint64)
{
    return -1;
}

qint64 TBodyFile::writeData(const char *data, qint64 size)
{
    if (m_failed)
        return -1;
    for (qint64 done = 0; done < size;) {
        const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fail(QStringLiteral("write"));
            return -1;
        }
        done += n;
    }
    m_size += size;
    return size;
}

bool TBodyFile::restart()
{
    if (m_fd < 0 || m_failed)
        return false;
    if (::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0) {
        fail(QStringLiteral("truncate"));
        return false;
    }
    m_size = 0;
    return true;
}

bool TBodyFile::commit()
{
    if (m_fd < 0 || m_failed)
        return false;
    // A name of its own beside the target first, then renamed over it: the
    // target is either the old file or the whole new one, never a part.
    // The temporary name is short, whatever the target's length: a name at
    // the file system's limit must still be storable.
    const QByteArray target = QFile::encodeName(m_path);
    const QByteArray directory = QFile::encodeName(QFileInfo(m_path).absolutePath());
    // On the disk before it gets its name: after a power loss a stored file
    // is whole, never an empty one under its name.
    if (::fsync(m_fd) != 0) {
        fail(QStringLiteral("fsync"));
        return false;
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    QByteArray temporary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = directory + "/.trawlix-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temporary.constData(), AT_SYMLINK_FOLLOW) == 0)
            break;
        temporary.clear();
        if (errno != EEXIST) {
            fail(QStringLiteral("link"));
            return false;
        }
    }
    if (temporary.isEmpty() || ::rename(temporary.constData(), target.constData()) != 0) {
        fail(QStringLiteral("rename"));
        if (!temporary.isEmpty())
            ::unlink(temporary.constData());
        return false;
    }
    SyncDirectory(QString::fromLocal8Bit(directory)); // the new name itself
    ::close(m_fd);
    m_fd = -1;
    close();
    return true;
}

void SyncDirectory(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}
