#include "PxJournal.h"

#include "PxError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace px {

namespace {

constexpr char Magic[8] = {'B', 'L', 'J', 'R', 'N', 'L', '0', '1'};
constexpr int HeaderBytes = 8 + 8 + 8 + 4;
constexpr int EntryHead = 1 + 8 + 4;

quint32 crc32(const char *data, qint64 len, quint32 crc = 0)
{
    crc = ~crc;
    for (qint64 i = 0; i < len; ++i) {
        crc ^= quint8(data[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put64(unsigned char *p, qint64 v)
{
    put32(p, quint32(quint64(v)));
    put32(p + 4, quint32(quint64(v) >> 32));
}
qint64 le64(const unsigned char *p)
{
    return qint64(quint64(le32(p)) | (quint64(le32(p + 4)) << 32));
}

void syncDir(const QString &path, const QString &table)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (io::pass(io::Op::Sync, dir, 0, 0, &table).drop)
        return;
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The journal's removal and the directory's flush after it pass the I/O layer like writes.
// sync: the removal must reach the medium before the caller goes on (it makes a write final).
void removeFile(const QString &path, const QString &table, bool sync = true)
{
    if (io::pass(io::Op::Remove, path, 0, 0, &table).drop)
        return;
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        throw EngineError::writeFailed(table, errno);
    if (sync)
        syncDir(path, table);
}

} // namespace

QString Journal::pathFor(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    const QString suffix = fi.suffix();
    const bool lower = !suffix.isEmpty() && suffix.at(0).isLower();
    return fi.path() + QLatin1Char('/') + fi.completeBaseName() + (lower ? QStringLiteral(".jnl") : QStringLiteral(".JNL"));
}

bool Journal::exists(const QString &dbPath)
{
    return QFileInfo::exists(pathFor(dbPath));
}

Journal::Journal(const QString &dbPath, File &db, File *mb) : m_path(pathFor(dbPath))
{
    m_files[0] = &db;
    m_files[1] = mb;
    start(QByteArray());
}

Journal::Journal(const QString &dbPath, File &db, File *mb, const std::vector<Range> &ranges, bool sync)
    : m_path(pathFor(dbPath)), m_sync(sync)
{
    m_files[0] = &db;
    m_files[1] = mb;
    m_size[0] = db.size();
    m_size[1] = mb ? mb->size() : -1;
    QByteArray initial;
    for (const Range &r : ranges) {
        if (!m_files[r.file])
            continue;
        const qint64 end = std::min(m_size[r.file], r.offset + r.length);
        for (qint64 page = r.offset / PageSize; page * PageSize < end; ++page)
            if (m_saved[r.file].insert(page).second)
                initial += entry(r.file, page);
    }
    start(initial);
}

QByteArray Journal::entry(int id, qint64 page)
{
    File *f = m_files[id];
    const qint64 at = page * PageSize;
    const qint64 n = std::min<qint64>(PageSize, m_size[id] - at);
    QByteArray e(EntryHead + n + 4, Qt::Uninitialized);
    auto *p = reinterpret_cast<unsigned char *>(e.data());
    p[0] = quint8(id);
    put64(p + 1, at);
    put32(p + 9, quint32(n));
    if (!f->readAt(at, p + EntryHead, n))
        throw EngineError::readFailed(f->path(), EIO);
    put32(p + EntryHead + n, crc32(e.constData(), EntryHead + n));
    return e;
}

// The journal's header (and the first pages) in one write, flushed with its directory entry.
void Journal::start(const QByteArray &initial)
{
    m_size[0] = m_files[0]->size();
    m_size[1] = m_files[1] ? m_files[1]->size() : -1;
    QByteArray all(HeaderBytes, Qt::Uninitialized);
    auto *head = reinterpret_cast<unsigned char *>(all.data());
    std::memcpy(head, Magic, 8);
    put64(head + 8, m_size[0]);
    put64(head + 16, m_size[1]);
    put32(head + 24, crc32(all.constData(), 24));
    all += initial;
    m_file.create(m_path);
    m_file.setErrorName(m_files[0]->path());
    try {
        m_file.writeAt(0, all.constData(), all.size());
        if (m_sync) {
            m_file.sync();
            syncDir(m_path, m_files[0]->path());
        }
    } catch (...) {
        m_file.close();
        ::unlink(QFile::encodeName(m_path).constData());
        throw;
    }
    m_end = all.size();
    m_active = true;
    m_files[0]->setJournal(this, 0);
    if (m_files[1])
        m_files[1]->setJournal(this, 1);
}

Journal::~Journal()
{
    if (m_active) {
        try {
            rollback();
        } catch (...) {
            // The journal stays; the next opener puts the old bytes back.
            detach();
        }
    }
}

void Journal::detach()
{
    for (File *f : m_files)
        if (f)
            f->setJournal(nullptr, 0);
    m_active = false;
    m_file.close();
}

void Journal::protect(int id, qint64 off, qint64 len)
{
    m_touched[id] = true;
    const qint64 old = m_size[id];
    const qint64 end = len < 0 ? old : std::min(old, off + len);
    QVector<qint64> added;
    QByteArray entries;
    for (qint64 page = off / PageSize; page * PageSize < end; ++page) {
        if (m_saved[id].count(page))
            continue;
        entries += entry(id, page);
        added.append(page);
    }
    if (added.isEmpty())
        return;
    m_file.writeAt(m_end, entries.constData(), entries.size());
    m_end += entries.size();
    if (m_sync)
        m_file.sync();  // the old bytes are safe before the new ones are written
    for (qint64 page : added)
        m_saved[id].insert(page);
}

void Journal::commit()
{
    if (m_sync)
        for (int i = 0; i < 2; ++i)
            if (m_files[i] && m_touched[i])
                m_files[i]->sync();
    // Until the journal is gone, a failure here still rolls the batch back.
    removeFile(m_path, m_files[0]->path(), m_sync);
    detach();
}

namespace {

// Calls fn for each whole entry of a journal's bytes, in order (file id, offset, old bytes).
// Entries whose checksum fails were being written when the batch stopped: the bytes they
// would protect had not been touched yet, so the walk ends there.
template <class F>
void forEachEntry(const QByteArray &all, F fn)
{
    const auto *u = reinterpret_cast<const unsigned char *>(all.constData());
    const qint64 size = all.size();
    qint64 pos = HeaderBytes;
    while (pos + EntryHead + 4 <= size) {
        const unsigned char *p = u + pos;
        const int id = p[0];
        const qint64 at = le64(p + 1);
        const qint64 n = le32(p + 9);
        if (id > 1 || n > Journal::PageSize || at < 0 || pos + EntryHead + n + 4 > size
            || le32(p + EntryHead + n) != crc32(all.constData() + pos, EntryHead + n))
            break;
        fn(id, at, p + EntryHead, n);
        pos += EntryHead + n + 4;
    }
}

} // namespace

void Journal::rollback()
{
    if (!m_active)
        return;
    for (File *f : m_files)
        if (f)
            f->setJournal(nullptr, 0);
    QByteArray all(m_end, Qt::Uninitialized);
    if (!m_file.readAt(0, all.data(), m_end))
        throw EngineError::readFailed(m_path, EIO);
    forEachEntry(all, [&](int id, qint64 at, const unsigned char *data, qint64 n) {
        m_files[id]->writeAt(at, data, n);
    });
    for (int i = 0; i < 2; ++i)
        if (m_files[i]) {
            if (m_files[i]->size() != m_size[i])
                m_files[i]->truncate(m_size[i]);
            if (m_sync)
                m_files[i]->sync();
        }
    detach();
    removeFile(m_path, m_files[0]->path(), m_sync);
}

bool Journal::recover(const QString &dbPath, const QString &mbPath)
{
    const QString path = pathFor(dbPath);
    File j;
    if (!j.open(path, false))
        return false;
    const qint64 size = j.size();
    QByteArray all(size, Qt::Uninitialized);
    if (size > 0 && !j.readAt(0, all.data(), size))
        throw EngineError::readFailed(path, EIO);
    j.close();
    const auto *u = reinterpret_cast<const unsigned char *>(all.constData());
    // A journal whose own header is incomplete was cut before the batch wrote anything.
    if (size < HeaderBytes || std::memcmp(u, Magic, 8) != 0 || le32(u + 24) != crc32(all.constData(), 24)) {
        removeFile(path, dbPath);
        return true;
    }
    const qint64 sizes[2] = {le64(u + 8), le64(u + 16)};
    File files[2];
    auto openWritable = [&](int i, const QString &p) {
        try {
            if (!files[i].open(p, true))
                throw EngineError::fileMissing(p);
        } catch (const EngineError &e) {
            if (e.kind() == EngineError::Kind::FileMissing)
                throw;
            throw EngineError(EngineError::Kind::WriteFailed,
                              QStringLiteral("A tabela %1 tem uma gravação interrompida a desfazer, mas não pode ser gravada")
                                  .arg(QDir::toNativeSeparators(dbPath)));
        }
    };
    openWritable(0, dbPath);
    if (sizes[1] >= 0 && !mbPath.isEmpty())
        openWritable(1, mbPath);
    forEachEntry(all, [&](int id, qint64 at, const unsigned char *data, qint64 n) {
        if (files[id].isOpen())
            files[id].writeAt(at, data, n);
    });
    for (int i = 0; i < 2; ++i)
        if (files[i].isOpen()) {
            if (files[i].size() != sizes[i])
                files[i].truncate(sizes[i]);
            files[i].sync();
        }
    removeFile(path, dbPath);
    return true;
}

std::optional<Journal::View> Journal::view(const QString &dbPath)
{
    const QString path = pathFor(dbPath);
    File j;
    if (!j.open(path, false))
        return std::nullopt;
    const qint64 size = j.size();
    QByteArray all(size, Qt::Uninitialized);
    if (size > 0 && !j.readAt(0, all.data(), size))
        throw EngineError::readFailed(path, EIO);
    const auto *u = reinterpret_cast<const unsigned char *>(all.constData());
    if (size < HeaderBytes || std::memcmp(u, Magic, 8) != 0 || le32(u + 24) != crc32(all.constData(), 24))
        return std::nullopt;  // cut before the batch wrote anything: nothing to undo
    auto files = std::make_shared<ReadOverlay>();
    auto memo = std::make_shared<ReadOverlay>();
    ReadOverlay *o[2] = {files.get(), memo.get()};
    o[0]->size = le64(u + 8);
    o[1]->size = le64(u + 16);
    forEachEntry(all, [&](int id, qint64 at, const unsigned char *data, qint64 n) {
        o[id]->pages[at] = QByteArray(reinterpret_cast<const char *>(data), n);
    });
    View v;
    if (o[0]->size >= 0)
        v.files[0] = files;
    if (o[1]->size >= 0)
        v.files[1] = memo;
    return v;
}

} // namespace px
