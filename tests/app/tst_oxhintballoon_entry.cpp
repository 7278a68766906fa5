// The entry window's balloon hint component: its settings, and the balloons it brings to the
// entry window's and the list window's buttons while it exists.

#include "ModalHelper.h"
#include "OxHintBalloon.h"
#include "RegisterRows.h"
#include "U_DM_BL.h"
#include "U_Principal.h"
#include "U_Procura.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

TOxHintBalloonWindow *balloonWindow()
{
    return qobject_cast<TOxHintBalloonWindow *>(ApplicationHints::hintWindow());
}

bool balloonShows(const QString &hint)
{
    TOxHintBalloonWindow *w = balloonWindow();
    return w && w->isVisible() && w->lines() == QStringList{hint};
}

} // namespace

class TestOxHintBalloonEntry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void entryWindowBalloons()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        testregister::makeRegister(dir.path(), {{{QStringLiteral("Bl_AgentRef"), QStringLiteral("B1")}}});
        QDir::setCurrent(dir.path());
        auto w = std::make_unique<TF_Principal>();
        auto dm = std::make_unique<TDM_BL>();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));

        TOxHintBalloon *b = w->findChild<TOxHintBalloon *>(QStringLiteral("OxHintBalloon1"));
        QVERIFY(b);
        QCOMPARE(b, w->OxHintBalloon1);
        QCOMPARE(b->color(), TOxHintBalloon::infoBackground());
        QCOMPARE(b->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(b->font().pixelSize(), 11);
        QVERIFY(b->font().bold());
        QCOMPARE(b->fontColor(), QApplication::palette().color(QPalette::WindowText));
        QCOMPARE(b->hintPause(), quint16(5000));
        QCOMPARE(b->hintTime(), quint16(500));
        QCOMPARE(b->lineSeparator(), QLatin1Char('&'));
        QCOMPARE(ApplicationHints::showDelay(), 500);
        QCOMPARE(ApplicationHints::hidePause(), 2500);

        QTest::mouseMove(w->SB_Inclusao, QPoint(40, 12));
        QCOMPARE(ApplicationHints::showWaitMs(), 500);
        QTRY_VERIFY_WITH_TIMEOUT(balloonShows(QStringLiteral("Incluir Novo BL")), 30000);
        QCOMPARE(ApplicationHints::hideWaitMs(), 2500);

        // The list window's buttons, while it runs modally. The offscreen platform hands a
        // pointer move to the first window under it, so the entry window, which the modal
        // window blocks, moves out of the way first.
        w->move(0, 560);
        bool sawDelete = false;
        bool sawFechar = false;
        auto watch = modaltest::whenModal([&](QWidget *m) {
            auto *f = qobject_cast<TF_Procura *>(m);
            if (!f)
                return;
            QTest::mouseMove(f->BB_Delete, QPoint(20, 10));
            sawDelete = QTest::qWaitFor([] { return balloonShows(QStringLiteral("Apaga BL selecionado")); }, 30000);
            QTest::mouseMove(f->BB_Fechar, QPoint(10, 10));
            sawFechar = QTest::qWaitFor([] { return balloonShows(QStringLiteral("Fechar")); }, 30000);
            f->BB_Fechar->click();
        });
        w->SB_Procura->click();
        QVERIFY(watch->acted);
        QVERIFY(sawDelete);
        QVERIFY(sawFechar);

        // The entry window gone, its component goes and tooltips are plain again.
        w.reset();
        dm.reset();
        QDir::setCurrent(previous);
        QVERIFY(ApplicationHints::windowClass() == nullptr);
        QCOMPARE(ApplicationHints::hintWindow(), nullptr);
    }
};

QTEST_MAIN(TestOxHintBalloonEntry)
#include "tst_oxhintballoon_entry.moc"
