#include "PxFile.h"

#include "PxError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace px {

File::~File()
{
    close();
}

bool File::open(const QString &path, bool writable)
{
    close();
    m_path = path;
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        throw EngineError::readFailed(path, errno);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EngineError::damaged(path, QStringLiteral("não é um arquivo comum"));
    }
    m_fd = fd;
    return true;
}

void File::create(const QString &path)
{
    close();
    m_path = path;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            throw EngineError::exists(path);
        throw EngineError::writeFailed(path, errno);
    }
    m_fd = fd;
}

void File::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 File::size() const
{
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        throw EngineError::readFailed(m_path, errno);
    return st.st_size;
}

bool File::readAt(qint64 off, void *buf, qint64 len) const
{
    auto *p = static_cast<char *>(buf);
    while (len > 0) {
        const ssize_t n = ::pread(m_fd, p, size_t(len), off);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EngineError::readFailed(m_path, errno);
        }
        if (n == 0)
            return false;
        p += n;
        off += n;
        len -= n;
    }
    return true;
}

void File::writeAt(qint64 off, const void *buf, qint64 len)
{
    const auto *p = static_cast<const char *>(buf);
    while (len > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size_t(len), off);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EngineError::writeFailed(m_path, errno);
        }
        p += n;
        off += n;
        len -= n;
    }
}

void File::truncate(qint64 len)
{
    int r;
    do {
        r = ::ftruncate(m_fd, len);
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        throw EngineError::writeFailed(m_path, errno);
}

void File::sync()
{
    int r;
    do {
        r = ::fdatasync(m_fd);
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        throw EngineError::writeFailed(m_path, errno);
}

bool File::tryLock(qint64 byte, bool exclusive)
{
    struct flock fl = {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    for (;;) {
        if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return false;
        throw EngineError::readFailed(m_path, errno);
    }
}

void File::unlock(qint64 byte)
{
    struct flock fl = {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
}

} // namespace px
