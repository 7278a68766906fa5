#pragma once

#include "PxTypes.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace px {

// Where a record sits: its data block and its slot in that block.
// A position is a hint: when another writer has moved the record since it was read,
// update() and remove() find it again by its bytes.
struct RecordPos
{
    quint16 block = 0;
    quint16 slot = 0;
    friend bool operator==(const RecordPos &, const RecordPos &) = default;
};

// Called with true when a lock held by another program has made this process wait for
// 100 ms (it waits up to 10 s), and with false when that wait ends either way; on the
// waiting thread. One per process.
using LockWaitHook = void (*)(bool waiting);
void setLockWaitHook(LockWaitHook hook);

// One Paradox table pair (.DB with its optional .MB). Every public call sees the latest
// committed state of the file, also when another process writes it. All failures are
// EngineError. Writes return only after their data has reached the medium.
class Table
{
public:
    enum class Mode {
        ReadOnly,   // read only; beside other opens, refused while someone holds it exclusively
        Shared,     // read and write beside other shared opens
        Exclusive,  // read and write; refused while anybody else has the table open
    };

    // A new non-keyed table pair. Refuses when the .DB or the .MB already exists.
    static void create(const QString &dbPath, const QVector<FieldDef> &fields,
                       const CreateOptions &options = {});
    // All records go, the structure stays (takes the table exclusively while it works).
    static void emptyTable(const QString &dbPath);

    // What salvage() could not copy: a block (slot 0), a record (field empty) or a field.
    struct Loss
    {
        quint16 block = 0;
        int slot = 0;  // 1-based; 0: the whole block
        QString field;
        QString reason;
    };
    // Copies every record of a damaged table that can be read, with every memo text that can
    // be read, into a new table dbPath of the same fields; the damaged pair is only read.
    // Records come in chain order, then those of blocks the chain does not reach. Throws
    // EngineError when nothing can be done (the header itself is unreadable, dbPath exists).
    static QVector<Loss> salvage(const QString &damagedPath, const QString &dbPath, quint32 *saved = nullptr);

    explicit Table(const QString &dbPath, Mode mode = Mode::Shared);
    ~Table();
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    const QString &path() const;
    QString memoPath() const;  // empty when the table has no blob fields
    Mode mode() const;
    const TableInfo &info() const;
    const QVector<FieldDef> &fields() const;
    int fieldIndex(QStringView name) const;  // names match without regard to case; -1 if none
    // True when opening found the header stale (a crash during a write) and rebuilt it, or
    // undid an unfinished batch; repairNote() says what was mended.
    bool wasRepaired() const;
    QString repairNote() const;
    // True when the table carries an interrupted write of ours that the next write repairs
    // (only a read-only open leaves it so); the table reads correctly meanwhile.
    bool interruptedWrite();
    // True when a journal left by a write that did not finish lies beside the table and this
    // open reads the pair as its rollback will leave it (a read-only open never writes; the
    // next writable open rolls it back).
    bool rolledBackOnRead();

    // Natural order.
    quint32 recordCount();
    std::optional<RecordPos> first();
    std::optional<RecordPos> last();
    std::optional<RecordPos> next(RecordPos pos);
    std::optional<RecordPos> prior(RecordPos pos);
    // Random access by ordinal, 0-based (walks the block chain once, then cached until a change).
    std::optional<RecordPos> at(quint32 ordinal);
    // The raw records of ordinals first .. first + count - 1 (fewer past the end), read under
    // one lock with each block read once: a page of a grid in one go.
    QList<QByteArray> readRawRange(quint32 first, quint32 count);
    // Ordinal of a position, or -1 when it holds no record.
    qint64 ordinalOf(RecordPos pos);

    // The record's stored bytes (info().recordSize of them). Throws when pos holds no record.
    QByteArray readRaw(RecordPos pos);
    // Decodes one field of a stored record; memo text comes from the .MB.
    Value decode(const QByteArray &raw, int field);
    QVector<Value> readValues(RecordPos pos);

    // Calls fn for every record in natural order until it returns false. The bytes are valid
    // during the call only. Faster than first()/next() for whole-table work.
    void scan(const std::function<bool(RecordPos pos, const char *raw)> &fn);
    Value decode(const char *raw, int field);
    // Decodes every field of a stored record into row (resized to the field count), reusing
    // the storage row already holds: the fast way to read many records.
    void decodeRow(const char *raw, QVector<Value> &row);
    // Runs fn under the read lock: no other process writes the pair meanwhile, so its files
    // can be read (copied) as one consistent state.
    void readLocked(const std::function<void()> &fn);
    // As readLocked(), once the pair has passed the whole validator: a copy of its bytes is then
    // a sound table. The result is the one a write checks first, so the next write does not
    // validate again while the pair stays as it is. Damage throws the engine's refusal.
    void readValidated(const std::function<void()> &fn);

    // Writes. values has one entry per field in declared order; monostate empties a field.
    // Text the code page cannot hold is refused before anything is written.
    RecordPos append(const QVector<Value> &values);
    // originalRaw is the record as read; it finds the record again if it moved.
    RecordPos update(RecordPos pos, const QByteArray &originalRaw, const QVector<Value> &values);
    // Returns where the next record now is, or the new last record, or nullopt when none is left.
    std::optional<RecordPos> remove(RecordPos pos, const QByteArray &originalRaw);
    void emptyAll();
    // When false, posts skip the flush to the medium (benchmarks and bulk imports only).
    void setSyncWrites(bool on);

    // A batch of writes that lands all or none, even when the process dies half-way: a
    // journal beside the table keeps the bytes the batch changes until commitBatch(); the
    // next opener of a table with a journal puts them back. Needs an exclusive open.
    void beginBatch();
    void commitBatch();
    void rollbackBatch();  // also what destroying the table in a batch does

    // Checks every invariant of the pair; returns the problems found, one line each naming
    // the file, empty when sound. What an interrupted write of this engine left (and the next
    // write repairs) is not a problem: inspect() lists it apart.
    QStringList check();
    struct CheckReport
    {
        QStringList problems;  // damage, one line each naming the file
        QStringList pending;   // an interrupted write of ours, mended by the next write
    };
    CheckReport inspect();

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace px
