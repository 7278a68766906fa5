#include "PxTableImpl.h"

#include <QDir>

// Salvage: what a damaged pair still holds, into a new sound table. Nothing is guessed: a
// block whose head does not make sense gives no records, a memo that does not read back as
// stored gives no text, and both are reported.

namespace px {

namespace {

// The reason part of an engine message ("... danificada: reason").
QString reasonOf(const EngineError &e)
{
    const QString &m = e.message();
    const qsizetype at = m.lastIndexOf(QStringLiteral(": "));
    return at < 0 ? m : m.mid(at + 2);
}

} // namespace

QVector<Table::Loss> Table::salvage(const QString &damagedPath, const QString &dbPath, quint32 *savedOut)
{
    Impl s;
    s.path = damagedPath;
    s.mode = Mode::ReadOnly;
    if (!s.db.open(damagedPath, false))
        throw EngineError::fileMissing(damagedPath);
    const qint64 size = s.db.size();
    QByteArray bytes(std::min<qint64>(size, 0x10000), Qt::Uninitialized);
    if (!s.db.readAt(0, bytes.data(), bytes.size()))
        throw s.damaged(QStringLiteral("arquivo curto demais"));
    s.h = parseHeader(damagedPath, bytes, size, false);
    s.fields = s.h.fields;
    int off = 0;
    for (const FieldDef &f : s.fields) {
        s.offsets.append(off);
        off += f.storageSize();
        s.hasBlobs = s.hasBlobs || isBlobType(f.type);
    }
    s.dbSize = size;
    QVector<Loss> lost;
    if (s.hasBlobs) {
        s.mbPath = detail::findMemoFile(damagedPath);
        try {
            if (s.mbPath.isEmpty() || !s.mb.open(s.mbPath, false))
                throw EngineError::memoMissing(detail::memoPathFor(damagedPath));
            s.memo = std::make_unique<MemoFile>(s.mb);
            s.memo->validate();
        } catch (const EngineError &e) {
            s.memo.reset();
            lost.append({0, 0, QString(), e.message()});
        }
    }

    CreateOptions opt;
    opt.level = levelOfVersion(s.h.version) == 3 ? 4 : levelOfVersion(s.h.version);
    opt.blockSizeKb = s.h.blockKb;
    opt.codePage = s.h.codePage;
    create(dbPath, s.fields, opt);
    Table out(dbPath, Mode::Exclusive);
    out.setSyncWrites(false);
    out.beginBatch();

    const int rs = s.h.recordSize;
    const int bs = s.h.blockSize();
    const qint64 blocks = std::min<qint64>(0xFFFF, (size - s.h.headerSize + bs - 1) / bs);  // a torn last block counts
    struct Head
    {
        quint16 next = 0;
        int count = -1;  // -1: the head makes no sense
        qint64 avail = 0;
    };
    QVector<Head> heads(blocks + 1);
    for (qint64 b = 1; b <= blocks; ++b) {
        unsigned char p[6];
        Head &hd = heads[b];
        hd.avail = std::min<qint64>(bs, size - s.h.blockOffset(quint16(b)));
        if (hd.avail < 6 || !s.db.readAt(s.h.blockOffset(quint16(b)), p, 6))
            continue;
        hd.next = le16(p);
        const int ads = qint16(le16(p + 4));
        if (ads >= -rs && (ads + rs) % rs == 0 && ads / rs + 1 <= s.h.recordsPerBlock())
            hd.count = ads / rs + 1;
    }
    // The chain as far as it goes, then every other block that holds records.
    QVector<char> seen(blocks + 1, 0);
    QVector<quint16> order;
    for (quint16 b = s.h.firstBlock; b != 0 && b <= blocks && !seen[b];) {
        seen[b] = 1;
        order.append(b);
        if (heads[b].count < 0)
            break;
        b = heads[b].next;
    }
    QSet<QByteArray> chainBlocks;
    auto records = [&](quint16 b) {
        QByteArray d(qsizetype(std::max(0, heads[b].count)) * rs, '\0');
        const qint64 n = std::min<qint64>(d.size(), heads[b].avail - 6);
        if (n > 0 && !s.db.readAt(s.h.blockOffset(b) + 6, d.data(), n))
            d.clear();
        return d;
    };
    for (quint16 b : std::as_const(order))
        if (heads[b].count > 0)
            chainBlocks.insert(records(b));
    for (qint64 b = 1; b <= blocks; ++b) {
        if (seen[b] || heads[b].count == 0)
            continue;
        // A block that repeats a chain block's records (a move cut short) adds nothing.
        if (heads[b].count > 0 && chainBlocks.contains(records(quint16(b))))
            continue;
        order.append(quint16(b));
    }

    quint32 saved = 0;
    QVector<Value> row;
    for (quint16 b : std::as_const(order)) {
        const Head &hd = heads[b];
        if (hd.count < 0) {
            lost.append({b, 0, QString(), QStringLiteral("contagem de registros inválida no bloco")});
            continue;
        }
        const QByteArray d = records(b);
        for (int slot = 0; slot < hd.count; ++slot) {
            if (6 + qint64(slot + 1) * rs > hd.avail) {
                lost.append({b, slot + 1, QString(), QStringLiteral("além do fim do arquivo")});
                continue;
            }
            const char *raw = d.constData() + qsizetype(slot) * rs;
            row.resize(s.fields.size());
            for (int f = 0; f < s.fields.size(); ++f) {
                try {
                    if (isBlobType(s.fields[f].type) && !s.memo) {
                        const quint32 len = le32(reinterpret_cast<const unsigned char *>(raw + s.offsets[f] + s.fields[f].size + 4));
                        if (len > quint32(s.fields[f].size)) {
                            row[f] = std::monostate{};
                            lost.append({b, slot + 1, s.fields[f].name, QStringLiteral("arquivo de memorandos ilegível")});
                            continue;
                        }
                    }
                    row[f] = s.decodeField(raw, f);
                    if (const QDate *date = std::get_if<QDate>(&row[f]); date && !date->isValid())
                        throw s.damaged(QStringLiteral("data inválida"));
                } catch (const EngineError &e) {
                    row[f] = std::monostate{};
                    lost.append({b, slot + 1, s.fields[f].name, reasonOf(e)});
                }
            }
            try {
                out.append(row);
                ++saved;
            } catch (const EngineError &e) {
                lost.append({b, slot + 1, QString(), reasonOf(e)});
            }
        }
    }
    if (saved < s.h.numRecords)
        lost.append({0, 0, QString(),
                     QStringLiteral("o cabeçalho indica %1 registros, %2 foram salvos").arg(s.h.numRecords).arg(saved)});
    out.commitBatch();
    out.setSyncWrites(true);
    if (savedOut)
        *savedOut = saved;
    return lost;
}

} // namespace px
