// The entry window when the day's safety copy cannot be made: one message through the
// program's message dialog, and the B/L is confirmed all the same.

#include "DBControls.h"
#include "MsgDlg.h"
#include "PxTestUtil.h"
#include "RegisterRows.h"
#include "SafetyCopyNotice.h"
#include "StatusBar.h"
#include "U_DM_BL.h"
#include "U_Principal.h"
#include "paradox/PxFile.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cerrno>

class TestSafetyCopyNotice : public QObject
{
    Q_OBJECT

private slots:
    void toldOnceAndTheChangeIsPosted()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QTemporaryDir dir;
        testregister::makeRegister(dir.path(), {{{QStringLiteral("Bl_AgentRef"), QStringLiteral("BK1")}}});
        const QString reg = testregister::registerPath(dir.path());
        const QString folder = QDir(dir.path()).filePath(QStringLiteral("Cópias de segurança"));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        px::io::setHook([folder](const px::io::Event &e) { return e.path.startsWith(folder) ? ENOSPC : 0; });

        // Every message dialog that shows, answered with OK.
        QStringList seen;
        QTimer answer;
        answer.setInterval(5);
        connect(&answer, &QTimer::timeout, this, [&] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || w->objectName() != QLatin1String("MsgDlgWindow"))
                return;
            seen << w->windowTitle() + u'|' + w->findChild<QLabel *>(QStringLiteral("Message"))->text();
            w->findChild<QPushButton *>(TMsgDlg::buttonName(mbOK))->click();
        });
        answer.start();

        QDate today(2027, 3, 1);
        {
            TF_Principal w;
            TDM_BL dm;
            blapp::installSafetyCopyNotice(dm, w);
            dm.safetyCopy().setClock([&] { return today; });
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            const auto confirmShipper = [&](const QString &text) {
                w.SB_Edit->click();
                TDBEdit *e = w.findChild<TDBEdit *>(QStringLiteral("Bl_Shipper1"));
                e->setFocus(Qt::MouseFocusReason);
                e->selectAll();
                QTest::keyClicks(e, text);
                w.SB_Grava->click();
            };
            confirmShipper(QStringLiteral("PRIMEIRO"));
            QTRY_COMPARE(seen.size(), 1);
            QVERIFY2(seen[0].startsWith(u"Atenção|Não foi possível fazer a cópia de segurança de hoje"), qPrintable(seen[0]));
            QVERIFY(seen[0].contains(u"não há espaço livre no disco"));
            QCOMPARE(w.StatusBar1->panelText(5), QStringLiteral("Visualizar"));

            confirmShipper(QStringLiteral("SEGUNDO"));
            QCOMPARE(w.StatusBar1->panelText(5), QStringLiteral("Visualizar"));
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            QCOMPARE(seen.size(), 1);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());

            px::io::setHook({});
            today = today.addDays(1);
            confirmShipper(QStringLiteral("TERCEIRO"));
            QVERIFY(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("BlCorvane-2027-03-02.DB"))));
            QCoreApplication::processEvents();
            QCOMPARE(seen.size(), 1);
            dm.Tbl_BLCliente->close();
        }
        QDir::setCurrent(previous);
        px::Table t(reg, px::Table::Mode::ReadOnly);
        QCOMPARE(t.recordCount(), 1u);
        QVERIFY(pxtest::sameText(t.readValues(*t.first()).at(0), QStringLiteral("TERCEIRO")));
    }
};

QTEST_MAIN(TestSafetyCopyNotice)

#include "tst_safetycopynotice.moc"
