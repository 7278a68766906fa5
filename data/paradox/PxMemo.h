#pragma once

#include "PxFile.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <map>
#include <set>

namespace px {

// The .MB companion: 4096-byte blocks holding blob data that does not fit a record's leader.
// Blobs up to 2048 bytes share sub-allocated blocks (type 3), longer ones get their own run
// of blocks (type 2); freed space becomes type 4 or an empty slot and is reused.
class MemoFile
{
public:
    static constexpr int BlockSize = 4096;
    static constexpr int SmallLimit = 2048;

    static QByteArray emptyHeaderBlock();

    explicit MemoFile(File &file) : m_file(file) {}

    // Checks the header block; throws EngineError when the file is not a memo file.
    void validate();
    // Reads a blob given its record reference; throws EngineError when the reference is bad.
    QByteArray read(quint32 location, quint32 length);
    // Same without a copy where it can: the bytes stay valid until the next call.
    const char *view(quint32 location, quint32 length, QByteArray &scratch);

    // Stores data in free space (never over live data) and returns its location.
    quint32 store(const QByteArray &data);
    // Frees the space of a blob that no record references any more.
    void release(quint32 location, quint32 length);
    // Drops what is known about free space and cached blocks (after another writer's changes).
    void invalidate();

    // Every blob in the file as location -> length (type-2 runs and used type-3 slots).
    // Adds to problems what is structurally wrong.
    // A run at the end that the file does not hold whole (an extension cut short) is given in
    // tailBlock instead of as a problem when tailBlock is not null.
    std::map<quint32, quint32> blobs(QStringList *problems, qint64 *tailBlock = nullptr);
    // "bloco B, posição S" (or "bloco B" for a blob with blocks of its own).
    static QString where(quint32 location);

private:
    struct SubSummary
    {
        int freeSlots = 0;
        int freeRun = 0;  // longest run of free chunks
    };

    void buildMap();
    qint64 blockCount();
    qint64 fileSize();
    quint32 storeSmall(const QByteArray &data);
    quint32 storeLarge(const QByteArray &data);
    void addFreeRun(quint32 block, quint32 count);
    QByteArray readBlock(quint32 block);
    qint64 m_cacheAvail = 0;  // bytes of the cached block present in the file

    File &m_file;
    bool m_mapValid = false;
    std::map<quint32, quint32> m_freeRuns;     // first block -> count, type 4
    std::map<quint32, SubSummary> m_subBlocks; // type-3 blocks
    // Type-3 blocks with a free slot, by their longest free run: the first that may hold a blob is found at once.
    std::set<std::pair<int, quint32>> m_roomy;
    void forget(quint32 block, const SubSummary &sum) { m_roomy.erase({sum.freeRun, block}); }
    void noteSummary(quint32 block, const SubSummary &sum);
    quint32 m_blockCount = 0;
    qint64 m_size = -1;  // cached file size; -1 = ask the file
    qint64 m_cacheBlock = -1;
    QByteArray m_cache;
};

} // namespace px
