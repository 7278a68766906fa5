// bl-tool backups and restore, run as support staff run them.

#include "BLRecord.h"
#include "PxTestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace pxtest;

namespace {

QString folderOf(const QString &dir)
{
    return QDir(dir).filePath(QStringLiteral("Cópias de segurança"));
}

// A register of count B/Ls; a daily copy is the register's bytes under its dated name.
QString makeRegister(const QString &dir, int count)
{
    const QString path = QDir(dir).filePath(QStringLiteral("BlCorvane.DB"));
    if (!QFileInfo::exists(path))
        px::Table::create(path, blrecord::registerFields());
    px::Table t(path, px::Table::Mode::Exclusive);
    while (t.recordCount() < quint32(count)) {
        QVector<px::Value> v(t.fields().size());
        v[t.fieldIndex(u"Bl_AgentRef")] = QStringLiteral("BK%1").arg(t.recordCount());
        v[t.fieldIndex(u"Bl_Marks2")] = patternText(t.recordCount(), 500);
        t.append(v);
    }
    return path;
}

void copyAs(const QString &reg, const QString &day)
{
    const QString base = QDir(folderOf(QFileInfo(reg).path())).filePath(QStringLiteral("BlCorvane-") + day);
    QVERIFY(QDir().mkpath(folderOf(QFileInfo(reg).path())));
    QVERIFY(copyFile(reg, base + QStringLiteral(".DB")));
    QVERIFY(copyFile(memoFileOf(reg), base + QStringLiteral(".MB")));
}

} // namespace

class TestBlToolBackups : public QObject
{
    Q_OBJECT

private slots:
    void listsTheCopies()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 3);
        ToolResult r = runTool({QStringLiteral("backups"), reg});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Nenhuma cópia de segurança em "));

        copyAs(reg, QStringLiteral("2027-03-01"));
        makeRegister(dir.path(), 5);
        copyAs(reg, QStringLiteral("2027-03-02"));
        r = runTool({QStringLiteral("backups"), reg});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("2027-03-02  5 registro(s)  OK\n2027-03-01  3 registro(s)  OK\n"));

        QVERIFY(QFile::remove(QDir(folderOf(dir.path())).filePath(QStringLiteral("BlCorvane-2027-03-01.MB"))));
        r = runTool({QStringLiteral("backups"), reg});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains("\n2027-03-01  danificada: "), r.out.constData());
    }

    void restoresAndRefusesWhileOpen()
    {
        QTemporaryDir dir;
        const QString reg = makeRegister(dir.path(), 3);
        copyAs(reg, QStringLiteral("2027-03-01"));
        const Snapshot chosen = snapshot(reg);
        makeRegister(dir.path(), 7);
        const Snapshot current = snapshot(reg);

        ToolResult r = runTool({QStringLiteral("restore"), reg, QStringLiteral("2027-02-30")});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(u"data inválida"));
        {
            const std::unique_ptr<Holder> program = holdInChild(reg, px::Table::Mode::Shared);
            QVERIFY(program->result.opened);
            r = runTool({QStringLiteral("restore"), reg, QStringLiteral("2027-03-01")});
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(u"está aberto"), qPrintable(r.err));
            QVERIFY(snapshot(reg) == current);
        }

        r = runTool({QStringLiteral("restore"), reg, QStringLiteral("2027-03-01")});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("restaurada") && r.out.contains(": 3 registro(s)\n"), r.out.constData());
        QVERIFY(snapshot(reg) == chosen);
        const QStringList kept = QDir(folderOf(dir.path())).entryList({QStringLiteral("BlCorvane-antes-da-restauracao-*.DB")});
        QCOMPARE(kept.size(), 1);
        QVERIFY(r.out.contains(kept[0].toUtf8()));
        QVERIFY(snapshot(QDir(folderOf(dir.path())).filePath(kept[0])) == current);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString role = childRole();
    if (!role.isEmpty())
        return runStandardChild(role, app.arguments().mid(1));
    TestBlToolBackups tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_bltool_backups.moc"
