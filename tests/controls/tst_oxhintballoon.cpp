// The balloon hint component, its window and the application's hint machinery: what a
// component takes over and gives back, the balloon shown, the drop-down rule and the timing.

#include "OxHintBalloon.h"
#include "OxHintBalloonShape.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {

// True when a tooltip request reaches w, i.e. Qt would show its plain tooltip.
bool tooltipReaches(QWidget *w)
{
    struct Counter : QObject {
        int n = 0;
        bool eventFilter(QObject *, QEvent *e) override { n += e->type() == QEvent::ToolTip; return false; }
    } counter;
    w->installEventFilter(&counter);
    QHelpEvent e(QEvent::ToolTip, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w, &e);
    w->removeEventFilter(&counter);
    return counter.n == 1;
}

// As the entry window sets up its own.
std::unique_ptr<TOxHintBalloon> entryWindowBalloon()
{
    auto b = std::make_unique<TOxHintBalloon>();
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(true);
    b->setFont(f, Qt::black);
    b->setHintPause(5000);
    b->setHintTime(500);
    return b;
}

TOxHintBalloonWindow *shownBalloon() { return qobject_cast<TOxHintBalloonWindow *>(ApplicationHints::hintWindow()); }
bool balloonUp() { return shownBalloon() && shownBalloon()->isVisible(); }

// The balloon window's shows and hides, and the waits running at each: the machinery's
// timings are checked as the waits it starts, never by the clock.
struct ShowHideWatch : QObject {
    int shown = 0, hidden = 0;
    ShowHideWatch() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o->objectName() != QLatin1String("OxHintBalloonWindow"))
            return false;
        if (e->type() == QEvent::Show)
            ++shown;
        if (e->type() == QEvent::Hide)
            ++hidden;
        return false;
    }
};

} // namespace

class TestOxHintBalloon : public QObject
{
    Q_OBJECT
    std::unique_ptr<QWidget> m_window;
    QPushButton *m_button = nullptr;
    QLabel *m_plain = nullptr;

    // Qt drops a move to where the pointer already is: go by the plain label first.
    void hover(QWidget *w, QPoint pos)
    {
        if (QCursor::pos() == w->mapToGlobal(pos))
            QTest::mouseMove(m_plain, QPoint(5, 5));
        QTest::mouseMove(w, pos);
    }

private slots:
    void init()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        QVERIFY(ApplicationHints::windowClass() == nullptr);
        ApplicationHints::setShowDelay(ApplicationHints::DefaultShowDelay);
        ApplicationHints::setHidePause(ApplicationHints::DefaultHidePause);
        m_window = std::make_unique<QWidget>();
        m_window->setGeometry(200, 300, 300, 200);
        m_button = new QPushButton(QStringLiteral("Novo"), m_window.get());
        m_button->setGeometry(20, 20, 97, 25);
        m_button->setToolTip(QStringLiteral("Incluir Novo BL"));
        m_plain = new QLabel(QStringLiteral("sem dica"), m_window.get());
        m_plain->setGeometry(20, 120, 100, 20);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void designTimeChangesNothing()
    {
        ApplicationHints::setShowDelay(700);
        {
            TOxHintBalloon b(nullptr, true);
            QCOMPARE(b.color(), TOxHintBalloon::infoBackground());
            QCOMPARE(b.font(), QApplication::font());
            QCOMPARE(b.hintPause(), quint16(5000));
            QCOMPARE(b.hintTime(), quint16(500));
            QCOMPARE(b.lineSeparator(), QLatin1Char('&'));
            b.setHintTime(100);
            b.setHintPause(100);
            QVERIFY(ApplicationHints::windowClass() == nullptr);
            QCOMPARE(TOxHintBalloon::active(), nullptr);
            QVERIFY(tooltipReaches(m_button));
        }
        QCOMPARE(ApplicationHints::showDelay(), 700);
        QCOMPARE(ApplicationHints::hidePause(), 2500);
    }

    void runTimeTakesOverAndGivesBack()
    {
        ApplicationHints::setShowDelay(700);
        ApplicationHints::setHidePause(3000);
        auto b = std::make_unique<TOxHintBalloon>();
        QVERIFY(ApplicationHints::windowClass() == &TOxHintBalloonWindow::create);
        QCOMPARE(TOxHintBalloon::active(), b.get());
        QCOMPARE(ApplicationHints::showDelay(), 500);   // its HintTime
        QCOMPARE(ApplicationHints::hidePause(), 3000);  // left alone
        QVERIFY(!tooltipReaches(m_button));

        // Equal values change nothing; others go to the application.
        ApplicationHints::setShowDelay(800);
        b->setHintTime(500);
        b->setHintPause(5000);
        QCOMPARE(ApplicationHints::showDelay(), 800);
        QCOMPARE(ApplicationHints::hidePause(), 3000);
        b->setHintTime(10);
        b->setHintPause(4000);
        QCOMPARE(ApplicationHints::showDelay(), 10);
        QCOMPARE(ApplicationHints::hidePause(), 4000);

        // Gone with a balloon up: the balloon goes too, and tooltips are plain again.
        hover(m_button, QPoint(30, 10));
        QTRY_VERIFY(balloonUp());
        QPointer<THintWindow> window = ApplicationHints::hintWindow();
        b.reset();
        QVERIFY(window.isNull());
        QVERIFY(ApplicationHints::windowClass() == nullptr);
        QVERIFY(tooltipReaches(m_button));
    }

    // When a second component goes, the first is in force again, never one that is gone.
    void secondComponent()
    {
        auto first = std::make_unique<TOxHintBalloon>();
        first->setColor(QColor(200, 255, 200));
        auto second = std::make_unique<TOxHintBalloon>();
        QCOMPARE(TOxHintBalloon::active(), second.get());
        second.reset();
        QCOMPARE(TOxHintBalloon::active(), first.get());
        ApplicationHints::setShowDelay(10);
        hover(m_button, QPoint(30, 10));
        QTRY_VERIFY(balloonUp());
        const QImage &img = TOxHintBalloonWindow::balloonImage();
        QCOMPARE(img.pixel(img.width() - 4, 12), QColor(200, 255, 200).rgb());
    }

    // The window shows what the plain functions compute, on top, without taking the focus.
    void showBalloon()
    {
        auto b = entryWindowBalloon();
        m_window->activateWindow();
        m_button->setFocus();
        QTRY_VERIFY(m_window->isActiveWindow());

        TOxHintBalloonWindow window;
        const QPoint anchor(500, 600);
        window.ShowBalloon(QRect(anchor, QSize(1, 1)), QStringLiteral("Copia BL para - &BL010309.DB"));
        QVERIFY(window.isVisible() && window.shown());
        QCOMPARE(window.lines(), (QStringList{"Copia BL para - ", "BL010309.DB"}));
        const QImage &img = TOxHintBalloonWindow::balloonImage();
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        QCOMPARE(window.geometry(), balloon::placeBalloon(anchor, img.size(), desktop).rect);
        QCOMPARE(window.mask(), balloon::balloonRegion(img, 1, 1));
        QCOMPARE(window.grab().toImage().pixelColor(img.width() - 4, 12), b->color());
        QVERIFY(window.windowFlags().testFlags(Qt::ToolTip | Qt::FramelessWindowHint
                                               | Qt::WindowDoesNotAcceptFocus));
        QVERIFY(window.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(m_window->isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), m_button);

        // At the desktop's top right corner: to the left and below, tail top right.
        window.ShowBalloon(QRect(desktop.right() - 3, desktop.top() + 10, 0, 0), QStringLiteral("Fechar"));
        QCOMPARE(window.horizontalDirection(), -1);
        QCOMPARE(window.verticalDirection(), -1);
        QCOMPARE(window.geometry().right(), desktop.right() - 4);
        QVERIFY(window.mask().contains(QPoint(window.width() - 15, 20)));
    }

    // Over a drop-down list, a balloon that is up stays as it is; with none up one shows.
    void dropDownRule()
    {
        auto b = entryWindowBalloon();
        auto *combo = new QComboBox(m_window.get());
        combo->addItems({"Santos", "Rio Grande"});
        combo->setGeometry(150, 20, 120, 22);
        combo->show();
        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        QCursor::setPos(combo->view()->viewport()->mapToGlobal(QPoint(10, 5)));
        QTRY_VERIFY(balloon::isDropDownList(QApplication::widgetAt(QCursor::pos())));

        TOxHintBalloonWindow window;   // shown well away from the list
        window.ShowBalloon(QRect(40, 700, 0, 0), QStringLiteral("Porto"));
        QVERIFY(window.isVisible());
        const QRect first = window.geometry();
        window.ShowBalloon(QRect(40, 760, 0, 0), QStringLiteral("Porto de&Destino"));
        QCOMPARE(window.lines(), QStringList{"Porto"});
        QCOMPARE(window.geometry(), first);

        combo->hidePopup();
        QCursor::setPos(m_plain->mapToGlobal(QPoint(5, 5)));
        QTRY_VERIFY(!balloon::isDropDownList(QApplication::widgetAt(QCursor::pos())));
        window.ShowBalloon(QRect(40, 760, 0, 0), QStringLiteral("Porto de&Destino"));
        QCOMPARE(window.lines(), (QStringList{"Porto de", "Destino"}));
    }

    // With the entry window's settings: shown after a wait of 500 ms once the pointer rests,
    // hidden after the application's 2500 ms, not the component's 5000, and not shown again in
    // place.
    void timingWithEntryWindowSettings()
    {
        auto b = entryWindowBalloon();
        ShowHideWatch watch;
        const QPoint at(30, 12);
        hover(m_button, at);
        // Resting on the button starts the show delay, the component's HintTime; nothing shows
        // before it has run.
        QCOMPARE(ApplicationHints::showWaitMs(), 500);
        QCOMPARE(watch.shown, 0);
        QTRY_COMPARE_WITH_TIMEOUT(watch.shown, 1, 30000);
        QCOMPARE(ApplicationHints::showWaitMs(), -1);
        // Shown, it hides after the application's pause, not the component's 5000.
        QCOMPARE(ApplicationHints::hideWaitMs(), 2500);
        QCOMPARE(shownBalloon()->lines(), QStringList{"Incluir Novo BL"});
        // The tip points under the cursor: the proposed corner is the cursor plus its height.
        const QPoint cursor = m_button->mapToGlobal(at);
        QCOMPARE(shownBalloon()->pos() + balloon::tailOf(shownBalloon()->size(), 1, 1).tip,
                 cursor + QPoint(0, ApplicationHints::CursorHeight - 18));

        QTRY_COMPARE_WITH_TIMEOUT(watch.hidden, 1, 30000);
        QCOMPARE(watch.shown, 1);
        QCOMPARE(ApplicationHints::hideWaitMs(), -1);
        QTest::mouseMove(m_button, at + QPoint(5, 0));
        QVERIFY(!ApplicationHints::hintPending());

        // Another control and back: the hint as set now; leaving takes the balloon away.
        QTest::mouseMove(m_plain, QPoint(5, 5));
        m_button->setToolTip(QStringLiteral("Copia BL para - &BL010309.DB"));
        QTest::mouseMove(m_button, at);
        QTRY_VERIFY_WITH_TIMEOUT(balloonUp(), 30000);
        QCOMPARE(shownBalloon()->lines(), (QStringList{"Copia BL para - ", "BL010309.DB"}));
        QTest::mouseMove(m_plain, QPoint(5, 5));
        QVERIFY(!balloonUp());
    }
};

QTEST_MAIN(TestOxHintBalloon)
#include "tst_oxhintballoon.moc"
