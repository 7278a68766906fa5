#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

namespace blapp {

QString normalisedDisplay(const QString &display)
{
    QString d = display.trimmed();
    if (d.startsWith(QLatin1String("unix:")))
        d.remove(0, 4);
    const qsizetype colon = d.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return d;
    const qsizetype dot = d.indexOf(QLatin1Char('.'), colon + 1);
    return dot < 0 ? d : d.left(dot);
}

QString desktopKey(const QString &user, const QString &display)
{
    // Percent-encoding keeps distinct displays distinct and the name free of '/'.
    const QString shown = display.isEmpty() ? QStringLiteral("none") : normalisedDisplay(display);
    return QStringLiteral("bl-emissao-%1-%2")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(user)),
             QString::fromLatin1(QUrl::toPercentEncoding(shown)));
}

QString sessionDisplay(const QString &platform, const QString &waylandDisplay, const QString &x11Display,
                       const QString &runtimeDir)
{
    const bool wayland = !waylandDisplay.isEmpty() && (platform.startsWith(QLatin1String("wayland")) || x11Display.isEmpty());
    if (!wayland)
        return x11Display;
    const QString socket = QDir::isAbsolutePath(waylandDisplay) || runtimeDir.isEmpty()
                               ? waylandDisplay
                               : QDir(runtimeDir).filePath(waylandDisplay);
    const QString real = QFileInfo(socket).canonicalFilePath();
    return real.isEmpty() ? QDir::cleanPath(socket) : real;
}

QString currentDesktopKey()
{
    return desktopKey(QString::number(::getuid()),
                      sessionDisplay(QGuiApplication::platformName(), qEnvironmentVariable("WAYLAND_DISPLAY"),
                                     qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("XDG_RUNTIME_DIR")));
}

namespace {

// A folder only this user can write to, not reached through a link.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
           && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

QString defaultLockDirectory()
{
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray runtime = "/run/user/" + uid;
    if (isPrivateFolder(runtime))
        return QString::fromLatin1(runtime);
    const QByteArray own = "/tmp/bl-emissao-" + uid;
    ::mkdir(own.constData(), 0700);  // may exist already: checked below either way
    return isPrivateFolder(own) ? QString::fromLatin1(own) : QString();
}

SingleInstance::SingleInstance(const QString &key, const QString &directory)
    : m_path(directory.isEmpty() ? QString() : QDir(directory).filePath(key + QStringLiteral(".lock")))
{
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::acquire()
{
    if (isHeld())
        return Outcome::Acquired;
    if (m_path.isEmpty())
        return Outcome::Unavailable;
    auto lock = std::make_unique<QLockFile>(m_path);
    // The program runs for hours: only a dead owner makes a lock stale, never its age.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        return Outcome::Acquired;
    }
    return lock->error() == QLockFile::LockFailedError ? Outcome::AnotherCopy : Outcome::Unavailable;
}

bool SingleInstance::isHeld() const
{
    return m_lock && m_lock->isLocked();
}

} // namespace blapp
