// A full medium, an I/O error or a kill at each write of a post, an update, a delete and an
// empty (every write the operation makes, counted through the engine's I/O layer): a failed
// call ends with the engine's message and leaves the state before it; a kill leaves the state
// before or after, which check finds sound at once and the next open mends; nothing is lost.

#include "BLRecord.h"
#include "PxTestUtil.h"
#include "paradox/PxError.h"
#include "paradox/PxFile.h"
#include "paradox/PxJournal.h"
#include "paradox/PxTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace pxtest;
using px::Table;
using px::Value;
using Row = QVector<Value>;

namespace {

Row blRow(const Table &t, int id, int memo)
{
    Row r(t.fields().size());
    r[t.fieldIndex(u"Bl_AgentRef")] = QStringLiteral("ID%1").arg(id);
    if (memo)
        r[t.fieldIndex(u"Bl_Marks1")] = patternText(quint32(id), memo);
    return r;
}

void fill(Table &t, int n)
{
    for (int i = 0; i < n; ++i)
        t.append(blRow(t, i, i % 3 == 0 ? 3000 : i % 3 == 1 ? 500 : 20));
}

void removeAt(Table &t, quint32 ordinal)
{
    const auto pos = t.at(ordinal);
    t.remove(*pos, t.readRaw(*pos));
}

struct Op
{
    const char *name;
    std::function<void(Table &)> setup;
    std::function<void(Table &)> run;
};

const Op kOps[] = {
    {"append into the last block", [](Table &t) { fill(t, 20); }, [](Table &t) { t.append(blRow(t, 99, 700)); }},
    {"append into a new block", [](Table &t) { fill(t, 30); }, [](Table &t) { t.append(blRow(t, 99, 5000)); }},
    {"update with a new memo", [](Table &t) { fill(t, 20); },
     [](Table &t) {
         const auto pos = t.at(4);
         t.update(*pos, t.readRaw(*pos), blRow(t, 4, 2500));
     }},
    {"delete inside a block", [](Table &t) { fill(t, 20); }, [](Table &t) { removeAt(t, 3); }},
    {"delete the last record of a middle block",
     [](Table &t) {
         fill(t, 31);
         for (int i = 0; i < 14; ++i)
             removeAt(t, 15);
     },
     [](Table &t) { removeAt(t, 15); }},
    {"delete the last record of block 1",
     [](Table &t) {
         fill(t, 20);
         for (int i = 0; i < 14; ++i)
             removeAt(t, 0);
     },
     [](Table &t) { removeAt(t, 0); }},
    {"empty", [](Table &t) { fill(t, 20); }, [](Table &t) { t.emptyAll(); }},
};
constexpr int kEmpty = int(std::size(kOps)) - 1;

QStringList keys(const QString &path)
{
    Table t(path, Table::Mode::ReadOnly);
    QStringList out;
    for (const Row &r : readAll(t)) {
        QStringList parts;
        for (const Value &v : r)
            parts << describe(v);
        out << parts.join(QLatin1Char('|'));
    }
    return out;
}

} // namespace

class TestPxFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void eachWritePoint_data();
    void eachWritePoint();
    void cleanup() { px::io::setHook({}); }

private:
    QTemporaryDir m_dir;
};

void TestPxFaults::eachWritePoint_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("fault");
    for (int i = 0; i < int(std::size(kOps)); ++i)
        for (const char *f : {"enospc", "eio", "kill"})
            QTest::addRow("%s, %s", kOps[i].name, f) << i << QString::fromLatin1(f);
}

void TestPxFaults::eachWritePoint()
{
    QFETCH(int, op);
    QFETCH(QString, fault);
    const Op &o = kOps[op];
    // The state before, and after a call that succeeds.
    const QString base = makeTable(m_dir.path(), QStringLiteral("B%1%2.DB").arg(op).arg(fault.toUpper()), blrecord::registerFields());
    {
        Table t(base, Table::Mode::Shared);
        t.setSyncWrites(false);
        o.setup(t);
    }
    const Snapshot before = snapshot(base);
    const QStringList rowsBefore = keys(base);
    const QString work = m_dir.filePath(QStringLiteral("work"));
    auto fresh = [&] {
        QDir(work).removeRecursively();
        QDir().mkpath(work);
        const QString p = work + QStringLiteral("/T.DB");
        writeFile(p, before.db);
        writeFile(memoFileOf(p), before.mb);
        return p;
    };
    int points = 0;
    {
        const QString p = fresh();
        Table t(p, Table::Mode::Shared);
        px::io::setHook([&](const px::io::Event &) { ++points; return 0; });
        o.run(t);
        px::io::setHook({});
    }
    const QStringList rowsAfter = keys(work + QStringLiteral("/T.DB"));
    QVERIFY(points > 3);

    QStringList failures;
    int keptBefore = 0, keptAfter = 0;
    for (int k = 1; k <= points; ++k) {
        const QString p = fresh();
        bool returned = false;  // an error or full medium the call got past (emptying: see below)
        if (fault == u"kill") {
            const pid_t pid = ::fork();
            QVERIFY(pid >= 0);
            if (pid == 0) {
                try {
                    Table t(p, Table::Mode::Shared);
                    int n = 0;
                    px::io::setHook([&](const px::io::Event &) {
                        if (++n == k)
                            ::kill(::getpid(), SIGKILL);
                        return 0;
                    });
                    o.run(t);
                } catch (...) {
                    ::_exit(3);
                }
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            if (!WIFSIGNALED(status))
                failures << QStringLiteral("kill at %1: the child was not killed (status %2)").arg(k).arg(status);
            // Before any writable open: check is clean (an interrupted write of ours is said,
            // not counted), dump reads it whole, and a reader sees the state before or after.
            const Snapshot killed = snapshot(p);
            // Our marker, or a journal left beside the table (read as its rollback will leave it).
            const bool marked = u8(killed.db, 0x2B) != 0 || px::Journal::view(p).has_value();
            const ToolResult c = runTool({QStringLiteral("check"), p});
            if (c.code != 0 || marked != c.out.contains("gravação interrompida"))
                failures << QStringLiteral("kill at %1: check exit %2: %3").arg(k).arg(c.code).arg(QString::fromUtf8(c.out));
            const ToolResult dump = runTool({QStringLiteral("dump"), p});
            if (dump.code != 0 || marked != dump.err.contains(QStringLiteral("gravação interrompida")))
                failures << QStringLiteral("kill at %1: dump exit %2: %3").arg(k).arg(dump.code).arg(dump.err);
            try {
                const QStringList rows = keys(p);
                if (rows != rowsBefore && rows != rowsAfter)
                    failures << QStringLiteral("kill at %1: a reader sees %2 records, neither before nor after").arg(k).arg(rows.size());
            } catch (const px::EngineError &e) {
                failures << QStringLiteral("kill at %1: a reader: %2").arg(k).arg(e.message());
            }
            if (snapshot(p) != killed)
                failures << QStringLiteral("kill at %1: reading changed the files").arg(k);
        } else {
            const int err = fault == u"enospc" ? ENOSPC : EIO;
            const auto kind = fault == u"enospc" ? px::EngineError::Kind::DiskFull : px::EngineError::Kind::WriteFailed;
            try {
                Table t(p, Table::Mode::Shared);
                int n = 0;
                px::io::setHook([&](const px::io::Event &) { return ++n == k ? err : 0; });
                o.run(t);
                returned = true;
            } catch (const px::EngineError &e) {
                if (e.kind() != kind || (!e.message().contains(QStringLiteral("T.DB")) && !e.message().contains(QStringLiteral("T.MB"))))
                    failures << QStringLiteral("%1 at %2: %3").arg(fault).arg(k).arg(e.message());
            }
            px::io::setHook({});
        }
        // The next open repairs what the interrupted call left; nothing is lost.
        try {
            {
                Table t(p, Table::Mode::Shared);
                const QStringList problems = t.check();
                if (!problems.isEmpty())
                    failures << QStringLiteral("%1 at %2: check: %3").arg(fault).arg(k).arg(problems.join(QStringLiteral(" / ")));
            }
            const QStringList rows = keys(p);
            // A call that failed did not happen; one that returned did (only an emptying
            // returns, when a fault comes after its emptied header reached the medium).
            if (fault != u"kill" && returned != (rows == rowsAfter))
                failures << QStringLiteral("%1 at %2: the call %3, but the table holds the state %4")
                                .arg(fault).arg(k)
                                .arg(returned ? QStringLiteral("returned") : QStringLiteral("failed"))
                                .arg(rows == rowsAfter ? QStringLiteral("after") : QStringLiteral("before"));
            if (returned && op != kEmpty)
                failures << QStringLiteral("%1 at %2: the call returned").arg(fault).arg(k);
            if (rows == rowsBefore)
                ++keptBefore;
            else if (rows == rowsAfter)
                ++keptAfter;
            else
                failures << QStringLiteral("%1 at %2: %3 records, neither the state before (%4) nor after (%5)")
                                .arg(fault).arg(k).arg(rows.size()).arg(rowsBefore.size()).arg(rowsAfter.size());
        } catch (const px::EngineError &e) {
            failures << QStringLiteral("%1 at %2: next open: %3").arg(fault).arg(k).arg(e.message());
        }
    }
    qInfo("%s, %s: %d write points, %d left the state before, %d the state after", o.name, qPrintable(fault), points,
          keptBefore, keptAfter);
    for (const QString &f : std::as_const(failures))
        qWarning("%s", qPrintable(f));
    QVERIFY2(failures.isEmpty(), "a fault cost data or left a damaged pair (listed above)");
}

QTEST_GUILESS_MAIN(TestPxFaults)
#include "tst_pxfaults.moc"
