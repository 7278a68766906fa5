// Only regular files are tables: a FIFO, a device or a folder named like a table (or like its
// memo file) is refused at once with a message that says what it is, by bl-tool's dump, check
// and import and by the open the chooser's ABRIR makes; nothing waits on a FIFO's writer.

#include "BLRecord.h"
#include "BLTransfer.h"
#include "PxTestUtil.h"
#include "Table.h"
#include "paradox/PxError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace pxtest;

class TestNonRegularFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A hang is what this guards against: the watchdog names the case and ends the run.
        startWatchdog(120);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("FIFO") << QStringLiteral("fifo") << QStringLiteral("é um FIFO");
        QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("é uma pasta");
        QTest::newRow("device") << QStringLiteral("device") << QStringLiteral("é um dispositivo");
        QTest::newRow("FIFO as the memo file") << QStringLiteral("memo-fifo") << QStringLiteral("é um FIFO");
    }

    void refused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        setCase(kind);
        const QString dir = m_dir.filePath(kind);
        QVERIFY(QDir().mkpath(dir));
        const QString db = dir + QStringLiteral("/BL091226.DB");
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(db).constData(), 0644), 0);
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkpath(db));
        } else if (kind == u"device") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), db));
        } else {
            px::Table::create(db, blrecord::transferFields());
            const QString mb = dir + QStringLiteral("/BL091226.MB");
            QVERIFY(QFile::remove(mb));
            QCOMPARE(::mkfifo(QFile::encodeName(mb).constData(), 0644), 0);
        }

        for (const QString &command : {QStringLiteral("dump"), QStringLiteral("check"), QStringLiteral("import")}) {
            const ToolResult r = runTool({command, db}, "{\"Di_Agentref\":\"X\"}\n");
            QVERIFY2(r.code == 2, qPrintable(command + QStringLiteral(": exit %1: %2").arg(r.code).arg(r.err)));
            QVERIFY2(r.err.contains(said), qPrintable(command + QStringLiteral(": ") + r.err));
            QVERIFY2(r.err.contains(QStringLiteral("BL091226")), qPrintable(r.err));
        }

        // The chooser's ABRIR: the transfer table pointed at the chosen file and opened.
        Table transfer;
        bltransfer::pointAt(transfer, db);
        try {
            transfer.open();
            QFAIL("opened");
        } catch (const px::EngineError &e) {
            QVERIFY2(e.message().contains(said), qPrintable(e.message()));
        }
        QVERIFY(!transfer.isActive());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestNonRegularFiles)
#include "tst_nonregularfiles.moc"
