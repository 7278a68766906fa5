// bl-tool pdf-receipt: the delivery receipt of a transfer file rendered through the receipt
// report into a PDF, for reprinting the receipt of a file already handed over.

#include "Commands.h"

#include "DBControls.h"
#include "ProtocoloLogic.h"
#include "ReportOutput.h"
#include "U_DM_BL.h"
#include "U_ProtocoloPrint.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

namespace bltool {

namespace {

int receiptUsage()
{
    std::fputs("Uso: bl-tool pdf-receipt ARQ.DB --company EMPRESA --city CIDADE -o SAIDA.pdf\n", stderr);
    return Error;
}

} // namespace

int pdfReceipt(const QStringList &args)
{
    QString db, company, city, out;
    bool hasCompany = false, hasCity = false, hasOut = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--company" && i + 1 < args.size()) {
            company = args[++i];
            hasCompany = true;
        } else if (args[i] == u"--city" && i + 1 < args.size()) {
            city = args[++i];
            hasCity = true;
        } else if (args[i] == u"-o" && i + 1 < args.size()) {
            out = args[++i];
            hasOut = true;
        } else if (db.isEmpty() && !args[i].startsWith(u'-')) {
            db = args[i];
        } else {
            return receiptUsage();
        }
    }
    if (db.isEmpty() || !hasCompany || !hasCity || !hasOut || out.isEmpty())
        return receiptUsage();

    // Typed into the window, both would be upper case.
    company = dbcontrols::upperCased(company);
    city = dbcontrols::upperCased(city);
    try {
        TDM_BL dm;
        Table &transfer = *dm.Tbl_BLDisquete;
        const QFileInfo file(db);
        transfer.setDirectory(file.absolutePath());
        transfer.setTableName(file.fileName());
        transfer.open();
        if (transfer.isEmpty()) {
            printError(protocolo::emptyTransferMessage());
            return Error;
        }
        if (company.isEmpty()) {
            printError(protocolo::missingCompanyMessage());
            return Error;
        }
        if (city.isEmpty()) {
            printError(protocolo::missingCityMessage());
            return Error;
        }
        ReceiptData data;
        data.city = city;
        data.company = company;
        // An opened file: its name as given, with its extension.
        data.fileLine = protocolo::fileLine(file.absolutePath(), file.fileName());
        data.bookings = protocolo::bookingNumbers(transfer);
        data.moment = QDateTime::currentDateTime();
        transfer.close();

        TF_ProtocoloPrint form;
        form.fill(data, QLocale());
        return writeReportPdf(form.QuickRep1->prepare(), out);
    } catch (const DataError &e) {
        printError(e.message());
        return Error;
    }
}

} // namespace bltool
