#include "PxTable.h"

#include "PxCodePage.h"
#include "PxError.h"
#include "PxFile.h"
#include "PxHeader.h"
#include "PxMemo.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace px {

namespace {

// Lock bytes far past any data (a table holds at most 65535 blocks of 32 KB, under 2 GB).
constexpr qint64 OpenLockByte = 0x80000000LL;
constexpr qint64 WriteLockByte = 0x80000001LL;
constexpr int LockWaitMs = 10000;
std::atomic<LockWaitHook> lockWaitHook{nullptr};
constexpr qint32 DateOffset = 1721425;  // Julian day of 0000-12-31: Paradox day 1 is 0001-01-01

inline quint16 be16(const unsigned char *p) { return quint16((p[0] << 8) | p[1]); }
inline quint32 be32(const unsigned char *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}
inline quint64 be64(const unsigned char *p) { return (quint64(be32(p)) << 32) | be32(p + 4); }
inline void putBe16(unsigned char *p, quint16 v)
{
    p[0] = v >> 8;
    p[1] = v & 0xFF;
}
inline void putBe32(unsigned char *p, quint32 v)
{
    putBe16(p, quint16(v >> 16));
    putBe16(p + 2, quint16(v));
}
inline void putBe64(unsigned char *p, quint64 v)
{
    putBe32(p, quint32(v >> 32));
    putBe32(p + 4, quint32(v));
}

double decodeDouble(const unsigned char *p, bool *null)
{
    const quint64 v = be64(p);
    *null = v == 0;
    const quint64 bits = (v & 0x8000000000000000ULL) ? (v & 0x7FFFFFFFFFFFFFFFULL) : ~v;
    return std::bit_cast<double>(bits);
}

void encodeDouble(unsigned char *p, double d)
{
    if (d == 0)
        d = 0;  // a stored -0.0 would read back as another value
    const quint64 bits = std::bit_cast<quint64>(d);
    putBe64(p, (bits & 0x8000000000000000ULL) ? ~bits : (bits | 0x8000000000000000ULL));
}

QString memoPathFor(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    const QString suffix = fi.suffix();
    const bool lower = !suffix.isEmpty() && suffix.at(0).isLower();
    return fi.path() + QLatin1Char('/') + fi.completeBaseName() + (lower ? QStringLiteral(".mb") : QStringLiteral(".MB"));
}

// The memo file of an existing table, whatever the case of its extension.
QString findMemoFile(const QString &dbPath)
{
    const QString preferred = memoPathFor(dbPath);
    if (QFileInfo::exists(preferred))
        return preferred;
    const QFileInfo fi(dbPath);
    const QString wanted = fi.completeBaseName() + QStringLiteral(".mb");
    const QStringList entries = QDir(fi.path()).entryList(QDir::Files);
    for (const QString &e : entries)
        if (e.compare(wanted, Qt::CaseInsensitive) == 0)
            return fi.path() + QLatin1Char('/') + e;
    return QString();
}

void syncDirectory(const QString &path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

struct Table::Impl
{
    struct Block
    {
        quint16 no = 0;
        quint16 next = 0;
        quint16 prev = 0;
        int count = 0;
        QByteArray data;  // the whole block
        const char *record(int slot) const { return data.constData() + 6 + qsizetype(slot) * recordSize; }
        int recordSize = 0;
    };

    struct IndexEntry
    {
        quint16 block;
        quint16 count;
        quint32 first;  // ordinal of its first record
    };

    QString path;
    QString mbPath;
    Mode mode = Mode::Shared;
    File db;
    File mb;
    Header h;
    TableInfo info;
    QVector<FieldDef> fields;
    QVector<int> offsets;
    bool hasBlobs = false;
    std::unique_ptr<MemoFile> memo;
    bool repaired = false;
    bool syncWrites = true;
    int lockDepth = 0;
    bool lockIsWrite = false;
    bool staleHeader = false;  // read-only view of a table left mid-write: trust only the chain
    qint64 dbSize = 0;         // as of the last header refresh or own write

    Block cache;
    bool cacheValid = false;
    QVector<IndexEntry> index;
    QHash<quint16, int> indexOf;
    bool indexValid = false;
    quint64 chainRecords = 0;

    // ---- errors ----
    EngineError damaged(const QString &why) const { return EngineError::damaged(path, why); }

    // ---- locking ----
    void acquire(qint64 byte, bool exclusive)
    {
        using namespace std::chrono;
        const auto start = steady_clock::now();
        const auto deadline = start + milliseconds(LockWaitMs);
        int pause = 1;
        LockWaitHook hook = nullptr;
        while (!db.tryLock(byte, exclusive)) {
            // Another writer's usual few milliseconds pass unannounced; a longer wait is told.
            if (!hook && steady_clock::now() - start >= milliseconds(100) && (hook = lockWaitHook.load()))
                hook(true);
            if (steady_clock::now() >= deadline) {
                if (hook)
                    hook(false);
                throw EngineError::inUse(path);
            }
            QThread::msleep(pause);
            pause = std::min(pause * 2, 50);
        }
        if (hook)
            hook(false);
    }

    void lockRead()
    {
        if (lockDepth++ > 0)
            return;
        if (mode != Mode::Exclusive)
            acquire(WriteLockByte, false);
        lockIsWrite = false;
        try {
            refresh();
        } catch (...) {
            unlockAll();
            throw;
        }
    }

    void lockWrite()
    {
        if (mode == Mode::ReadOnly)
            throw EngineError(EngineError::Kind::State, QStringLiteral("A tabela %1 foi aberta somente para leitura").arg(path));
        if (lockDepth > 0)
            throw EngineError(EngineError::Kind::State, QStringLiteral("Gravação aninhada na tabela %1").arg(path));
        ++lockDepth;
        lockIsWrite = true;
        try {
            if (mode != Mode::Exclusive)
                acquire(WriteLockByte, true);
            refresh();
            if (h.writeMarker)
                repair();
        } catch (...) {
            unlockAll();
            throw;
        }
    }

    void unlock()
    {
        if (--lockDepth == 0 && mode != Mode::Exclusive)
            db.unlock(WriteLockByte);
    }

    void unlockAll()
    {
        lockDepth = 0;
        if (mode != Mode::Exclusive)
            db.unlock(WriteLockByte);
    }

    struct ReadGuard
    {
        Impl *d;
        explicit ReadGuard(Impl *d) : d(d) { d->lockRead(); }
        ~ReadGuard() { d->unlock(); }
    };

    // ---- header ----
    void invalidateCaches()
    {
        cacheValid = false;
        indexValid = false;
        index.clear();
        indexOf.clear();
        if (memo)
            memo->invalidate();
    }

    void refresh()
    {
        QByteArray prefix(hdr::FixedPart, Qt::Uninitialized);
        if (!db.readAt(0, prefix.data(), prefix.size()))
            throw damaged(QStringLiteral("cabeçalho incompleto"));
        // The structure must be the one opened: anything else means the file was replaced.
        static const int fixedBytes[] = {0, 1, 2, 3, 4, 5, 0x21, 0x22, 0x39};
        for (int i : fixedBytes)
            if (prefix.at(i) != h.prefix.at(i))
                throw damaged(QStringLiteral("a estrutura da tabela mudou enquanto estava aberta"));
        const quint16 before = h.changeCount;
        const QByteArray old = h.prefix;
        h.prefix = prefix;
        h.readCounters();
        if (prefix != old || before != h.changeCount)
            invalidateCaches();
        validateCounters();
        staleHeader = h.writeMarker;
    }

    void validateCounters()
    {
        const qint64 size = dbSize = db.size();
        if (h.fileBlocks > 0 && size < h.blockOffset(h.fileBlocks) + 6)
            throw damaged(QStringLiteral("arquivo menor que o número de blocos indicado"));
        if (h.firstBlock > h.fileBlocks || h.lastBlock > h.fileBlocks || h.firstFree > h.fileBlocks)
            throw damaged(QStringLiteral("referência a bloco inexistente no cabeçalho"));
        if ((h.firstBlock == 0) != (h.lastBlock == 0))
            throw damaged(QStringLiteral("início e fim da cadeia de blocos não combinam"));
        if (h.numRecords > quint64(h.fileBlocks) * quint64(h.recordsPerBlock()))
            throw damaged(QStringLiteral("número de registros maior do que cabe nos blocos"));
    }

    void writeHeaderPrefix()
    {
        h.storeCounters();
        db.writeAt(0, h.prefix.constData(), hdr::FixedPart);
    }

    void syncDb()
    {
        if (syncWrites)
            db.sync();
    }
    void syncMb()
    {
        if (syncWrites && memo)
            mb.sync();
    }

    // ---- blocks ----
    Block readBlock(quint16 no, bool useCache = true)
    {
        if (useCache && cacheValid && cache.no == no)
            return cache;
        if (no == 0 || no > h.fileBlocks)
            throw damaged(QStringLiteral("referência ao bloco %1, que não existe").arg(no));
        Block b;
        b.no = no;
        b.recordSize = h.recordSize;
        b.data = QByteArray(h.blockSize(), Qt::Uninitialized);
        const qint64 off = h.blockOffset(no);
        const qint64 avail = std::min<qint64>(h.blockSize(), dbSize - off);
        if (avail < 6 || !db.readAt(off, b.data.data(), avail))
            throw damaged(QStringLiteral("bloco %1 além do fim do arquivo").arg(no));
        if (avail < h.blockSize())
            std::memset(b.data.data() + avail, 0, size_t(h.blockSize() - avail));
        parseBlockHeader(b, reinterpret_cast<const unsigned char *>(b.data.constData()));
        if (6 + qint64(b.count) * h.recordSize > avail)
            throw damaged(QStringLiteral("bloco %1 incompleto").arg(no));
        cache = b;
        cacheValid = true;
        return b;
    }

    void parseBlockHeader(Block &b, const unsigned char *p) const
    {
        b.next = le16(p);
        b.prev = le16(p + 2);
        const int ads = qint16(le16(p + 4));
        if (ads < -h.recordSize || (ads + h.recordSize) % h.recordSize != 0)
            throw damaged(QStringLiteral("bloco %1 com contagem de registros inválida").arg(b.no));
        b.count = ads / h.recordSize + 1;
        if (b.count > h.recordsPerBlock())
            throw damaged(QStringLiteral("bloco %1 com registros demais").arg(b.no));
        if (b.next > h.fileBlocks || b.prev > h.fileBlocks)
            throw damaged(QStringLiteral("bloco %1 aponta para um bloco inexistente").arg(b.no));
    }

    Block readBlockHead(quint16 no)
    {
        if (cacheValid && cache.no == no)
            return cache;
        if (no == 0 || no > h.fileBlocks)
            throw damaged(QStringLiteral("referência ao bloco %1, que não existe").arg(no));
        Block b;
        b.no = no;
        b.recordSize = h.recordSize;
        unsigned char p[6];
        if (!db.readAt(h.blockOffset(no), p, 6))
            throw damaged(QStringLiteral("bloco %1 além do fim do arquivo").arg(no));
        parseBlockHeader(b, p);
        return b;
    }

    void writeBlockHead(quint16 no, quint16 next, quint16 prev, int count)
    {
        unsigned char p[6];
        put16(p, next);
        put16(p + 2, prev);
        put16(p + 4, quint16(qint16((count - 1) * h.recordSize)));
        db.writeAt(h.blockOffset(no), p, 6);
        cacheValid = false;
    }

    void setNext(quint16 no, quint16 next)
    {
        unsigned char p[2];
        put16(p, next);
        db.writeAt(h.blockOffset(no), p, 2);
        cacheValid = false;
    }

    void setPrev(quint16 no, quint16 prev)
    {
        unsigned char p[2];
        put16(p, prev);
        db.writeAt(h.blockOffset(no) + 2, p, 2);
        cacheValid = false;
    }

    // Puts a block out of the chain onto the free list, emptied.
    void freeBlock(quint16 no)
    {
        QByteArray z(h.blockSize(), '\0');
        auto *p = reinterpret_cast<unsigned char *>(z.data());
        put16(p, h.firstFree);
        put16(p + 4, quint16(qint16(-h.recordSize)));
        db.writeAt(h.blockOffset(no), z.constData(), z.size());
        cacheValid = false;
        h.firstFree = no;
    }

    // Walks the chain once (block heads only) and caches the ordinal of every block.
    void buildIndex()
    {
        if (indexValid)
            return;
        index.clear();
        indexOf.clear();
        quint64 total = 0;
        walkChain(false, [&](const Block &blk) {
            indexOf.insert(blk.no, int(index.size()));
            index.append(IndexEntry{blk.no, quint16(blk.count), quint32(total)});
            total += quint64(blk.count);
            return true;
        });
        chainRecords = total;
        indexValid = true;
        verifyChain(total, index.isEmpty() ? 0 : index.last().block);
    }

    // Visits the chain's blocks in order until fn returns false; a block number out of range
    // or a loop is damage. Heads only unless wholeBlocks.
    template <typename Fn> void walkChain(bool wholeBlocks, Fn fn)
    {
        QVector<bool> seen(h.fileBlocks + 1, false);
        for (quint16 b = h.firstBlock; b != 0;) {
            if (b > h.fileBlocks)
                throw damaged(QStringLiteral("referência ao bloco %1, que não existe").arg(b));
            if (seen[b])
                throw damaged(QStringLiteral("ciclo na cadeia de blocos (bloco %1)").arg(b));
            seen[b] = true;
            const Block blk = wholeBlocks ? readBlock(b, false) : readBlockHead(b);
            if (!fn(blk))
                return;
            b = blk.next;
        }
    }

    // A chain that ends early or elsewhere than the header says has lost its way: refuse it
    // rather than show part of the table as the whole.
    void verifyChain(quint64 records, quint16 last) const
    {
        if (staleHeader)
            return;
        if (records != h.numRecords)
            throw damaged(QStringLiteral("o cabeçalho indica %1 registros, a cadeia de blocos tem %2").arg(h.numRecords).arg(records));
        if (last != h.lastBlock)
            throw damaged(QStringLiteral("a cadeia de blocos não termina no último bloco indicado"));
    }

    quint16 predecessor(quint16 b)
    {
        const Block blk = readBlockHead(b);
        if (b == h.firstBlock)
            return 0;
        if (blk.prev != 0 && readBlockHead(blk.prev).next == b)
            return blk.prev;
        buildIndex();  // the prev pointer cannot be trusted: ask the chain
        const int i = indexOf.value(b, -1);
        if (i <= 0)
            throw damaged(QStringLiteral("bloco %1 fora da cadeia").arg(b));
        return index[i - 1].block;
    }

    std::optional<RecordPos> firstFrom(quint16 b)
    {
        for (int steps = 0; b != 0 && steps <= h.fileBlocks; ++steps) {
            const Block blk = readBlockHead(b);
            if (blk.count > 0)
                return RecordPos{b, 0};
            b = blk.next;
        }
        if (b != 0)
            throw damaged(QStringLiteral("ciclo na cadeia de blocos"));
        return std::nullopt;
    }

    std::optional<RecordPos> lastFrom(quint16 b)
    {
        for (int steps = 0; b != 0 && steps <= h.fileBlocks; ++steps) {
            const Block blk = readBlockHead(b);
            if (blk.count > 0)
                return RecordPos{b, quint16(blk.count - 1)};
            b = predecessor(b);
        }
        if (b != 0)
            throw damaged(QStringLiteral("ciclo na cadeia de blocos"));
        return std::nullopt;
    }

    // ---- values ----
    QByteArray blobBytes(const char *raw, int field)
    {
        const FieldDef &f = fields[field];
        const auto *p = reinterpret_cast<const unsigned char *>(raw + offsets[field]);
        const int leader = f.size;
        const quint32 loc = le32(p + leader);
        const quint32 len = le32(p + leader + 4);
        if (len == 0)
            return QByteArray();
        if (len <= quint32(leader))
            return QByteArray(raw + offsets[field], qsizetype(len));
        if (!memo)
            throw damaged(QStringLiteral("referência a memorando sem arquivo de memorandos"));
        return memo->read(loc, len);
    }

    QByteArray scratch;

    // The blob's bytes without a copy where possible; valid until the next memo read.
    const char *blobView(const char *raw, int field, qsizetype *len)
    {
        const FieldDef &f = fields[field];
        const auto *p = reinterpret_cast<const unsigned char *>(raw + offsets[field]);
        const quint32 loc = le32(p + f.size);
        const quint32 n = le32(p + f.size + 4);
        *len = qsizetype(n);
        if (n == 0)
            return nullptr;
        if (n <= quint32(f.size))
            return raw + offsets[field];
        if (!memo)
            throw damaged(QStringLiteral("referência a memorando sem arquivo de memorandos"));
        return memo->view(loc, n, scratch);
    }

    Value decodeField(const char *raw, int field)
    {
        Value v;
        decodeInto(raw, field, v);
        return v;
    }

    // Text into out, reusing the string out already holds.
    static void setText(Value &out, int codePage, const char *bytes, qsizetype len)
    {
        if (QString *s = std::get_if<QString>(&out)) {
            codepage::decodeInto(codePage, bytes, len, *s);
            return;
        }
        out = codepage::decode(codePage, bytes, len);
    }

    void decodeInto(const char *raw, int field, Value &out)
    {
        const FieldDef &f = fields[field];
        const char *c = raw + offsets[field];
        const auto *p = reinterpret_cast<const unsigned char *>(c);
        switch (f.type) {
        case FieldType::Alpha: {
            const void *nul = std::memchr(c, 0, size_t(f.size));
            const qsizetype len = nul ? static_cast<const char *>(nul) - c : f.size;
            if (len == 0) {
                out = std::monostate{};
                return;
            }
            setText(out, h.codePage, c, len);
            return;
        }
        case FieldType::Date: {
            const quint32 v = be32(p);
            if (v == 0) {
                out = std::monostate{};
                return;
            }
            out = QDate::fromJulianDay(qint64(qint32(v ^ 0x80000000u)) + DateOffset);
            return;
        }
        case FieldType::Short: {
            const quint16 v = be16(p);
            if (v == 0) {
                out = std::monostate{};
                return;
            }
            out = qint64(qint16(v ^ 0x8000));
            return;
        }
        case FieldType::Long:
        case FieldType::AutoInc: {
            const quint32 v = be32(p);
            if (v == 0) {
                out = std::monostate{};
                return;
            }
            out = qint64(qint32(v ^ 0x80000000u));
            return;
        }
        case FieldType::Number:
        case FieldType::Currency: {
            bool null;
            const double d = decodeDouble(p, &null);
            if (null) {
                out = std::monostate{};
                return;
            }
            out = d;
            return;
        }
        case FieldType::Logical:
            if (p[0] == 0) {
                out = std::monostate{};
                return;
            }
            out = (p[0] & 0x7F) != 0;
            return;
        case FieldType::Time: {
            const quint32 v = be32(p);
            if (v == 0) {
                out = std::monostate{};
                return;
            }
            const qint32 ms = qint32(v ^ 0x80000000u);
            if (ms < 0 || ms >= 86400000) {
                out = std::monostate{};
                return;
            }
            out = QTime::fromMSecsSinceStartOfDay(ms);
            return;
        }
        case FieldType::Timestamp: {
            bool null;
            const double ms = decodeDouble(p, &null);
            if (null || !std::isfinite(ms) || std::fabs(ms) > 1e17) {
                out = std::monostate{};
                return;
            }
            const qint64 total = qint64(ms);
            const qint64 days = total / 86400000;
            const int msOfDay = int(total % 86400000);
            out = QDateTime(QDate::fromJulianDay(days + DateOffset), QTime::fromMSecsSinceStartOfDay(msOfDay));
            return;
        }
        case FieldType::Bytes: {
            bool any = false;
            for (int i = 0; i < f.size && !any; ++i)
                any = c[i] != 0;
            if (!any) {
                out = std::monostate{};
                return;
            }
            out = QByteArray(c, f.size);
            return;
        }
        case FieldType::Memo:
        case FieldType::FmtMemo: {
            qsizetype len = 0;
            const char *b = blobView(raw, field, &len);
            if (len == 0) {
                out = std::monostate{};
                return;
            }
            setText(out, h.codePage, b, len);
            return;
        }
        case FieldType::Blob:
        case FieldType::Ole:
        case FieldType::Graphic: {
            const QByteArray b = blobBytes(raw, field);
            if (b.isEmpty()) {
                out = std::monostate{};
                return;
            }
            out = b;
            return;
        }
        case FieldType::Bcd:
            break;
        }
        out = std::monostate{};
        return;
    }

    struct Encoded
    {
        QByteArray raw;
        struct Pending
        {
            int field;
            QByteArray data;
        };
        QVector<Pending> blobs;                     // to store in the .MB
        QVector<std::pair<quint32, quint32>> drop;  // old blobs to free once the record is written
    };

    EngineError kindError(const FieldDef &f) const
    {
        return EngineError(EngineError::Kind::BadText,
                           QStringLiteral("Valor de tipo errado para o campo %1 da tabela %2").arg(f.name, path));
    }

    Encoded encode(const QVector<Value> &values, const QByteArray *original)
    {
        if (values.size() != fields.size())
            throw EngineError(EngineError::Kind::State,
                              QStringLiteral("Número de valores diferente do número de campos da tabela %1").arg(path));
        Encoded e;
        e.raw = QByteArray(h.recordSize, '\0');
        for (int i = 0; i < fields.size(); ++i) {
            const FieldDef &f = fields[i];
            const Value &v = values[i];
            auto *p = reinterpret_cast<unsigned char *>(e.raw.data() + offsets[i]);
            if (isNull(v) && !isBlobType(f.type))
                continue;
            switch (f.type) {
            case FieldType::Alpha: {
                const QString *s = std::get_if<QString>(&v);
                if (!s)
                    throw kindError(f);
                QByteArray b;
                if (!codepage::encode(h.codePage, *s, b))
                    throw EngineError::badText(path, f.name);
                if (b.size() > f.size)
                    throw EngineError(EngineError::Kind::BadText,
                                      QStringLiteral("O texto do campo %1 passa de %2 caracteres").arg(f.name).arg(f.size));
                std::memcpy(p, b.constData(), size_t(b.size()));
                break;
            }
            case FieldType::Date: {
                const QDate *d = std::get_if<QDate>(&v);
                if (!d || !d->isValid())
                    throw kindError(f);
                const qint64 days = d->toJulianDay() - DateOffset;
                if (days < 1 || days > 0x7FFFFFFF)
                    throw kindError(f);
                putBe32(p, quint32(days) ^ 0x80000000u);
                break;
            }
            case FieldType::Number:
            case FieldType::Currency: {
                double d;
                if (const double *x = std::get_if<double>(&v))
                    d = *x;
                else if (const qint64 *n = std::get_if<qint64>(&v))
                    d = double(*n);
                else
                    throw kindError(f);
                if (!std::isfinite(d))
                    throw kindError(f);
                encodeDouble(p, d);
                break;
            }
            case FieldType::Short:
            case FieldType::Long:
            case FieldType::AutoInc: {
                const qint64 *n = std::get_if<qint64>(&v);
                const bool isShort = f.type == FieldType::Short;
                const qint64 lo = isShort ? -32767 : -2147483647LL, hi = isShort ? 32767 : 2147483647LL;
                if (!n || *n < lo || *n > hi)
                    throw kindError(f);
                if (isShort)
                    putBe16(p, quint16(qint16(*n)) ^ 0x8000);
                else
                    putBe32(p, quint32(qint32(*n)) ^ 0x80000000u);
                break;
            }
            case FieldType::Logical: {
                const bool *b = std::get_if<bool>(&v);
                if (!b)
                    throw kindError(f);
                p[0] = *b ? 0x81 : 0x80;
                break;
            }
            case FieldType::Time: {
                const QTime *t = std::get_if<QTime>(&v);
                if (!t || !t->isValid())
                    throw kindError(f);
                putBe32(p, quint32(t->msecsSinceStartOfDay()) ^ 0x80000000u);
                break;
            }
            case FieldType::Timestamp: {
                const QDateTime *t = std::get_if<QDateTime>(&v);
                if (!t || !t->isValid())
                    throw kindError(f);
                const qint64 days = t->date().toJulianDay() - DateOffset;
                encodeDouble(p, double(days) * 86400000.0 + t->time().msecsSinceStartOfDay());
                break;
            }
            case FieldType::Bytes: {
                const QByteArray *b = std::get_if<QByteArray>(&v);
                if (!b || b->size() > f.size)
                    throw kindError(f);
                std::memcpy(p, b->constData(), size_t(b->size()));
                break;
            }
            case FieldType::Memo:
            case FieldType::FmtMemo:
            case FieldType::Blob:
            case FieldType::Ole:
            case FieldType::Graphic:
                encodeBlob(e, i, v, original);
                break;
            case FieldType::Bcd:
                throw kindError(f);
            }
        }
        return e;
    }

    void encodeBlob(Encoded &e, int i, const Value &v, const QByteArray *original)
    {
        const FieldDef &f = fields[i];
        QByteArray data;
        if (const QString *s = std::get_if<QString>(&v)) {
            if (f.type != FieldType::Memo && f.type != FieldType::FmtMemo)
                throw kindError(f);
            if (!codepage::encode(h.codePage, *s, data))
                throw EngineError::badText(path, f.name);
        } else if (const QByteArray *b = std::get_if<QByteArray>(&v)) {
            data = *b;
        } else if (!isNull(v)) {
            throw kindError(f);
        }
        const int off = offsets[i];
        const int leader = f.size;
        if (original) {
            const auto *op = reinterpret_cast<const unsigned char *>(original->constData() + off);
            const quint32 oldLoc = le32(op + leader);
            const quint32 oldLen = le32(op + leader + 4);
            const bool inMb = oldLen > quint32(leader) && oldLoc != 0;
            if (inMb && oldLen == quint32(data.size()) && blobBytes(original->constData(), i) == data) {
                std::memcpy(e.raw.data() + off, original->constData() + off, size_t(f.storageSize()));
                return;  // unchanged: keep the stored blob
            }
            if (inMb)
                e.drop.append({oldLoc, oldLen});
        }
        auto *p = reinterpret_cast<unsigned char *>(e.raw.data() + off);
        std::memcpy(p, data.constData(), size_t(std::min<qsizetype>(data.size(), leader)));
        put32(p + leader + 4, quint32(data.size()));
        if (data.size() > leader)
            e.blobs.append({i, data});
    }

    void storeBlobs(Encoded &e)
    {
        if (e.blobs.isEmpty())
            return;
        for (const auto &b : e.blobs) {
            const quint32 loc = memo->store(b.data);
            auto *p = reinterpret_cast<unsigned char *>(e.raw.data() + offsets[b.field] + fields[b.field].size);
            put32(p, loc);
            put16(p + 8, 1);
        }
        syncMb();
    }

    void dropBlobs(const QVector<std::pair<quint32, quint32>> &drop)
    {
        for (const auto &[loc, len] : drop)
            memo->release(loc, len);
    }

    QVector<std::pair<quint32, quint32>> blobRefs(const char *raw) const
    {
        QVector<std::pair<quint32, quint32>> out;
        for (int i = 0; i < fields.size(); ++i) {
            if (!isBlobType(fields[i].type))
                continue;
            const auto *p = reinterpret_cast<const unsigned char *>(raw + offsets[i] + fields[i].size);
            const quint32 len = le32(p + 4);
            if (len > quint32(fields[i].size) && le32(p) != 0)
                out.append({le32(p), len});
        }
        return out;
    }

    // ---- write steps ----
    void beginWrite()
    {
        h.writeMarker = true;
        const char one = 1;
        db.writeAt(hdr::WriteMarker, &one, 1);
        syncDb();
    }

    void commit()
    {
        h.writeMarker = false;
        h.changeCount = quint16(h.changeCount + 1);
        writeHeaderPrefix();
        syncDb();
        // Our own memo changes are tracked as they are made; only the block views go stale.
        cacheValid = false;
        indexValid = false;
    }

    // A failed write: rebuild the header from what reached the file, if we still can.
    void recover()
    {
        invalidateCaches();
        try {
            repair();
        } catch (...) {
            // The marker stays set; the next writer or opener repairs.
        }
    }

    template <typename Fn> auto writeOp(Fn fn)
    {
        lockWrite();
        try {
            auto r = fn();
            unlock();
            return r;
        } catch (...) {
            if (h.writeMarker)
                recover();  // something reached the file: make the header agree with it
            else
                invalidateCaches();
            unlockAll();
            throw;
        }
    }

    // Finds the record again: at its old place, or by its bytes when another writer moved it.
    RecordPos relocate(RecordPos pos, const QByteArray &original)
    {
        if (pos.block != 0 && pos.block <= h.fileBlocks) {
            try {
                const Block b = readBlock(pos.block);
                if (pos.slot < b.count && std::memcmp(b.record(pos.slot), original.constData(), size_t(h.recordSize)) == 0)
                    return pos;
            } catch (const EngineError &) {
            }
        }
        std::optional<RecordPos> found;
        scanChain([&](RecordPos p, const char *raw) {
            if (std::memcmp(raw, original.constData(), size_t(h.recordSize)) == 0) {
                found = p;
                return false;
            }
            return true;
        });
        if (!found)
            throw EngineError::conflict(path);
        return *found;
    }

    template <typename Fn> void scanChain(Fn fn)
    {
        quint64 records = 0;
        quint16 last = 0;
        bool stopped = false;
        walkChain(true, [&](const Block &blk) {
            for (int slot = 0; slot < blk.count; ++slot)
                if (!fn(RecordPos{blk.no, quint16(slot)}, blk.record(slot))) {
                    stopped = true;
                    return false;
                }
            records += quint64(blk.count);
            last = blk.no;
            return true;
        });
        if (!stopped)
            verifyChain(records, last);
    }

    RecordPos append(const QVector<Value> &values)
    {
        Encoded e = encode(values, nullptr);
        return writeOp([&] {
            beginWrite();
            storeBlobs(e);
            RecordPos pos;
            std::optional<Block> last;
            if (h.lastBlock != 0)
                last = readBlock(h.lastBlock, false);
            if (last && last->count < h.recordsPerBlock()) {
                const int slot = last->count;
                db.writeAt(h.blockOffset(h.lastBlock) + 6 + qint64(slot) * h.recordSize, e.raw.constData(), h.recordSize);
                syncDb();
                writeBlockHead(h.lastBlock, last->next, last->prev, slot + 1);
                syncDb();
                pos = RecordPos{h.lastBlock, quint16(slot)};
            } else {
                quint16 nb;
                quint16 freeHead = h.firstFree;
                if (h.firstFree != 0) {
                    nb = h.firstFree;
                    const Block fb = readBlockHead(nb);
                    // A free block holds no records; anything else means the list is damaged
                    // and taking the block would overwrite live data.
                    if (fb.count != 0 || nb == h.lastBlock || nb == h.firstBlock)
                        throw damaged(QStringLiteral("lista de blocos livres danificada (bloco %1)").arg(nb));
                    freeHead = fb.next == nb ? 0 : fb.next;
                } else {
                    if (h.fileBlocks == 0xFFFF)
                        throw EngineError(EngineError::Kind::DiskFull,
                                          QStringLiteral("A tabela %1 atingiu o tamanho máximo").arg(path));
                    nb = quint16(h.fileBlocks + 1);
                }
                QByteArray blk(h.blockSize(), '\0');
                auto *p = reinterpret_cast<unsigned char *>(blk.data());
                put16(p + 2, h.lastBlock);
                std::memcpy(p + 6, e.raw.constData(), size_t(h.recordSize));
                db.writeAt(h.blockOffset(nb), blk.constData(), blk.size());
                dbSize = std::max(dbSize, h.blockOffset(nb) + blk.size());
                cacheValid = false;
                syncDb();
                if (h.lastBlock != 0) {
                    setNext(h.lastBlock, nb);
                    syncDb();
                } else {
                    h.firstBlock = nb;
                }
                h.lastBlock = nb;
                h.blocksInUse = quint16(h.blocksInUse + 1);
                h.fileBlocks = std::max(h.fileBlocks, nb);
                h.maxBlocks = h.fileBlocks;
                h.firstFree = freeHead;
                pos = RecordPos{nb, 0};
            }
            h.numRecords += 1;
            commit();
            return pos;
        });
    }

    RecordPos update(RecordPos pos, const QByteArray &original, const QVector<Value> &values)
    {
        if (original.size() != h.recordSize)
            throw EngineError::conflict(path);
        Encoded e = encode(values, &original);
        return writeOp([&] {
            const RecordPos at = relocate(pos, original);
            beginWrite();
            storeBlobs(e);
            db.writeAt(h.blockOffset(at.block) + 6 + qint64(at.slot) * h.recordSize, e.raw.constData(), h.recordSize);
            cacheValid = false;
            syncDb();
            dropBlobs(e.drop);
            commit();
            return at;
        });
    }

    std::optional<RecordPos> remove(RecordPos pos, const QByteArray &original)
    {
        if (original.size() != h.recordSize)
            throw EngineError::conflict(path);
        return writeOp([&]() -> std::optional<RecordPos> {
            const RecordPos at = relocate(pos, original);
            Block blk = readBlock(at.block, false);
            const auto drop = blobRefs(blk.record(at.slot));
            beginWrite();
            std::optional<RecordPos> result;
            if (blk.count > 1) {
                char *d = blk.data.data() + 6;
                const qsizetype rs = h.recordSize;
                std::memmove(d + at.slot * rs, d + (at.slot + 1) * rs, size_t((blk.count - at.slot - 1) * rs));
                std::memset(d + (blk.count - 1) * rs, 0, size_t(rs));
                put16(reinterpret_cast<unsigned char *>(blk.data.data()) + 4, quint16(qint16((blk.count - 2) * rs)));
                db.writeAt(h.blockOffset(at.block), blk.data.constData(), 6 + blk.count * rs);
                cacheValid = false;
                syncDb();
                h.numRecords -= 1;
                if (at.slot < blk.count - 1)
                    result = at;
                else if (blk.next != 0)
                    result = RecordPos{blk.next, 0};
                else
                    result = RecordPos{at.block, quint16(blk.count - 2)};
            } else {
                const quint16 b = at.block;
                const quint16 next = blk.next;
                if (b == h.firstBlock && b == 1 && next != 0) {
                    // Block 1 stays the first block: the next block's records move into it.
                    Block nb = readBlock(next, false);
                    auto *p = reinterpret_cast<unsigned char *>(nb.data.data());
                    put16(p + 2, 0);
                    db.writeAt(h.blockOffset(1), nb.data.constData(), nb.data.size());
                    cacheValid = false;
                    syncDb();
                    if (nb.next != 0)
                        setPrev(nb.next, 1);
                    if (h.lastBlock == next)
                        h.lastBlock = 1;
                    freeBlock(next);
                    result = RecordPos{1, 0};
                } else {
                    quint16 prev = 0;
                    if (b == h.firstBlock) {
                        h.firstBlock = next;
                        if (next == 0)
                            h.lastBlock = 0;
                        h.numRecords -= 1;
                        writeHeaderPrefix();  // still marked as mid-write
                        h.numRecords += 1;
                    } else {
                        prev = predecessor(b);
                        setNext(prev, next);
                    }
                    syncDb();
                    if (next != 0)
                        setPrev(next, prev);
                    if (h.lastBlock == b)
                        h.lastBlock = prev;
                    freeBlock(b);
                    if (next != 0)
                        result = firstFrom(next);
                    else if (h.lastBlock != 0)
                        result = RecordPos{h.lastBlock, quint16(readBlockHead(h.lastBlock).count - 1)};
                }
                h.blocksInUse = quint16(h.blocksInUse - 1);
                h.numRecords -= 1;
                syncDb();
            }
            dropBlobs(drop);
            commit();
            return result;
        });
    }

    void emptyAll()
    {
        writeOp([&] {
            beginWrite();
            h.numRecords = 0;
            h.blocksInUse = 0;
            h.fileBlocks = 0;
            h.firstBlock = 0;
            h.lastBlock = 0;
            h.maxBlocks = 0;
            h.firstFree = 0;
            writeHeaderPrefix();
            syncDb();
            db.truncate(h.headerSize);
            dbSize = h.headerSize;
            if (memo) {
                mb.truncate(MemoFile::BlockSize);
                memo->invalidate();
                syncMb();
            }
            commit();
            return 0;
        });
    }

    // Rebuilds the counters and the free list from the chain after an interrupted write, and
    // gives back memo space no record refers to. Called with the write lock held.
    void repair()
    {
        invalidateCaches();
        const qint64 size = db.size();
        const qint64 blocks = std::max<qint64>(0, (size - h.headerSize) / h.blockSize());
        if (blocks > 0xFFFF)
            throw damaged(QStringLiteral("arquivo maior que o máximo de blocos"));
        if (size != h.headerSize + blocks * h.blockSize())
            db.truncate(h.headerSize + blocks * h.blockSize());
        dbSize = h.headerSize + blocks * h.blockSize();
        h.fileBlocks = quint16(blocks);
        if (h.firstBlock > h.fileBlocks)
            throw damaged(QStringLiteral("referência a bloco inexistente no cabeçalho"));

        QVector<bool> inChain(h.fileBlocks + 1, false);
        QSet<quint32> referenced;
        quint64 records = 0;
        quint16 chainLen = 0, last = 0, prev = 0;
        walkChain(true, [&](const Block &blk) {
            inChain[blk.no] = true;
            if (blk.prev != prev)
                setPrev(blk.no, prev);
            for (int slot = 0; slot < blk.count; ++slot)
                for (const auto &ref : blobRefs(blk.record(slot)))
                    referenced.insert(ref.first);
            records += quint64(blk.count);
            ++chainLen;
            last = blk.no;
            prev = blk.no;
            return true;
        });
        // Everything outside the chain is free, linked in block order.
        quint16 freeHead = 0;
        for (int b = h.fileBlocks; b >= 1; --b) {
            if (inChain[b])
                continue;
            const quint16 saved = h.firstFree;
            h.firstFree = freeHead;
            freeBlock(quint16(b));
            freeHead = h.firstFree;
            h.firstFree = saved;
        }
        h.firstFree = freeHead;
        h.numRecords = quint32(records);
        h.blocksInUse = chainLen;
        h.lastBlock = last;
        h.maxBlocks = h.fileBlocks;
        if (chainLen == 0)
            h.firstBlock = 0;
        syncDb();

        if (memo) {
            memo->trimPartialTail();
            QStringList problems;
            const auto all = memo->blobs(&problems);
            if (problems.isEmpty()) {
                for (const auto &[loc, len] : all)
                    if (!referenced.contains(loc))
                        memo->release(loc, len);
            }
            memo->invalidate();
            syncMb();
        }
        h.writeMarker = false;
        h.changeCount = quint16(h.changeCount + 1);
        writeHeaderPrefix();
        syncDb();
        staleHeader = false;
        repaired = true;
        invalidateCaches();
    }

    QStringList check();

    // Cheap tests of the header against the file, true when a walk of the chain is due. An
    // append-only table with full blocks passes without reading more than its last block.
    bool countersSuspicious()
    {
        if (dbSize != h.headerSize + qint64(h.fileBlocks) * h.blockSize() || h.maxBlocks != h.fileBlocks)
            return true;
        if (h.firstFree == 0 && h.blocksInUse != h.fileBlocks)
            return true;
        if (h.lastBlock == 0)
            return h.numRecords != 0 || h.blocksInUse != 0;
        const Block last = readBlockHead(h.lastBlock);
        if (last.next != 0 || last.count == 0 || h.blocksInUse == 0)
            return true;
        return h.numRecords != quint64(h.blocksInUse - 1) * h.recordsPerBlock() + quint64(last.count);
    }

    bool countersDisagree()
    {
        quint64 records = 0;
        quint16 chainLen = 0, last = 0;
        walkChain(false, [&](const Block &blk) {
            records += quint64(blk.count);
            ++chainLen;
            last = blk.no;
            return true;
        });
        return records != h.numRecords || last != h.lastBlock || chainLen != h.blocksInUse || h.maxBlocks != h.fileBlocks;
    }
};

// ---------------------------------------------------------------------------------------------

void Table::create(const QString &dbPath, const QVector<FieldDef> &fields, const CreateOptions &opt)
{
    auto refuse = [&](const QString &why) { return EngineError::unsupported(dbPath, why); };
    if (opt.level != 4 && opt.level != 5 && opt.level != 7)
        throw refuse(QStringLiteral("nível %1").arg(opt.level));
    if (opt.blockSizeKb < 1 || opt.blockSizeKb > 32)
        throw refuse(QStringLiteral("blocos de %1 KB").arg(opt.blockSizeKb));
    if (opt.codePage != 437 && opt.codePage != 850 && opt.codePage != 1252)
        throw refuse(QStringLiteral("página de código %1").arg(opt.codePage));
    if (fields.isEmpty() || fields.size() > 255)
        throw refuse(QStringLiteral("%1 campos").arg(fields.size()));
    int recordSize = 0;
    bool blobs = false;
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef &f = fields[i];
        if (f.name.isEmpty() || f.name.size() > 25 || !codepage::canEncode(opt.codePage, f.name))
            throw refuse(QStringLiteral("nome de campo inválido \"%1\"").arg(f.name));
        for (int j = 0; j < i; ++j)
            if (fields[j].name.compare(f.name, Qt::CaseInsensitive) == 0)
                throw refuse(QStringLiteral("campo repetido \"%1\"").arg(f.name));
        const bool blob = isBlobType(f.type);
        const int stored = blob ? f.size + 10 : f.size;
        bool unsupported = false;
        if (f.type == FieldType::Bcd || (blob && (f.size < 1 || f.size > 240)) ||
            (!blob && stored != FieldDef{f.name, f.type, f.size}.storageSize()))
            unsupported = true;
        const int expected = [&] {
            switch (f.type) {
            case FieldType::Alpha:
            case FieldType::Bytes: return f.size >= 1 && f.size <= 255 ? f.size : -1;
            case FieldType::Short: return 2;
            case FieldType::Logical: return 1;
            case FieldType::Date:
            case FieldType::Long:
            case FieldType::Time:
            case FieldType::AutoInc: return 4;
            case FieldType::Number:
            case FieldType::Currency:
            case FieldType::Timestamp: return 8;
            default: return f.size;
            }
        }();
        if (unsupported || (!blob && expected != f.size))
            throw refuse(QStringLiteral("campo %1 de tipo ou tamanho inválido").arg(f.name));
        blobs = blobs || blob;
        recordSize += f.storageSize();
    }
    if (recordSize > opt.blockSizeKb * 1024 - 6)
        throw refuse(QStringLiteral("registro de %1 bytes não cabe em blocos de %2 KB").arg(recordSize).arg(opt.blockSizeKb));

    const QString mbPath = memoPathFor(dbPath);
    if (QFileInfo::exists(dbPath))
        throw EngineError::exists(dbPath);
    if (blobs && !findMemoFile(dbPath).isEmpty())
        throw EngineError::exists(findMemoFile(dbPath));

    const QByteArray header = buildHeader(QFileInfo(dbPath).fileName(), fields, opt);
    File db;
    db.create(dbPath);
    File mb;
    try {
        if (blobs)
            mb.create(mbPath);
        db.writeAt(0, header.constData(), header.size());
        db.sync();
        if (blobs) {
            const QByteArray mbHeader = MemoFile::emptyHeaderBlock();
            mb.writeAt(0, mbHeader.constData(), mbHeader.size());
            mb.sync();
        }
        syncDirectory(dbPath);
    } catch (const EngineError &e) {
        const bool ownMb = mb.isOpen();
        db.close();
        mb.close();
        QFile::remove(dbPath);
        if (ownMb)
            QFile::remove(mbPath);
        throw;
    }
}

void Table::emptyTable(const QString &dbPath)
{
    Table t(dbPath, Mode::Exclusive);
    t.emptyAll();
}

Table::Table(const QString &dbPath, Mode mode) : d(std::make_unique<Impl>())
{
    d->path = dbPath;
    d->mode = mode;
    const bool writable = mode != Mode::ReadOnly;
    bool opened;
    try {
        opened = d->db.open(dbPath, writable);
    } catch (const EngineError &) {
        if (writable && (errno == EACCES || errno == EROFS || errno == EPERM))
            throw EngineError(EngineError::Kind::WriteFailed,
                              QStringLiteral("Sem permissão para gravar a tabela %1").arg(QDir::toNativeSeparators(dbPath)));
        throw;
    }
    if (!opened)
        throw EngineError::fileMissing(dbPath);
    if (!d->db.tryLock(OpenLockByte, mode == Mode::Exclusive))
        throw EngineError::inUse(dbPath);

    const qint64 size = d->db.size();
    const qint64 want = std::min<qint64>(size, 0x10000);
    QByteArray bytes(want, Qt::Uninitialized);
    if (!d->db.readAt(0, bytes.data(), want))
        throw d->damaged(QStringLiteral("arquivo curto demais"));
    d->h = parseHeader(dbPath, bytes, size);
    d->fields = d->h.fields;
    int off = 0;
    for (const FieldDef &f : d->fields) {
        d->offsets.append(off);
        off += f.storageSize();
        d->hasBlobs = d->hasBlobs || isBlobType(f.type);
    }
    if (d->h.fileType == 0 && writable)
        throw EngineError::unsupported(dbPath, QStringLiteral("tabelas com chave primária não podem ser gravadas"));

    TableInfo &i = d->info;
    i.versionByte = d->h.version;
    i.level = levelOfVersion(d->h.version);
    i.blockSize = d->h.blockSize();
    i.headerSize = d->h.headerSize;
    i.codePage = d->h.codePage;
    i.sortOrder = d->h.sortOrder;
    i.keyed = d->h.fileType == 0;
    i.encrypted = false;
    i.recordSize = d->h.recordSize;

    if (d->hasBlobs) {
        d->mbPath = findMemoFile(dbPath);
        if (d->mbPath.isEmpty() || !d->mb.open(d->mbPath, writable))
            throw EngineError::memoMissing(d->mbPath.isEmpty() ? memoPathFor(dbPath) : d->mbPath);
        d->memo = std::make_unique<MemoFile>(d->mb);
        d->memo->validate();
    }

    if (writable) {
        d->lockWrite();  // repairs a header left stale by an interrupted write
        try {
            if (d->countersSuspicious() && d->countersDisagree())
                d->repair();  // left stale by another program: the chain is the truth
        } catch (...) {
            d->unlockAll();
            throw;
        }
        d->unlock();
    } else {
        Impl::ReadGuard g(d.get());
    }
}

Table::~Table() = default;

const QString &Table::path() const { return d->path; }
QString Table::memoPath() const { return d->mbPath; }
Table::Mode Table::mode() const { return d->mode; }
const TableInfo &Table::info() const { return d->info; }
const QVector<FieldDef> &Table::fields() const { return d->fields; }
bool Table::wasRepaired() const { return d->repaired; }
void Table::setSyncWrites(bool on)
{
    if (on && !d->syncWrites && d->mode != Mode::ReadOnly) {
        // What was written unflushed reaches the medium now.
        if (d->memo)
            d->mb.sync();
        d->db.sync();
    }
    d->syncWrites = on;
}

int Table::fieldIndex(QStringView name) const
{
    for (int i = 0; i < d->fields.size(); ++i)
        if (QStringView(d->fields[i].name).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

quint32 Table::recordCount()
{
    Impl::ReadGuard g(d.get());
    d->buildIndex();  // checks the header's count against the chain; cached until a change
    return quint32(d->chainRecords);
}

std::optional<RecordPos> Table::first()
{
    Impl::ReadGuard g(d.get());
    return d->firstFrom(d->h.firstBlock);
}

std::optional<RecordPos> Table::last()
{
    Impl::ReadGuard g(d.get());
    if (d->staleHeader) {
        d->buildIndex();
        for (auto it = d->index.crbegin(); it != d->index.crend(); ++it)
            if (it->count > 0)
                return RecordPos{it->block, quint16(it->count - 1)};
        return std::nullopt;
    }
    return d->lastFrom(d->h.lastBlock);
}

std::optional<RecordPos> Table::next(RecordPos pos)
{
    Impl::ReadGuard g(d.get());
    if (pos.block == 0 || pos.block > d->h.fileBlocks)
        return std::nullopt;
    const auto blk = d->readBlockHead(pos.block);
    if (pos.slot + 1 < blk.count)
        return RecordPos{pos.block, quint16(pos.slot + 1)};
    return d->firstFrom(blk.next);
}

std::optional<RecordPos> Table::prior(RecordPos pos)
{
    Impl::ReadGuard g(d.get());
    if (pos.block == 0 || pos.block > d->h.fileBlocks)
        return std::nullopt;
    const auto blk = d->readBlockHead(pos.block);
    if (pos.slot > 0 && blk.count > 0)
        return RecordPos{pos.block, quint16(std::min(pos.slot - 1, blk.count - 1))};
    const quint16 p = d->predecessor(pos.block);
    return p == 0 ? std::nullopt : d->lastFrom(p);
}

std::optional<RecordPos> Table::at(quint32 ordinal)
{
    Impl::ReadGuard g(d.get());
    d->buildIndex();
    if (ordinal >= d->chainRecords)
        return std::nullopt;
    auto it = std::upper_bound(d->index.cbegin(), d->index.cend(), ordinal,
                               [](quint32 o, const Impl::IndexEntry &e) { return o < e.first; });
    // Skip back over empty blocks that share the ordinal of the next full one.
    --it;
    while (it->count == 0 || ordinal >= it->first + it->count)
        ++it;
    return RecordPos{it->block, quint16(ordinal - it->first)};
}

QList<QByteArray> Table::readRawRange(quint32 first, quint32 count)
{
    Impl::ReadGuard g(d.get());
    d->buildIndex();
    QList<QByteArray> out;
    if (first >= d->chainRecords || count == 0)
        return out;
    const quint32 end = quint32(std::min<quint64>(quint64(first) + count, d->chainRecords));
    out.reserve(qsizetype(end - first));
    auto it = std::upper_bound(d->index.cbegin(), d->index.cend(), first,
                               [](quint32 o, const Impl::IndexEntry &e) { return o < e.first; });
    --it;
    quint32 ordinal = first;
    while (ordinal < end) {
        while (it->count == 0 || ordinal >= it->first + it->count)
            ++it;
        const auto blk = d->readBlock(it->block);
        for (quint32 slot = ordinal - it->first; slot < it->count && ordinal < end; ++slot, ++ordinal) {
            if (int(slot) >= blk.count)
                throw EngineError::conflict(d->path);
            out.append(QByteArray(blk.record(int(slot)), d->h.recordSize));
        }
    }
    return out;
}

qint64 Table::ordinalOf(RecordPos pos)
{
    Impl::ReadGuard g(d.get());
    d->buildIndex();
    const int i = d->indexOf.value(pos.block, -1);
    if (i < 0 || pos.slot >= d->index[i].count)
        return -1;
    return qint64(d->index[i].first) + pos.slot;
}

QByteArray Table::readRaw(RecordPos pos)
{
    Impl::ReadGuard g(d.get());
    if (pos.block == 0 || pos.block > d->h.fileBlocks)
        throw EngineError::conflict(d->path);
    const auto blk = d->readBlock(pos.block);
    if (pos.slot >= blk.count)
        throw EngineError::conflict(d->path);
    return QByteArray(blk.record(pos.slot), d->h.recordSize);
}

Value Table::decode(const QByteArray &raw, int field)
{
    if (raw.size() != d->h.recordSize || field < 0 || field >= d->fields.size())
        throw EngineError(EngineError::Kind::State, QStringLiteral("Registro ou campo inválido na tabela %1").arg(d->path));
    return decode(raw.constData(), field);
}

Value Table::decode(const char *raw, int field)
{
    if (field < 0 || field >= d->fields.size())
        throw EngineError(EngineError::Kind::State, QStringLiteral("Campo inválido na tabela %1").arg(d->path));
    if (!isBlobType(d->fields[field].type))
        return d->decodeField(raw, field);
    Impl::ReadGuard g(d.get());
    return d->decodeField(raw, field);
}

void Table::decodeRow(const char *raw, QVector<Value> &row)
{
    Impl::ReadGuard g(d.get());
    row.resize(d->fields.size());
    for (int i = 0; i < d->fields.size(); ++i)
        d->decodeInto(raw, i, row[i]);
}

QVector<Value> Table::readValues(RecordPos pos)
{
    Impl::ReadGuard g(d.get());
    const QByteArray raw = readRaw(pos);
    QVector<Value> out;
    out.reserve(d->fields.size());
    for (int i = 0; i < d->fields.size(); ++i)
        out.append(d->decodeField(raw.constData(), i));
    return out;
}

void Table::scan(const std::function<bool(RecordPos, const char *)> &fn)
{
    Impl::ReadGuard g(d.get());
    d->scanChain(fn);
}

RecordPos Table::append(const QVector<Value> &values)
{
    return d->append(values);
}

RecordPos Table::update(RecordPos pos, const QByteArray &originalRaw, const QVector<Value> &values)
{
    return d->update(pos, originalRaw, values);
}

std::optional<RecordPos> Table::remove(RecordPos pos, const QByteArray &originalRaw)
{
    return d->remove(pos, originalRaw);
}

void Table::emptyAll()
{
    d->emptyAll();
}

QStringList Table::check()
{
    Impl::ReadGuard g(d.get());
    return d->check();
}

QStringList Table::Impl::check()
{
    QStringList problems;
    auto add = [&](const QString &s) { problems.append(s); };
    if (h.writeMarker)
        add(QStringLiteral("gravação interrompida: o cabeçalho pode estar desatualizado"));
    const qint64 size = db.size();
    if (size != h.headerSize + qint64(h.fileBlocks) * h.blockSize())
        add(QStringLiteral("tamanho do arquivo (%1) não corresponde a %2 blocos").arg(size).arg(h.fileBlocks));
    if (h.maxBlocks != h.fileBlocks)
        add(QStringLiteral("contador de blocos 0x3A (%1) difere do número de blocos (%2)").arg(h.maxBlocks).arg(h.fileBlocks));

    QVector<bool> inChain(h.fileBlocks + 1, false);
    quint64 records = 0;
    quint16 chainLen = 0, last = 0, prev = 0;
    std::map<quint32, std::pair<quint32, int>> refs;  // location -> length, uses
    for (quint16 b = h.firstBlock; b != 0;) {
        if (b > h.fileBlocks) {
            add(QStringLiteral("a cadeia aponta para o bloco %1, que não existe").arg(b));
            break;
        }
        if (inChain[b]) {
            add(QStringLiteral("ciclo na cadeia de blocos no bloco %1").arg(b));
            break;
        }
        inChain[b] = true;
        Block blk;
        try {
            blk = readBlock(b, false);
        } catch (const EngineError &e) {
            add(e.message());
            break;
        }
        if (blk.prev != prev)
            add(QStringLiteral("bloco %1: ponteiro para o anterior é %2, esperado %3").arg(b).arg(blk.prev).arg(prev));
        if (blk.count == 0)
            add(QStringLiteral("bloco %1 vazio dentro da cadeia").arg(b));
        for (int s = 0; s < blk.count; ++s) {
            const char *raw = blk.record(s);
            for (int f = 0; f < fields.size(); ++f) {
                try {
                    decodeField(raw, f);
                } catch (const EngineError &e) {
                    add(QStringLiteral("bloco %1, registro %2, campo %3: %4").arg(b).arg(s + 1).arg(fields[f].name, e.message()));
                }
            }
            for (const auto &[loc, len] : blobRefs(raw)) {
                auto &r = refs[loc];
                r.first = len;
                r.second += 1;
            }
        }
        records += quint64(blk.count);
        ++chainLen;
        last = b;
        prev = b;
        b = blk.next;
    }
    if (records != h.numRecords)
        add(QStringLiteral("o cabeçalho indica %1 registros, a cadeia tem %2").arg(h.numRecords).arg(records));
    if (last != h.lastBlock)
        add(QStringLiteral("o cabeçalho indica o bloco %1 como último, a cadeia termina no %2").arg(h.lastBlock).arg(last));
    if (chainLen != h.blocksInUse)
        add(QStringLiteral("o cabeçalho indica %1 blocos em uso, a cadeia tem %2").arg(h.blocksInUse).arg(chainLen));

    QVector<bool> isFree(h.fileBlocks + 1, false);
    for (quint16 b = h.firstFree; b != 0;) {
        if (b > h.fileBlocks) {
            add(QStringLiteral("a lista de blocos livres aponta para o bloco %1, que não existe").arg(b));
            break;
        }
        if (isFree[b]) {
            add(QStringLiteral("ciclo na lista de blocos livres no bloco %1").arg(b));
            break;
        }
        if (inChain[b])
            add(QStringLiteral("bloco %1 está na cadeia e na lista de livres").arg(b));
        isFree[b] = true;
        unsigned char p[6];
        if (!db.readAt(h.blockOffset(b), p, 6)) {
            add(QStringLiteral("bloco livre %1 além do fim do arquivo").arg(b));
            break;
        }
        b = le16(p);
    }
    for (int b = 1; b <= h.fileBlocks; ++b)
        if (!inChain[b] && !isFree[b])
            add(QStringLiteral("bloco %1 não está na cadeia nem na lista de livres").arg(b));

    if (memo) {
        QStringList mbProblems;
        const auto all = memo->blobs(&mbProblems);
        problems += mbProblems;
        for (const auto &[loc, r] : refs) {
            if (r.second > 1)
                add(QStringLiteral("memorando em %1 usado por %2 registros").arg(loc, 0, 16).arg(r.second));
            const auto it = all.find(loc);
            if (it == all.end())
                add(QStringLiteral("registro aponta para memorando inexistente em %1").arg(loc, 0, 16));
        }
        if (mbProblems.isEmpty())
            for (const auto &[loc, len] : all)
                if (!refs.count(loc))
                    add(QStringLiteral("memorando em %1 (%2 bytes) sem registro que o use").arg(loc, 0, 16).arg(len));
        memo->invalidate();
    }
    for (QString &p : problems)
        if (!p.contains(QFileInfo(path).fileName()) && !p.contains(QFileInfo(mbPath).fileName()))
            p = QDir::toNativeSeparators(path) + QStringLiteral(": ") + p;
    return problems;
}

void setLockWaitHook(LockWaitHook hook)
{
    lockWaitHook.store(hook);
}

} // namespace px
