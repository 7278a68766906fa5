// The calendar window: the word date, the window as designed for a pinned today, year
// stepping, and opening it from the entry window in the middle of an insertion.

#include "BLRecord.h"
#include "DBControls.h"
#include "DRYearCal.h"
#include "ModalHelper.h"
#include "PxTable.h"
#include "U_Calendario.h"
#include "U_DM_BL.h"
#include "U_Principal.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

QDate pinnedToday(2026, 12, 6);

const QLocale Brazil(QLocale::Portuguese, QLocale::Brazil);

} // namespace

class TestCalendario : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        TDRYearCal::setClock([] { return pinnedToday; });
    }
    void init()
    {
        QLocale::setDefault(Brazil);
        pinnedToday = QDate(2026, 12, 6);
    }

    void wordDate()
    {
        QCOMPARE(calendario::wordDate(QDate(2026, 12, 6), Brazil), QStringLiteral(" domingo, 6  de dezembro de 2026"));
        QCOMPARE(calendario::wordDate(QDate(2026, 12, 31), Brazil),
                 QStringLiteral(" quinta-feira, 31  de dezembro de 2026"));
        QCOMPARE(calendario::wordDate(QDate(2027, 1, 1), Brazil), QStringLiteral(" sexta-feira, 1  de janeiro de 2027"));
        QCOMPARE(calendario::wordDate(QDate(2026, 3, 9), QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral(" Monday, 9  de March de 2026"));
    }

    void windowAsDesigned()
    {
        TF_Calendario f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.objectName(), QStringLiteral("F_Calendario"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Calendário"));
        QCOMPARE(f.size(), QSize(599, 372));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint
                                     | Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint)));
        QCOMPARE(f.Panel1->geometry(), QRect(0, 0, 599, 41));
        struct Button
        {
            QAbstractButton *button;
            QRect geometry;
            const char *hint;
        };
        for (const Button &b : {Button{f.SB_Anterior, {16, 8, 25, 25}, "Ano Anterior."},
                                Button{f.SB_Atual, {40, 8, 49, 25}, "Ano Atual."},
                                Button{f.SB_Proximo, {88, 8, 25, 25}, "Próximo Ano."},
                                Button{f.BB_Fechar, {560, 4, 33, 33}, "Fechar"}}) {
            QCOMPARE(b.button->geometry(), b.geometry);
            QCOMPARE(b.button->toolTip(), QString::fromUtf8(b.hint));
        }
        QVERIFY(!f.SB_Anterior->icon().isNull());
        QVERIFY(!f.SB_Proximo->icon().isNull());
        QVERIFY(!f.BB_Fechar->icon().isNull());
        QCOMPARE(f.SB_Atual->focusPolicy(), Qt::NoFocus);

        // Filled for today as the window got its size.
        QCOMPARE(f.Label1->pos(), QPoint(150, 14));
        QCOMPARE(f.Label1->text(), QStringLiteral(" domingo, 6  de dezembro de 2026"));
        QCOMPARE(f.Label1->font().pixelSize(), 13);
        QVERIFY(f.Label1->font().bold());
        QCOMPARE(f.Label1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(f.SB_Atual->text(), QStringLiteral("2026"));
        QCOMPARE(f.DRYearCal2->year(), 2026);
        QTRY_COMPARE(f.focusWidget(), f.BB_Fechar);

        // The scroll box fills the rest, without scroll bars, the calendar at its corner.
        QCOMPARE(f.ScrollBox1->geometry(), QRect(0, 41, 599, 331));
        QCOMPARE(f.ScrollBox1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(f.ScrollBox1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        TDRYearCal *c = f.DRYearCal2;
        QCOMPARE(c->pos(), QPoint(0, 0));
        QCOMPARE(c->size(), QSize(596, 336));
        QVERIFY(c->displayYear());
        QVERIFY(c->ctl3D());
        QVERIFY(c->lines());
        QCOMPARE(c->border(), boLowered);
        QCOMPARE(c->color(), f.palette().color(QPalette::HighlightedText));
        QCOMPARE(c->fontColor(), QColor(0, 0, 0));
        QCOMPARE(c->monthColor(), QColor(0, 0, 128));
        QCOMPARE(c->saturdayColor(), QColor(0, 0, 0));
        QCOMPARE(c->sundayColor(), QColor(255, 0, 0));
        QCOMPARE(c->weekColor(), QColor(128, 0, 0));
        QCOMPARE(c->curDayColor(), QColor(255, 0, 255));
        QCOMPARE(c->lineColor(), QColor(0, 0, 0));
        QCOMPARE(c->vertDayGap(), 0);
        QCOMPARE(c->horzDayGap(), 8);
        QCOMPARE(c->vertMonthGap(), 8);
        QCOMPARE(c->horzMonthGap(), 10);
        QCOMPARE(c->numColumns(), 4);
        QCOMPARE(c->font().pixelSize(), 11);
    }

    void yearStepping()
    {
        TF_Calendario f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.SB_Anterior->click();
        QCOMPARE(f.DRYearCal2->year(), 2025);
        f.SB_Proximo->click();
        f.SB_Proximo->click();
        QCOMPARE(f.DRYearCal2->year(), 2027);
        QCOMPARE(f.SB_Atual->text(), QStringLiteral("2026"));
        f.SB_Atual->click();
        QCOMPARE(f.DRYearCal2->year(), 2026);
        QCOMPARE(f.SB_Atual->text(), QStringLiteral("2026"));
        // Below 100 a year is taken as 1900 plus it.
        f.DRYearCal2->setYear(101);
        f.SB_Anterior->click();
        QCOMPARE(f.DRYearCal2->year(), 100);
        f.SB_Anterior->click();
        QCOMPARE(f.DRYearCal2->year(), 1999);
        QCOMPARE(f.SB_Atual->text(), QStringLiteral("2026"));
        f.BB_Fechar->click();
        QVERIFY(!f.isVisible());
    }

    void newYearsEveAndDay()
    {
        pinnedToday = QDate(2026, 12, 31);
        {
            TF_Calendario f;
            f.show();
            QVERIFY(QTest::qWaitForWindowExposed(&f));
            QCOMPARE(f.DRYearCal2->year(), 2026);
            QCOMPARE(f.Label1->text(), QStringLiteral(" quinta-feira, 31  de dezembro de 2026"));
        }
        pinnedToday = QDate(2027, 1, 1);
        TF_Calendario f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.DRYearCal2->year(), 2027);
        QCOMPARE(f.SB_Atual->text(), QStringLiteral("2027"));
        QCOMPARE(f.Label1->text(), QStringLiteral(" sexta-feira, 1  de janeiro de 2027"));
    }

    void openingDuringAnInsertionLeavesItAlone()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        {
            const QString path = QDir(dir.path()).filePath(QString::fromLatin1(blrecord::RegisterFile));
            px::Table::create(path, blrecord::registerFields());
        }
        QDir::setCurrent(dir.path());
        {
            auto window = std::make_unique<TF_Principal>();
            auto module = std::make_unique<TDM_BL>();
            TF_Principal &w = *window;
            TDM_BL &dm = *module;
            w.show();
            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            w.SB_Inclusao->click();
            TDBEdit *shipper = w.edit(QStringLiteral("Bl_Shipper1"));
            QTest::keyClicks(shipper, QStringLiteral("HALF TYPED"));
            QVERIFY(w.SB_Calendario->isEnabled());

            QPointer<TF_Calendario> cal;
            QWidget *owner = nullptr;
            int year = 0;
            auto watch = modaltest::whenModal([&](QWidget *m) {
                cal = qobject_cast<TF_Calendario *>(m);
                owner = m->parentWidget();
                if (cal) {
                    cal->SB_Proximo->click();
                    year = cal->DRYearCal2->year();
                    cal->BB_Fechar->click();
                } else {
                    m->close();
                }
            });
            w.SB_Calendario->click();
            QVERIFY(watch->acted);
            QCOMPARE(owner, &w);
            QCOMPARE(year, 2027);
            QVERIFY(!cal);  // deleted after closing
            QCOMPARE(dm.Tbl_BLCliente->state(), Table::State::Insert);
            QCOMPARE(shipper->text(), QStringLiteral("HALF TYPED"));
            QCOMPARE(dm.Tbl_BLCliente->recordCount(), 0u);

            // A new opening starts afresh at the current year.
            watch = modaltest::whenModal([&](QWidget *m) {
                cal = qobject_cast<TF_Calendario *>(m);
                year = cal ? cal->DRYearCal2->year() : 0;
                m->close();
            });
            w.SB_Calendario->click();
            QVERIFY(watch->acted);
            QCOMPARE(year, 2026);
            w.SB_Cancela->click();
            window.reset();  // the window goes before the data module, as in the program
        }
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(TestCalendario)
#include "tst_calendario.moc"
