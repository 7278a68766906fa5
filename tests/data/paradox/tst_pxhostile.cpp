// Damaged, truncated and hostile table files: the engine answers with an EngineError or with
// the right data, and never crashes, hangs, throws anything else or allocates hugely.
// Worth running under AddressSanitizer/UBSan as well (a build with
// -fsanitize=address,undefined); the allocation watch below is then left to the sanitizer.

#include "PxTestUtil.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <random>

using namespace pxtest;
using px::FieldDef;
using px::FieldType;
using px::Table;
using px::Value;
using Row = QVector<Value>;

// ---- the largest single allocation, watched by interposing malloc ------------------------

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define PX_WATCH_ALLOCATIONS 1
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

static std::atomic<size_t> g_largest{0};
static constexpr size_t kRefuseAbove = size_t(1) << 30;  // keep the machine alive regardless

static bool noteAllocation(size_t n)
{
    size_t seen = g_largest.load(std::memory_order_relaxed);
    while (n > seen && !g_largest.compare_exchange_weak(seen, n, std::memory_order_relaxed)) {
    }
    return n <= kRefuseAbove;
}

extern "C" void *malloc(size_t n)
{
    return noteAllocation(n) ? __libc_malloc(n) : nullptr;
}

extern "C" void *calloc(size_t a, size_t b)
{
    size_t n = 0;
    if (__builtin_mul_overflow(a, b, &n))
        n = SIZE_MAX;
    return noteAllocation(n) ? __libc_calloc(a, b) : nullptr;
}

extern "C" void *realloc(void *p, size_t n)
{
    return noteAllocation(n) ? __libc_realloc(p, n) : nullptr;
}

extern "C" void free(void *p)
{
    __libc_free(p);
}
#endif

namespace {

// Tables here are at most a few hundred KB; nothing may need more than this in one piece.
constexpr size_t kAllocationLimit = 8u << 20;

void resetLargest()
{
#ifdef PX_WATCH_ALLOCATIONS
    g_largest = 0;
#endif
}

size_t largest()
{
#ifdef PX_WATCH_ALLOCATIONS
    return g_largest;
#else
    return 0;
#endif
}

QVector<FieldDef> baseFields()
{
    return {{QStringLiteral("Id"), FieldType::Alpha, 12},   {QStringLiteral("Name"), FieldType::Alpha, 40},
            {QStringLiteral("Amount"), FieldType::Number, 8}, {QStringLiteral("Day"), FieldType::Date, 4},
            {QStringLiteral("Notes"), FieldType::Memo, 100}, {QStringLiteral("Extra"), FieldType::Memo, 20}};
}

struct Outcome
{
    bool opened = false;
    bool engineError = false;
    bool otherException = false;
    px::EngineError::Kind kind = px::EngineError::Kind::State;
    QString message;
    QVector<Row> rows;
    QStringList checkProblems;
    bool wasRepaired = false;
};

// Opens and reads everything the way a program would; any exception is captured.
Outcome exercise(const QString &path, Table::Mode mode = Table::Mode::ReadOnly)
{
    Outcome o;
    try {
        Table t(path, mode);
        o.opened = true;
        o.wasRepaired = t.wasRepaired();
        o.rows = readAll(t);
        // The cursor path too, with a bound: a loop in it must not hang the test.
        quint32 n = 0;
        for (auto p = t.first(); p && n <= quint32(o.rows.size()) + 1; p = t.next(*p), ++n)
            t.readValues(*p);
        if (n != quint32(o.rows.size()))
            o.checkProblems << QStringLiteral("cursor walk saw %1 records, scan %2").arg(n).arg(o.rows.size());
        if (auto l = t.last())
            t.readValues(*l);
        t.recordCount();
        o.checkProblems += t.check();
    } catch (const px::EngineError &e) {
        o.engineError = true;
        o.kind = e.kind();
        o.message = e.message();
    } catch (...) {
        o.otherException = true;
    }
    return o;
}

bool sameRows(const QVector<Row> &a, const QVector<Row> &b)
{
    if (a.size() != b.size())
        return false;
    for (int r = 0; r < a.size(); ++r) {
        if (a[r].size() != b[r].size())
            return false;
        for (int c = 0; c < a[r].size(); ++c)
            if (!sameValue(a[r][c], b[r][c]))
                return false;
    }
    return true;
}

enum class Expect {
    Error,         // the damage cannot be read around: an EngineError (Damaged or Unsupported)
    ErrorOrExact,  // an EngineError, or every original record exactly
    Survive,       // only: no crash, hang, foreign exception or huge allocation
};

struct Pair
{
    QString name;  // .DB file name
    QByteArray db;
    QByteArray mb;
    bool hasMb = false;
    QVector<Row> rows;  // what the intact pair holds
    Verification v;
};

} // namespace

class TestPxHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void truncation();
    void headerFields();
    void blocks();
    void memoReferences();
    void memoFile();
    void staleHeaderRepaired();
    void damagedFreeListIsNotWrittenOver();
    void fuzz();

private:
    // Writes the (mutated) pair into the work folder and returns the .DB path.
    QString place(const Pair &p, const QByteArray &db, const QByteArray &mb);
    // Runs one case and checks its outcome against what is expected; returns what went wrong.
    QString run(const QString &label, const Pair &p, const QByteArray &db, const QByteArray &mb, Expect expect,
             Table::Mode mode = Table::Mode::ReadOnly);
    const Pair &base() const { return m_pairs[0]; }
    const Pair &customer() const { return m_pairs[1]; }

    QTemporaryDir m_dir;
    QString m_work;
    QVector<Pair> m_pairs;
};

void TestPxHostile::initTestCase()
{
    installCrashReporter();
    startWatchdog(20);
#ifdef PX_WATCH_ALLOCATIONS
    // The watch itself works: a 2 MB buffer is seen.
    resetLargest();
    {
        QByteArray big(2 << 20, 'x');
        QVERIFY(big.size() > 0);
    }
    QVERIFY(largest() >= size_t(2 << 20));
#endif
    QVERIFY(m_dir.isValid());
    m_work = m_dir.path() + QStringLiteral("/case");
    QVERIFY(QDir().mkpath(m_work));

    // A table of ours with 1 KB blocks (4 records each), memos of every placement and one free block.
    px::CreateOptions o;
    o.blockSizeKb = 1;
    const QString path = makeTable(m_dir.path(), QStringLiteral("BASE.DB"), baseFields(), o);
    {
        Table t(path);
        t.setSyncWrites(false);
        const int notes[] = {0, 50, 100, 101, 500, 2048, 2049, 5000, 300, 20000};
        const int extra[] = {0, 20, 21, 300, 3000, 10};
        for (int i = 0; i < 40; ++i) {
            Row r = {Value(QStringLiteral("ID%1").arg(i)), Value(QStringLiteral("Nome nº %1").arg(i)), Value(i * -3.25),
                     Value(QDate(1999, 12, 31).addDays(i))};
            const int n = notes[i % std::size(notes)];
            const int e = extra[i % std::size(extra)];
            r << (n ? Value(patternText(quint32(i), n)) : Value()) << (e ? Value(patternText(quint32(i + 500), e)) : Value());
            t.append(r);
        }
        for (int i = 11; i >= 8; --i) {
            const auto pos = t.at(quint32(i));
            t.remove(*pos, t.readRaw(*pos));
        }
    }
    for (const QString &name : {QStringLiteral("BASE.DB"), QStringLiteral("CUSTOMER.DB"), QStringLiteral("DECIMAL.DB")}) {
        Pair p;
        p.name = name;
        const QString src = name == QLatin1String("BASE.DB") ? path : samplePath(name);
        p.db = readFile(src);
        const QString mb = memoFileOf(src);
        p.hasMb = QFileInfo::exists(mb);
        if (p.hasMb)
            p.mb = readFile(mb);
        const QString here = place(p, p.db, p.mb);
        p.v = verify(here, false);
        QVERIFY2(p.v.ok(), qPrintable(name + QLatin1Char(':') + p.v.problems.join(QLatin1Char('\n'))));
        Table t(here, Table::Mode::ReadOnly);
        p.rows = readAll(t);
        QVERIFY(!p.rows.isEmpty());
        m_pairs.append(p);
    }
    QCOMPARE(base().rows.size(), 36);
    QCOMPARE(base().v.freeList.size(), 1);
}

QString TestPxHostile::place(const Pair &p, const QByteArray &db, const QByteArray &mb)
{
    const QString dbPath = m_work + QLatin1Char('/') + p.name;
    const QString mbPath = memoFileOf(dbPath);
    QFile::remove(dbPath);
    QFile::remove(mbPath);
    if (!writeFile(dbPath, db))
        return {};
    if (p.hasMb && !writeFile(mbPath, mb))
        return {};
    return dbPath;
}

QString TestPxHostile::run(const QString &label, const Pair &p, const QByteArray &db, const QByteArray &mb, Expect expect,
                           Table::Mode mode)
{
    setCase(p.name + QLatin1Char(' ') + label);
    const QString path = place(p, db, mb);
    if (path.isEmpty())
        return QStringLiteral("cannot write the case's files");
    resetLargest();
    const Outcome o = exercise(path, mode);
    const size_t big = largest();
    feedWatchdog();
    const QString what = p.name + QLatin1Char(' ') + label + QStringLiteral(": ");
    if (o.otherException)
        return what + QStringLiteral("an exception outside the EngineError family");
    if (big > kAllocationLimit)
        return what + QStringLiteral("allocated %1 bytes at once").arg(big);
    if (o.engineError && !o.message.contains(p.name, Qt::CaseInsensitive)
        && !o.message.contains(QFileInfo(memoFileOf(path)).fileName(), Qt::CaseInsensitive))
        return what + QStringLiteral("message does not name the file: ") + o.message;
    switch (expect) {
    case Expect::Error:
        if (!o.engineError)
            return what + QStringLiteral("no error; %1 rows read, check: %2").arg(o.rows.size()).arg(o.checkProblems.join(QStringLiteral("; ")));
        if (o.kind != px::EngineError::Kind::Damaged && o.kind != px::EngineError::Kind::Unsupported)
            return what + QStringLiteral("unexpected kind: ") + o.message;
        break;
    case Expect::ErrorOrExact:
        if (!o.engineError && !sameRows(o.rows, p.rows))
            return what + QStringLiteral("read without error but %1 rows differ from the %2 stored").arg(o.rows.size()).arg(p.rows.size());
        break;
    case Expect::Survive:
        break;
    }
    return {};
}

// Lists every failed case, then fails once.
#define REPORT(failures)                                                                        \
    do {                                                                                        \
        (failures).removeAll(QString());                                                        \
        for (const QString &f_ : (failures))                                                    \
            qWarning("%s", qPrintable(f_));                                                     \
        QVERIFY2((failures).isEmpty(), qPrintable(QStringLiteral("%1 cases failed (listed above)").arg((failures).size()))); \
    } while (0)

// Cut at every 64 bytes of the header, around every block boundary and inside the memo file.
void TestPxHostile::truncation()
{
    QStringList failures;
    for (const Pair &p : m_pairs) {
        QVector<qsizetype> cuts = {0, 1, 2, 0x57, 0x58, 0x77, 0x78};
        for (qsizetype c = 64; c < p.v.header.headerSize; c += 64)
            cuts << c;
        const int bs = p.v.header.blockSize();
        for (qsizetype c = p.v.header.headerSize; c < p.db.size(); c += bs)
            cuts << c << c + 1 << c + 6 << c + bs - 1;
        for (qsizetype c : cuts) {
            if (c >= p.db.size())
                continue;
            failures << run(QStringLiteral("DB cut at %1").arg(c), p, p.db.left(c), p.mb, Expect::ErrorOrExact);
        }
        if (!p.hasMb)
            continue;
        for (qsizetype c = 0; c < p.mb.size(); c += (c < 8192 ? 512 : 1000)) {
            failures << run(QStringLiteral("MB cut at %1").arg(c), p, p.db, p.mb.left(c), Expect::ErrorOrExact);
        }
        // A memo file with stray bytes at its end.
        failures << run(QStringLiteral("MB one byte longer"), p, p.db, p.mb + QByteArray(1, '\0'), Expect::ErrorOrExact);
    }
    REPORT(failures);
}

void TestPxHostile::headerFields()
{
    QStringList failures;
    struct Mut
    {
        const char *name;
        int offset;
        int width;  // 1, 2 or 4
        quint32 value;
        Expect expect;
    };
    const Pair &p = base();
    const RawHeader &h = p.v.header;
    const quint32 rs = h.recordSize;
    const quint32 fb = h.fileBlocks;
    const Mut muts[] = {
        {"record size 0", 0x00, 2, 0, Expect::Error},
        {"record size 1", 0x00, 2, 1, Expect::Error},
        {"record size -1", 0x00, 2, rs - 1, Expect::Error},
        {"record size +1", 0x00, 2, rs + 1, Expect::Error},
        {"record size huge", 0x00, 2, 0xFFFF, Expect::Error},
        {"header size 0", 0x02, 2, 0, Expect::Error},
        {"header size 16", 0x02, 2, 16, Expect::Error},
        {"header size 0x7FF", 0x02, 2, 0x7FF, Expect::Error},
        {"header size huge", 0x02, 2, 0xFFFF, Expect::Error},
        {"header size 0x1000", 0x02, 2, 0x1000, Expect::Survive},
        {"file type 1", 0x04, 1, 1, Expect::Error},
        {"file type 3", 0x04, 1, 3, Expect::Error},
        {"file type 8", 0x04, 1, 8, Expect::Error},
        {"file type 255", 0x04, 1, 255, Expect::Error},
        {"block size code 0", 0x05, 1, 0, Expect::Error},
        {"block size code 33", 0x05, 1, 33, Expect::Error},
        {"block size code 255", 0x05, 1, 255, Expect::Error},
        {"block size code 2", 0x05, 1, 2, Expect::Survive},
        {"block size code 32", 0x05, 1, 32, Expect::Survive},
        {"numRecords 0", 0x06, 4, 0, Expect::ErrorOrExact},
        {"numRecords +1", 0x06, 4, h.numRecords + 1, Expect::ErrorOrExact},
        {"numRecords absurd", 0x06, 4, 0xFFFFFFFF, Expect::ErrorOrExact},
        {"numRecords 2^31", 0x06, 4, 0x80000000, Expect::ErrorOrExact},
        {"blocks in use 0", 0x0A, 2, 0, Expect::ErrorOrExact},
        {"blocks in use huge", 0x0A, 2, 0xFFFF, Expect::ErrorOrExact},
        {"file blocks 0", 0x0C, 2, 0, Expect::ErrorOrExact},
        {"file blocks -1", 0x0C, 2, fb - 1, Expect::ErrorOrExact},
        {"file blocks +1", 0x0C, 2, fb + 1, Expect::ErrorOrExact},
        {"file blocks huge", 0x0C, 2, 0xFFFF, Expect::ErrorOrExact},
        {"first block 0", 0x0E, 2, 0, Expect::ErrorOrExact},
        {"first block past file", 0x0E, 2, fb + 1, Expect::ErrorOrExact},
        {"first block huge", 0x0E, 2, 0xFFFF, Expect::ErrorOrExact},
        {"first block is the free one", 0x0E, 2, p.v.freeList.value(0), Expect::ErrorOrExact},
        {"last block 0", 0x10, 2, 0, Expect::ErrorOrExact},
        {"last block 1", 0x10, 2, 1, Expect::ErrorOrExact},
        {"last block past file", 0x10, 2, fb + 5, Expect::ErrorOrExact},
        {"field count 0", 0x21, 2, 0, Expect::Error},
        {"field count +1", 0x21, 2, quint32(h.numFields + 1), Expect::Error},
        {"field count -1", 0x21, 2, quint32(h.numFields - 1), Expect::Error},
        {"field count huge", 0x21, 2, 0xFFFF, Expect::Error},
        {"key fields on a plain table", 0x23, 2, 3, Expect::Survive},
        {"encryption at 0x25", 0x25, 4, 0x12345678, Expect::Survive},
        {"version 0", 0x39, 1, 0, Expect::Error},
        {"version 3 (level 3)", 0x39, 1, 3, Expect::Error},
        {"version 4", 0x39, 1, 4, Expect::Error},
        {"version 0x0B", 0x39, 1, 0x0B, Expect::Survive},
        {"version 0x0D", 0x39, 1, 0x0D, Expect::Survive},
        {"version 0x10", 0x39, 1, 0x10, Expect::Error},
        {"version 255", 0x39, 1, 0xFF, Expect::Error},
        {"max blocks 0", 0x3A, 2, 0, Expect::ErrorOrExact},
        {"max blocks huge", 0x3A, 2, 0xFFFF, Expect::ErrorOrExact},
        {"free list past file", 0x4D, 2, fb + 1, Expect::ErrorOrExact},
        {"free list huge", 0x4D, 2, 0xFFFF, Expect::ErrorOrExact},
        {"free list into the chain", 0x4D, 2, 1, Expect::ErrorOrExact},
        {"encrypted", 0x5C, 4, 0xDEADBEEF, Expect::Error},
        {"code page 0", 0x6A, 2, 0, Expect::Survive},
        {"code page 65001", 0x6A, 2, 65001, Expect::Survive},
        {"code page 0xFFFF", 0x6A, 2, 0xFFFF, Expect::Survive},
        {"sort order", 0x29, 1, 0xEE, Expect::Survive},
        {"field 1 type 0", 0x78, 1, 0x00, Expect::Error},
        {"field 1 type 7", 0x78, 1, 0x07, Expect::Error},
        {"field 1 type 0x13", 0x78, 1, 0x13, Expect::Error},
        {"field 1 type 0xFF", 0x78, 1, 0xFF, Expect::Error},
        {"field 1 size 0", 0x79, 1, 0, Expect::Error},
        {"field 1 size 255", 0x79, 1, 255, Expect::Error},
        {"memo leader 0", 0x78 + 2 * 4 + 1, 1, 10, Expect::Error},
        {"memo size 5", 0x78 + 2 * 4 + 1, 1, 5, Expect::Error},
        {"memo turned alpha", 0x78 + 2 * 4, 1, 0x01, Expect::Survive},
        {"number turned alpha", 0x78 + 2 * 2, 1, 0x01, Expect::Survive},
        {"alpha turned number", 0x78 + 2 * 0, 1, 0x06, Expect::Error},
    };
    for (const Mut &m : muts) {
        QByteArray db = p.db;
        if (m.width == 1)
            put8(db, m.offset, quint8(m.value));
        else if (m.width == 2)
            put16(db, m.offset, quint16(m.value));
        else
            put32(db, m.offset, m.value);
        failures << run(QString::fromLatin1(m.name), p, db, p.mb, m.expect);
        // The tests' own verifier sees the structural ones too (so its clean bill elsewhere means something).
        if (m.expect == Expect::Error && QList<int>{0x00, 0x02, 0x05, 0x21, 0x39}.contains(m.offset))
            if (verify(m_work + QStringLiteral("/BASE.DB"), false).ok())
                failures << QStringLiteral("the tests' verifier missed: ") + QString::fromLatin1(m.name);
    }

    // Field names that never end, and a keyed type on our table (readable, never writable).
    QByteArray db = p.db;
    const int namesAt = 0x78 + 261 + 4 + 6 * h.numFields;
    for (int i = namesAt; i < h.headerSize; ++i)
        db[i] = 'N';
    failures << run(QStringLiteral("names without end"), p, db, p.mb, Expect::Error);
    db = p.db;
    put8(db, 0x04, 0);
    failures << run(QStringLiteral("keyed, read"), p, db, p.mb, Expect::ErrorOrExact);
    failures << run(QStringLiteral("keyed, shared"), p, db, p.mb, Expect::Error, Table::Mode::Shared);
    // Encrypted genuine-style: the key at 0x5C, and the 3E/3F marker as encrypted files have it.
    db = p.db;
    put32(db, 0x5C, 0x1234);
    put16(db, 0x3E, 0);
    failures << run(QStringLiteral("encrypted, shared"), p, db, p.mb, Expect::Error, Table::Mode::Shared);
    REPORT(failures);
}

void TestPxHostile::blocks()
{
    QStringList failures;
    for (const Pair *pp : {&base(), &customer()}) {
        const Pair &p = *pp;
        const RawHeader &h = p.v.header;
        const QVector<quint16> &chain = p.v.chain;
        QVERIFY(chain.size() >= 3);
        auto at = [&](quint16 block, int field) { return h.blockOffset(block) + field; };
        struct Mut
        {
            QString name;
            qint64 offset;
            quint16 value;
            Expect expect;
        };
        const qint16 rs = qint16(h.recordSize);
        const qint16 full = qint16((h.recordsPerBlock() - 1) * rs);
        QVector<Mut> muts = {
            {QStringLiteral("first block points to itself"), at(chain[0], 0), chain[0], Expect::Error},
            {QStringLiteral("second block points back to the first"), at(chain[1], 0), chain[0], Expect::Error},
            {QStringLiteral("last block points back to the first"), at(chain.last(), 0), chain[0], Expect::Error},
            {QStringLiteral("next past the file"), at(chain[1], 0), quint16(h.fileBlocks + 1), Expect::Error},
            {QStringLiteral("next huge"), at(chain[0], 0), 0xFFFF, Expect::Error},
            {QStringLiteral("chain cut short"), at(chain[1], 0), 0, Expect::ErrorOrExact},
            {QStringLiteral("previous pointer wrong"), at(chain[2], 2), quint16(chain.last()), Expect::ErrorOrExact},
            {QStringLiteral("addDataSize too big"), at(chain[1], 4), quint16(full + rs), Expect::Error},
            {QStringLiteral("addDataSize 0x7FFF"), at(chain[1], 4), 0x7FFF, Expect::Error},
            {QStringLiteral("addDataSize -32768"), at(chain[1], 4), 0x8000, Expect::Error},
            {QStringLiteral("addDataSize below empty"), at(chain[1], 4), quint16(-rs - 1), Expect::Error},
            {QStringLiteral("addDataSize -2 records"), at(chain[1], 4), quint16(-2 * rs), Expect::Error},
            {QStringLiteral("addDataSize not a multiple"), at(chain[1], 4), quint16(rs / 2), Expect::Error},
            {QStringLiteral("addDataSize one"), at(chain[1], 4), 1, Expect::Error},
            {QStringLiteral("empty block in the chain"), at(chain[1], 4), quint16(-rs), Expect::Survive},
        };
        if (!p.v.freeList.isEmpty()) {
            const quint16 f = p.v.freeList[0];
            muts.append({QStringLiteral("free block points to itself"), at(f, 0), f, Expect::ErrorOrExact});
            muts.append({QStringLiteral("free block points into the chain"), at(f, 0), chain[0], Expect::ErrorOrExact});
            muts.append({QStringLiteral("free block points past the file"), at(f, 0), 0xFFFF, Expect::ErrorOrExact});
            muts.append({QStringLiteral("chain runs into the free block"), at(chain[1], 0), f, Expect::Survive});
        }
        for (const Mut &m : muts) {
            QByteArray db = p.db;
            put16(db, m.offset, m.value);
            failures << run(m.name, p, db, p.mb, m.expect);
            if (m.expect == Expect::Error)
                if (verify(m_work + QLatin1Char('/') + p.name, false).ok())
                    failures << QStringLiteral("the tests' verifier missed: ") + m.name;
        }
    }
    REPORT(failures);
}

void TestPxHostile::memoReferences()
{
    QStringList failures;
    for (const Pair *pp : {&base(), &customer()}) {
        const Pair &p = *pp;
        const RawHeader &h = p.v.header;
        int memoField = -1;
        for (int i = 0; i < h.fields.size(); ++i)
            if (h.fields[i].type == 0x0C && memoField < 0)
                memoField = i;
        QVERIFY(memoField >= 0);
        const RawField &f = h.fields[memoField];
        const int leader = f.storage - 10;
        // A record with its memo in a sub-allocated block and one with a single-blob block.
        int sub = -1, single = -1;
        for (int r = 0; r < p.v.records.size(); ++r) {
            const MemoRef ref = memoRef(p.v.records[r], f);
            // Long enough that one byte less still needs the memo file.
            if (ref.length > quint32(leader) + 1 && (ref.location & 0xFF) != 0xFF && sub < 0)
                sub = r;
            if (ref.length > quint32(leader) + 1 && (ref.location & 0xFF) == 0xFF && single < 0)
                single = r;
        }
        QVERIFY(sub >= 0 && single >= 0);
        const qint64 mbEnd = p.mb.size();
        for (int r : {sub, single}) {
            const qint64 refAt = p.v.recordOffsets[r] + f.offset + leader;
            const MemoRef ref = memoRef(p.v.records[r], f);
            const QString kind = r == sub ? QStringLiteral("sub-allocated") : QStringLiteral("single blob");
            struct Mut
            {
                QString name;
                int field;  // 0 location, 4 length
                quint32 value;
                Expect expect;
            };
            const quint32 block = ref.location & ~0xFFu;
            const QVector<Mut> muts = {
                {QStringLiteral("location past the end"), 0, quint32(mbEnd + 4096) | (ref.location & 0xFF), Expect::Error},
                {QStringLiteral("location far past the end"), 0, 0xFFFFFF00u | (ref.location & 0xFF), Expect::Error},
                {QStringLiteral("location in the header block"), 0, 0x000000FFu, Expect::Error},
                {QStringLiteral("location not block-aligned"), 0, block + 0x100 + (ref.location & 0xFF), Expect::Error},
                {QStringLiteral("slot index 64"), 0, block | 64u, Expect::Error},
                {QStringLiteral("slot index 0xFE"), 0, block | 0xFEu, Expect::Error},
                {QStringLiteral("wrong kind of reference"), 0, block | (r == sub ? 0xFFu : 0x3Fu), Expect::Error},
                {QStringLiteral("location 0 with a long length"), 0, 0, Expect::Error},
                {QStringLiteral("length +1"), 4, ref.length + 1, Expect::Error},
                {QStringLiteral("length -1"), 4, ref.length - 1, Expect::Error},
                {QStringLiteral("length huge"), 4, 0x7FFFFFFF, Expect::Error},
                {QStringLiteral("length 0xFFFFFFFF"), 4, 0xFFFFFFFF, Expect::Error},
                {QStringLiteral("length fits the leader"), 4, quint32(leader), Expect::Survive},
            };
            for (const Mut &m : muts) {
                QByteArray db = p.db;
                put32(db, refAt + m.field, m.value);
                failures << run(kind + QLatin1Char(' ') + m.name, p, db, p.mb, m.expect);
            }
            // The block the reference leads to.
            const qint64 blk = qint64(block);
            QVector<std::pair<QString, std::function<void(QByteArray &)>>> mbMuts = {
                {QStringLiteral("block type 0"), [&](QByteArray &mb) { put8(mb, blk, 0); }},
                {QStringLiteral("block type 4 (free)"), [&](QByteArray &mb) { put8(mb, blk, 4); }},
                {QStringLiteral("block type 9"), [&](QByteArray &mb) { put8(mb, blk, 9); }},
                {QStringLiteral("block type swapped"), [&](QByteArray &mb) { put8(mb, blk, r == sub ? 2 : 3); }},
            };
            if (r == single) {
                mbMuts.append({QStringLiteral("stored length +1"), [&](QByteArray &mb) { put32(mb, blk + 3, ref.length + 1); }});
                mbMuts.append({QStringLiteral("stored length huge"), [&](QByteArray &mb) { put32(mb, blk + 3, 0x7FFFFFF0); }});
                mbMuts.append({QStringLiteral("block count 0"), [&](QByteArray &mb) { put16(mb, blk + 1, 0); }});
                mbMuts.append({QStringLiteral("block count huge"), [&](QByteArray &mb) { put16(mb, blk + 1, 0xFFFF); }});
            } else {
                const qint64 slot = blk + 0x0C + 5 * qint64(ref.location & 0xFF);
                mbMuts.append({QStringLiteral("slot unused"), [=](QByteArray &mb) { put8(mb, slot, 0); }});
                mbMuts.append({QStringLiteral("slot in the slot table"), [=](QByteArray &mb) { put8(mb, slot, 1); }});
                mbMuts.append({QStringLiteral("slot past the block"), [=](QByteArray &mb) { put8(mb, slot, 0xFF); }});
                mbMuts.append({QStringLiteral("slot chunks +1"), [=](QByteArray &mb) { put8(mb, slot + 1, quint8(u8(mb, slot + 1) + 1)); }});
                mbMuts.append({QStringLiteral("slot chunks 0"), [=](QByteArray &mb) { put8(mb, slot + 1, 0); }});
                mbMuts.append({QStringLiteral("slot chunks 255"), [=](QByteArray &mb) { put8(mb, slot + 1, 255); }});
                mbMuts.append({QStringLiteral("slot last bytes 0"), [=](QByteArray &mb) { put8(mb, slot + 4, 0); }});
                mbMuts.append({QStringLiteral("slot last bytes 17"), [=](QByteArray &mb) { put8(mb, slot + 4, 17); }});
                mbMuts.append({QStringLiteral("slot last bytes 255"), [=](QByteArray &mb) { put8(mb, slot + 4, 255); }});
            }
            for (const auto &m : mbMuts) {
                QByteArray mb = p.mb;
                m.second(mb);
                failures << run(kind + QLatin1Char(' ') + m.first, p, p.db, mb, Expect::Error);
            }
        }
    }
    REPORT(failures);
}

void TestPxHostile::memoFile()
{
    QStringList failures;
    const Pair &p = base();
    // No memo file at all.
    setCase(QStringLiteral("memo file missing"));
    const QString path = place(p, p.db, p.mb);
    QVERIFY(QFile::remove(memoFileOf(path)));
    try {
        Table t(path, Table::Mode::ReadOnly);
        QFAIL("opened without its memo file");
    } catch (const px::EngineError &e) {
        QCOMPARE(e.kind(), px::EngineError::Kind::MemoMissing);
    }
    // The memo file is a directory, or empty, or garbage.
    QVERIFY(QDir().mkdir(memoFileOf(path)));
    QVERIFY_THROWS_EXCEPTION(px::EngineError, Table(path, Table::Mode::ReadOnly));
    QVERIFY(QDir().rmdir(memoFileOf(path)));
    failures << run(QStringLiteral("empty memo file"), p, p.db, QByteArray(), Expect::ErrorOrExact);
    failures << run(QStringLiteral("memo header garbage"), p, p.db, QByteArray(4096, char(0xEE)) + p.mb.mid(4096), Expect::ErrorOrExact);
    failures << run(QStringLiteral("memo all zeros"), p, p.db, QByteArray(p.mb.size(), '\0'), Expect::Error);
    failures << run(QStringLiteral("memo all 0xFF"), p, p.db, QByteArray(p.mb.size(), char(0xFF)), Expect::Error);
    // The .DB itself empty or not a table.
    failures << run(QStringLiteral("DB empty"), p, QByteArray(), p.mb, Expect::Error);
    failures << run(QStringLiteral("DB zeros"), p, QByteArray(p.db.size(), '\0'), p.mb, Expect::Error);
    failures << run(QStringLiteral("DB text"), p, QByteArray("This is not a Paradox table.\n").repeated(200), p.mb, Expect::Error);
    REPORT(failures);
}

// Counters another program may leave stale: a writable open rebuilds them from a whole chain
// that holds the header's record count, on disk, or refuses the table; it never goes on with
// counters that disagree with the chain. A record count that disagrees is damage.
void TestPxHostile::staleHeaderRepaired()
{
    const Pair &p = base();
    const RawHeader &h = p.v.header;
    struct Mut
    {
        const char *name;
        int offset;
        int width;
        quint32 value;
    };
    const Mut muts[] = {
        {"numRecords 0", 0x06, 4, 0},
        {"numRecords -1", 0x06, 4, h.numRecords - 1},
        {"numRecords +1", 0x06, 4, h.numRecords + 1},
        {"blocks in use -1", 0x0A, 2, quint32(h.blocksInUse - 1)},
        {"file blocks -1", 0x0C, 2, quint32(h.fileBlocks - 1)},
        {"last block wrong", 0x10, 2, quint32(p.v.chain[p.v.chain.size() - 2])},
        {"max blocks -1", 0x3A, 2, quint32(h.maxBlocks - 1)},
    };
    QStringList failures;
    for (const Mut &m : muts) {
        setCase(QString::fromLatin1(m.name));
        QByteArray db = p.db;
        if (m.width == 2)
            put16(db, m.offset, quint16(m.value));
        else
            put32(db, m.offset, m.value);
        const QString path = place(p, db, p.mb);
        QStringList wrong;
        if (m.offset == 0x06) {
            // A record count that disagrees with the chain, without our write marker, is not
            // a stale counter but damage: nothing is written, every write is refused.
            const Snapshot before = snapshot(path);
            try {
                Table t(path, Table::Mode::Shared);
                QVector<Value> row(t.fields().size());
                t.append(row);
                wrong << QStringLiteral("append accepted");
            } catch (const px::EngineError &e) {
                if (e.kind() != px::EngineError::Kind::Damaged)
                    wrong << QStringLiteral("error: ") + e.message();
            }
            if (snapshot(path) != before)
                wrong << QStringLiteral("files changed");
            if (!wrong.isEmpty())
                failures << QString::fromLatin1(m.name) + QStringLiteral(": ") + wrong.join(QStringLiteral("; "));
            continue;
        }
        try {
            {
                Table t(path, Table::Mode::Shared);
                if (!t.wasRepaired())
                    wrong << QStringLiteral("not reported as repaired");
                if (!sameRows(readAll(t), p.rows))
                    wrong << QStringLiteral("rows differ");
                if (t.recordCount() != quint32(p.rows.size()))
                    wrong << QStringLiteral("record count %1").arg(t.recordCount());
                const QStringList problems = t.check();
                if (!problems.isEmpty())
                    wrong << QStringLiteral("check: ") + problems.join(QLatin1Char(' '));
            }
            const Verification v = verify(path);
            if (!v.ok())
                wrong << QStringLiteral("on disk after closing: ") + v.problems.join(QLatin1Char(' '));
            Table again(path, Table::Mode::ReadOnly);
            if (again.wasRepaired())
                wrong << QStringLiteral("repaired again on the next open");
        } catch (const px::EngineError &e) {
            // Refusing the table is sound too; carrying on with wrong counters is not.
            if (e.kind() != px::EngineError::Kind::Damaged)
                wrong << QStringLiteral("error: ") + e.message();
        }
        if (!wrong.isEmpty())
            failures << QString::fromLatin1(m.name) + QStringLiteral(": ") + wrong.join(QStringLiteral("; "));
    }
    for (const QString &f : failures)
        qWarning("%s", qPrintable(f));
    QVERIFY2(failures.isEmpty(), "stale counters not repaired (listed above)");
}

// A free list that leads into live data must not make an append overwrite records.
void TestPxHostile::damagedFreeListIsNotWrittenOver()
{
    const Pair &p = base();
    const quint16 f = p.v.freeList[0];
    const QVector<std::pair<QString, std::function<void(QByteArray &)>>> cases = {
        {QStringLiteral("free list head is block 1"), [&](QByteArray &db) { put16(db, 0x4D, p.v.chain[0]); }},
        {QStringLiteral("free list head is the last block"), [&](QByteArray &db) { put16(db, 0x4D, p.v.chain.last()); }},
        {QStringLiteral("free block leads into the chain"), [&](QByteArray &db) { put16(db, p.v.header.blockOffset(f), p.v.chain[1]); }},
        {QStringLiteral("free list head past the file"), [&](QByteArray &db) { put16(db, 0x4D, 0x7777); }},
        {QStringLiteral("free list loops"), [&](QByteArray &db) { put16(db, p.v.header.blockOffset(f), f); }},
    };
    const Row extra = {Value(QStringLiteral("NEW")), Value(QStringLiteral("novo")), Value(1.5), Value(QDate(2020, 2, 2)),
                       Value(patternText(7, 3000)), Value()};
    QStringList failures;
    for (const auto &c : cases) {
        setCase(c.first);
        QByteArray db = p.db;
        c.second(db);
        const QString path = place(p, db, p.mb);
        // Enough appends to need a block beyond the last one.
        int appended = 0;
        try {
            Table t(path, Table::Mode::Shared);
            for (; appended < 10; ++appended)
                t.append(extra);
        } catch (const px::EngineError &) {
        } catch (...) {
            failures << c.first + QStringLiteral(": an exception outside the EngineError family");
        }
        // Whatever happened, no stored record changed.
        Outcome o = exercise(path);
        if (o.engineError)
            continue;
        QVector<Row> expected = p.rows;
        for (int i = 0; i < appended; ++i)
            expected.append(extra);
        if (!sameRows(o.rows, expected))
            failures << c.first + QStringLiteral(": %1 rows after %2 appends, expected %3")
                                      .arg(o.rows.size())
                                      .arg(appended)
                                      .arg(expected.size());
    }
    REPORT(failures);
}

// Deterministic random damage to header, first blocks and memo file.
void TestPxHostile::fuzz()
{
    QStringList failures;
    std::mt19937 rng(0xB1AD);
    const int rounds = 3000;
    int opened = 0, errors = 0;
    for (int round = 0; round < rounds; ++round) {
        const Pair &p = m_pairs[round % 10 < 7 ? 0 : round % 10 < 9 ? 1 : 2];
        QByteArray db = p.db;
        QByteArray mb = p.mb;
        const int edits = 1 + int(rng() % 3);
        QStringList what;
        for (int e = 0; e < edits; ++e) {
            const bool inMb = p.hasMb && rng() % 5 == 0;
            QByteArray &target = inMb ? mb : db;
            qint64 limit = target.size();
            const int zone = int(rng() % 10);
            if (!inMb && zone < 5)
                limit = p.v.header.headerSize < 0x200 ? p.v.header.headerSize : 0x200;  // the fixed fields
            else if (!inMb && zone < 8)
                limit = qMin<qint64>(target.size(), p.v.header.headerSize + 3 * p.v.header.blockSize());
            else if (inMb && zone < 6)
                limit = qMin<qint64>(target.size(), 3 * 4096);
            const qint64 off = qint64(rng() % quint32(limit));
            static const quint32 specials[] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF};
            switch (rng() % 5) {
            case 0: put8(target, off, quint8(rng())); break;
            case 1: put8(target, off, quint8(u8(target, off) ^ (1u << (rng() % 8)))); break;
            case 2: put16(target, off, quint16(specials[rng() % std::size(specials)])); break;
            case 3: put32(target, off, specials[rng() % std::size(specials)]); break;
            case 4: put8(target, off, quint8(u8(target, off) + (rng() % 2 ? 1 : -1))); break;
            }
            what << QStringLiteral("%1@%2").arg(inMb ? QStringLiteral("MB") : QStringLiteral("DB")).arg(off);
        }
        const QString label = QStringLiteral("fuzz %1 [%2]").arg(round).arg(what.join(QLatin1Char(' ')));
        failures << run(label, p, db, mb, Expect::Survive);
        // Now and then, writing into the damaged pair must be just as safe.
        if (round % 10 == 3) {
            const QString path = m_work + QLatin1Char('/') + p.name;
            try {
                Table t(path, Table::Mode::Shared);
                t.setSyncWrites(false);
                ++opened;
                QVector<Value> row(t.fields().size());
                row[0] = Value(t.fields()[0].type == FieldType::Number ? Value(2.5) : Value(QStringLiteral("Z")));
                t.append(row);
                if (auto f = t.first())
                    t.remove(*f, t.readRaw(*f));
                if (auto l = t.last())
                    t.update(*l, t.readRaw(*l), row);
                t.check();
            } catch (const px::EngineError &) {
                ++errors;
            } catch (...) {
                QFAIL(qPrintable(label + QStringLiteral(": writing threw outside the EngineError family")));
            }
            const Outcome o = exercise(path);
            QVERIFY2(!o.otherException, qPrintable(label));
        }
    }
    qInfo("fuzz: %d rounds, %d writable opens, %d write errors", rounds, opened, errors);
    REPORT(failures);
}

QTEST_GUILESS_MAIN(TestPxHostile)
#include "tst_pxhostile.moc"
