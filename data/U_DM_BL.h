#pragma once

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

    // Register fields, in the file's order.
    Field *Tbl_BLClienteBl_Shipper1 = nullptr;
    Field *Tbl_BLClienteBl_Shipper2 = nullptr;
    Field *Tbl_BLClienteBl_Shipper3 = nullptr;
    Field *Tbl_BLClienteBl_Shipper4 = nullptr;
    Field *Tbl_BLClienteBl_Shipper5 = nullptr;
    Field *Tbl_BLClienteBl_Cnee1 = nullptr;
    Field *Tbl_BLClienteBl_Cnee2 = nullptr;
    Field *Tbl_BLClienteBl_Cnee3 = nullptr;
    Field *Tbl_BLClienteBl_Cnee4 = nullptr;
    Field *Tbl_BLClienteBl_Cnee5 = nullptr;
    Field *Tbl_BLClienteBl_Notify1 = nullptr;
    Field *Tbl_BLClienteBl_Notify2 = nullptr;
    Field *Tbl_BLClienteBl_Notify3 = nullptr;
    Field *Tbl_BLClienteBl_Notify4 = nullptr;
    Field *Tbl_BLClienteBl_Notify5 = nullptr;
    Field *Tbl_BLClienteBl_LocalVessel = nullptr;
    Field *Tbl_BLClienteBl_PortDischarg = nullptr;
    Field *Tbl_BLClienteBl_FreightPayable = nullptr;
    Field *Tbl_BLClienteBl_LocalLoading = nullptr;
    Field *Tbl_BLClienteBl_FinalDestination = nullptr;
    Field *Tbl_BLClienteBl_BillofLading = nullptr;
    Field *Tbl_BLClienteBl_ShipperRef = nullptr;
    Field *Tbl_BLClienteBl_AgentRef = nullptr;
    Field *Tbl_BLClienteBl_Marks1 = nullptr;
    Field *Tbl_BLClienteBl_Marks2 = nullptr;
    Field *Tbl_BLClienteBl_DataRef = nullptr;
    Field *Tbl_BLClienteBl_Gross1 = nullptr;
    Field *Tbl_BLClienteBl_Gross2 = nullptr;
    Field *Tbl_BLClienteBl_Gross3 = nullptr;
    Field *Tbl_BLClienteBl_Gross4 = nullptr;
    Field *Tbl_BLClienteBl_Measu1 = nullptr;
    Field *Tbl_BLClienteBl_Measu2 = nullptr;

    // Transfer fields, in the file's order.
    Field *Tbl_BLDisqueteDi_BillofLading = nullptr;
    Field *Tbl_BLDisqueteDi_Shipper1 = nullptr;
    Field *Tbl_BLDisqueteDi_Shipper2 = nullptr;
    Field *Tbl_BLDisqueteDi_Shipper3 = nullptr;
    Field *Tbl_BLDisqueteDi_Shipper4 = nullptr;
    Field *Tbl_BLDisqueteDi_Shipper5 = nullptr;
    Field *Tbl_BLDisqueteDi_Cnee1 = nullptr;
    Field *Tbl_BLDisqueteDi_Cnee2 = nullptr;
    Field *Tbl_BLDisqueteDi_Cnee3 = nullptr;
    Field *Tbl_BLDisqueteDi_Cnee4 = nullptr;
    Field *Tbl_BLDisqueteDi_Cnee5 = nullptr;
    Field *Tbl_BLDisqueteDi_Notify1 = nullptr;
    Field *Tbl_BLDisqueteDi_Notify2 = nullptr;
    Field *Tbl_BLDisqueteDi_Notify3 = nullptr;
    Field *Tbl_BLDisqueteDi_Notify4 = nullptr;
    Field *Tbl_BLDisqueteDi_Notify5 = nullptr;
    Field *Tbl_BLDisqueteDi_LocalVessel = nullptr;
    Field *Tbl_BLDisqueteDi_PortDischarg = nullptr;
    Field *Tbl_BLDisqueteDi_FreightPayable = nullptr;
    Field *Tbl_BLDisqueteDi_LocalLoading = nullptr;
    Field *Tbl_BLDisqueteDi_FinalDestination = nullptr;
    Field *Tbl_BLDisqueteDi_ShipperRef = nullptr;
    Field *Tbl_BLDisqueteDi_Agentref = nullptr;
    Field *Tbl_BLDisqueteDi_Marks1 = nullptr;
    Field *Tbl_BLDisqueteDi_Marks2 = nullptr;
    Field *Tbl_BLDisqueteDi_DataRef = nullptr;
    Field *Tbl_BLDisqueteDi_Gross1 = nullptr;
    Field *Tbl_BLDisqueteDi_Gross2 = nullptr;
    Field *Tbl_BLDisqueteDi_Gross3 = nullptr;
    Field *Tbl_BLDisqueteDi_Gross4 = nullptr;
    Field *Tbl_BLDisqueteDi_Measu1 = nullptr;
    Field *Tbl_BLDisqueteDi_Measu2 = nullptr;

    // The register's copy before the first change of each day; the program sets its notice.
    safetycopy::DailySafetyCopy &safetyCopy() { return m_safetyCopy; }

private:
    safetycopy::DailySafetyCopy m_safetyCopy;
};

// The program's one data module: set by the first TDM_BL made, cleared when it goes.
extern TDM_BL *DM_BL;
