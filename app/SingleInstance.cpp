#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QUrl>

#include <unistd.h>

namespace blapp {

QString normalisedDisplay(const QString &display)
{
    const QString d = display.trimmed();
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

QString currentDesktopKey()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    return desktopKey(QString::number(::getuid()), display);
}

QString defaultLockDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

SingleInstance::SingleInstance(const QString &key, const QString &directory)
    : m_path(QDir(directory).filePath(key + QStringLiteral(".lock")))
{
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::acquire()
{
    if (isHeld())
        return Outcome::Acquired;
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
