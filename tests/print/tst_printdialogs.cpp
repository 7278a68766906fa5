// The B/L print dialog and the copies dialog, driven by their control names over a real
// register, printing on PDF printers.

#include "DBControls.h"
#include "ModalHelper.h"
#include "MsgDlg.h"
#include "PdfWords.h"
#include "PrintLogic.h"
#include "PrintTestSupport.h"
#include "QRPreview.h"
#include "U_BLPrint.h"
#include "U_CopiasPrint.h"
#include "U_PortaImpressora.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

using namespace printtest;

namespace {

const QLocale PtBR(QLocale::Portuguese, QLocale::Brazil);
const QLocale EnUS(QLocale::English, QLocale::UnitedStates);

// Runs the print dialog modally and lets act() work on it once it shows. Returns whether
// act ran.
bool runPrintDialog(const std::function<void(TF_PortaImpressora *)> &act)
{
    TF_PortaImpressora dialog;
    auto watch = modaltest::whenModal([&](QWidget *w) { act(qobject_cast<TF_PortaImpressora *>(w)); });
    dialog.exec();
    return watch->acted;
}

// Closes the preview once it has laid its page out; reports what it showed.
std::shared_ptr<modaltest::ModalWatch> closePreviewWhenShown(QString *caption = nullptr,
                                                             std::function<void(report::TQRPreview *)> look = {})
{
    return modaltest::whenModal([=](QWidget *w) {
        auto *p = qobject_cast<report::TQRPreview *>(w);
        if (!p) {
            w->close();
            return;
        }
        QTRY_VERIFY(p->pageCount() > 0);
        if (caption)
            *caption = p->windowTitle();
        if (look)
            look(p);
        p->close();
    });
}

QStringList pdfText(const QString &file)
{
    QStringList words;
    for (const pdfwords::Page &p : pdfwords::read(file))
        for (const pdfwords::Word &w : p.words)
            words.append(w.text);
    return words;
}

} // namespace

class TestPrintDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(PtBR);
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void numberTexts()
    {
        using printlogic::numberText;
        QCOMPARE(numberText(1234567.5, PtBR), QStringLiteral("1.234.567,500"));
        QCOMPARE(numberText(2.5, PtBR), QStringLiteral("2,500"));
        QCOMPARE(numberText(-1234.5, PtBR), QStringLiteral("-1.234,500"));
        QCOMPARE(numberText(std::nullopt, PtBR), QStringLiteral("0,000"));
        QCOMPARE(numberText(1234567.5, EnUS), QStringLiteral("1,234,567.500"));
        QCOMPARE(numberText(-1234.5, EnUS), QStringLiteral("-1,234.500"));
        QCOMPARE(numberText(std::nullopt, EnUS), QStringLiteral("0.000"));
    }

    void copiesRule()
    {
        using printlogic::copiesFromText;
        QCOMPARE(copiesFromText(QStringLiteral("99"), PtBR), 50);
        QCOMPARE(copiesFromText(QStringLiteral("0"), PtBR), 1);
        QCOMPARE(copiesFromText(QStringLiteral("-4"), PtBR), 1);
        QCOMPARE(copiesFromText(QString(), PtBR), 1);
        QCOMPARE(copiesFromText(QStringLiteral("2,5"), PtBR), 1);
        QCOMPARE(copiesFromText(QStringLiteral(" 7 "), PtBR), 7);
        QCOMPARE(copiesFromText(QStringLiteral("99999999999999999999"), PtBR), 1);
    }

    void everyFieldReachesItsLabel()
    {
        Register reg({fullBL(QStringLiteral("BK-1"))});
        QMap<int, QString> captions;
        QStringList memo1, memo2;
        bool reportAlive = false;
        QString caption;
        const bool acted = runPrintDialog([&](TF_PortaImpressora *d) {
            auto preview = closePreviewWhenShown(&caption, [&](report::TQRPreview *) {
                reportAlive = d->report() != nullptr;
                for (int n = 17; n <= 45; ++n)
                    captions.insert(n, d->report()->label(n)->caption());
                memo1 = d->report()->QRMemo1->lines();
                memo2 = d->report()->QRMemo2->lines();
            });
            d->SB_Preview->click();
        });
        QVERIFY(acted);
        QVERIFY(reportAlive);
        QCOMPARE(caption, QStringLiteral("Print Preview"));
        const Row r = fullBL(QStringLiteral("BK-1"));
        auto t = [&](const char *f) { return std::get<QString>(r.value(QLatin1String(f))); };
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(captions[17 + i], QStringLiteral("SHIPPER LINE %1").arg(i + 1));
            QCOMPARE(captions[22 + i], QStringLiteral("CONSIGNEE LINE %1").arg(i + 1));
            QCOMPARE(captions[27 + i], QStringLiteral("NOTIFY LINE %1").arg(i + 1));
        }
        QCOMPARE(captions[32], t("Bl_BillofLading"));
        QCOMPARE(captions[33], t("Bl_ShipperRef"));
        QCOMPARE(captions[34], QStringLiteral("BK-1"));
        QCOMPARE(captions[35], t("Bl_LocalVessel"));
        QCOMPARE(captions[36], t("Bl_LocalLoading"));
        QCOMPARE(captions[37], t("Bl_PortDischarg"));
        QCOMPARE(captions[38], t("Bl_FinalDestination"));
        QCOMPARE(captions[39], t("Bl_FreightPayable"));
        QCOMPARE(captions[40], QStringLiteral("1.234.567,500"));
        QCOMPARE(captions[41], QStringLiteral("KGS"));
        QCOMPARE(captions[42], QStringLiteral("2,500"));
        QCOMPARE(captions[43], QStringLiteral("CBM"));
        QCOMPARE(captions[44], QStringLiteral("-1.234,500"));
        QCOMPARE(captions[45], QStringLiteral("KGN"));
        QCOMPARE(memo1, QStringList({QStringLiteral("MARK A"), QStringLiteral("MARK B")}));
        QCOMPARE(memo2, QStringList({QStringLiteral("20 CARTONS OF COFFEE")}));
        QVERIFY(reg.printers->jobs.isEmpty());  // a preview prints nothing
    }

    void emptyRecordPrintsEmptyLabelsAndZeroNumbers()
    {
        Row bare;
        bare.insert(QStringLiteral("Bl_AgentRef"), QStringLiteral("EMPTY"));
        Register reg({bare});
        QVERIFY(runPrintDialog([](TF_PortaImpressora *d) { d->BB_OK->click(); }));
        QCOMPARE(reg.printers->jobs.size(), 1);
        const QStringList words = pdfText(reg.printers->jobs[0].file);
        QCOMPARE(words.count(QStringLiteral("0,000")), 3);
        QVERIFY(words.contains(QStringLiteral("EMPTY")));
        QVERIFY(words.contains(QStringLiteral("Shipper:")) && words.contains(QStringLiteral("Weight")));
        // Headings, three zeros and the booking number: nothing else.
        QCOMPARE(words.size(), 41 + 3 + 1);
    }

    void memoLinesAreTheDisplayLines()
    {
        Row r = fullBL(QStringLiteral("BK-2"));
        QString goods;
        for (int i = 0; i < 30; ++i)
            goods += QStringLiteral("word%1 ").arg(i);
        goods = goods.trimmed() + QStringLiteral("\r\n");  // ends in a line break
        r.insert(QStringLiteral("Bl_Marks2"), goods);
        Register reg({r});
        QStringList shown, printed;
        QVERIFY(runPrintDialog([&](TF_PortaImpressora *d) {
            shown = d->DBMemo2->displayLines();
            auto preview = closePreviewWhenShown(nullptr, [&](report::TQRPreview *) {
                printed = d->report()->QRMemo2->lines();
            });
            d->SB_Preview->click();
        }));
        QVERIFY(shown.size() > 2);  // the paragraph wraps at 305 pixels
        QCOMPARE(printed, shown);
        QVERIFY(!printed.last().isEmpty());  // the trailing break adds no line
        QCOMPARE(printed.join(QString()).remove(QLatin1Char(' ')), goods.trimmed().remove(QLatin1Char(' ')));
    }

    void printAtOnceOnTheDefaultPrinter()
    {
        Register reg({fullBL(QStringLiteral("BK-3"))});
        QString label5;
        QString focus;
        bool hidden = false;
        QVERIFY(runPrintDialog([&](TF_PortaImpressora *d) {
            label5 = d->Label5->text();
            // The dialog's own focus: the application's follows only once the window is active.
            focus = d->focusWidget() ? d->focusWidget()->objectName() : QString();
            hidden = !d->DBMemo1->visibleRegion().boundingRect().intersects(QRect(0, 0, 366, 111))
                     && d->DBMemo1->mapTo(d, QPoint(0, 0)).y() >= 111
                     && d->ScrollBox1->verticalScrollBar()->maximum() == 0;
            d->BB_OK->click();
        }));
        QCOMPARE(label5, QStringLiteral("Default"));
        QCOMPARE(focus, QStringLiteral("BB_Cancela"));
        QVERIFY(hidden);
        QCOMPARE(reg.printers->jobs.size(), 1);
        QCOMPARE(reg.printers->jobs[0].printer, QStringLiteral("Default"));
        QCOMPARE(reg.printers->jobs[0].copies, 1);
        QVERIFY(reg.printers->jobs[0].finished);
        QVERIFY(pdfText(reg.printers->jobs[0].file).contains(QStringLiteral("BK-3")));
    }

    void printerDialogCancelledKeepsTheDialogOpen()
    {
        Register reg({fullBL(QStringLiteral("BK-4"))});
        reg.printers->dialogHandler = [](report::PrinterChoice &) { return false; };
        bool stillOpen = false;
        QVERIFY(runPrintDialog([&](TF_PortaImpressora *d) {
            d->SB_Setup->click();
            stillOpen = d->isVisible();
            d->BB_OK->click();  // printing afterwards: default printer, one copy
        }));
        QVERIFY(stillOpen);
        QCOMPARE(reg.printers->dialogsShown, 1);
        QCOMPARE(reg.printers->jobs.size(), 1);
        QCOMPARE(reg.printers->jobs[0].printer, QStringLiteral("Default"));
        QCOMPARE(reg.printers->jobs[0].copies, 1);
    }

    void printerChoiceHoldsForOnePrint()
    {
        Register reg({fullBL(QStringLiteral("BK-5"))});
        reg.printers->dialogHandler = [](report::PrinterChoice &c) {
            c.index = 1;
            c.copies = 3;
            c.orientation = report::Orientation::Landscape;  // does not pass to the report
            return true;
        };
        QVERIFY(runPrintDialog([](TF_PortaImpressora *d) { d->SB_Setup->click(); }));
        QCOMPARE(reg.printers->jobs.size(), 1);
        QCOMPARE(reg.printers->jobs[0].printer, QStringLiteral("Other"));
        QCOMPARE(reg.printers->jobs[0].copies, 3);
        QCOMPARE(reg.printers->jobs[0].orientation, report::Orientation::Portrait);
        QCOMPARE(reg.printers->printerIndex(), -1);
        QCOMPARE(reg.printers->copies(), 1);
        QString label5;
        QVERIFY(runPrintDialog([&](TF_PortaImpressora *d) {
            label5 = d->Label5->text();
            d->BB_OK->click();
        }));
        QCOMPARE(label5, QStringLiteral("Default"));
        QCOMPARE(reg.printers->jobs.size(), 2);
        QCOMPARE(reg.printers->jobs[1].printer, QStringLiteral("Default"));
        QCOMPARE(reg.printers->jobs[1].copies, 1);
    }

    void cancelPrintsNothing()
    {
        Register reg({fullBL(QStringLiteral("BK-6"))});
        TF_PortaImpressora dialog;
        auto watch = modaltest::whenModal([](QWidget *w) { qobject_cast<TF_PortaImpressora *>(w)->BB_Cancela->click(); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(watch->acted);
        QVERIFY(reg.printers->jobs.isEmpty());
        // Enter on the focused cancel button cancels too.
        auto enter = modaltest::whenModal([](QWidget *w) { QTest::keyClick(w->focusWidget(), Qt::Key_Return); },
                                          {.waitActive = true});
        TF_PortaImpressora again;
        QCOMPARE(again.exec(), int(QDialog::Rejected));
        QVERIFY(enter->acted);
        QVERIFY(reg.printers->jobs.isEmpty());
    }

    void noPrinterTellsTheClerkAndOffersThePreview()
    {
        Register reg({fullBL(QStringLiteral("BK-7"))}, {});
        for (const bool wantsPreview : {true, false}) {
            QString message, label5, caption;
            std::shared_ptr<modaltest::ModalWatch> preview;
            QVERIFY(runPrintDialog([&](TF_PortaImpressora *d) {
                label5 = d->Label5->text();
                auto box = modaltest::whenModal([&](QWidget *w) {
                    if (auto *l = w->findChild<QLabel *>(QStringLiteral("Message")))
                        message = l->text();
                    if (wantsPreview)
                        preview = closePreviewWhenShown(&caption);
                    w->findChild<QPushButton *>(TMsgDlg::buttonName(wantsPreview ? mbOK : mbCancel))->click();
                });
                d->BB_OK->click();
            }));
            QCOMPARE(label5, printlogic::noPrinterName());
            QVERIFY2(message.contains(QStringLiteral("impressora instalada")), qPrintable(message));
            if (wantsPreview) {
                QVERIFY(preview && preview->acted);
                QCOMPARE(caption, QStringLiteral("Print Preview"));
            }
        }
        QVERIFY(reg.printers->jobs.isEmpty());
    }

    void copiesDialog()
    {
        QTemporaryDir dir;
        report::PdfPrinterServices printers(dir.path(), {QStringLiteral("Laser-Escritorio")});
        report::setPrinterServices(&printers);
        auto run = [](const std::function<void(TF_CopiasPrint *)> &act) {
            TF_CopiasPrint dialog;
            auto watch = modaltest::whenModal([&](QWidget *w) { act(qobject_cast<TF_CopiasPrint *>(w)); },
                                              {.waitActive = true});
            dialog.exec();
            return watch->acted;
        };
        auto typeAndEnter = [](const QString &text) {
            return [text](TF_CopiasPrint *d) {
                d->SpinEdit1->setFocus();
                d->SpinEdit1->selectAll();
                QTest::keyClick(d->SpinEdit1, Qt::Key_Delete);
                QTest::keyClicks(d->SpinEdit1, text);
                QTest::keyClick(d->SpinEdit1, Qt::Key_Return);
            };
        };
        QString device, port, focus;
        QVERIFY(run([&](TF_CopiasPrint *d) {
            device = d->Label5->text();
            port = d->Label4->text();
            focus = d->focusWidget() ? d->focusWidget()->objectName() : QString();
            d->BB_OK->click();
        }));
        QCOMPARE(device, QStringLiteral("Laser-Escritorio"));
        QCOMPARE(port, QDir::toNativeSeparators(dir.path()));
        QCOMPARE(focus, QStringLiteral("BB_OK"));
        QCOMPARE(CopiasImpressao, 1);
        QVERIFY(ModoImpressao.isEmpty());

        QVERIFY(run(typeAndEnter(QStringLiteral("99"))));
        QCOMPARE(CopiasImpressao, 50);
        QVERIFY(run(typeAndEnter(QStringLiteral("0"))));
        QCOMPARE(CopiasImpressao, 1);
        QVERIFY(run(typeAndEnter(QString())));
        QCOMPARE(CopiasImpressao, 1);
        QVERIFY(run(typeAndEnter(QStringLiteral("3"))));
        QCOMPARE(CopiasImpressao, 3);

        QVERIFY(run([&](TF_CopiasPrint *d) {
            d->SpinEdit1->setValue(12);
            d->SB_Preview->click();
        }));
        QCOMPARE(ModoImpressao, ModoPreview);
        QCOMPARE(CopiasImpressao, 1);
        QVERIFY(run([](TF_CopiasPrint *d) { d->BB_OK->click(); }));  // after a preview: print again
        QVERIFY(ModoImpressao.isEmpty());

        QVERIFY(run([](TF_CopiasPrint *d) { d->BB_Cancela->click(); }));
        QCOMPARE(CopiasImpressao, 0);
        QVERIFY(run([](TF_CopiasPrint *d) { d->SB_Preview->click(); }));
        QVERIFY(run([](TF_CopiasPrint *d) { QTest::keyClick(d->focusWidget(), Qt::Key_Escape); }));
        QCOMPARE(CopiasImpressao, 0);  // Esc is the cancel button
        QVERIFY(ModoImpressao.isEmpty());
        // The arrows stay within 1 to 50.
        TF_CopiasPrint d;
        d.SpinEdit1->setValue(50);
        d.SpinEdit1->stepUp();
        QCOMPARE(d.SpinEdit1->value(), 50);
        d.SpinEdit1->setValue(1);
        d.SpinEdit1->stepDown();
        QCOMPARE(d.SpinEdit1->value(), 1);
        report::setPrinterServices(nullptr);
    }
};

QTEST_MAIN(TestPrintDialogs)
#include "tst_printdialogs.moc"
