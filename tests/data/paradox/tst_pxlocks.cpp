// Locks between processes, and two writers in one shared table.

#include "PxTestUtil.h"
#include "paradox/PxError.h"
#include "paradox/PxTable.h"

#include <QCoreApplication>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace pxtest;
using px::FieldDef;
using px::FieldType;
using px::Table;
using px::Value;
using Row = QVector<Value>;
using Kind = px::EngineError::Kind;

namespace {

QVector<FieldDef> lockFields()
{
    return {{QStringLiteral("Id"), FieldType::Alpha, 16}, {QStringLiteral("N"), FieldType::Number, 8},
            {QStringLiteral("Memo"), FieldType::Memo, 40}};
}

// The record a writer puts down for one id: memos of all three placements in turn.
Row lockRow(const QString &id, int i)
{
    static const int lengths[] = {0, 30, 41, 600, 2049, 5000};
    const int len = lengths[i % std::size(lengths)];
    return {Value(id), Value(i * 0.25), len ? Value(patternText(quint32(qHash(id)), len)) : Value()};
}

// Child: "append <path> <prefix> <count>" appends count records, then prints DONE.
int appendChild(const QStringList &args)
{
    try {
        Table t(args[0], Table::Mode::Shared);
        const int count = args[2].toInt();
        for (int i = 0; i < count; ++i)
            t.append(lockRow(args[1] + QString::number(i), i));
        emitLine("DONE");
    } catch (const px::EngineError &e) {
        emitLine("ERR " + e.message().toUtf8());
        return 1;
    }
    return 0;
}

// Child: "remove <path> <ordinal>" deletes one record.
int removeChild(const QStringList &args)
{
    try {
        Table t(args[0], Table::Mode::Shared);
        const auto pos = t.at(args[1].toUInt());
        t.remove(*pos, t.readRaw(*pos));
        emitLine("DONE");
    } catch (const px::EngineError &e) {
        emitLine("ERR " + e.message().toUtf8());
        return 1;
    }
    return 0;
}

bool runChild(const QString &role, const QStringList &args)
{
    auto p = startSelf(role, args);
    const QByteArray line = readLine(*p, 60000);
    p->waitForFinished(60000);
    if (line != "DONE")
        qWarning("child %s said: %s", qPrintable(role), line.constData());
    return line == "DONE" && p->exitCode() == 0;
}

} // namespace

class TestPxLocks : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = makeTable(m_dir->path(), QStringLiteral("LOCK.DB"), lockFields());
        Table t(m_path);
        for (int i = 0; i < 5; ++i)
            t.append(lockRow(QStringLiteral("base%1").arg(i), i));
    }

    // What another process may do while this one has the table open in each mode.
    void besideThisProcess_data()
    {
        QTest::addColumn<int>("held");
        QTest::addColumn<int>("other");
        QTest::addColumn<bool>("allowed");
        const Table::Mode modes[] = {Table::Mode::ReadOnly, Table::Mode::Shared, Table::Mode::Exclusive};
        for (Table::Mode held : modes)
            for (Table::Mode other : modes) {
                const bool allowed = held != Table::Mode::Exclusive && other != Table::Mode::Exclusive;
                QTest::newRow(qPrintable(modeName(held) + QStringLiteral(" then ") + modeName(other)))
                    << int(held) << int(other) << allowed;
            }
    }

    void besideThisProcess()
    {
        QFETCH(int, held);
        QFETCH(int, other);
        QFETCH(bool, allowed);
        {
            Table t(m_path, Table::Mode(held));
            const ChildOpen r = openInChild(m_path, Table::Mode(other));
            QVERIFY2(r.answered, "the child did not answer");
            QVERIFY2(r.opened == allowed, qPrintable(r.message));
            if (!allowed) {
                QCOMPARE(r.kind, int(Kind::InUse));
                QVERIFY2(r.message.contains(QStringLiteral("LOCK.DB"), Qt::CaseInsensitive), qPrintable(r.message));
            }
            // The refused open changed nothing for the holder.
            QCOMPARE(t.recordCount(), 5u);
        }
        // Once this process closes, the other one gets in.
        const ChildOpen r = openInChild(m_path, Table::Mode(other));
        QVERIFY2(r.opened, qPrintable(r.message));
    }

    // The same rules with the other process holding, and after it exits or is killed.
    void besideOtherProcess_data() { besideThisProcess_data(); }

    void besideOtherProcess()
    {
        QFETCH(int, held);
        QFETCH(int, other);
        QFETCH(bool, allowed);
        auto holder = holdInChild(m_path, Table::Mode(held));
        QVERIFY2(holder->result.opened, qPrintable(holder->result.message));
        try {
            Table t(m_path, Table::Mode(other));
            QVERIFY2(allowed, "opened while another process holds the table exclusively");
        } catch (const px::EngineError &e) {
            QVERIFY2(!allowed, qPrintable(e.message()));
            QCOMPARE(e.kind(), Kind::InUse);
            QVERIFY2(e.message().contains(QStringLiteral("LOCK.DB"), Qt::CaseInsensitive), qPrintable(e.message()));
        }
        // A crash of the holder leaves no lock behind.
        if (Table::Mode(held) != Table::Mode::ReadOnly)
            holder->kill();
        else
            holder->release();
        Table t(m_path, Table::Mode::Exclusive);
        QCOMPARE(t.recordCount(), 5u);
    }

    // Emptying needs the table to itself.
    void emptyTableWhileOpen()
    {
        const Snapshot before = snapshot(m_path);
        auto holder = holdInChild(m_path, Table::Mode::ReadOnly);
        QVERIFY(holder->result.opened);
        try {
            Table::emptyTable(m_path);
            QFAIL("emptied a table another process has open");
        } catch (const px::EngineError &e) {
            QCOMPARE(e.kind(), Kind::InUse);
        }
        QVERIFY(snapshot(m_path) == before);
        holder->release();
        Table::emptyTable(m_path);
        Table t(m_path);
        QCOMPARE(t.recordCount(), 0u);
    }

    // A shared reader sees what another process wrote, without reopening.
    void seesOtherWriters()
    {
        Table t(m_path, Table::Mode::Shared);
        QCOMPARE(t.recordCount(), 5u);
        QVERIFY(runChild(QStringLiteral("append"), {m_path, QStringLiteral("kid"), QStringLiteral("7")}));
        QCOMPARE(t.recordCount(), 12u);
        const auto rows = readAll(t);
        QCOMPARE(rows.size(), 12);
        for (int i = 0; i < 7; ++i) {
            const Row want = lockRow(QStringLiteral("kid%1").arg(i), i);
            for (int c = 0; c < want.size(); ++c)
                QVERIFY(sameValue(rows[5 + i][c], want[c]));
        }
        const QStringList problems = t.check();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // A record read here, moved or deleted by another process before it is written back.
    void changedBehindItsBack()
    {
        Table t(m_path, Table::Mode::Shared);
        // Record 3 moves up when record 1 goes: the update still lands on record 3.
        auto pos = t.at(3);
        QByteArray raw = t.readRaw(*pos);
        QVERIFY(runChild(QStringLiteral("remove"), {m_path, QStringLiteral("1")}));
        const Row changed = lockRow(QStringLiteral("base3-new"), 4);
        t.update(*pos, raw, changed);
        {
            const Verification v = verify(m_path);
            QVERIFY2(v.ok(), qPrintable(QStringLiteral("after the update: ") + v.problems.join(QLatin1Char('\n'))));
        }
        auto rows = readAll(t);
        QCOMPARE(rows.size(), 4);
        QVERIFY(sameValue(rows[2][0], Value(QStringLiteral("base3-new"))));
        QVERIFY(sameValue(rows[3][0], Value(QStringLiteral("base4"))));
        // Record "base4" deleted elsewhere: writing it back is a conflict and changes nothing.
        pos = t.at(3);
        raw = t.readRaw(*pos);
        QVERIFY(runChild(QStringLiteral("remove"), {m_path, QStringLiteral("3")}));
        const Snapshot before = snapshot(m_path);
        try {
            t.update(*pos, raw, lockRow(QStringLiteral("ghost"), 1));
            QFAIL("updated a record that another process deleted");
        } catch (const px::EngineError &e) {
            QCOMPARE(e.kind(), Kind::Conflict);
        }
        QVERIFY_THROWS_EXCEPTION(px::EngineError, t.remove(*pos, raw));
        QVERIFY(snapshot(m_path) == before);
        QCOMPARE(t.recordCount(), 3u);
        const QStringList problems = t.check();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        const Verification v = verify(m_path);
        QVERIFY2(v.ok(), qPrintable(v.problems.join(QLatin1Char('\n'))));
    }

    // Two processes append 500 records each at the same time: none is lost or mixed up.
    void concurrentAppends()
    {
        const int count = 500;
        auto a = startSelf(QStringLiteral("append"), {m_path, QStringLiteral("A"), QString::number(count)});
        auto b = startSelf(QStringLiteral("append"), {m_path, QStringLiteral("B"), QString::number(count)});
        const QByteArray ra = readLine(*a, 120000);
        const QByteArray rb = readLine(*b, 120000);
        a->waitForFinished(10000);
        b->waitForFinished(10000);
        QCOMPARE(ra, QByteArray("DONE"));
        QCOMPARE(rb, QByteArray("DONE"));

        Table t(m_path, Table::Mode::Exclusive);
        QCOMPARE(t.recordCount(), quint32(5 + 2 * count));
        const auto rows = readAll(t);
        QCOMPARE(rows.size(), 5 + 2 * count);
        QSet<QString> seen;
        int lastA = -1, lastB = -1;
        for (const Row &r : rows) {
            const QString id = std::get<QString>(r[0]);
            QVERIFY2(!seen.contains(id), qPrintable(id));
            seen.insert(id);
            if (id.startsWith(QLatin1String("base")))
                continue;
            const int i = id.mid(1).toInt();
            const Row want = lockRow(id, i);
            for (int c = 0; c < want.size(); ++c)
                QVERIFY2(sameValue(r[c], want[c]), qPrintable(id));
            // Each writer's records keep their own order.
            int &last = id.startsWith(QLatin1Char('A')) ? lastA : lastB;
            QVERIFY(i > last);
            last = i;
        }
        QCOMPARE(seen.size(), 5 + 2 * count);
        const QStringList problems = t.check();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        const Verification v = verify(m_path);
        QVERIFY2(v.ok(), qPrintable(v.problems.join(QLatin1Char('\n'))));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString role = childRole();
    if (!role.isEmpty()) {
        const QStringList args = app.arguments().mid(1);
        if (role == QLatin1String("append"))
            return appendChild(args);
        if (role == QLatin1String("remove"))
            return removeChild(args);
        return runStandardChild(role, args);
    }
    TestPxLocks tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_pxlocks.moc"
