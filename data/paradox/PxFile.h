#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace px {

class Journal;
class File;

// The old bytes of every write made while it is attached, in memory: a write that fails after
// its change became visible puts them back, newest first, so a reported failure leaves the
// pair as it was. Only in-place overwrites are kept; growth is left for repair to trim.
class UndoLog
{
public:
    void save(File &file, qint64 off, qint64 len);
    // The same when the caller knows the old bytes (no read).
    void keep(File &file, qint64 off, const void *old, qint64 len);
    // Writes the old bytes back; throws EngineError when that fails too.
    void replay();
    bool isEmpty() const { return m_entries.empty(); }
    void clear() { m_entries.clear(); }

private:
    struct Entry
    {
        File *file;
        qint64 off;
        QByteArray old;
    };
    std::vector<Entry> m_entries;
};

// Every write, truncation, flush, removal and rename of an engine file passes here first, so a
// batch's journal sees every byte before it changes and tests can inject faults and torn writes
// at each of them. Only test code installs a hook; without one the layer costs one pointer test.
namespace io {
enum class Op { Write, Truncate, Sync, Remove, Rename };
struct Event
{
    Op op;
    const QString &path;
    qint64 offset;  // Truncate: the new length
    qint64 length;
};
// What the layer does with an operation a hook has seen.
struct Verdict
{
    int error = 0;          // an errno value the operation fails with
    bool drop = false;      // do nothing, report success (what a crash leaves unwritten)
    qint64 writeOnly = -1;  // Write: only this many leading bytes reach the file
};
class Hook
{
public:
    virtual ~Hook() = default;
    virtual Verdict before(const Event &event) = 0;
};
// Test code installs a hook (nullptr removes it); the shipped programs never do.
void install(Hook *hook);
extern Hook *g_hook;
// A function returning 0 to go on or an errno value to fail with, as a hook (tests).
using HookFn = std::function<int(const Event &)>;
void setHook(HookFn fn);
// Asks the hook about an operation on path; throws the engine's write error when it says fail.
// errorName: the file the error names (a journal's failures are the table's).
Verdict consult(Op op, const QString &path, qint64 offset, qint64 length, const QString &errorName);
inline Verdict pass(Op op, const QString &path, qint64 offset, qint64 length, const QString *errorName = nullptr)
{
    if (Q_LIKELY(!g_hook))
        return {};
    return consult(op, path, offset, length, errorName ? *errorName : path);
}
} // namespace io

// What a reader sees of a file instead of its bytes while a rollback journal is left on it:
// the file as the rollback would leave it, without writing.
struct ReadOverlay
{
    qint64 size = 0;
    std::map<qint64, QByteArray> pages;  // offset -> old bytes
};

// A file descriptor with the engine's error reporting: every failure names the file.
class File
{
public:
    File() = default;
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Returns false when the file does not exist; throws on other failures. Anything but a
    // regular file (a folder, a FIFO, a device) is refused at once, without blocking.
    bool open(const QString &path, bool writable);
    void create(const QString &path);  // fails when it exists
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const QString &path() const { return m_path; }
    // The file a failure names, when not this one (a journal's failures are its table's).
    void setErrorName(const QString &name) { m_errorName = name; }
    int fd() const { return m_fd; }

    qint64 size() const;
    // Reads exactly len bytes at off; returns false on a short read (past the end).
    bool readAt(qint64 off, void *buf, qint64 len) const;
    // old: the bytes there now, when the caller knows them (saves the undo log a read).
    void writeAt(qint64 off, const void *buf, qint64 len, const void *old = nullptr);
    void truncate(qint64 len);
    void sync();

    // Byte-range locks that belong to this open file (not the process), so two opens in one
    // process conflict like two processes do. Return false when another holder conflicts.
    bool tryLock(qint64 byte, bool exclusive);
    void unlock(qint64 byte);

    // While set, the journal keeps the bytes each write or truncation is about to change.
    void setJournal(Journal *journal, int id)
    {
        m_journal = journal;
        m_journalId = id;
    }

    // While set, the undo log keeps the old bytes of each write.
    void setUndo(UndoLog *undo) { m_undo = undo; }

    // While set, reads and size() see the overlay's old bytes over the file's.
    void setOverlay(std::shared_ptr<const ReadOverlay> overlay) { m_overlay = std::move(overlay); }
    bool hasOverlay() const { return m_overlay != nullptr; }

    // False when the path no longer leads to this open file (removed, renamed away, its
    // folder gone, the medium pulled).
    bool stillAtPath() const;

private:
    io::Verdict pass(io::Op op, qint64 off, qint64 len, const void *old = nullptr);
    bool overlayRead(qint64 off, char *buf, qint64 len) const;
    bool rawRead(qint64 off, char *buf, qint64 len) const;

    const QString &errorName() const { return m_errorName.isEmpty() ? m_path : m_errorName; }

    int m_fd = -1;
    QString m_errorName;
    quint64 m_dev = 0, m_ino = 0;
    std::shared_ptr<const ReadOverlay> m_overlay;
    QString m_path;
    Journal *m_journal = nullptr;
    int m_journalId = 0;
    UndoLog *m_undo = nullptr;
};

// Little-endian helpers for header and block fields.
inline quint16 le16(const unsigned char *p) { return quint16(p[0] | (p[1] << 8)); }
inline quint32 le32(const unsigned char *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
inline void put16(unsigned char *p, quint16 v)
{
    p[0] = v & 0xFF;
    p[1] = v >> 8;
}
inline void put32(unsigned char *p, quint32 v)
{
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
    p[2] = (v >> 16) & 0xFF;
    p[3] = v >> 24;
}

} // namespace px
