#pragma once

// The table's private state, shared by the files that implement it: field encoding
// (PxFields.cpp), the block chain (PxChain.cpp), writes (PxWrite.cpp), validation and repair
// (PxValidate.cpp), creation (PxCreate.cpp) and the public calls (PxTable.cpp).

#include "PxError.h"
#include "PxFile.h"
#include "PxHeader.h"
#include "PxJournal.h"
#include "PxMemo.h"
#include "PxTable.h"

#include <QHash>
#include <QSet>
#include <QThread>
#include <QStringList>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace px {

namespace detail {

// Lock bytes far past any data (a table holds at most 65535 blocks of 32 KB, under 2 GB).
constexpr qint64 OpenLockByte = 0x80000000LL;
constexpr qint64 WriteLockByte = 0x80000001LL;
constexpr int LockWaitMs = 10000;
constexpr qint32 DateOffset = 1721425;  // Julian day of 0000-12-31: Paradox day 1 is 0001-01-01

// Values of the write marker byte.
constexpr char MarkerWrite = 1;  // an append, update or delete under way
constexpr char MarkerEmpty = 2;  // emptying under way: finishing it is the repair

QString memoPathFor(const QString &dbPath);
QString findMemoFile(const QString &dbPath);
void syncDirectory(const QString &path);

} // namespace detail

// What validation found. Damage refuses every write; a repairable state is one this engine's
// own interrupted write (or a header left stale by another program) leaves, and repair()
// mends it without freeing a block that holds a record or memo space a record uses.
struct Validation
{
    enum class State { Sound, Repairable, Damaged };
    State state = State::Sound;
    QStringList problems;  // damage, one line each
    QStringList repairs;   // what repair() would mend, one line each
    // Facts for repair().
    quint16 fileBlocks = 0;              // whole blocks in the file
    qint64 dbTrimTo = -1;                // a torn tail past every block the chain uses
    QVector<quint16> chain;              // blocks holding records, in order
    quint64 records = 0;
    QVector<quint16> freeBlocks;         // every block outside the chain (none holds a record)
    bool rebuildFree = false;
    bool relink = false;                 // next/prev pointers to rewrite along the chain
    qint64 mbTrimTo = -1;
    std::map<quint32, quint32> unreferenced;  // memo space no record uses
    bool finishEmpty = false;
    bool sound() const { return state == State::Sound; }
    void damage(const QString &s) { problems.append(s); state = State::Damaged; }
};

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
    void acquire(qint64 byte, bool exclusive) { acquireOn(db, byte, exclusive); }
    void acquireOn(File &file, qint64 byte, bool exclusive)
    {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + milliseconds(detail::LockWaitMs);
        int pause = 1;
        while (!file.tryLock(byte, exclusive)) {
            if (steady_clock::now() >= deadline)
                throw EngineError::inUse(path);
            QThread::msleep(pause);
            pause = std::min(pause * 2, 50);
        }
    }

    void lockRead()
    {
        if (lockDepth++ > 0)
            return;
        if (mode != Mode::Exclusive)
            acquire(detail::WriteLockByte, false);
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
                acquire(detail::WriteLockByte, true);
            refresh();
            ensureWritable();
        } catch (...) {
            unlockAll();
            throw;
        }
    }

    void unlock()
    {
        if (--lockDepth == 0 && mode != Mode::Exclusive)
            db.unlock(detail::WriteLockByte);
    }

    void unlockAll()
    {
        lockDepth = 0;
        if (mode != Mode::Exclusive)
            db.unlock(detail::WriteLockByte);
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

    // After a rollback: everything is read again.
    void reload()
    {
        invalidateCaches();
        validatedPrefix.clear();
        h.prefix.fill('\0', hdr::FixedPart);
        QByteArray prefix(hdr::FixedPart, Qt::Uninitialized);
        if (!db.readAt(0, prefix.data(), prefix.size()))
            throw damaged(QStringLiteral("cabeçalho incompleto"));
        h.prefix = prefix;
        h.readCounters();
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


    // ---- values (PxFields.cpp) ----
    QByteArray blobBytes(const char *raw, int field);
    QByteArray scratch;
    // The blob's bytes without a copy where possible; valid until the next memo read.
    const char *blobView(const char *raw, int field, qsizetype *len);
    Value decodeField(const char *raw, int field)
    {
        Value v;
        decodeInto(raw, field, v);
        return v;
    }
    void decodeInto(const char *raw, int field, Value &out);

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
    EngineError kindError(const FieldDef &f) const;
    Encoded encode(const QVector<Value> &values, const QByteArray *original);
    void encodeBlob(Encoded &e, int i, const Value &v, const QByteArray *original);
    QVector<std::pair<quint32, quint32>> blobRefs(const char *raw) const;

    // ---- writes (PxWrite.cpp) ----
    void storeBlobs(Encoded &e);
    void dropBlobs(const QVector<std::pair<quint32, quint32>> &drop);
    void beginWrite(char marker = detail::MarkerWrite);
    void commit();
    void recover();
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
    RecordPos relocate(RecordPos pos, const QByteArray &original);
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
    RecordPos append(const QVector<Value> &values);
    RecordPos update(RecordPos pos, const QByteArray &original, const QVector<Value> &values);
    std::optional<RecordPos> remove(RecordPos pos, const QByteArray &original);
    void emptyAll();

    // ---- validation and repair (PxValidate.cpp) ----
    Validation validate(bool withFields = false);
    void repair(const Validation &v);
    // Validates before the first byte of a write; repairs what may be repaired, refuses damage.
    void ensureWritable();
    void noteValidated();
    bool countersSuspicious();
    QStringList check();
    QString repairNote;       // what the last repair mended
    QByteArray validatedPrefix;  // the header as last validated sound (empty: not validated)
    qint64 validatedDb = -1, validatedMb = -1;

    // ---- batches (PxWrite.cpp) ----
    std::unique_ptr<Journal> journal;
};

} // namespace px
