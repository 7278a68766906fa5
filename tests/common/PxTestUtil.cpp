#include "PxTestUtil.h"

#include "paradox/PxError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <atomic>
#include <bit>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include <unistd.h>

namespace pxtest {

// ---- bytes ---------------------------------------------------------------------------

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size() && f.flush();
}

bool copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        return false;
    return QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                         | QFile::ReadOther);
}

quint8 u8(const QByteArray &b, qsizetype off)
{
    return off >= 0 && off < b.size() ? quint8(b[off]) : 0;
}

quint16 le16(const QByteArray &b, qsizetype off)
{
    return quint16(u8(b, off) | (u8(b, off + 1) << 8));
}

qint16 les16(const QByteArray &b, qsizetype off)
{
    return qint16(le16(b, off));
}

quint32 le32(const QByteArray &b, qsizetype off)
{
    return quint32(le16(b, off)) | (quint32(le16(b, off + 2)) << 16);
}

void put8(QByteArray &b, qsizetype off, quint8 v)
{
    if (off >= 0 && off < b.size())
        b[off] = char(v);
}

void put16(QByteArray &b, qsizetype off, quint16 v)
{
    put8(b, off, quint8(v));
    put8(b, off + 1, quint8(v >> 8));
}

void put32(QByteArray &b, qsizetype off, quint32 v)
{
    put16(b, off, quint16(v));
    put16(b, off + 2, quint16(v >> 16));
}

// ---- files of a table ----------------------------------------------------------------

QString memoFileOf(const QString &dbPath)
{
    QFileInfo fi(dbPath);
    const QString base = fi.path() + QLatin1Char('/') + fi.completeBaseName();
    const QString upper = base + QStringLiteral(".MB");
    const QString lower = base + QStringLiteral(".mb");
    if (QFileInfo::exists(upper))
        return upper;
    if (QFileInfo::exists(lower))
        return lower;
    return fi.suffix() == QLatin1String("db") ? lower : upper;
}

QString samplePath(const QString &dbName)
{
    return QStringLiteral(BL_SAMPLES_DIR) + QLatin1Char('/') + dbName;
}

QString copySample(const QString &dir, const QString &dbName)
{
    const QString src = samplePath(dbName);
    const QString dst = dir + QLatin1Char('/') + dbName;
    if (!copyFile(src, dst))
        return {};
    const QString mb = memoFileOf(src);
    if (QFileInfo::exists(mb) && !copyFile(mb, dir + QLatin1Char('/') + QFileInfo(mb).fileName()))
        return {};
    return dst;
}

QString makeTable(const QString &dir, const QString &name, const QVector<px::FieldDef> &fields,
                  const px::CreateOptions &opts)
{
    const QString path = dir + QLatin1Char('/') + name;
    px::Table::create(path, fields, opts);
    return path;
}

Snapshot snapshot(const QString &dbPath)
{
    Snapshot s;
    s.db = readFile(dbPath);
    const QString mb = memoFileOf(dbPath);
    s.hasMb = QFileInfo::exists(mb);
    if (s.hasMb)
        s.mb = readFile(mb);
    return s;
}

// ---- raw header ----------------------------------------------------------------------

static int storageOf(quint8 type, quint8 size)
{
    return type == 0x17 ? 17 : int(size);
}

// Type codes and the sizes each may have.
static bool validField(quint8 type, quint8 size)
{
    switch (type) {
    case 0x01: case 0x18: return size >= 1;             // Alpha, Bytes
    case 0x02: case 0x04: case 0x14: case 0x16: return size == 4;  // Date, Long, Time, AutoInc
    case 0x03: return size == 2;                        // Short
    case 0x05: case 0x06: case 0x15: return size == 8;  // Currency, Number, Timestamp
    case 0x09: return size == 1;                        // Logical
    case 0x0C: return size >= 11;                       // Memo: leader 1..240
    case 0x0D: case 0x0E: case 0x0F: case 0x10: return size >= 10;
    case 0x17: return size <= 32;                       // BCD: decimals
    default: return false;
    }
}

bool parseHeader(const QByteArray &db, RawHeader &h, QString *why)
{
    auto fail = [&](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (db.size() < 0x78)
        return fail(QStringLiteral("file shorter than the fixed header"));
    h = RawHeader{};
    h.recordSize = le16(db, 0x00);
    h.headerSize = le16(db, 0x02);
    h.fileType = u8(db, 0x04);
    h.blockSizeCode = u8(db, 0x05);
    h.numRecords = le32(db, 0x06);
    h.blocksInUse = le16(db, 0x0A);
    h.fileBlocks = le16(db, 0x0C);
    h.firstBlock = le16(db, 0x0E);
    h.lastBlock = le16(db, 0x10);
    h.numFields = le16(db, 0x21);
    h.keyFields = le16(db, 0x23);
    h.encryption1 = le32(db, 0x25);
    h.sortOrder = u8(db, 0x29);
    h.version = u8(db, 0x39);
    h.maxBlocks = le16(db, 0x3A);
    h.autoInc = le32(db, 0x49);
    h.firstFreeBlock = le16(db, 0x4D);
    h.realHeaderSize = le16(db, 0x51);
    h.versionWord1 = le16(db, 0x58);
    h.versionWord2 = le16(db, 0x5A);
    h.encryption2 = le32(db, 0x5C);
    h.codePage = le16(db, 0x6A);

    if (h.version < 5 || h.version > 15)
        return fail(QStringLiteral("version byte 0x%1 not of level 4..7").arg(h.version, 0, 16));
    if (h.headerSize < 0x78 || h.headerSize > db.size())
        return fail(QStringLiteral("header size %1 outside the file").arg(h.headerSize));
    if (h.blockSizeCode < 1 || h.blockSizeCode > 32)
        return fail(QStringLiteral("block size code %1").arg(h.blockSizeCode));
    if (h.numFields == 0 || 0x78 + 6 * int(h.numFields) > h.headerSize)
        return fail(QStringLiteral("field count %1").arg(h.numFields));

    int offset = 0;
    for (int i = 0; i < h.numFields; ++i) {
        RawField f;
        f.type = u8(db, 0x78 + 2 * i);
        f.size = u8(db, 0x78 + 2 * i + 1);
        f.storage = storageOf(f.type, f.size);
        f.offset = offset;
        offset += f.storage;
        if (!validField(f.type, f.size))
            return fail(QStringLiteral("field %1: type 0x%2 size %3").arg(i + 1).arg(f.type, 0, 16).arg(f.size));
        h.fields.append(f);
    }
    if (offset != h.recordSize)
        return fail(QStringLiteral("field sizes add up to %1, record size is %2")
                        .arg(offset)
                        .arg(h.recordSize));

    const int nameArea = h.version >= 0x0C ? 261 : 79;
    qsizetype pos = 0x78 + 2 * qsizetype(h.numFields) + 4 + 4 * qsizetype(h.numFields) + nameArea;
    for (int i = 0; i < h.numFields; ++i) {
        const qsizetype end = db.indexOf('\0', pos);
        if (end < 0 || end >= h.headerSize)
            return fail(QStringLiteral("field names run past the header"));
        h.fields[i].name = db.mid(pos, end - pos);
        pos = end + 1;
    }
    pos += 2 * qsizetype(h.numFields);  // field numbers
    if (pos < h.headerSize) {
        const qsizetype end = db.indexOf('\0', pos);
        if (end > 0 && end < h.headerSize)
            h.sortOrderName = db.mid(pos, end - pos);
    }
    return true;
}

MemoRef memoRef(const QByteArray &record, const RawField &f)
{
    const int at = f.offset + f.storage - 10;
    MemoRef r;
    r.location = le32(record, at);
    r.length = le32(record, at + 4);
    r.mod = le16(record, at + 8);
    return r;
}

// ---- independent verifier --------------------------------------------------------------

static bool isBlob(quint8 type)
{
    return type == 0x0C || type == 0x0D || type == 0x0E || type == 0x0F || type == 0x10;
}

namespace {

struct MbBlock
{
    quint8 type = 0;
    int count = 0;
};

struct SlotUse
{
    int start = 0;   // chunk
    int chunks = 0;
    int length = 0;
    quint16 mod = 0;
};

} // namespace

Verification verify(const QString &dbPath, bool strict)
{
    Verification v;
    auto problem = [&](const QString &p) { v.problems.append(p); };

    const QByteArray db = readFile(dbPath);
    QString why;
    if (!parseHeader(db, v.header, &why)) {
        problem(QStringLiteral("header: ") + why);
        return v;
    }
    const RawHeader &h = v.header;
    if (h.recordSize == 0) {
        problem(QStringLiteral("record size 0"));
        return v;
    }
    const int bs = h.blockSize();
    const qint64 body = db.size() - qint64(h.headerSize);
    if (body % bs != 0)
        problem(QStringLiteral("file size %1 is not the header plus whole blocks").arg(db.size()));
    const int blocksInFile = int(body / bs);
    if (h.fileBlocks != blocksInFile)
        problem(QStringLiteral("header says %1 blocks in the file, the file holds %2")
                    .arg(h.fileBlocks)
                    .arg(blocksInFile));
    if (h.maxBlocks != h.fileBlocks)
        problem(QStringLiteral("0x3A (%1) differs from the block count (%2)").arg(h.maxBlocks).arg(h.fileBlocks));
    if (h.versionWord1 != 0x100 + h.version || h.versionWord2 != 0x100 + h.version)
        problem(QStringLiteral("version words 0x%1/0x%2 do not match version byte 0x%3")
                    .arg(h.versionWord1, 0, 16)
                    .arg(h.versionWord2, 0, 16)
                    .arg(h.version, 0, 16));
    const int perBlock = h.recordsPerBlock();
    if (perBlock < 1) {
        problem(QStringLiteral("a record does not fit a block"));
        return v;
    }

    // Chain.
    std::vector<char> seen(size_t(blocksInFile) + 1, 0);
    quint32 total = 0;
    quint16 prev = 0;
    quint16 b = h.firstBlock;
    while (b != 0) {
        if (b > blocksInFile) {
            problem(QStringLiteral("chain reaches block %1 past the file").arg(b));
            break;
        }
        if (seen[b]) {
            problem(QStringLiteral("chain loops at block %1").arg(b));
            break;
        }
        seen[b] = 1;
        v.chain.append(b);
        const qint64 off = h.blockOffset(b);
        const quint16 next = le16(db, off);
        const quint16 back = le16(db, off + 2);
        const qint16 add = les16(db, off + 4);
        if (back != prev)
            problem(QStringLiteral("block %1: previous pointer %2, expected %3").arg(b).arg(back).arg(prev));
        if (add % int(h.recordSize) != 0 || add < -int(h.recordSize)
            || add > (perBlock - 1) * int(h.recordSize)) {
            problem(QStringLiteral("block %1: addDataSize %2 out of range").arg(b).arg(add));
        } else {
            const int n = add / int(h.recordSize) + 1;
            if (n == 0 && (next != 0 || prev != 0))
                problem(QStringLiteral("empty block %1 inside the chain").arg(b));
            for (int i = 0; i < n; ++i) {
                v.recordOffsets.append(off + 6 + qint64(i) * h.recordSize);
                v.records.append(db.mid(v.recordOffsets.last(), h.recordSize));
            }
            total += quint32(n);
            if (strict) {
                const qint64 usedEnd = off + 6 + qint64(n) * h.recordSize;
                const qint64 blockEnd = off + bs;
                for (qint64 i = usedEnd; i < blockEnd; ++i) {
                    if (db[i] != 0) {
                        problem(QStringLiteral("block %1: stale bytes after the last record").arg(b));
                        break;
                    }
                }
            }
        }
        prev = b;
        b = next;
    }
    if (h.firstBlock == 0 && h.lastBlock != 0)
        problem(QStringLiteral("empty chain but last block %1").arg(h.lastBlock));
    if (!v.chain.isEmpty() && h.lastBlock != v.chain.last())
        problem(QStringLiteral("last block is %1 in the header, %2 in the chain")
                    .arg(h.lastBlock)
                    .arg(v.chain.last()));
    if (total != h.numRecords)
        problem(QStringLiteral("header counts %1 records, the chain holds %2").arg(h.numRecords).arg(total));
    if (!v.chain.isEmpty() && h.blocksInUse != v.chain.size())
        problem(QStringLiteral("blocks in use (0x0A) is %1, the chain has %2")
                    .arg(h.blocksInUse)
                    .arg(v.chain.size()));

    // Free list.
    b = h.firstFreeBlock;
    while (b != 0) {
        if (b > blocksInFile) {
            problem(QStringLiteral("free list reaches block %1 past the file").arg(b));
            break;
        }
        if (seen[b]) {
            problem(QStringLiteral("free list meets block %1 twice or in the chain").arg(b));
            break;
        }
        seen[b] = 2;
        v.freeList.append(b);
        b = le16(db, h.blockOffset(b));
    }
    for (int i = 1; i <= blocksInFile && i < int(seen.size()); ++i)
        if (!seen[i])
            problem(QStringLiteral("block %1 is neither in the chain nor free").arg(i));
    if (v.freeList.isEmpty() && !v.chain.isEmpty() && h.fileBlocks != h.blocksInUse)
        problem(QStringLiteral("no free blocks, yet 0x0A (%1) differs from 0x0C (%2)")
                    .arg(h.blocksInUse)
                    .arg(h.fileBlocks));

    // Memo fields.
    QVector<int> memoFields;
    for (int i = 0; i < h.fields.size(); ++i)
        if (isBlob(h.fields[i].type))
            memoFields.append(i);
    v.memos.resize(v.records.size());
    if (memoFields.isEmpty())
        return v;

    const QString mbPath = memoFileOf(dbPath);
    if (!QFileInfo::exists(mbPath)) {
        problem(QStringLiteral("memo file missing"));
        return v;
    }
    const QByteArray mb = readFile(mbPath);
    if (mb.size() < 4096 || mb.size() % 4096 != 0) {
        problem(QStringLiteral("memo file size %1 is not whole 4 KB blocks").arg(mb.size()));
        return v;
    }
    v.mbBlocks = int(mb.size() / 4096);
    static const unsigned char kHead[] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00, 0x00, 0x10,
                                          0x00, 0x10, 0x00, 0x10, 0x40, 0x00, 0x00, 0x08};
    if (u8(mb, 0) != 0 || le16(mb, 1) != 1 || std::memcmp(mb.constData() + 5, kHead, sizeof kHead) != 0
        || le16(mb, 0x29) != 0x02A1)
        problem(QStringLiteral("memo header block differs from the constant layout"));

    QMap<int, MbBlock> blocks;  // by 4 KB block index
    for (int i = 1; i < v.mbBlocks;) {
        const qint64 off = qint64(i) * 4096;
        MbBlock blk{u8(mb, off), le16(mb, off + 1)};
        if (blk.count < 1 || i + blk.count > v.mbBlocks) {
            problem(QStringLiteral("memo block %1: count %2 out of range").arg(i).arg(blk.count));
            break;
        }
        if (blk.type == 3 && blk.count != 1)
            problem(QStringLiteral("memo block %1: sub-allocated block with count %2").arg(i).arg(blk.count));
        if (blk.type == 2) {
            const quint32 len = le32(mb, off + 3);
            if (blk.count != int((qint64(len) + 9 + 4095) / 4096))
                problem(QStringLiteral("memo block %1: %2 blocks for %3 bytes").arg(i).arg(blk.count).arg(len));
        } else if (blk.type == 4) {
            v.mbFreeBlocks += blk.count;
        } else if (blk.type != 3) {
            problem(QStringLiteral("memo block %1: type %2").arg(i).arg(blk.type));
            break;
        }
        blocks.insert(i, blk);
        i += blk.count;
    }

    // Slot tables of the sub-allocated blocks.
    QMap<int, QMap<int, SlotUse>> slotMap;  // block -> slot -> use
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it) {
        if (it->type != 3)
            continue;
        const qint64 off = qint64(it.key()) * 4096;
        std::vector<char> taken(256, 0);
        for (int s = 0; s < 64; ++s) {
            const qint64 e = off + 0x0C + 5 * s;
            const int start = u8(mb, e);
            const int chunks = u8(mb, e + 1);
            const int last = u8(mb, e + 4);
            if (start == 0 || last == 0)
                continue;
            if (start < 0x15 || chunks < 1 || start + chunks > 256 || last > 16) {
                problem(QStringLiteral("memo block %1 slot %2 lies outside the data area").arg(it.key()).arg(s));
                continue;
            }
            for (int c = start; c < start + chunks; ++c) {
                if (taken[c]) {
                    problem(QStringLiteral("memo block %1 slot %2 overlaps another").arg(it.key()).arg(s));
                    break;
                }
                taken[c] = 1;
            }
            slotMap[it.key()].insert(s, SlotUse{start, chunks, (chunks - 1) * 16 + last, le16(mb, e + 2)});
        }
    }

    std::set<std::pair<int, int>> referenced;  // (block, slot or 255)
    for (int r = 0; r < v.records.size(); ++r) {
        const QByteArray &rec = v.records[r];
        v.memos[r].resize(h.fields.size());
        for (int fi : memoFields) {
            const RawField &f = h.fields[fi];
            const int leader = f.storage - 10;
            const MemoRef ref = memoRef(rec, f);
            const QByteArray lead = rec.mid(f.offset, leader);
            const QString where = QStringLiteral("record %1 field %2").arg(r).arg(fi);
            if (ref.length <= quint32(leader)) {
                v.memos[r][fi] = lead.left(int(ref.length));
                if (strict) {
                    if (ref.location != 0 || ref.mod != 0)
                        problem(where + QStringLiteral(": short memo points into the memo file"));
                    for (int i = int(ref.length); i < leader; ++i)
                        if (lead[i] != 0) {
                            problem(where + QStringLiteral(": leader not zero-filled"));
                            break;
                        }
                }
                continue;
            }
            if (ref.location == 0) {
                problem(where + QStringLiteral(": long memo without a memo-file reference"));
                continue;
            }
            const int block = int(ref.location >> 12);
            const int index = int(ref.location & 0xFF);
            if ((ref.location & 0xF00) != 0 || !blocks.contains(block)) {
                problem(where + QStringLiteral(": reference to a memo block that does not exist"));
                continue;
            }
            const MbBlock &blk = blocks[block];
            const qint64 off = qint64(block) * 4096;
            QByteArray data;
            if (index == 0xFF) {
                if (blk.type != 2) {
                    problem(where + QStringLiteral(": single-blob reference to a block of type %1").arg(blk.type));
                    continue;
                }
                if (le32(mb, off + 3) != ref.length) {
                    problem(where + QStringLiteral(": stored length differs"));
                    continue;
                }
                if (strict && le16(mb, off + 7) != ref.mod)
                    problem(where + QStringLiteral(": modification number differs"));
                if (strict && ref.length <= 2048)
                    problem(where + QStringLiteral(": %1 bytes in a single-blob block").arg(ref.length));
                data = mb.mid(off + 9, ref.length);
            } else if (index < 64) {
                if (blk.type != 3 || !slotMap.value(block).contains(index)) {
                    problem(where + QStringLiteral(": reference to an unused slot"));
                    continue;
                }
                const SlotUse s = slotMap[block][index];
                if (quint32(s.length) != ref.length) {
                    problem(where + QStringLiteral(": slot length %1, record length %2").arg(s.length).arg(ref.length));
                    continue;
                }
                if (strict && s.mod != ref.mod)
                    problem(where + QStringLiteral(": modification number differs"));
                data = mb.mid(off + qint64(s.start) * 16, s.length);
            } else {
                problem(where + QStringLiteral(": slot index %1").arg(index));
                continue;
            }
            if (!referenced.insert({block, index}).second)
                problem(where + QStringLiteral(": memo space shared with another record"));
            if (strict && lead != data.left(leader))
                problem(where + QStringLiteral(": leader is not a copy of the memo's start"));
            v.memos[r][fi] = data;
        }
    }

    if (strict) {
        for (auto it = blocks.cbegin(); it != blocks.cend(); ++it) {
            if (it->type == 2 && !referenced.count({it.key(), 0xFF}))
                problem(QStringLiteral("memo block %1 is used by no record (leak)").arg(it.key()));
        }
        for (auto it = slotMap.cbegin(); it != slotMap.cend(); ++it)
            for (auto s = it->cbegin(); s != it->cend(); ++s)
                if (!referenced.count({it.key(), s.key()}))
                    problem(QStringLiteral("memo block %1 slot %2 is used by no record (leak)")
                                .arg(it.key())
                                .arg(s.key()));
    }
    return v;
}

// ---- independent decoding -----------------------------------------------------------------

QByteArray alphaBytes(const QByteArray &record, const RawField &f)
{
    QByteArray b = record.mid(f.offset, f.storage);
    const qsizetype nul = b.indexOf('\0');
    return nul < 0 ? b : b.left(nul);
}

static quint64 be64(const QByteArray &b, qsizetype off)
{
    quint64 v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | u8(b, off + i);
    return v;
}

bool numberValue(const QByteArray &record, const RawField &f, double &out)
{
    quint64 bits = be64(record, f.offset);
    if (bits == 0)
        return false;
    bits = (bits & 0x8000000000000000ull) ? (bits & 0x7FFFFFFFFFFFFFFFull) : ~bits;
    out = std::bit_cast<double>(bits);
    return true;
}

bool dateValue(const QByteArray &record, const RawField &f, QDate &out)
{
    quint32 raw = 0;
    for (int i = 0; i < 4; ++i)
        raw = (raw << 8) | u8(record, f.offset + i);
    if (raw == 0)
        return false;
    const qint32 days = qint32(raw ^ 0x80000000u);
    out = QDate::fromJulianDay(qint64(days) + 1721425);
    return true;
}

QByteArray encodeNumber(double v)
{
    quint64 bits = std::bit_cast<quint64>(v);
    bits = v >= 0 ? (bits | 0x8000000000000000ull) : ~bits;
    QByteArray out(8, '\0');
    for (int i = 7; i >= 0; --i) {
        out[i] = char(bits & 0xFF);
        bits >>= 8;
    }
    return out;
}

QByteArray encodeDate(QDate d)
{
    const quint32 raw = quint32(qint32(d.toJulianDay() - 1721425)) ^ 0x80000000u;
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char(raw >> (24 - 8 * i));
    return out;
}

// ---- values ------------------------------------------------------------------------------

QString describe(const px::Value &v)
{
    struct V
    {
        QString operator()(std::monostate) const { return QStringLiteral("NULL"); }
        QString operator()(const QString &s) const
        {
            return QLatin1Char('"') + (s.size() > 80 ? s.left(80) + QStringLiteral("...") : s)
                 + QStringLiteral("\" (%1 chars)").arg(s.size());
        }
        QString operator()(double d) const { return QStringLiteral("double ") + QString::number(d, 'g', 17); }
        QString operator()(qint64 i) const { return QStringLiteral("int ") + QString::number(i); }
        QString operator()(bool b) const { return b ? QStringLiteral("true") : QStringLiteral("false"); }
        QString operator()(const QDate &d) const { return QStringLiteral("date ") + d.toString(Qt::ISODate); }
        QString operator()(const QTime &t) const { return QStringLiteral("time ") + t.toString(Qt::ISODateWithMs); }
        QString operator()(const QDateTime &t) const { return QStringLiteral("timestamp ") + t.toString(Qt::ISODateWithMs); }
        QString operator()(const QByteArray &b) const { return QStringLiteral("bytes ") + QString::fromLatin1(b.left(40).toHex()); }
    };
    return std::visit(V{}, v);
}

bool sameValue(const px::Value &a, const px::Value &b)
{
    if (a.index() != b.index())
        return false;
    if (const double *d = std::get_if<double>(&a))
        return *d == std::get<double>(b);
    return a == b;
}

bool sameText(const px::Value &v, const QString &expected)
{
    if (px::isNull(v))
        return expected.isEmpty();
    const QString *s = std::get_if<QString>(&v);
    return s && *s == expected;
}

QVector<QVector<px::Value>> readAll(px::Table &t)
{
    QVector<QVector<px::Value>> rows;
    const int n = t.fields().size();
    t.scan([&](px::RecordPos, const char *raw) {
        QVector<px::Value> row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.append(t.decode(raw, i));
        rows.append(row);
        return true;
    });
    return rows;
}

// ---- child processes ----------------------------------------------------------------------

static const char kRoleVar[] = "PXTEST_ROLE";

QString childRole()
{
    return qEnvironmentVariable(kRoleVar);
}

std::unique_ptr<QProcess> startSelf(const QString &role, const QStringList &args)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kRoleVar), role);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QCoreApplication::applicationFilePath(), args);
    p->waitForStarted(10000);
    return p;
}

QByteArray readLine(QProcess &p, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!p.canReadLine()) {
        if (p.state() == QProcess::NotRunning) {
            p.waitForReadyRead(0);
            if (!p.canReadLine())
                return {};
            break;
        }
        if (deadline.hasExpired())
            return {};
        p.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 200))));
    }
    return p.readLine().trimmed();
}

void emitLine(const QByteArray &line)
{
    QByteArray out = line + '\n';
    const char *p = out.constData();
    qsizetype left = out.size();
    while (left > 0) {
        const ssize_t n = ::write(1, p, size_t(left));
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

QString modeName(px::Table::Mode mode)
{
    switch (mode) {
    case px::Table::Mode::ReadOnly: return QStringLiteral("readonly");
    case px::Table::Mode::Shared: return QStringLiteral("shared");
    case px::Table::Mode::Exclusive: return QStringLiteral("exclusive");
    }
    return {};
}

px::Table::Mode modeFromName(const QString &name)
{
    if (name == QLatin1String("readonly"))
        return px::Table::Mode::ReadOnly;
    if (name == QLatin1String("exclusive"))
        return px::Table::Mode::Exclusive;
    return px::Table::Mode::Shared;
}

int runStandardChild(const QString &role, const QStringList &args)
{
    if (role != QLatin1String("try") && role != QLatin1String("hold"))
        return -1;
    if (args.size() < 2)
        return 2;
    std::unique_ptr<px::Table> table;
    try {
        table = std::make_unique<px::Table>(args[0], modeFromName(args[1]));
        emitLine("OPEN");
    } catch (const px::EngineError &e) {
        QString msg = e.message();
        msg.replace(QLatin1Char('\n'), QLatin1Char(' '));
        emitLine("ERR " + QByteArray::number(int(e.kind())) + ' ' + msg.toUtf8());
    } catch (...) {
        emitLine("ERR -1 foreign exception");
    }
    if (role == QLatin1String("hold")) {
        char buf[64];
        ssize_t n = 0;
        while ((n = ::read(0, buf, sizeof buf)) > 0) {
            if (std::memchr(buf, '\n', size_t(n)))
                break;
        }
    }
    return 0;
}

ChildOpen parseChildOpen(const QByteArray &line)
{
    ChildOpen r;
    if (line == "OPEN") {
        r.answered = r.opened = true;
    } else if (line.startsWith("ERR ")) {
        r.answered = true;
        const QByteArray rest = line.mid(4);
        const qsizetype sp = rest.indexOf(' ');
        r.kind = rest.left(sp).toInt();
        r.message = QString::fromUtf8(rest.mid(sp + 1));
    }
    return r;
}

ChildOpen openInChild(const QString &path, px::Table::Mode mode)
{
    auto p = startSelf(QStringLiteral("try"), {path, modeName(mode)});
    const ChildOpen r = parseChildOpen(readLine(*p, 20000));
    p->waitForFinished(20000);
    return r;
}

std::unique_ptr<Holder> holdInChild(const QString &path, px::Table::Mode mode)
{
    auto h = std::make_unique<Holder>();
    h->process = startSelf(QStringLiteral("hold"), {path, modeName(mode)});
    h->result = parseChildOpen(readLine(*h->process, 20000));
    return h;
}

void Holder::release()
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->write("q\n");
    process->closeWriteChannel();
    if (!process->waitForFinished(20000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

void Holder::kill()
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->kill();
    process->waitForFinished(10000);
}

Holder::~Holder()
{
    release();
}

// ---- hangs and crashes ---------------------------------------------------------------------

namespace {

char g_case[512] = "(no case)";
std::atomic<qint64> g_lastFeed{0};
std::atomic<int> g_limit{0};

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void writeErr(const char *s)
{
    const ssize_t ignored = ::write(2, s, std::strlen(s));
    (void)ignored;
}

extern "C" void onCrash(int sig)
{
    writeErr("\n*** crash signal in case: ");
    writeErr(g_case);
    writeErr("\n");
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

void setCase(const QString &label)
{
    const QByteArray b = label.toUtf8().left(sizeof g_case - 1);
    std::memcpy(g_case, b.constData(), size_t(b.size()));
    g_case[b.size()] = 0;
    feedWatchdog();
}

void feedWatchdog()
{
    g_lastFeed = nowMs();
}

void startWatchdog(int seconds)
{
    static std::once_flag once;
    g_limit = seconds;
    feedWatchdog();
    std::call_once(once, [] {
        std::thread([] {
            for (;;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                const int limit = g_limit;
                if (limit > 0 && nowMs() - g_lastFeed > qint64(limit) * 1000) {
                    writeErr("\n*** hang (watchdog) in case: ");
                    writeErr(g_case);
                    writeErr("\n");
                    std::abort();
                }
            }
        }).detach();
    });
}

void installCrashReporter()
{
#if !defined(__SANITIZE_ADDRESS__)
    std::signal(SIGSEGV, onCrash);
    std::signal(SIGBUS, onCrash);
    std::signal(SIGFPE, onCrash);
    std::signal(SIGILL, onCrash);
#endif
}

QString patternText(quint32 seed, int length)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789,.-/";
    QByteArray out;
    out.reserve(length);
    quint32 x = seed * 2654435761u + 12345u;
    for (int i = 0; i < length; ++i) {
        x = x * 1664525u + 1013904223u;
        if (i % 61 == 60)
            out.append('\n');
        else
            out.append(alphabet[(x >> 16) % (sizeof alphabet - 1)]);
    }
    return QString::fromLatin1(out);
}

} // namespace pxtest

namespace pxtest {

namespace {
ToolResult runProgram(const QString &program, const QStringList &args, const QByteArray &input, const QStringList &env,
                      const QString &workDir)
{
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env)
        e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(e);
    p.start();
    ToolResult r;
    if (!p.waitForStarted())
        return r;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(300000))
        return r;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() != QProcess::NormalExit) {
        r.killed = true;
        return r;
    }
    r.code = p.exitCode();
    return r;
}
} // namespace

ToolResult runTool(const QStringList &args, const QByteArray &input, const QStringList &env, const QString &workDir)
{
    return runProgram(QStringLiteral(BL_TOOL_PATH), args, input, env, workDir);
}

ToolResult runFaultyTool(const QString &fault, const QStringList &args, const QByteArray &input)
{
    return runProgram(QStringLiteral(BL_TOOL_TEST_PATH), args, input, {QStringLiteral("BL_IO_FAULT=") + fault}, {});
}

} // namespace pxtest
