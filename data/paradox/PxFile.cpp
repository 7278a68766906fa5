#include "PxFile.h"

#include "PxError.h"
#include "PxJournal.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace px {

namespace io {
namespace {
Hook &hook()
{
    static Hook h = []() -> Hook {
        const QByteArray fault = qgetenv("BL_IO_FAULT");
        const qsizetype colon = fault.indexOf(':');
        if (colon < 0)
            return {};
        const QByteArray what = fault.left(colon);
        const long at = fault.mid(colon + 1).toLong();
        const int err = what == "enospc" ? ENOSPC : what == "eio" ? EIO : what == "kill" ? -1 : 0;
        if (err == 0 || at <= 0)
            return {};
        return [err, at, count = 0L](const Event &) mutable {
            if (++count != at)
                return 0;
            if (err < 0)
                ::kill(::getpid(), SIGKILL);
            return err;
        };
    }();
    return h;
}
} // namespace

void setHook(Hook h)
{
    hook() = std::move(h);
}

void pass(Op op, const QString &path, qint64 offset, qint64 length)
{
    if (const Hook &h = hook()) {
        if (const int err = h(Event{op, path, offset, length}))
            throw EngineError::writeFailed(path, err);
    }
}
} // namespace io

void UndoLog::save(File &file, qint64 off, qint64 len)
{
    QByteArray old(len, Qt::Uninitialized);
    qint64 got = 0;
    while (got < len) {
        const ssize_t n = ::pread(file.fd(), old.data() + got, size_t(len - got), off + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EngineError::readFailed(file.path(), errno);
        if (n == 0)
            break;  // past the end: growth, not kept
        got += n;
    }
    if (got == 0)
        return;
    old.truncate(got);
    m_entries.push_back(Entry{&file, off, std::move(old)});
}

void UndoLog::keep(File &file, qint64 off, const void *old, qint64 len)
{
    m_entries.push_back(Entry{&file, off, QByteArray(static_cast<const char *>(old), len)});
}

void UndoLog::replay()
{
    while (!m_entries.empty()) {
        const Entry &e = m_entries.back();
        e.file->writeAt(e.off, e.old.constData(), e.old.size());
        m_entries.pop_back();
    }
}

void File::pass(io::Op op, qint64 off, qint64 len, const void *old)
{
    io::pass(op, m_path, off, len);
    if (m_undo && op == io::Op::Write) {
        if (old)
            m_undo->keep(*this, off, old, len);
        else
            m_undo->save(*this, off, len);
    }
    if (m_journal && op != io::Op::Sync)
        m_journal->protect(m_journalId, off, op == io::Op::Truncate ? -1 : len);  // -1: to the end
}

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

void File::writeAt(qint64 off, const void *buf, qint64 len, const void *old)
{
    pass(io::Op::Write, off, len, old);
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
    pass(io::Op::Truncate, len, 0);
    int r;
    do {
        r = ::ftruncate(m_fd, len);
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        throw EngineError::writeFailed(m_path, errno);
}

void File::sync()
{
    pass(io::Op::Sync, 0, 0);
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
