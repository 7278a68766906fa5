#include "PxTableImpl.h"

#include "PxCodePage.h"

#include <bit>
#include <cmath>
#include <cstring>

// Field values: the Paradox encodings of every field kind, and memo text through the .MB.

namespace px {

using detail::DateOffset;

namespace {

inline quint16 be16(const unsigned char *p) { return quint16((p[0] << 8) | p[1]); }
inline quint32 be32(const unsigned char *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}
inline quint64 be64(const unsigned char *p) { return (quint64(be32(p)) << 32) | be32(p + 4); }
inline void putBe16(unsigned char *p, quint16 v)
{
    p[0] = v >> 8;
    p[1] = v & 0xFF;
}
inline void putBe32(unsigned char *p, quint32 v)
{
    putBe16(p, quint16(v >> 16));
    putBe16(p + 2, quint16(v));
}
inline void putBe64(unsigned char *p, quint64 v)
{
    putBe32(p, quint32(v >> 32));
    putBe32(p + 4, quint32(v));
}

double decodeDouble(const unsigned char *p, bool *null)
{
    const quint64 v = be64(p);
    *null = v == 0;
    const quint64 bits = (v & 0x8000000000000000ULL) ? (v & 0x7FFFFFFFFFFFFFFFULL) : ~v;
    return std::bit_cast<double>(bits);
}

void encodeDouble(unsigned char *p, double d)
{
    if (d == 0)
        d = 0;  // a stored -0.0 would read back as another value
    const quint64 bits = std::bit_cast<quint64>(d);
    putBe64(p, (bits & 0x8000000000000000ULL) ? ~bits : (bits | 0x8000000000000000ULL));
}

// Text into out, reusing the string out already holds.
void setText(Value &out, int codePage, const char *bytes, qsizetype len)
{
    if (QString *s = std::get_if<QString>(&out)) {
        codepage::decodeInto(codePage, bytes, len, *s);
        return;
    }
    out = codepage::decode(codePage, bytes, len);
}

} // namespace

QByteArray Table::Impl::blobBytes(const char *raw, int field)
{
    const FieldDef &f = fields[field];
    const auto *p = reinterpret_cast<const unsigned char *>(raw + offsets[field]);
    const int leader = f.size;
    const quint32 loc = le32(p + leader);
    const quint32 len = le32(p + leader + 4);
    if (len == 0)
        return QByteArray();
    if (len <= quint32(leader))
        return QByteArray(raw + offsets[field], qsizetype(len));
    if (!memo)
        throw damaged(QStringLiteral("referência a memorando sem arquivo de memorandos"));
    return memo->read(loc, len);
}


const char *Table::Impl::blobView(const char *raw, int field, qsizetype *len)
{
    const FieldDef &f = fields[field];
    const auto *p = reinterpret_cast<const unsigned char *>(raw + offsets[field]);
    const quint32 loc = le32(p + f.size);
    const quint32 n = le32(p + f.size + 4);
    *len = qsizetype(n);
    if (n == 0)
        return nullptr;
    if (n <= quint32(f.size))
        return raw + offsets[field];
    if (!memo)
        throw damaged(QStringLiteral("referência a memorando sem arquivo de memorandos"));
    return memo->view(loc, n, scratch);
}



void Table::Impl::decodeInto(const char *raw, int field, Value &out)
{
    const FieldDef &f = fields[field];
    const char *c = raw + offsets[field];
    const auto *p = reinterpret_cast<const unsigned char *>(c);
    switch (f.type) {
    case FieldType::Alpha: {
        const void *nul = std::memchr(c, 0, size_t(f.size));
        const qsizetype len = nul ? static_cast<const char *>(nul) - c : f.size;
        if (len == 0) {
            out = std::monostate{};
            return;
        }
        setText(out, h.codePage, c, len);
        return;
    }
    case FieldType::Date: {
        const quint32 v = be32(p);
        if (v == 0) {
            out = std::monostate{};
            return;
        }
        out = QDate::fromJulianDay(qint64(qint32(v ^ 0x80000000u)) + DateOffset);
        return;
    }
    case FieldType::Short: {
        const quint16 v = be16(p);
        if (v == 0) {
            out = std::monostate{};
            return;
        }
        out = qint64(qint16(v ^ 0x8000));
        return;
    }
    case FieldType::Long:
    case FieldType::AutoInc: {
        const quint32 v = be32(p);
        if (v == 0) {
            out = std::monostate{};
            return;
        }
        out = qint64(qint32(v ^ 0x80000000u));
        return;
    }
    case FieldType::Number:
    case FieldType::Currency: {
        bool null;
        const double d = decodeDouble(p, &null);
        if (null) {
            out = std::monostate{};
            return;
        }
        out = d;
        return;
    }
    case FieldType::Logical:
        if (p[0] == 0) {
            out = std::monostate{};
            return;
        }
        out = (p[0] & 0x7F) != 0;
        return;
    case FieldType::Time: {
        const quint32 v = be32(p);
        if (v == 0) {
            out = std::monostate{};
            return;
        }
        const qint32 ms = qint32(v ^ 0x80000000u);
        if (ms < 0 || ms >= 86400000) {
            out = std::monostate{};
            return;
        }
        out = QTime::fromMSecsSinceStartOfDay(ms);
        return;
    }
    case FieldType::Timestamp: {
        bool null;
        const double ms = decodeDouble(p, &null);
        if (null || !std::isfinite(ms) || std::fabs(ms) > 1e17) {
            out = std::monostate{};
            return;
        }
        const qint64 total = qint64(ms);
        const qint64 days = total / 86400000;
        const int msOfDay = int(total % 86400000);
        out = QDateTime(QDate::fromJulianDay(days + DateOffset), QTime::fromMSecsSinceStartOfDay(msOfDay));
        return;
    }
    case FieldType::Bytes: {
        bool any = false;
        for (int i = 0; i < f.size && !any; ++i)
            any = c[i] != 0;
        if (!any) {
            out = std::monostate{};
            return;
        }
        out = QByteArray(c, f.size);
        return;
    }
    case FieldType::Memo:
    case FieldType::FmtMemo: {
        qsizetype len = 0;
        const char *b = blobView(raw, field, &len);
        if (len == 0) {
            out = std::monostate{};
            return;
        }
        setText(out, h.codePage, b, len);
        return;
    }
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic: {
        const QByteArray b = blobBytes(raw, field);
        if (b.isEmpty()) {
            out = std::monostate{};
            return;
        }
        out = b;
        return;
    }
    case FieldType::Bcd:
        break;
    }
    out = std::monostate{};
    return;
}


EngineError Table::Impl::kindError(const FieldDef &f) const
{
    return EngineError(EngineError::Kind::BadText,
                       QStringLiteral("Valor de tipo errado para o campo %1 da tabela %2").arg(f.name, path));
}

Table::Impl::Encoded Table::Impl::encode(const QVector<Value> &values, const QByteArray *original)
{
    if (values.size() != fields.size())
        throw EngineError(EngineError::Kind::State,
                          QStringLiteral("Número de valores diferente do número de campos da tabela %1").arg(path));
    Encoded e;
    e.raw = QByteArray(h.recordSize, '\0');
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef &f = fields[i];
        const Value &v = values[i];
        auto *p = reinterpret_cast<unsigned char *>(e.raw.data() + offsets[i]);
        if (isNull(v) && !isBlobType(f.type))
            continue;
        switch (f.type) {
        case FieldType::Alpha: {
            const QString *s = std::get_if<QString>(&v);
            if (!s)
                throw kindError(f);
            QByteArray b;
            if (!codepage::encode(h.codePage, *s, b))
                throw EngineError::badText(path, f.name);
            if (b.size() > f.size)
                throw EngineError(EngineError::Kind::BadText,
                                  QStringLiteral("O texto do campo %1 passa de %2 caracteres").arg(f.name).arg(f.size));
            std::memcpy(p, b.constData(), size_t(b.size()));
            break;
        }
        case FieldType::Date: {
            const QDate *d = std::get_if<QDate>(&v);
            if (!d || !d->isValid())
                throw kindError(f);
            const qint64 days = d->toJulianDay() - DateOffset;
            if (days < 1 || days > 0x7FFFFFFF)
                throw kindError(f);
            putBe32(p, quint32(days) ^ 0x80000000u);
            break;
        }
        case FieldType::Number:
        case FieldType::Currency: {
            double d;
            if (const double *x = std::get_if<double>(&v))
                d = *x;
            else if (const qint64 *n = std::get_if<qint64>(&v))
                d = double(*n);
            else
                throw kindError(f);
            if (!std::isfinite(d))
                throw kindError(f);
            encodeDouble(p, d);
            break;
        }
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc: {
            const qint64 *n = std::get_if<qint64>(&v);
            const bool isShort = f.type == FieldType::Short;
            const qint64 lo = isShort ? -32767 : -2147483647LL, hi = isShort ? 32767 : 2147483647LL;
            if (!n || *n < lo || *n > hi)
                throw kindError(f);
            if (isShort)
                putBe16(p, quint16(qint16(*n)) ^ 0x8000);
            else
                putBe32(p, quint32(qint32(*n)) ^ 0x80000000u);
            break;
        }
        case FieldType::Logical: {
            const bool *b = std::get_if<bool>(&v);
            if (!b)
                throw kindError(f);
            p[0] = *b ? 0x81 : 0x80;
            break;
        }
        case FieldType::Time: {
            const QTime *t = std::get_if<QTime>(&v);
            if (!t || !t->isValid())
                throw kindError(f);
            putBe32(p, quint32(t->msecsSinceStartOfDay()) ^ 0x80000000u);
            break;
        }
        case FieldType::Timestamp: {
            const QDateTime *t = std::get_if<QDateTime>(&v);
            if (!t || !t->isValid())
                throw kindError(f);
            const qint64 days = t->date().toJulianDay() - DateOffset;
            encodeDouble(p, double(days) * 86400000.0 + t->time().msecsSinceStartOfDay());
            break;
        }
        case FieldType::Bytes: {
            const QByteArray *b = std::get_if<QByteArray>(&v);
            if (!b || b->size() > f.size)
                throw kindError(f);
            std::memcpy(p, b->constData(), size_t(b->size()));
            break;
        }
        case FieldType::Memo:
        case FieldType::FmtMemo:
        case FieldType::Blob:
        case FieldType::Ole:
        case FieldType::Graphic:
            encodeBlob(e, i, v, original);
            break;
        case FieldType::Bcd:
            throw kindError(f);
        }
    }
    return e;
}

void Table::Impl::encodeBlob(Encoded &e, int i, const Value &v, const QByteArray *original)
{
    const FieldDef &f = fields[i];
    QByteArray data;
    if (const QString *s = std::get_if<QString>(&v)) {
        if (f.type != FieldType::Memo && f.type != FieldType::FmtMemo)
            throw kindError(f);
        if (!codepage::encode(h.codePage, *s, data))
            throw EngineError::badText(path, f.name);
    } else if (const QByteArray *b = std::get_if<QByteArray>(&v)) {
        data = *b;
    } else if (!isNull(v)) {
        throw kindError(f);
    }
    const int off = offsets[i];
    const int leader = f.size;
    if (original) {
        const auto *op = reinterpret_cast<const unsigned char *>(original->constData() + off);
        const quint32 oldLoc = le32(op + leader);
        const quint32 oldLen = le32(op + leader + 4);
        const bool inMb = oldLen > quint32(leader) && oldLoc != 0;
        if (inMb && oldLen == quint32(data.size()) && blobBytes(original->constData(), i) == data) {
            std::memcpy(e.raw.data() + off, original->constData() + off, size_t(f.storageSize()));
            return;  // unchanged: keep the stored blob
        }
        if (inMb)
            e.drop.append({oldLoc, oldLen});
    }
    auto *p = reinterpret_cast<unsigned char *>(e.raw.data() + off);
    std::memcpy(p, data.constData(), size_t(std::min<qsizetype>(data.size(), leader)));
    put32(p + leader + 4, quint32(data.size()));
    if (data.size() > leader)
        e.blobs.append({i, data});
}

QVector<std::pair<quint32, quint32>> Table::Impl::blobRefs(const char *raw) const
{
    QVector<std::pair<quint32, quint32>> out;
    for (int i = 0; i < fields.size(); ++i) {
        if (!isBlobType(fields[i].type))
            continue;
        const auto *p = reinterpret_cast<const unsigned char *>(raw + offsets[i] + fields[i].size);
        const quint32 len = le32(p + 4);
        if (len > quint32(fields[i].size) && le32(p) != 0)
            out.append({le32(p), len});
    }
    return out;
}

} // namespace px
