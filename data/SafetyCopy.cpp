#include "SafetyCopy.h"

#include "paradox/PxError.h"
#include "paradox/PxFile.h"
#include "paradox/PxHold.h"
#include "paradox/PxJournal.h"
#include "paradox/PxTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace safetycopy {

namespace {

using px::EngineError;
using Kind = px::EngineError::Kind;

constexpr qint64 Chunk = qint64(1) << 20;

QString baseOf(const QString &registerDb)
{
    return QFileInfo(registerDb).completeBaseName();
}

QString dayText(QDate day)
{
    return day.toString(QStringLiteral("yyyy-MM-dd"));
}

// The memo file that belongs to a .DB: the one there in any case of its suffix, else the
// spelling the engine would create.
QString memoBeside(const QString &db)
{
    const QFileInfo fi(db);
    const bool lower = !fi.suffix().isEmpty() && fi.suffix().at(0).isLower();
    const QString preferred = fi.dir().filePath(fi.completeBaseName() + (lower ? QStringLiteral(".mb") : QStringLiteral(".MB")));
    if (QFileInfo::exists(preferred))
        return preferred;
    const QString wanted = fi.completeBaseName() + QStringLiteral(".mb");
    const QStringList entries = fi.dir().entryList(QDir::Files | QDir::Hidden);
    for (const QString &e : entries)
        if (e.compare(wanted, Qt::CaseInsensitive) == 0)
            return fi.dir().filePath(e);
    return preferred;
}

// A temporary pair beside the final one; never listed as a copy.
QString tempPathFor(const QString &finalDb)
{
    return finalDb.chopped(3) + QStringLiteral(".tmp.DB");
}

void syncDir(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Makes the folder unless it is there; true when it was made now.
bool ensureFolder(const QString &folder)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0777) == 0)
        return true;
    const int e = errno;
    struct stat st;
    if (e == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return false;
    const QString why = e == EEXIST ? QStringLiteral("há um arquivo com esse nome no lugar da pasta") : px::errnoText(e);
    throw EngineError(Kind::WriteFailed,
                      QStringLiteral("Não foi possível criar a pasta %1: %2").arg(QDir::toNativeSeparators(folder), why));
}

// A quick sum of a run of bytes, to tell that a copy reads back as it was read: the source
// has passed the validator, so the same bytes are a sound table.
quint64 mix(quint64 sum, const char *p, qint64 n)
{
    constexpr quint64 Prime = 0x100000001b3ULL;
    // Four independent lanes, so the multiplications overlap; the file is read in the same
    // pieces both times, so the sums agree.
    quint64 lane[4] = {sum, sum + 1, sum + 2, sum + 3};
    qint64 i = 0;
    for (; i + 32 <= n; i += 32) {
        quint64 w[4];
        std::memcpy(w, p + i, 32);
        for (int k = 0; k < 4; ++k)
            lane[k] = (lane[k] ^ w[k]) * Prime;
    }
    sum = lane[0] ^ (lane[1] * 3) ^ (lane[2] * 5) ^ (lane[3] * 7);
    for (; i < n; ++i)
        sum = (sum ^ quint8(p[i])) * Prime;
    return sum;
}

constexpr quint64 SumStart = 0xcbf29ce484222325ULL;

// Reads the whole of path in pieces of Chunk and returns their sum; each piece also goes to fn.
quint64 readSummed(const QString &path, const std::function<void(qint64 off, const char *p, qint64 n)> &fn)
{
    px::File in;
    if (!in.open(path, false))
        throw EngineError::fileMissing(path);
    const qint64 size = in.size();
    QByteArray buf(std::min(size, Chunk), Qt::Uninitialized);
    quint64 sum = SumStart;
    for (qint64 off = 0; off < size;) {
        const qint64 n = std::min(Chunk, size - off);
        if (!in.readAt(off, buf.data(), n))
            throw EngineError::readFailed(path, EIO);
        sum = mix(sum, buf.constData(), n);
        if (fn)
            fn(off, buf.constData(), n);
        off += n;
    }
    return sum;
}

// Copies the whole of from into out, a file just created and not yet flushed; returns the sum
// of what was read.
quint64 copyInto(const QString &from, px::File &out)
{
    return readSummed(from, [&](qint64 off, const char *p, qint64 n) { out.writeAt(off, p, n); });
}

// The sum of a file as it reads back now.
quint64 sumOf(const QString &path)
{
    return readSummed(path, {});
}

void renameFile(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw EngineError(Kind::WriteFailed, QStringLiteral("Falha ao renomear %1 para %2: %3")
                                                 .arg(QDir::toNativeSeparators(from), QFileInfo(to).fileName(),
                                                      px::errnoText(errno)));
}

void removeQuietly(const QString &path)
{
    if (!path.isEmpty())
        QFile::remove(path);
}

// A pair written under temporary names: made, filled, flushed, then renamed into place or
// removed again. Nothing of it stays behind when it is not renamed.
class TempPair
{
public:
    TempPair(const QString &db, bool withMemo) : m_db(db), m_mb(withMemo ? memoOf(db) : QString())
    {
        // What a crash left under these names is no one's.
        removeQuietly(m_db);
        removeQuietly(m_mb);
        m_made = true;
        try {
            m_dbFile.create(m_db);
            if (withMemo)
                m_mbFile.create(m_mb);
        } catch (...) {
            discard();
            throw;
        }
    }
    ~TempPair() { discard(); }
    TempPair(const TempPair &) = delete;
    TempPair &operator=(const TempPair &) = delete;

    const QString &db() const { return m_db; }
    px::File &dbFile() { return m_dbFile; }
    px::File &mbFile() { return m_mbFile; }
    bool hasMemo() const { return !m_mb.isEmpty(); }

    void fill(const QString &fromDb, const QString &fromMb)
    {
        m_sums[0] = copyInto(fromDb, m_dbFile);
        if (hasMemo())
            m_sums[1] = copyInto(fromMb, m_mbFile);
    }
    // After flush(): the files read back as they were read.
    bool readsBack() const { return sumOf(m_db) == m_sums[0] && (!hasMemo() || sumOf(m_mb) == m_sums[1]); }
    void flush()
    {
        if (hasMemo())
            m_mbFile.sync();
        m_dbFile.sync();
        m_dbFile.close();
        m_mbFile.close();
    }
    // The memo file first: a .DB in place always has its own .MB beside it.
    void renameTo(const QString &db, const QString &mb)
    {
        if (hasMemo())
            renameFile(m_mb, mb);
        renameFile(m_db, db);
        m_made = false;
    }

private:
    void discard()
    {
        if (!m_made)
            return;
        m_made = false;
        m_dbFile.close();
        m_mbFile.close();
        removeQuietly(m_db);
        removeQuietly(m_mb);
    }

    QString m_db;
    QString m_mb;
    px::File m_dbFile;
    px::File m_mbFile;
    bool m_made = false;
    quint64 m_sums[2] = {0, 0};
};

QRegularExpression dailyPattern(const QString &registerDb, const QString &suffix)
{
    return QRegularExpression(QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2})\\.%2$")
                                  .arg(QRegularExpression::escape(baseOf(registerDb)), suffix));
}

// Keeps the newest copies and the day's; returns what went.
QStringList prune(const QString &registerDb, QDate keepDay)
{
    QStringList removed;
    const QVector<Copy> copies = dailyCopies(registerDb);
    QVector<QDate> kept;
    for (const Copy &c : copies) {
        if (kept.size() < KeptCopies || c.day == keepDay) {
            kept.append(c.day);
            continue;
        }
        // The .DB first: a lone .MB is never taken for a copy.
        if (QFile::remove(c.db)) {
            QFile::remove(memoOf(c.db));
            removed.append(c.db);
        }
    }
    // Memo files whose .DB went or never came (a crash between the two renames).
    const QDir dir(folderOf(registerDb));
    const QRegularExpression mbName = dailyPattern(registerDb, QStringLiteral("MB"));
    const QStringList entries = dir.entryList(QDir::Files);
    for (const QString &e : entries) {
        const QRegularExpressionMatch m = mbName.match(e);
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (!kept.contains(day))
            QFile::remove(dir.filePath(e));
    }
    return removed;
}

QString clerkReason(const DataError &e, const QString &folder)
{
    const auto *engine = dynamic_cast<const EngineError *>(&e);
    if (engine && engine->kind() == Kind::DiskFull)
        return QStringLiteral("não há espaço livre no disco da pasta %1").arg(QDir::toNativeSeparators(folder));
    return e.message();
}

} // namespace

QString folderOf(const QString &registerDb)
{
    return QFileInfo(registerDb).absoluteDir().filePath(QStringLiteral("Cópias de segurança"));
}

QString dailyPath(const QString &registerDb, QDate day)
{
    return QDir(folderOf(registerDb)).filePath(baseOf(registerDb) + QLatin1Char('-') + dayText(day) + QStringLiteral(".DB"));
}

QString memoOf(const QString &copyDb)
{
    return copyDb.chopped(2) + (copyDb.endsWith(QLatin1String(".db")) ? QStringLiteral("mb") : QStringLiteral("MB"));
}

QVector<Copy> dailyCopies(const QString &registerDb)
{
    QVector<Copy> copies;
    const QDir dir(folderOf(registerDb));
    const QRegularExpression dbName = dailyPattern(registerDb, QStringLiteral("DB"));
    const QStringList entries = dir.entryList(QDir::Files);
    for (const QString &e : entries) {
        const QRegularExpressionMatch m = dbName.match(e);
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid())
            copies.append({day, dir.filePath(e)});
    }
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) { return a.day > b.day; });
    return copies;
}

Check checkCopy(const QString &copyDb)
{
    Check c;
    try {
        px::Table t(copyDb, px::Table::Mode::ReadOnly);
        const px::Table::CheckReport report = t.inspect();
        if (!report.problems.isEmpty()) {
            c.problem = report.problems.first();
            return c;
        }
        c.records = t.recordCount();
        c.sound = true;
    } catch (const DataError &e) {
        c.problem = e.message();
    } catch (const std::bad_alloc &) {
        c.problem = QStringLiteral("memória insuficiente");
    }
    return c;
}

Outcome makeDaily(px::Table &source, QDate day)
{
    Outcome o;
    const QString reg = source.path();
    const QString folder = folderOf(reg);
    o.copyDb = dailyPath(reg, day);
    const QString memo = source.memoPath();
    const QString copyMb = memo.isEmpty() ? QString() : memoOf(o.copyDb);
    if (QFileInfo::exists(o.copyDb) && (copyMb.isEmpty() || QFileInfo::exists(copyMb))) {
        o.result = Outcome::Result::Existed;
        return o;
    }
    try {
        const bool madeFolder = ensureFolder(folder);
        if (madeFolder)
            syncDir(QFileInfo(reg).absolutePath());
        TempPair temp(tempPathFor(o.copyDb), !memo.isEmpty());
        // Only the reading needs the lock; writers elsewhere wait for it, so it is kept short.
        // Read once the register has passed the validator, under its read lock: the next
        // write of the day reuses that result instead of validating again.
        try {
            source.readValidated([&] {
                // A write another program left torn is undone by the next writer, not by a
                // copy: raw bytes under a journal may be half old, half new.
                if (px::Journal::exists(reg))
                    throw DataError(QStringLiteral("o cadastro tem uma gravação interrompida que ainda não foi desfeita"));
                temp.fill(reg, memo);
            });
        } catch (const EngineError &e) {
            if (e.kind() != Kind::Damaged)
                throw;
            throw DataError(QStringLiteral("o cadastro não passou na verificação: %1").arg(e.message()));
        }
        temp.flush();
        if (!temp.readsBack())
            throw DataError(QStringLiteral("a cópia gravada não confere com o cadastro"));
        temp.renameTo(o.copyDb, copyMb);
        syncDir(folder);
    } catch (const DataError &e) {
        o.reason = clerkReason(e, folder);
        return o;
    } catch (const std::bad_alloc &) {
        o.reason = QStringLiteral("memória insuficiente");
        return o;
    }
    o.result = Outcome::Result::Made;
    o.removed = prune(reg, day);
    return o;
}

QString restore(const QString &registerDb, QDate day, const QDateTime &now)
{
    const QString folder = folderOf(registerDb);
    const QString copyDb = dailyPath(registerDb, day);
    const QString copyMb = memoOf(copyDb);
    const QString nothing = QStringLiteral(" Nada foi mudado.");
    if (!QFileInfo::exists(copyDb))
        throw DataError(QStringLiteral("Não há cópia de segurança de %1 em %2.")
                            .arg(dayText(day), QDir::toNativeSeparators(folder)));
    const Check check = checkCopy(copyDb);
    if (!check.sound)
        throw DataError(QStringLiteral("A cópia de %1 não passou na verificação: %2.%3").arg(dayText(day), check.problem, nothing));
    const bool withMemo = QFileInfo::exists(copyMb);

    const auto inUse = [&] {
        return DataError(QStringLiteral("O cadastro %1 está aberto no programa ou em outro lugar; feche-o e tente de novo.%2")
                             .arg(QDir::toNativeSeparators(registerDb), nothing));
    };
    const bool registerThere = QFileInfo::exists(registerDb);
    if (registerThere && px::Journal::exists(registerDb)) {
        // An import cut short: the engine puts the register back as it was before it, so that
        // the pair kept below is the register as it stood. Damage is kept as it is.
        try {
            px::Table settle(registerDb, px::Table::Mode::Exclusive);
        } catch (const EngineError &e) {
            if (e.kind() == Kind::InUse)
                throw inUse();
        } catch (const DataError &) {
        }
    }
    std::optional<px::TableHold> hold;
    if (registerThere) {
        try {
            hold.emplace(registerDb);
        } catch (const EngineError &e) {
            if (e.kind() == Kind::InUse)
                throw inUse();
            throw;
        }
        if (px::Journal::exists(registerDb))
            throw DataError(QStringLiteral("O cadastro %1 tem uma importação interrompida que não pôde ser desfeita.%2")
                                .arg(QDir::toNativeSeparators(registerDb), nothing));
    }
    const QString registerMb = memoBeside(registerDb);

    // The register as it is now, kept whatever its state: it may be all someone has.
    QString keptDb;
    if (registerThere) {
        const bool madeFolder = ensureFolder(folder);
        if (madeFolder)
            syncDir(QFileInfo(registerDb).absolutePath());
        keptDb = QDir(folder).filePath(baseOf(registerDb) + QStringLiteral("-antes-da-restauracao-")
                                       + now.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) + QStringLiteral(".DB"));
        if (QFileInfo::exists(keptDb))
            throw EngineError::exists(keptDb);
        const bool registerHasMemo = QFileInfo::exists(registerMb);
        TempPair kept(tempPathFor(keptDb), registerHasMemo);
        kept.fill(registerDb, registerMb);
        kept.flush();
        kept.renameTo(keptDb, memoOf(keptDb));
        syncDir(folder);
    }

    // The copy beside the register under a temporary name, checked again as written, then
    // renamed over it while held, so nobody opens half of it.
    const QFileInfo reg(registerDb);
    TempPair placed(reg.dir().filePath(QLatin1Char('.') + reg.completeBaseName() + QStringLiteral("-restauracao.DB")), withMemo);
    placed.fill(copyDb, copyMb);
    placed.flush();
    const Check written = checkCopy(placed.db());
    if (!written.sound)
        throw DataError(QStringLiteral("A cópia de %1 não foi gravada corretamente: %2").arg(dayText(day), written.problem));
    px::TableHold placedHold(placed.db());
    placed.renameTo(registerDb, registerMb);
    syncDir(reg.absolutePath());
    return keptDb;
}

QString failureMessage(const QString &reason)
{
    QString why = reason.trimmed();
    if (!why.isEmpty() && why.back() > QLatin1Char('.'))
        why += QLatin1Char('.');
    return QStringLiteral("Não foi possível fazer a cópia de segurança de hoje do cadastro de BL:\r%1\r\r"
                          "O seu trabalho continua normalmente.\r"
                          "A cópia será tentada outra vez amanhã ou quando o programa for aberto de novo.")
        .arg(why);
}

void DailySafetyCopy::beforeChange(px::Table &registerTable) noexcept
{
    try {
        const QDate today = m_clock ? m_clock() : QDate::currentDate();
        if (today == m_settledDay && registerTable.path() == m_settledPath)
            return;
        m_last = makeDaily(registerTable, today);
        m_settledDay = today;
        m_settledPath = registerTable.path();
        if (m_last.result == Outcome::Result::Failed && m_notice)
            m_notice(failureMessage(m_last.reason));
    } catch (...) {
        // Whatever went wrong here, the clerk's change goes on.
    }
}

} // namespace safetycopy
