// The entry window's printer button: the print dialog with the agency's trade name, then the
// B/L found again by its booking number.

#include "BLApplication.h"
#include "DBControls.h"
#include "ModalHelper.h"
#include "PrintTestSupport.h"
#include "QRPreview.h"
#include "U_BLPrint.h"
#include "U_Endereco.h"
#include "U_PortaImpressora.h"
#include "U_Principal.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using namespace printtest;

class TestPrintButton : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void printFindsTheFirstRecordWithTheBookingNumber()
    {
        Row a = fullBL(QStringLiteral("DUP"));
        a.insert(QStringLiteral("Bl_Shipper1"), QStringLiteral("FIRST"));
        Row b = fullBL(QStringLiteral("OTHER"));
        Row c = fullBL(QStringLiteral("DUP"));
        c.insert(QStringLiteral("Bl_Shipper1"), QStringLiteral("THIRD"));
        QString goods;
        for (int i = 0; i < 40; ++i)
            goods += QStringLiteral("palavra%1 ").arg(i);
        c.insert(QStringLiteral("Bl_Marks2"), goods.trimmed());

        QTemporaryDir dir;
        makeRegister(dir.path(), {a, b, c});
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        report::PdfPrinterServices printers(dir.path(), {QStringLiteral("Default")});
        report::setPrinterServices(&printers);
        {
            TF_Principal w;
            TDM_BL dm;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(dm.Tbl_BLClienteBl_Shipper1->asString(), QStringLiteral("THIRD"));
            // The entry window's own goods memo, laid out on its page.
            w.PageControl1->setCurrentIndex(1);
            const QStringList entryLines = w.memo(QStringLiteral("Bl_Marks2"))->displayLines();
            QVERIFY(entryLines.size() > 2);

            QString label2, expectedName;
            QStringList printedLines;
            {
                TF_Endereco details;
                expectedName = details.EditFanta->text();
            }
            auto watch = modaltest::whenModal([&](QWidget *win) {
                auto *d = qobject_cast<TF_PortaImpressora *>(win);
                label2 = d->Label2->text();
                auto preview = modaltest::whenModal([&](QWidget *p) {
                    auto *pv = qobject_cast<report::TQRPreview *>(p);
                    QTRY_VERIFY(pv->pageCount() == 1);
                    printedLines = d->report()->QRMemo2->lines();
                    pv->close();
                });
                d->SB_Preview->click();
            });
            w.SB_Impressao->click();
            QVERIFY(watch->acted);
            // The same trade name in the print dialog as in the entry window's heading.
            QCOMPARE(label2, expectedName);
            QCOMPARE(label2, w.Label1->text());
            QCOMPARE(printedLines, entryLines);
            // The first B/L with the booking number is current now.
            QCOMPARE(dm.Tbl_BLClienteBl_AgentRef->asString(), QStringLiteral("DUP"));
            QCOMPARE(dm.Tbl_BLClienteBl_Shipper1->asString(), QStringLiteral("FIRST"));
            dm.Tbl_BLCliente->close();
        }
        report::setPrinterServices(nullptr);
        QDir::setCurrent(previous);
    }
};

int main(int argc, char *argv[])
{
    BLApplication app(argc, argv);
    TestPrintButton t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_printbutton.moc"
