// The desktop's keyboard habits in the program's windows: Enter presses the focused push
// button, the dialogs' default buttons keep their meaning, the print dialogs' tab order, and
// the busy cursor while the engine waits for a lock. Run with the program's application object.

#include "BLApplication.h"
#include "DBGrid.h"
#include "EnterPressesButton.h"
#include "ModalHelper.h"
#include "PxTable.h"
#include "RegisterRows.h"
#include "U_Calendario.h"
#include "U_CopiasPrint.h"
#include "U_DM_BL.h"
#include "U_PortaImpressora.h"
#include "U_Principal.h"
#include "U_Procura.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

using testregister::Row;

QList<Row> twoBLs()
{
    return {{{QStringLiteral("Bl_AgentRef"), QStringLiteral("B1")}},
            {{QStringLiteral("Bl_AgentRef"), QStringLiteral("B2")}}};
}

// The entry window over a register in a fresh folder.
struct Session
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<TF_Principal> w;
    std::unique_ptr<TDM_BL> dm;

    Session()
    {
        testregister::makeRegister(dir.path(), twoBLs());
        QDir::setCurrent(dir.path());
        w = std::make_unique<TF_Principal>();
        dm = std::make_unique<TDM_BL>();
        w->show();
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w.get()))
            qWarning("the entry window did not become active");
    }
    ~Session()
    {
        w.reset();
        dm.reset();
        QDir::setCurrent(previousDir);
    }
};

// The name of the widget that has the keyboard focus.
QString focused()
{
    QWidget *f = QApplication::focusWidget();
    return f ? f->objectName() : QString();
}

} // namespace

class TestKeyboard : public QObject
{
    Q_OBJECT
private slots:
    void enterClosesTheCalendarFromItsFechar()
    {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            TF_Calendario calendar;
            bool focusWasOnFechar = false, closedByKey = false;
            auto watch = modaltest::whenModal(
                [&](QWidget *w) {
                    auto *c = qobject_cast<TF_Calendario *>(w);
                    focusWasOnFechar = c && c->BB_Fechar->hasFocus();
                    QTest::keyClick(QApplication::focusWidget(), key);
                    closedByKey = !w->isVisible();
                    if (!closedByKey)
                        w->close();
                },
                {10000, 5, true});
            calendar.exec();
            QVERIFY(watch->acted);
            QVERIFY(focusWasOnFechar);
            QVERIFY(closedByKey);
        }
    }

    void enterOnTheListsButtons()
    {
        Session s;
        // "Fechar" with the focus: Enter closes the list, the selected row stays current.
        auto watch = modaltest::whenModal(
            [](QWidget *w) {
                auto *list = qobject_cast<TF_Procura *>(w);
                QTest::keyClick(list->DBGrid1, Qt::Key_Up);
                list->BB_Fechar->setFocus(Qt::TabFocusReason);
                QTest::keyClick(list->BB_Fechar, Qt::Key_Return);
                if (list->isVisible()) {
                    QTest::qFail("Enter did not press Fechar", __FILE__, __LINE__);
                    list->close();
                }
            },
            {10000, 5, true});
        s.w->SB_Procura->click();
        QVERIFY(watch->acted);
        QVERIFY(!watch->window);
        QCOMPARE(s.dm->Tbl_BLCliente->fieldByName(QStringLiteral("Bl_AgentRef"))->asString(), QStringLiteral("B1"));

        // Enter in the grid presses no button: the list stays up and nothing is deleted.
        bool stayed = false;
        watch = modaltest::whenModal(
            [&](QWidget *w) {
                auto *list = qobject_cast<TF_Procura *>(w);
                list->DBGrid1->setFocus();
                QTest::keyClick(list->DBGrid1, Qt::Key_Return);
                stayed = list->isVisible();
                list->BB_Fechar->click();
            },
            {10000, 5, true});
        s.w->SB_Procura->click();
        QVERIFY(watch->acted);
        QVERIFY(stayed);
        QCOMPARE(s.dm->Tbl_BLCliente->recordCount(), 2);
    }

    void enterOnTheEntryWindowsFechar()
    {
        Session s;
        s.w->BB_Fechar->setFocus(Qt::TabFocusReason);
        QVERIFY(s.w->BB_Fechar->hasFocus());
        QTest::keyClick(s.w->BB_Fechar, Qt::Key_Return);
        QVERIFY(!s.w->isVisible());
    }

    void filterLeavesDefaultButtonsAndOtherKeysToQt()
    {
        QPushButton plain, autoDefault, modified;
        autoDefault.setAutoDefault(true);
        for (QPushButton *b : {&plain, &autoDefault, &modified})
            b->show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        const QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        const QKeyEvent keypad(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier);
        const QKeyEvent ctrl(QEvent::KeyPress, Qt::Key_Return, Qt::ControlModifier);
        const QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
        plain.activateWindow();
        plain.setFocus();
        QTRY_VERIFY(plain.hasFocus());
        QVERIFY(TEnterPressesButton::handles(&plain, &enter));
        QVERIFY(TEnterPressesButton::handles(&plain, &keypad));
        QVERIFY(!TEnterPressesButton::handles(&plain, &ctrl));
        QVERIFY(!TEnterPressesButton::handles(&plain, &letter));
        // A button without the focus, or one Qt presses itself, is left alone.
        QVERIFY(!TEnterPressesButton::handles(&modified, &enter));
        autoDefault.activateWindow();
        autoDefault.setFocus();
        QTRY_VERIFY(autoDefault.hasFocus());
        QVERIFY(!TEnterPressesButton::handles(&autoDefault, &enter));
        // Pressed once, not twice, through the filter or through Qt.
        int clicks = 0;
        connect(&autoDefault, &QPushButton::clicked, this, [&] { ++clicks; });
        QTest::keyClick(&autoDefault, Qt::Key_Return);
        QCOMPARE(clicks, 1);
    }

    void copiesDialogKeysAndTabOrder()
    {
        // Tab goes BB_OK, BB_Cancela, SpinEdit1 and round again, with no stop in between.
        {
            TF_CopiasPrint dialog;
            QStringList order;
            auto watch = modaltest::whenModal(
                [&](QWidget *) {
                    dialog.BB_OK->setFocus(Qt::TabFocusReason);
                    for (int i = 0; i < 4; ++i) {
                        order << focused();
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                    }
                    dialog.reject();
                },
                {10000, 5, true});
            dialog.exec();
            QVERIFY(watch->acted);
            QCOMPARE(order, (QStringList{"BB_OK", "BB_Cancela", "SpinEdit1", "BB_OK"}));
        }
        // Enter in the number field confirms through the default button.
        {
            TF_CopiasPrint dialog;
            auto watch = modaltest::whenModal(
                [&](QWidget *) {
                    dialog.SpinEdit1->setFocus(Qt::TabFocusReason);
                    dialog.SpinEdit1->selectAll();
                    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("3"));
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                },
                {10000, 5, true});
            QCOMPARE(dialog.exec(), int(QDialog::Accepted));
            QVERIFY(watch->acted);
            QCOMPARE(CopiasImpressao, 3);
            CopiasImpressao = 0;
        }
        // Enter on a focused "Cancela" cancels.
        {
            TF_CopiasPrint dialog;
            auto watch = modaltest::whenModal(
                [&](QWidget *) {
                    dialog.BB_Cancela->setFocus(Qt::TabFocusReason);
                    QTest::keyClick(dialog.BB_Cancela, Qt::Key_Return);
                },
                {10000, 5, true});
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QVERIFY(watch->acted);
            QCOMPARE(CopiasImpressao, 0);
        }
    }

    void printDialogTabOrder()
    {
        Session s;  // the dialog's line breakers read the register
        TF_PortaImpressora dialog;
        QStringList order;
        auto watch = modaltest::whenModal(
            [&](QWidget *) {
                dialog.BB_OK->setFocus(Qt::TabFocusReason);
                for (int i = 0; i < 3; ++i) {
                    order << focused();
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                }
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
                order << focused();
                dialog.BB_Cancela->setFocus(Qt::TabFocusReason);
                QTest::keyClick(dialog.BB_Cancela, Qt::Key_Return);  // closes without printing
            },
            {10000, 5, true});
        dialog.exec();
        QVERIFY(watch->acted);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(order, (QStringList{"BB_OK", "BB_Cancela", "BB_OK", "BB_OK"}));
    }

    // Another program holds the register's write lock for a while: the engine's wait shows
    // the busy cursor, which goes once the lock is free.
    void busyCursorWhileTheEngineWaitsForALock()
    {
        QTemporaryDir dir;
        testregister::makeRegister(dir.path(), twoBLs());
        const QString path = testregister::registerPath(dir.path());
        px::Table reader(path, px::Table::Mode::Shared);
        // The other program: its own open of the file, holding the byte writers lock.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        QVERIFY(fd >= 0);
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = 0x80000001LL;
        fl.l_len = 1;
        QCOMPARE(::fcntl(fd, F_OFD_SETLK, &fl), 0);

        static QList<int> shapes;
        shapes.clear();
        // The program's own hook, watched from inside the wait.
        px::setLockWaitHook([](bool waiting) {
            blapp::lockWaitCursor(waiting);
            const QCursor *c = QGuiApplication::overrideCursor();
            shapes << (c ? int(c->shape()) : -1);
        });
        std::thread release([fd] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::close(fd);
        });
        bool read = false;
        try {
            read = reader.first().has_value();
        } catch (const DataError &) {
        }
        release.join();
        px::setLockWaitHook(&blapp::lockWaitCursor);
        QVERIFY(read);
        QCOMPARE(shapes, (QList<int>{int(Qt::WaitCursor), -1}));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
};

int main(int argc, char **argv)
{
    BLApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    TestKeyboard t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_keyboard.moc"
