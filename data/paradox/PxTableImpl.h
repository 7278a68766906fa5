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
#include <QStringList>

#include <algorithm>
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
    quint16 fileWholeBlocks = 0;  // whole blocks in the file, as of the last header refresh
    // How far block numbers may reach: the header's count, or the file's when the header is
    // stale (an append cut short has linked a block the header does not count yet).
    quint16 blockLimit() const { return staleHeader ? std::max(h.fileBlocks, fileWholeBlocks) : h.fileBlocks; }

    Block cache;
    bool cacheValid = false;
    QVector<IndexEntry> index;
    QHash<quint16, int> indexOf;
    bool indexValid = false;
    quint64 chainRecords = 0;

    // ---- errors ----
    EngineError damaged(const QString &why) const { return EngineError::damaged(path, why); }

    // ---- locking (PxLocks.cpp) ----
    void acquire(qint64 byte, bool exclusive) { acquireOn(db, byte, exclusive); }
    void acquireOn(File &file, qint64 byte, bool exclusive);

    void lockRead();
    // The write lock, then the header read again and the pair validated (see ensureWritable).
    void lockWrite();

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

    // ---- header and block chain (PxChain.cpp) ----
    void invalidateCaches();

    void refresh();

    // After a rollback: everything is read again.
    void reload();

    void validateCounters();

    // h.prefix is the header as the file has it (read under the lock, and kept so by every
    // header write), which spares the undo log a read.
    void writeHeaderPrefix()
    {
        const QByteArray old = h.prefix;
        h.storeCounters();
        db.writeAt(0, h.prefix.constData(), hdr::FixedPart, old.constData());
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
    Block readBlock(quint16 no, bool useCache = true);

    void parseBlockHeader(Block &b, const unsigned char *p) const;

    Block readBlockHead(quint16 no);

    // oldCount, when known, is the count there now (the pointers stay as they are).
    void writeBlockHead(quint16 no, quint16 next, quint16 prev, int count, int oldCount = -1);

    void setNext(quint16 no, quint16 next);

    void setPrev(quint16 no, quint16 prev);

    // Puts a block out of the chain onto the free list, emptied.
    void freeBlock(quint16 no);

    // Walks the chain once (block heads only) and caches the ordinal of every block.
    void buildIndex();

    // Visits the chain's blocks in order until fn returns false; a block number out of range
    // or a loop is damage. Heads only unless wholeBlocks.
    template <typename Fn> void walkChain(bool wholeBlocks, Fn fn)
    {
        QVector<bool> seen(blockLimit() + 1, false);
        for (quint16 b = h.firstBlock; b != 0;) {
            if (b > blockLimit())
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
    void verifyChain(quint64 records, quint16 last) const;

    quint16 predecessor(quint16 b);

    std::optional<RecordPos> firstFrom(quint16 b);

    std::optional<RecordPos> lastFrom(quint16 b);


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
    // From the write that makes a change visible on, the old bytes of every write are kept, so
    // that a failure after it can still leave the state before.
    UndoLog undo;
    void keepUndo(bool on)
    {
        db.setUndo(on ? &undo : nullptr);
        if (memo)
            mb.setUndo(on ? &undo : nullptr);
    }
    void failed();
    template <typename Fn> auto writeOp(Fn fn)
    {
        lockWrite();
        try {
            auto r = fn();
            keepUndo(false);
            undo.clear();
            unlock();
            return r;
        } catch (...) {
            failed();
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
    Validation validate();
    void repair(const Validation &v);
    // Validates before the first byte of a write; repairs what may be repaired, refuses damage.
    void ensureWritable();
    void noteValidated();
    bool countersSuspicious();
    Table::CheckReport check();
    QString repairNote;       // what the last repair mended
    QByteArray validatedPrefix;  // the header as last validated sound (empty: not validated)
    qint64 validatedDb = -1, validatedMb = -1;

    // ---- batches (PxWrite.cpp) ----
    std::unique_ptr<Journal> journal;
};

} // namespace px
