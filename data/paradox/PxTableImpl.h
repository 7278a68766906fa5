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
    // Chain: what a reader relies on (the header against the file, the block chain and the
    // record count); Full: everything, as writers and check need it.
    enum class Depth { Chain, Full };
    enum class State { Sound, Repairable, Damaged };
    State state = State::Sound;
    QStringList problems;  // damage, one line each
    QStringList repairs;   // what repair() would mend, one line each
    // Facts for repair().
    quint16 fileBlocks = 0;              // whole blocks in the file
    qint64 dbTrimTo = -1;                // a torn tail past every block the chain uses
    QVector<quint16> chain;              // blocks holding records, in order
    QVector<std::pair<quint16, quint16>> walk;  // every chain block with its record count
    quint64 records = 0;
    QVector<quint16> freeBlocks;         // every block outside the chain (none holds a record)
    bool rebuildFree = false;
    bool relink = false;                 // next/prev pointers to rewrite along the chain
    qint64 mbTrimTo = -1;
    qint64 mbGrowTo = -1;                // a last block cut short: made whole again
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
    quint16 blockLimit() const { return staleHeader || (indexValid && chainStale) ? std::max(h.fileBlocks, fileWholeBlocks) : h.fileBlocks; }

    Block cache;
    bool cacheValid = false;
    QVector<IndexEntry> index;
    QHash<quint16, int> indexOf;
    bool indexValid = false;
    bool chainStale = false;  // the validator found the header behind a sound chain: trust the chain
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

    // Inside a journaled write the journal's commit flushes both files once, at its end.
    void syncDb()
    {
        if (syncWrites && !opJournal)
            db.sync();
    }
    void syncMb()
    {
        if (syncWrites && memo && !opJournal)
            mb.sync();
    }

    // ---- blocks ----
    // A block of that number with nothing read yet; a number outside the file is damage.
    Block emptyBlock(quint16 no) const;
    Block readBlock(quint16 no, bool useCache = true);

    void parseBlockHeader(Block &b, const unsigned char *p) const;

    Block readBlockHead(quint16 no);

    // oldCount, when known, is the count there now (the pointers stay as they are).
    void writeBlockHead(quint16 no, quint16 next, quint16 prev, int count, int oldCount = -1);

    void setNext(quint16 no, quint16 next);

    void setPrev(quint16 no, quint16 prev);

    // Puts a block out of the chain onto the free list, emptied.
    void freeBlock(quint16 no);

    // The chain as the validator found it (its reader's depth), cached until the header changes;
    // damage is refused with the validator's first problem.
    void buildIndex();

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
        buildIndex();
        const QVector<IndexEntry> blocks = index;
        for (const IndexEntry &e : blocks) {
            if (e.count == 0)
                continue;
            const Block blk = readBlock(e.block, false);
            if (blk.count != e.count)
                throw damaged(QStringLiteral("bloco %1 mudou durante a leitura").arg(e.block));
            for (int slot = 0; slot < blk.count; ++slot)
                if (!fn(RecordPos{blk.no, quint16(slot)}, blk.record(slot)))
                    return;
        }
    }
    RecordPos append(const QVector<Value> &values);
    RecordPos update(RecordPos pos, const QByteArray &original, const QVector<Value> &values);
    std::optional<RecordPos> remove(RecordPos pos, const QByteArray &original);
    void emptyAll();

    // ---- validation and repair (PxValidate.cpp) ----
    Validation validate(Validation::Depth depth = Validation::Depth::Full);
    EngineError refusal(const Validation &v) const;
    void repair(const Validation &v);
    // Validates before the first byte of a write; repairs what may be repaired, refuses damage.
    void ensureWritable();
    void noteValidated();
    // The pair is as it was when it last passed the validator.
    bool validationCurrent() const
    {
        return !validatedPrefix.isEmpty() && validatedPrefix == h.prefix && validatedDb == dbSize
               && validatedMb == (memo ? mb.size() : -1);
    }
    bool countersSuspicious();
    Table::CheckReport check();
    QString repairNote;       // what the last repair mended
    QByteArray validatedPrefix;  // the header as last validated sound (empty: not validated)
    qint64 validatedDb = -1, validatedMb = -1;

    // ---- batches (PxWrite.cpp) ----
    std::unique_ptr<Journal> journal;

    // ---- journaled writes (PxWrite.cpp) ----
    // A write that rewrites bytes a reader relies on copies their old contents into a journal
    // beside the table first (inside a batch, the batch's journal does that already).
    std::unique_ptr<Journal> opJournal;
    void beginJournal(std::vector<Journal::Range> ranges);
    void commitJournal();
    Journal::Range headerRange() const { return {0, 0, hdr::FixedPart}; }

    // ---- a journal left by a write that did not finish (PxTable.cpp) ----
    // Under the write lock it is rolled back; under a read lock (or in a read-only open) the
    // pair is read as the rollback would leave it, without writing.
    bool overlaid = false;
    bool lookForJournal();
    void clearOverlay();

    // Before a write reports success: the open files are still the ones at their paths.
    void checkPresent();
};

} // namespace px
