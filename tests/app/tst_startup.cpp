// Start-up: one copy per desktop. The key and the lock as plain objects, then the real
// program started as child processes. A second copy has nobody to press OK: it runs as this
// test program in the role "program", the program's own start-up with a test answerer that
// reports the box it meets on standard error and presses OK.

#include "BLApplication.h"
#include "BLRecord.h"
#include "PxTable.h"
#include "PxTestUtil.h"
#include "SingleInstance.h"
#include "Startup.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <memory>

using blapp::SingleInstance;

namespace {

QString programPath()
{
    // The program is built beside bl-tool.
    return QFileInfo(QStringLiteral(BL_TOOL_PATH)).dir().filePath(QStringLiteral("bl-emissao"));
}

// The pid recorded in a lock file, or 0 when there is no readable lock.
qint64 lockOwner(const QString &path)
{
    if (!QFileInfo::exists(path))
        return 0;
    qint64 pid = 0;
    QString host, app;
    return QLockFile(path).getLockInfo(&pid, &host, &app) ? pid : 0;
}

// Waits until the lock file names pid; false when it does not within the time.
bool waitForOwner(const QString &path, qint64 pid, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (lockOwner(path) == pid)
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work;        // the current directory of the children, with a register
    QTemporaryDir m_runtime;     // their XDG_RUNTIME_DIR
    QTemporaryDir m_otherRuntime;  // another session's runtime folder on the same display
    QStringList m_locks;         // lock files the children may leave behind in the shared folder
    QList<QProcess *> m_children;
    int m_displayCounter = 0;

    QString freshDisplay()
    {
        // Displays no real desktop uses, so a running copy of the machine is never met.
        return QStringLiteral(":bltest%1-%2").arg(QCoreApplication::applicationPid()).arg(++m_displayCounter);
    }

    QString lockPathFor(const QString &display)
    {
        const QString path = SingleInstance(blapp::desktopKey(QString::number(::getuid()), display)).lockPath();
        m_locks << path;
        return path;
    }

    // The built program, or (answering) this test program running the program's start-up.
    QProcess *start(const QString &display, bool answering = false, const QString &runtimeDir = QString())
    {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.isEmpty() ? m_runtime.path() : runtimeDir);
        if (answering)
            env.insert(QStringLiteral("PXTEST_ROLE"), QStringLiteral("program"));
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(m_work.path());
        p->setProgram(answering ? QCoreApplication::applicationFilePath() : programPath());
        p->start();
        m_children.append(p);
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        QVERIFY(m_runtime.isValid());
        QVERIFY(m_otherRuntime.isValid());
        QVERIFY2(!blapp::defaultLockDirectory().isEmpty(), "no private folder for the lock files");
        QVERIFY2(QFileInfo(programPath()).isExecutable(), "bl-emissao must be built beside bl-tool");
        px::Table::create(QDir(m_work.path()).filePath(QString::fromLatin1(blrecord::RegisterFile)),
                          blrecord::registerFields());
    }

    void cleanupTestCase()
    {
        for (QProcess *p : std::as_const(m_children)) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        // Killed children leave their locks in the user's shared lock folder.
        for (const QString &lock : std::as_const(m_locks))
            QFile::remove(lock);
    }

    void keySeparatesDesktops()
    {
        using blapp::desktopKey;
        // The same desktop, however the display is spelled.
        QCOMPARE(desktopKey(QStringLiteral("1000"), QStringLiteral(":0")),
                 desktopKey(QStringLiteral("1000"), QStringLiteral(":0.0")));
        QCOMPARE(blapp::normalisedDisplay(QStringLiteral("host.example:10.1")), QStringLiteral("host.example:10"));
        QCOMPARE(desktopKey(QStringLiteral("1000"), QStringLiteral(":0")),
                 desktopKey(QStringLiteral("1000"), QStringLiteral("unix:0.0")));
        QCOMPARE(blapp::normalisedDisplay(QStringLiteral("wayland-0")), QStringLiteral("wayland-0"));
        // Other users, other displays, no display: all apart.
        const QStringList keys = {
            desktopKey(QStringLiteral("1000"), QStringLiteral(":0")),
            desktopKey(QStringLiteral("1001"), QStringLiteral(":0")),
            desktopKey(QStringLiteral("1000"), QStringLiteral(":1")),
            desktopKey(QStringLiteral("1000"), QString()),
            desktopKey(QStringLiteral("1000"), QStringLiteral("/run/user/1000/wayland-0")),
            desktopKey(QStringLiteral("1000"), QStringLiteral("_run_user_1000_wayland-0")),
        };
        for (int i = 0; i < keys.size(); ++i)
            for (int j = i + 1; j < keys.size(); ++j)
                QVERIFY2(keys[i] != keys[j], qPrintable(keys[i]));
        // Each key is one plain file name.
        for (const QString &k : keys)
            QVERIFY2(!k.contains(QLatin1Char('/')) && !k.contains(QLatin1Char(':')), qPrintable(k));
    }

    // The display is the window system's: on Wayland the compositor's socket wherever the
    // session's runtime folder says it lies, on X11 the display whatever the runtime folder.
    void sessionDisplayNamesTheWindowSystem()
    {
        using blapp::sessionDisplay;
        QCOMPARE(sessionDisplay(QStringLiteral("xcb"), QStringLiteral("wayland-0"), QStringLiteral(":1"), QStringLiteral("/run/user/7")),
                 QStringLiteral(":1"));
        QCOMPARE(sessionDisplay(QStringLiteral("xcb"), QString(), QStringLiteral(":1"), QStringLiteral("/a")),
                 sessionDisplay(QStringLiteral("xcb"), QString(), QStringLiteral(":1"), QStringLiteral("/b")));
        QCOMPARE(sessionDisplay(QStringLiteral("wayland"), QStringLiteral("wayland-0"), QStringLiteral(":1"), QStringLiteral("/run/user/7")),
                 QStringLiteral("/run/user/7/wayland-0"));
        QCOMPARE(sessionDisplay(QStringLiteral("wayland-egl"), QStringLiteral("/run/user/7/wayland-1"), QString(), QStringLiteral("/x")),
                 QStringLiteral("/run/user/7/wayland-1"));
        // Without an X11 display the Wayland socket is the only display there is.
        QCOMPARE(sessionDisplay(QStringLiteral("offscreen"), QStringLiteral("wayland-0"), QString(), QStringLiteral("/run/user/7/")),
                 QStringLiteral("/run/user/7/wayland-0"));
        QCOMPARE(sessionDisplay(QStringLiteral("offscreen"), QString(), QString(), QStringLiteral("/run/user/7")), QString());

        // One socket reached through a link to the runtime folder is one desktop.
        QTemporaryDir dir;
        const QString real = QDir(dir.path()).filePath(QStringLiteral("real"));
        QVERIFY(QDir().mkpath(real));
        QFile socket(QDir(real).filePath(QStringLiteral("wayland-9")));
        QVERIFY(socket.open(QIODevice::WriteOnly));
        socket.close();
        const QString link = QDir(dir.path()).filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(real, link));
        QCOMPARE(sessionDisplay(QStringLiteral("wayland"), QStringLiteral("wayland-9"), QString(), link),
                 sessionDisplay(QStringLiteral("wayland"), QStringLiteral("wayland-9"), QString(), real));
        QVERIFY(sessionDisplay(QStringLiteral("wayland"), QStringLiteral("wayland-9"), QString(), real)
                != sessionDisplay(QStringLiteral("wayland"), QStringLiteral("wayland-9"), QString(), dir.path()));
    }

    // The lock folder is the user's own whatever the session says, and a folder others could
    // write to is never used.
    void lockFolderIsPrivateAndFixed()
    {
        const QString folder = blapp::defaultLockDirectory();
        qputenv("XDG_RUNTIME_DIR", m_otherRuntime.path().toLocal8Bit());
        QCOMPARE(blapp::defaultLockDirectory(), folder);
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(blapp::defaultLockDirectory(), folder);
        const QFileInfo info(folder);
        QVERIFY(info.isDir() && !info.isSymLink());
        QCOMPARE(info.ownerId(), ::getuid());
        QVERIFY(!(info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther)));
    }

    void secondInstanceOnSameKeyIsRefused()
    {
        QTemporaryDir dir;
        const QString key = blapp::desktopKey(QStringLiteral("u"), QStringLiteral(":5"));
        auto first = std::make_unique<SingleInstance>(key, dir.path());
        QCOMPARE(first->acquire(), SingleInstance::Outcome::Acquired);
        QVERIFY(first->isHeld());

        SingleInstance second(key, dir.path());
        QCOMPARE(second.acquire(), SingleInstance::Outcome::AnotherCopy);
        QVERIFY(!second.isHeld());
        // Another display of the same user is another desktop.
        SingleInstance elsewhere(blapp::desktopKey(QStringLiteral("u"), QStringLiteral(":6")), dir.path());
        QCOMPARE(elsewhere.acquire(), SingleInstance::Outcome::Acquired);

        // Once the first copy ends, the desktop is free again.
        first.reset();
        QCOMPARE(second.acquire(), SingleInstance::Outcome::Acquired);
    }

    void lockThatCannotBeMadeDoesNotBlock()
    {
        SingleInstance nowhere(QStringLiteral("k"), QStringLiteral("/nonexistent-dir-for-bl-test"));
        QCOMPARE(nowhere.acquire(), SingleInstance::Outcome::Unavailable);
    }

    void warningBoxAsGiven()
    {
        const std::unique_ptr<QMessageBox> box = blapp::makeAlreadyRunningBox();
        QCOMPARE(box->windowTitle(), QStringLiteral("Warning"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->text(), QStringLiteral("VOCÊ JÁ TEM UMA CÓPIA ABERTA.\n\nEmissão de Bill of Lading.\n\n"
                                             "CORVANE do Brasil Ltda\n"));
        QCOMPARE(box->buttons().size(), 1);
        QVERIFY(box->button(QMessageBox::Ok));
    }

    // The real program: a second start on the same desktop shows the warning and ends with 0;
    // a start on another desktop runs; a copy that was killed does not block the next start.
    void realProgramIsSingleCopyPerDesktop()
    {
        const QString display = freshDisplay();
        const QString lock = lockPathFor(display);

        QProcess *first = start(display);
        QVERIFY(first->waitForStarted());
        QVERIFY2(waitForOwner(lock, first->processId()), qPrintable(first->readAllStandardError()));

        QProcess *second = start(display, true);
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QString shown = QString::fromUtf8(second->readAllStandardError());
        QVERIFY2(shown.endsWith(QStringLiteral("Warning|warning|") + blapp::alreadyRunningText()), qPrintable(shown));
        // The first copy is untouched and still holds its desktop.
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(lockOwner(lock), first->processId());

        const QString otherDisplay = freshDisplay();
        QProcess *other = start(otherDisplay);
        QVERIFY(other->waitForStarted());
        QVERIFY(waitForOwner(lockPathFor(otherDisplay), other->processId()));
        QCOMPARE(other->state(), QProcess::Running);

        // A crash leaves the lock file behind.
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(10000));
        QVERIFY(QFileInfo::exists(lock));
        QProcess *next = start(display);
        QVERIFY(next->waitForStarted());
        QVERIFY2(waitForOwner(lock, next->processId()), qPrintable(next->readAllStandardError()));
        QCOMPARE(next->state(), QProcess::Running);
    }

    // A second start on the same display from a session with another runtime folder (a
    // terminal, a remote shell, a launcher that sets its own) is the same desktop.
    void twoRuntimeFoldersOnOneDisplayAreOneDesktop()
    {
        const QString display = freshDisplay();
        const QString lock = lockPathFor(display);
        QProcess *first = start(display);
        QVERIFY(first->waitForStarted());
        QVERIFY2(waitForOwner(lock, first->processId()), qPrintable(first->readAllStandardError()));

        QProcess *second = start(display, true, m_otherRuntime.path());
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitCode(), 0);
        const QString shown = QString::fromUtf8(second->readAllStandardError());
        QVERIFY2(shown.endsWith(QStringLiteral("Warning|warning|") + blapp::alreadyRunningText()), qPrintable(shown));
        QCOMPARE(first->state(), QProcess::Running);
        first->terminate();
        QVERIFY(first->waitForFinished(10000));
    }
};

// The program as the child role runs it: its boxes are reported and answered with OK.
int runAnsweringProgram(int argc, char **argv)
{
    BLApplication app(argc, argv);
    auto *answerer = new QTimer(&app);
    QObject::connect(answerer, &QTimer::timeout, &app, [] {
        auto *b = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!b || !b->isVisible() || b->property("answered").toBool())
            return;
        b->setProperty("answered", true);
        const QString report = b->windowTitle() + QLatin1Char('|')
                               + (b->icon() == QMessageBox::Warning ? QStringLiteral("warning") : QStringLiteral("other"))
                               + QLatin1Char('|') + b->text();
        std::fputs(report.toUtf8().constData(), stderr);
        std::fflush(stderr);
        if (QAbstractButton *ok = b->button(QMessageBox::Ok))
            ok->click();
    });
    answerer->start(5);
    return blapp::runProgram(app);
}

int main(int argc, char **argv)
{
    if (pxtest::childRole() == QLatin1String("program"))
        return runAnsweringProgram(argc, argv);
    QApplication app(argc, argv);
    TestStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
