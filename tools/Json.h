#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QVector>

#include <memory>
#include <utility>

// A small strict JSON reader and writer for JSON lines. Our own rather than QJsonDocument
// because import must see members in their order, notice duplicate keys and keep the exact
// text of numbers, and dump must print doubles through std::to_chars.
namespace json {

struct Value
{
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    QByteArray number;  // the number's text exactly as written (ASCII)
    QString string;
    QVector<Value> items;
    QVector<std::pair<QString, Value>> members;  // in the order written

    static const char *kindName(Kind k);
};

// Parses one complete JSON text (one line of a JSON-lines file). On failure returns false
// and sets error to a short description with the column (1-based, in characters).
bool parse(QStringView text, Value &out, QString &error);

// Number text to values. Both refuse anything but a complete JSON number in range.
bool toDouble(const QByteArray &number, double &out);
// Accepts integral values only ("12", "12.0", "1.2e1"), within [min, max].
bool toInteger(const QByteArray &number, qint64 min, qint64 max, qint64 &out);

// Writers append to a UTF-8 buffer.
void appendString(QByteArray &out, QStringView s);
void appendDouble(QByteArray &out, double d);  // shortest round-trip text; non-finite as a string
void appendInteger(QByteArray &out, qint64 v);

} // namespace json
