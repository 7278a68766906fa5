#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVector>

#include <cstdint>
#include <variant>

namespace px {

enum class FieldType : quint8 {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FmtMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

// One-letter kind as Paradox users write it ("A", "D", "N", "M", "$", "+", ...).
QString fieldTypeLetter(FieldType t);
bool isBlobType(FieldType t);

struct FieldDef
{
    QString name;
    FieldType type = FieldType::Alpha;
    // Declared size as users see it: characters for A, leader size for blobs (M100 -> 100),
    // decimals for BCD, the fixed byte width for the other kinds.
    int size = 0;

    // Bytes the field takes in a record (memo: leader + 10, BCD: 17).
    int storageSize() const;
};

// A decoded field value. Empty/NULL is monostate.
// QString: Alpha and Memo/FmtMemo text; double: Number, Currency; qint64: Short, Long, AutoInc;
// bool: Logical; QDate: Date; QTime: Time; QDateTime: Timestamp; QByteArray: Bytes and binary blobs.
using Value = std::variant<std::monostate, QString, double, qint64, bool, QDate, QTime, QDateTime, QByteArray>;

inline bool isNull(const Value &v) { return std::holds_alternative<std::monostate>(v); }

struct TableInfo
{
    int versionByte = 0x0C;  // 0x09 level 4, 0x0B level 5, 0x0C level 7
    int level = 7;           // 4, 5 or 7 (3 for level-3 headers)
    int blockSize = 16384;   // bytes
    int headerSize = 0x800;
    int codePage = 1252;
    int sortOrder = 0x40;
    bool keyed = false;
    bool encrypted = false;
    int recordSize = 0;
};

// Options for new tables. The defaults are the register's and the transfer file's profile.
struct CreateOptions
{
    int level = 7;           // 4, 5 or 7
    int blockSizeKb = 16;    // 1..32
    int codePage = 1252;     // 437, 850 or 1252
};

} // namespace px
