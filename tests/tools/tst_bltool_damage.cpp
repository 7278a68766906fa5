// What bl-tool says about damaged tables: dump writes whole lines only, check gives one line
// per problem naming the file (memo places as block and slot), system errors in Portuguese.

#include "BLRecord.h"
#include "PxTestUtil.h"
#include "paradox/PxTable.h"

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace pxtest;
using px::Table;
using px::Value;

class TestBlToolDamage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dumpWritesWholeLines();
    void checkOneLinePerProblem();
    void checkInterruptedWriteIsNoDamage();
    void damagedMemoFileNamedAsGiven();
    void systemErrorsInPortuguese();

private:
    QTemporaryDir m_dir;
    QString m_path;
    Snapshot m_sound;
};

void TestBlToolDamage::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_path = makeTable(m_dir.path(), QStringLiteral("REG.DB"), blrecord::registerFields());
    Table t(m_path, Table::Mode::Exclusive);
    t.setSyncWrites(false);
    for (int i = 0; i < 40; ++i) {
        QVector<Value> r(t.fields().size());
        r[t.fieldIndex(u"Bl_AgentRef")] = QStringLiteral("R%1").arg(i);
        r[t.fieldIndex(u"Bl_Marks1")] = patternText(quint32(i), i < 20 ? 5000 : 400);  // own blocks, then sub-allocated
        t.append(r);
    }
    m_sound = snapshot(m_path);
}

// A dump that fails on record 21 (its memo block is damaged) has printed 21 whole lines.
void TestBlToolDamage::dumpWritesWholeLines()
{
    const QString dir = m_dir.filePath(QStringLiteral("dump"));
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/D.DB");
    QByteArray mb = m_sound.mb;
    qint64 sub = -1;
    for (qint64 b = 1; b * 4096 < mb.size(); b += qMax(1, int(le16(mb, b * 4096 + 1))))
        if (u8(mb, b * 4096) == 3) {
            sub = b;
            break;
        }
    QVERIFY(sub > 0);
    put8(mb, sub * 4096 + 0x0C + 5 * 63 + 4, 1);  // the first small memo's length no longer matches
    writeFile(path, m_sound.db);
    writeFile(memoFileOf(path), mb);
    const ToolResult r = runTool({QStringLiteral("dump"), path});
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.endsWith('\n'));
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size() - 1, 1 + 20);  // the header and the records before the damaged one
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        QJsonParseError e;
        QJsonDocument::fromJson(lines[i], &e);
        QVERIFY2(e.error == QJsonParseError::NoError, lines[i].left(200).constData());
    }
    QVERIFY2(r.err.contains(QStringLiteral("D.MB")), qPrintable(r.err));
}

void TestBlToolDamage::checkOneLinePerProblem()
{
    const QString dir = m_dir.filePath(QStringLiteral("check"));
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/C.DB");
    const Verification v = verify(m_path, false);
    struct Case
    {
        const char *name;
        std::function<void(QByteArray &, QByteArray &)> apply;
        int lines;
        const char *mustSay;
    };
    const qint64 first = v.header.blockOffset(v.chain[0]);
    const Case cases[] = {
        {"a memo reference moved to another slot", [&](QByteArray &d, QByteArray &) {
             // Record 21 (block 2, slot 6) holds the first small memo; point it at the next slot.
             const qint64 rec = v.header.blockOffset(v.chain[1]) + 6 + 5 * v.header.recordSize;
             const int off = v.header.fields[23].offset + 100;  // Bl_Marks1's 10 bytes after the leader
             put32(d, rec + off, le32(d, rec + off) - 1);
         }, 1, "posição 62"},
        {"a record count byte", [&](QByteArray &d, QByteArray &) { put16(d, first + 4, 0x7FFF); }, 1, "bloco 1"},
        {"memo file block type", [&](QByteArray &, QByteArray &m) { put8(m, 4096, 9); }, 1, "C.MB"},
        {"records in the header", [&](QByteArray &d, QByteArray &) { put32(d, 6, 41); }, 1, "41 registros"},
    };
    for (const Case &c : cases) {
        QByteArray db = m_sound.db, mb = m_sound.mb;
        c.apply(db, mb);
        writeFile(path, db);
        writeFile(memoFileOf(path), mb);
        const ToolResult r = runTool({QStringLiteral("check"), path});
        QCOMPARE(r.code, 1);
        const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == c.lines, qPrintable(QString::fromLatin1(c.name) + u'\n' + lines.join(u'\n')));
        for (const QString &l : lines)
            QVERIFY2(l.contains(QStringLiteral("C.DB")) || l.contains(QStringLiteral("C.MB")), qPrintable(l));
        QVERIFY2(r.out.contains(c.mustSay), r.out.constData());
    }
}

// Our own interrupted write (the marker set over what it leaves) checks clean and says so;
// the same marker over real damage is still damage.
void TestBlToolDamage::checkInterruptedWriteIsNoDamage()
{
    const QString dir = m_dir.filePath(QStringLiteral("marker"));
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/M.DB");
    const Verification v = verify(m_path, false);
    QByteArray db = m_sound.db;
    put8(db, 0x2B, 1);
    put32(db, 6, 39);  // an append whose header update did not happen
    writeFile(path, db);
    writeFile(memoFileOf(path), m_sound.mb);
    ToolResult r = runTool({QStringLiteral("check"), path});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("gravação interrompida") && r.out.contains("próxima gravação") && r.out.contains("OK: ")
                 && r.out.contains("40 registro(s)"),
             r.out.constData());
    r = runTool({QStringLiteral("dump"), path});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out.count('\n'), 41);
    QVERIFY2(r.err.contains(QStringLiteral("gravação interrompida")), qPrintable(r.err));
    QCOMPARE(snapshot(path), (Snapshot{db, m_sound.mb, true}));

    put16(db, v.header.blockOffset(v.chain[1]) + 4, 0);  // and a block's record count changed
    writeFile(path, db);
    r = runTool({QStringLiteral("check"), path});
    QCOMPARE(r.code, 1);
    QVERIFY2(!r.out.contains("OK: "), r.out.constData());
}

// A damaged memo file is called that, by the path the user gave (relative stays relative),
// from check, dump and a refused import alike.
void TestBlToolDamage::damagedMemoFileNamedAsGiven()
{
    const QString dir = m_dir.filePath(QStringLiteral("memo"));
    QDir().mkpath(dir);
    QByteArray mb = m_sound.mb;
    put8(mb, 4096, 9);  // the first memo block's type
    writeFile(dir + QStringLiteral("/REG.DB"), m_sound.db);
    writeFile(dir + QStringLiteral("/REG.MB"), mb);
    const QString said = QStringLiteral("O arquivo de memorandos REG.MB está danificado: ");
    ToolResult r = runTool({QStringLiteral("check"), QStringLiteral("REG.DB")}, {}, {}, dir);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.startsWith("REG.MB: ") && !r.out.contains("./"), r.out.constData());
    r = runTool({QStringLiteral("dump"), QStringLiteral("REG.DB")}, {}, {}, dir);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(said) && !r.err.contains(QStringLiteral("tabela Paradox")), qPrintable(r.err));
    r = runTool({QStringLiteral("import"), QStringLiteral("REG.DB")}, "{\"Bl_AgentRef\": \"X\"}\n", {}, dir);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(said) && !r.err.contains(QStringLiteral("./")), qPrintable(r.err));
    QCOMPARE(snapshot(dir + QStringLiteral("/REG.DB")), (Snapshot{m_sound.db, mb, true}));
}

void TestBlToolDamage::systemErrorsInPortuguese()
{
    // A folder where the table should be, and a table the user may not write.
    const QString dir = m_dir.filePath(QStringLiteral("errno"));
    QDir().mkpath(dir + QStringLiteral("/X.DB"));
    ToolResult r = runTool({QStringLiteral("import"), dir + QStringLiteral("/X.DB")}, "{}\n");
    QCOMPARE(r.code, 2);
    QVERIFY2(!r.err.contains(QStringLiteral("Is a directory")) && !r.err.contains(QStringLiteral("directory")), qPrintable(r.err));
    if (::geteuid() == 0)
        return;  // root writes anyway
    const QString ro = dir + QStringLiteral("/RO.DB");
    writeFile(ro, m_sound.db);
    writeFile(memoFileOf(ro), m_sound.mb);
    QFile::setPermissions(ro, QFile::ReadOwner);
    r = runTool({QStringLiteral("import"), ro}, "{}\n");
    QCOMPARE(r.code, 2);
    for (const char *english : {"Permission denied", "Operation not permitted", "Read-only"})
        QVERIFY2(!r.err.contains(QLatin1String(english)), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestBlToolDamage)
#include "tst_bltool_damage.moc"
