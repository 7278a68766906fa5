#pragma once

// pxlib as an independent reader and writer of Paradox tables. Every pxlib call runs in a
// forked child, so a pxlib fault (it aborts on some files) shows up as a test failure that
// names the file instead of killing the test runner.

#include "PxTypes.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVector>

// paradox.h has no C++ guards of its own
extern "C" {
#include <paradox.h>
}

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace oracle {

// Paradox day numbers count 0001-01-01 as day 1.
inline constexpr qint64 kDayZeroJulian = 1721425;

inline qint64 paradoxDays(const QDate &d) { return d.toJulianDay() - kDayZeroJulian; }
inline QDate fromParadoxDays(qint64 days) { return QDate::fromJulianDay(days + kDayZeroJulian); }

// Code pages through iconv: a converter that owes nothing to the engine's own tables.
inline QByteArray iconvConvert(const char *to, const char *from, const QByteArray &in, bool *ok = nullptr)
{
    if (ok)
        *ok = false;
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return {};
    QByteArray out(in.size() * 4 + 16, Qt::Uninitialized);
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return {};
    out.truncate(out.size() - qsizetype(dstLeft));
    if (ok)
        *ok = true;
    return out;
}

inline QByteArray iconvName(int codePage)
{
    return codePage == 0 ? QByteArray("ASCII") : "CP" + QByteArray::number(codePage);
}

inline QByteArray toCodePage(const QString &s, int codePage = 1252)
{
    bool ok = false;
    QByteArray b = iconvConvert(iconvName(codePage).constData(), "UTF-8", s.toUtf8(), &ok);
    if (!ok)
        qFatal("test text outside code page %d: %s", codePage, qPrintable(s));
    return b;
}

inline QString fromCodePage(const QByteArray &b, int codePage = 1252, bool *ok = nullptr)
{
    return QString::fromUtf8(iconvConvert("UTF-8", iconvName(codePage).constData(), b, ok));
}

// ---------------------------------------------------------------------------------------------
// Field definitions in pxlib's terms.

inline int pxlibLength(const px::FieldDef &f)
{
    switch (f.type) {
    case px::FieldType::Alpha:
    case px::FieldType::Bytes:
        return f.size;
    case px::FieldType::Memo:
    case px::FieldType::FmtMemo:
    case px::FieldType::Blob:
        return f.size + 10;  // pxlib counts the 10-byte reference in the length
    case px::FieldType::Short:
        return 2;
    case px::FieldType::Logical:
        return 1;
    case px::FieldType::Date:
    case px::FieldType::Long:
    case px::FieldType::AutoInc:
    case px::FieldType::Time:
        return 4;
    default:
        return 8;
    }
}

// ---------------------------------------------------------------------------------------------
// Child-process plumbing.

namespace detail {

inline std::vector<std::string> &messages()
{
    static std::vector<std::string> m;
    return m;
}

inline void collectError(pxdoc_t *, int level, const char *msg, void *)
{
    std::string line = (level == PX_Warning ? "warning: " : "error: ") + std::string(msg ? msg : "");
    messages().push_back(line);
    std::fprintf(stderr, "pxlib %s\n", line.c_str());
}

inline void putU32(FILE *f, quint32 v) { std::fwrite(&v, 4, 1, f); }
inline void putBytes(FILE *f, const char *p, int n)
{
    putU32(f, quint32(n));
    if (n > 0)
        std::fwrite(p, 1, size_t(n), f);
}
inline void putString(FILE *f, const std::string &s) { putBytes(f, s.data(), int(s.size())); }

struct Reader
{
    const QByteArray &buf;
    qsizetype pos = 0;
    bool bad = false;
    quint32 u32()
    {
        if (pos + 4 > buf.size()) {
            bad = true;
            return 0;
        }
        quint32 v;
        std::memcpy(&v, buf.constData() + pos, 4);
        pos += 4;
        return v;
    }
    QByteArray bytes()
    {
        const quint32 n = u32();
        if (bad || pos + qsizetype(n) > buf.size()) {
            bad = true;
            return {};
        }
        QByteArray b = buf.mid(pos, n);
        pos += n;
        return b;
    }
    double f64()
    {
        const quint64 lo = u32(), hi = u32();
        const quint64 bits = lo | (hi << 32);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
};

struct ChildOutcome
{
    bool ok = false;
    QString failure;  // how the child ended when it did not exit with 0
    QString stderrText;
};

// Runs fn in a forked child with stderr captured to a file; fn's return value is the exit code.
template<typename Fn>
ChildOutcome runInChild(const QString &workDir, Fn fn)
{
    const QByteArray errPath = QFile::encodeName(workDir + QStringLiteral("/pxlib-stderr.txt"));
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 2);
            ::close(fd);
        }
        int rc = 99;
        try {
            rc = fn();
        } catch (...) {
            rc = 98;
        }
        std::fflush(nullptr);
        _exit(rc);
    }
    ChildOutcome out;
    if (pid < 0) {
        out.failure = QStringLiteral("fork failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return out;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    QFile err(QFile::decodeName(errPath));
    if (err.open(QIODevice::ReadOnly))
        out.stderrText = QString::fromLocal8Bit(err.readAll()).trimmed();
    if (WIFSIGNALED(status))
        out.failure = QStringLiteral("pxlib died with signal %1").arg(WTERMSIG(status));
    else if (WEXITSTATUS(status) != 0)
        out.failure = QStringLiteral("pxlib child exited with %1").arg(WEXITSTATUS(status));
    else
        out.ok = true;
    if (!out.ok && !out.stderrText.isEmpty())
        out.failure += QStringLiteral(" (stderr: %1)").arg(out.stderrText);
    return out;
}

} // namespace detail

// ---------------------------------------------------------------------------------------------
// Reading.

struct FieldInfo
{
    QString name;
    int type = 0;    // pxlib's type code, the same numbers as px::FieldType
    int length = 0;  // bytes in the record (memo: leader + 10)
};

struct Cell
{
    enum Kind : quint32 { Null = 0, Bytes = 1, Long = 2, Double = 3 };
    Kind kind = Null;
    QByteArray bytes;
    qint64 l = 0;
    double d = 0;
};

struct Dump
{
    bool ok = false;
    QString failure;       // set when pxlib could not open the table or died
    QStringList messages;  // pxlib's errors and warnings, without the known MB-size note
    int fileVersion = 0;   // 40, 50, 70
    int blockSizeKb = 0;
    int codePage = 0;
    int headerRecords = 0;
    QVector<FieldInfo> fields;
    QVector<QVector<Cell>> rows;
    QVector<int> unreadable;  // record numbers PX_retrieve_record refused

    // The value pxlib gives, in the engine's terms (alpha through pxlib's own recoding,
    // memo text through iconv from the table's code page).
    px::Value value(int row, int field) const
    {
        const Cell &c = rows.at(row).at(field);
        const int t = fields.at(field).type;
        if (c.kind == Cell::Null)
            return {};
        switch (t) {
        case pxfAlpha:
            return c.bytes.isEmpty() ? px::Value{} : px::Value{QString::fromUtf8(c.bytes)};
        case pxfMemoBLOb:
        case pxfFmtMemoBLOb:
            return c.bytes.isEmpty() ? px::Value{} : px::Value{fromCodePage(c.bytes, codePage)};
        case pxfDate:
            if (c.l == INT_MIN)
                return {};
            return fromParadoxDays(c.l);
        case pxfLong:
        case pxfAutoInc:
            if (c.l == INT_MIN)
                return {};
            return c.l;
        case pxfShort:
            return c.l;
        case pxfLogical:
            return c.l != 0;
        case pxfTime:
            if (c.l == INT_MIN)
                return {};
            return QTime::fromMSecsSinceStartOfDay(int(c.l));
        case pxfNumber:
        case pxfCurrency:
            return c.d;
        default:
            return c.bytes;
        }
    }
};

// The .MB as pxlib may safely be given it: Debian's pxlib 0.6.8 smashes its stack on a memo
// file whose size is a multiple of 4096, which every sound memo file is. One byte more avoids it.
inline QString pxlibSafeMemoCopy(const QString &mbPath, const QString &workDir)
{
    const QString copy = workDir + QStringLiteral("/pxlib-copy.mb");
    QFile::remove(copy);
    if (!QFile::copy(mbPath, copy))
        return {};
    QFile f(copy);
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner);
    if (QFileInfo(copy).size() % 4096 == 0 && f.open(QIODevice::Append)) {
        f.write("\0", 1);
        f.close();
    }
    return copy;
}

// Reads every record of dbPath (with its memo file, when mbPath is not empty) through pxlib.
inline Dump readTable(const QString &dbPath, const QString &mbPath, const QString &workDir)
{
    Dump dump;
    QString mbCopy;
    if (!mbPath.isEmpty()) {
        mbCopy = pxlibSafeMemoCopy(mbPath, workDir);
        if (mbCopy.isEmpty()) {
            dump.failure = QStringLiteral("cannot copy %1").arg(mbPath);
            return dump;
        }
    }
    const QByteArray db = QFile::encodeName(dbPath);
    const QByteArray mb = QFile::encodeName(mbCopy);
    const QByteArray outPath = QFile::encodeName(workDir + QStringLiteral("/pxlib-dump.bin"));
    QFile::remove(QFile::decodeName(outPath));

    const detail::ChildOutcome child = detail::runInChild(workDir, [&]() -> int {
        using namespace detail;
        FILE *out = std::fopen(outPath.constData(), "wb");
        if (!out)
            return 3;
        PX_boot();
        pxdoc_t *px = PX_new2(collectError, nullptr, nullptr, nullptr);
        if (!px || PX_open_file(px, db.constData()) < 0) {
            putU32(out, 1);
            std::fclose(out);
            return 0;
        }
        if (!mb.isEmpty() && PX_set_blob_file(px, mb.constData()) < 0)
            messages().push_back("error: PX_set_blob_file failed");
        PX_set_parameter(px, "targetencoding", "UTF-8");
        putU32(out, 0);
        const pxhead_t *h = px->px_head;
        putU32(out, quint32(h->px_fileversion));
        putU32(out, quint32(h->px_maxtablesize));
        putU32(out, quint32(h->px_doscodepage));
        putU32(out, quint32(h->px_numrecords));
        const int nf = PX_get_num_fields(px);
        pxfield_t *fs = PX_get_fields(px);
        putU32(out, quint32(nf));
        for (int i = 0; i < nf; ++i) {
            putString(out, fs[i].px_fname ? fs[i].px_fname : "");
            putU32(out, quint32(quint8(fs[i].px_ftype)));
            putU32(out, quint32(fs[i].px_flen));
        }
        const int n = PX_get_num_records(px);
        putU32(out, quint32(n));
        std::vector<char> raw(static_cast<size_t>(PX_get_recordsize(px)));
        auto putLong = [&](int rc, qint64 l) {
            if (rc <= 0) {
                putU32(out, Cell::Null);
                return;
            }
            putU32(out, Cell::Long);
            putU32(out, quint32(quint64(l)));
            putU32(out, quint32(quint64(l) >> 32));
        };
        for (int r = 0; r < n; ++r) {
            pxval_t **v = PX_retrieve_record(px, r);
            if (!v || !PX_get_record(px, r, raw.data())) {
                putU32(out, 0);
                continue;
            }
            putU32(out, 1);
            // PX_retrieve_record flags no NULL number (it gives 0.0) and no NULL date or long
            // (it gives INT_MIN); the PX_get_data_* calls do tell NULL apart.
            int off = 0;
            for (int i = 0; i < nf; ++i) {
                const pxval_t *c = v[i];
                char *p = raw.data() + off;
                off += fs[i].px_flen;
                switch (quint8(fs[i].px_ftype)) {
                case pxfLong: case pxfDate: case pxfTime: case pxfAutoInc: {
                    long l = 0;
                    const int rc = PX_get_data_long(px, p, fs[i].px_flen, &l);
                    putLong(rc, l);
                    break;
                }
                case pxfShort: {
                    short s = 0;
                    const int rc = PX_get_data_short(px, p, fs[i].px_flen, &s);
                    putLong(rc, s);
                    break;
                }
                case pxfLogical: {
                    char b = 0;
                    const int rc = PX_get_data_byte(px, p, fs[i].px_flen, &b);
                    putLong(rc, b);
                    break;
                }
                case pxfNumber: case pxfCurrency: case pxfTimestamp: {
                    double d = 0;
                    if (PX_get_data_double(px, p, fs[i].px_flen, &d) <= 0) {
                        putU32(out, Cell::Null);
                        break;
                    }
                    putU32(out, Cell::Double);
                    quint64 bits;
                    std::memcpy(&bits, &d, 8);
                    putU32(out, quint32(bits));
                    putU32(out, quint32(bits >> 32));
                    break;
                }
                default:
                    if (c->isnull) {
                        putU32(out, Cell::Null);
                        break;
                    }
                    putU32(out, Cell::Bytes);
                    putBytes(out, c->value.str.val, c->value.str.val ? c->value.str.len : 0);
                    if (c->value.str.val)
                        px->free(px, c->value.str.val);
                }
                px->free(px, v[i]);
            }
            px->free(px, v);
        }
        PX_close(px);
        PX_delete(px);
        putU32(out, quint32(messages().size()));
        for (const std::string &m : messages())
            putString(out, m);
        std::fclose(out);
        return 0;
    });
    if (!child.ok) {
        dump.failure = child.failure;
        return dump;
    }
    QFile f(QFile::decodeName(outPath));
    if (!f.open(QIODevice::ReadOnly)) {
        dump.failure = QStringLiteral("pxlib left no output");
        return dump;
    }
    const QByteArray buf = f.readAll();
    detail::Reader rd{buf};
    if (rd.u32() != 0) {
        dump.failure = QStringLiteral("pxlib cannot open %1: %2").arg(dbPath, child.stderrText);
        return dump;
    }
    dump.fileVersion = int(rd.u32());
    dump.blockSizeKb = int(rd.u32());
    dump.codePage = int(rd.u32());
    dump.headerRecords = int(rd.u32());
    const int nf = int(rd.u32());
    for (int i = 0; i < nf && !rd.bad; ++i) {
        FieldInfo fi;
        fi.name = fromCodePage(rd.bytes(), dump.codePage);
        fi.type = int(rd.u32());
        fi.length = int(rd.u32());
        dump.fields.append(fi);
    }
    const int n = int(rd.u32());
    for (int r = 0; r < n && !rd.bad; ++r) {
        QVector<Cell> row;
        if (rd.u32() == 0) {
            dump.unreadable.append(r);
            row.resize(nf);
        } else {
            for (int i = 0; i < nf && !rd.bad; ++i) {
                Cell c;
                c.kind = Cell::Kind(rd.u32());
                if (c.kind == Cell::Long) {
                    const quint64 lo = rd.u32(), hi = rd.u32();
                    c.l = qint64(lo | (hi << 32));
                } else if (c.kind == Cell::Double) {
                    c.d = rd.f64();
                } else if (c.kind == Cell::Bytes) {
                    c.bytes = rd.bytes();
                }
                row.append(c);
            }
        }
        dump.rows.append(row);
    }
    const int nm = int(rd.u32());
    for (int i = 0; i < nm && !rd.bad; ++i) {
        const QString m = QString::fromUtf8(rd.bytes());
        // pxlib says this of its own memo files and of the one-byte-longer copy it is given
        if (!m.contains(QLatin1String("not multiple of 4kB")))
            dump.messages.append(m);
    }
    if (rd.bad) {
        dump.failure = QStringLiteral("pxlib output truncated");
        return dump;
    }
    dump.ok = true;
    return dump;
}

// ---------------------------------------------------------------------------------------------
// Writing: a fresh table made by pxlib.

// Writes fields and rows as a new table with pxlib (its own choice of level and block size),
// text in the given code page.
// Returns an empty string on success, otherwise what went wrong.
inline QString writeTable(const QString &dbPath, const QString &mbPath, const QVector<px::FieldDef> &fields,
                          const QVector<QVector<px::Value>> &rows, const QString &workDir, int codePage = 1252)
{
    const QByteArray db = QFile::encodeName(dbPath);
    const QByteArray mb = QFile::encodeName(mbPath);
    // Everything the child needs is prepared here, so it only calls pxlib.
    struct Prepared
    {
        QByteArray name;
        int type;
        int length;
    };
    QVector<Prepared> defs;
    for (const px::FieldDef &f : fields)
        defs.append({toCodePage(f.name, codePage), int(f.type), pxlibLength(f)});
    QVector<QVector<QByteArray>> text(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        text[r].resize(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            if (const QString *s = std::get_if<QString>(&rows[r][i]))
                text[r][i] = toCodePage(*s, codePage);
    }

    const detail::ChildOutcome child = detail::runInChild(workDir, [&]() -> int {
        PX_boot();
        pxdoc_t *px = PX_new2(detail::collectError, nullptr, nullptr, nullptr);
        if (!px)
            return 2;
        // pxlib takes ownership of the array and the names
        auto *pf = static_cast<pxfield_t *>(px->malloc(px, sizeof(pxfield_t) * size_t(defs.size()), "fields"));
        for (int i = 0; i < defs.size(); ++i) {
            pf[i].px_fname = PX_strdup(px, defs[i].name.constData());
            pf[i].px_ftype = char(defs[i].type);
            pf[i].px_flen = defs[i].length;
            pf[i].px_fdc = 0;
        }
        if (PX_create_file(px, pf, int(defs.size()), db.constData(), pxfFileTypNonIndexDB) < 0)
            return 3;
        if (codePage != 1252 && PX_set_value(px, "codepage", float(codePage)) < 0)
            return 8;
        if (!mb.isEmpty() && PX_set_blob_file(px, mb.constData()) < 0)
            return 4;
        const int rs = PX_get_recordsize(px);
        std::vector<char> rec(static_cast<size_t>(rs));
        for (int r = 0; r < rows.size(); ++r) {
            std::fill(rec.begin(), rec.end(), 0);
            int off = 0;
            for (int i = 0; i < defs.size(); ++i) {
                char *p = rec.data() + off;
                const int len = defs[i].length;
                const px::Value &v = rows[r][i];
                off += len;
                if (px::isNull(v))
                    continue;
                switch (defs[i].type) {
                case pxfAlpha: {
                    QByteArray b = text[r][i];
                    PX_put_data_alpha(px, p, len, b.data());
                    break;
                }
                case pxfMemoBLOb:
                case pxfFmtMemoBLOb: {
                    QByteArray b = text[r][i];
                    if (!b.isEmpty() && PX_put_data_blob(px, p, len, b.data(), int(b.size())) < 0)
                        return 5;
                    break;
                }
                case pxfDate:
                    PX_put_data_long(px, p, 4, int(paradoxDays(std::get<QDate>(v))));
                    break;
                case pxfNumber:
                case pxfCurrency:
                    PX_put_data_double(px, p, 8, std::get<double>(v));
                    break;
                case pxfLong:
                    PX_put_data_long(px, p, 4, int(std::get<qint64>(v)));
                    break;
                case pxfShort:
                    PX_put_data_short(px, p, 2, short(std::get<qint64>(v)));
                    break;
                case pxfLogical:
                    PX_put_data_byte(px, p, 1, std::get<bool>(v) ? 1 : 0);
                    break;
                default:
                    return 6;
                }
            }
            if (PX_put_record(px, rec.data()) < 0)
                return 7;
        }
        PX_close(px);
        PX_delete(px);
        return 0;
    });
    return child.ok ? QString() : child.failure;
}

// ---------------------------------------------------------------------------------------------
// Comparison.

inline QString describe(const px::Value &v)
{
    auto clip = [](const QString &s) {
        QString t = s.size() > 40 ? s.left(40) + QStringLiteral("...") : s;
        t.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
        return QStringLiteral("\"%1\" (%2 chars)").arg(t).arg(s.size());
    };
    if (px::isNull(v))
        return QStringLiteral("NULL");
    if (auto s = std::get_if<QString>(&v))
        return clip(*s);
    if (auto d = std::get_if<double>(&v))
        return QString::number(*d, 'g', 17);
    if (auto l = std::get_if<qint64>(&v))
        return QString::number(*l);
    if (auto b = std::get_if<bool>(&v))
        return *b ? QStringLiteral("true") : QStringLiteral("false");
    if (auto d = std::get_if<QDate>(&v))
        return d->toString(Qt::ISODate);
    if (auto t = std::get_if<QTime>(&v))
        return t->toString(Qt::ISODateWithMs);
    if (auto b = std::get_if<QByteArray>(&v))
        return QStringLiteral("%1 bytes").arg(b->size());
    return QStringLiteral("?");
}

// Empty text and NULL are the same thing in a Paradox table.
inline bool sameValue(const px::Value &a, const px::Value &b)
{
    auto blank = [](const px::Value &v) {
        if (px::isNull(v))
            return true;
        if (auto s = std::get_if<QString>(&v))
            return s->isEmpty();
        return false;
    };
    if (blank(a) || blank(b))
        return blank(a) && blank(b);
    if (a.index() != b.index())
        return false;
    if (auto d = std::get_if<double>(&a))
        return *d == std::get<double>(b);  // -0.0 and 0.0 are one value
    return a == b;
}

} // namespace oracle
