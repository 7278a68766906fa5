#pragma once

// One copy of the program per desktop. A running copy holds a lock file named after the user
// and the display it shows on; a second start on the same desktop finds the lock held and
// refuses to run. A lock left behind by a copy that crashed is stale (its process is gone)
// and does not block a new start.

#include <QString>

#include <memory>

class QLockFile;

namespace blapp {

// ":0.0", ":0" and "unix:0" are the same desktop: the screen number after the display number
// and the local transport are dropped.
QString normalisedDisplay(const QString &display);
// The desktop a copy belongs to: the user and the display, as one file-name-safe key.
// An empty display (no window system named) is a desktop of its own.
QString desktopKey(const QString &user, const QString &display);
// The display a copy shows on, from its window system and session: on Wayland the
// compositor's socket as a full path (WAYLAND_DISPLAY may name it inside the runtime folder;
// a socket reached through two spellings of that folder is one desktop), otherwise the X11
// display.
QString sessionDisplay(const QString &platform, const QString &waylandDisplay, const QString &x11Display,
                       const QString &runtimeDir);
// The key of this process: its user id and the display of its window system. Call it after
// the application object exists, which chooses the window system.
QString currentDesktopKey();
// Where the lock files live: the user's own runtime folder /run/user/UID, else a private
// folder in /tmp. Neither comes from the session's environment, so copies started with
// different XDG_RUNTIME_DIR (a terminal, a remote shell, a launcher) still meet. Empty when
// neither is safe to use (owned by someone else, open to others).
QString defaultLockDirectory();

class SingleInstance
{
public:
    enum class Outcome {
        Acquired,     // this is the only copy on the desktop
        AnotherCopy,  // a running copy holds the key
        Unavailable,  // the lock could not be made (no room, no rights): run unguarded
    };

    explicit SingleInstance(const QString &key, const QString &directory = defaultLockDirectory());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // Takes the key for the life of this object; returns at once.
    Outcome acquire();
    bool isHeld() const;
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace blapp
