// bl-tool pdf-bl as scripts use it: a register made by the tool itself, the B/L rendered to
// PDF without any display, the regional settings taken from LANG.

#include "ProcessRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

struct Result
{
    int code = -1;
    QString err;
};

Result runTool(const QStringList &args, const QString &lang, const QByteArray &input = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // As from a script on a server: no display and no platform chosen.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_NUMERIC"));
    env.insert(QStringLiteral("LANG"), lang);
    const ProcessRun run = runProcess(QStringLiteral(BL_TOOL_PATH), args, {.input = input, .env = env, .timeoutMs = 120000});
    return {run.code, QString::fromUtf8(run.err)};
}

QString command(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestBlToolPdf : public QObject
{
    Q_OBJECT
private slots:
    void rendersTheFirstMatchingBL()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("BlCorvane.DB"));
        QCOMPARE(runTool({QStringLiteral("create"), QStringLiteral("register"), db}, QStringLiteral("C")).code, 0);
        const QByteArray rows =
            R"({"Bl_AgentRef":"OTHER","Bl_Shipper1":"NOT THIS ONE","Bl_Gross1":1.0})" "\n"
            R"({"Bl_AgentRef":"REF-1","Bl_Shipper1":"FIRST SHIPPER","Bl_Gross1":1234567.5,"Bl_Gross2":"KGS","Bl_Marks2":"ONE\r\nTWO"})" "\n"
            R"({"Bl_AgentRef":"REF-1","Bl_Shipper1":"SECOND SHIPPER","Bl_Gross1":2.0})" "\n";
        QCOMPARE(runTool({QStringLiteral("import"), db}, QStringLiteral("C"), rows).code, 0);

        const QString br = dir.filePath(QStringLiteral("br.pdf"));
        const Result r = runTool({QStringLiteral("pdf-bl"), db, QStringLiteral("--ref"), QStringLiteral("REF-1"),
                                  QStringLiteral("-o"), br},
                                 QStringLiteral("pt_BR.UTF-8"));
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(command(QStringLiteral("pdfinfo"), {br}).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))));
        const QString text = command(QStringLiteral("pdftotext"), {br, QStringLiteral("-")});
        QVERIFY(text.contains(QStringLiteral("FIRST SHIPPER")));
        QVERIFY(!text.contains(QStringLiteral("SECOND SHIPPER")));
        QVERIFY(text.contains(QStringLiteral("1.234.567,500")));
        QVERIFY(text.contains(QStringLiteral("0,000")));  // the empty net weight
        QVERIFY(text.contains(QStringLiteral("ONE")) && text.contains(QStringLiteral("TWO")));

        const QString us = dir.filePath(QStringLiteral("us.pdf"));
        QCOMPARE(runTool({QStringLiteral("pdf-bl"), db, QStringLiteral("--ref"), QStringLiteral("REF-1"),
                          QStringLiteral("-o"), us},
                         QStringLiteral("en_US.UTF-8"))
                     .code,
                 0);
        QVERIFY(command(QStringLiteral("pdftotext"), {us, QStringLiteral("-")}).contains(QStringLiteral("1,234,567.500")));

        // A PDF that cannot be written whole is an error naming the file.
        const QString missingFolder = dir.filePath(QStringLiteral("no/such/folder/bl.pdf"));
        Result failed = runTool({QStringLiteral("pdf-bl"), db, QStringLiteral("--ref"), QStringLiteral("REF-1"),
                                 QStringLiteral("-o"), missingFolder},
                                QStringLiteral("C"));
        QCOMPARE(failed.code, 2);
        QVERIFY(failed.err.contains(missingFolder));
    }

    void fullMediumIsAnError()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("BlCorvane.DB"));
        QCOMPARE(runTool({QStringLiteral("create"), QStringLiteral("register"), db}, QStringLiteral("C")).code, 0);
        QCOMPARE(runTool({QStringLiteral("import"), db}, QStringLiteral("C"), R"({"Bl_AgentRef":"REF-1"})" "\n").code, 0);
        // A device that is always full, made here so nothing outside the test can suffer.
        const QString full = dir.filePath(QStringLiteral("full"));
        if (::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QSKIP("making a device node needs root");
        const Result r = runTool({QStringLiteral("pdf-bl"), db, QStringLiteral("--ref"), QStringLiteral("REF-1"),
                                  QStringLiteral("-o"), full},
                                 QStringLiteral("C"));
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(full));
        // Written in place, never replaced by a regular file.
        QVERIFY(!QFileInfo(full).isFile());
    }

    void refusesWhatItCannotRender()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("BlCorvane.DB"));
        QCOMPARE(runTool({QStringLiteral("create"), QStringLiteral("register"), db}, QStringLiteral("C")).code, 0);
        const QString out = dir.filePath(QStringLiteral("none.pdf"));
        Result r = runTool({QStringLiteral("pdf-bl"), db, QStringLiteral("--ref"), QStringLiteral("ref-1"),
                            QStringLiteral("-o"), out},
                           QStringLiteral("pt_BR.UTF-8"));
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(QStringLiteral("ref-1")));
        QVERIFY(!QFile::exists(out));

        r = runTool({QStringLiteral("pdf-bl"), dir.filePath(QStringLiteral("missing.DB")), QStringLiteral("--ref"),
                     QStringLiteral("X"), QStringLiteral("-o"), out},
                    QStringLiteral("pt_BR.UTF-8"));
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.isEmpty());

        // Missing arguments: usage, exit 2.
        QCOMPARE(runTool({QStringLiteral("pdf-bl"), db, QStringLiteral("--ref"), QStringLiteral("X")},
                         QStringLiteral("C"))
                     .code,
                 2);
        QCOMPARE(runTool({QStringLiteral("pdf-bl"), db, QStringLiteral("-o"), out}, QStringLiteral("C")).code, 2);
    }
};

QTEST_GUILESS_MAIN(TestBlToolPdf)
#include "tst_bltool_pdf.moc"
