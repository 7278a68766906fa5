// Completion from earlier B/Ls in the entry window, and "Novo a partir deste B/L", driven by
// the keyboard over real registers in temporary folders.

#include "CompletionPopup.h"
#include "DBControls.h"
#include "RegisterRows.h"
#include "StatusBar.h"
#include "U_DM_BL.h"
#include "U_Principal.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using testregister::Row;

namespace {

// 38 characters: longer than the party edits' own limit of 36, as another program may store.
const QString LongLine = QStringLiteral("AVENIDA CONSELHEIRO NÉBIAS, 500 SALA 9");

Row fullBL()
{
    return {{QStringLiteral("Bl_Shipper1"), QStringLiteral("EXPORTADORA SANTOS LTDA")},
            {QStringLiteral("Bl_Shipper2"), LongLine},
            {QStringLiteral("Bl_Shipper3"), QStringLiteral("SANTOS - SP")},
            {QStringLiteral("Bl_Shipper5"), QStringLiteral("tel 13 3219")},
            {QStringLiteral("Bl_Cnee1"), QStringLiteral("HAMBURG SÜD IMPORT")},
            {QStringLiteral("Bl_Notify1"), QStringLiteral("SAME AS CONSIGNEE")},
            {QStringLiteral("Bl_LocalVessel"), QStringLiteral("MSC ALGECIRAS")},
            {QStringLiteral("Bl_LocalLoading"), QStringLiteral("Santos")},
            {QStringLiteral("Bl_PortDischarg"), QStringLiteral("HAMBURG")},
            {QStringLiteral("Bl_FreightPayable"), QStringLiteral("DESTINATION")},
            {QStringLiteral("Bl_FinalDestination"), QStringLiteral("BERLIN")},
            {QStringLiteral("Bl_BillofLading"), QStringLiteral("SSZ123")},
            {QStringLiteral("Bl_ShipperRef"), QStringLiteral("PO-1")},
            {QStringLiteral("Bl_AgentRef"), QStringLiteral("BK1")},
            {QStringLiteral("Bl_Marks1"), QStringLiteral("N/M\r\nLOT 4711")},
            {QStringLiteral("Bl_Marks2"), QStringLiteral("320 BAGS OF COFFEE")},
            {QStringLiteral("Bl_DataRef"), QDate(2024, 3, 1)},
            {QStringLiteral("Bl_Gross1"), 19456.0},
            {QStringLiteral("Bl_Gross2"), QStringLiteral("KGS")},
            {QStringLiteral("Bl_Gross3"), 19200.0},
            {QStringLiteral("Bl_Gross4"), QStringLiteral("KGS")},
            {QStringLiteral("Bl_Measu1"), 33.5},
            {QStringLiteral("Bl_Measu2"), QStringLiteral("M3")}};
}

Row otherBL()
{
    return {{QStringLiteral("Bl_Shipper1"), QStringLiteral("Exportação Ágil S.A.")},
            {QStringLiteral("Bl_Shipper2"), QStringLiteral("RUA DIREITA, 1")},
            {QStringLiteral("Bl_LocalLoading"), QStringLiteral("SANTOS")},
            // 20 characters: the field holds them, the edit takes only 18.
            {QStringLiteral("Bl_PortDischarg"), QStringLiteral("HAMBURG-WALTERSHOF X")},
            {QStringLiteral("Bl_FinalDestination"), QStringLiteral("SALVADOR DA BAHIA-BA")},
            {QStringLiteral("Bl_AgentRef"), QStringLiteral("BK2")},
            {QStringLiteral("Bl_DataRef"), QDate(2024, 2, 1)}};
}

struct Session
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<TF_Principal> w;
    std::unique_ptr<TDM_BL> dm;

    explicit Session(const QList<Row> &rows)
    {
        testregister::makeRegister(dir.path(), rows);
        QDir::setCurrent(dir.path());
        w = std::make_unique<TF_Principal>();
        dm = std::make_unique<TDM_BL>();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    ~Session()
    {
        w.reset();
        dm.reset();
        QDir::setCurrent(previousDir);
    }
    TDBEdit *edit(const char *name) const { return w->edit(QLatin1String(name)); }
    QString field(const char *name) const { return dm->Tbl_BLCliente->fieldByName(QString::fromLatin1(name))->asString(); }
    QString mode() const { return w->StatusBar1->panelText(5); }
    void type(TDBEdit *e, const QString &s) const
    {
        e->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(e, s);
    }
    QByteArray registerBytes() const
    {
        QFile f(testregister::registerPath(dir.path()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

QStringList shown(TCompletionPopup *p)
{
    QStringList out;
    for (int i = 0; i < p->list()->count(); ++i)
        out.append(p->list()->item(i)->text());
    return out;
}

} // namespace

class TestCompletion : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void partyFillsAllFiveLines()
    {
        // The first B/L twice: its party is offered once.
        Session s({fullBL(), otherBL(), fullBL()});
        TCompletionPopup *p = s.w->completion(QStringLiteral("Bl_Shipper1"));
        QVERIFY(p);
        QVERIFY(!s.w->completion(QStringLiteral("Bl_Shipper2")));
        s.w->SB_Inclusao->click();
        TDBEdit *first = s.edit("Bl_Shipper1");
        s.type(first, QStringLiteral("exp"));
        QVERIFY(p->isShown());
        // Most recent first, by the first two lines; case and accents ignored.
        QCOMPARE(shown(p), QStringList({QStringLiteral("EXPORTADORA SANTOS LTDA\n") + LongLine,
                                        QStringLiteral("Exportação Ágil S.A.\nRUA DIREITA, 1")}));
        // The list never takes the focus, so nothing was written back yet.
        QCOMPARE(QApplication::focusWidget(), first);
        QVERIFY(s.field("Bl_Shipper1").isEmpty());

        QTest::keyClick(first, Qt::Key_Down);
        QTest::keyClick(first, Qt::Key_Return);
        QVERIFY(!p->isShown());
        QCOMPARE(s.mode(), QStringLiteral("Inclusão"));
        const QStringList expected = {QStringLiteral("EXPORTADORA SANTOS LTDA"), LongLine, QStringLiteral("SANTOS - SP"),
                                      QString(), QStringLiteral("tel 13 3219")};
        for (int i = 0; i < 5; ++i) {
            const QByteArray name = "Bl_Shipper" + QByteArray::number(i + 1);
            QCOMPARE(s.field(name.constData()), expected.at(i));
            QCOMPARE(s.edit(name.constData())->text(), expected.at(i));
        }
        QCOMPARE(QApplication::focusWidget(), first);

        // A click chooses as well: the consignee box.
        TDBEdit *cnee = s.edit("Bl_Cnee1");
        s.type(cnee, QStringLiteral("hamburg sud"));
        TCompletionPopup *pc = s.w->completion(QStringLiteral("Bl_Cnee1"));
        QVERIFY(pc->isShown());
        QListWidget *list = pc->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(s.field("Bl_Cnee1"), QStringLiteral("HAMBURG SÜD IMPORT"));
    }

    void escapeAndTypingOnKeepTheText()
    {
        Session s({fullBL()});
        TCompletionPopup *p = s.w->completion(QStringLiteral("Bl_Shipper1"));
        s.w->SB_Inclusao->click();
        TDBEdit *first = s.edit("Bl_Shipper1");
        s.type(first, QStringLiteral("Ex"));
        QVERIFY(p->isShown());
        QTest::keyClick(first, Qt::Key_Escape);
        QVERIFY(!p->isShown());
        QVERIFY(s.w->isVisible());
        QCOMPARE(first->text(), QStringLiteral("Ex"));
        QCOMPARE(QApplication::focusWidget(), first);
        // Typing on past every party closes the list; Enter then chooses nothing.
        QTest::keyClicks(first, QStringLiteral("po"));
        QVERIFY(p->isShown());
        QTest::keyClicks(first, QStringLiteral("zz"));
        QVERIFY(!p->isShown());
        QTest::keyClick(first, Qt::Key_Return);
        QCOMPARE(first->text(), QStringLiteral("Expozz"));
        QVERIFY(s.edit("Bl_Shipper2")->text().isEmpty());
        // Tab closes the list and goes on in the keyboard order.
        QTest::keyClick(first, Qt::Key_Backspace);
        QTest::keyClick(first, Qt::Key_Backspace);
        QVERIFY(p->isShown());
        QTest::keyClick(first, Qt::Key_Tab);
        QVERIFY(!p->isShown());
        QCOMPARE(QApplication::focusWidget(), s.edit("Bl_Shipper2"));
        QCOMPARE(s.field("Bl_Shipper1"), QStringLiteral("Expo"));
    }

    void nothingInBrowseState()
    {
        Session s({fullBL()});
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        for (const char *name : {"Bl_Shipper1", "Bl_LocalVessel"}) {
            TDBEdit *e = s.edit(name);
            TCompletionPopup *p = s.w->completion(QLatin1String(name));
            e->setFocus();
            QTest::keyClick(e, Qt::Key_Down);
            p->refresh();
            QVERIFY2(!p->isShown(), name);
        }
        QCOMPARE(s.field("Bl_Shipper1"), QStringLiteral("EXPORTADORA SANTOS LTDA"));
    }

    void singleLineKeepsLimitAndCase()
    {
        Session s({fullBL(), otherBL()});
        s.w->SB_Inclusao->click();
        // "Santos" and "SANTOS" are one value once upper-cased, as the edit would type it.
        TDBEdit *loading = s.edit("Bl_LocalLoading");
        TCompletionPopup *p = s.w->completion(QStringLiteral("Bl_LocalLoading"));
        s.type(loading, QStringLiteral("s"));
        QCOMPARE(loading->text(), QStringLiteral("S"));
        QCOMPARE(shown(p), QStringList{QStringLiteral("SANTOS")});
        QTest::keyClick(loading, Qt::Key_Down);
        QTest::keyClick(loading, Qt::Key_Enter);
        QCOMPARE(s.field("Bl_LocalLoading"), QStringLiteral("SANTOS"));
        // The port edit takes the field's 20 characters; the destination edit only 17.
        TDBEdit *port = s.edit("Bl_PortDischarg");
        s.type(port, QStringLiteral("ham"));
        QCOMPARE(shown(s.w->completion(QStringLiteral("Bl_PortDischarg"))),
                 QStringList({QStringLiteral("HAMBURG"), QStringLiteral("HAMBURG-WALTERSHOF X")}));
        TDBEdit *dest = s.edit("Bl_FinalDestination");
        s.type(dest, QStringLiteral("sal"));
        QVERIFY(!s.w->completion(QStringLiteral("Bl_FinalDestination"))->isShown());
        s.type(s.edit("Bl_Gross2"), QStringLiteral("k"));
        QCOMPARE(shown(s.w->completion(QStringLiteral("Bl_Gross2"))), QStringList{QStringLiteral("KGS")});

        QCOMPARE(completion::offeredValues({QStringLiteral("kgs"), QStringLiteral("KGS")}, QStringLiteral("K"), 12, true),
                 QStringList{QStringLiteral("KGS")});
        // The one value left is what was typed: nothing to offer.
        QVERIFY(completion::offeredValues({QStringLiteral("M3")}, QStringLiteral("M3"), 12, true).isEmpty());
    }

    void confirmedPartyOfferedAtOnce()
    {
        Session s({fullBL()});
        s.w->SB_Inclusao->click();
        s.type(s.edit("Bl_Shipper1"), QStringLiteral("EXPRESSO NOVO"));
        s.type(s.edit("Bl_Shipper2"), QStringLiteral("RUA NOVA"));
        s.type(s.edit("Bl_AgentRef"), QStringLiteral("BK9"));
        s.w->SB_Grava->click();
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        s.w->SB_Inclusao->click();
        TDBEdit *first = s.edit("Bl_Shipper1");
        s.type(first, QStringLiteral("ex"));
        TCompletionPopup *p = s.w->completion(QStringLiteral("Bl_Shipper1"));
        QCOMPARE(shown(p).value(0), QStringLiteral("EXPRESSO NOVO\nRUA NOVA"));
        QCOMPARE(shown(p).size(), 2);
    }

    void newFromCurrent()
    {
        Session s({otherBL(), fullBL()});
        QCOMPARE(s.field("Bl_AgentRef"), QStringLiteral("BK1"));
        const QByteArray before = s.registerBytes();
        // The "Novo" button's menu carries the entry.
        QCOMPARE(s.w->SB_Inclusao->contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(s.w->PM_Inclusao->actions(), QList<QAction *>{s.w->MI_NovoDeste});
        QCOMPARE(s.w->MI_NovoDeste->text(), QStringLiteral("Novo a partir deste B/L"));

        QTest::keyClick(s.w.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(s.mode(), QStringLiteral("Inclusão"));
        QCOMPARE(s.w->PageControl1->currentIndex(), 0);
        QCOMPARE(QApplication::focusWidget(), s.edit("Bl_AgentRef"));
        const Row src = fullBL();
        for (const char *name : {"Bl_Shipper1", "Bl_Shipper2", "Bl_Shipper3", "Bl_Shipper5", "Bl_Cnee1", "Bl_Notify1",
                                 "Bl_LocalVessel", "Bl_LocalLoading", "Bl_PortDischarg", "Bl_FreightPayable",
                                 "Bl_FinalDestination", "Bl_Marks1", "Bl_Marks2", "Bl_Gross2", "Bl_Gross4",
                                 "Bl_Measu2"})
            QCOMPARE(s.field(name), std::get<QString>(src.value(QLatin1String(name))));
        QCOMPARE(s.w->memo(QStringLiteral("Bl_Marks1"))->fieldText(), QStringLiteral("N/M\r\nLOT 4711"));
        for (const char *name : {"Bl_AgentRef", "Bl_BillofLading", "Bl_ShipperRef", "Bl_Gross1", "Bl_Gross3",
                                 "Bl_Measu1", "Bl_DataRef"})
            QVERIFY2(s.field(name).isEmpty(), name);
        QVERIFY(s.edit("Bl_Gross1")->text().isEmpty());

        // Refused while a B/L is being entered, like "Novo": what was typed stays.
        QVERIFY(!s.w->MI_NovoDeste->isEnabled());
        s.type(s.edit("Bl_Shipper1"), QStringLiteral(" X"));
        QTest::keyClick(s.w.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        s.w->NovoDesteClick();
        QCOMPARE(s.edit("Bl_Shipper1")->text(), QStringLiteral("EXPORTADORA SANTOS LTDA X"));
        QCOMPARE(s.mode(), QStringLiteral("Inclusão"));

        // Cancel leaves the register as it was.
        s.w->SB_Cancela->click();
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        QCOMPARE(s.field("Bl_AgentRef"), QStringLiteral("BK1"));
        QCOMPARE(s.dm->Tbl_BLCliente->recordCount(), 2u);
        QCOMPARE(s.registerBytes(), before);
    }
};

QTEST_MAIN(TestCompletion)
#include "tst_completion.moc"
