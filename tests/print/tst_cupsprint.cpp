// Real printing: the test starts a CUPS scheduler of its own (own configuration, spool and
// socket, so it never meets a system scheduler or another test run), first without any
// printer, then with a cups-pdf queue as the default printer, and prints a B/L through the
// print dialog. The job's PDF must arrive with one page.
//
// cups-pdf writes jobs to the requesting user's home ($HOME/PDF from the password file) and
// its backend runs only for root, so the test needs root; elsewhere it is skipped.

#include "ModalHelper.h"
#include "MsgDlg.h"
#include "PrintTestSupport.h"
#include "QRPreview.h"
#include "U_PortaImpressora.h"

#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace printtest;

namespace {

const char *const Cupsd = "/usr/sbin/cupsd";
const char *const Backend = "/usr/lib/cups/backend/cups-pdf";
const char *const Ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";

bool writeText(const QString &path, const QString &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) >= 0;
}

// Runs a CUPS client command against our scheduler; returns its output, or a null string.
QString client(const QString &program, const QStringList &args, QString *error = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (p.state() != QProcess::NotRunning)
            p.kill();
        if (error)
            *error = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput()) + QLatin1Char(' ');
}

QSet<QString> pdfFiles(const QString &dir)
{
    QSet<QString> out;
    for (QDirIterator it(dir, {QStringLiteral("*.pdf")}, QDir::Files); it.hasNext();)
        out.insert(it.next());
    return out;
}

int pdfPages(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return -1;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression re(QStringLiteral("Pages:\\s+(\\d+)"));
    const auto m = re.match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

class TestCupsPrint : public QObject
{
    Q_OBJECT

    QProcess m_cupsd;
    QString m_root;  // our scheduler's folder
    QString m_socket;
    QString m_outDir;
    QStringList m_made;  // job files to remove afterwards

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        if (geteuid() != 0)
            QSKIP("the cups-pdf backend runs only for root");
        for (const char *f : {Cupsd, Backend, Ppd})
            QVERIFY2(QFile::exists(QLatin1String(f)),
                     qPrintable(QStringLiteral("%1 is missing: run scripts/install-deps.sh").arg(QLatin1String(f))));
        const passwd *lp = getpwnam("lp");
        QVERIFY2(lp, "no user lp for the scheduler to run filters as");
        const passwd *me = getpwuid(geteuid());
        QVERIFY(me);
        m_outDir = QString::fromLocal8Bit(me->pw_dir) + QStringLiteral("/PDF");

        // A short folder name: a socket path must stay under about 100 bytes.
        char tmpl[] = "/tmp/blcups.XXXXXX";
        QVERIFY(mkdtemp(tmpl));
        m_root = QString::fromLatin1(tmpl);
        for (const char *sub : {"etc", "spool", "cache", "run", "log"})
            QVERIFY(QDir(m_root).mkdir(QLatin1String(sub)));
        QVERIFY(chmod(tmpl, 0755) == 0);
        for (const char *sub : {"spool", "cache"})
            QVERIFY(chown(QString(m_root + QLatin1Char('/') + QLatin1String(sub)).toLocal8Bit().constData(), lp->pw_uid,
                          lp->pw_gid) == 0);
        m_socket = m_root + QStringLiteral("/run/cups.sock");
        const QString group = QString::fromLocal8Bit(getgrgid(lp->pw_gid) ? getgrgid(lp->pw_gid)->gr_name : "lp");
        QVERIFY(writeText(m_root + QStringLiteral("/etc/cupsd.conf"),
                          QStringLiteral("Listen %1\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                         "DefaultAuthType None\n"
                                         "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                         "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                                         "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                                         "</Policy>\n")
                              .arg(m_socket)));
        QVERIFY(writeText(m_root + QStringLiteral("/etc/cups-files.conf"),
                          QStringLiteral("SystemGroup root\nUser lp\nGroup %2\nServerRoot %1/etc\n"
                                         "RequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/run\n"
                                         "TempDir %1/spool\nErrorLog %1/log/error_log\n"
                                         "AccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                                         "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                         "Printcap /dev/null\n")
                              .arg(m_root, group)));
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(QLatin1String(Cupsd), {QStringLiteral("-f"), QStringLiteral("-c"), m_root + QStringLiteral("/etc/cupsd.conf"),
                                             QStringLiteral("-s"), m_root + QStringLiteral("/etc/cups-files.conf")});
        QVERIFY2(m_cupsd.waitForStarted(10000), "cupsd did not start");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_socket) || m_cupsd.state() == QProcess::NotRunning, 20000);
        QVERIFY2(m_cupsd.state() == QProcess::Running, m_cupsd.readAll().constData());

        // Every CUPS client of this process, Qt's included, speaks to our scheduler only.
        qputenv("CUPS_SERVER", m_socket.toLocal8Bit());
        qunsetenv("PRINTER");
        qunsetenv("LPDEST");
        QVERIFY(!client(QStringLiteral("lpstat"), {QStringLiteral("-r")}).isNull());
    }

    void cleanupTestCase()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished(5000);
            }
        }
        for (const QString &f : std::as_const(m_made))
            QFile::remove(f);
        if (!m_root.isEmpty())
            QDir(m_root).removeRecursively();
    }

    void withoutPrinterTheClerkIsTold()
    {
        Register reg({fullBL(QStringLiteral("CUPS-0"))});
        report::setPrinterServices(nullptr);  // the CUPS services
        QVERIFY(!report::printerServices().hasPrinter());
        QString message;
        TF_PortaImpressora dialog;
        auto watch = modaltest::whenModal([&](QWidget *w) {
            auto *d = qobject_cast<TF_PortaImpressora *>(w);
            auto box = modaltest::whenModal([&](QWidget *b) {
                if (auto *l = b->findChild<QLabel *>(QStringLiteral("Message")))
                    message = l->text();
                b->findChild<QPushButton *>(TMsgDlg::buttonName(mbCancel))->click();
            });
            d->BB_OK->click();
        });
        dialog.exec();
        QVERIFY(watch->acted);
        QVERIFY2(message.contains(QStringLiteral("impressora instalada")), qPrintable(message));
    }

    void printsThroughThePrintDialog()
    {
        QString error;
        QVERIFY2(!client(QStringLiteral("lpadmin"),
                         {QStringLiteral("-p"), QStringLiteral("PDF"), QStringLiteral("-E"), QStringLiteral("-v"),
                          QStringLiteral("cups-pdf:/"), QStringLiteral("-P"), QLatin1String(Ppd)},
                         &error)
                      .isNull(),
                 qPrintable(error));
        QVERIFY2(!client(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("PDF")}, &error).isNull(),
                 qPrintable(error));

        Register reg({fullBL(QStringLiteral("CUPS-1"))});
        report::setPrinterServices(nullptr);
        report::PrinterServices &cups = report::printerServices();
        QCOMPARE(cups.printers(), QStringList({QStringLiteral("PDF")}));
        QCOMPARE(cups.defaultPrinter(), 0);

        const QSet<QString> before = pdfFiles(m_outDir);
        QString label5;
        TF_PortaImpressora dialog;
        auto watch = modaltest::whenModal([&](QWidget *w) {
            auto *d = qobject_cast<TF_PortaImpressora *>(w);
            label5 = d->Label5->text();
            d->BB_OK->click();
        });
        dialog.exec();
        QVERIFY(watch->acted);
        QCOMPARE(label5, QStringLiteral("PDF"));

        // The job goes through the scheduler, its filters and the backend: wait for the file.
        QString arrived;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QSet<QString> now = pdfFiles(m_outDir) - before;
                for (const QString &f : now) {
                    if (!m_made.contains(f))
                        m_made.append(f);
                    if (pdfPages(f) > 0)
                        arrived = f;
                }
                return !arrived.isEmpty();
            }(),
            90000);
        QCOMPARE(pdfPages(arrived), 1);
        QCOMPARE(pdfFiles(m_outDir) - before, QSet<QString>({arrived}));  // one job
    }
};

QTEST_MAIN(TestCupsPrint)
#include "tst_cupsprint.moc"
