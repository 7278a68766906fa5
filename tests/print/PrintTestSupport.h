#pragma once

// A register in a fresh folder with the data module open on it, and PDF printers, for the
// print windows' tests. Header-only; the print tests include it.

#include "BLRecord.h"
#include "PrinterServices.h"
#include "PxTable.h"
#include "RegisterRows.h"
#include "U_DM_BL.h"

#include <QDir>
#include <QHash>
#include <QTemporaryDir>

#include <memory>

namespace printtest {

using testregister::Row;
using testregister::makeRegister;

// Every field of a B/L with a recognisable value.
inline Row fullBL(const QString &booking)
{
    Row r;
    for (int i = 1; i <= 5; ++i) {
        r.insert(QStringLiteral("Bl_Shipper%1").arg(i), QStringLiteral("SHIPPER LINE %1").arg(i));
        r.insert(QStringLiteral("Bl_Cnee%1").arg(i), QStringLiteral("CONSIGNEE LINE %1").arg(i));
        r.insert(QStringLiteral("Bl_Notify%1").arg(i), QStringLiteral("NOTIFY LINE %1").arg(i));
    }
    r.insert(QStringLiteral("Bl_LocalVessel"), QStringLiteral("MV ATLANTICO"));
    r.insert(QStringLiteral("Bl_PortDischarg"), QStringLiteral("HAMBURG"));
    r.insert(QStringLiteral("Bl_FreightPayable"), QStringLiteral("SANTOS"));
    r.insert(QStringLiteral("Bl_LocalLoading"), QStringLiteral("PARANAGUA"));
    r.insert(QStringLiteral("Bl_FinalDestination"), QStringLiteral("MUNICH"));
    r.insert(QStringLiteral("Bl_BillofLading"), QStringLiteral("BL-2026-0042"));
    r.insert(QStringLiteral("Bl_ShipperRef"), QStringLiteral("SREF-9"));
    r.insert(QStringLiteral("Bl_AgentRef"), booking);
    r.insert(QStringLiteral("Bl_Marks1"), QStringLiteral("MARK A\r\nMARK B"));
    r.insert(QStringLiteral("Bl_Marks2"), QStringLiteral("20 CARTONS OF COFFEE"));
    r.insert(QStringLiteral("Bl_Gross1"), 1234567.5);
    r.insert(QStringLiteral("Bl_Gross2"), QStringLiteral("KGS"));
    r.insert(QStringLiteral("Bl_Gross3"), -1234.5);
    r.insert(QStringLiteral("Bl_Gross4"), QStringLiteral("KGN"));
    r.insert(QStringLiteral("Bl_Measu1"), 2.5);
    r.insert(QStringLiteral("Bl_Measu2"), QStringLiteral("CBM"));
    return r;
}

// The register made, the current folder moved there, the data module made and the register
// opened on its last record; PDF printers installed (the first is the default).
struct Register
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<TDM_BL> dm;
    std::unique_ptr<report::PdfPrinterServices> printers;

    explicit Register(const QList<Row> &rows,
                      const QStringList &printerNames = {QStringLiteral("Default"), QStringLiteral("Other")})
    {
        makeRegister(dir.path(), rows);
        QDir::setCurrent(dir.path());
        dm = std::make_unique<TDM_BL>();
        dm->Tbl_BLCliente->open();
        dm->Tbl_BLCliente->last();
        QDir(dir.path()).mkdir(QStringLiteral("jobs"));
        printers = std::make_unique<report::PdfPrinterServices>(dir.filePath(QStringLiteral("jobs")), printerNames);
        report::setPrinterServices(printers.get());
    }
    ~Register()
    {
        report::setPrinterServices(nullptr);
        if (dm && dm->Tbl_BLCliente->isActive())
            dm->Tbl_BLCliente->close();
        dm.reset();
        QDir::setCurrent(previousDir);
    }
};

} // namespace printtest
