#include "PxTableImpl.h"

#include "PxCodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
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
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace detail

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
    if (QFileInfo::exists(dbPath))
        throw EngineError::exists(dbPath);
    if (blobs && !detail::findMemoFile(dbPath).isEmpty())
        throw EngineError::exists(detail::findMemoFile(dbPath));

    const QByteArray header = buildHeader(QFileInfo(dbPath).fileName(), fields, opt);
    parseHeader(dbPath, header, header.size());  // what we write must read back by the same rules
    File db;
    db.create(dbPath);
    File mb;
    try {
        if (blobs)
            mb.create(mbPath);
        db.writeAt(0, header.constData(), header.size());
        db.sync();
        if (blobs) {
            const QByteArray mbHeader = MemoFile::emptyHeaderBlock();
            mb.writeAt(0, mbHeader.constData(), mbHeader.size());
            mb.sync();
        }
        detail::syncDirectory(dbPath);
    } catch (const EngineError &e) {
        const bool ownMb = mb.isOpen();
        db.close();
        mb.close();
        QFile::remove(dbPath);
        if (ownMb)
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
