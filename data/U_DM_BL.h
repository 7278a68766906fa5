#pragma once

#include "BLRecord.h"
#include "DataSource.h"
#include "Field.h"
#include "SafetyCopy.h"
#include "Table.h"

#include <QObject>

// The data module: both B/L tables, their persistent field objects and their data sources.
// Every window reaches the tables through it. The objects carry their names as objectName.
class TDM_BL : public QObject
{
    Q_OBJECT
public:
    explicit TDM_BL(QObject *parent = nullptr);
    ~TDM_BL() override;

    // The local register: "BlCorvane.DB" in the current directory, opened shared.
    Table *Tbl_BLCliente = nullptr;
    // The transfer table; the chooser points it at the chosen file and opens it exclusively.
    Table *Tbl_BLDisquete = nullptr;
    DataSource *DS_Cliente = nullptr;
    DataSource *DS_BLDisquete = nullptr;

    // The field objects, one per field of each table: Tbl_BLClienteBl_Shipper1 ..
    // Tbl_BLClienteBl_Measu2 and Tbl_BLDisqueteDi_Shipper1 .. (Tbl_BLDisqueteDi_Agentref).
#define BL_DM_FIELD_MEMBERS(base, transferBase, type, size, order) \
    Field *Tbl_BLClienteBl_##base = nullptr;                       \
    Field *Tbl_BLDisqueteDi_##transferBase = nullptr;
    BL_RECORD_FIELDS(BL_DM_FIELD_MEMBERS)
#undef BL_DM_FIELD_MEMBERS

    // The register's copy before the first change of each day; the program sets its notice.
    safetycopy::DailySafetyCopy &safetyCopy() { return m_safetyCopy; }

private:
    safetycopy::DailySafetyCopy m_safetyCopy;
};

// The program's one data module: set by the first TDM_BL made, cleared when it goes.
extern TDM_BL *DM_BL;
