#pragma once

#include "paradox/PxTypes.h"

#include <QString>
#include <QVector>

// The B/L record: 32 fields, stored in the local register with the prefix "Bl_" and in a
// transfer file with the prefix "Di_" (Di_BillofLading first, booking number "Di_Agentref").
namespace blrecord {

enum class Table { Register, Transfer };

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
