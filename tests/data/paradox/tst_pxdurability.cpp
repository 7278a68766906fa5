// A post returns only after its data reached the medium, and the engine's writes come in an
// order that a crash cannot turn into a broken table. The system calls that write and flush
// the table files are watched by interposing them in this executable.

#include "PxTestUtil.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QTemporaryDir>
#include <QtTest>

#include <charconv>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <sys/uio.h>
#include <unistd.h>

using namespace pxtest;
using px::FieldDef;
using px::FieldType;
using px::Table;
using px::Value;
using Row = QVector<Value>;

namespace {

struct Event
{
    char kind;  // 'W' write, 'S' flush to the medium, 'T' truncate/extend
    int file;   // 0 the .DB, 1 the .MB, 2 the rollback journal
    qint64 offset;
    qint64 length;
};

std::mutex g_lock;
std::vector<Event> g_events;
bool g_recording = false;
char g_dir[4096] = "";

// Which table file an fd refers to: 0 .DB, 1 .MB, -1 anything else.
int fileOf(int fd)
{
    if (!g_recording || fd < 3)
        return -1;
    char link[64] = "/proc/self/fd/";
    const size_t prefix = strlen(link);
    *std::to_chars(link + prefix, link + sizeof link - 1, fd).ptr = 0;
    char target[4096];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return -1;
    target[n] = 0;
    if (strncmp(target, g_dir, strlen(g_dir)) != 0)
        return -1;
    const char *dot = strrchr(target, '.');
    if (!dot)
        return -1;
    if (strcasecmp(dot, ".DB") == 0)
        return 0;
    if (strcasecmp(dot, ".MB") == 0)
        return 1;
    if (strcasecmp(dot, ".JNL") == 0)
        return 2;
    return -1;
}

template<typename F>
F next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void record(char kind, int fd, qint64 offset, qint64 length)
{
    const int file = fileOf(fd);
    if (file < 0)
        return;
    std::lock_guard<std::mutex> g(g_lock);
    g_events.push_back(Event{kind, file, offset, length});
}

qint64 position(int fd)
{
    static auto real = next<off_t (*)(int, off_t, int)>("lseek");
    return real(fd, 0, SEEK_CUR);
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *buf, size_t n)
{
    static auto real = next<ssize_t (*)(int, const void *, size_t)>("write");
    if (g_recording)
        record('W', fd, position(fd), qint64(n));
    return real(fd, buf, n);
}

ssize_t pwrite(int fd, const void *buf, size_t n, off_t off)
{
    static auto real = next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite");
    record('W', fd, off, qint64(n));
    return real(fd, buf, n, off);
}

ssize_t pwrite64(int fd, const void *buf, size_t n, off_t off)
{
    static auto real = next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite64");
    record('W', fd, off, qint64(n));
    return real(fd, buf, n, off);
}

ssize_t writev(int fd, const struct iovec *iov, int cnt)
{
    static auto real = next<ssize_t (*)(int, const struct iovec *, int)>("writev");
    qint64 n = 0;
    for (int i = 0; i < cnt; ++i)
        n += qint64(iov[i].iov_len);
    if (g_recording)
        record('W', fd, position(fd), n);
    return real(fd, iov, cnt);
}

ssize_t pwritev(int fd, const struct iovec *iov, int cnt, off_t off)
{
    static auto real = next<ssize_t (*)(int, const struct iovec *, int, off_t)>("pwritev");
    qint64 n = 0;
    for (int i = 0; i < cnt; ++i)
        n += qint64(iov[i].iov_len);
    record('W', fd, off, n);
    return real(fd, iov, cnt, off);
}

int fsync(int fd)
{
    static auto real = next<int (*)(int)>("fsync");
    record('S', fd, 0, 0);
    return real(fd);
}

int fdatasync(int fd)
{
    static auto real = next<int (*)(int)>("fdatasync");
    record('S', fd, 0, 0);
    return real(fd);
}

int ftruncate(int fd, off_t len)
{
    static auto real = next<int (*)(int, off_t)>("ftruncate");
    record('T', fd, len, 0);
    return real(fd, len);
}

int ftruncate64(int fd, off_t len)
{
    static auto real = next<int (*)(int, off_t)>("ftruncate64");
    record('T', fd, len, 0);
    return real(fd, len);
}

} // extern "C"

namespace {

std::vector<Event> during(const std::function<void()> &fn)
{
    {
        std::lock_guard<std::mutex> g(g_lock);
        g_events.clear();
    }
    g_recording = true;
    fn();
    g_recording = false;
    std::lock_guard<std::mutex> g(g_lock);
    return g_events;
}

int lastIndex(const std::vector<Event> &ev, const std::function<bool(const Event &)> &pred)
{
    for (int i = int(ev.size()) - 1; i >= 0; --i)
        if (pred(ev[size_t(i)]))
            return i;
    return -1;
}

int firstIndex(const std::vector<Event> &ev, const std::function<bool(const Event &)> &pred)
{
    for (int i = 0; i < int(ev.size()); ++i)
        if (pred(ev[size_t(i)]))
            return i;
    return -1;
}

QString show(const std::vector<Event> &ev)
{
    QStringList out;
    for (const Event &e : ev)
        out << QStringLiteral("%1%2@%3+%4").arg(QLatin1Char(e.kind)).arg(e.file ? QStringLiteral("MB") : QStringLiteral("DB")).arg(e.offset).arg(e.length);
    return out.join(QLatin1Char(' '));
}

bool isWrite(const Event &e, int file)
{
    return (e.kind == 'W' || e.kind == 'T') && e.file == file;
}

// The .DB was flushed after its last write before the call returned, and memo text written
// before the record that points to it was flushed before that record was written. Writes to
// the .MB after the record only free old space: losing them leaks space, never data. A write
// that goes through a rollback journal has the journal flushed before the table's first write
// instead: until the journal goes, a crash undoes the whole write, whatever order its bytes
// reached the medium in.
QString flushedAfterLastWrite(const std::vector<Event> &ev)
{
    const int w = lastIndex(ev, [&](const Event &e) { return isWrite(e, 0); });
    const int s = lastIndex(ev, [&](const Event &e) { return e.kind == 'S' && e.file == 0; });
    if (w >= 0 && s < w)
        return QStringLiteral(".DB written but not flushed afterwards: ") + show(ev);
    const int firstTable = firstIndex(ev, [&](const Event &e) { return isWrite(e, 0) || isWrite(e, 1); });
    const int journal = firstIndex(ev, [&](const Event &e) { return e.kind == 'W' && e.file == 2; });
    if (journal >= 0) {
        const int journalSync = firstIndex(ev, [&](const Event &e) { return e.kind == 'S' && e.file == 2; });
        if (journalSync < 0 || journalSync > firstTable || journal > firstTable)
            return QStringLiteral("table written before its journal reached the medium: ") + show(ev);
        const int mbWrite = lastIndex(ev, [&](const Event &e) { return isWrite(e, 1); });
        const int mbSync = lastIndex(ev, [&](const Event &e) { return e.kind == 'S' && e.file == 1; });
        if (mbWrite >= 0 && mbSync < mbWrite)
            return QStringLiteral(".MB written but not flushed afterwards: ") + show(ev);
        return {};
    }
    const int record = lastIndex(ev, [&](const Event &e) { return isWrite(e, 0) && e.offset >= 0x800; });
    int memo = -1, memoSync = -1;
    for (int i = 0; i < record; ++i) {
        if (isWrite(ev[size_t(i)], 1))
            memo = i;
        if (ev[size_t(i)].kind == 'S' && ev[size_t(i)].file == 1)
            memoSync = i;
    }
    if (memo >= 0 && memoSync < memo)
        return QStringLiteral("record written before its memo reached the medium: ") + show(ev);
    return {};
}

QVector<FieldDef> durFields()
{
    return {{QStringLiteral("Id"), FieldType::Alpha, 10}, {QStringLiteral("Memo"), FieldType::Memo, 20}};
}

} // namespace

class TestPxDurability : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        const QByteArray d = QFileInfo(m_dir->path()).canonicalFilePath().toLocal8Bit() + '/';
        qstrncpy(g_dir, d.constData(), sizeof g_dir);
        px::CreateOptions o;
        o.blockSizeKb = 1;  // 1,018 bytes of records a block: new blocks come quickly
        m_path = makeTable(m_dir->path(), QStringLiteral("DUR.DB"), durFields(), o);
    }

    void postsAreFlushed_data()
    {
        QTest::addColumn<int>("memoLength");
        QTest::newRow("no memo") << 0;
        QTest::newRow("in the leader") << 15;
        QTest::newRow("sub-allocated") << 500;
        QTest::newRow("single blob") << 9000;
    }

    // Append, update and delete each return only after every file they wrote is flushed.
    void postsAreFlushed()
    {
        QFETCH(int, memoLength);
        Table t(m_path);
        const Row row = {Value(QStringLiteral("x")), memoLength ? Value(patternText(1, memoLength)) : Value()};
        for (int i = 0; i < 40; ++i) {
            const auto ev = during([&] { t.append(row); });
            QVERIFY2(firstIndex(ev, [](const Event &e) { return e.kind == 'W' && e.file == 0; }) >= 0, qPrintable(show(ev)));
            const QString why = flushedAfterLastWrite(ev);
            QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("append %1: ").arg(i) + why));
        }
        const Row other = {Value(QStringLiteral("y")), Value(patternText(2, 3000))};
        auto ev = during([&] { t.update(*t.at(5), t.readRaw(*t.at(5)), other); });
        QVERIFY2(flushedAfterLastWrite(ev).isEmpty(), qPrintable(flushedAfterLastWrite(ev)));
        ev = during([&] { t.remove(*t.at(7), t.readRaw(*t.at(7))); });
        QVERIFY2(flushedAfterLastWrite(ev).isEmpty(), qPrintable(flushedAfterLastWrite(ev)));
        ev = during([&] { t.emptyAll(); });
        QVERIFY2(flushedAfterLastWrite(ev).isEmpty(), qPrintable(flushedAfterLastWrite(ev)));

        // Turned off, posts do not wait for the medium.
        t.setSyncWrites(false);
        ev = during([&] { t.append(row); });
        QCOMPARE(firstIndex(ev, [](const Event &e) { return e.kind == 'S'; }), -1);
    }

    // A new block's records are on the medium before the header that counts them: a crash
    // in between leaves a header that is merely stale, never one that points at garbage.
    void headerLast()
    {
        Table t(m_path);
        const Row row = {Value(QStringLiteral("x")), Value()};
        int blocksStarted = 0;
        for (int i = 0; i < 150; ++i) {
            const qint64 sizeBefore = QFileInfo(m_path).size();
            const auto ev = during([&] { t.append(row); });
            const bool grew = QFileInfo(m_path).size() > sizeBefore;
            const int lastBlockWrite = lastIndex(ev, [](const Event &e) { return isWrite(e, 0) && e.offset >= 0x800; });
            const int lastHeaderWrite = lastIndex(ev, [](const Event &e) { return e.kind == 'W' && e.file == 0 && e.offset < 0x800; });
            QVERIFY2(lastBlockWrite >= 0, qPrintable(show(ev)));
            if (lastHeaderWrite >= 0)
                QVERIFY2(lastHeaderWrite > lastBlockWrite, qPrintable(QStringLiteral("append %1: ").arg(i) + show(ev)));
            // When the record opened a new block, the block was flushed before the header.
            if (grew && lastHeaderWrite >= 0) {
                ++blocksStarted;
                const int flush = firstIndex(ev, [](const Event &e) { return e.kind == 'S' && e.file == 0; });
                QVERIFY2(flush >= 0 && flush < lastHeaderWrite, qPrintable(show(ev)));
            }
        }
        QVERIFY(blocksStarted >= 3);
        QVERIFY(t.check().isEmpty());
    }

    // A memo is on the medium before the record that points to it is written.
    void memoBeforeRecord_data()
    {
        QTest::addColumn<int>("memoLength");
        QTest::newRow("sub-allocated") << 500;
        QTest::newRow("single blob") << 9000;
    }

    void memoBeforeRecord()
    {
        QFETCH(int, memoLength);
        Table t(m_path);
        for (int i = 0; i < 10; ++i) {
            const Row row = {Value(QStringLiteral("m%1").arg(i)), Value(patternText(quint32(i), memoLength))};
            const auto ev = during([&] { t.append(row); });
            const int firstDb = firstIndex(ev, [](const Event &e) { return isWrite(e, 0) && e.offset >= 0x800; });
            const int lastMb = lastIndex(ev, [](const Event &e) { return isWrite(e, 1); });
            const int mbFlush = lastIndex(ev, [](const Event &e) { return e.kind == 'S' && e.file == 1; });
            QVERIFY2(lastMb >= 0 && firstDb >= 0, qPrintable(show(ev)));
            QVERIFY2(lastMb < firstDb, qPrintable(QStringLiteral("record written before its memo: ") + show(ev)));
            QVERIFY2(mbFlush >= 0 && mbFlush < firstDb,
                     qPrintable(QStringLiteral("record written before its memo reached the medium: ") + show(ev)));
        }
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestPxDurability)
#include "tst_pxdurability.moc"
