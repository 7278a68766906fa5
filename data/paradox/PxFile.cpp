#include "PxFile.h"

#include "PxError.h"
#include "PxJournal.h"

#include <QFile>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace px {

namespace io {

Hook *g_hook = nullptr;

void install(Hook *hook)
{
    g_hook = hook;
}

namespace {
class FunctionHook : public Hook
{
public:
    explicit FunctionHook(HookFn fn) : m_fn(std::move(fn)) {}
    Verdict before(const Event &e) override { return Verdict{m_fn(e)}; }

private:
    HookFn m_fn;
};
std::unique_ptr<FunctionHook> &functionHook()
{
    static std::unique_ptr<FunctionHook> h;
    return h;
}
} // namespace

void setHook(HookFn fn)
{
    if (g_hook == functionHook().get())
        g_hook = nullptr;
    functionHook().reset();
    if (fn) {
        functionHook() = std::make_unique<FunctionHook>(std::move(fn));
        g_hook = functionHook().get();
    }
}

Verdict consult(Op op, const QString &path, qint64 offset, qint64 length, const QString &errorName)
{
    Hook *h = g_hook;
    if (!h)
        return {};
    const Verdict v = h->before(Event{op, path, offset, length});
    if (v.error)
        throw EngineError::writeFailed(errorName, v.error);
    return v;
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

io::Verdict File::pass(io::Op op, qint64 off, qint64 len, const void *old)
{
    // The journal's copy of the old bytes goes first: it reaches the medium before the change
    // is even attempted.
    if (m_journal && op != io::Op::Sync)
        m_journal->protect(m_journalId, off, op == io::Op::Truncate ? -1 : len);  // -1: to the end
    const io::Verdict v = io::pass(op, m_path, off, len, &errorName());
    if (v.drop)
        return v;
    if (m_undo && op == io::Op::Write) {
        if (old)
            m_undo->keep(*this, off, old, len);
        else
            m_undo->save(*this, off, len);
    }
    return v;
}

File::~File()
{
    close();
}

bool File::open(const QString &path, bool writable)
{
    close();
    m_path = path;
    m_overlay.reset();
    const QByteArray native = QFile::encodeName(path);
    int fd;
    // Non-blocking, so that a FIFO or a device named like a table cannot hang the open; the
    // kind is checked before a byte is read.
    do {
        fd = ::open(native.constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        if (errno == EISDIR)
            throw EngineError::notRegular(path, S_IFDIR);
        throw EngineError::readFailed(path, errno);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        throw EngineError::readFailed(path, e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EngineError::notRegular(path, st.st_mode);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_dev = quint64(st.st_dev);
    m_ino = quint64(st.st_ino);
    return true;
}

bool File::stillAtPath() const
{
    struct stat st;
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return false;
    return quint64(st.st_dev) == m_dev && quint64(st.st_ino) == m_ino && st.st_nlink > 0;
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
    m_overlay.reset();
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        m_dev = quint64(st.st_dev);
        m_ino = quint64(st.st_ino);
    }
}

void File::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 File::size() const
{
    if (Q_UNLIKELY(m_overlay))
        return m_overlay->size;
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        throw EngineError::readFailed(m_path, errno);
    return st.st_size;
}

bool File::readAt(qint64 off, void *buf, qint64 len) const
{
    if (Q_UNLIKELY(m_overlay))
        return overlayRead(off, static_cast<char *>(buf), len);
    return rawRead(off, static_cast<char *>(buf), len);
}

// The old bytes where the journal has them, the file's elsewhere; zeros where a rollback would
// extend a file that was cut short.
bool File::overlayRead(qint64 off, char *buf, qint64 len) const
{
    if (off < 0 || off + len > m_overlay->size)
        return false;
    std::memset(buf, 0, size_t(len));
    struct stat st;
    const qint64 real = ::fstat(m_fd, &st) == 0 ? st.st_size : 0;
    const qint64 have = std::max<qint64>(0, std::min(real, off + len) - off);
    if (have > 0 && !rawRead(off, buf, have))
        return false;
    const auto &pages = m_overlay->pages;
    auto it = pages.upper_bound(off);
    if (it != pages.begin())
        --it;
    for (; it != pages.end() && it->first < off + len; ++it) {
        const qint64 from = std::max(off, it->first);
        const qint64 to = std::min(off + len, it->first + it->second.size());
        if (from < to)
            std::memcpy(buf + (from - off), it->second.constData() + (from - it->first), size_t(to - from));
    }
    return true;
}

bool File::rawRead(qint64 off, char *p, qint64 len) const
{
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
    const io::Verdict v = pass(io::Op::Write, off, len, old);
    if (Q_UNLIKELY(v.drop))
        return;
    if (Q_UNLIKELY(v.writeOnly >= 0))
        len = std::min(len, v.writeOnly);  // a torn write: the rest never reaches the file
    const auto *p = static_cast<const char *>(buf);
    while (len > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size_t(len), off);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EngineError::writeFailed(errorName(), errno);
        }
        p += n;
        off += n;
        len -= n;
    }
}

void File::truncate(qint64 len)
{
    if (pass(io::Op::Truncate, len, 0).drop)
        return;
    int r;
    do {
        r = ::ftruncate(m_fd, len);
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        throw EngineError::writeFailed(errorName(), errno);
}

void File::sync()
{
    if (pass(io::Op::Sync, 0, 0).drop)
        return;
    int r;
    do {
        r = ::fdatasync(m_fd);
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        throw EngineError::writeFailed(errorName(), errno);
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
