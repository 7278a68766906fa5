#include "BLRecord.h"

namespace blrecord {

QString registerName(const FieldSpec &f)
{
    return QStringLiteral("Bl_") + QLatin1String(f.base);
}

QString transferName(const FieldSpec &f)
{
    return QStringLiteral("Di_") + QLatin1String(f.transferBase);
}

QVector<px::FieldDef> registerFields()
{
    QVector<px::FieldDef> out;
    for (const FieldSpec &f : Fields)
        out.append(px::FieldDef{registerName(f), f.type, f.size});
    return out;
}

QVector<px::FieldDef> transferFields()
{
    // The register's order with BillofLading moved to the front.
    QVector<px::FieldDef> out;
    for (const FieldSpec &f : Fields)
        if (qstrcmp(f.base, "BillofLading") == 0)
            out.append(px::FieldDef{transferName(f), f.type, f.size});
    for (const FieldSpec &f : Fields)
        if (qstrcmp(f.base, "BillofLading") != 0)
            out.append(px::FieldDef{transferName(f), f.type, f.size});
    return out;
}

QVector<px::FieldDef> fields(Table t)
{
    return t == Table::Register ? registerFields() : transferFields();
}

QString baseName(const QString &fieldName)
{
    return fieldName.size() > 3 && fieldName.at(2) == QLatin1Char('_') ? fieldName.mid(3) : fieldName;
}

} // namespace blrecord
