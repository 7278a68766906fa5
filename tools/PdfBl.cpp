// bl-tool pdf-bl: one B/L of a register rendered through the printed B/L report into a PDF,
// with the lines of its memos broken as the entry window shows them.

#include "Commands.h"

#include "Formats.h"
#include "ReportOutput.h"
#include "U_BLPrint.h"
#include "U_DM_BL.h"
#include "U_PortaImpressora.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>

namespace bltool {

int pdfBl(const QString &dbPath, const QString &booking, const QString &outPath)
{
    // The windows' font, as the program maps it, so the memo lines break where they do there.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    try {
        TDM_BL dm;
        const QFileInfo db(dbPath);
        dm.Tbl_BLCliente->setDirectory(db.absolutePath());
        dm.Tbl_BLCliente->setTableName(db.fileName());
        dm.Tbl_BLCliente->open();
        if (!dm.Tbl_BLCliente->locate(u"Bl_AgentRef", booking)) {
            printError(QStringLiteral("nenhum B/L com a reserva \"%1\" em %2").arg(booking, dbPath));
            return Error;
        }
        TF_PortaImpressora dialog;
        TF_BLPrint form;
        dialog.fillReport(form);
        const report::ReportPages pages = form.QuickRep1->prepare();
        dm.Tbl_BLCliente->close();
        return writeReportPdf(pages, outPath);
    } catch (const DataError &e) {
        printError(e.message());
        return Error;
    }
}

int writeReportPdf(const report::ReportPages &pages, const QString &outPath)
{
    QString error;
    if (!report::writePdf(pages, outPath, &error)) {
        printError(QStringLiteral("não foi possível gravar %1: %2").arg(outPath, error));
        return Error;
    }
    return Ok;
}

} // namespace bltool
