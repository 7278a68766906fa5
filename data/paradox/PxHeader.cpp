#include "PxHeader.h"

#include "PxCodePage.h"
#include "PxError.h"
#include "PxFile.h"

#include <QDateTime>

#include <cstring>

namespace px {

namespace {

const unsigned char *u(const QByteArray &b)
{
    return reinterpret_cast<const unsigned char *>(b.constData());
}


const char *sortOrderName(int id)
{
    switch (id) {
    case 0x00: return "ascii";
    case 0x40: return "DBWINWE0";
    case 0xB7: return "intl";
    default: return "DBWINWE0";
    }
}

int sortOrderFor(int codePage)
{
    switch (codePage) {
    case 437: return 0x00;
    case 850: return 0xB7;
    default: return 0x40;
    }
}

} // namespace

int levelOfVersion(int v)
{
    if (v == 3 || v == 4)
        return 3;
    if (v >= 5 && v <= 9)
        return 4;
    if (v == 0x0A || v == 0x0B)
        return 5;
    if (v == 0x0C)
        return 7;
    return 0;
}

void Header::readCounters()
{
    const unsigned char *p = u(prefix);
    numRecords = le32(p + hdr::NumRecords);
    blocksInUse = le16(p + hdr::BlocksInUse);
    fileBlocks = le16(p + hdr::FileBlocks);
    firstBlock = le16(p + hdr::FirstBlock);
    lastBlock = le16(p + hdr::LastBlock);
    maxBlocks = le16(p + hdr::MaxBlocks);
    firstFree = le16(p + hdr::FirstFree);
    changeCount = le16(p + hdr::ChangeCount);
    writeMarker = p[hdr::WriteMarker] != 0;
    markerKind = writeMarker ? p[hdr::WriteMarker] : 1;
}

void Header::storeCounters()
{
    auto *p = reinterpret_cast<unsigned char *>(prefix.data());
    put32(p + hdr::NumRecords, numRecords);
    put16(p + hdr::BlocksInUse, blocksInUse);
    put16(p + hdr::FileBlocks, fileBlocks);
    put16(p + hdr::FirstBlock, firstBlock);
    put16(p + hdr::LastBlock, lastBlock);
    put16(p + hdr::MaxBlocks, maxBlocks);
    put16(p + hdr::FirstFree, firstFree);
    put16(p + hdr::ChangeCount, changeCount);
    p[hdr::WriteMarker] = writeMarker ? markerKind : 0;
    if (version >= 5)
        put32(p + hdr::UpdateTime, quint32(QDateTime::currentSecsSinceEpoch()));
}

QString checkField(int type, int size, bool *unsupported)
{
    *unsupported = false;
    switch (FieldType(type)) {
    case FieldType::Alpha:
    case FieldType::Bytes:
        return size >= 1 && size <= 255 ? QString() : QStringLiteral("tamanho de campo inválido");
    case FieldType::Date:
    case FieldType::Long:
    case FieldType::Time:
    case FieldType::AutoInc:
        return size == 4 ? QString() : QStringLiteral("tamanho de campo inválido");
    case FieldType::Short:
        return size == 2 ? QString() : QStringLiteral("tamanho de campo inválido");
    case FieldType::Currency:
    case FieldType::Number:
    case FieldType::Timestamp:
        return size == 8 ? QString() : QStringLiteral("tamanho de campo inválido");
    case FieldType::Logical:
        return size == 1 ? QString() : QStringLiteral("tamanho de campo inválido");
    case FieldType::Memo:
        return size >= 11 && size <= 250 ? QString() : QStringLiteral("tamanho de campo memo inválido");
    case FieldType::Blob:
    case FieldType::FmtMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return size >= 10 && size <= 250 ? QString() : QStringLiteral("tamanho de campo blob inválido");
    case FieldType::Bcd:
        *unsupported = true;
        return QStringLiteral("campos BCD não são suportados");
    }
    return QStringLiteral("tipo de campo desconhecido (%1)").arg(type);
}

Header parseHeader(const QString &path, const QByteArray &bytes, qint64 fileSize, bool counters)
{
    auto bad = [&](const QString &why) { return EngineError::damaged(path, why); };
    if (bytes.size() < 0x58)
        throw bad(QStringLiteral("arquivo curto demais"));
    const unsigned char *p = u(bytes);
    Header h;
    h.recordSize = le16(p + hdr::RecordSize);
    h.headerSize = le16(p + hdr::HeaderSize);
    h.fileType = p[hdr::FileType];
    h.blockKb = p[hdr::BlockKb];
    h.version = p[hdr::Version];
    const int level = levelOfVersion(h.version);
    if (level == 0)
        throw bad(QStringLiteral("versão de arquivo desconhecida (%1)").arg(h.version));
    if (h.fileType > 8)
        throw bad(QStringLiteral("tipo de arquivo inválido (%1)").arg(h.fileType));
    // The fields every kind of Paradox file shares come first: when they show damage, a
    // byte that reads as an index file, a password or a code page is damage too.
    if (h.blockKb < 1 || h.blockKb > 32)
        throw bad(QStringLiteral("tamanho de bloco inválido (%1)").arg(h.blockKb));
    if (h.recordSize == 0 || h.recordSize > h.blockSize() - 6)
        throw bad(QStringLiteral("tamanho de registro inválido (%1)").arg(h.recordSize));
    if (h.headerSize < 0x58 || h.headerSize > fileSize)
        throw bad(QStringLiteral("tamanho de cabeçalho inválido (%1)").arg(h.headerSize));
    if (h.fileType != 0 && h.fileType != 2)
        throw EngineError::unsupported(path, QStringLiteral("é um arquivo de índice, não de dados"));
    if (level == 3)
        throw EngineError::unsupported(path, QStringLiteral("tabelas do Paradox 3 não são suportadas"));
    if (bytes.size() < hdr::FixedPart)
        throw bad(QStringLiteral("cabeçalho incompleto"));
    if (h.headerSize < hdr::FixedPart)
        throw bad(QStringLiteral("tamanho de cabeçalho inválido (%1)").arg(h.headerSize));
    if (bytes.size() < h.headerSize)
        throw bad(QStringLiteral("cabeçalho incompleto"));

    // Refused only once the rest of the header has shown itself sound (below).
    QString unsupported;
    const quint32 enc1 = le32(p + hdr::Encryption1);
    const quint32 enc2 = le32(p + hdr::Encryption2);
    h.encrypted = (enc1 != 0xFF00FF00u && enc1 != 0) || enc2 != 0;
    if (h.encrypted)
        unsupported = QStringLiteral("tabela protegida por senha");

    h.codePage = le16(p + hdr::CodePage);
    if (unsupported.isEmpty() && !codepage::isSupported(h.codePage))
        unsupported = QStringLiteral("página de código %1").arg(h.codePage);
    const int namesCodePage = codepage::isSupported(h.codePage) ? h.codePage : 1252;
    h.sortOrder = p[hdr::SortOrder];

    const int numFields = le16(p + hdr::NumFields);
    if (numFields < 1 || numFields > 1024)
        throw bad(QStringLiteral("número de campos inválido (%1)").arg(numFields));
    const int keyFields = le16(p + hdr::KeyFields);
    if (keyFields > numFields)
        throw bad(QStringLiteral("número de campos-chave inválido"));
    if ((h.fileType == 0) != (keyFields > 0) && h.fileType == 2)
        throw bad(QStringLiteral("tabela sem índice com campos-chave"));

    // Field descriptors, pointers, table name, then the NUL-terminated field names.
    qint64 pos = hdr::FixedPart;
    const qint64 end = h.headerSize;
    if (pos + 2 * numFields > end)
        throw bad(QStringLiteral("descritores de campo fora do cabeçalho"));
    int sum = 0;
    h.fields.resize(numFields);
    for (int i = 0; i < numFields; ++i) {
        const int type = p[pos + 2 * i];
        const int size = p[pos + 2 * i + 1];
        bool unsupported = false;
        const QString why = checkField(type, size, &unsupported);
        if (!why.isEmpty()) {
            if (unsupported)
                throw EngineError::unsupported(path, why);
            throw bad(why);
        }
        FieldDef &f = h.fields[i];
        f.type = FieldType(type);
        f.size = isBlobType(f.type) ? size - 10 : size;
        sum += f.storageSize();
    }
    if (sum != h.recordSize)
        throw bad(QStringLiteral("os campos não somam o tamanho do registro"));
    pos += 2 * numFields;
    pos += 4 + 4 * qint64(numFields) + (level == 7 ? 261 : 79);
    for (int i = 0; i < numFields; ++i) {
        qint64 e = pos;
        while (e < end && p[e] != 0)
            ++e;
        if (e >= end)
            throw bad(QStringLiteral("nomes de campo fora do cabeçalho"));
        h.fields[i].name = codepage::decode(namesCodePage, bytes.constData() + pos, e - pos);
        if (h.fields[i].name.isEmpty())
            throw bad(QStringLiteral("campo sem nome"));
        pos = e + 1;
    }

    h.prefix = bytes.left(hdr::FixedPart);
    h.readCounters();
    if (!counters) {
        if (!unsupported.isEmpty())
            throw EngineError::unsupported(path, unsupported);
        return h;
    }
    if (h.fileBlocks > 0 && fileSize < h.blockOffset(h.fileBlocks))  // the last block must at least start
        throw bad(QStringLiteral("arquivo menor que o número de blocos indicado"));
    if (h.numRecords > quint64(h.fileBlocks) * quint64(h.recordsPerBlock()))
        throw bad(QStringLiteral("número de registros maior do que cabe nos blocos"));
    if (h.firstBlock > h.fileBlocks || h.lastBlock > h.fileBlocks || h.firstFree > h.fileBlocks)
        throw bad(QStringLiteral("referência a bloco inexistente no cabeçalho"));
    if ((h.firstBlock == 0) != (h.lastBlock == 0))
        throw bad(QStringLiteral("início e fim da cadeia de blocos não combinam"));
    if (!unsupported.isEmpty())
        throw EngineError::unsupported(path, unsupported);
    return h;
}

QByteArray buildHeader(const QString &tableName, const QVector<FieldDef> &fields, const CreateOptions &opt)
{
    const int version = opt.level == 4 ? 0x09 : opt.level == 5 ? 0x0B : 0x0C;
    const int sortOrder = sortOrderFor(opt.codePage);
    const QByteArray sortName(sortOrderName(sortOrder));

    QByteArray var;  // the variable part from 0x78
    for (const FieldDef &f : fields) {
        var.append(char(f.type));
        var.append(char(isBlobType(f.type) ? f.size + 10 : f.size));
    }
    var.append(4, '\0');                   // table name pointer (runtime value)
    var.append(4 * fields.size(), '\0');   // field name pointers (runtime values)
    const int nameArea = opt.level == 7 ? 261 : 79;
    QByteArray name;
    codepage::encode(opt.codePage, tableName.left(nameArea - 1), name);
    name = name.left(nameArea - 1);
    name.append(nameArea - name.size(), '\0');
    var.append(name);
    for (const FieldDef &f : fields) {
        QByteArray n;
        codepage::encode(opt.codePage, f.name, n);
        var.append(n);
        var.append('\0');
    }
    const int fieldNumbersAt = hdr::FixedPart + int(var.size());
    for (int i = 0; i < fields.size(); ++i) {
        var.append(char((i + 1) & 0xFF));
        var.append(char((i + 1) >> 8));
    }
    const int sortNameAt = hdr::FixedPart + int(var.size());
    var.append(sortName);
    var.append('\0');
    const int used = hdr::FixedPart + int(var.size());
    const int headerSize = (used + 0x7FF) / 0x800 * 0x800;

    QByteArray h(headerSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(h.data());
    int recordSize = 0;
    for (const FieldDef &f : fields)
        recordSize += f.storageSize();
    put16(p + hdr::RecordSize, quint16(recordSize));
    put16(p + hdr::HeaderSize, quint16(headerSize));
    p[hdr::FileType] = 2;
    p[hdr::BlockKb] = quint8(opt.blockSizeKb);
    put16(p + hdr::NumFields, quint16(fields.size()));
    put32(p + hdr::Encryption1, 0xFF00FF00u);
    p[hdr::SortOrder] = quint8(sortOrder);
    p[0x2D] = 2;  // change counters as other writers start them
    p[0x2E] = 1;
    p[hdr::Version] = quint8(version);
    p[0x3E] = 0x1F;
    p[0x3F] = 0x0F;
    put16(p + 0x51, quint16(used));
    p[0x56] = 0x20;
    put16(p + 0x58, quint16(0x100 + version));
    put16(p + 0x5A, quint16(0x100 + version));
    put32(p + hdr::UpdateTime, quint32(QDateTime::currentSecsSinceEpoch()));
    put16(p + 0x64, quint16(fields.size() + 1));
    put16(p + 0x66, quint16(fieldNumbersAt - 0x58));
    put16(p + hdr::CodePage, quint16(opt.codePage));
    p[0x6C] = 1;
    p[0x6D] = 1;
    put16(p + 0x6E, quint16(sortNameAt - 0x58));
    memcpy(h.data() + hdr::FixedPart, var.constData(), size_t(var.size()));
    return h;
}

} // namespace px
