#include "PxTableImpl.h"

// The write operations. Each one validates the pair before it sets the write marker. A write
// may reach the medium torn at any 512-byte sector boundary, so bytes a reader relies on are
// either never rewritten in place (appends, a delete that only shortens a block or takes a
// block out of the chain: data goes into space nothing points at, then one sector-sized write
// makes it visible, then the header; a block enters the chain empty and leaves it empty), or
// their old contents are in a rollback journal on the medium first (an update, a delete that
// moves records up).

namespace px {

void Table::Impl::storeBlobs(Encoded &e)
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

void Table::Impl::dropBlobs(const QVector<std::pair<quint32, quint32>> &drop)
{
    for (const auto &[loc, len] : drop)
        memo->release(loc, len);
}

void Table::Impl::beginWrite(char marker)
{
    db.writeAt(hdr::WriteMarker, &marker, 1);
    h.prefix[hdr::WriteMarker] = marker;
    h.writeMarker = true;
    h.markerKind = quint8(marker);
    syncDb();
}

void Table::Impl::commit()
{
    // A flushed write reports success only while its files are still the ones at their paths
    // (it was checked under the lock too); unflushed ones are checked when they are flushed,
    // a batch at its commit.
    if (syncWrites)
        checkPresent();
    h.writeMarker = false;
    h.changeCount = quint16(h.changeCount + 1);
    writeHeaderPrefix();
    if (opJournal)
        commitJournal();
    else
        syncDb();
    // Our own memo changes are tracked as they are made; only the block views go stale.
    cacheValid = false;
    indexValid = false;
    noteValidated();
}

// A failed write leaves the state before: what became visible is put back from the undo log,
// then the repair of an interrupted write takes away what is left (memo space, a new block).
// Only when putting back fails too may the change stay; the marker then tells the next opener.
void Table::Impl::failed()
{
    keepUndo(false);
    if (opJournal) {
        std::unique_ptr<Journal> j = std::move(opJournal);
        bool back = true;
        try {
            j->rollback();
        } catch (const EngineError &) {
            back = false;  // the journal stays on the medium: the next writer rolls it back
        }
        j.reset();
        if (!back) {
            invalidateCaches();
            validatedPrefix.clear();
            return;
        }
    }
    if (!undo.isEmpty()) {
        try {
            undo.replay();
            syncDb();
            syncMb();
        } catch (const EngineError &) {
        }
        undo.clear();
    }
    try {
        reload();  // the header as the file has it, not as the failed call left it in memory
    } catch (const EngineError &) {
        invalidateCaches();
        return;
    }
    if (h.writeMarker)
        recover();
    else
        invalidateCaches();
}

// Makes the header agree with what reached the file, if we still can.
void Table::Impl::recover()
{
    invalidateCaches();
    try {
        const Validation v = validate();
        if (v.state == Validation::State::Repairable)
            repair(v);
    } catch (...) {
        // The marker stays set; the next writer or opener repairs.
    }
}

void Table::Impl::beginJournal(std::vector<Journal::Range> ranges)
{
    if (journal)
        return;  // a batch: its journal keeps every page before it changes
    ranges.push_back(headerRange());
    opJournal = std::make_unique<Journal>(path, db, memo ? &mb : nullptr, ranges, syncWrites);
}

// The table's data reaches the medium, then the journal goes (and its folder is flushed): the
// write has happened.
void Table::Impl::commitJournal()
{
    std::unique_ptr<Journal> j = std::move(opJournal);
    j->commit();
}

namespace {
// Where the memo file keeps the head of a blob: the one page its release rewrites.
Journal::Range memoHead(quint32 location)
{
    return {1, qint64(location & 0xFFFFFF00u), 1};
}
} // namespace

// Finds the record again: at its old place, or by its bytes when another writer moved it.
RecordPos Table::Impl::relocate(RecordPos pos, const QByteArray &original)
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

RecordPos Table::Impl::append(const QVector<Value> &values)
{
    Encoded e = encode(values, nullptr);
    return writeOp([&] {
        // What the append relies on, read before the marker is set.
        std::optional<Block> last;
        if (h.lastBlock != 0)
            last = readBlock(h.lastBlock, false);
        const bool fits = last && last->count < h.recordsPerBlock();
        quint16 nb = 0;
        quint16 freeHead = h.firstFree;
        if (!fits) {
            if (h.firstFree != 0) {
                nb = h.firstFree;
                freeHead = readBlockHead(nb).next;  // validated: a free block, empty
            } else {
                if (h.fileBlocks == 0xFFFF)
                    throw EngineError(EngineError::Kind::DiskFull, QStringLiteral("A tabela %1 atingiu o tamanho máximo").arg(path));
                nb = quint16(h.fileBlocks + 1);
            }
        }

        beginWrite();
        storeBlobs(e);
        RecordPos pos;
        if (fits) {
            const int slot = last->count;
            db.writeAt(h.blockOffset(h.lastBlock) + 6 + qint64(slot) * h.recordSize, e.raw.constData(), h.recordSize);
            syncDb();
            keepUndo(true);  // the count makes the record visible
            writeBlockHead(h.lastBlock, last->next, last->prev, slot + 1, slot);
            syncDb();
            pos = RecordPos{h.lastBlock, quint16(slot)};
        } else {
            // The new block is written empty with the record in its first slot, linked, and
            // only then given its record.
            QByteArray blk(h.blockSize(), '\0');
            auto *p = reinterpret_cast<unsigned char *>(blk.data());
            put16(p + 2, h.lastBlock);
            put16(p + 4, quint16(qint16(-h.recordSize)));
            std::memcpy(p + 6, e.raw.constData(), size_t(h.recordSize));
            db.writeAt(h.blockOffset(nb), blk.constData(), blk.size());
            dbSize = std::max(dbSize, h.blockOffset(nb) + blk.size());
            cacheValid = false;
            syncDb();
            const quint16 prevLast = h.lastBlock;
            h.lastBlock = nb;
            h.blocksInUse = quint16(h.blocksInUse + 1);
            h.fileBlocks = std::max(h.fileBlocks, nb);
            h.maxBlocks = h.fileBlocks;
            h.firstFree = freeHead;
            if (prevLast != 0) {
                setNext(prevLast, nb);
            } else {
                h.firstBlock = nb;
                writeHeaderPrefix();  // still marked as mid-write
            }
            syncDb();
            keepUndo(true);  // the count makes the record visible
            writeBlockHead(nb, 0, prevLast, 1, 0);
            syncDb();
            pos = RecordPos{nb, 0};
        }
        h.numRecords += 1;
        commit();
        return pos;
    });
}

RecordPos Table::Impl::update(RecordPos pos, const QByteArray &original, const QVector<Value> &values)
{
    if (original.size() != h.recordSize)
        throw EngineError::conflict(path);
    Encoded e = encode(values, &original);
    return writeOp([&] {
        const RecordPos at = relocate(pos, original);
        // The record is rewritten in place: its old bytes go into the journal first.
        const qint64 recordAt = h.blockOffset(at.block) + 6 + qint64(at.slot) * h.recordSize;
        std::vector<Journal::Range> ranges{{0, recordAt, h.recordSize}};
        for (const auto &d : e.drop)
            ranges.push_back(memoHead(d.first));
        beginJournal(std::move(ranges));
        beginWrite();
        storeBlobs(e);
        keepUndo(!opJournal);
        db.writeAt(recordAt, e.raw.constData(), h.recordSize);
        cacheValid = false;
        syncDb();
        dropBlobs(e.drop);
        commit();
        return at;
    });
}

std::optional<RecordPos> Table::Impl::remove(RecordPos pos, const QByteArray &original)
{
    if (original.size() != h.recordSize)
        throw EngineError::conflict(path);
    return writeOp([&]() -> std::optional<RecordPos> {
        const RecordPos at = relocate(pos, original);
        Block blk = readBlock(at.block, false);
        const auto drop = blobRefs(blk.record(at.slot));
        const quint16 b = at.block;
        const quint16 next = blk.next;
        const bool pullIntoFirst = blk.count == 1 && b == h.firstBlock && b == 1 && next != 0;
        std::optional<Block> nextBlk;
        quint16 prev = 0;
        if (pullIntoFirst)
            nextBlk = readBlock(next, false);
        else if (blk.count == 1 && b != h.firstBlock)
            prev = predecessor(b);
        // Moving the records after it up rewrites what readers rely on: journaled. Taking the
        // block's last record only shortens the block (one sector), and a block's only record
        // goes with the block's unlinking, both without a journal.
        const bool moves = blk.count > 1 && at.slot < blk.count - 1;
        if (moves) {
            std::vector<Journal::Range> ranges{{0, h.blockOffset(b), 6 + qint64(blk.count) * h.recordSize}};
            for (const auto &d : drop)
                ranges.push_back(memoHead(d.first));
            beginJournal(std::move(ranges));
        }
        beginWrite();
        keepUndo(!opJournal);  // the first write below takes the record away
        std::optional<RecordPos> result;
        if (blk.count > 1 && !moves) {
            // The last record of the block: the count goes down in the block's head, then the
            // slot nobody points at any more is cleared.
            const qint64 rs = h.recordSize;
            writeBlockHead(b, blk.next, blk.prev, blk.count - 1, blk.count);
            syncDb();
            const QByteArray zeros(rs, '\0');
            db.writeAt(h.blockOffset(b) + 6 + qint64(at.slot) * rs, zeros.constData(), rs);
            cacheValid = false;
            h.numRecords -= 1;
            if (blk.next != 0)
                result = RecordPos{blk.next, 0};
            else
                result = RecordPos{at.block, quint16(blk.count - 2)};
        } else if (blk.count > 1) {
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
            // The block is emptied first: from here it holds no record, wherever it ends up.
            writeBlockHead(b, blk.next, blk.prev, 0);
            syncDb();
            if (pullIntoFirst) {
                // Block 1 stays the first block: the next block's records move into it. Until
                // that block is freed, its records are the same as block 1's.
                auto *p = reinterpret_cast<unsigned char *>(nextBlk->data.data());
                put16(p + 2, 0);
                // What lies past block 1's first sector goes in while block 1 still says it is
                // empty; then that sector, with the head that counts the records and links past
                // the next block, in one piece.
                const qint64 at1 = h.blockOffset(1);
                const qint64 split = std::min<qint64>(nextBlk->data.size(), 512 - at1 % 512);
                if (split < nextBlk->data.size()) {
                    db.writeAt(at1 + split, nextBlk->data.constData() + split, nextBlk->data.size() - split);
                    syncDb();
                }
                db.writeAt(at1, nextBlk->data.constData(), split);
                cacheValid = false;
                syncDb();
                if (nextBlk->next != 0)
                    setPrev(nextBlk->next, 1);
                if (h.lastBlock == next)
                    h.lastBlock = 1;
                freeBlock(next);
                result = RecordPos{1, 0};
            } else {
                if (b == h.firstBlock) {
                    h.firstBlock = next;
                    if (next == 0)
                        h.lastBlock = 0;
                    h.numRecords -= 1;
                    writeHeaderPrefix();  // still marked as mid-write
                    h.numRecords += 1;
                } else {
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

void Table::Impl::emptyAll()
{
    writeOp([&] {
        // Marked as an emptying: once the header below is written, finishing it is the repair.
        beginWrite(detail::MarkerEmpty);
        h.numRecords = 0;
        h.blocksInUse = 0;
        h.fileBlocks = 0;
        h.firstBlock = 0;
        h.lastBlock = 0;
        h.maxBlocks = 0;
        h.firstFree = 0;
        keepUndo(true);
        writeHeaderPrefix();
        syncDb();
        // The emptied header is on the medium: the emptying has happened, and what is left of
        // it is the repair the next write or open makes when the steps below fail.
        keepUndo(false);
        undo.clear();
        try {
            db.truncate(h.headerSize);
            dbSize = h.headerSize;
            if (memo) {
                mb.truncate(MemoFile::BlockSize);
                memo->invalidate();
                syncMb();
            }
            commit();
        } catch (const EngineError &) {
            reload();
        }
        return 0;
    });
}

} // namespace px
