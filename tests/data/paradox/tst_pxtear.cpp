// A device may tear any write at a 512-byte sector boundary (a power cut, a pulled stick):
// only whole sectors reach the medium, a prefix of them, and nothing after. For every
// operation, every write it makes and every prefix of whole sectors of that write (none, each
// sector boundary inside it, all), the files are left as that tear leaves them; then a
// read-only open must read the state before or after without writing, and the next writable
// open must give the same state with check clean: no record or memo text lost, no booking
// number twice.

#include "BLRecord.h"
#include "BLTransfer.h"
#include "Commands.h"
#include "IoFaults.h"
#include "PxTestUtil.h"
#include "Table.h"
#include "paradox/PxError.h"
#include "paradox/PxJournal.h"
#include "paradox/PxTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <optional>
#include <unistd.h>

using namespace pxtest;
using PxTable = px::Table;
using px::Value;
using Row = QVector<Value>;

namespace {

Row blRow(const PxTable &t, int id, int memo, int memo2 = 0)
{
    Row r(t.fields().size());
    r[t.fieldIndex(u"Bl_AgentRef")] = QStringLiteral("ID%1").arg(id);
    r[t.fieldIndex(u"Bl_Shipper1")] = QStringLiteral("Shipper %1").arg(id);
    if (memo)
        r[t.fieldIndex(u"Bl_Marks1")] = patternText(quint32(id), memo);
    if (memo2)
        r[t.fieldIndex(u"Bl_Marks2")] = patternText(quint32(id + 7000), memo2);
    return r;
}

// A spread of memo placements: single blobs, sub-allocated, in the leader.
void fill(PxTable &t, int n, int from = 0)
{
    for (int i = from; i < from + n; ++i)
        t.append(blRow(t, i, i % 3 == 0 ? 3000 : i % 3 == 1 ? 500 : 20, i % 4 == 0 ? 900 : 0));
}

void removeAt(PxTable &t, quint32 ordinal)
{
    const auto pos = t.at(ordinal);
    t.remove(*pos, t.readRaw(*pos));
}

void updateAt(PxTable &t, quint32 ordinal, const std::function<void(Row &)> &change)
{
    const auto pos = t.at(ordinal);
    Row r = t.readValues(*pos);
    change(r);
    t.update(*pos, t.readRaw(*pos), r);
}

// Every value in full (memo text hashed), one line a record.
QStringList rowsOf(PxTable &t)
{
    QStringList out;
    for (const Row &r : readAll(t)) {
        QStringList parts;
        for (const Value &v : r) {
            if (const auto *s = std::get_if<QString>(&v))
                parts << QString::fromLatin1(QCryptographicHash::hash(s->toUtf8(), QCryptographicHash::Sha1).toHex());
            else
                parts << describe(v);
        }
        out << parts.join(QLatin1Char('|'));
    }
    return out;
}

struct Op
{
    const char *name;
    bool full;  // only in the full matrix (the sanitizer build)
    std::function<void(PxTable &)> setup;
    std::function<void(const QString &path)> run;
};

const int kBlock = 15;  // register records in a 16 KB block

void inTable(const QString &path, const std::function<void(PxTable &)> &fn)
{
    PxTable t(path, PxTable::Mode::Shared);
    fn(t);
}

QByteArray importLines()
{
    QByteArray in;
    static const int lengths[] = {40, 700, 5000};
    for (int i = 0; i < 3; ++i)
        in += "{\"Bl_AgentRef\":\"LOTE" + QByteArray::number(i) + "\",\"Bl_Marks1\":\""
              + patternText(quint32(900 + i), lengths[i]).toUtf8().replace('\n', "\\n") + "\"}\n";
    return in;
}

QString g_register;  // the register the transfer copy reads (never torn)
QString g_input;     // bl-tool import's standard input

const Op kOps[] = {
    {"post into the last block", false, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) { inTable(p, [](PxTable &t) { t.append(blRow(t, 99, 700)); }); }},
    {"post into a new block", false, [](PxTable &t) { fill(t, kBlock); },
     [](const QString &p) { inTable(p, [](PxTable &t) { t.append(blRow(t, 99, 5000, 300)); }); }},
    {"post into a freed block", true,
     [](PxTable &t) {
         fill(t, 2 * kBlock + 2);
         removeAt(t, kBlock);  // the second block's only record: the block goes to the free list
         for (int i = 0; i < kBlock - 1; ++i)
             removeAt(t, kBlock);
     },
     [](const QString &p) { inTable(p, [](PxTable &t) { t.append(blRow(t, 99, 20)); }); }},
    {"update a text", false, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) {
         inTable(p, [](PxTable &t) { updateAt(t, 5, [&](Row &r) { r[t.fieldIndex(u"Bl_Shipper1")] = QStringLiteral("CHANGED"); }); });
     }},
    {"update: memo growth", false, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) {
         inTable(p, [](PxTable &t) { updateAt(t, 2, [&](Row &r) { r[t.fieldIndex(u"Bl_Marks1")] = patternText(4242, 6000); }); });
     }},
    {"update: memo shrink", false, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) {
         inTable(p, [](PxTable &t) { updateAt(t, 3, [&](Row &r) { r[t.fieldIndex(u"Bl_Marks1")] = patternText(4243, 30); }); });
     }},
    {"update: memo within its sub-allocated block", true, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) {
         inTable(p, [](PxTable &t) { updateAt(t, 1, [&](Row &r) { r[t.fieldIndex(u"Bl_Marks1")] = patternText(4244, 800); }); });
     }},
    {"delete the first record of a block", false, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) { inTable(p, [](PxTable &t) { removeAt(t, 0); }); }},
    {"delete a middle record", false, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) { inTable(p, [](PxTable &t) { removeAt(t, 7); }); }},
    {"delete the last record of a block", false, [](PxTable &t) { fill(t, 20); },
     [](const QString &p) { inTable(p, [](PxTable &t) { removeAt(t, kBlock - 1); }); }},
    {"delete a block's only record", false,
     [](PxTable &t) {
         fill(t, 2 * kBlock + 3);
         for (int i = 0; i < kBlock - 1; ++i)
             removeAt(t, kBlock);
     },
     [](const QString &p) { inTable(p, [](PxTable &t) { removeAt(t, kBlock); }); }},
    {"delete block 1's only record", false,
     [](PxTable &t) {
         fill(t, kBlock + 4);
         for (int i = 0; i < kBlock - 1; ++i)
             removeAt(t, 0);
     },
     [](const QString &p) { inTable(p, [](PxTable &t) { removeAt(t, 0); }); }},
    {"delete the only record", true, [](PxTable &t) { fill(t, 1); },
     [](const QString &p) { inTable(p, [](PxTable &t) { removeAt(t, 0); }); }},
    {"empty", false, [](PxTable &t) { fill(t, 20); }, [](const QString &p) { PxTable::emptyTable(p); }},
    {"create", false, nullptr,
     [](const QString &p) { PxTable::create(p, blrecord::transferFields()); }},
    {"the transfer copy", false, nullptr,
     [](const QString &p) {
         ::Table from;
         from.setDirectory(QFileInfo(g_register).absolutePath());
         from.setTableName(QFileInfo(g_register).fileName());
         from.open();
         from.last();
         ::Table to;
         bltransfer::pointAt(to, p);
         to.open();
         bltransfer::copyCurrent(from, to);
     }},
    {"bl-tool import", false, [](PxTable &t) { fill(t, 13); },
     [](const QString &p) {
         // The tool's own code, in this process, its standard input the batch's lines.
         // Its messages about what it saw after a tear are of no interest here.
         const int in = ::open(QFile::encodeName(g_input).constData(), O_RDONLY);
         const int null = ::open("/dev/null", O_WRONLY);
         const int saved[3] = {::dup(0), ::dup(1), ::dup(2)};
         ::dup2(in, 0);
         ::dup2(null, 1);
         ::dup2(null, 2);
         ::close(in);
         ::close(null);
         const int code = bltool::import(p);
         for (int fd = 0; fd < 3; ++fd) {
             ::dup2(saved[fd], fd);
             ::close(saved[fd]);
         }
         if (code != 0)
             throw px::EngineError(px::EngineError::Kind::WriteFailed, QStringLiteral("import exit %1").arg(code));
     }},
};

} // namespace

class TestPxTear : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void eachSectorOfEachWrite_data();
    void eachSectorOfEachWrite();
    void readOnlyMedium_data();
    void readOnlyMedium();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
    int m_ops = 0, m_writes = 0, m_points = 0, m_before = 0, m_after = 0, m_losses = 0;
};

void TestPxTear::initTestCase()
{
    QVERIFY(m_dir.isValid());
    g_register = makeTable(m_dir.path(), QStringLiteral("REG.DB"), blrecord::registerFields());
    {
        PxTable t(g_register);
        t.setSyncWrites(false);
        fill(t, 3);
    }
    g_input = m_dir.filePath(QStringLiteral("input.jsonl"));
    QVERIFY(writeFile(g_input, importLines()));
}

void TestPxTear::eachSectorOfEachWrite_data()
{
    QTest::addColumn<int>("op");
#ifdef BL_TEAR_FULL
    const bool full = true;
#else
    const bool full = false;
#endif
    for (int i = 0; i < int(std::size(kOps)); ++i)
        if (full || !kOps[i].full)
            QTest::addRow("%s", kOps[i].name) << i;
}

void TestPxTear::eachSectorOfEachWrite()
{
    QFETCH(int, op);
    const Op &o = kOps[op];
    const bool transfer = o.setup == nullptr;  // create and the transfer copy work on a transfer table
    const QString work = m_dir.filePath(QStringLiteral("work"));
    const QString path = work + QStringLiteral("/BL091226.DB");

    // The state before, as files.
    const QString baseDir = m_dir.filePath(QStringLiteral("base%1").arg(op));
    QDir().mkpath(baseDir);
    const QString base = baseDir + QStringLiteral("/BL091226.DB");
    const bool creating = QByteArray(o.name) == "create";
    if (!creating) {
        if (transfer) {
            PxTable::create(base, blrecord::transferFields());
            PxTable t(base);
            Row r(t.fields().size());
            r[t.fieldIndex(u"Di_Agentref")] = QStringLiteral("HELD");
            r[t.fieldIndex(u"Di_Marks1")] = patternText(77, 2500);
            t.append(r);
        } else {
            PxTable::create(base, blrecord::registerFields());
            PxTable t(base);
            t.setSyncWrites(false);
            o.setup(t);
        }
    }
    const Snapshot before = creating ? Snapshot{} : snapshot(base);
    auto fresh = [&] {
        QDir(work).removeRecursively();
        QDir().mkpath(work);
        if (!creating) {
            writeFile(path, before.db);
            writeFile(memoFileOf(path), before.mb);
        }
    };
    auto rowsAt = [&](PxTable::Mode mode) {
        PxTable t(path, mode);
        return rowsOf(t);
    };
    fresh();
    const QStringList rowsBefore = creating ? QStringList() : rowsAt(PxTable::Mode::ReadOnly);

    TearHook hook;
    // The state after, and the writes that lead there.
    fresh();
    hook.count();
    o.run(path);
    const std::vector<TearHook::Write> writes = hook.writes();
    hook.count();
    const QStringList rowsAfter = rowsAt(PxTable::Mode::ReadOnly);
    QVERIFY(!writes.empty());
    QVERIFY(rowsAfter != rowsBefore || creating);

    QStringList failures;
    int points = 0, keptBefore = 0, keptAfter = 0;
    for (int w = 0; w < int(writes.size()); ++w) {
        for (const qint64 keep : TearHook::tearPoints(writes[size_t(w)].offset, writes[size_t(w)].length)) {
            ++points;
            const QString at = QStringLiteral("write %1 (%2 at %3+%4) torn after %5 bytes")
                                   .arg(w)
                                   .arg(QFileInfo(writes[size_t(w)].path).fileName())
                                   .arg(writes[size_t(w)].offset)
                                   .arg(writes[size_t(w)].length)
                                   .arg(keep);
            fresh();
            hook.arm(w, keep);
            try {
                o.run(path);
            } catch (const std::exception &) {
                // What the operation made of the medium it saw after the tear does not matter:
                // nothing of it reached the files.
            }
            const bool torn = hook.torn();
            hook.count();
            if (!torn) {
                failures << at + QStringLiteral(": the write did not come again");
                continue;
            }
            if (creating && !QFileInfo::exists(path)) {
                // Before: no table. Nothing half-made stands in the way of the next creation.
                try {
                    PxTable::create(path, blrecord::transferFields());
                    PxTable t(path, PxTable::Mode::ReadOnly);
                    if (t.recordCount() != 0 || !t.check().isEmpty())
                        failures << at + QStringLiteral(": the next creation is not a sound empty table");
                } catch (const px::EngineError &e) {
                    failures << at + QStringLiteral(": the next creation failed: ") + e.message();
                }
                ++keptBefore;
                continue;
            }
            // A read-only open (a write-protected stick) reads before or after, writing nothing.
            const Snapshot torn0 = snapshot(path);
            const bool journal = px::Journal::exists(path);
            QStringList readOnly;
            try {
                readOnly = rowsAt(PxTable::Mode::ReadOnly);
                PxTable t(path, PxTable::Mode::ReadOnly);
                const QStringList problems = t.check();
                if (!problems.isEmpty())
                    failures << at + QStringLiteral(": check before any write: ") + problems.join(QStringLiteral(" / "));
            } catch (const px::EngineError &e) {
                failures << at + QStringLiteral(": a read-only open: ") + e.message();
            }
            if (snapshot(path) != torn0 || px::Journal::exists(path) != journal)
                failures << at + QStringLiteral(": a read-only open changed the files");
            if (readOnly != rowsBefore && readOnly != rowsAfter)
                failures << at + QStringLiteral(": a reader sees %1 records, neither before (%2) nor after (%3)")
                                     .arg(readOnly.size()).arg(rowsBefore.size()).arg(rowsAfter.size());
            // The next writable open rolls back or mends: the same state, check clean.
            try {
                QStringList rows;
                {
                    PxTable t(path, PxTable::Mode::Shared);
                    const QStringList problems = t.check();
                    if (!problems.isEmpty())
                        failures << at + QStringLiteral(": check: ") + problems.join(QStringLiteral(" / "));
                    rows = rowsOf(t);
                }
                if (px::Journal::exists(path))
                    failures << at + QStringLiteral(": the journal stayed after a writable open");
                if (rows != readOnly)
                    failures << at + QStringLiteral(": the writable open gives another state than the reader saw");
                if (rows == rowsBefore)
                    ++keptBefore;
                else if (rows == rowsAfter)
                    ++keptAfter;
                else
                    failures << at + QStringLiteral(": %1 records, neither before nor after").arg(rows.size());
                QSet<QString> refs;
                PxTable t(path, PxTable::Mode::ReadOnly);
                const int ref = t.fieldIndex(transfer ? u"Di_Agentref" : u"Bl_AgentRef");
                for (const Row &r : readAll(t)) {
                    const QString s = describe(r[ref]);
                    if (refs.contains(s))
                        failures << at + QStringLiteral(": booking number %1 twice").arg(s);
                    refs.insert(s);
                }
            } catch (const px::EngineError &e) {
                failures << at + QStringLiteral(": next open: ") + e.message();
            }
        }
    }
    qInfo("%s: %d writes, %d tear points: %d left the state before, %d the state after", o.name, int(writes.size()),
          points, keptBefore, keptAfter);
    for (const QString &f : std::as_const(failures).mid(0, 40))
        qWarning("%s", qPrintable(f));
    ++m_ops;
    m_writes += int(writes.size());
    m_points += points;
    m_before += keptBefore;
    m_after += keptAfter;
    m_losses += int(failures.size());
    QVERIFY2(failures.isEmpty(), qPrintable(QStringLiteral("%1 tear points lost data or misstated the table (listed above)").arg(failures.size())));
    QCOMPARE(keptBefore + keptAfter, points);
    // Torn at its first write, nothing happened. (A journaled write never ends in the state
    // after when a write is torn: its journal is still there, and the next open rolls back.)
    QVERIFY(keptBefore > 0);
}

namespace {

// Runs bl-tool on a read-only view of dir (a read-only bind mount in a mount namespace of its
// own, where the system lets the test make one); null when it cannot.
std::optional<ToolResult> onReadOnlyMount(const QString &dir, const QString &mountPoint, const QStringList &args)
{
    QDir().mkpath(mountPoint);
    QStringList quoted;
    for (const QString &a : args)
        quoted << QLatin1Char('\'') + QString(a).replace(QStringLiteral("@"), mountPoint) + QLatin1Char('\'');
    const QString script = QStringLiteral("mount --bind '%1' '%2' && mount -o remount,bind,ro '%2' && touch '%2/probe' 2>/dev/null && exit 99; exec '%3' %4")
                               .arg(dir, mountPoint, QStringLiteral(BL_TOOL_PATH), quoted.join(QLatin1Char(' ')));
    QProcess p;
    p.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script});
    if (!p.waitForStarted() || !p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    ToolResult r;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (r.code == 99 || r.err.contains(QStringLiteral("unshare:")) || r.err.contains(QStringLiteral("mount:")))
        return std::nullopt;
    return r;
}

} // namespace

void TestPxTear::readOnlyMedium_data()
{
    QTest::addColumn<QString>("op");
    QTest::newRow("torn delete") << QStringLiteral("delete a middle record");
    QTest::newRow("torn import") << QStringLiteral("bl-tool import");
}

// A torn delete and a torn import on a write-protected medium: dump lists exactly what it
// listed before the write, check finds the pair sound and says the write is to be undone,
// and the files stay as the tear left them.
void TestPxTear::readOnlyMedium()
{
    QFETCH(QString, op);
    const Op *o = nullptr;
    for (const Op &k : kOps)
        if (op == QLatin1String(k.name))
            o = &k;
    QVERIFY(o);
    const QString dir = m_dir.filePath(QStringLiteral("stick"));
    const QString path = dir + QStringLiteral("/BL091226.DB");
    auto fresh = [&] {
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        PxTable::create(path, blrecord::registerFields());
        PxTable t(path);
        t.setSyncWrites(false);
        o->setup(t);
    };
    fresh();
    const ToolResult before = runTool({QStringLiteral("dump"), path});
    QCOMPARE(before.code, 0);
    TearHook hook;
    hook.count();
    o->run(path);
    const std::vector<TearHook::Write> writes = hook.writes();
    // The last write of the table file longer than a sector, torn after its first sector: a
    // block half rewritten.
    int w = -1;
    for (int i = 0; i < int(writes.size()); ++i)
        if (writes[size_t(i)].path.endsWith(QStringLiteral(".DB")) && writes[size_t(i)].length > 512)
            w = i;
    QVERIFY(w >= 0);
    fresh();
    hook.arm(w, TearHook::tearPoints(writes[size_t(w)].offset, writes[size_t(w)].length).at(1));
    try {
        o->run(path);
    } catch (const std::exception &) {
    }
    QVERIFY(hook.torn());
    hook.count();
    QVERIFY(px::Journal::exists(path));
    const Snapshot torn = snapshot(path);

    const QString mount = m_dir.filePath(QStringLiteral("ro"));
    std::optional<ToolResult> dump = onReadOnlyMount(dir, mount, {QStringLiteral("dump"), QStringLiteral("@/BL091226.DB")});
    std::optional<ToolResult> check = onReadOnlyMount(dir, mount, {QStringLiteral("check"), QStringLiteral("@/BL091226.DB")});
    if (!dump || !check) {
        qInfo("no read-only bind mount here: the files are opened read-only instead");
        dump = runTool({QStringLiteral("dump"), path});
        check = runTool({QStringLiteral("check"), path});
    }
    QVERIFY2(dump->code == 0, qPrintable(dump->err));
    QCOMPARE(dump->out, before.out);
    QVERIFY2(dump->err.contains(QStringLiteral("gravação interrompida")), qPrintable(dump->err));
    QVERIFY2(check->code == 0, check->out.constData());
    QVERIFY2(check->out.contains("gravação interrompida") && check->out.contains("OK: "), check->out.constData());
    QVERIFY(snapshot(path) == torn);
    QVERIFY(px::Journal::exists(path));
    // Writable again: the next open rolls the write back.
    {
        PxTable t(path, PxTable::Mode::Shared);
        QVERIFY(t.wasRepaired());
    }
    QCOMPARE(runTool({QStringLiteral("dump"), path}).out, before.out);
}

void TestPxTear::cleanupTestCase()
{
    qInfo("tear matrix: %d operations, %d writes, %d tear points: %d before, %d after, %d losses", m_ops, m_writes,
          m_points, m_before, m_after, m_losses);
}

QTEST_GUILESS_MAIN(TestPxTear)
#include "tst_pxtear.moc"
