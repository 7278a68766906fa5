// Writes into a damaged pair never make it worse. Each single fault of a register of 40 B/Ls
// with memos of both memo-block kinds, and of a genuine table, is followed by a writable open,
// a bl-tool import and a post through the record layer: the action either succeeds and every
// record and memo text of the sound table is still there, or it is refused and both files are
// byte for byte as they were.

#include "BLRecord.h"
#include "PxTestUtil.h"
#include "Table.h"
#include "Field.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace pxtest;
using PxTable = px::Table;
using px::Value;
using Row = QVector<Value>;

namespace {

using Mutation = std::function<void(QByteArray &db, QByteArray &mb)>;

struct Fault
{
    QString name;
    Mutation apply;
};

struct Target
{
    QString name;      // .DB file name
    QByteArray db, mb;
    bool hasMb = false;
    QVector<Row> rows;  // the sound pair's records
    Verification v;
    bool bl = false;    // a register of B/Ls (import and post by field name)
};

QString rowKey(const Row &r)
{
    QStringList parts;
    for (const Value &v : r)
        parts << describe(v);
    return parts.join(QLatin1Char('|'));
}

// Records of want missing from have (as a multiset).
int missing(const QVector<Row> &want, const QVector<Row> &have)
{
    QHash<QString, int> count;
    for (const Row &r : have)
        ++count[rowKey(r)];
    int lost = 0;
    for (const Row &r : want)
        if (count[rowKey(r)]-- <= 0)
            ++lost;
    return lost;
}

QByteArray hashOf(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

// First MB block of the given type (2 or 3), by walking the block headers.
qint64 mbBlockOfType(const QByteArray &mb, int type)
{
    for (qint64 b = 1; b * 4096 < mb.size();) {
        const int t = u8(mb, b * 4096);
        const int count = le16(mb, b * 4096 + 1);
        if (t == type)
            return b;
        b += count > 0 ? count : 1;
    }
    return -1;
}

QVector<Fault> registerFaults(const Target &t)
{
    const RawHeader &h = t.v.header;
    const QVector<quint16> &c = t.v.chain;
    const int rs = h.recordSize, bs = h.blockSize();
    auto at = [&](int b) { return h.blockOffset(b); };
    const quint16 freeBlock = t.v.freeList.value(0);
    const qint64 sub = mbBlockOfType(t.mb, 3), single = mbBlockOfType(t.mb, 2);
    QVector<Fault> f;
    auto db = [&](const QString &name, std::function<void(QByteArray &)> fn) {
        f.append({name, [fn](QByteArray &d, QByteArray &) { fn(d); }});
    };
    auto mb = [&](const QString &name, std::function<void(QByteArray &)> fn) {
        f.append({name, [fn](QByteArray &, QByteArray &m) { fn(m); }});
    };
    // Block pointers.
    db("next of first block 0", [=](QByteArray &d) { put16(d, at(c[0]), 0); });
    db("next of first block skips one", [=](QByteArray &d) { put16(d, at(c[0]), c[2]); });
    db("next of middle block past the file", [=](QByteArray &d) { put16(d, at(c[1]), 0x7777); });
    db("next of middle block to itself", [=](QByteArray &d) { put16(d, at(c[1]), c[1]); });
    db("next of last block to the first", [=](QByteArray &d) { put16(d, at(c.last()), c[0]); });
    db("prev of middle block wrong", [=](QByteArray &d) { put16(d, at(c[1]) + 2, c.last()); });
    db("next of last block to the free block", [=](QByteArray &d) { put16(d, at(c.last()), freeBlock); });
    // Block record counts.
    db("count of first block -1", [=](QByteArray &d) { put16(d, at(c[0]) + 4, quint16(les16(d, at(c[0]) + 4) - rs)); });
    db("count of last block +1", [=](QByteArray &d) { put16(d, at(c.last()) + 4, quint16(les16(d, at(c.last()) + 4) + rs)); });
    db("count of middle block garbage", [=](QByteArray &d) { put16(d, at(c[1]) + 4, 0x7FFF); });
    db("count of middle block empty", [=](QByteArray &d) { put16(d, at(c[1]) + 4, quint16(-rs)); });
    db("count of free block 1", [=](QByteArray &d) { put16(d, at(freeBlock) + 4, 0); });
    // Swapped blocks.
    db("first two chain blocks swapped", [=](QByteArray &d) {
        const QByteArray a = d.mid(at(c[0]), bs), b = d.mid(at(c[1]), bs);
        d.replace(at(c[0]), bs, b);
        d.replace(at(c[1]), bs, a);
    });
    db("last chain block and free block swapped", [=](QByteArray &d) {
        const QByteArray a = d.mid(at(c.last()), bs), b = d.mid(at(freeBlock), bs);
        d.replace(at(c.last()), bs, b);
        d.replace(at(freeBlock), bs, a);
    });
    // Header counters.
    db("records +1", [=](QByteArray &d) { put32(d, 0x06, h.numRecords + 1); });
    db("records -1", [=](QByteArray &d) { put32(d, 0x06, h.numRecords - 1); });
    db("records 0", [=](QByteArray &d) { put32(d, 0x06, 0); });
    db("records +64", [=](QByteArray &d) { put32(d, 0x06, h.numRecords + 64); });
    db("blocks in use -1", [=](QByteArray &d) { put16(d, 0x0A, quint16(h.blocksInUse - 1)); });
    db("file blocks -1", [=](QByteArray &d) { put16(d, 0x0C, quint16(h.fileBlocks - 1)); });
    db("file blocks +1", [=](QByteArray &d) { put16(d, 0x0C, quint16(h.fileBlocks + 1)); });
    db("first block is the second", [=](QByteArray &d) { put16(d, 0x0E, c[1]); });
    db("last block is the first", [=](QByteArray &d) { put16(d, 0x10, c[0]); });
    db("max blocks -1", [=](QByteArray &d) { put16(d, 0x3A, quint16(h.maxBlocks - 1)); });
    db("free list head is a chain block", [=](QByteArray &d) { put16(d, 0x4D, c[1]); });
    db("free list head past the file", [=](QByteArray &d) { put16(d, 0x4D, 0x6666); });
    db("free block leads into the chain", [=](QByteArray &d) { put16(d, at(freeBlock), c.last()); });
    db("code page byte", [=](QByteArray &d) { put16(d, 0x6A, 0x4E4); });
    db("record size byte", [=](QByteArray &d) { put16(d, 0x00, quint16(rs + 1)); });
    // Memo blocks.
    mb("sub-allocated block type 2", [=](QByteArray &m) { put8(m, sub * 4096, 2); });
    mb("sub-allocated block type 9", [=](QByteArray &m) { put8(m, sub * 4096, 9); });
    mb("sub-allocated slot moved", [=](QByteArray &m) { put8(m, sub * 4096 + 0x0C + 5 * 63, 0x30); });
    mb("sub-allocated slot length", [=](QByteArray &m) { put8(m, sub * 4096 + 0x0C + 5 * 63 + 4, 3); });
    mb("sub-allocated slot cleared", [=](QByteArray &m) { put8(m, sub * 4096 + 0x0C + 5 * 63, 0); });
    mb("single blob length +1", [=](QByteArray &m) { put32(m, single * 4096 + 3, le32(m, single * 4096 + 3) + 1); });
    mb("single blob block count huge", [=](QByteArray &m) { put16(m, single * 4096 + 1, 0x3000); });
    mb("single blob type 4", [=](QByteArray &m) { put8(m, single * 4096, 4); });
    mb("memo header type", [=](QByteArray &m) { put8(m, 0, 7); });
    // Truncations.
    db("DB one byte short", [=](QByteArray &d) { d.chop(1); });
    db("DB one block short", [=](QByteArray &d) { d.chop(bs); });
    db("DB header only", [=](QByteArray &d) { d.truncate(h.headerSize); });
    db("DB one byte long", [=](QByteArray &d) { d.append('\0'); });
    mb("MB one byte short", [=](QByteArray &m) { m.chop(1); });
    mb("MB one block short", [=](QByteArray &m) { m.chop(4096); });
    mb("MB header block only", [=](QByteArray &m) { m.truncate(4096); });
    // The write marker, alone and with other damage.
    db("marker alone", [=](QByteArray &d) { put8(d, 0x2B, 1); });
    db("marker, records +1", [=](QByteArray &d) { put8(d, 0x2B, 1); put32(d, 0x06, h.numRecords + 1); });
    db("marker, records -1", [=](QByteArray &d) { put8(d, 0x2B, 1); put32(d, 0x06, h.numRecords - 1); });
    db("marker, records +20", [=](QByteArray &d) { put8(d, 0x2B, 1); put32(d, 0x06, h.numRecords + 20); });
    db("marker, swapped blocks", [=](QByteArray &d) {
        put8(d, 0x2B, 1);
        const QByteArray a = d.mid(at(c[0]), bs), b = d.mid(at(c[1]), bs);
        d.replace(at(c[0]), bs, b);
        d.replace(at(c[1]), bs, a);
    });
    db("marker, DB one byte short", [=](QByteArray &d) { put8(d, 0x2B, 1); d.chop(1); });
    db("marker, DB torn tail", [=](QByteArray &d) { put8(d, 0x2B, 1); d.append(QByteArray(100, 'x')); });
    db("marker, middle block empty", [=](QByteArray &d) { put8(d, 0x2B, 1); put16(d, at(c[1]) + 4, quint16(-rs)); });
    db("emptying marker, counters kept", [=](QByteArray &d) { put8(d, 0x2B, 2); });
    f.append({QStringLiteral("marker, MB one block short"), [](QByteArray &d, QByteArray &m) { put8(d, 0x2B, 1); m.chop(4096); }});
    f.append({QStringLiteral("marker, sub-allocated block type 9"), [=](QByteArray &d, QByteArray &m) { put8(d, 0x2B, 1); put8(m, sub * 4096, 9); }});
    return f;
}

QVector<Fault> genuineFaults(const Target &t)
{
    const RawHeader &h = t.v.header;
    const QVector<quint16> &c = t.v.chain;
    const int rs = h.recordSize;
    const qint64 first = h.blockOffset(c[0]);
    QVector<Fault> f;
    auto db = [&](const QString &name, std::function<void(QByteArray &)> fn) {
        f.append({name, [fn](QByteArray &d, QByteArray &) { fn(d); }});
    };
    db("date byte of the first record", [=](QByteArray &d) { put8(d, first + 6 + 1, u8(d, first + 6 + 1) ^ 0x40); });
    db("count of first block +64 records", [=](QByteArray &d) { put16(d, first + 4, quint16(les16(d, first + 4) + 64 * rs)); });
    db("count of first block -1", [=](QByteArray &d) { put16(d, first + 4, quint16(les16(d, first + 4) - rs)); });
    db("records +64", [=](QByteArray &d) { put32(d, 0x06, h.numRecords + 64); });
    db("records -1", [=](QByteArray &d) { put32(d, 0x06, h.numRecords - 1); });
    db("next of first block past the file", [=](QByteArray &d) { put16(d, first, 0x5555); });
    db("DB one byte short", [=](QByteArray &d) { d.chop(1); });
    db("marker alone", [=](QByteArray &d) { put8(d, 0x2B, 1); });
    db("marker, records +1", [=](QByteArray &d) { put8(d, 0x2B, 1); put32(d, 0x06, h.numRecords + 1); });
    db("marker, DB one byte short", [=](QByteArray &d) { put8(d, 0x2B, 1); d.chop(1); });
    db("encryption byte", [=](QByteArray &d) { put8(d, 0x5C, 0x11); });
    return f;
}

enum class Action { Open, Import, Post };

} // namespace

class TestPxDamage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void singleFaults_data();
    void singleFaults();
    void cleanupTestCase();
    void damagedMessages();
    void readersFollowTheValidator();

private:
    QString place(const Target &t, const QByteArray &db, const QByteArray &mb);
    bool act(const Target &t, Action a, const QString &path, QString &error);

    QTemporaryDir m_dir;
    QVector<Target> m_targets;
    QVector<Fault> m_faults[2];
    int m_tried = 0, m_refused = 0, m_succeeded = 0, m_untouched = 0, m_lost = 0;
    QString m_work;
};

void TestPxDamage::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_work = m_dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(m_work));
    // The register: 55 B/Ls, the middle block's 15 deleted again, so 40 remain with one free
    // block; memos in the record, in sub-allocated blocks and in blocks of their own.
    const QString reg = makeTable(m_dir.path(), QStringLiteral("REG.DB"), blrecord::registerFields());
    {
        PxTable t(reg, PxTable::Mode::Exclusive);
        t.setSyncWrites(false);
        const int refField = t.fieldIndex(u"Bl_AgentRef");
        const int m1 = t.fieldIndex(u"Bl_Marks1"), m2 = t.fieldIndex(u"Bl_Marks2");
        static const int lengths1[] = {50, 600, 1500, 3000, 9000};
        static const int lengths2[] = {0, 300, 2500};
        for (int i = 0; i < 55; ++i) {
            Row r(t.fields().size());
            r[refField] = QStringLiteral("REF%1").arg(i, 3, 10, QLatin1Char('0'));
            r[m1] = patternText(quint32(i), lengths1[i % 5]);
            if (lengths2[i % 3])
                r[m2] = patternText(quint32(i + 100), lengths2[i % 3]);
            t.append(r);
        }
        for (int i = 0; i < 15; ++i) {
            const auto pos = t.at(15);
            t.remove(*pos, t.readRaw(*pos));
        }
    }
    auto load = [&](const QString &path, const QString &name, bool bl) {
        Target t;
        t.name = name;
        t.db = readFile(path);
        t.hasMb = QFile::exists(memoFileOf(path));
        if (t.hasMb)
            t.mb = readFile(memoFileOf(path));
        PxTable table(path, PxTable::Mode::ReadOnly);
        t.rows = readAll(table);
        t.v = verify(path, false);
        t.bl = bl;
        return t;
    };
    m_targets.append(load(reg, QStringLiteral("REG.DB"), true));
    QCOMPARE(m_targets[0].rows.size(), 40);
    QVERIFY2(m_targets[0].v.ok(), qPrintable(m_targets[0].v.problems.join(u'\n')));
    QCOMPARE(m_targets[0].v.freeList.size(), 1);
    QVERIFY(mbBlockOfType(m_targets[0].mb, 2) > 0 && mbBlockOfType(m_targets[0].mb, 3) > 0);
    m_targets.append(load(copySample(m_dir.path(), QStringLiteral("date4.db")), QStringLiteral("date4.db"), false));
    m_faults[0] = registerFaults(m_targets[0]);
    m_faults[1] = genuineFaults(m_targets[1]);
}

QString TestPxDamage::place(const Target &t, const QByteArray &db, const QByteArray &mb)
{
    QDir(m_work).removeRecursively();
    QDir().mkpath(m_work);
    const QString path = m_work + QLatin1Char('/') + t.name;
    writeFile(path, db);
    if (t.hasMb)
        writeFile(memoFileOf(path), mb);
    return path;
}

// Runs the action; true when it succeeded, else error says why.
bool TestPxDamage::act(const Target &t, Action a, const QString &path, QString &error)
{
    try {
        switch (a) {
        case Action::Open: {
            PxTable table(path, PxTable::Mode::Shared);
            return true;
        }
        case Action::Import: {
            const QByteArray line = t.bl ? QByteArray("{\"Bl_AgentRef\":\"NOVO\",\"Bl_Marks1\":\"") + QByteArray(700, 'm') + "\"}\n"
                                         : QByteArray("{\"") + t.v.header.fields[0].name + "\":\"2020-02-02\"}\n";
            const ToolResult r = runTool({QStringLiteral("import"), path}, line);
            if (r.code == 0)
                return true;
            error = r.err;
            if (r.code != 2)
                error += QStringLiteral(" (exit %1)").arg(r.code);
            return false;
        }
        case Action::Post: {
            if (!t.bl) {
                PxTable table(path, PxTable::Mode::Shared);
                Row r(table.fields().size());
                r[0] = QDate(2020, 2, 2);
                table.append(r);
                return true;
            }
            ::Table table;
            table.setDirectory(QFileInfo(path).path());
            table.setTableName(t.name);
            table.open();
            table.insert();
            table.fieldByName(u"Bl_AgentRef")->setAsString(QStringLiteral("NOVO"));
            table.fieldByName(u"Bl_Marks1")->setAsString(QString(3000, u'p'));
            table.post();
            return true;
        }
        }
    } catch (const DataError &e) {
        error = e.message();
    }
    return false;
}

void TestPxDamage::singleFaults_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("action");
    static const char *names[] = {"writable open", "import", "post"};
    for (int t = 0; t < 2; ++t)
        for (int a = 0; a < 3; ++a)
            QTest::addRow("%s, %s", t == 0 ? "register" : "genuine", names[a]) << t << a;
}

void TestPxDamage::singleFaults()
{
    QFETCH(int, target);
    QFETCH(int, action);
    const Target &t = m_targets[target];
    QStringList failures;
    for (const Fault &f : m_faults[target]) {
        setCase(f.name);
        QByteArray db = t.db, mb = t.mb;
        f.apply(db, mb);
        const QString path = place(t, db, mb);
        const QByteArray dbHash = hashOf(path), mbHash = t.hasMb ? hashOf(memoFileOf(path)) : QByteArray();
        // What the damaged pair gives a reader before the action.
        QVector<Row> readable;
        try {
            PxTable before(path, PxTable::Mode::ReadOnly);
            readable = readAll(before);
        } catch (const px::EngineError &) {
        }
        QString error;
        const bool ok = act(t, Action(action), path, error);
        const bool unchanged = hashOf(path) == dbHash && (!t.hasMb || hashOf(memoFileOf(path)) == mbHash);
        ++m_tried;
        if (!ok) {
            ++m_refused;
            if (!unchanged)
                failures << f.name + QStringLiteral(": refused (%1) but the files changed").arg(error);
            const QString base = QFileInfo(t.name).completeBaseName() + QLatin1Char('.');
            if (error.isEmpty() || !error.contains(base, Qt::CaseInsensitive))
                failures << f.name + QStringLiteral(": refused without naming the file: %1").arg(error);
            continue;
        }
        ++m_succeeded;
        if (unchanged) {
            ++m_untouched;  // an open that wrote nothing: the pair is as it was
            continue;
        }
        // Written to: the pair reads whole and sound, with every record it had before.
        try {
            PxTable after(path, PxTable::Mode::ReadOnly);
            const QVector<Row> rows = readAll(after);
            const int lost = missing(readable, rows);
            m_lost += lost;
            if (lost)
                failures << f.name + QStringLiteral(": %1 record(s) lost").arg(lost);
            const int added = action == int(Action::Open) ? 0 : 1;
            // A stale header mended may let more be read than before, never less.
            if (rows.size() < readable.size() + added)
                failures << f.name + QStringLiteral(": %1 records after, %2 readable before").arg(rows.size()).arg(readable.size());
            const QStringList problems = after.check();
            if (!problems.isEmpty())
                failures << f.name + QStringLiteral(": check after success: ") + problems.join(QStringLiteral(" / "));
        } catch (const px::EngineError &e) {
            failures << f.name + QStringLiteral(": written to, then unreadable: ") + e.message();
        }
    }
    for (const QString &s : std::as_const(failures))
        qWarning("%s", qPrintable(s));
    QVERIFY2(failures.isEmpty(), "faults made worse (listed above)");
}

void TestPxDamage::cleanupTestCase()
{
    qInfo("single-fault matrix: %d tries, %d refused, %d succeeded (%d of them opens that wrote nothing), %d records lost",
          m_tried, m_refused, m_succeeded, m_untouched, m_lost);
}

// Header damage is called damage, not a password, a code page or an index file.
void TestPxDamage::damagedMessages()
{
    const Target &t = m_targets[0];
    struct Case
    {
        const char *name;
        Mutation apply;
    };
    const Case cases[] = {
        {"encryption with a wrong record size", [](QByteArray &d, QByteArray &) { put8(d, 0x5C, 0x11); put16(d, 0, 7); }},
        {"code page with a wrong field count", [](QByteArray &d, QByteArray &) { put16(d, 0x6A, 0x4E4); put16(d, 0x21, 0); }},
        {"file type 1 with a wrong header size", [](QByteArray &d, QByteArray &) { put8(d, 0x04, 1); put16(d, 0x02, 0x10); }},
    };
    for (const Case &c : cases) {
        QByteArray db = t.db, mb = t.mb;
        c.apply(db, mb);
        const QString path = place(t, db, mb);
        try {
            PxTable table(path, PxTable::Mode::ReadOnly);
            QFAIL(c.name);
        } catch (const px::EngineError &e) {
            QVERIFY2(e.kind() == px::EngineError::Kind::Damaged, qPrintable(QString::fromLatin1(c.name) + QStringLiteral(": ") + e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("danificada")), qPrintable(e.message()));
        }
        const ToolResult r = runTool({QStringLiteral("check"), path});
        QCOMPARE(r.code, 1);
        QVERIFY2(QString::fromUtf8(r.out).contains(QStringLiteral("danificada")), r.out.constData());
    }
}

// Readers read what the validator accepts, the chain rather than a stale header, and refuse
// what it refuses; reading never changes a byte.
void TestPxDamage::readersFollowTheValidator()
{
    const Target &t = m_targets[0];
    const RawHeader &h = t.v.header;
    QCOMPARE(t.v.chain.size(), 3);
    const quint16 b2 = t.v.chain[1], b3 = t.v.chain[2];
    const int inB3 = les16(t.db, h.blockOffset(b3) + 4) / h.recordSize + 1;
    QVERIFY(b3 == h.fileBlocks && inB3 > 1);
    struct Case
    {
        const char *name;
        Mutation apply;
        int records;     // what a reader finds; -1: refused
        bool pending;    // check: our interrupted write, no problem
    };
    const Case cases[] = {
        {"an append cut short: the last block linked with its record, the header still before it",
         [&](QByteArray &d, QByteArray &) {
             put16(d, h.blockOffset(b3) + 4, 0);  // the block holds one record
             put8(d, 0x2B, 1);
             put32(d, 0x06, quint32(t.rows.size() - inB3));
             put16(d, 0x0A, 2);
             put16(d, 0x0C, quint16(b3 - 1));
             put16(d, 0x3A, quint16(b3 - 1));
             put16(d, 0x10, b2);
         },
         int(t.rows.size()) - inB3 + 1, true},
        {"counters another program left stale over a whole chain",
         [&](QByteArray &d, QByteArray &) {
             put16(d, 0x10, b2);
             put16(d, 0x0A, 2);
         },
         int(t.rows.size()), false},
        {"the marker over a count our writes cannot leave", [&](QByteArray &d, QByteArray &) {
             put8(d, 0x2B, 1);
             put32(d, 0x06, quint32(t.rows.size() - 3));
         }, -1, false},
    };
    for (const Case &c : cases) {
        QByteArray db = t.db, mb = t.mb;
        c.apply(db, mb);
        const QString path = place(t, db, mb);
        try {
            PxTable table(path, PxTable::Mode::ReadOnly);
            const QVector<Row> rows = readAll(table);
            QVERIFY2(c.records >= 0, c.name);
            QCOMPARE(rows.size(), c.records);
            QCOMPARE(int(table.recordCount()), c.records);
            QCOMPARE(missing(rows, t.rows), 0);  // every record read is one of the table's
            const auto last = table.last();
            QVERIFY2(last && rowKey(table.readValues(*last)) == rowKey(rows.last()), c.name);
            const PxTable::CheckReport report = table.inspect();
            QVERIFY2(report.problems.isEmpty() == c.pending && report.pending.isEmpty() != c.pending,
                     qPrintable(QString::fromLatin1(c.name) + u'\n' + (report.problems + report.pending).join(u'\n')));
        } catch (const px::EngineError &e) {
            QVERIFY2(c.records < 0, qPrintable(QString::fromLatin1(c.name) + QStringLiteral(": ") + e.message()));
            QVERIFY2(e.kind() == px::EngineError::Kind::Damaged, qPrintable(e.message()));
        }
        QVERIFY2(readFile(path) == db && readFile(memoFileOf(path)) == mb, c.name);
    }
}

QTEST_GUILESS_MAIN(TestPxDamage)
#include "tst_pxdamage.moc"
