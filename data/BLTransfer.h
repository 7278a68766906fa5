#pragma once

// Copying a B/L from the local register into a transfer file, and pointing the transfer
// table at a chosen file. Plain rules over the table objects, used by the transfer windows.

#include <QString>

class Table;

namespace bltransfer {

enum class CopyKind { Text, Date, Number };

struct FieldPair
{
    const char *from;  // the register's field
    const char *to;    // the transfer table's field
    CopyKind kind;
};

// The 32 pairs in the order the fields are set.
inline constexpr FieldPair Mapping[] = {
    {"Bl_Shipper1", "Di_Shipper1", CopyKind::Text},
    {"Bl_Shipper2", "Di_Shipper2", CopyKind::Text},
    {"Bl_Shipper3", "Di_Shipper3", CopyKind::Text},
    {"Bl_Shipper4", "Di_Shipper4", CopyKind::Text},
    {"Bl_Shipper5", "Di_Shipper5", CopyKind::Text},
    {"Bl_Cnee1", "Di_Cnee1", CopyKind::Text},
    {"Bl_Cnee2", "Di_Cnee2", CopyKind::Text},
    {"Bl_Cnee3", "Di_Cnee3", CopyKind::Text},
    {"Bl_Cnee4", "Di_Cnee4", CopyKind::Text},
    {"Bl_Cnee5", "Di_Cnee5", CopyKind::Text},
    {"Bl_Notify1", "Di_Notify1", CopyKind::Text},
    {"Bl_Notify2", "Di_Notify2", CopyKind::Text},
    {"Bl_Notify3", "Di_Notify3", CopyKind::Text},
    {"Bl_Notify4", "Di_Notify4", CopyKind::Text},
    {"Bl_Notify5", "Di_Notify5", CopyKind::Text},
    {"Bl_AgentRef", "Di_Agentref", CopyKind::Text},
    {"Bl_BillofLading", "Di_BillofLading", CopyKind::Text},
    {"Bl_ShipperRef", "Di_ShipperRef", CopyKind::Text},
    {"Bl_LocalVessel", "Di_LocalVessel", CopyKind::Text},
    {"Bl_LocalLoading", "Di_LocalLoading", CopyKind::Text},
    {"Bl_PortDischarg", "Di_PortDischarg", CopyKind::Text},
    {"Bl_FinalDestination", "Di_FinalDestination", CopyKind::Text},
    {"Bl_FreightPayable", "Di_FreightPayable", CopyKind::Text},
    {"Bl_Marks1", "Di_Marks1", CopyKind::Text},
    {"Bl_Marks2", "Di_Marks2", CopyKind::Text},
    {"Bl_DataRef", "Di_DataRef", CopyKind::Date},
    {"Bl_Gross1", "Di_Gross1", CopyKind::Number},
    {"Bl_Gross2", "Di_Gross2", CopyKind::Text},
    {"Bl_Gross3", "Di_Gross3", CopyKind::Number},
    {"Bl_Gross4", "Di_Gross4", CopyKind::Text},
    {"Bl_Measu1", "Di_Measu1", CopyKind::Number},
    {"Bl_Measu2", "Di_Measu2", CopyKind::Text},
};

// Inserts a record into `to`, sets its fields from the current record of `from` by the
// mapping and posts it; the new record becomes current. A blank number arrives as 0, a blank
// date stays blank. If any step fails, the insertion is dropped (the file is unchanged) and
// the error goes on to the caller.
void copyCurrent(Table &from, Table &to);

// Points a closed-or-open table at a file as the chooser does: closes it, directory = the
// file's absolute directory with a trailing separator, table name = tableName, type Paradox,
// exclusive use on. Nothing is opened.
void pointAt(Table &table, const QString &directory, const QString &tableName);
// The same from a full file name, keeping its name part exactly as given.
void pointAt(Table &table, const QString &fileName);

} // namespace bltransfer
