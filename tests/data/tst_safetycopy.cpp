// The register's daily safety copies: made before the first change of a day, kept ten deep,
// consistent beside another writer, never of a damaged register, and put back by restore.

#include "BLRecord.h"
#include "IoFaults.h"
#include "PxTestUtil.h"
#include "SafetyCopy.h"
#include "U_DM_BL.h"
#include "paradox/PxError.h"
#include "paradox/PxFile.h"
#include "paradox/PxJournal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <poll.h>

#include <optional>

using namespace pxtest;

namespace {

const QVector<px::FieldDef> Fields = blrecord::registerFields();

int field(const char *name)
{
    for (int i = 0; i < Fields.size(); ++i)
        if (Fields[i].name == QLatin1String(name))
            return i;
    return -1;
}

// A B/L whose memos reach the memo file, a long one now and then in blocks of its own.
QVector<px::Value> bl(int i)
{
    QVector<px::Value> v(Fields.size());
    v[field("Bl_AgentRef")] = QStringLiteral("BK%1").arg(i);
    v[field("Bl_Shipper1")] = QStringLiteral("SHIPPER %1").arg(i);
    v[field("Bl_Marks1")] = patternText(quint32(i), 300);
    v[field("Bl_Marks2")] = patternText(quint32(i) + 7000, i % 4 == 0 ? 3000 : 150);
    v[field("Bl_DataRef")] = QDate(2026, 1, 1).addDays(i);
    v[field("Bl_Gross1")] = i * 1.5;
    return v;
}

QString makeRegister(const QString &dir, int count)
{
    const QString path = QDir(dir).filePath(QStringLiteral("BlCorvane.DB"));
    px::Table::create(path, Fields);
    px::Table t(path, px::Table::Mode::Exclusive);
    for (int i = 0; i < count; ++i)
        t.append(bl(i));
    return path;
}

QVector<QVector<px::Value>> rowsOf(const QString &path)
{
    px::Table t(path, px::Table::Mode::ReadOnly);
    return readAll(t);
}

bool sameRows(const QVector<QVector<px::Value>> &a, const QVector<QVector<px::Value>> &b)
{
    if (a.size() != b.size())
        return false;
    for (int r = 0; r < a.size(); ++r)
        for (int f = 0; f < a[r].size(); ++f)
            if (!sameValue(a[r][f], b[r][f]))
                return false;
    return true;
}

// Every file of a folder with its bytes.
QMap<QString, QByteArray> folderBytes(const QString &dir)
{
    QMap<QString, QByteArray> m;
    for (const QString &e : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        m.insert(e, readFile(QDir(dir).filePath(e)));
    return m;
}

struct HookReset
{
    ~HookReset() { px::io::setHook({}); }
};

// Child: posts B/Ls into the shared register until a line arrives on standard input.
int writerChild(const QStringList &args)
{
    px::Table t(args.value(0), px::Table::Mode::Shared);
    for (int i = 0;; ++i) {
        t.append(bl(1000 + i));
        if (i == 0)
            emitLine("STARTED");
        // A breath between posts, as between two B/Ls: the engine's locks are not fair to a
        // reader beside a writer that never lets go.
        pollfd in{0, POLLIN, 0};
        if (::poll(&in, 1, 1) > 0)
            return 0;
    }
}

} // namespace

class TestSafetyCopy : public QObject
{
    Q_OBJECT

private slots:
    // Through the data module, as every window changes the register.
    void copyBeforeTheFirstChangeOfEachDay()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 5);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QDate today(2027, 3, 1);
        QStringList notices;
        {
            TDM_BL dm;
            dm.safetyCopy().setClock([&] { return today; });
            dm.safetyCopy().setNotice([&](const QString &m) { notices << m; });
            Table *t = dm.Tbl_BLCliente;
            t->open();
            const auto before = rowsOf(reg);
            t->edit();
            dm.Tbl_BLClienteBl_Shipper1->setAsString(QStringLiteral("CHANGED"));
            t->post();
            const QString copy = safetycopy::dailyPath(reg, today);
            QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral("BlCorvane-2027-03-01.DB"));
            QVERIFY(sameRows(rowsOf(copy), before));
            QVERIFY(!sameRows(rowsOf(reg), before));
            const Snapshot made = snapshot(copy);

            t->insert();
            dm.Tbl_BLClienteBl_AgentRef->setAsString(QStringLiteral("NEW"));
            t->post();
            QCOMPARE(QDir(safetycopy::folderOf(reg)).entryList(QDir::Files | QDir::Hidden),
                     QStringList({QStringLiteral("BlCorvane-2027-03-01.DB"), QStringLiteral("BlCorvane-2027-03-01.MB")}));
            QVERIFY(snapshot(copy) == made);

            today = today.addDays(1);
            const auto beforeDelete = rowsOf(reg);
            t->first();
            t->deleteRecord();
            QCOMPARE(beforeDelete.size(), 6);
            QVERIFY(sameRows(rowsOf(safetycopy::dailyPath(reg, today)), beforeDelete));
        }
        QDir::setCurrent(previous);
        QVERIFY2(notices.isEmpty(), qPrintable(notices.join(u'\n')));
    }

    void keepsTheTenNewest()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 3);
        const QString folder = safetycopy::folderOf(reg);
        QDir().mkpath(folder);
        // Not daily copies: never removed.
        QVERIFY(copyFile(reg, QDir(folder).filePath(QStringLiteral("BlCorvane-antes-da-restauracao-2027-01-01-120000.DB"))));
        const QDate first(2027, 3, 1);
        px::Table t(reg, px::Table::Mode::Shared);
        for (int day = 0; day < 11; ++day) {
            if (day == 10)  // what a crash in the middle of a copy leaves
                QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("BlCorvane-2027-03-11.tmp.DB")), "half"));
            const safetycopy::Outcome o = safetycopy::makeDaily(t, first.addDays(day));
            QCOMPARE(int(o.result), int(safetycopy::Outcome::Result::Made));
            QCOMPARE(o.removed.size(), day == 10 ? 1 : 0);
            t.append(bl(100 + day));
        }
        const QVector<safetycopy::Copy> copies = safetycopy::dailyCopies(reg);
        QCOMPARE(copies.size(), 10);
        QCOMPARE(copies.first().day, first.addDays(10));
        QCOMPARE(copies.last().day, first.addDays(1));
        QCOMPARE(safetycopy::checkCopy(copies.first().db).records, 13u);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 21);  // ten pairs and the kept .DB
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("BlCorvane-2027-03-01.MB"))));

        // A clock set back: that day's copy is made and kept beside the ten newest.
        const safetycopy::Outcome back = safetycopy::makeDaily(t, QDate(2026, 1, 1));
        QCOMPARE(int(back.result), int(safetycopy::Outcome::Result::Made));
        QCOMPARE(safetycopy::dailyCopies(reg).size(), 11);
        QCOMPARE(int(safetycopy::makeDaily(t, first.addDays(10)).result), int(safetycopy::Outcome::Result::Existed));
    }

    void consistentBesideAnotherWriter()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 20);
        px::Table t(reg, px::Table::Mode::Shared);
        const std::unique_ptr<QProcess> writer = startSelf(QStringLiteral("writer"), {reg});
        QCOMPARE(readLine(*writer), QByteArray("STARTED"));
        quint32 seen = 0;
        for (int k = 0; k < 8; ++k) {
            // Each copy while the other process is still posting.
            QTRY_VERIFY_WITH_TIMEOUT(t.recordCount() > seen, 30000);
            const safetycopy::Outcome o = safetycopy::makeDaily(t, QDate(2027, 3, 1).addDays(k));
            QVERIFY2(o.result == safetycopy::Outcome::Result::Made, qPrintable(o.reason));
            const safetycopy::Check c = safetycopy::checkCopy(o.copyDb);
            QVERIFY2(c.sound, qPrintable(c.problem));
            const Verification v = verify(o.copyDb);
            QVERIFY2(v.ok(), qPrintable(v.problems.join(u'\n')));
            QVERIFY(c.records > seen);
            seen = c.records;
        }
        writer->write("stop\n");
        QVERIFY(writer->waitForFinished(30000));
        QCOMPARE(writer->exitCode(), 0);
    }

    void failedCopyIsToldOnceAndTheChangeGoesOn_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("said");
        QTest::newRow("disk full") << "write" << "não há espaço livre no disco";
        QTest::newRow("flush fails") << "sync" << "erro de leitura ou gravação";
        QTest::newRow("folder cannot be made") << "file" << "há um arquivo com esse nome no lugar da pasta";
    }
    void failedCopyIsToldOnceAndTheChangeGoesOn()
    {
        QFETCH(QString, fault);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 4);
        const QString folder = safetycopy::folderOf(reg);
        HookReset reset;
        if (fault == u"file")
            QVERIFY(writeFile(folder, "not a folder"));
        else
            px::io::setHook([folder, op = fault == u"write" ? px::io::Op::Write : px::io::Op::Sync](const px::io::Event &e) {
                return e.op == op && e.path.startsWith(folder) ? (op == px::io::Op::Write ? ENOSPC : EIO) : 0;
            });

        QDate today(2027, 3, 1);
        QStringList notices;
        safetycopy::DailySafetyCopy daily;
        daily.setClock([&] { return today; });
        daily.setNotice([&](const QString &m) { notices << m; });
        px::Table t(reg, px::Table::Mode::Shared);
        for (int i = 0; i < 2; ++i) {
            daily.beforeChange(t);
            t.append(bl(50 + i));
        }
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains(said), qPrintable(notices[0]));
        QVERIFY(notices[0].startsWith(u"Não foi possível fazer a cópia de segurança de hoje"));
        QCOMPARE(rowsOf(reg).size(), 6);
        if (fault == u"file")
            QCOMPARE(readFile(folder), QByteArray("not a folder"));
        else
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());

        // The next day, with the medium back, the copy is made.
        px::io::setHook({});
        if (fault == u"file")
            QVERIFY(QFile::remove(folder));
        today = today.addDays(1);
        daily.beforeChange(t);
        QCOMPARE(int(daily.lastOutcome().result), int(safetycopy::Outcome::Result::Made));
        QCOMPARE(notices.size(), 1);
    }

    void damagedRegisterIsNotCopied()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 40);
        {
            px::Table t(reg, px::Table::Mode::Shared);
            for (int day = 1; day <= 10; ++day)
                QCOMPARE(int(safetycopy::makeDaily(t, QDate(2027, 2, day)).result), int(safetycopy::Outcome::Result::Made));
        }
        const QString folder = safetycopy::folderOf(reg);
        const QMap<QString, QByteArray> good = folderBytes(folder);
        // The middle data block's record count made garbage.
        const Verification v = verify(reg);
        QVERIFY(v.ok() && v.chain.size() >= 3);
        QByteArray db = readFile(reg);
        put16(db, v.header.blockOffset(v.chain[1]) + 4, 0x7FFF);
        QVERIFY(writeFile(reg, db));

        QStringList notices;
        safetycopy::DailySafetyCopy daily;
        daily.setClock([] { return QDate(2027, 3, 1); });
        daily.setNotice([&](const QString &m) { notices << m; });
        px::Table t(reg, px::Table::Mode::Shared);
        daily.beforeChange(t);
        QCOMPARE(int(daily.lastOutcome().result), int(safetycopy::Outcome::Result::Failed));
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains(u"o cadastro não passou na verificação"), qPrintable(notices[0]));
        QVERIFY(folderBytes(folder) == good);  // nothing added, nothing of the ten removed
    }

    // A copy whose bytes do not read back as they were read (a medium that drops part of a
    // write) never counts, and nothing of it stays.
    void copyThatDoesNotReadBackIsRefused()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 30);
        const QString folder = safetycopy::folderOf(reg);
        struct HalfWrites : px::io::Hook
        {
            QString folder;
            px::io::Verdict before(const px::io::Event &e) override
            {
                px::io::Verdict v;
                if (e.op == px::io::Op::Write && e.path.startsWith(folder) && e.length > 1)
                    v.writeOnly = e.length / 2;
                return v;
            }
        } half;
        half.folder = folder;
        px::io::install(&half);
        QStringList notices;
        safetycopy::DailySafetyCopy daily;
        daily.setClock([] { return QDate(2027, 3, 1); });
        daily.setNotice([&](const QString &m) { notices << m; });
        px::Table t(reg, px::Table::Mode::Shared);
        daily.beforeChange(t);
        px::io::install(nullptr);
        QCOMPARE(int(daily.lastOutcome().result), int(safetycopy::Outcome::Result::Failed));
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains(u"não confere com o cadastro"), qPrintable(notices[0]));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        t.append(bl(70));
        QCOMPARE(rowsOf(reg).size(), 31);
    }

    // Another program's delete torn by the medium leaves a journal: its raw bytes are half old,
    // half new, so they are not copied; the change itself rolls the journal back and goes on.
    void tornWriteLeftByAnotherIsNotCopied()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 6);
        const QVector<QVector<px::Value>> before = rowsOf(reg);
        // The program's register, open before the other program's write is torn.
        std::optional<px::Table> t;
        const QString memo = safetycopy::memoOf(reg);
        const QByteArray pristineDb = readFile(reg), pristineMb = readFile(memo);
        const auto deleteFirst = [&] {
            px::Table other(reg, px::Table::Mode::Shared);
            const auto pos = other.at(0);
            other.remove(*pos, other.readRaw(*pos));
        };
        pxtest::TearHook hook;
        hook.count();
        deleteFirst();
        int torn = -1;
        for (int i = 0; i < int(hook.writes().size()); ++i)
            if (hook.writes()[size_t(i)].path == reg && hook.writes()[size_t(i)].length > 512)
                torn = i;
        QVERIFY(torn >= 0);
        QVERIFY(writeFile(reg, pristineDb) && writeFile(memo, pristineMb));
        t.emplace(reg, px::Table::Mode::Shared);
        hook.arm(torn, 512);
        try {
            deleteFirst();
        } catch (const std::exception &) {
        }
        QVERIFY(hook.torn());
        hook.count();
        QVERIFY(px::Journal::exists(reg));

        QStringList notices;
        safetycopy::DailySafetyCopy daily;
        daily.setClock([] { return QDate(2027, 3, 1); });
        daily.setNotice([&](const QString &m) { notices << m; });
        daily.beforeChange(*t);
        QCOMPARE(int(daily.lastOutcome().result), int(safetycopy::Outcome::Result::Failed));
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains(u"gravação interrompida"), qPrintable(notices[0]));
        QCOMPARE(QDir(safetycopy::folderOf(reg)).entryList(QDir::Files | QDir::Hidden), QStringList());
        t->append(bl(60));
        QVERIFY(!px::Journal::exists(reg));
        const QVector<QVector<px::Value>> after = rowsOf(reg);
        QCOMPARE(after.size(), before.size() + 1);
        QVERIFY(sameRows(after.mid(0, before.size()), before));
    }

    void restorePutsTheCopyBack()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 5);
        const QDate day(2027, 3, 1);
        {
            px::Table t(reg, px::Table::Mode::Shared);
            safetycopy::makeDaily(t, day);
            t.append(bl(60));
            t.remove(*t.first(), t.readRaw(*t.first()));
        }
        const QString copy = safetycopy::dailyPath(reg, day);
        const Snapshot chosen = snapshot(copy);
        const Snapshot current = snapshot(reg);
        const QDateTime now(QDate(2027, 3, 2), QTime(10, 11, 12));

        {
            // Refused, with nothing changed, while another process has the register open.
            const std::unique_ptr<Holder> other = holdInChild(reg, px::Table::Mode::ReadOnly);
            QVERIFY(other->result.opened);
            try {
                safetycopy::restore(reg, day, now);
                QFAIL("restored while the register was open");
            } catch (const DataError &e) {
                QVERIFY2(e.message().contains(u"está aberto"), qPrintable(e.message()));
            }
            QVERIFY(snapshot(reg) == current);
            QCOMPARE(QDir(safetycopy::folderOf(reg)).entryList(QDir::Files).size(), 2);
        }
        QVERIFY_THROWS_EXCEPTION(DataError, safetycopy::restore(reg, day.addDays(1), now));

        const QString kept = safetycopy::restore(reg, day, now);
        QCOMPARE(QFileInfo(kept).fileName(), QStringLiteral("BlCorvane-antes-da-restauracao-2027-03-02-101112.DB"));
        QVERIFY(snapshot(reg) == chosen);
        QVERIFY(snapshot(kept) == current);
        QVERIFY(snapshot(copy) == chosen);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("BlCorvane.DB"), QStringLiteral("BlCorvane.MB")}));
        QVERIFY(px::Table(reg, px::Table::Mode::Shared).check().isEmpty());

        // A register gone altogether comes back too.
        QVERIFY(QFile::remove(reg) && QFile::remove(memoFileOf(reg)));
        QCOMPARE(safetycopy::restore(reg, day, now.addSecs(1)), QString());
        QVERIFY(snapshot(reg) == chosen);

        // A damaged copy is refused and the register stays as it is.
        QByteArray bad = chosen.db;
        put16(bad, 0x0C, 0x7777);
        QVERIFY(writeFile(copy, bad));
        QVERIFY_THROWS_EXCEPTION(DataError, safetycopy::restore(reg, day, now.addSecs(2)));
        QVERIFY(snapshot(reg) == chosen);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString role = childRole();
    if (!role.isEmpty()) {
        const QStringList args = app.arguments().mid(1);
        if (role == QLatin1String("writer"))
            return writerChild(args);
        return runStandardChild(role, args);
    }
    TestSafetyCopy tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_safetycopy.moc"
