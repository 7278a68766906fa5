// The B/L list window, opened from the entry window over real registers in temporary folders,
// driven by its control names; its questions are answered as they appear.

#include "BLRecord.h"
#include "DBControls.h"
#include "DBGrid.h"
#include "ModalHelper.h"
#include "MsgDlg.h"
#include "PxTable.h"
#include "RegisterRows.h"
#include "U_Calendario.h"
#include "U_DM_BL.h"
#include "U_Principal.h"
#include "U_Procura.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

using testregister::Row;
using testregister::makeRegister;
using testregister::registerPath;

// Booking number and first shipper line of every record, as another program reads them.
QStringList stored(const QString &dir)
{
    px::Table t(registerPath(dir), px::Table::Mode::ReadOnly);
    const int ref = t.fieldIndex(QStringLiteral("Bl_AgentRef"));
    const int shipper = t.fieldIndex(QStringLiteral("Bl_Shipper1"));
    QStringList out;
    for (auto pos = t.first(); pos; pos = t.next(*pos)) {
        const QVector<px::Value> v = t.readValues(*pos);
        out << std::get<QString>(v.at(ref)) + QLatin1Char('/') + std::get<QString>(v.at(shipper));
    }
    return out;
}

Row bl(const QString &booking, const QString &shipper)
{
    return {{QStringLiteral("Bl_AgentRef"), booking},
            {QStringLiteral("Bl_Shipper1"), shipper},
            {QStringLiteral("Bl_DataRef"), QDate(2009, 3, 6)}};
}

QList<Row> fourBLs()
{
    return {bl(QStringLiteral("B1"), QStringLiteral("ONE")), bl(QStringLiteral("B2"), QStringLiteral("TWO")),
            bl(QStringLiteral("B2"), QStringLiteral("TWIN")), bl(QStringLiteral("B4"), QStringLiteral("FOUR"))};
}

// The entry window over a register in a fresh folder, made as the program makes it.
struct Session
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<TF_Principal> w;
    std::unique_ptr<TDM_BL> dm;

    explicit Session(const QList<Row> &rows)
    {
        makeRegister(dir.path(), rows);
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
    Table *table() const { return dm->Tbl_BLCliente; }
    QString booking() const { return w->edit(QStringLiteral("Bl_AgentRef"))->text(); }
    QString shipper() const { return w->edit(QStringLiteral("Bl_Shipper1"))->text(); }

    // Opens the list window with "Procura", runs act on it while it is up, and returns once
    // it has closed. False when the window never came up or did not close.
    bool withList(const std::function<void(TF_Procura *)> &act)
    {
        QPointer<TF_Procura> seen;
        bool ran = false;
        auto watch = modaltest::whenModal([&](QWidget *m) {
            seen = qobject_cast<TF_Procura *>(m);
            if (!seen)
                return;
            ran = true;
            act(seen);
            // A window still up after act is closed with its button.
            if (seen && seen->isVisible())
                seen->BB_Fechar->click();
        });
        w->SB_Procura->click();
        return watch->acted && ran && !seen;  // deleted after closing
    }
};

// Answers the message dialogs as they come, with the planned buttons in order, and records
// what they said. A dialog beyond the plan is answered with OK and recorded too.
class Answers : public QObject
{
public:
    QStringList texts;
    QList<int> buttonCounts;

    explicit Answers(QList<TMsgDlgBtn> plan) : m_plan(std::move(plan))
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || w->objectName() != QLatin1String("MsgDlgWindow") || m_done.contains(w))
                return;
            m_done.append(w);
            auto *label = w->findChild<QLabel *>(QStringLiteral("Message"));
            texts << (label ? label->text() : QString());
            buttonCounts << int(w->findChildren<QPushButton *>().size());
            const TMsgDlgBtn b = m_plan.isEmpty() ? mbOK : m_plan.takeFirst();
            if (auto *button = w->findChild<QPushButton *>(TMsgDlg::buttonName(b)))
                button->click();
        });
        m_timer.start();
    }

private:
    QList<TMsgDlgBtn> m_plan;
    QList<QPointer<QWidget>> m_done;
    QTimer m_timer;
};

const QString FirstQuestion = QStringLiteral("Deleja deletar ref \"B2\"");
const QString SecondQuestion = QStringLiteral("Este BL será deletado DEFINITIVAMENTE!\r\rConfirma?");

} // namespace

class TestProcura : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void questionTexts()
    {
        QCOMPARE(procura::deleteQuestion(QStringLiteral("B2")), FirstQuestion);
        QCOMPARE(procura::deleteQuestion(QString()), QStringLiteral("Deleja deletar ref \"\""));
        QCOMPARE(procura::definitiveQuestion(), SecondQuestion);
    }

    void windowAsDesigned()
    {
        Session s(fourBLs());
        QVERIFY(s.withList([&](TF_Procura *f) {
            QCOMPARE(f->objectName(), QStringLiteral("F_Procura"));
            QCOMPARE(f->windowTitle(), QStringLiteral("Procura BL "));
            QCOMPARE(f->size(), QSize(780, 473));
            QCOMPARE(f->minimumSize(), f->maximumSize());
            QVERIFY(!(f->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint
                                          | Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint)));
            QCOMPARE(f->parentWidget(), s.w.get());
            QCOMPARE(f->Panel1->geometry(), QRect(0, 0, 780, 41));
            QCOMPARE(f->Label1->pos(), QPoint(16, 8));
            QCOMPARE(f->Label1->text(), QStringLiteral("Dê um duplo click em cima do BL desejado"));
            QCOMPARE(f->Label1->font().pixelSize(), 19);
            QVERIFY(f->Label1->font().bold());
            QCOMPARE(f->Label1->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            QCOMPARE(f->SB_Calendario->geometry(), QRect(496, 8, 25, 25));
            QCOMPARE(f->SB_Calendario->toolTip(), QStringLiteral("Calendário"));
            QCOMPARE(f->SB_Calendario->toolButtonStyle(), Qt::ToolButtonIconOnly);
            QVERIFY(!f->SB_Calendario->icon().isNull());
            QCOMPARE(f->SB_Calendario->focusPolicy(), Qt::NoFocus);
            QCOMPARE(f->BB_Delete->geometry(), QRect(584, 8, 113, 25));
            QCOMPARE(f->BB_Delete->text(), QStringLiteral("Delete"));
            QVERIFY(f->BB_Delete->font().bold());
            QCOMPARE(f->BB_Delete->toolTip(), QStringLiteral("Apaga BL selecionado"));
            QVERIFY(!f->BB_Delete->icon().isNull());
            QCOMPARE(f->BB_Fechar->geometry(), QRect(728, 4, 33, 33));
            QCOMPARE(f->BB_Fechar->toolTip(), QStringLiteral("Fechar"));
            QVERIFY(f->BB_Fechar->text().isEmpty());

            TDBGrid *g = f->DBGrid1;
            QCOMPARE(g->geometry(), QRect(8, 48, 769, 417));
            QCOMPARE(g->dataSource(), s.dm->DS_Cliente);
            const QStringList titles = {"Ref.", "Data Ref.", "Local Vessel", "From", "Port Discharg",
                                        "Shipper1", "Cnee1", "Notify1"};
            const QStringList fields = {"Bl_AgentRef", "Bl_DataRef", "Bl_LocalVessel", "Bl_LocalLoading",
                                        "Bl_PortDischarg", "Bl_Shipper1", "Bl_Cnee1", "Bl_Notify1"};
            QCOMPARE(g->model()->columnCount(), 8);
            for (int c = 0; c < 8; ++c) {
                QCOMPARE(g->model()->headerData(c, Qt::Horizontal).toString(), titles.at(c));
                QCOMPARE(g->gridModel()->field(c)->fieldName(), fields.at(c));
            }
            const QHeaderView *h = g->horizontalHeader();
            QVERIFY(h->font().bold());
            QCOMPARE(h->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
            const int digit = qRound(QFontMetricsF(g->font()).horizontalAdvance(QLatin1Char('0')));
            QCOMPARE(digit, 6);
            // Given widths, and the field's default: 20 characters of text, 10 for the date.
            const QList<int> widths = {112, 64, 124, 124, 124, 210, 210, 210};
            for (int c = 0; c < 8; ++c)
                QCOMPARE(h->sectionSize(c), widths.at(c));
            QVERIFY(g->model()->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHCenter);
            QCOMPARE(g->model()->index(0, 1).data().toString(), QStringLiteral("06/03/2009"));
            QVERIFY(g->model()->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
            // Rows in natural order, the entry window's record (the last) selected.
            QCOMPARE(g->model()->rowCount(), 4);
            QCOMPARE(g->model()->index(2, 5).data().toString(), QStringLiteral("TWIN"));
            QCOMPARE(g->selectedRow(), 3);
            QCOMPARE(f->focusWidget(), g);
        }));
    }

    void closingLeavesTheSelectedRowInTheEntryWindow()
    {
        Session s(fourBLs());
        QCOMPARE(s.booking(), QStringLiteral("B4"));
        QVERIFY(s.withList([&](TF_Procura *f) {
            QTest::keyClick(f->DBGrid1, Qt::Key_Up);
            QTest::keyClick(f->DBGrid1, Qt::Key_Up);
            // The entry window follows while the list is open: one cursor.
            QCOMPARE(s.shipper(), QStringLiteral("TWO"));
            f->BB_Fechar->click();
        }));
        QCOMPARE(s.shipper(), QStringLiteral("TWO"));
        QCOMPARE(s.table()->recNo(), 1);

        // The next opening starts on that record, and a double click on a row closes on it.
        QVERIFY(s.withList([&](TF_Procura *f) {
            QCOMPARE(f->DBGrid1->selectedRow(), 1);
            const QPoint onFirst = f->DBGrid1->visualRect(f->DBGrid1->model()->index(0, 0)).center();
            QTest::mouseClick(f->DBGrid1->viewport(), Qt::LeftButton, {}, onFirst);
            QTest::mouseDClick(f->DBGrid1->viewport(), Qt::LeftButton, {}, onFirst);
            QVERIFY(!f->isVisible());
        }));
        QCOMPARE(s.shipper(), QStringLiteral("ONE"));

        // A double click on the titles closes too; the record stays the one selected.
        QVERIFY(s.withList([&](TF_Procura *f) {
            QTest::keyClick(f->DBGrid1, Qt::Key_Down);
            QTest::mouseDClick(f->DBGrid1->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(30, 6));
            QVERIFY(!f->isVisible());
        }));
        QCOMPARE(s.shipper(), QStringLiteral("TWO"));

        // Escape does not close the window.
        QVERIFY(s.withList([&](TF_Procura *f) {
            QTest::keyClick(f->DBGrid1, Qt::Key_Escape);
            QVERIFY(f->isVisible());
        }));
    }

    void emptyRegisterDeletesSilently()
    {
        Session s({});
        QVERIFY(s.withList([&](TF_Procura *f) {
            QCOMPARE(f->DBGrid1->model()->rowCount(), 0);
            Answers answers({});
            // A question would have run inside the click, and been answered there.
            f->BB_Delete->click();
            QCOMPARE(answers.texts, QStringList());
            QCOMPARE(QApplication::activeModalWidget(), f);
            QVERIFY(f->isVisible());
        }));
        QCOMPARE(stored(s.dir.path()), QStringList());
    }

    void cancelAtEitherQuestionDeletesNothing()
    {
        Session s(fourBLs());
        const QStringList before = stored(s.dir.path());
        QVERIFY(s.withList([&](TF_Procura *f) {
            QTest::keyClick(f->DBGrid1, Qt::Key_Up);  // the twin B2
            {
                Answers answers({mbCancel});
                f->BB_Delete->click();
                QCOMPARE(answers.texts, QStringList{FirstQuestion});
                QCOMPARE(answers.buttonCounts, QList<int>{2});
                QCOMPARE(f->MsgDlg1->messageType(), mtConfirmation);
            }
            {
                Answers answers({mbOK, mbCancel});
                f->BB_Delete->click();
                QCOMPARE(answers.texts, (QStringList{FirstQuestion, SecondQuestion}));
                QCOMPARE(answers.buttonCounts, (QList<int>{2, 2}));
            }
            QCOMPARE(f->DBGrid1->model()->rowCount(), 4);
            QVERIFY(f->isVisible());
        }));
        QCOMPARE(stored(s.dir.path()), before);
    }

    void deletesOnlyTheSelectedOfTwoWithOneBookingNumber()
    {
        Session s(fourBLs());
        QVERIFY(s.withList([&](TF_Procura *f) {
            QTest::keyClick(f->DBGrid1, Qt::Key_Up);  // the twin B2, "TWIN"
            Answers answers({mbOK, mbOK});
            f->BB_Delete->click();
            QCOMPARE(answers.texts, (QStringList{FirstQuestion, SecondQuestion}));
            // The next record becomes current; the window stays open.
            QVERIFY(f->isVisible());
            QCOMPARE(f->DBGrid1->model()->rowCount(), 3);
            QCOMPARE(f->DBGrid1->selectedRow(), 2);
            QCOMPARE(s.shipper(), QStringLiteral("FOUR"));
        }));
        QCOMPARE(stored(s.dir.path()), (QStringList{"B1/ONE", "B2/TWO", "B4/FOUR"}));
    }

    void deletingTheLastAndTheOnlyRecord()
    {
        Session s({bl(QStringLiteral("A"), QStringLiteral("ALPHA")), bl(QStringLiteral("Z"), QStringLiteral("ZULU"))});
        QVERIFY(s.withList([&](TF_Procura *f) {
            QCOMPARE(f->DBGrid1->selectedRow(), 1);
            {
                Answers answers({mbOK, mbOK});
                f->BB_Delete->click();
                QCOMPARE(answers.texts.size(), 2);
                QCOMPARE(answers.texts.first(), QStringLiteral("Deleja deletar ref \"Z\""));
            }
            // The new last record is current.
            QCOMPARE(f->DBGrid1->model()->rowCount(), 1);
            QCOMPARE(f->DBGrid1->selectedRow(), 0);
            QCOMPARE(s.shipper(), QStringLiteral("ALPHA"));

            {
                Answers answers({mbOK, mbOK});
                f->BB_Delete->click();
                QCOMPARE(answers.texts.size(), 2);
            }
            QCOMPARE(f->DBGrid1->model()->rowCount(), 0);
            QCOMPARE(f->DBGrid1->selectedRow(), -1);
        }));
        QCOMPARE(stored(s.dir.path()), QStringList());
        // Back in the entry window every field is empty.
        QCOMPARE(s.booking(), QString());
        QCOMPARE(s.shipper(), QString());
        QCOMPARE(s.table()->state(), Table::State::Browse);
    }

    void calendarFromTheList()
    {
        Session s(fourBLs());
        QVERIFY(s.withList([&](TF_Procura *f) {
            QPointer<TF_Calendario> cal;
            QWidget *owner = nullptr;
            auto watch = modaltest::whenModal([&](QWidget *m) {
                cal = qobject_cast<TF_Calendario *>(m);
                owner = m->parentWidget();
                if (cal)
                    cal->BB_Fechar->click();
                else
                    m->close();
            });
            f->SB_Calendario->click();
            QVERIFY(watch->acted);
            QCOMPARE(owner, f);
            QVERIFY(!cal);  // deleted after closing
            QVERIFY(f->isVisible());
        }));
    }

    // Typing in the grid finds a booking number; the window's own keys keep their meaning.
    void typingInTheGridFindsABookingNumber()
    {
        Session s(fourBLs());
        QStringList seen;
        QVERIFY(s.withList([&](TF_Procura *f) {
            QLabel *label = f->LabelBusca;
            QWidget *grid = f->DBGrid1;
            QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
            QVERIFY(!label->isVisible());
            QTest::keyClicks(grid, QStringLiteral("b2"));
            seen << s.shipper();
            QVERIFY(label->isVisible());
            QVERIFY(label->text().endsWith(QLatin1String("b2")));
            const QColor normal = label->palette().color(label->foregroundRole());
            QTest::keyClick(grid, Qt::Key_F3);
            seen << s.shipper();
            QTest::keyClick(grid, Qt::Key_F3);  // round to the first match again
            seen << s.shipper();
            // No match: the record stays, the text turns red.
            QTest::keyClick(grid, Qt::Key_9);
            seen << s.shipper();
            QCOMPARE(label->palette().color(label->foregroundRole()), QColor(255, 0, 0));
            QTest::keyClick(grid, Qt::Key_Backspace);
            QCOMPARE(label->palette().color(label->foregroundRole()), normal);
            QVERIFY(label->text().endsWith(QLatin1String("b2")));
            // Escape clears the search and leaves the window open.
            QTest::keyClick(grid, Qt::Key_Escape);
            QVERIFY(!label->isVisible());
            QVERIFY(f->isVisible());
            // The grid's keys still move the record.
            QTest::keyClick(grid, Qt::Key_Down);
            seen << s.shipper();
            // A pause clears the search by itself.
            QTest::keyClicks(grid, QStringLiteral("B4"));
            seen << s.shipper();
            QVERIFY(label->isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(!label->isVisible(), 5000);
        }));
        QCOMPARE(seen, (QStringList{"TWO", "TWIN", "TWO", "TWO", "TWIN", "FOUR"}));
        // Closed on the last match: the entry window shows it.
        QCOMPARE(s.booking(), QStringLiteral("B4"));
    }
};

QTEST_MAIN(TestProcura)
#include "tst_procura.moc"
