// The Debian package as a clerk's desktop gets it: built from this tree with CPack, checked by
// lintian, unpacked into a temporary root with dpkg -x (no root needed), and the installed
// programs run from there: bl-tool's commands, the program until its entry window shows, and
// the menu entry's launcher on first use and on a register that exists.

#include "ProcessRun.h"
#include "TransferFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = ProcessRun;

// The tests run these commands with the test's environment unless told otherwise.
Run run(const QString &program, const QStringList &args, const QByteArray &input = {},
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), const QString &cwd = {})
{
    return runProcess(program, args, {.input = input, .env = env, .cwd = cwd});
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Starts a command under a virtual X server and waits until a window captioned as the entry
// window shows (the caption's "ã" is matched by any letter: xdotool's pattern follows the
// locale, which may not be installed); prints the started process's working folder, then ends it. Exit 0 when the
// window showed.
const char kShowScript[] =
    "\"$@\" & pid=$!\n"
    "timeout 60 xdotool search --sync --onlyvisible --name '^Emiss.+o de Bill of Lading$' >/dev/null\n"
    "shown=$?\n"
    "readlink /proc/$pid/cwd\n"
    "kill $pid 2>/dev/null; wait $pid 2>/dev/null\n"
    "exit $shown\n";

// A first copy until its entry window shows, then a second one with the variable the program's
// tests once used to answer its boxes: the second must show its warning and wait for the user,
// without reporting the box on standard error as that variable once made it. Exit 0 when so.
const char kSecondCopyScript[] =
    "\"$@\" & first=$!\n"
    "timeout 60 xdotool search --sync --onlyvisible --name '^Emiss.+o de Bill of Lading$' >/dev/null || exit 2\n"
    "BL_EMISSAO_TEST_ANSWER=1 \"$@\" 2>second.err & second=$!\n"
    "timeout 60 xdotool search --sync --onlyvisible --name '^Warning$' >/dev/null || exit 3\n"
    "kill -0 $second 2>/dev/null || exit 4\n"
    "kill $second $first 2>/dev/null; wait $second $first 2>/dev/null\n"
    "! grep -F 'Warning|' second.err || exit 5\n";

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_deb;
    QString m_root;

    QString installed(const QString &relative) const { return QDir(m_root).filePath(relative); }

    Run showWindow(const QStringList &command, QProcessEnvironment env, const QString &cwd)
    {
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // on the virtual X server, as on a desktop
        return run(QStringLiteral("xvfb-run"),
                   QStringList{QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
                               QStringLiteral("bash"), QStringLiteral("-c"), QString::fromUtf8(kShowScript),
                               QStringLiteral("show")}
                       + command,
                   {}, env, cwd);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        const QString out = m_work.filePath(QStringLiteral("pkg"));
        const Run cpack = run(QStringLiteral("cpack"),
                              {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                               QStringLiteral(BL_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out});
        QVERIFY2(cpack.code == 0, cpack.out + cpack.err);
        const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = QDir(out).filePath(debs.first());
        QCOMPARE(debs.first(), QStringLiteral("bl-emissao_" BL_VERSION "_amd64.deb"));

        m_root = m_work.filePath(QStringLiteral("root"));
        const Run x = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root});
        QVERIFY2(x.code == 0, x.err);
    }

    // Every file in its place, nothing else; the control fields from the project's version and
    // the computed dependencies plus what the program loads at run time.
    void contentsAndControl()
    {
        const Run list = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_deb});
        QCOMPARE(list.code, 0);
        QSet<QString> files;
        for (const QByteArray &line : list.out.split('\n')) {
            const QString path = QString::fromUtf8(line).section(QLatin1Char(' '), -1);
            if (!line.isEmpty() && !path.endsWith(QLatin1Char('/')))
                files << path;
        }
        const QSet<QString> expected{
            QStringLiteral("./usr/bin/bl-emissao"),
            QStringLiteral("./usr/bin/bl-tool"),
            QStringLiteral("./usr/libexec/bl-emissao/bl-emissao-launcher"),
            QStringLiteral("./usr/share/applications/bl-emissao.desktop"),
            QStringLiteral("./usr/share/bl-emissao/BLDisquete.DB"),
            QStringLiteral("./usr/share/bl-emissao/BLDisquete.MB"),
            QStringLiteral("./usr/share/doc/bl-emissao/changelog.gz"),
            QStringLiteral("./usr/share/doc/bl-emissao/copyright"),
            QStringLiteral("./usr/share/icons/hicolor/256x256/apps/bl-emissao.png"),
            QStringLiteral("./usr/share/icons/hicolor/48x48/apps/bl-emissao.png"),
            QStringLiteral("./usr/share/icons/hicolor/scalable/apps/bl-emissao.svg"),
            QStringLiteral("./usr/share/man/man1/bl-emissao.1.gz"),
            QStringLiteral("./usr/share/man/man1/bl-tool.1.gz"),
        };
        QCOMPARE(files, expected);
        for (const QString &exe : {QStringLiteral("usr/bin/bl-emissao"), QStringLiteral("usr/bin/bl-tool"),
                                   QStringLiteral("usr/libexec/bl-emissao/bl-emissao-launcher")})
            QVERIFY2(QFileInfo(installed(exe)).isExecutable(), qPrintable(exe));

        const auto field = [this](const char *name) {
            return QString::fromUtf8(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QString::fromLatin1(name)}).out).trimmed();
        };
        QCOMPARE(field("Package"), QStringLiteral("bl-emissao"));
        QCOMPARE(field("Version"), QStringLiteral(BL_VERSION));
        const QString depends = field("Depends");
        for (const char *dep : {"fonts-liberation2", "qt6-translations-l10n", "libqt6widgets6", "libqt6printsupport6",
                                "libjpeg62-turbo", "libc6"})
            QVERIFY2(depends.contains(QLatin1String(dep)), qPrintable(depends));

        // The icons are the sizes their folders promise.
        for (int size : {48, 256}) {
            const QImage icon(installed(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/bl-emissao.png").arg(size)));
            QCOMPARE(icon.size(), QSize(size, size));
        }

        // The menu entry starts the installed launcher, under the product's name, in Office.
        QFile desktop(installed(QStringLiteral("usr/share/applications/bl-emissao.desktop")));
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        const QString entry = QString::fromUtf8(desktop.readAll());
        QVERIFY(entry.contains(QStringLiteral("\nName=Emissão de Bill of Lading\n")));
        QVERIFY(entry.contains(QStringLiteral("\nExec=/usr/libexec/bl-emissao/bl-emissao-launcher\n")));
        QVERIFY(entry.contains(QStringLiteral("\nIcon=bl-emissao\n")));
        QVERIFY(entry.contains(QStringLiteral("\nCategories=Office;\n")));
        QVERIFY(entry.contains(QStringLiteral("\nComment=")));
    }

    // Debian's own checker finds no error; the manual pages render without a warning.
    void lintianAndManualPages()
    {
        const Run lintian = run(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("error"), m_deb});
        QVERIFY2(lintian.code == 0, lintian.out + lintian.err);
        QVERIFY2(!lintian.out.contains("\nE: ") && !lintian.out.startsWith("E: "), lintian.out.constData());

        for (const char *page : {"bl-emissao.1.gz", "bl-tool.1.gz"}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
            env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
            const Run man = run(QStringLiteral("man"),
                                {QStringLiteral("--warnings"), QStringLiteral("-l"),
                                 installed(QStringLiteral("usr/share/man/man1/") + QLatin1String(page))},
                                {}, env);
            QCOMPARE(man.code, 0);
            QVERIFY2(man.err.isEmpty(), man.err.constData());
            QVERIFY(man.out.contains("NOME") && man.out.contains(BL_VERSION));
        }
    }

    // The installed bl-tool does a support technician's round: version, create, import, dump,
    // check, and a printed B/L as PDF; and the installed template is an empty transfer table.
    void installedTool()
    {
        const QString tool = installed(QStringLiteral("usr/bin/bl-tool"));
        const Run version = run(tool, {QStringLiteral("--version")});
        QCOMPARE(version.out, QByteArray("bl-tool " BL_VERSION "\n"));

        QTemporaryDir dir;
        const QString reg = dir.filePath(QStringLiteral("BlCorvane.DB"));
        QCOMPARE(run(tool, {QStringLiteral("create"), QStringLiteral("register"), reg}).code, 0);
        const QByteArray rows = "{\"Bl_AgentRef\":\"REF-1\",\"Bl_Shipper1\":\"SERRA AZUL LTDA.\",\"Bl_Gross1\":1234.5}\n"
                                "{\"Bl_AgentRef\":\"REF-2\",\"Bl_Shipper1\":\"AÇÚCAR & CIA\"}\n";
        const Run import = run(tool, {QStringLiteral("import"), reg}, rows);
        QVERIFY2(import.code == 0, import.err);
        const Run dump = run(tool, {QStringLiteral("dump"), reg});
        QCOMPARE(dump.code, 0);
        QCOMPARE(dump.out.count('\n'), 3);
        QVERIFY(dump.out.contains("\"AÇÚCAR & CIA\""));
        QVERIFY(dump.out.contains("1234.5"));
        QCOMPARE(run(tool, {QStringLiteral("check"), reg}).code, 0);

        const QString pdf = dir.filePath(QStringLiteral("bl.pdf"));
        const Run bl = run(tool, {QStringLiteral("pdf-bl"), reg, QStringLiteral("--ref"), QStringLiteral("REF-1"),
                                  QStringLiteral("-o"), pdf});
        QVERIFY2(bl.code == 0, bl.err);
        QFile out(pdf);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY(out.read(5) == "%PDF-");

        // Fault injection is test machinery: the installed tool reads no BL_IO_FAULT and imports
        // as usual with it set (kill:5 would kill it at its fifth write, enospc:1 fail the first).
        for (const char *fault : {"enospc:1", "kill:5"}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("BL_IO_FAULT"), QString::fromLatin1(fault));
            const Run faulty = run(tool, {QStringLiteral("import"), reg}, rows, env);
            QVERIFY2(faulty.code == 0, qPrintable(QStringLiteral("%1: exit %2: %3").arg(QLatin1String(fault)).arg(faulty.code).arg(QString::fromUtf8(faulty.err))));
        }
        const Run after = run(tool, {QStringLiteral("dump"), reg});
        QCOMPARE(after.out.count('\n'), 7);  // the header and the two rows three times
        QCOMPARE(run(tool, {QStringLiteral("check"), reg}).code, 0);

        const Run tpl = run(tool, {QStringLiteral("dump"), installed(QStringLiteral("usr/share/bl-emissao/BLDisquete.DB"))});
        QCOMPARE(tpl.code, 0);
        QCOMPARE(tpl.out.count('\n'), 1);  // the header only
        QVERIFY(tpl.out.contains("\"Di_AgentRef\"") || tpl.out.contains("\"Di_Agentref\""));
    }

    // The installed program finds its template in the installed share folder, and starts on a
    // register until its entry window shows.
    void installedProgram()
    {
        QCOMPARE(transferfile::templateDirectoryFor(installed(QStringLiteral("usr/bin"))),
                 installed(QStringLiteral("usr/share/bl-emissao")));

        QTemporaryDir dir;
        const QString tool = installed(QStringLiteral("usr/bin/bl-tool"));
        QCOMPARE(run(tool, {QStringLiteral("create"), QStringLiteral("register"), dir.filePath(QStringLiteral("BlCorvane.DB"))}).code, 0);
        const Run shown = showWindow({installed(QStringLiteral("usr/bin/bl-emissao"))},
                                     QProcessEnvironment::systemEnvironment(), dir.path());
        QVERIFY2(shown.code == 0, shown.out + shown.err);

        // The installed program reads no test variable: a second copy asks as usual.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        const Run second = run(QStringLiteral("xvfb-run"),
                               {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
                                QStringLiteral("bash"), QStringLiteral("-c"), QString::fromUtf8(kSecondCopyScript),
                                QStringLiteral("second"), installed(QStringLiteral("usr/bin/bl-emissao"))},
                               {}, env, dir.path());
        QVERIFY2(second.code == 0, (QByteArray::number(second.code) + ": " + second.out + second.err).constData());
    }

    // First use from the menu: the launcher makes the documents folder's "BL" folder and an
    // empty register in it, and starts the program there. Later it leaves the register alone,
    // also when its name is in another case.
    void launcher()
    {
        QTemporaryDir home;
        QDir().mkpath(home.filePath(QStringLiteral(".config")));
        QFile dirs(home.filePath(QStringLiteral(".config/user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("# written by xdg-user-dirs-update\n"
                   "XDG_DESKTOP_DIR=\"$HOME/Área de Trabalho\"\n"
                   "XDG_DOCUMENTS_DIR=\"$HOME/Meus Documentos\"\n");
        dirs.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        const QString launcher = installed(QStringLiteral("usr/libexec/bl-emissao/bl-emissao-launcher"));
        const QString folder = home.filePath(QStringLiteral("Meus Documentos/BL"));
        const QString reg = QDir(folder).filePath(QStringLiteral("BlCorvane.DB"));

        const Run first = showWindow({launcher}, env, home.path());
        QVERIFY2(first.code == 0, first.out + first.err);
        QCOMPARE(QString::fromUtf8(first.out).trimmed(), QFileInfo(folder).canonicalFilePath());
        QVERIFY(QFileInfo::exists(reg) && QFileInfo::exists(QDir(folder).filePath(QStringLiteral("BlCorvane.MB"))));
        QCOMPARE(run(installed(QStringLiteral("usr/bin/bl-tool")), {QStringLiteral("check"), reg}).code, 0);

        // A register with a B/L in it is left as it is.
        QCOMPARE(run(installed(QStringLiteral("usr/bin/bl-tool")), {QStringLiteral("import"), reg},
                     "{\"Bl_AgentRef\":\"KEEP-1\"}\n").code, 0);
        const QByteArray before = fileHash(reg) + fileHash(QDir(folder).filePath(QStringLiteral("BlCorvane.MB")));
        const Run again = showWindow({launcher}, env, home.path());
        QVERIFY2(again.code == 0, again.out + again.err);
        QCOMPARE(fileHash(reg) + fileHash(QDir(folder).filePath(QStringLiteral("BlCorvane.MB"))), before);

        // A register named in another case is the register: no second one is made beside it.
        QVERIFY(QFile::rename(reg, QDir(folder).filePath(QStringLiteral("blcorvane.db"))));
        QVERIFY(QFile::rename(QDir(folder).filePath(QStringLiteral("BlCorvane.MB")), QDir(folder).filePath(QStringLiteral("blcorvane.mb"))));
        QCOMPARE(showWindow({launcher}, env, home.path()).code, 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({QStringLiteral("blcorvane.db"), QStringLiteral("blcorvane.mb")}));
    }
};

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
