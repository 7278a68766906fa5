#pragma once

#include "paradox/PxTypes.h"

#include <QString>
#include <QVector>

// The B/L record: 32 fields, stored in the local register with the prefix "Bl_" and in a
// transfer file with the prefix "Di_" (Di_BillofLading first, booking number "Di_Agentref").

// The one list of the 32 fields, in the register's order: X(base name, the transfer table's
// spelling of it, kind, size, the place at which the transfer window sets it). The data
// module's field members, the transfer mapping and the tables' definitions all come from here.
#define BL_RECORD_FIELDS(X)                                   \
    X(Shipper1, Shipper1, Alpha, 40, 0)                       \
    X(Shipper2, Shipper2, Alpha, 40, 1)                       \
    X(Shipper3, Shipper3, Alpha, 40, 2)                       \
    X(Shipper4, Shipper4, Alpha, 40, 3)                       \
    X(Shipper5, Shipper5, Alpha, 40, 4)                       \
    X(Cnee1, Cnee1, Alpha, 40, 5)                             \
    X(Cnee2, Cnee2, Alpha, 40, 6)                             \
    X(Cnee3, Cnee3, Alpha, 40, 7)                             \
    X(Cnee4, Cnee4, Alpha, 40, 8)                             \
    X(Cnee5, Cnee5, Alpha, 40, 9)                             \
    X(Notify1, Notify1, Alpha, 40, 10)                        \
    X(Notify2, Notify2, Alpha, 40, 11)                        \
    X(Notify3, Notify3, Alpha, 40, 12)                        \
    X(Notify4, Notify4, Alpha, 40, 13)                        \
    X(Notify5, Notify5, Alpha, 40, 14)                        \
    X(LocalVessel, LocalVessel, Alpha, 20, 18)                \
    X(PortDischarg, PortDischarg, Alpha, 20, 20)              \
    X(FreightPayable, FreightPayable, Alpha, 20, 22)          \
    X(LocalLoading, LocalLoading, Alpha, 20, 19)              \
    X(FinalDestination, FinalDestination, Alpha, 20, 21)      \
    X(BillofLading, BillofLading, Alpha, 20, 16)              \
    X(ShipperRef, ShipperRef, Alpha, 20, 17)                  \
    X(AgentRef, Agentref, Alpha, 20, 15)                      \
    X(Marks1, Marks1, Memo, 100, 23)                          \
    X(Marks2, Marks2, Memo, 100, 24)                          \
    X(DataRef, DataRef, Date, 4, 25)                          \
    X(Gross1, Gross1, Number, 8, 26)                          \
    X(Gross2, Gross2, Alpha, 12, 27)                          \
    X(Gross3, Gross3, Number, 8, 28)                          \
    X(Gross4, Gross4, Alpha, 12, 29)                          \
    X(Measu1, Measu1, Number, 8, 30)                          \
    X(Measu2, Measu2, Alpha, 12, 31)

namespace blrecord {

enum class Table { Register, Transfer };

struct FieldSpec
{
    const char *base;          // "AgentRef"
    const char *transferBase;  // "Agentref"
    px::FieldType type;
    int size;
    int copyOrder;             // where the transfer window sets it, from 0
};

#define BL_RECORD_FIELD_SPEC(base, transferBase, type, size, order) \
    FieldSpec{#base, #transferBase, px::FieldType::type, size, order},
inline constexpr FieldSpec Fields[] = {BL_RECORD_FIELDS(BL_RECORD_FIELD_SPEC)};
#undef BL_RECORD_FIELD_SPEC

// A field's name in either table ("Bl_AgentRef", "Di_Agentref").
QString registerName(const FieldSpec &f);
QString transferName(const FieldSpec &f);

// Field definitions in declared order, ready for px::Table::create().
QVector<px::FieldDef> registerFields();
QVector<px::FieldDef> transferFields();
QVector<px::FieldDef> fields(Table t);

// Base name of a field without its two-letter prefix ("Bl_AgentRef" -> "AgentRef").
// Matching between the two tables goes by base name without regard to case.
QString baseName(const QString &fieldName);

inline constexpr const char *RegisterFile = "BlCorvane.DB";
inline constexpr const char *TemplateFile = "BLDisquete.DB";

} // namespace blrecord
