#include "PxMemo.h"

#include "PxError.h"

#include <cerrno>
#include <cstring>

namespace px {

namespace {

constexpr int SlotTable = 0x0C;
constexpr int Slots = 64;
constexpr int FirstChunk = 0x15;  // data area starts at 0x150
constexpr int LastChunk = 0xFF;
constexpr int ChunkCount = LastChunk - FirstChunk + 1;

const unsigned char *u(const QByteArray &b)
{
    return reinterpret_cast<const unsigned char *>(b.constData());
}

struct Slot
{
    int chunk = 0, chunks = 0, mod = 0, last = 0;
    bool used() const { return chunk != 0 && last != 0; }
    quint32 length() const { return quint32((chunks - 1) * 16 + last); }
};

Slot slotAt(const unsigned char *block, int i)
{
    const unsigned char *s = block + SlotTable + 5 * i;
    return Slot{s[0], s[1], le16(s + 2), s[4]};
}

// Marks the chunks used by the sound slots of a type-3 block; returns false on overlap or
// a slot outside the data area.
bool chunkMap(const unsigned char *block, bool used[256])
{
    std::memset(used, 0, 256);
    bool sound = true;
    for (int i = 0; i < Slots; ++i) {
        const Slot s = slotAt(block, i);
        if (!s.used())
            continue;
        if (s.chunk < FirstChunk || s.chunks < 1 || s.last > 16 || s.chunk + s.chunks > LastChunk + 1) {
            sound = false;
            continue;
        }
        for (int c = s.chunk; c < s.chunk + s.chunks; ++c) {
            if (used[c])
                sound = false;
            used[c] = true;
        }
    }
    return sound;
}

int longestRun(const bool used[256])
{
    int best = 0;
    for (int c = FirstChunk, run = 0; c <= LastChunk; ++c) {
        run = used[c] ? 0 : run + 1;
        best = std::max(best, run);
    }
    return best;
}

} // namespace

QByteArray MemoFile::emptyHeaderBlock()
{
    QByteArray b(BlockSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(b.data());
    p[0] = 0;
    put16(p + 1, 1);
    put16(p + 3, 1);
    static const unsigned char constant[16] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00, 0x00, 0x10,
                                               0x00, 0x10, 0x00, 0x10, 0x40, 0x00, 0x00, 0x08};
    std::memcpy(p + 5, constant, sizeof constant);
    put16(p + 0x29, 0x02A1);
    return b;
}

void MemoFile::validate()
{
    unsigned char head[3];
    if (m_file.size() < BlockSize || !m_file.readAt(0, head, 3))
        throw EngineError::memoDamaged(m_file.path(), QStringLiteral("arquivo de memorandos curto demais"));
    if (head[0] != 0 || le16(head + 1) == 0)
        throw EngineError::memoDamaged(m_file.path(), QStringLiteral("não é um arquivo de memorandos"));
}

qint64 MemoFile::fileSize()
{
    if (m_size < 0)
        m_size = m_file.size();
    return m_size;
}

// Other writers leave the last block short; it still counts as a block.
qint64 MemoFile::blockCount()
{
    return (fileSize() + BlockSize - 1) / BlockSize;
}

QByteArray MemoFile::readBlock(quint32 block)
{
    if (m_cacheBlock != block) {
        m_cacheBlock = -1;
        const qint64 off = qint64(block) * BlockSize;
        const qint64 avail = std::min<qint64>(BlockSize, fileSize() - off);
        if (avail < 3)
            throw EngineError::memoDamaged(m_file.path(), QStringLiteral("bloco de memorando além do fim do arquivo"));
        m_cache.resize(BlockSize);
        if (!m_file.readAt(off, m_cache.data(), avail))
            throw EngineError::memoDamaged(m_file.path(), QStringLiteral("bloco de memorando além do fim do arquivo"));
        if (avail < BlockSize)
            std::memset(m_cache.data() + avail, 0, size_t(BlockSize - avail));
        m_cacheAvail = avail;
        m_cacheBlock = block;
    }
    return m_cache;
}

QByteArray MemoFile::read(quint32 location, quint32 length)
{
    QByteArray scratch;
    const char *p = view(location, length, scratch);
    return p == scratch.constData() ? scratch : QByteArray(p, qsizetype(length));
}

const char *MemoFile::view(quint32 location, quint32 length, QByteArray &scratch)
{
    auto bad = [&](const QString &why) { return EngineError::memoDamaged(m_file.path(), why); };
    const quint32 offset = location & 0xFFFFFF00u;
    const quint32 index = location & 0xFF;
    if (offset % BlockSize != 0 || offset == 0)
        throw bad(QStringLiteral("referência de memorando inválida"));
    const quint32 block = offset / BlockSize;
    const qint64 blocks = blockCount();
    if (block >= blocks)
        throw bad(QStringLiteral("referência de memorando além do fim do arquivo"));
    if (index == 0xFF) {
        unsigned char h[9];
        if (!m_file.readAt(offset, h, 9))
            throw bad(QStringLiteral("bloco de memorando além do fim do arquivo"));
        const quint32 count = le16(h + 1);
        if (h[0] != 2)
            throw bad(QStringLiteral("bloco de memorando de tipo inesperado (%1)").arg(h[0]));
        if (le32(h + 3) != length)
            throw bad(QStringLiteral("tamanho de memorando divergente"));
        if (count == 0 || block + qint64(count) > blocks || qint64(length) + 9 > qint64(count) * BlockSize ||
            qint64(offset) + 9 + length > fileSize())
            throw bad(QStringLiteral("memorando além do fim do arquivo"));
        scratch.resize(qsizetype(length));
        if (!m_file.readAt(qint64(offset) + 9, scratch.data(), length))
            throw bad(QStringLiteral("memorando além do fim do arquivo"));
        return scratch.constData();
    }
    if (index >= Slots)
        throw bad(QStringLiteral("referência de memorando inválida"));
    readBlock(block);
    const unsigned char *p = u(m_cache);
    if (p[0] != 3)
        throw bad(QStringLiteral("bloco de memorando de tipo inesperado (%1)").arg(p[0]));
    const Slot s = slotAt(p, int(index));
    if (!s.used() || s.chunk < FirstChunk || s.last > 16 || s.chunk + s.chunks > LastChunk + 1)
        throw bad(QStringLiteral("entrada de memorando inválida"));
    if (s.length() != length)
        throw bad(QStringLiteral("tamanho de memorando divergente"));
    if (s.chunk * 16 + qint64(length) > m_cacheAvail)
        throw bad(QStringLiteral("memorando além do fim do arquivo"));
    return m_cache.constData() + s.chunk * 16;
}

void MemoFile::invalidate()
{
    m_mapValid = false;
    m_freeRuns.clear();
    m_subBlocks.clear();
    m_roomy.clear();
    m_size = -1;
    m_cacheBlock = -1;
    m_cache.clear();
}

void MemoFile::addFreeRun(quint32 block, quint32 count)
{
    auto it = m_freeRuns.emplace(block, count).first;
    // Neighbouring free runs are one run for allocation.
    auto next = std::next(it);
    if (next != m_freeRuns.end() && it->first + it->second == next->first) {
        it->second += next->second;
        m_freeRuns.erase(next);
    }
    if (it != m_freeRuns.begin()) {
        auto prev = std::prev(it);
        if (prev->first + prev->second == it->first) {
            prev->second += it->second;
            m_freeRuns.erase(it);
        }
    }
}

void MemoFile::buildMap()
{
    if (m_mapValid)
        return;
    QStringList problems;
    std::map<quint32, quint32> all = blobs(&problems);
    if (!problems.isEmpty()) {
        QString why = problems.first();
        const QString prefix = m_file.path() + QStringLiteral(": ");
        if (why.startsWith(prefix))
            why = why.mid(prefix.size());
        throw EngineError::memoDamaged(m_file.path(), why);
    }
    m_mapValid = true;
}

QString MemoFile::where(quint32 location)
{
    const quint32 block = location / BlockSize;
    const quint32 index = location & 0xFF;
    if (index == 0xFF)
        return QStringLiteral("bloco %1").arg(block);
    return QStringLiteral("bloco %1, posição %2").arg(block).arg(index);
}

std::map<quint32, quint32> MemoFile::blobs(QStringList *problems, qint64 *tailBlock)
{
    std::map<quint32, quint32> out;
    m_freeRuns.clear();
    m_subBlocks.clear();
    m_roomy.clear();
    m_blockCount = quint32(blockCount());
    quint32 b = 1;
    while (b < m_blockCount) {
        unsigned char h[9];
        std::memset(h, 0, sizeof h);
        const qint64 at = qint64(b) * BlockSize;
        if (!m_file.readAt(at, h, std::min<qint64>(9, fileSize() - at)))
            break;
        const quint32 count = le16(h + 1);
        switch (h[0]) {
        case 2:
            if (tailBlock && count > 0 && qint64(le32(h + 3)) + 9 <= qint64(count) * BlockSize
                && (b + count > m_blockCount || qint64(b) * BlockSize + 9 + le32(h + 3) > fileSize())) {
                *tailBlock = b;
                return out;
            }
            if (count == 0 || b + count > m_blockCount || qint64(le32(h + 3)) + 9 > qint64(count) * BlockSize ||
                qint64(b) * BlockSize + 9 + le32(h + 3) > fileSize()) {
                problems->append(QStringLiteral("%1: bloco %2 de memorando com tamanho inválido").arg(m_file.path()).arg(b));
                return out;
            }
            out.emplace(b * BlockSize | 0xFF, le32(h + 3));
            b += count;
            break;
        case 3: {
            const QByteArray blk = readBlock(b);
            bool used[256];
            if (!chunkMap(u(blk), used))
                problems->append(QStringLiteral("%1: bloco %2 de memorando com entradas sobrepostas ou inválidas").arg(m_file.path()).arg(b));
            SubSummary sum;
            for (int i = 0; i < Slots; ++i) {
                const Slot s = slotAt(u(blk), i);
                if (s.used())
                    out.emplace(b * BlockSize | quint32(i), s.length());
                else
                    ++sum.freeSlots;
            }
            sum.freeRun = longestRun(used);
            m_subBlocks[b] = sum;
            noteSummary(b, sum);
            ++b;
            break;
        }
        case 4:
            if (count == 0 || b + count > m_blockCount) {
                problems->append(QStringLiteral("%1: bloco livre %2 com tamanho inválido").arg(m_file.path()).arg(b));
                return out;
            }
            addFreeRun(b, count);
            b += count;
            break;
        default:
            problems->append(QStringLiteral("%1: bloco %2 de memorando de tipo inválido (%3)").arg(m_file.path()).arg(b).arg(h[0]));
            return out;
        }
    }
    return out;
}

quint32 MemoFile::store(const QByteArray &data)
{
    buildMap();
    return data.size() <= SmallLimit ? storeSmall(data) : storeLarge(data);
}

quint32 MemoFile::storeSmall(const QByteArray &data)
{
    const int need = int((data.size() + 15) / 16);
    // Only a few tries: a fragmented block must not make every store read the whole file.
    int tries = 0;
    for (auto it = m_roomy.lower_bound({need, 0}); it != m_roomy.end() && tries < 4; ++tries) {
        const quint32 block = it->second;
        ++it;
        SubSummary &sum = m_subBlocks[block];
        QByteArray blk = readBlock(block);
        auto *p = reinterpret_cast<unsigned char *>(blk.data());
        bool used[256];
        chunkMap(p, used);
        int start = -1;
        for (int c = FirstChunk, run = 0; c <= LastChunk; ++c) {
            run = used[c] ? 0 : run + 1;
            if (run == need) {
                start = c - need + 1;
                break;
            }
        }
        int slot = -1;
        for (int i = Slots - 1; i >= 0; --i)
            if (!slotAt(p, i).used()) {
                slot = i;
                break;
            }
        if (start < 0 || slot < 0)
            continue;  // fragmented: try another block
        std::memset(p + start * 16, 0, size_t(need) * 16);
        std::memcpy(p + start * 16, data.constData(), size_t(data.size()));
        unsigned char *s = p + SlotTable + 5 * slot;
        s[0] = quint8(start);
        s[1] = quint8(need);
        put16(s + 2, 1);
        s[4] = quint8(data.size() - (need - 1) * 16);
        m_file.writeAt(qint64(block) * BlockSize, blk.constData(), BlockSize);
        m_cacheBlock = block;
        m_cache = blk;
        m_cacheAvail = BlockSize;
        forget(block, sum);
        sum.freeSlots -= 1;
        for (int c = start; c < start + need; ++c)
            used[c] = true;
        sum.freeRun = longestRun(used);
        noteSummary(block, sum);
        return block * BlockSize | quint32(slot);
    }
    // A new sub-allocated block, in free space or at the end.
    QByteArray blk(BlockSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(blk.data());
    p[0] = 3;
    put16(p + 1, 1);
    std::memcpy(p + FirstChunk * 16, data.constData(), size_t(data.size()));
    unsigned char *s = p + SlotTable + 5 * (Slots - 1);
    s[0] = FirstChunk;
    s[1] = quint8(need);
    put16(s + 2, 1);
    s[4] = quint8(data.size() - (need - 1) * 16);
    quint32 block = 0;
    for (auto it = m_freeRuns.begin(); it != m_freeRuns.end(); ++it) {
        block = it->first;
        const quint32 rest = it->second - 1;
        m_freeRuns.erase(it);
        if (rest > 0) {
            unsigned char h[3] = {4, 0, 0};
            put16(h + 1, quint16(rest));
            m_file.writeAt(qint64(block + 1) * BlockSize, h, 3);
            m_freeRuns.emplace(block + 1, rest);
        }
        break;
    }
    if (block == 0) {
        block = m_blockCount;
        if (block >= 0xFFFFFF / (BlockSize >> 8))
            throw EngineError::writeFailed(m_file.path(), EFBIG);
        ++m_blockCount;
    }
    m_file.writeAt(qint64(block) * BlockSize, blk.constData(), BlockSize);
    m_size = -1;
    m_cacheBlock = block;
    m_cache = blk;
    m_cacheAvail = BlockSize;
    m_subBlocks[block] = SubSummary{Slots - 1, ChunkCount - need};
    noteSummary(block, m_subBlocks[block]);
    return block * BlockSize | quint32(Slots - 1);
}

quint32 MemoFile::storeLarge(const QByteArray &data)
{
    const quint32 count = quint32((data.size() + 9 + BlockSize - 1) / BlockSize);
    if (count > 0xFFFF)
        throw EngineError::writeFailed(m_file.path(), EFBIG);
    QByteArray run(qsizetype(count) * BlockSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(run.data());
    p[0] = 2;
    put16(p + 1, quint16(count));
    put32(p + 3, quint32(data.size()));
    put16(p + 7, 1);
    std::memcpy(p + 9, data.constData(), size_t(data.size()));

    quint32 block = 0;
    for (auto it = m_freeRuns.begin(); it != m_freeRuns.end(); ++it) {
        if (it->second < count)
            continue;
        block = it->first;
        const quint32 rest = it->second - count;
        m_freeRuns.erase(it);
        if (rest > 0) {
            // Mark the remainder first: until the blob's own header is written, the old
            // free header still covers it.
            unsigned char h[3] = {4, 0, 0};
            put16(h + 1, quint16(std::min<quint32>(rest, 0xFFFF)));
            m_file.writeAt(qint64(block + count) * BlockSize, h, 3);
            m_freeRuns.emplace(block + count, rest);
        }
        break;
    }
    if (block == 0) {
        block = m_blockCount;
        if (qint64(block) + count >= 0xFFFFFF / (BlockSize >> 8))
            throw EngineError::writeFailed(m_file.path(), EFBIG);
        m_blockCount += count;
    }
    m_file.writeAt(qint64(block) * BlockSize, run.constData(), run.size());
    m_size = -1;
    if (m_cacheBlock >= block && m_cacheBlock < block + count)
        m_cacheBlock = -1;
    return block * BlockSize | 0xFF;
}

void MemoFile::release(quint32 location, quint32 length)
{
    Q_UNUSED(length);
    buildMap();
    const quint32 block = (location & 0xFFFFFF00u) / BlockSize;
    const quint32 index = location & 0xFF;
    if (index == 0xFF) {
        unsigned char h[3];
        if (!m_file.readAt(qint64(block) * BlockSize, h, 3) || h[0] != 2)
            return;  // not ours to free: leave it
        const quint32 count = le16(h + 1);
        h[0] = 4;
        m_file.writeAt(qint64(block) * BlockSize, h, 1);
        if (m_cacheBlock >= block && m_cacheBlock < block + count)
            m_cacheBlock = -1;
        addFreeRun(block, count);
        return;
    }
    auto it = m_subBlocks.find(block);
    if (it == m_subBlocks.end() || index >= Slots)
        return;
    QByteArray blk = readBlock(block);
    auto *p = reinterpret_cast<unsigned char *>(blk.data());
    const Slot s = slotAt(p, int(index));
    if (!s.used())
        return;
    std::memset(p + SlotTable + 5 * index, 0, 5);
    m_file.writeAt(qint64(block) * BlockSize + SlotTable + 5 * index, p + SlotTable + 5 * index, 5);
    m_cache = blk;
    forget(block, it->second);
    it->second.freeSlots += 1;
    bool used[256];
    chunkMap(p, used);
    it->second.freeRun = longestRun(used);
    noteSummary(block, it->second);
}

void MemoFile::noteSummary(quint32 block, const SubSummary &sum)
{
    if (sum.freeSlots > 0 && sum.freeRun > 0)
        m_roomy.insert({sum.freeRun, block});
}

} // namespace px
