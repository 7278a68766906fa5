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

namespace bltool {

int pdfReceipt(const QString &db, QString company, QString city, const QString &out)
{
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
