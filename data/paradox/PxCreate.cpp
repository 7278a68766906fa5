#include "PxTableImpl.h"

#include "PxCodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// New tables, the names of a table's companion files, and emptying a closed table.

namespace px {

namespace detail {

namespace {
// dbPath with its file name replaced, the folder part left as the user gave it ("R.DB" gives
// "R.MB", not "./R.MB").
QString besideDb(const QString &dbPath, const QString &fileName)
{
    return dbPath.left(dbPath.size() - QFileInfo(dbPath).fileName().size()) + fileName;
}
} // namespace

QString memoPathFor(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    const QString suffix = fi.suffix();
    const bool lower = !suffix.isEmpty() && suffix.at(0).isLower();
    return besideDb(dbPath, fi.completeBaseName() + (lower ? QStringLiteral(".mb") : QStringLiteral(".MB")));
}

// The memo file of an existing table, whatever the case of its extension.
QString findMemoFile(const QString &dbPath)
{
    const QString preferred = memoPathFor(dbPath);
    if (QFileInfo::exists(preferred))
        return preferred;
    const QFileInfo fi(dbPath);
    const QString wanted = fi.completeBaseName() + QStringLiteral(".mb");
    const QStringList entries = QDir(fi.path()).entryList(QDir::Files);
    for (const QString &e : entries)
        if (e.compare(wanted, Qt::CaseInsensitive) == 0)
            return besideDb(dbPath, e);
    return QString();
}

void syncDirectory(const QString &path)
{
    if (io::pass(io::Op::Sync, QFileInfo(path).absolutePath(), 0, 0, &path).drop)
        return;
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace detail

namespace {

// A hidden name beside path for the file while it is being made.
QString makingName(const QString &path)
{
    const QFileInfo fi(path);
    return path.left(path.size() - fi.fileName().size()) + QLatin1Char('.') + fi.fileName() + QStringLiteral(".novo");
}

// Gives the made file its name, never over an existing one; returns 0 or an errno value.
// replace: an existing file may be replaced (the empty memo file an interrupted creation left).
int placeFile(const QString &from, const QString &to, bool replace)
{
    if (io::pass(io::Op::Rename, to, 0, 0).drop)
        return 0;
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (replace)
        return ::rename(f.constData(), t.constData()) == 0 ? 0 : errno;
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), 1u /* RENAME_NOREPLACE */) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    // A file system without the no-replace rename: a hard link refuses an existing name too.
    if (::link(f.constData(), t.constData()) == 0) {
        ::unlink(f.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Neither (FAT): look, then rename; nothing else writes this folder while a table is made.
    struct stat st;
    if (::lstat(t.constData(), &st) == 0)
        return EEXIST;
    return ::rename(f.constData(), t.constData()) == 0 ? 0 : errno;
}

// The memo file an interrupted creation of this engine leaves without its .DB: the empty
// header block and nothing else.
bool leftoverMemo(const QString &mbPath)
{
    QFile f(mbPath);
    if (f.size() != MemoFile::BlockSize || !f.open(QIODevice::ReadOnly))
        return false;
    return f.readAll() == MemoFile::emptyHeaderBlock();
}

} // namespace

void Table::create(const QString &dbPath, const QVector<FieldDef> &fields, const CreateOptions &opt)
{
    auto refuse = [&](const QString &why) { return EngineError::unsupported(dbPath, why); };
    if (opt.level != 4 && opt.level != 5 && opt.level != 7)
        throw refuse(QStringLiteral("nível %1").arg(opt.level));
    if (opt.blockSizeKb < 1 || opt.blockSizeKb > 32)
        throw refuse(QStringLiteral("blocos de %1 KB").arg(opt.blockSizeKb));
    if (opt.codePage != 437 && opt.codePage != 850 && opt.codePage != 1252)
        throw refuse(QStringLiteral("página de código %1").arg(opt.codePage));
    if (fields.isEmpty() || fields.size() > 255)
        throw refuse(QStringLiteral("%1 campos").arg(fields.size()));
    int recordSize = 0;
    bool blobs = false;
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef &f = fields[i];
        if (f.name.isEmpty() || f.name.size() > 25 || !codepage::canEncode(opt.codePage, f.name))
            throw refuse(QStringLiteral("nome de campo inválido \"%1\"").arg(f.name));
        for (int j = 0; j < i; ++j)
            if (fields[j].name.compare(f.name, Qt::CaseInsensitive) == 0)
                throw refuse(QStringLiteral("campo repetido \"%1\"").arg(f.name));
        // The rules a header is read by, and a leader of at least one byte for our memos.
        const bool blob = isBlobType(f.type);
        bool unsupported = false;
        const QString why = checkField(int(f.type), blob ? f.size + 10 : f.size, &unsupported);
        if (!why.isEmpty() || (blob && f.size < 1))
            throw refuse(QStringLiteral("campo %1 de tipo ou tamanho inválido").arg(f.name));
        blobs = blobs || blob;
        recordSize += f.storageSize();
    }
    if (recordSize > opt.blockSizeKb * 1024 - 6)
        throw refuse(QStringLiteral("registro de %1 bytes não cabe em blocos de %2 KB").arg(recordSize).arg(opt.blockSizeKb));

    const QString mbPath = detail::memoPathFor(dbPath);
    if (QFileInfo::exists(dbPath) || QFileInfo(dbPath).isSymLink())
        throw EngineError::exists(dbPath);
    const QString oldMb = blobs ? detail::findMemoFile(dbPath) : QString();
    const bool replaceMb = !oldMb.isEmpty() && oldMb == mbPath && leftoverMemo(mbPath);
    if (!oldMb.isEmpty() && !replaceMb)
        throw EngineError::exists(oldMb);

    const QByteArray header = buildHeader(QFileInfo(dbPath).fileName(), fields, opt);
    parseHeader(dbPath, header, header.size());  // what we write must read back by the same rules
    // Each file is written whole under a hidden name and flushed, then takes its name: a torn
    // write or a crash leaves no half-made table, only (at worst) an empty memo file that the
    // next creation of the same table reuses. The .MB comes first, so a .DB never stands
    // without its memo file.
    const QString dbMaking = makingName(dbPath), mbMaking = makingName(mbPath);
    bool mbPlaced = false;
    auto drop = [](const QString &p) { ::unlink(QFile::encodeName(p).constData()); };
    try {
        auto makeFile = [&](const QString &making, const QString &final, const QByteArray &bytes) {
            drop(making);  // what an interrupted creation left under this hidden name
            File f;
            try {
                f.create(making);
            } catch (const EngineError &e) {
                throw EngineError::writeFailed(final, e.kind() == EngineError::Kind::Exists ? EEXIST : errno);
            }
            f.writeAt(0, bytes.constData(), bytes.size());
            f.sync();
        };
        if (blobs)
            makeFile(mbMaking, mbPath, MemoFile::emptyHeaderBlock());
        makeFile(dbMaking, dbPath, header);
        if (blobs) {
            if (const int e = placeFile(mbMaking, mbPath, replaceMb))
                throw e == EEXIST ? EngineError::exists(mbPath) : EngineError::writeFailed(mbPath, e);
            mbPlaced = true;
            detail::syncDirectory(dbPath);
        }
        if (const int e = placeFile(dbMaking, dbPath, false))
            throw e == EEXIST ? EngineError::exists(dbPath) : EngineError::writeFailed(dbPath, e);
        detail::syncDirectory(dbPath);
    } catch (const EngineError &) {
        drop(dbMaking);
        if (blobs)
            drop(mbMaking);
        if (mbPlaced && !replaceMb)
            QFile::remove(mbPath);
        throw;
    }
}

void Table::emptyTable(const QString &dbPath)
{
    Table t(dbPath, Mode::Exclusive);
    t.emptyAll();
}

} // namespace px
