#include "Json.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace json {

const char *Value::kindName(Kind k)
{
    switch (k) {
    case Kind::Null: return "null";
    case Kind::Bool: return "booleano";
    case Kind::Number: return "número";
    case Kind::String: return "texto";
    case Kind::Array: return "lista";
    case Kind::Object: return "objeto";
    }
    return "?";
}

namespace {

// Deep nesting in hostile input must not exhaust the stack.
constexpr int kMaxDepth = 64;

class Parser
{
public:
    explicit Parser(QStringView text) : m_s(text) {}

    bool run(Value &out, QString &error)
    {
        skipSpace();
        bool ok = value(out, 0);
        if (ok) {
            skipSpace();
            if (m_pos != m_s.size())
                ok = fail("texto após o fim do valor");
        }
        if (!ok)
            error = QStringLiteral("%1 (coluna %2)").arg(m_error).arg(m_pos + 1);
        return ok;
    }

private:
    bool fail(const char *what)
    {
        if (m_error.isEmpty())
            m_error = QString::fromUtf8(what);
        return false;
    }

    bool atEnd() const { return m_pos >= m_s.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_s[m_pos]; }

    void skipSpace()
    {
        while (!atEnd()) {
            const char16_t c = m_s[m_pos].unicode();
            if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
                break;
            ++m_pos;
        }
    }

    bool literal(QStringView word)
    {
        if (m_s.mid(m_pos).startsWith(word)) {
            m_pos += word.size();
            return true;
        }
        return fail("valor JSON inválido");
    }

    bool value(Value &out, int depth)
    {
        if (depth > kMaxDepth)
            return fail("aninhamento profundo demais");
        if (atEnd())
            return fail("valor esperado");
        switch (m_s[m_pos].unicode()) {
        case u'{': return object(out, depth);
        case u'[': return array(out, depth);
        case u'"':
            out.kind = Value::Kind::String;
            return string(out.string);
        case u't':
            out.kind = Value::Kind::Bool;
            out.boolean = true;
            return literal(u"true");
        case u'f':
            out.kind = Value::Kind::Bool;
            out.boolean = false;
            return literal(u"false");
        case u'n':
            out.kind = Value::Kind::Null;
            return literal(u"null");
        default:
            return number(out);
        }
    }

    bool object(Value &out, int depth)
    {
        out.kind = Value::Kind::Object;
        ++m_pos;  // '{'
        skipSpace();
        if (peek() == u'}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipSpace();
            if (peek() != u'"')
                return fail("nome entre aspas esperado");
            QString key;
            if (!string(key))
                return false;
            skipSpace();
            if (peek() != u':')
                return fail("':' esperado");
            ++m_pos;
            skipSpace();
            Value v;
            if (!value(v, depth + 1))
                return false;
            out.members.append({key, std::move(v)});
            skipSpace();
            if (peek() == u',') {
                ++m_pos;
                continue;
            }
            if (peek() == u'}') {
                ++m_pos;
                return true;
            }
            return fail("',' ou '}' esperado");
        }
    }

    bool array(Value &out, int depth)
    {
        out.kind = Value::Kind::Array;
        ++m_pos;  // '['
        skipSpace();
        if (peek() == u']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            skipSpace();
            Value v;
            if (!value(v, depth + 1))
                return false;
            out.items.append(std::move(v));
            skipSpace();
            if (peek() == u',') {
                ++m_pos;
                continue;
            }
            if (peek() == u']') {
                ++m_pos;
                return true;
            }
            return fail("',' ou ']' esperado");
        }
    }

    bool hex4(char16_t &out)
    {
        if (m_pos + 4 > m_s.size())
            return fail("escape \\u incompleto");
        char16_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char16_t c = m_s[m_pos + i].unicode();
            v <<= 4;
            if (c >= u'0' && c <= u'9')
                v |= c - u'0';
            else if (c >= u'a' && c <= u'f')
                v |= c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                v |= c - u'A' + 10;
            else
                return fail("escape \\u inválido");
        }
        m_pos += 4;
        out = v;
        return true;
    }

    bool string(QString &out)
    {
        ++m_pos;  // opening quote
        out.clear();
        for (;;) {
            if (atEnd())
                return fail("texto sem aspas de fechamento");
            const char16_t c = m_s[m_pos].unicode();
            if (c == u'"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20)
                return fail("caractere de controle dentro de texto");
            if (c != u'\\') {
                out.append(QChar(c));
                ++m_pos;
                continue;
            }
            ++m_pos;
            if (atEnd())
                return fail("escape incompleto");
            const char16_t e = m_s[m_pos++].unicode();
            switch (e) {
            case u'"': out.append(u'"'); break;
            case u'\\': out.append(u'\\'); break;
            case u'/': out.append(u'/'); break;
            case u'b': out.append(u'\b'); break;
            case u'f': out.append(u'\f'); break;
            case u'n': out.append(u'\n'); break;
            case u'r': out.append(u'\r'); break;
            case u't': out.append(u'\t'); break;
            case u'u': {
                char16_t u1 = 0;
                if (!hex4(u1))
                    return false;
                if (QChar::isLowSurrogate(u1))
                    return fail("surrogate UTF-16 isolado");
                if (QChar::isHighSurrogate(u1)) {
                    char16_t u2 = 0;
                    if (m_s.mid(m_pos, 2) != u"\\u")
                        return fail("surrogate UTF-16 isolado");
                    m_pos += 2;
                    if (!hex4(u2))
                        return false;
                    if (!QChar::isLowSurrogate(u2))
                        return fail("surrogate UTF-16 isolado");
                    out.append(QChar(u1));
                    out.append(QChar(u2));
                } else {
                    out.append(QChar(u1));
                }
                break;
            }
            default:
                return fail("escape inválido");
            }
        }
    }

    bool digits()
    {
        const qsizetype start = m_pos;
        while (!atEnd() && m_s[m_pos] >= u'0' && m_s[m_pos] <= u'9')
            ++m_pos;
        return m_pos > start;
    }

    bool number(Value &out)
    {
        const qsizetype start = m_pos;
        if (peek() == u'-')
            ++m_pos;
        if (peek() == u'0') {
            ++m_pos;
        } else if (!digits()) {
            m_pos = start;
            return fail("valor JSON inválido");
        }
        if (peek() == u'.') {
            ++m_pos;
            if (!digits())
                return fail("número inválido");
        }
        if (peek() == u'e' || peek() == u'E') {
            ++m_pos;
            if (peek() == u'+' || peek() == u'-')
                ++m_pos;
            if (!digits())
                return fail("número inválido");
        }
        out.kind = Value::Kind::Number;
        out.number = m_s.mid(start, m_pos - start).toLatin1();
        return true;
    }

    QStringView m_s;
    qsizetype m_pos = 0;
    QString m_error;
};

} // namespace

bool parse(QStringView text, Value &out, QString &error)
{
    out = Value();
    return Parser(text).run(out, error);
}

bool toDouble(const QByteArray &number, double &out)
{
    const char *b = number.constData();
    const char *e = b + number.size();
    double d = 0;
    const auto r = std::from_chars(b, e, d, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(d))
        return false;
    out = d;
    return true;
}

bool toInteger(const QByteArray &number, qint64 min, qint64 max, qint64 &out)
{
    qint64 v = 0;
    if (!number.contains('.') && !number.contains('e') && !number.contains('E')) {
        const char *b = number.constData();
        const char *e = b + number.size();
        const auto r = std::from_chars(b, e, v);
        if (r.ec != std::errc() || r.ptr != e)
            return false;
    } else {
        double d = 0;
        // 2^53 bounds every range we check, so the conversion below is exact.
        if (!toDouble(number, d) || std::trunc(d) != d || std::fabs(d) > 9007199254740992.0)
            return false;
        v = static_cast<qint64>(d);
    }
    if (v < min || v > max)
        return false;
    out = v;
    return true;
}

void appendString(QByteArray &out, QStringView s)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    const QByteArray utf8 = s.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        default:
            if (c < 0x20) {
                out.append("\\u00");
                out.append(hex[c >> 4]);
                out.append(hex[c & 0xF]);
            } else {
                out.append(ch);
            }
        }
    }
    out.append('"');
}

void appendDouble(QByteArray &out, double d)
{
    // JSON has no infinities or NaN; a damaged file may still hold them.
    if (std::isnan(d)) {
        out.append("\"NaN\"");
        return;
    }
    if (std::isinf(d)) {
        out.append(d < 0 ? "\"-Infinity\"" : "\"Infinity\"");
        return;
    }
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, d);
    out.append(buf, r.ptr - buf);
}

void appendInteger(QByteArray &out, qint64 v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr - buf);
}

} // namespace json
