#include "TransferFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace transferfile {

namespace {

std::function<QDate()> &clock()
{
    static std::function<QDate()> c;
    return c;
}

QString &templateOverride()
{
    static QString dir;
    return dir;
}

// Mount points in /proc/self/mounts escape blanks and a few other bytes as octal.
QString unescapeMount(const QByteArray &field)
{
    QByteArray out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int v = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && v > 0 && v < 256) {
                out.append(char(v));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

int writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        data += n;
        size -= n;
    }
    return 0;
}

// Gives a finished file its name without replacing an existing one (FAT has neither the
// no-replace rename nor hard links: there, a look and a rename).
bool placeNew(const QByteArray &from, const QByteArray &to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 1u /* RENAME_NOREPLACE */) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    struct stat st;
    return ::lstat(to.constData(), &st) != 0 && ::rename(from.constData(), to.constData()) == 0;
}

} // namespace

QDate today()
{
    return clock() ? clock()() : QDate::currentDate();
}

void setClock(std::function<QDate()> c)
{
    clock() = std::move(c);
}

QString defaultName(const QDate &date)
{
    return QStringLiteral("BL") + date.toString(QStringLiteral("ddMMyy"));
}

QString newDialogTitle()
{
    return QStringLiteral("NEW - Bill of Lading - Emissão");
}

QString openDialogTitle()
{
    return QStringLiteral("OPEN - Bill of Lading - Emissão");
}

QString filterText()
{
    return QStringLiteral("Arquivos de BL |*.DB");
}

QStringList nameFilters()
{
    // The description as designed; the patterns list the lower-case extension too, since
    // file names here keep their case.
    return {QStringLiteral("Arquivos de BL  (*.DB *.db)")};
}

QString removableMedium(const QString &mountsText, const QString &user)
{
    QStringList points;
    for (const QString &line : mountsText.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QList<QByteArray> parts = line.toUtf8().split(' ');
        if (parts.size() >= 2)
            points << unescapeMount(parts[1]);
    }
    const QStringList roots = {QStringLiteral("/media/") + user, QStringLiteral("/run/media/") + user,
                               QStringLiteral("/media")};
    for (const QString &root : roots) {
        QStringList found;
        for (const QString &p : points) {
            if (!p.startsWith(root + QLatin1Char('/')))
                continue;
            const QString rest = p.mid(root.size() + 1);
            // A medium sits directly in its root; /media/<user> itself is no medium.
            if (rest.isEmpty() || rest.contains(QLatin1Char('/')))
                continue;
            if (root == QLatin1String("/media") && !user.isEmpty() && rest == user)
                continue;
            found << p;
        }
        if (!found.isEmpty()) {
            found.sort();
            return found.first();
        }
    }
    return {};
}

QString startDirectory()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    QString text;
    if (mounts.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(mounts.readAll());
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QDir::home().dirName();
    const QString medium = removableMedium(text, user);
    if (!medium.isEmpty() && QFileInfo(medium).isDir())
        return medium;
    return QDir::homePath();
}

NewFile newFileNames(const QString &dialogAnswer)
{
    NewFile f;
    const QFileInfo info(dialogAnswer);
    QString name = info.fileName();
    if (name.endsWith(QLatin1String(".DB"), Qt::CaseInsensitive) && name.size() > 3)
        name.chop(3);
    f.directory = info.absolutePath();
    f.base = QDir(f.directory).filePath(name);
    f.dbPath = f.base + QStringLiteral(".DB");
    f.mbPath = f.base + QStringLiteral(".MB");
    // A name with another dot ("BL.06") would be taken by the engine as carrying an extension.
    f.tableName = QFileInfo(name).suffix().isEmpty() ? name : name + QStringLiteral(".DB");
    return f;
}

QString templateDirectoryFor(const QString &exeDir)
{
    const QDir beside(exeDir);
    if (QFileInfo::exists(beside.filePath(QStringLiteral("BLDisquete.DB"))))
        return beside.path();
    const QString shared = QDir::cleanPath(beside.filePath(QStringLiteral("../share/bl-emissao")));
    if (QFileInfo::exists(QDir(shared).filePath(QStringLiteral("BLDisquete.DB"))))
        return shared;
    return beside.path();
}

QString templateDirectory()
{
    return templateOverride().isEmpty() ? templateDirectoryFor(QCoreApplication::applicationDirPath())
                                        : templateOverride();
}

void setTemplateDirectory(const QString &dir)
{
    templateOverride() = dir;
}

bool copyNew(const QString &from, const QString &to)
{
    QFile src(from);
    if (!src.open(QIODevice::ReadOnly))
        return false;
    const QByteArray target = QFile::encodeName(to);
    struct stat st;
    if (::lstat(target.constData(), &st) == 0)
        return false;  // never over an existing file
    // Written whole under a hidden name and flushed, then given its name: a cut or torn copy
    // never stands under the table's name.
    const QFileInfo fi(to);
    const QByteArray making = QFile::encodeName(fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".novo"));
    ::unlink(making.constData());
    const int fd = ::open(making.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;  // the directory cannot be written: nothing of ours there
    bool ok = true;
    while (ok) {
        const QByteArray chunk = src.read(1 << 16);
        if (chunk.isEmpty()) {
            ok = src.error() == QFileDevice::NoError;
            break;
        }
        ok = writeAll(fd, chunk.constData(), chunk.size()) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && placeNew(making, target);
    if (!ok)
        ::unlink(making.constData());
    return ok;
}

bool syncDirectory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool copyTemplate(const QString &templateDir, const NewFile &names)
{
    const QDir dir(templateDir);
    // The memo file first: a .DB never stands without it.
    if (!copyNew(dir.filePath(QStringLiteral("BLDisquete.MB")), names.mbPath))
        return false;
    if (!syncDirectory(names.directory) || !copyNew(dir.filePath(QStringLiteral("BLDisquete.DB")), names.dbPath)) {
        // A memo file without its table is of no use and would block this name next time.
        QFile::remove(names.mbPath);
        syncDirectory(names.directory);
        return false;
    }
    if (!syncDirectory(names.directory)) {
        removeMade(names);
        return false;
    }
    return true;
}

void removeMade(const NewFile &names)
{
    QFile::remove(names.dbPath);
    QFile::remove(names.mbPath);
    syncDirectory(names.directory);
}

} // namespace transferfile
