#include "U_DM_BL.h"

#include "BLRecord.h"
#include "Formats.h"

#include <iterator>

TDM_BL *DM_BL = nullptr;

namespace {

struct Members
{
    Field *TDM_BL::*local;
    Field *TDM_BL::*transfer;
};

// The members of each entry of blrecord::Fields, in the same order.
#define BL_DM_MEMBERS(base, transferBase, type, size, order) \
    Members{&TDM_BL::Tbl_BLClienteBl_##base, &TDM_BL::Tbl_BLDisqueteDi_##transferBase},
const Members kMembers[] = {BL_RECORD_FIELDS(BL_DM_MEMBERS)};
#undef BL_DM_MEMBERS
static_assert(std::size(kMembers) == std::size(blrecord::Fields));

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
    for (size_t i = 0; i < std::size(kMembers); ++i) {
        this->*kMembers[i].local = Tbl_BLCliente->findField(blrecord::registerName(blrecord::Fields[i]));
        this->*kMembers[i].transfer = Tbl_BLDisquete->findField(blrecord::transferName(blrecord::Fields[i]));
    }

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
