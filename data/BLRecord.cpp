#include "BLRecord.h"

namespace blrecord {

namespace {

struct Column
{
    const char *base;
    px::FieldType type;
    int size;
};

using px::FieldType;

// The register's order; the transfer table moves BillofLading to the front.
const Column kFields[] = {
    {"Shipper1", FieldType::Alpha, 40},       {"Shipper2", FieldType::Alpha, 40},
    {"Shipper3", FieldType::Alpha, 40},       {"Shipper4", FieldType::Alpha, 40},
    {"Shipper5", FieldType::Alpha, 40},       {"Cnee1", FieldType::Alpha, 40},
    {"Cnee2", FieldType::Alpha, 40},          {"Cnee3", FieldType::Alpha, 40},
    {"Cnee4", FieldType::Alpha, 40},          {"Cnee5", FieldType::Alpha, 40},
    {"Notify1", FieldType::Alpha, 40},        {"Notify2", FieldType::Alpha, 40},
    {"Notify3", FieldType::Alpha, 40},        {"Notify4", FieldType::Alpha, 40},
    {"Notify5", FieldType::Alpha, 40},        {"LocalVessel", FieldType::Alpha, 20},
    {"PortDischarg", FieldType::Alpha, 20},   {"FreightPayable", FieldType::Alpha, 20},
    {"LocalLoading", FieldType::Alpha, 20},   {"FinalDestination", FieldType::Alpha, 20},
    {"BillofLading", FieldType::Alpha, 20},   {"ShipperRef", FieldType::Alpha, 20},
    {"AgentRef", FieldType::Alpha, 20},       {"Marks1", FieldType::Memo, 100},
    {"Marks2", FieldType::Memo, 100},         {"DataRef", FieldType::Date, 4},
    {"Gross1", FieldType::Number, 8},         {"Gross2", FieldType::Alpha, 12},
    {"Gross3", FieldType::Number, 8},         {"Gross4", FieldType::Alpha, 12},
    {"Measu1", FieldType::Number, 8},         {"Measu2", FieldType::Alpha, 12},
};

px::FieldDef def(const char *prefix, const Column &s)
{
    QString base = QString::fromLatin1(s.base);
    if (prefix[0] == 'D' && base == QLatin1String("AgentRef"))
        base = QStringLiteral("Agentref");  // the transfer table's own spelling
    return px::FieldDef{QString::fromLatin1(prefix) + base, s.type, s.size};
}

} // namespace

QVector<px::FieldDef> registerFields()
{
    QVector<px::FieldDef> out;
    for (const Column &s : kFields)
        out.append(def("Bl_", s));
    return out;
}

QVector<px::FieldDef> transferFields()
{
    QVector<px::FieldDef> out;
    for (const Column &s : kFields)
        if (qstrcmp(s.base, "BillofLading") == 0)
            out.append(def("Di_", s));
    for (const Column &s : kFields)
        if (qstrcmp(s.base, "BillofLading") != 0)
            out.append(def("Di_", s));
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
