// bl-tool salvage: a damaged register's readable records and memo texts reach a new table
// that check finds sound and pxlib reads; what was lost is listed (block, slot, field, reason);
// the damaged pair is only read.

#include "BLRecord.h"
#include "PxTestUtil.h"
#include "PxlibOracle.h"
#include "paradox/PxTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace pxtest;
using px::Table;
using px::Value;
using px::isNull;
using Row = QVector<Value>;

namespace {

QString key(const Row &r)
{
    QStringList parts;
    for (const Value &v : r)
        parts << describe(v);
    return parts.join(QLatin1Char('|'));
}

QByteArray hashPair(const QString &db)
{
    return QCryptographicHash::hash(readFile(db) + readFile(memoFileOf(db)), QCryptographicHash::Sha256);
}

} // namespace

class TestSalvage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cases_data();
    void cases();
    void refusals();

private:
    QTemporaryDir m_dir;
    Snapshot m_sound;
    QVector<Row> m_rows;
    Verification m_v;
};

void TestSalvage::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString path = makeTable(m_dir.path(), QStringLiteral("SOUND.DB"), blrecord::registerFields());
    {
        Table t(path, Table::Mode::Exclusive);
        t.setSyncWrites(false);
        static const int lengths[] = {60, 500, 1800, 4000};
        for (int i = 0; i < 40; ++i) {
            Row r(t.fields().size());
            r[t.fieldIndex(u"Bl_AgentRef")] = QStringLiteral("S%1").arg(i);
            r[t.fieldIndex(u"Bl_DataRef")] = QDate(2024, 1, 1).addDays(i);
            r[t.fieldIndex(u"Bl_Marks1")] = patternText(quint32(i), lengths[i % 4]);
            t.append(r);
        }
        m_rows = readAll(t);
    }
    m_sound = snapshot(path);
    m_v = verify(path, false);
    QCOMPARE(m_v.chain.size(), 3);
}

void TestSalvage::cases_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exit");
    QTest::addColumn<int>("lostRecords");  // of the sound 40
    QTest::addColumn<int>("lostMemos");
    QTest::newRow("sound") << QStringLiteral("none") << 0 << 0 << 0;
    QTest::newRow("swapped blocks") << QStringLiteral("swap") << 0 << 0 << 0;
    QTest::newRow("broken memo block") << QStringLiteral("memo") << 1 << 0 << -1;
    QTest::newRow("truncated .DB") << QStringLiteral("truncate") << 1 << 10 << 0;
}

void TestSalvage::cases()
{
    QFETCH(QString, fault);
    QFETCH(int, exit);
    QFETCH(int, lostRecords);
    QFETCH(int, lostMemos);
    const QString dir = m_dir.filePath(fault);
    QVERIFY(QDir().mkpath(dir));
    const QString damaged = dir + QStringLiteral("/DAMAGED.DB");
    QByteArray db = m_sound.db, mb = m_sound.mb;
    const RawHeader &h = m_v.header;
    const int bs = h.blockSize();
    qint64 brokenMemoBlock = -1;
    if (fault == u"swap") {
        const qint64 a = h.blockOffset(m_v.chain[0]), b = h.blockOffset(m_v.chain[1]);
        const QByteArray x = db.mid(a, bs), y = db.mid(b, bs);
        db.replace(a, bs, y);
        db.replace(b, bs, x);
    } else if (fault == u"memo") {
        for (qint64 b = 1; b * 4096 < mb.size(); b += qMax(1, int(le16(mb, b * 4096 + 1))))
            if (u8(mb, b * 4096) == 3) {
                put8(mb, b * 4096, 9);
                brokenMemoBlock = b;
                break;
            }
        QVERIFY(brokenMemoBlock > 0);
    } else if (fault == u"truncate") {
        db.chop(bs + 100);  // the last block gone, the one before it torn
    }
    writeFile(damaged, db);
    writeFile(memoFileOf(damaged), mb);
    const QByteArray before = hashPair(damaged);

    const QString fresh = dir + QStringLiteral("/NEW.DB");
    const ToolResult r = runTool({QStringLiteral("salvage"), damaged, fresh});
    QCOMPARE(r.code, exit);
    QCOMPARE(hashPair(damaged), before);

    // What arrived: records of the sound table, nothing invented.
    Table t(fresh, Table::Mode::ReadOnly);
    QVERIFY2(t.check().isEmpty(), qPrintable(t.check().join(u'\n')));
    const QVector<Row> rows = readAll(t);
    QHash<QString, int> sound;
    for (const Row &row : std::as_const(m_rows))
        ++sound[key(row)];
    const int memoField = t.fieldIndex(u"Bl_Marks1");
    int memosGone = 0;
    for (const Row &row : rows) {
        if (sound.value(key(row)) > 0) {
            --sound[key(row)];
            continue;
        }
        // A record whose memo could not be read arrives without it, the rest unchanged.
        Row withoutMemo = row;
        bool matched = false;
        for (const Row &orig : std::as_const(m_rows)) {
            Row o = orig;
            o[memoField] = Value();
            if (isNull(row[memoField]) && key(o) == key(withoutMemo)) {
                matched = true;
                break;
            }
        }
        QVERIFY2(matched, qPrintable(QStringLiteral("a record that was never stored: ") + key(row)));
        ++memosGone;
    }
    if (lostMemos >= 0)
        QCOMPARE(memosGone, lostMemos);
    else
        QVERIFY(memosGone > 0);
    QCOMPARE(int(rows.size()), 40 - lostRecords);

    // Every loss is listed with its place; a lost memo names block, slot and field.
    if (exit == 1) {
        QVERIFY2(r.err.contains(QStringLiteral("não salvo")), qPrintable(r.err));
        if (fault == u"memo")
            QVERIFY2(r.err.contains(QStringLiteral(", campo Bl_Marks1: ")) && r.err.contains(QStringLiteral("registro ")), qPrintable(r.err));
        if (fault == u"truncate")
            QVERIFY2(r.err.contains(QStringLiteral("40 registros, 30 foram salvos")), qPrintable(r.err));
        const int lines = int(r.err.count(QLatin1Char('\n')));
        QVERIFY2(lines >= qMax(1, memosGone), qPrintable(r.err));
    } else {
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    // pxlib, an independent reader, reads the new table whole.
    const oracle::Dump d = oracle::readTable(fresh, memoFileOf(fresh), dir);
    QVERIFY2(d.ok, qPrintable(d.failure));
    QCOMPARE(d.rows.size(), rows.size());
    QVERIFY(d.unreadable.isEmpty());
    for (int i = 0; i < rows.size(); ++i)
        QVERIFY2(sameValue(d.value(i, memoField), rows[i][memoField]) || (isNull(d.value(i, memoField)) && isNull(rows[i][memoField])),
                 qPrintable(QStringLiteral("row %1 memo").arg(i)));
}

void TestSalvage::refusals()
{
    const QString dir = m_dir.filePath(QStringLiteral("refusals"));
    QVERIFY(QDir().mkpath(dir));
    const QString damaged = dir + QStringLiteral("/D.DB");
    writeFile(damaged, m_sound.db);
    writeFile(memoFileOf(damaged), m_sound.mb);
    // An existing target is never overwritten.
    writeFile(dir + QStringLiteral("/N.DB"), QByteArray("keep"));
    ToolResult r = runTool({QStringLiteral("salvage"), damaged, dir + QStringLiteral("/N.DB")});
    QCOMPARE(r.code, 2);
    QCOMPARE(readFile(dir + QStringLiteral("/N.DB")), QByteArray("keep"));
    // A header that cannot be read: nothing to salvage, nothing made.
    QByteArray db = m_sound.db;
    put16(db, 0x21, 0);
    writeFile(damaged, db);
    r = runTool({QStringLiteral("salvage"), damaged, dir + QStringLiteral("/M.DB")});
    QCOMPARE(r.code, 2);
    QVERIFY(!QFile::exists(dir + QStringLiteral("/M.DB")));
    QVERIFY(!QFile::exists(dir + QStringLiteral("/M.MB")));
}

QTEST_GUILESS_MAIN(TestSalvage)
#include "tst_salvage.moc"
