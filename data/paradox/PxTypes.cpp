#include "PxTypes.h"

namespace px {

QString fieldTypeLetter(FieldType t)
{
    switch (t) {
    case FieldType::Alpha: return QStringLiteral("A");
    case FieldType::Date: return QStringLiteral("D");
    case FieldType::Short: return QStringLiteral("S");
    case FieldType::Long: return QStringLiteral("I");
    case FieldType::Currency: return QStringLiteral("$");
    case FieldType::Number: return QStringLiteral("N");
    case FieldType::Logical: return QStringLiteral("L");
    case FieldType::Memo: return QStringLiteral("M");
    case FieldType::Blob: return QStringLiteral("B");
    case FieldType::FmtMemo: return QStringLiteral("F");
    case FieldType::Ole: return QStringLiteral("O");
    case FieldType::Graphic: return QStringLiteral("G");
    case FieldType::Time: return QStringLiteral("T");
    case FieldType::Timestamp: return QStringLiteral("@");
    case FieldType::AutoInc: return QStringLiteral("+");
    case FieldType::Bcd: return QStringLiteral("#");
    case FieldType::Bytes: return QStringLiteral("Y");
    }
    return QStringLiteral("?");
}

bool isBlobType(FieldType t)
{
    switch (t) {
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FmtMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return true;
    default:
        return false;
    }
}

int FieldDef::storageSize() const
{
    if (isBlobType(type))
        return size + 10;
    if (type == FieldType::Bcd)
        return 17;
    return size;
}

} // namespace px
