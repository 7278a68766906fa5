#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace px {

// A file descriptor with the engine's error reporting: every failure names the file.
class File
{
public:
    File() = default;
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Returns false when the file does not exist; throws on other failures.
    bool open(const QString &path, bool writable);
    void create(const QString &path);  // fails when it exists
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const QString &path() const { return m_path; }
    int fd() const { return m_fd; }

    qint64 size() const;
    // Reads exactly len bytes at off; returns false on a short read (past the end).
    bool readAt(qint64 off, void *buf, qint64 len) const;
    void writeAt(qint64 off, const void *buf, qint64 len);
    void truncate(qint64 len);
    void sync();

    // Byte-range locks that belong to this open file (not the process), so two opens in one
    // process conflict like two processes do. Return false when another holder conflicts.
    bool tryLock(qint64 byte, bool exclusive);
    void unlock(qint64 byte);

private:
    int m_fd = -1;
    QString m_path;
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
