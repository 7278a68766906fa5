#include "PxTableImpl.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

// One validator for check, readers and writers: what the pair must be before a byte of it is
// written, what this engine's own interrupted write (or a header left stale by another
// program) may leave and repair() mends, and what is damage.

namespace px {

namespace {

struct Head
{
    quint16 next = 0;
    quint16 prev = 0;
    int count = 0;
    bool sane = false;
};

} // namespace

// The validator's first look, taken under every lock: the header's counters against the file,
// enough for a block number read through the header to be safe to follow.
void Table::Impl::validateCounters()
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

Validation Table::Impl::validate(Validation::Depth depth)
{
    Validation v;
    const QString dbName = QDir::toNativeSeparators(path);
    auto damage = [&](const QString &s) { v.damage(dbName + QStringLiteral(": ") + s); };
    QStringList markerOnly;  // mendable only when our write marker is set
    QStringList stale;       // counters another program may have left behind
    auto mend = [&](QStringList &list, const QString &s) { list.append(dbName + QStringLiteral(": ") + s); };

    const bool marker = h.writeMarker;
    const int rs = h.recordSize;
    const int bs = h.blockSize();
    const qint64 size = db.size();
    if (size < h.headerSize) {
        damage(QStringLiteral("arquivo menor que o cabeçalho"));
        return v;
    }
    const qint64 whole = (size - h.headerSize) / bs;
    const qint64 tail = (size - h.headerSize) % bs;
    if (whole > 0xFFFF) {
        damage(QStringLiteral("arquivo maior que o máximo de blocos"));
        return v;
    }
    v.fileBlocks = quint16(whole);
    if (h.fileBlocks > whole) {
        damage(QStringLiteral("o cabeçalho indica %1 blocos, o arquivo tem %2").arg(h.fileBlocks).arg(whole));
        return v;
    }
    if (marker && h.markerKind == quint8(detail::MarkerEmpty) && h.numRecords == 0 && h.firstBlock == 0
        && h.lastBlock == 0 && h.fileBlocks == 0 && h.firstFree == 0) {
        v.finishEmpty = true;
        v.state = Validation::State::Repairable;
        mend(v.repairs, QStringLiteral("gravação interrompida"));
        mend(v.repairs, QStringLiteral("esvaziamento interrompido: concluído"));
        return v;
    }

    // Block heads, read as they are first needed: a reader's walk touches only the chain.
    QVector<Head> heads(whole + 1);
    QVector<char> loaded(whole + 1, 0);
    auto head = [&](quint16 b) -> const Head & {
        Head &hd = heads[b];
        if (!loaded[b]) {
            loaded[b] = 1;
            unsigned char p[6];
            if (db.readAt(h.blockOffset(b), p, 6)) {
                hd.next = le16(p);
                hd.prev = le16(p + 2);
                const int ads = qint16(le16(p + 4));
                hd.sane = ads >= -rs && (ads + rs) % rs == 0 && ads / rs + 1 <= h.recordsPerBlock();
                hd.count = hd.sane ? ads / rs + 1 : 0;
            }
        }
        return hd;
    };

    // The chain.
    QVector<char> inChain(whole + 1, 0);
    QVector<quint16> all;
    quint64 records = 0;
    bool relink = false;
    if (h.firstBlock > whole) {
        damage(QStringLiteral("o cabeçalho aponta para o bloco %1, que não existe").arg(h.firstBlock));
        return v;
    }
    for (quint16 b = h.firstBlock, prev = 0; b != 0;) {
        if (b > whole) {
            damage(QStringLiteral("o bloco %1 aponta para o bloco %2, que não existe").arg(prev).arg(b));
            return v;
        }
        if (inChain[b]) {
            damage(QStringLiteral("ciclo na cadeia de blocos no bloco %1").arg(b));
            return v;
        }
        if (!head(b).sane) {
            damage(QStringLiteral("bloco %1 com contagem de registros inválida").arg(b));
            return v;
        }
        inChain[b] = 1;
        all.append(b);
        v.walk.append({b, quint16(heads[b].count)});
        if (heads[b].prev != prev) {
            relink = true;
            mend(markerOnly, QStringLiteral("bloco %1: ponteiro para o anterior é %2, esperado %3").arg(b).arg(heads[b].prev).arg(prev));
        }
        if (heads[b].count == 0) {
            relink = true;
            mend(markerOnly, QStringLiteral("bloco %1 vazio dentro da cadeia").arg(b));
        } else {
            v.chain.append(b);
        }
        records += quint64(heads[b].count);
        prev = b;
        b = heads[b].next;
    }
    v.records = records;
    v.relink = relink;

    // The header's counters against the chain.
    const bool recordsAgree = records == h.numRecords;
    if (!recordsAgree) {
        const QString s = QStringLiteral("o cabeçalho indica %1 registros, a cadeia de blocos tem %2").arg(h.numRecords).arg(records);
        const qint64 diff = qint64(records) - qint64(h.numRecords);
        if (marker && (diff == 1 || diff == -1))
            mend(markerOnly, s);
        else
            damage(s);
    }
    const quint16 last = all.isEmpty() ? 0 : all.last();
    if (last != h.lastBlock)
        mend(stale, QStringLiteral("o cabeçalho indica o bloco %1 como último, a cadeia termina no %2").arg(h.lastBlock).arg(last));
    if (all.size() != h.blocksInUse)
        mend(stale, QStringLiteral("o cabeçalho indica %1 blocos em uso, a cadeia tem %2").arg(h.blocksInUse).arg(all.size()));
    if (h.fileBlocks != whole)
        mend(stale, QStringLiteral("o cabeçalho indica %1 blocos, o arquivo tem %2").arg(h.fileBlocks).arg(whole));
    if (h.maxBlocks != h.fileBlocks)
        mend(stale, QStringLiteral("contador de blocos 0x3A (%1) difere do número de blocos (%2)").arg(h.maxBlocks).arg(h.fileBlocks));
    if (depth == Validation::Depth::Chain) {
        // What a reader relies on: the chain, whole, and a record count that agrees with it
        // (or our own interrupted write). The rest does not stop reading.
        if (v.state != Validation::State::Damaged && (!markerOnly.isEmpty() || !stale.isEmpty() || marker))
            v.state = Validation::State::Repairable;
        return v;
    }
    if (tail != 0) {
        v.dbTrimTo = h.headerSize + whole * bs;
        mend(markerOnly, QStringLiteral("final incompleto de %1 bytes depois do último bloco").arg(tail));
    }

    // The free list: blocks outside the chain that hold no record.
    QVector<char> isFree(whole + 1, 0);
    bool freeSound = true;
    for (quint16 b = h.firstFree; b != 0 && freeSound;) {
        QString why;
        if (b > whole)
            why = QStringLiteral("a lista de blocos livres aponta para o bloco %1, que não existe").arg(b);
        else if (isFree[b])
            why = QStringLiteral("ciclo na lista de blocos livres no bloco %1").arg(b);
        else if (inChain[b])
            why = QStringLiteral("bloco %1 está na cadeia e na lista de livres").arg(b);
        else if (!head(b).sane || heads[b].count != 0)
            why = QStringLiteral("bloco livre %1 contém registros").arg(b);
        if (!why.isEmpty()) {
            freeSound = false;
            mend(markerOnly, why);
            break;
        }
        isFree[b] = 1;
        b = heads[b].next;
    }

    // Blocks neither in the chain nor free. One that holds records is damage unless every one
    // of them is also in a chain block (a move of records into block 1 cut short).
    QHash<QByteArray, quint16> chainContents;
    auto contents = [&](quint16 b, int count) {
        QByteArray d(qsizetype(count) * rs, Qt::Uninitialized);
        if (!db.readAt(h.blockOffset(b) + 6, d.data(), d.size()))
            d.clear();
        return d;
    };
    QStringList lost;
    for (quint16 b = 1; b <= whole; ++b) {
        if (inChain[b] && heads[b].count > 0)
            continue;
        if (!inChain[b] && !isFree[b]) {
            if (head(b).sane && heads[b].count == 0) {
                mend(markerOnly, QStringLiteral("bloco %1 não está na cadeia nem na lista de livres").arg(b));
            } else {
                if (chainContents.isEmpty())
                    for (quint16 c : std::as_const(v.chain))
                        chainContents.insert(contents(c, heads[c].count), c);
                const QByteArray mine = heads[b].sane ? contents(b, heads[b].count) : QByteArray();
                if (!mine.isEmpty() && chainContents.contains(mine))
                    mend(markerOnly, QStringLiteral("bloco %1 repete os registros do bloco %2").arg(b).arg(chainContents.value(mine)));
                else
                    lost.append(QString::number(b));
            }
        }
        v.freeBlocks.append(b);
    }
    if (!lost.isEmpty())
        damage(QStringLiteral("blocos com registros fora da cadeia: %1").arg(lost.join(QStringLiteral(", "))));
    v.rebuildFree = !freeSound || relink || !markerOnly.isEmpty();

    // The memo file: its structure, then every reference of every record in the chain.
    if (memo && v.state != Validation::State::Damaged) {
        QStringList mbProblems;
        qint64 tailBlock = -1;
        memo->invalidate();
        const std::map<quint32, quint32> blobs = memo->blobs(&mbProblems, &tailBlock);
        memo->invalidate();
        for (const QString &p : std::as_const(mbProblems))
            v.damage(p);
        const QString mbName = QDir::toNativeSeparators(mbPath);
        std::map<quint32, int> uses;
        // A memo file whose structure is broken is one problem, not one per record after it.
        for (quint16 b : mbProblems.isEmpty() ? v.chain : QVector<quint16>()) {
            const QByteArray d = contents(b, heads[b].count);
            if (d.isEmpty()) {
                damage(QStringLiteral("bloco %1 incompleto").arg(b));
                break;
            }
            for (int s = 0; s < heads[b].count; ++s) {
                const char *raw = d.constData() + qsizetype(s) * rs;
                for (int f = 0; f < fields.size(); ++f) {
                    if (!isBlobType(fields[f].type))
                        continue;
                    const auto *p = reinterpret_cast<const unsigned char *>(raw + offsets[f] + fields[f].size);
                    const quint32 loc = le32(p), len = le32(p + 4);
                    if (len <= quint32(fields[f].size))
                        continue;
                    const QString at = QStringLiteral("bloco %1, registro %2, campo %3").arg(b).arg(s + 1).arg(fields[f].name);
                    const auto it = blobs.find(loc);
                    if (it == blobs.end() || (tailBlock >= 0 && qint64(loc / MemoFile::BlockSize) >= tailBlock))
                        damage(QStringLiteral("%1: memorando inexistente em %2 (%3)").arg(at, mbName, MemoFile::where(loc)));
                    else if (it->second != len)
                        damage(QStringLiteral("%1: memorando em %2 (%3) com tamanho divergente").arg(at, mbName, MemoFile::where(loc)));
                    else if (++uses[loc] == 2)
                        damage(QStringLiteral("%1: memorando em %2 (%3) usado por mais de um registro").arg(at, mbName, MemoFile::where(loc)));
                }
            }
        }
        if (v.state != Validation::State::Damaged) {
            if (tailBlock >= 0) {
                v.mbTrimTo = tailBlock * MemoFile::BlockSize;
                markerOnly.append(QStringLiteral("%1: final incompleto a partir do bloco %2").arg(mbName).arg(tailBlock));
            }
            // A block we were adding at the end, torn: its head (the first sector) is there, so
            // the file is made whole blocks again with zeros, as the block was meant to end.
            const qint64 mbSize = mb.size();
            if (marker && v.mbTrimTo < 0 && mbSize % MemoFile::BlockSize != 0) {
                v.mbGrowTo = (mbSize / MemoFile::BlockSize + 1) * MemoFile::BlockSize;
                markerOnly.append(QStringLiteral("%1: último bloco incompleto (%2 bytes)")
                                      .arg(mbName)
                                      .arg(mbSize % MemoFile::BlockSize));
            }
            for (const auto &[loc, len] : blobs)
                if (!uses.count(loc)) {
                    v.unreferenced.emplace(loc, len);
                    markerOnly.append(QStringLiteral("%1: memorando (%2, %3 bytes) sem registro que o use")
                                          .arg(mbName, MemoFile::where(loc))
                                          .arg(len));
                }
        }
    }

    if (marker)
        markerOnly.prepend(dbName + QStringLiteral(": gravação interrompida"));
    if (v.state == Validation::State::Damaged) {
        return v;
    }
    if (!marker && !markerOnly.isEmpty()) {
        for (const QString &s : std::as_const(markerOnly))
            v.damage(s);
        return v;
    }
    if (!marker && !stale.isEmpty() && !recordsAgree) {
        for (const QString &s : std::as_const(stale))
            v.damage(s);
        return v;
    }
    v.repairs = markerOnly + stale;
    if (!v.repairs.isEmpty())
        v.state = Validation::State::Repairable;
    return v;
}

void Table::Impl::repair(const Validation &v)
{
    invalidateCaches();
    if (v.finishEmpty) {
        if (db.size() != h.headerSize)
            db.truncate(h.headerSize);
        dbSize = h.headerSize;
        if (memo)
            mb.truncate(MemoFile::BlockSize);
    } else {
        if (v.dbTrimTo >= 0)
            db.truncate(v.dbTrimTo);
        dbSize = h.headerSize + qint64(v.fileBlocks) * h.blockSize();
        h.fileBlocks = v.fileBlocks;
        if (v.relink) {
            for (int i = 0; i < v.chain.size(); ++i) {
                unsigned char p[4];
                put16(p, i + 1 < v.chain.size() ? v.chain[i + 1] : 0);
                put16(p + 2, i > 0 ? v.chain[i - 1] : 0);
                db.writeAt(h.blockOffset(v.chain[i]), p, 4);
            }
        }
        if (v.rebuildFree) {
            // Every block outside the chain holds no record of its own: free, in block order.
            quint16 head = 0;
            for (auto it = v.freeBlocks.crbegin(); it != v.freeBlocks.crend(); ++it) {
                h.firstFree = head;
                freeBlock(*it);
                head = *it;
            }
            h.firstFree = head;
        }
        // Without relinking, the chain holds no empty block: it is v.chain as it stands.
        h.numRecords = quint32(v.records);
        h.blocksInUse = quint16(v.chain.size());
        h.firstBlock = v.chain.isEmpty() ? 0 : v.chain.first();
        h.lastBlock = v.chain.isEmpty() ? 0 : v.chain.last();
        h.maxBlocks = h.fileBlocks;
        syncDb();
        if (memo) {
            if (v.mbTrimTo >= 0)
                mb.truncate(v.mbTrimTo);
            else if (v.mbGrowTo >= 0)
                mb.truncate(v.mbGrowTo);
            memo->invalidate();
            for (const auto &[loc, len] : v.unreferenced)
                memo->release(loc, len);
            memo->invalidate();
            syncMb();
        }
    }
    if (v.finishEmpty) {
        h.numRecords = 0;
        h.blocksInUse = h.fileBlocks = h.firstBlock = h.lastBlock = h.maxBlocks = h.firstFree = 0;
    }
    h.writeMarker = false;
    h.changeCount = quint16(h.changeCount + 1);
    writeHeaderPrefix();
    syncDb();
    if (memo)
        syncMb();
    staleHeader = false;
    repaired = true;
    repairNote = v.repairs.join(QStringLiteral("; "));
    invalidateCaches();
}

void Table::Impl::noteValidated()
{
    validatedPrefix = h.prefix;
    validatedDb = dbSize;
    validatedMb = memo ? mb.size() : -1;
}

void Table::Impl::ensureWritable()
{
    if (validationCurrent())
        return;
    validatedPrefix.clear();
    Validation v = validate();
    if (v.state == Validation::State::Repairable) {
        repair(v);
        refresh();
        v = validate();
    }
    if (v.state != Validation::State::Sound)
        throw refusal(v);
    noteValidated();
}

// The engine's "damaged" error with the validator's first finding.
EngineError Table::Impl::refusal(const Validation &v) const
{
    QString why = v.problems.value(0, v.repairs.value(0));
    const QString prefix = QDir::toNativeSeparators(path) + QStringLiteral(": ");
    const QString mbPrefix = QDir::toNativeSeparators(mbPath) + QStringLiteral(": ");
    if (why.startsWith(prefix))
        return damaged(why.mid(prefix.size()));
    if (!mbPath.isEmpty() && why.startsWith(mbPrefix))
        return EngineError::memoDamaged(mbPath, why.mid(mbPrefix.size()));
    return damaged(why);
}

void Table::Impl::buildIndex()
{
    if (indexValid)
        return;
    index.clear();
    indexOf.clear();
    const Validation v = validate(Validation::Depth::Chain);
    if (v.state == Validation::State::Damaged)
        throw refusal(v);
    quint64 total = 0;
    for (const auto &[b, count] : v.walk) {
        indexOf.insert(b, int(index.size()));
        index.append(IndexEntry{b, count, quint32(total)});
        total += count;
    }
    chainRecords = total;
    chainStale = !v.sound();
    indexValid = true;
}

// Cheap tests of the header against the file, true when a walk of the chain is due. An
// append-only table with full blocks passes without reading more than its last block.
bool Table::Impl::countersSuspicious()
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

// What an interrupted write of ours left, with the marker set, is no damage: readers trust the
// chain meanwhile and the next write mends it. Counters another program left stale are listed.
Table::CheckReport Table::Impl::check()
{
    const Validation v = validate();
    Table::CheckReport out;
    out.problems = v.problems;
    const bool ours = v.state == Validation::State::Repairable && h.writeMarker;
    for (const QString &r : v.repairs)
        (ours ? out.pending : out.problems).append(r + QStringLiteral(" (a reparar na próxima gravação)"));
    if (overlaid)
        out.pending.prepend(QDir::toNativeSeparators(path)
                            + QStringLiteral(": gravação interrompida: lida como estava antes dela; a próxima gravação a desfaz no disco"));
    return out;
}

} // namespace px
