#include "PxTableImpl.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <optional>

// The public calls: opening (with the journal of an unfinished batch and the repair of an
// interrupted write), reads through the block chain, and writes handed to PxWrite.cpp.

namespace px {

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
    if (!d->db.tryLock(detail::OpenLockByte, mode == Mode::Exclusive))
        throw EngineError::inUse(dbPath);

    std::optional<Journal::View> left;
    if (writable && Journal::exists(dbPath)) {
        // A write or batch that did not finish: its journal puts the pair back as it was
        // before it, under the write lock.
        struct Lock
        {
            File *f;
            bool held;
            ~Lock()
            {
                if (held)
                    f->unlock(detail::WriteLockByte);
            }
        } lock{&d->db, mode != Mode::Exclusive};
        if (lock.held)
            d->acquireOn(d->db, detail::WriteLockByte, true);
        if (Journal::recover(dbPath, detail::findMemoFile(dbPath))) {
            d->repairNote = QStringLiteral("gravação interrompida desfeita");
            d->repaired = true;
        }
    } else if (!writable) {
        // A read-only open never writes: it reads the pair as the rollback will leave it.
        left = Journal::view(dbPath);
        if (left) {
            d->db.setOverlay(left->files[0]);
            d->overlaid = true;
        }
    }

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
        d->mbPath = detail::findMemoFile(dbPath);
        if (d->mbPath.isEmpty() || !d->mb.open(d->mbPath, writable))
            throw EngineError::memoMissing(d->mbPath.isEmpty() ? detail::memoPathFor(dbPath) : d->mbPath);
        if (left)
            d->mb.setOverlay(left->files[1]);
        d->memo = std::make_unique<MemoFile>(d->mb);
        d->memo->validate();
    }

    if (writable) {
        // Nothing is written unless validation finds what an interrupted write of ours (or a
        // stale header) leaves; damage is left as it is, and every write refuses it.
        ++d->lockDepth;
        d->lockIsWrite = true;
        try {
            if (mode != Mode::Exclusive)
                d->acquire(detail::WriteLockByte, true);
            d->refresh();
            bool look = d->h.writeMarker;
            if (!look) {
                try {
                    look = d->countersSuspicious();
                } catch (const EngineError &) {
                    look = true;
                }
            }
            if (look) {
                const Validation v = d->validate();
                if (v.state == Validation::State::Repairable)
                    d->repair(v);
            }
        } catch (...) {
            d->unlockAll();
            throw;
        }
        d->unlock();
    } else {
        // The same first look as a writable open; a header that does not add up has the chain
        // validated now, so that readers follow the chain. Damage is refused by the first read.
        Impl::ReadGuard g(d.get());
        try {
            if (d->h.writeMarker || d->countersSuspicious())
                d->buildIndex();
        } catch (const EngineError &) {
        }
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
        d->checkPresent();
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
    if (d->staleHeader || (d->indexValid && d->chainStale)) {
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
    if (pos.block == 0 || pos.block > d->blockLimit())
        return std::nullopt;
    const auto blk = d->readBlockHead(pos.block);
    if (pos.slot + 1 < blk.count)
        return RecordPos{pos.block, quint16(pos.slot + 1)};
    return d->firstFrom(blk.next);
}

std::optional<RecordPos> Table::prior(RecordPos pos)
{
    Impl::ReadGuard g(d.get());
    if (pos.block == 0 || pos.block > d->blockLimit())
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
    if (pos.block == 0 || pos.block > d->blockLimit())
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
    return inspect().problems;
}

Table::CheckReport Table::inspect()
{
    Impl::ReadGuard g(d.get());
    return d->check();
}

bool Table::interruptedWrite()
{
    Impl::ReadGuard g(d.get());
    return d->h.writeMarker || d->overlaid;
}

bool Table::rolledBackOnRead()
{
    Impl::ReadGuard g(d.get());
    return d->overlaid;
}

void Table::Impl::clearOverlay()
{
    db.setOverlay(nullptr);
    mb.setOverlay(nullptr);
    overlaid = false;
}

// Called when the header changed under us or says a write is under way: a journal beside the
// table means a write that did not finish (a live writer holds the write lock while it has one).
bool Table::Impl::lookForJournal()
{
    if (!Journal::exists(path)) {
        if (!overlaid)
            return false;
        clearOverlay();
        invalidateCaches();
        return true;
    }
    if (lockIsWrite && mode != Mode::ReadOnly) {
        clearOverlay();
        if (Journal::recover(path, memo ? mbPath : QString())) {
            repairNote = QStringLiteral("gravação interrompida desfeita");
            repaired = true;
        }
    } else {
        const std::optional<Journal::View> v = Journal::view(path);
        if (!v) {
            if (!overlaid)
                return false;
            clearOverlay();
        } else {
            db.setOverlay(v->files[0]);
            if (memo)
                mb.setOverlay(v->files[1]);
            overlaid = true;
        }
    }
    invalidateCaches();
    validatedPrefix.clear();
    return true;
}

void Table::Impl::checkPresent()
{
    if (!db.stillAtPath())
        throw EngineError::vanished(path);
    if (memo && !mb.stillAtPath())
        throw EngineError::vanished(mbPath);
}

QString Table::repairNote() const
{
    return d->repairNote;
}

void Table::beginBatch()
{
    if (d->mode != Mode::Exclusive)
        throw EngineError(EngineError::Kind::State, QStringLiteral("Lote sem acesso exclusivo à tabela %1").arg(d->path));
    if (d->journal)
        throw EngineError(EngineError::Kind::State, QStringLiteral("Lote aninhado na tabela %1").arg(d->path));
    // The batch starts from a sound pair: validated (and repaired) before the journal exists.
    d->lockWrite();
    d->unlock();
    d->journal = std::make_unique<Journal>(d->path, d->db, d->memo ? &d->mb : nullptr);
}

void Table::commitBatch()
{
    if (!d->journal)
        return;
    d->checkPresent();
    d->journal->commit();
    d->journal.reset();
}

void Table::rollbackBatch()
{
    if (!d->journal)
        return;
    std::unique_ptr<Journal> j = std::move(d->journal);
    j->rollback();
    d->reload();
}

} // namespace px
