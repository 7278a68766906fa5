#include "U_DM_BL.h"

#include "BLRecord.h"
#include "Formats.h"

TDM_BL *DM_BL = nullptr;

namespace {

struct Member
{
    const char *field;
    Field *TDM_BL::*member;
};

const Member kRegisterMembers[] = {
    {"Bl_Shipper1", &TDM_BL::Tbl_BLClienteBl_Shipper1},
    {"Bl_Shipper2", &TDM_BL::Tbl_BLClienteBl_Shipper2},
    {"Bl_Shipper3", &TDM_BL::Tbl_BLClienteBl_Shipper3},
    {"Bl_Shipper4", &TDM_BL::Tbl_BLClienteBl_Shipper4},
    {"Bl_Shipper5", &TDM_BL::Tbl_BLClienteBl_Shipper5},
    {"Bl_Cnee1", &TDM_BL::Tbl_BLClienteBl_Cnee1},
    {"Bl_Cnee2", &TDM_BL::Tbl_BLClienteBl_Cnee2},
    {"Bl_Cnee3", &TDM_BL::Tbl_BLClienteBl_Cnee3},
    {"Bl_Cnee4", &TDM_BL::Tbl_BLClienteBl_Cnee4},
    {"Bl_Cnee5", &TDM_BL::Tbl_BLClienteBl_Cnee5},
    {"Bl_Notify1", &TDM_BL::Tbl_BLClienteBl_Notify1},
    {"Bl_Notify2", &TDM_BL::Tbl_BLClienteBl_Notify2},
    {"Bl_Notify3", &TDM_BL::Tbl_BLClienteBl_Notify3},
    {"Bl_Notify4", &TDM_BL::Tbl_BLClienteBl_Notify4},
    {"Bl_Notify5", &TDM_BL::Tbl_BLClienteBl_Notify5},
    {"Bl_LocalVessel", &TDM_BL::Tbl_BLClienteBl_LocalVessel},
    {"Bl_PortDischarg", &TDM_BL::Tbl_BLClienteBl_PortDischarg},
    {"Bl_FreightPayable", &TDM_BL::Tbl_BLClienteBl_FreightPayable},
    {"Bl_LocalLoading", &TDM_BL::Tbl_BLClienteBl_LocalLoading},
    {"Bl_FinalDestination", &TDM_BL::Tbl_BLClienteBl_FinalDestination},
    {"Bl_BillofLading", &TDM_BL::Tbl_BLClienteBl_BillofLading},
    {"Bl_ShipperRef", &TDM_BL::Tbl_BLClienteBl_ShipperRef},
    {"Bl_AgentRef", &TDM_BL::Tbl_BLClienteBl_AgentRef},
    {"Bl_Marks1", &TDM_BL::Tbl_BLClienteBl_Marks1},
    {"Bl_Marks2", &TDM_BL::Tbl_BLClienteBl_Marks2},
    {"Bl_DataRef", &TDM_BL::Tbl_BLClienteBl_DataRef},
    {"Bl_Gross1", &TDM_BL::Tbl_BLClienteBl_Gross1},
    {"Bl_Gross2", &TDM_BL::Tbl_BLClienteBl_Gross2},
    {"Bl_Gross3", &TDM_BL::Tbl_BLClienteBl_Gross3},
    {"Bl_Gross4", &TDM_BL::Tbl_BLClienteBl_Gross4},
    {"Bl_Measu1", &TDM_BL::Tbl_BLClienteBl_Measu1},
    {"Bl_Measu2", &TDM_BL::Tbl_BLClienteBl_Measu2},
};

const Member kTransferMembers[] = {
    {"Di_BillofLading", &TDM_BL::Tbl_BLDisqueteDi_BillofLading},
    {"Di_Shipper1", &TDM_BL::Tbl_BLDisqueteDi_Shipper1},
    {"Di_Shipper2", &TDM_BL::Tbl_BLDisqueteDi_Shipper2},
    {"Di_Shipper3", &TDM_BL::Tbl_BLDisqueteDi_Shipper3},
    {"Di_Shipper4", &TDM_BL::Tbl_BLDisqueteDi_Shipper4},
    {"Di_Shipper5", &TDM_BL::Tbl_BLDisqueteDi_Shipper5},
    {"Di_Cnee1", &TDM_BL::Tbl_BLDisqueteDi_Cnee1},
    {"Di_Cnee2", &TDM_BL::Tbl_BLDisqueteDi_Cnee2},
    {"Di_Cnee3", &TDM_BL::Tbl_BLDisqueteDi_Cnee3},
    {"Di_Cnee4", &TDM_BL::Tbl_BLDisqueteDi_Cnee4},
    {"Di_Cnee5", &TDM_BL::Tbl_BLDisqueteDi_Cnee5},
    {"Di_Notify1", &TDM_BL::Tbl_BLDisqueteDi_Notify1},
    {"Di_Notify2", &TDM_BL::Tbl_BLDisqueteDi_Notify2},
    {"Di_Notify3", &TDM_BL::Tbl_BLDisqueteDi_Notify3},
    {"Di_Notify4", &TDM_BL::Tbl_BLDisqueteDi_Notify4},
    {"Di_Notify5", &TDM_BL::Tbl_BLDisqueteDi_Notify5},
    {"Di_LocalVessel", &TDM_BL::Tbl_BLDisqueteDi_LocalVessel},
    {"Di_PortDischarg", &TDM_BL::Tbl_BLDisqueteDi_PortDischarg},
    {"Di_FreightPayable", &TDM_BL::Tbl_BLDisqueteDi_FreightPayable},
    {"Di_LocalLoading", &TDM_BL::Tbl_BLDisqueteDi_LocalLoading},
    {"Di_FinalDestination", &TDM_BL::Tbl_BLDisqueteDi_FinalDestination},
    {"Di_ShipperRef", &TDM_BL::Tbl_BLDisqueteDi_ShipperRef},
    {"Di_Agentref", &TDM_BL::Tbl_BLDisqueteDi_Agentref},
    {"Di_Marks1", &TDM_BL::Tbl_BLDisqueteDi_Marks1},
    {"Di_Marks2", &TDM_BL::Tbl_BLDisqueteDi_Marks2},
    {"Di_DataRef", &TDM_BL::Tbl_BLDisqueteDi_DataRef},
    {"Di_Gross1", &TDM_BL::Tbl_BLDisqueteDi_Gross1},
    {"Di_Gross2", &TDM_BL::Tbl_BLDisqueteDi_Gross2},
    {"Di_Gross3", &TDM_BL::Tbl_BLDisqueteDi_Gross3},
    {"Di_Gross4", &TDM_BL::Tbl_BLDisqueteDi_Gross4},
    {"Di_Measu1", &TDM_BL::Tbl_BLDisqueteDi_Measu1},
    {"Di_Measu2", &TDM_BL::Tbl_BLDisqueteDi_Measu2},
};

Table *makeTable(QObject *owner, const char *name, const QString &tableName, Table::TableType type)
{
    auto *t = new Table(owner);
    t->setObjectName(QLatin1String(name));
    t->setTableName(tableName);
    t->setTableType(type);
    return t;
}

void makeFields(Table *table, blrecord::Table which)
{
    for (const px::FieldDef &d : blrecord::fields(which)) {
        auto *f = new Field(table, d.name, d.type, d.size);
        f->setObjectName(table->objectName() + d.name);
        if (d.type == px::FieldType::Number) {
            f->setDisplayFormat(QString::fromUtf16(formats::NumberFormat));
            f->setEditFormat(QString::fromUtf16(formats::NumberFormat));
        } else if (d.type == px::FieldType::Date) {
            f->setDisplayFormat(QString::fromUtf16(formats::DateFormat));
        }
    }
}

} // namespace

TDM_BL::TDM_BL(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("DM_BL"));

    Tbl_BLCliente = makeTable(this, "Tbl_BLCliente", QLatin1String(blrecord::RegisterFile),
                              Table::TableType::Default);
    Tbl_BLDisquete = makeTable(this, "Tbl_BLDisquete", QStringLiteral("BlDisquete.db"),
                               Table::TableType::Paradox);
    makeFields(Tbl_BLCliente, blrecord::Table::Register);
    makeFields(Tbl_BLDisquete, blrecord::Table::Transfer);
    for (const Member &m : kRegisterMembers)
        this->*m.member = Tbl_BLCliente->findField(QString::fromLatin1(m.field));
    for (const Member &m : kTransferMembers)
        this->*m.member = Tbl_BLDisquete->findField(QString::fromLatin1(m.field));

    DS_Cliente = new DataSource(this);
    DS_Cliente->setObjectName(QStringLiteral("DS_Cliente"));
    DS_Cliente->setDataSet(Tbl_BLCliente);
    DS_BLDisquete = new DataSource(this);
    DS_BLDisquete->setObjectName(QStringLiteral("DS_BLDisquete"));
    DS_BLDisquete->setDataSet(Tbl_BLDisquete);

    // Whatever window changes the register, the day's safety copy comes first.
    Tbl_BLCliente->setBeforeChange([this](px::Table &t) { m_safetyCopy.beforeChange(t); });

    if (!DM_BL)
        DM_BL = this;
}

TDM_BL::~TDM_BL()
{
    if (DM_BL == this)
        DM_BL = nullptr;
    // Data sources go before the tables they watch.
    delete DS_Cliente;
    delete DS_BLDisquete;
    delete Tbl_BLCliente;
    delete Tbl_BLDisquete;
}
