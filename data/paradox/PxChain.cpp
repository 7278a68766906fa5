#include "PxTableImpl.h"

#include <cstring>

// The header's counters and the block chain: reading blocks, walking the chain, the ordinal
// index, and the small writes that link and free blocks.

namespace px {

void Table::Impl::invalidateCaches()
{
    cacheValid = false;
    indexValid = false;
    chainStale = false;
    index.clear();
    indexOf.clear();
    if (memo)
        memo->invalidate();
}

void Table::Impl::refresh()
{
    QByteArray prefix(hdr::FixedPart, Qt::Uninitialized);
    if (!db.readAt(0, prefix.data(), prefix.size()))
        throw damaged(QStringLiteral("cabeçalho incompleto"));
    // Another writer's change, a write under way or a journal read through: a journal beside
    // the table is looked for (none of our own batch or write is active while we lock).
    if (!journal && !opJournal && (overlaid || prefix.at(hdr::WriteMarker) != 0 || prefix != h.prefix) && lookForJournal()
        && !db.readAt(0, prefix.data(), prefix.size()))
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
    fileWholeBlocks = quint16(std::min<qint64>(0xFFFF, std::max<qint64>(0, dbSize - h.headerSize) / h.blockSize()));
}

void Table::Impl::reload()
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
    fileWholeBlocks = quint16(std::min<qint64>(0xFFFF, std::max<qint64>(0, dbSize - h.headerSize) / h.blockSize()));
}

Table::Impl::Block Table::Impl::emptyBlock(quint16 no) const
{
    if (no == 0 || no > blockLimit())
        throw damaged(QStringLiteral("referência ao bloco %1, que não existe").arg(no));
    Block b;
    b.no = no;
    b.recordSize = h.recordSize;
    return b;
}

Table::Impl::Block Table::Impl::readBlock(quint16 no, bool useCache)
{
    if (useCache && cacheValid && cache.no == no)
        return cache;
    Block b = emptyBlock(no);
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

void Table::Impl::parseBlockHeader(Block &b, const unsigned char *p) const
{
    b.next = le16(p);
    b.prev = le16(p + 2);
    const int ads = qint16(le16(p + 4));
    if (ads < -h.recordSize || (ads + h.recordSize) % h.recordSize != 0)
        throw damaged(QStringLiteral("bloco %1 com contagem de registros inválida").arg(b.no));
    b.count = ads / h.recordSize + 1;
    if (b.count > h.recordsPerBlock())
        throw damaged(QStringLiteral("bloco %1 com registros demais").arg(b.no));
    if (b.next > blockLimit() || b.prev > blockLimit())
        throw damaged(QStringLiteral("bloco %1 aponta para um bloco inexistente").arg(b.no));
}

Table::Impl::Block Table::Impl::readBlockHead(quint16 no)
{
    if (cacheValid && cache.no == no)
        return cache;
    Block b = emptyBlock(no);
    unsigned char p[6];
    if (!db.readAt(h.blockOffset(no), p, 6))
        throw damaged(QStringLiteral("bloco %1 além do fim do arquivo").arg(no));
    parseBlockHeader(b, p);
    return b;
}

void Table::Impl::writeBlockHead(quint16 no, quint16 next, quint16 prev, int count, int oldCount)
{
    unsigned char p[6], old[6];
    put16(p, next);
    put16(p + 2, prev);
    put16(p + 4, quint16(qint16((count - 1) * h.recordSize)));
    std::memcpy(old, p, 4);
    put16(old + 4, quint16(qint16((oldCount - 1) * h.recordSize)));
    db.writeAt(h.blockOffset(no), p, 6, oldCount >= 0 ? old : nullptr);
    cacheValid = false;
}

void Table::Impl::setNext(quint16 no, quint16 next)
{
    unsigned char p[2];
    put16(p, next);
    db.writeAt(h.blockOffset(no), p, 2);
    cacheValid = false;
}

void Table::Impl::setPrev(quint16 no, quint16 prev)
{
    unsigned char p[2];
    put16(p, prev);
    db.writeAt(h.blockOffset(no) + 2, p, 2);
    cacheValid = false;
}

void Table::Impl::freeBlock(quint16 no)
{
    QByteArray z(h.blockSize(), '\0');
    auto *p = reinterpret_cast<unsigned char *>(z.data());
    put16(p, h.firstFree);
    put16(p + 4, quint16(qint16(-h.recordSize)));
    db.writeAt(h.blockOffset(no), z.constData(), z.size());
    cacheValid = false;
    h.firstFree = no;
}

quint16 Table::Impl::predecessor(quint16 b)
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

std::optional<RecordPos> Table::Impl::firstFrom(quint16 b)
{
    for (int steps = 0; b != 0 && steps <= blockLimit(); ++steps) {
        const Block blk = readBlockHead(b);
        if (blk.count > 0)
            return RecordPos{b, 0};
        b = blk.next;
    }
    if (b != 0)
        throw damaged(QStringLiteral("ciclo na cadeia de blocos"));
    return std::nullopt;
}

std::optional<RecordPos> Table::Impl::lastFrom(quint16 b)
{
    for (int steps = 0; b != 0 && steps <= blockLimit(); ++steps) {
        const Block blk = readBlockHead(b);
        if (blk.count > 0)
            return RecordPos{b, quint16(blk.count - 1)};
        b = predecessor(b);
    }
    if (b != 0)
        throw damaged(QStringLiteral("ciclo na cadeia de blocos"));
    return std::nullopt;
}

} // namespace px
