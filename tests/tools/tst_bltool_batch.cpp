// bl-tool import lands all of its lines or none: killed at each write of the process, or
// given a full medium or an I/O error there, the next open finds the table as it was before
// or with the whole batch, and check finds it sound.

#include "BLRecord.h"
#include "PxTestUtil.h"
#include "paradox/PxJournal.h"
#include "paradox/PxTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace pxtest;
using px::Table;
using px::Value;
using Row = QVector<Value>;

namespace {

QByteArray batchLines()
{
    QByteArray in;
    static const int lengths[] = {40, 700, 2047, 5000, 300};
    for (int i = 0; i < 5; ++i) {
        in += "{\"Bl_AgentRef\":\"LOTE" + QByteArray::number(i) + "\",\"Bl_Marks1\":\""
              + patternText(quint32(500 + i), lengths[i]).toUtf8().replace('\n', "\\n") + "\"}\n";
    }
    return in;
}

} // namespace

class TestBlToolBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedAtEachWrite();
    void faultAtEachWrite_data();
    void faultAtEachWrite();
    void journalLeftBehindIsApplied();

private:
    QString fresh();

    QTemporaryDir m_dir;
    QString m_source;
    Snapshot m_before;
    int m_rowsBefore = 0;
};

void TestBlToolBatch::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // 13 records: the batch of 5 fills the first block and starts a second.
    m_source = makeTable(m_dir.path(), QStringLiteral("SRC.DB"), blrecord::registerFields());
    {
        Table t(m_source, Table::Mode::Exclusive);
        const int ref = t.fieldIndex(u"Bl_AgentRef"), m1 = t.fieldIndex(u"Bl_Marks1");
        for (int i = 0; i < 13; ++i) {
            Row r(t.fields().size());
            r[ref] = QStringLiteral("OLD%1").arg(i);
            r[m1] = patternText(quint32(i), i % 2 ? 900 : 4000);
            t.append(r);
        }
    }
    m_before = snapshot(m_source);
    m_rowsBefore = 13;
}

QString TestBlToolBatch::fresh()
{
    const QString dir = m_dir.filePath(QStringLiteral("work"));
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/REG.DB");
    writeFile(path, m_before.db);
    writeFile(memoFileOf(path), m_before.mb);
    return path;
}

void TestBlToolBatch::killedAtEachWrite()
{
    const QByteArray in = batchLines();
    int none = 0, all = 0, points = 0;
    QStringList failures;
    for (int k = 1; k < 2000; ++k) {
        const QString path = fresh();
        const ToolResult r = runFaultyTool(QStringLiteral("kill:%1").arg(k), {QStringLiteral("import"), path}, in);
        if (!r.killed) {
            QCOMPARE(r.code, 0);  // past the last write: the import ran to its end
            points = k - 1;
            break;
        }
        // check reads the pair as the rollback will leave it and finds it sound, writing
        // nothing; the next writable open undoes or keeps the batch.
        const Snapshot killed = snapshot(path);
        const bool journal = px::Journal::exists(path);
        const ToolResult c = runTool({QStringLiteral("check"), path});
        if (c.code != 0)
            failures << QStringLiteral("kill at %1: check exit %2: %3").arg(k).arg(c.code).arg(QString::fromUtf8(c.out));
        if (snapshot(path) != killed || px::Journal::exists(path) != journal)
            failures << QStringLiteral("kill at %1: check changed the files").arg(k);
        { Table w(path, Table::Mode::Shared); }
        if (px::Journal::exists(path))
            failures << QStringLiteral("kill at %1: journal still there after a writable open").arg(k);
        Table t(path, Table::Mode::ReadOnly);
        const int n = int(t.recordCount());
        if (n == m_rowsBefore) {
            ++none;
            if (snapshot(path) != m_before)
                failures << QStringLiteral("kill at %1: no rows added but the files changed").arg(k);
        } else if (n == m_rowsBefore + 5) {
            ++all;
            const auto rows = readAll(t);
            if (!sameText(rows.last()[t.fieldIndex(u"Bl_AgentRef")], QStringLiteral("LOTE4")))
                failures << QStringLiteral("kill at %1: last row is not the batch's last").arg(k);
        } else {
            failures << QStringLiteral("kill at %1: %2 records, neither all nor none").arg(k).arg(n);
        }
    }
    qInfo("import killed at each of %d write points: %d left none, %d left all", points, none, all);
    for (const QString &f : std::as_const(failures))
        qWarning("%s", qPrintable(f));
    QVERIFY2(failures.isEmpty(), "import not all-or-none (listed above)");
    QVERIFY(points > 20);
    QVERIFY(none > 0 && all > 0);
}

void TestBlToolBatch::faultAtEachWrite_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("full medium") << QStringLiteral("enospc") << QStringLiteral("Sem espaço");
    QTest::newRow("I/O error") << QStringLiteral("eio") << QStringLiteral("erro de leitura ou gravação");
}

// A failed write ends the import with the engine's message and the pair as it was.
void TestBlToolBatch::faultAtEachWrite()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const QByteArray in = batchLines();
    QStringList failures;
    int points = 0;
    for (int k = 1; k < 2000; ++k) {
        const QString path = fresh();
        const ToolResult r = runFaultyTool(QStringLiteral("%1:%2").arg(fault).arg(k), {QStringLiteral("import"), path}, in);
        if (r.code == 0) {
            points = k - 1;
            break;
        }
        if (r.code != 2 || !r.err.contains(message) || !r.err.contains(QStringLiteral("importação cancelada")))
            failures << QStringLiteral("fault at %1: exit %2: %3").arg(k).arg(r.code).arg(r.err);
        if (snapshot(path) != m_before || px::Journal::exists(path))
            failures << QStringLiteral("fault at %1: the pair changed or the journal stayed").arg(k);
    }
    qInfo("%s at each of %d write points", qPrintable(fault), points);
    for (const QString &f : std::as_const(failures))
        qWarning("%s", qPrintable(f));
    QVERIFY2(failures.isEmpty(), "failed import changed the table (listed above)");
    QVERIFY(points > 20);
}

// A journal without a finished batch is applied by the next writable opener; a read-only one
// reads the pair as the rollback will leave it and writes nothing. A torn journal (cut inside
// its own header) is simply removed.
void TestBlToolBatch::journalLeftBehindIsApplied()
{
    const QString path = fresh();
    {
        Table t(path, Table::Mode::Exclusive);
        t.beginBatch();
        Row r(t.fields().size());
        r[t.fieldIndex(u"Bl_AgentRef")] = QStringLiteral("PERDIDO");
        t.append(r);
        t.append(r);
        // Leave the journal as a crash would: copy it away before the table rolls back.
        QVERIFY(QFile::copy(px::Journal::pathFor(path), path + QStringLiteral(".saved")));
        const Snapshot during = snapshot(path);
        QVERIFY(during != m_before);
        writeFile(m_dir.filePath(QStringLiteral("during.DB")), during.db);
        writeFile(m_dir.filePath(QStringLiteral("during.MB")), during.mb);
    }
    // The crash's state: the batch's bytes in the table, the journal beside it.
    writeFile(path, readFile(m_dir.filePath(QStringLiteral("during.DB"))));
    writeFile(memoFileOf(path), readFile(m_dir.filePath(QStringLiteral("during.MB"))));
    QVERIFY(QFile::rename(path + QStringLiteral(".saved"), px::Journal::pathFor(path)));
    const Snapshot crashed = snapshot(path);
    {
        Table t(path, Table::Mode::ReadOnly);
        QVERIFY(!t.wasRepaired());
        QVERIFY(t.rolledBackOnRead());
        QCOMPARE(int(t.recordCount()), m_rowsBefore);
        QVERIFY(t.check().isEmpty());
        const auto rows = readAll(t);
        QCOMPARE(rows.size(), m_rowsBefore);
        QVERIFY(sameText(rows.last()[t.fieldIndex(u"Bl_AgentRef")], QStringLiteral("OLD12")));
    }
    QVERIFY(px::Journal::exists(path));
    QVERIFY(snapshot(path) == crashed);
    {
        Table t(path, Table::Mode::Shared);
        QVERIFY(t.wasRepaired());
        QCOMPARE(int(t.recordCount()), m_rowsBefore);
    }
    QVERIFY(!px::Journal::exists(path));
    QVERIFY(snapshot(path) == m_before);

    writeFile(px::Journal::pathFor(path), QByteArray("BLJR"));
    {
        Table t(path, Table::Mode::Shared);
        QCOMPARE(int(t.recordCount()), m_rowsBefore);
    }
    QVERIFY(!px::Journal::exists(path));
    QVERIFY(snapshot(path) == m_before);
}

QTEST_GUILESS_MAIN(TestBlToolBatch)
#include "tst_bltool_batch.moc"
