#include "Commands.h"

#include "BLRecord.h"
#include "Json.h"
#include "PxCodePage.h"
#include "PxError.h"
#include "PxTable.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace bltool {

void printError(const QString &message)
{
    const QByteArray line = QStringLiteral("bl-tool: %1\n").arg(message).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

namespace {

// Standard output through one buffer. A failed write (a full disk behind a redirection)
// is reported as an error rather than leaving a silently truncated listing.
class StdOut
{
public:
    StdOut()
    {
        m_ok = m_file.open(1, QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!m_ok)
            printError(QStringLiteral("saída padrão indisponível"));
    }

    QByteArray &buffer() { return m_buf; }
    void line(const QString &text)
    {
        m_buf.append(text.toUtf8());
        m_buf.append('\n');
    }
    bool flushIfFull() { return m_buf.size() < (1 << 16) || flush(); }
    bool flush()
    {
        if (!m_ok)
            return false;
        // Plain write(2): the error number gives the reason in the user's language.
        for (qsizetype done = 0; done < m_buf.size();) {
            const ssize_t n = ::write(1, m_buf.constData() + done, size_t(m_buf.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_ok = false;
                printError(QStringLiteral("falha ao escrever na saída padrão: %1").arg(px::errnoText(n < 0 ? errno : EIO)));
                break;
            }
            done += n;
        }
        m_buf.clear();
        return m_ok;
    }

private:
    QFile m_file;
    QByteArray m_buf;
    bool m_ok = false;
};

bool hasDbSuffix(const QString &path)
{
    return path.size() > 3 && path.endsWith(u".db", Qt::CaseInsensitive)
           && !QFileInfo(path).fileName().startsWith(u".db", Qt::CaseInsensitive);
}

// ---- dump -----------------------------------------------------------------------------

void appendPadded(QByteArray &out, int value, int width)
{
    const QByteArray digits = QByteArray::number(qAbs(value));
    if (value < 0)
        out.append('-');
    for (qsizetype i = digits.size(); i < width; ++i)
        out.append('0');
    out.append(digits);
}

void appendIsoDate(QByteArray &out, QDate d)
{
    // Years beyond four digits (only a damaged file has them) keep ISO 8601's sign.
    if (d.year() > 9999)
        out.append('+');
    appendPadded(out, d.year(), 4);
    out.append('-');
    appendPadded(out, d.month(), 2);
    out.append('-');
    appendPadded(out, d.day(), 2);
}

void appendIsoTime(QByteArray &out, QTime t)
{
    appendPadded(out, t.hour(), 2);
    out.append(':');
    appendPadded(out, t.minute(), 2);
    out.append(':');
    appendPadded(out, t.second(), 2);
    if (t.msec() != 0) {
        out.append('.');
        appendPadded(out, t.msec(), 3);
    }
}

void appendValue(QByteArray &out, const px::Value &v)
{
    if (const auto *s = std::get_if<QString>(&v)) {
        // The format has no empty text distinct from an empty field.
        if (s->isEmpty())
            out.append("null");
        else
            json::appendString(out, *s);
    } else if (const auto *d = std::get_if<double>(&v)) {
        json::appendDouble(out, *d);
    } else if (const auto *i = std::get_if<qint64>(&v)) {
        json::appendInteger(out, *i);
    } else if (const auto *b = std::get_if<bool>(&v)) {
        out.append(*b ? "true" : "false");
    } else if (const auto *date = std::get_if<QDate>(&v)) {
        if (!date->isValid()) {
            out.append("null");
            return;
        }
        out.append('"');
        appendIsoDate(out, *date);
        out.append('"');
    } else if (const auto *time = std::get_if<QTime>(&v)) {
        if (!time->isValid()) {
            out.append("null");
            return;
        }
        out.append('"');
        appendIsoTime(out, *time);
        out.append('"');
    } else if (const auto *ts = std::get_if<QDateTime>(&v)) {
        if (!ts->isValid()) {
            out.append("null");
            return;
        }
        out.append('"');
        appendIsoDate(out, ts->date());
        out.append('T');
        appendIsoTime(out, ts->time());
        out.append('"');
    } else if (const auto *bytes = std::get_if<QByteArray>(&v)) {
        out.append('"');
        out.append(bytes->toBase64());
        out.append('"');
    } else {
        out.append("null");
    }
}

void appendHeader(QByteArray &out, px::Table &t)
{
    const px::TableInfo &info = t.info();
    out.append("{\"level\":");
    json::appendInteger(out, info.level);
    out.append(",\"blockSize\":");
    json::appendInteger(out, info.blockSize);
    out.append(",\"codePage\":");
    json::appendInteger(out, info.codePage);
    out.append(",\"keyed\":");
    out.append(info.keyed ? "true" : "false");
    out.append(",\"records\":");
    json::appendInteger(out, t.recordCount());
    out.append(",\"fields\":[");
    const QVector<px::FieldDef> &fields = t.fields();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out.append(',');
        out.append("{\"name\":");
        json::appendString(out, fields[i].name);
        out.append(",\"type\":");
        json::appendString(out, px::fieldTypeLetter(fields[i].type));
        out.append(",\"size\":");
        json::appendInteger(out, fields[i].size);
        out.append('}');
    }
    out.append("]}\n");
}

// ---- import ---------------------------------------------------------------------------

bool allDigits(QStringView s, int &out)
{
    int v = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c.unicode() - u'0');
    }
    out = v;
    return !s.isEmpty();
}

bool parseIsoDate(QStringView s, QDate &out)
{
    int y = 0, m = 0, d = 0;
    if (s.size() != 10 || s[4] != u'-' || s[7] != u'-' || !allDigits(s.mid(0, 4), y)
        || !allDigits(s.mid(5, 2), m) || !allDigits(s.mid(8, 2), d))
        return false;
    out = QDate(y, m, d);
    return out.isValid();
}

bool parseIsoTime(QStringView s, QTime &out)
{
    int h = 0, m = 0, sec = 0, ms = 0;
    if ((s.size() != 8 && s.size() != 12) || s[2] != u':' || s[5] != u':' || !allDigits(s.mid(0, 2), h)
        || !allDigits(s.mid(3, 2), m) || !allDigits(s.mid(6, 2), sec))
        return false;
    if (s.size() == 12 && (s[8] != u'.' || !allDigits(s.mid(9, 3), ms)))
        return false;
    out = QTime(h, m, sec, ms);
    return out.isValid();
}

// Describes the first character of text that the code page has no byte for.
QString unencodable(int codePage, QStringView text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView ch = text.mid(i, len);
        if (!px::codepage::canEncode(codePage, ch)) {
            const char32_t ucs = len == 2 ? QChar::surrogateToUcs4(ch[0], ch[1]) : ch[0].unicode();
            const QString code = QStringLiteral("U+%1").arg(uint(ucs), 4, 16, QLatin1Char('0')).toUpper();
            const QString shown = ucs < 0x20 ? code : QStringLiteral("\"%1\" (%2)").arg(ch, code);
            return QStringLiteral("o caractere %1 não existe na página de código %2 da tabela")
                .arg(shown)
                .arg(codePage);
        }
        i += len;
    }
    return QStringLiteral("texto que a página de código %1 da tabela não comporta").arg(codePage);
}

QString wrongKind(const char *expected, const json::Value &v)
{
    return QStringLiteral("esperado %1, recebido %2")
        .arg(QString::fromUtf8(expected), QString::fromUtf8(json::Value::kindName(v.kind)));
}

// Converts one JSON value for field f. Returns the reason when it does not fit, else empty.
QString toFieldValue(const json::Value &v, const px::FieldDef &f, int codePage, px::Value &out)
{
    using K = json::Value::Kind;
    using T = px::FieldType;
    out = std::monostate();
    if (v.kind == K::Null)
        return {};

    switch (f.type) {
    case T::Alpha:
    case T::Memo:
    case T::FmtMemo:
        if (v.kind != K::String)
            return wrongKind("texto", v);
        if (!px::codepage::canEncode(codePage, v.string))
            return unencodable(codePage, v.string);
        if (f.type == T::Alpha && v.string.size() > f.size)
            return QStringLiteral("texto de %1 caracteres excede o tamanho do campo (%2)")
                .arg(v.string.size())
                .arg(f.size);
        out = v.string;
        return {};

    case T::Date: {
        if (v.kind != K::String)
            return wrongKind("data \"AAAA-MM-DD\"", v);
        QDate d;
        if (!parseIsoDate(v.string, d))
            return QStringLiteral("data inválida \"%1\" (esperado AAAA-MM-DD)").arg(v.string);
        out = d;
        return {};
    }

    case T::Time: {
        if (v.kind != K::String)
            return wrongKind("hora \"HH:MM:SS\"", v);
        QTime t;
        if (!parseIsoTime(v.string, t))
            return QStringLiteral("hora inválida \"%1\" (esperado HH:MM:SS ou HH:MM:SS.mmm)").arg(v.string);
        out = t;
        return {};
    }

    case T::Timestamp: {
        if (v.kind != K::String)
            return wrongKind("data e hora \"AAAA-MM-DDTHH:MM:SS\"", v);
        QDate d;
        QTime t;
        const QStringView s = v.string;
        if (s.size() < 11 || s[10] != u'T' || !parseIsoDate(s.mid(0, 10), d) || !parseIsoTime(s.mid(11), t))
            return QStringLiteral("data e hora inválidas \"%1\" (esperado AAAA-MM-DDTHH:MM:SS)").arg(v.string);
        // UTC keeps the wall-clock value as given, whatever this machine's daylight saving.
        out = QDateTime(d, t, Qt::UTC);
        return {};
    }

    case T::Number:
    case T::Currency:
    case T::Bcd: {
        if (v.kind != K::Number)
            return wrongKind("número", v);
        double d = 0;
        if (!json::toDouble(v.number, d))
            return QStringLiteral("número fora do alcance: %1").arg(QString::fromLatin1(v.number));
        out = d;
        return {};
    }

    case T::Short:
    case T::Long:
    case T::AutoInc: {
        if (v.kind != K::Number)
            return wrongKind("número inteiro", v);
        // The most negative value of each width is the format's NULL, hence the symmetric range.
        const qint64 max = f.type == T::Short ? 32767 : 2147483647;
        const qint64 min = f.type == T::AutoInc ? 1 : -max;
        qint64 i = 0;
        if (!json::toInteger(v.number, min, max, i))
            return QStringLiteral("esperado inteiro entre %1 e %2, recebido %3")
                .arg(min)
                .arg(max)
                .arg(QString::fromLatin1(v.number));
        out = i;
        return {};
    }

    case T::Logical:
        if (v.kind != K::Bool)
            return wrongKind("true ou false", v);
        out = v.boolean;
        return {};

    case T::Blob:
    case T::Ole:
    case T::Graphic:
    case T::Bytes: {
        if (v.kind != K::String)
            return wrongKind("texto em base64", v);
        const QByteArray ascii = v.string.toLatin1();
        const auto decoded = QByteArray::fromBase64Encoding(ascii, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || QString::fromLatin1(ascii) != v.string)
            return QStringLiteral("base64 inválido");
        if (f.type == T::Bytes && decoded.decoded.size() > f.size)
            return QStringLiteral("%1 bytes excedem o tamanho do campo (%2)").arg(decoded.decoded.size()).arg(f.size);
        out = decoded.decoded;
        return {};
    }
    }
    return QStringLiteral("tipo de campo que a ferramenta não sabe gravar");
}

struct InputLine
{
    int number = 0;
    QString text;
};

// Splits standard input into its non-blank lines, decoded as strict UTF-8.
bool readInput(QVector<InputLine> &lines)
{
    QFile in;
    if (!in.open(0, QIODevice::ReadOnly)) {
        printError(QStringLiteral("não foi possível ler a entrada padrão"));
        return false;
    }
    QByteArray all;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(0, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            printError(QStringLiteral("falha ao ler a entrada padrão: %1").arg(px::errnoText(errno)));
            return false;
        }
        if (n == 0)
            break;
        all.append(chunk, n);
    }
    if (all.startsWith("\xEF\xBB\xBF"))
        all.remove(0, 3);

    int number = 0;
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        ++number;
        QByteArrayView bytes(all.constData() + start, end - start);
        start = end + 1;
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        if (bytes.trimmed().isEmpty())
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes);
        if (utf8.hasError()) {
            printError(QStringLiteral("linha %1: texto que não é UTF-8 válido").arg(number));
            return false;
        }
        lines.append({number, std::move(text)});
    }
    return true;
}

} // namespace

// ---- commands -------------------------------------------------------------------------

int create(const QString &kind, const QString &dbPath)
{
    blrecord::Table which;
    if (kind == u"register") {
        which = blrecord::Table::Register;
    } else if (kind == u"transfer") {
        which = blrecord::Table::Transfer;
    } else {
        printError(QStringLiteral("tipo de tabela desconhecido \"%1\" (use register ou transfer)").arg(kind));
        return Error;
    }
    if (!hasDbSuffix(dbPath)) {
        printError(QStringLiteral("o nome da tabela deve terminar em .DB: %1").arg(dbPath));
        return Error;
    }

    try {
        // The engine refuses an existing .DB or .MB and removes what it made when it fails.
        px::Table::create(dbPath, blrecord::fields(which));
    } catch (const DataError &e) {
        printError(e.message());
        return Error;
    }
    return Ok;
}

int dump(const QString &dbPath)
{
    StdOut out;
    try {
        px::Table t(dbPath, px::Table::Mode::ReadOnly);
        const int fieldCount = int(t.fields().size());
        QVector<QByteArray> keys;
        for (const px::FieldDef &f : t.fields()) {
            QByteArray key;
            json::appendString(key, f.name);
            key.append(':');
            keys.append(key);
        }

        if (t.wasRepaired())
            printError(QStringLiteral("%1: reparada: %2").arg(dbPath, t.repairNote()));
        else if (t.rolledBackOnRead())
            printError(QStringLiteral("%1: gravação interrompida: listada como estava antes dela; a próxima gravação a desfaz no disco").arg(dbPath));
        else if (t.interruptedWrite())
            printError(QStringLiteral("%1: gravação interrompida, a reparar na próxima gravação").arg(dbPath));
        appendHeader(out.buffer(), t);
        bool written = true;
        QByteArray b;
        t.scan([&](px::RecordPos, const char *raw) {
            // A record that fails half-way must not leave a cut-off line behind.
            b.clear();
            b.append('{');
            for (int i = 0; i < fieldCount; ++i) {
                if (i)
                    b.append(',');
                b.append(keys[i]);
                appendValue(b, t.decode(raw, i));
            }
            b.append("}\n");
            out.buffer().append(b);
            written = out.flushIfFull();
            return written;
        });
        if (!written || !out.flush())
            return Error;
    } catch (const DataError &e) {
        out.flush();
        printError(e.message());
        return Error;
    }
    return Ok;
}

int import(const QString &dbPath)
{
    QVector<InputLine> lines;
    if (!readInput(lines))
        return Error;

    try {
        // Exclusive: nobody may write beside us while the batch could still be undone.
        px::Table t(dbPath, px::Table::Mode::Exclusive);
        const QVector<px::FieldDef> &fields = t.fields();
        const int codePage = t.info().codePage;

        // Every line is checked before the first append.
        QVector<QVector<px::Value>> rows;
        rows.reserve(lines.size());
        for (const InputLine &line : lines) {
            json::Value obj;
            QString why;
            if (!json::parse(line.text, obj, why)) {
                printError(QStringLiteral("linha %1: JSON inválido: %2").arg(line.number).arg(why));
                return Error;
            }
            if (obj.kind != json::Value::Kind::Object) {
                printError(QStringLiteral("linha %1: esperado um objeto JSON").arg(line.number));
                return Error;
            }
            QVector<px::Value> values(fields.size());
            QVector<bool> seen(fields.size(), false);
            for (const auto &[name, value] : obj.members) {
                const int idx = t.fieldIndex(name);
                if (idx < 0) {
                    printError(QStringLiteral("linha %1, campo %2: a tabela não tem este campo")
                                   .arg(line.number)
                                   .arg(name));
                    return Error;
                }
                if (seen[idx]) {
                    printError(QStringLiteral("linha %1, campo %2: campo repetido").arg(line.number).arg(name));
                    return Error;
                }
                seen[idx] = true;
                why = toFieldValue(value, fields[idx], codePage, values[idx]);
                if (!why.isEmpty()) {
                    printError(QStringLiteral("linha %1, campo %2: %3").arg(line.number).arg(fields[idx].name, why));
                    return Error;
                }
            }
            rows.append(std::move(values));
        }

        // One batch: a journal beside the table keeps what the appends change until the end,
        // so the table gets every line or none, also when this process dies half-way.
        try {
            t.beginBatch();
            t.setSyncWrites(false);  // the batch's commit flushes both files once
            for (const QVector<px::Value> &row : std::as_const(rows))
                t.append(row);
            t.commitBatch();
        } catch (const std::exception &failure) {
            const QString reason = dynamic_cast<const DataError *>(&failure)
                                       ? static_cast<const DataError &>(failure).message()
                                       : QString::fromUtf8(failure.what());
            printError(reason);
            try {
                t.rollbackBatch();
                printError(QStringLiteral("importação cancelada; a tabela ficou como estava"));
            } catch (const DataError &e) {
                printError(e.message());
                printError(QStringLiteral("importação cancelada; a tabela volta a ser como era ao ser aberta de novo"));
            }
            return Error;
        }

        StdOut out;
        out.line(QStringLiteral("%1 registro(s) importado(s) em %2").arg(rows.size()).arg(dbPath));
        out.flush();
    } catch (const DataError &e) {
        printError(e.message());
        return Error;
    }
    return Ok;
}

int check(const QString &dbPath)
{
    using Kind = px::EngineError::Kind;
    StdOut out;
    QStringList problems;
    quint32 records = 0;
    try {
        px::Table t(dbPath, px::Table::Mode::ReadOnly);
        if (t.wasRepaired())
            out.line(QStringLiteral("%1: reparada: %2").arg(dbPath, t.repairNote()));
        const px::Table::CheckReport report = t.inspect();
        problems += report.problems;
        // Our own interrupted write is no damage: said, but the table reads and checks sound.
        for (const QString &p : report.pending)
            out.line(p);
        if (problems.isEmpty())  // else reading would only repeat the first problem
            records = t.recordCount();
    } catch (const px::EngineError &e) {
        // A pair damaged beyond opening is a finding; a table we cannot reach at all is an error.
        if (e.kind() != Kind::Damaged && e.kind() != Kind::MemoMissing) {
            printError(e.message());
            return Error;
        }
        problems.append(e.message());
    } catch (const DataError &e) {
        printError(e.message());
        return Error;
    }

    if (problems.isEmpty()) {
        out.line(QStringLiteral("OK: %1, %2 registro(s)").arg(dbPath).arg(records));
        return out.flush() ? Ok : Error;
    }
    for (const QString &p : std::as_const(problems))
        out.line(p);
    return out.flush() ? Problems : Error;
}

int salvage(const QString &damagedPath, const QString &newPath)
{
    if (!hasDbSuffix(newPath)) {
        printError(QStringLiteral("o nome da tabela deve terminar em .DB: %1").arg(newPath));
        return Error;
    }
    if (QFileInfo(damagedPath).absoluteFilePath() == QFileInfo(newPath).absoluteFilePath()) {
        printError(QStringLiteral("a tabela nova deve ser outra que a danificada"));
        return Error;
    }
    const bool existed = QFileInfo::exists(newPath);
    QVector<px::Table::Loss> lost;
    quint32 saved = 0;
    try {
        lost = px::Table::salvage(damagedPath, newPath, &saved);
    } catch (const DataError &e) {
        printError(e.message());
        // A half-made new table is no use to anyone; the damaged pair was only read.
        if (!existed && QFileInfo::exists(newPath)) {
            QFile::remove(newPath);
            const QString mb = newPath.left(newPath.size() - 3)
                               + (newPath.endsWith(QStringLiteral(".db")) ? QStringLiteral(".mb") : QStringLiteral(".MB"));
            QFile::remove(mb);
        }
        return Error;
    }
    for (const px::Table::Loss &l : std::as_const(lost)) {
        QString where;
        if (l.block != 0)
            where = QStringLiteral("bloco %1").arg(l.block);
        if (l.slot != 0)
            where += QStringLiteral(", registro %1").arg(l.slot);
        if (!l.field.isEmpty())
            where += QStringLiteral(", campo %1").arg(l.field);
        printError(QStringLiteral("%1: não salvo: %2%3").arg(damagedPath, where.isEmpty() ? QString() : where + QStringLiteral(": "), l.reason));
    }
    StdOut out;
    out.line(QStringLiteral("%1 registro(s) salvos de %2 em %3").arg(saved).arg(damagedPath, newPath));
    if (!out.flush())
        return Error;
    return lost.isEmpty() ? Ok : Problems;
}

} // namespace bltool
