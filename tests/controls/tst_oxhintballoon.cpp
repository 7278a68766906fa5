// The balloon hint component, its window and the application's hint machinery: what a
// component changes in the application and gives back, the balloon a hint shows, the
// drop-down rule, and the timing with the entry window's settings.

#include "OxHintBalloon.h"
#include "OxHintBalloonShape.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolTip>

#include <memory>

namespace {

// Counts the tooltip events that get through to a widget.
class ToolTipCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::ToolTip)
            ++count;
        return false;
    }
};

// Asks w for its tooltip as Qt does; true when the event reached w (a plain tooltip).
bool tooltipReaches(QWidget *w)
{
    ToolTipCounter counter;
    w->installEventFilter(&counter);
    const QPoint local(w->width() / 2, w->height() / 2);
    QHelpEvent e(QEvent::ToolTip, local, w->mapToGlobal(local));
    QApplication::sendEvent(w, &e);
    w->removeEventFilter(&counter);
    return counter.count == 1;
}

// A component set up as the entry window sets up its own.
std::unique_ptr<TOxHintBalloon> entryWindowBalloon()
{
    auto b = std::make_unique<TOxHintBalloon>();
    b->setColor(TOxHintBalloon::infoBackground());
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(true);
    b->setFont(f, QApplication::palette().color(QPalette::WindowText));
    b->setHintPause(5000);
    b->setHintTime(500);
    b->setLineSeparator(QLatin1Char('&'));
    return b;
}

TOxHintBalloonWindow *balloonWindow()
{
    return qobject_cast<TOxHintBalloonWindow *>(ApplicationHints::hintWindow());
}

bool balloonUp()
{
    TOxHintBalloonWindow *w = balloonWindow();
    return w && w->isVisible();
}

// When the balloon window was last shown and hidden, on a clock of the test's.
class ShowHideClock : public QObject
{
public:
    QElapsedTimer clock;
    qint64 shownAt = -1;
    qint64 hiddenAt = -1;
    ShowHideClock()
    {
        clock.start();
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o->objectName() == QLatin1String("OxHintBalloonWindow")) {
            if (e->type() == QEvent::Show)
                shownAt = clock.elapsed();
            else if (e->type() == QEvent::Hide)
                hiddenAt = clock.elapsed();
        }
        return false;
    }
};

} // namespace

class TestOxHintBalloon : public QObject
{
    Q_OBJECT

    QWidget *m_window = nullptr;
    QPushButton *m_button = nullptr;
    QLabel *m_plain = nullptr;

    // Moves the pointer onto w at pos. Qt drops a move to where the pointer already is, so
    // it goes by the plain label first.
    void hover(QWidget *w, QPoint pos)
    {
        if (QCursor::pos() == w->mapToGlobal(pos))
            QTest::mouseMove(m_plain, QPoint(5, 5));
        QTest::mouseMove(w, pos);
    }

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void init()
    {
        QVERIFY(ApplicationHints::windowClass() == nullptr);
        ApplicationHints::setShowDelay(ApplicationHints::DefaultShowDelay);
        ApplicationHints::setHidePause(ApplicationHints::DefaultHidePause);
        m_window = new QWidget;
        m_window->setGeometry(200, 300, 300, 200);
        m_button = new QPushButton(QStringLiteral("Novo"), m_window);
        m_button->setObjectName(QStringLiteral("SB_Inclusao"));
        m_button->setGeometry(20, 20, 97, 25);
        m_button->setToolTip(QStringLiteral("Incluir Novo BL"));
        m_plain = new QLabel(QStringLiteral("sem dica"), m_window);
        m_plain->setGeometry(20, 120, 100, 20);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
    {
        delete m_window;
        m_window = nullptr;
    }

    void initialValues()
    {
        TOxHintBalloon b(nullptr, true);
        QCOMPARE(b.color(), TOxHintBalloon::infoBackground());
        QCOMPARE(b.font(), QApplication::font());
        QCOMPARE(b.fontColor(), QApplication::palette().color(QPalette::WindowText));
        QCOMPARE(b.hintPause(), quint16(5000));
        QCOMPARE(b.hintTime(), quint16(500));
        QCOMPARE(b.lineSeparator(), QLatin1Char('&'));
    }

    void designTimeChangesNothing()
    {
        ApplicationHints::setShowDelay(700);
        ApplicationHints::setHidePause(3000);
        {
            TOxHintBalloon b(nullptr, true);
            b.setHintTime(100);
            b.setHintPause(100);
            QVERIFY(ApplicationHints::windowClass() == nullptr);
            QCOMPARE(TOxHintBalloon::active(), nullptr);
            QVERIFY(tooltipReaches(m_button));
        }
        QCOMPARE(ApplicationHints::showDelay(), 700);
        QCOMPARE(ApplicationHints::hidePause(), 3000);
        QVERIFY(ApplicationHints::windowClass() == nullptr);
    }

    void runTimeTakesOverAndGivesBack()
    {
        ApplicationHints::setShowDelay(700);
        ApplicationHints::setHidePause(3000);
        QVERIFY(tooltipReaches(m_button));
        auto b = std::make_unique<TOxHintBalloon>();
        QVERIFY(ApplicationHints::windowClass() == &TOxHintBalloonWindow::create);
        QCOMPARE(TOxHintBalloon::active(), b.get());
        QCOMPARE(ApplicationHints::showDelay(), 500);   // its HintTime
        QCOMPARE(ApplicationHints::hidePause(), 3000);  // left alone
        QVERIFY(!tooltipReaches(m_button));

        // Equal values change nothing; other values go to the application.
        ApplicationHints::setShowDelay(800);
        b->setHintTime(500);
        b->setHintPause(5000);
        QCOMPARE(ApplicationHints::showDelay(), 800);
        QCOMPARE(ApplicationHints::hidePause(), 3000);
        b->setHintTime(300);
        b->setHintPause(4000);
        QCOMPARE(b->hintTime(), quint16(300));
        QCOMPARE(b->hintPause(), quint16(4000));
        QCOMPARE(ApplicationHints::showDelay(), 300);
        QCOMPARE(ApplicationHints::hidePause(), 4000);

        // A balloon is up when the component goes: it goes too, and tooltips are plain.
        ApplicationHints::setShowDelay(10);
        hover(m_button, QPoint(30, 10));
        QTRY_VERIFY(balloonUp());
        QPointer<THintWindow> window = ApplicationHints::hintWindow();
        b.reset();
        QVERIFY(window.isNull());
        QVERIFY(ApplicationHints::windowClass() == nullptr);
        QCOMPARE(TOxHintBalloon::active(), nullptr);
        QVERIFY(tooltipReaches(m_button));
    }

    // A second component takes over; when it goes the first is in force again, and the
    // balloon never reads a component that is gone.
    void secondComponent()
    {
        auto first = std::make_unique<TOxHintBalloon>();
        first->setColor(QColor(200, 255, 200));
        auto second = std::make_unique<TOxHintBalloon>();
        second->setColor(QColor(255, 200, 200));
        QCOMPARE(TOxHintBalloon::active(), second.get());
        second.reset();
        QVERIFY(ApplicationHints::windowClass() == &TOxHintBalloonWindow::create);
        QCOMPARE(TOxHintBalloon::active(), first.get());

        ApplicationHints::setShowDelay(10);
        hover(m_button, QPoint(30, 10));
        QTRY_VERIFY(balloonUp());
        const QImage &img = TOxHintBalloonWindow::balloonImage();
        QCOMPARE(img.pixel(img.width() - 4, 12), QColor(200, 255, 200).rgb());
        first.reset();
        QVERIFY(ApplicationHints::windowClass() == nullptr);
        QVERIFY(tooltipReaches(m_button));
    }

    // The window shows what the plain functions compute, on top, without the focus.
    void showBalloon()
    {
        auto b = entryWindowBalloon();
        auto *edit = new QComboBox(m_window);
        edit->setEditable(true);
        edit->setGeometry(20, 80, 100, 22);
        edit->show();
        m_window->activateWindow();
        edit->setFocus();
        QTRY_VERIFY(m_window->isActiveWindow());
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);

        TOxHintBalloonWindow window;
        const QPoint anchor(500, 600);
        window.ShowBalloon(QRect(anchor, QSize(1, 1)), QStringLiteral("Copia BL para - &BL010309.DB"));
        QVERIFY(window.isVisible());
        QVERIFY(window.shown());
        QCOMPARE(window.lines(), (QStringList{"Copia BL para - ", "BL010309.DB"}));

        const QImage probe(1, 1, QImage::Format_RGB32);
        const QFontMetrics fm(b->font(), &probe);
        const QSize size = balloon::balloonSize(
            window.lines(), [&fm](const QString &t) { return fm.horizontalAdvance(t); }, fm.height());
        const balloon::Placement place =
            balloon::placeBalloon(anchor, size, QGuiApplication::primaryScreen()->virtualGeometry());
        QCOMPARE(window.geometry(), place.rect);
        QCOMPARE(window.horizontalDirection(), place.dx);
        QCOMPARE(window.verticalDirection(), place.dy);

        const QImage &img = TOxHintBalloonWindow::balloonImage();
        QCOMPARE(img.size(), size);
        QCOMPARE(window.region(), balloon::balloonRegion(img, place.dx, place.dy));
        QCOMPARE(window.mask(), window.region());
        QVERIFY(!window.mask().contains(QPoint(0, 0)));
        // The fill is the component's Color, also on screen.
        QCOMPARE(img.pixel(img.width() - 4, 12), b->color().rgb());
        QCOMPARE(window.grab().toImage().pixelColor(img.width() - 4, 12), b->color());

        QVERIFY(window.windowFlags().testFlag(Qt::ToolTip));
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(window.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(window.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(m_window->isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), focus);

        window.hide();
        QVERIFY(!window.shown());
        // The top-right corner of the desktop: to the left and below.
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        window.ShowBalloon(QRect(desktop.right() - 3, desktop.top() + 10, 0, 0), QStringLiteral("Fechar"));
        QCOMPARE(window.horizontalDirection(), -1);
        QCOMPARE(window.verticalDirection(), -1);
        QCOMPARE(window.geometry().right(), desktop.right() - 4);
        // The tail on the top right, its tip at the corner.
        QVERIFY(window.region().contains(QPoint(window.width() - 15, 20)));
        QVERIFY(!window.region().contains(QPoint(window.width() - 4, 20)));
        QVERIFY(!window.region().contains(QPoint(window.width() - 30, 20)));
    }

    // Over a drop-down list, a balloon that is up stays; without one a balloon shows.
    void dropDownRule()
    {
        auto b = entryWindowBalloon();
        auto *combo = new QComboBox(m_window);
        combo->addItems({"Santos", "Rio Grande", "Paranaguá"});
        combo->setGeometry(150, 20, 120, 22);
        combo->show();
        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        const QPoint overList = combo->view()->viewport()->mapToGlobal(QPoint(10, 5));
        QCursor::setPos(overList);
        QTRY_COMPARE(QCursor::pos(), overList);
        QVERIFY(balloon::isDropDownList(QApplication::widgetAt(overList)));

        // The balloon goes well away from the list, so it is not what lies under the pointer.
        TOxHintBalloonWindow window;
        QVERIFY(!window.shown());
        window.ShowBalloon(QRect(40, 700, 0, 0), QStringLiteral("Porto"));
        QVERIFY(window.isVisible());
        QCOMPARE(window.lines(), QStringList{"Porto"});
        const QRect first = window.geometry();

        window.ShowBalloon(QRect(40, 800, 0, 0), QStringLiteral("Porto de&Destino"));
        QCOMPARE(window.lines(), QStringList{"Porto"});
        QCOMPARE(window.geometry(), first);
        QVERIFY(window.isVisible());

        // Not over the list any more: the new hint shows.
        combo->hidePopup();
        QCursor::setPos(m_plain->mapToGlobal(QPoint(5, 5)));
        QTRY_VERIFY(!balloon::isDropDownList(QApplication::widgetAt(QCursor::pos())));
        window.ShowBalloon(QRect(40, 800, 0, 0), QStringLiteral("Porto de&Destino"));
        QCOMPARE(window.lines(), (QStringList{"Porto de", "Destino"}));
        QVERIFY(window.geometry() != first);
    }

    void dropDownRuleWithoutBalloon()
    {
        auto b = entryWindowBalloon();
        auto *combo = new QComboBox(m_window);
        combo->addItems({"Santos", "Rio Grande"});
        combo->setGeometry(150, 20, 120, 22);
        combo->show();
        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        const QPoint overList = combo->view()->viewport()->mapToGlobal(QPoint(10, 5));
        QCursor::setPos(overList);
        QTRY_VERIFY(balloon::isDropDownList(QApplication::widgetAt(QCursor::pos())));

        TOxHintBalloonWindow window;
        window.ShowBalloon(QRect(40, 700, 0, 0), QStringLiteral("Porto"));
        QVERIFY(window.isVisible());
        QCOMPARE(window.lines(), QStringList{"Porto"});
        combo->hidePopup();
    }

    // With the entry window's settings: shown 500 ms after the pointer rests, hidden after
    // the application's 2500 ms, not after the component's 5000; and not again while the
    // pointer stays.
    void timingWithEntryWindowSettings()
    {
        auto b = entryWindowBalloon();
        QCOMPARE(ApplicationHints::showDelay(), 500);
        QCOMPARE(ApplicationHints::hidePause(), 2500);

        const QPoint at(30, 12);
        ShowHideClock stamps;
        const qint64 movedAt = stamps.clock.elapsed();
        hover(m_button, at);
        QCOMPARE(ApplicationHints::hintControl(), m_button);
        QTRY_VERIFY_WITH_TIMEOUT(stamps.shownAt >= 0, 3000);
        const qint64 waited = stamps.shownAt - movedAt;
        QVERIFY2(waited >= 500 && waited < 1500, qPrintable(QString::number(waited)));
        QVERIFY(balloonUp());
        QCOMPARE(balloonWindow()->lines(), QStringList{"Incluir Novo BL"});

        // The tip points at the cursor: the proposed corner is the cursor plus its height.
        const QPoint cursor = m_button->mapToGlobal(at);
        TOxHintBalloonWindow *w = balloonWindow();
        const balloon::Tail tail = balloon::tailOf(w->size(), w->horizontalDirection(), w->verticalDirection());
        QCOMPARE(w->pos() + tail.tip,
                 QPoint(cursor.x(), cursor.y() + ApplicationHints::CursorHeight - 18));

        // Hidden after the application's 2500 ms (timer granularity allowed for), well
        // before the component's 5000.
        QTRY_VERIFY_WITH_TIMEOUT(stamps.hiddenAt >= 0, 6000);
        const qint64 shownFor = stamps.hiddenAt - stamps.shownAt;
        QVERIFY2(shownFor >= 2495 && shownFor < 4000, qPrintable(QString::number(shownFor)));
        QVERIFY(!balloonUp());
        QCOMPARE(ApplicationHints::hintControl(), m_button);
        QVERIFY(!ApplicationHints::hintPending());

        // Moving within the button does not bring it back; another control and back does.
        QTest::mouseMove(m_button, at + QPoint(5, 0));
        QVERIFY(!ApplicationHints::hintPending());
        QTest::mouseMove(m_plain, QPoint(5, 5));
        QCOMPARE(ApplicationHints::hintControl(), nullptr);
        m_button->setToolTip(QStringLiteral("Copia BL para - &BL010309.DB"));   // set at run time
        QTest::mouseMove(m_button, at);
        QVERIFY(ApplicationHints::hintPending());
        QTRY_VERIFY_WITH_TIMEOUT(balloonUp(), 3000);
        QCOMPARE(balloonWindow()->lines(), (QStringList{"Copia BL para - ", "BL010309.DB"}));

        // Leaving the control takes the balloon away at once; a click does too.
        QTest::mouseMove(m_plain, QPoint(5, 5));
        QVERIFY(!balloonUp());
        QTest::mouseMove(m_button, at);
        QTRY_VERIFY_WITH_TIMEOUT(balloonUp(), 3000);
        QTest::mousePress(m_button, Qt::LeftButton, {}, at);
        QVERIFY(!balloonUp());
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, at);
    }

    void aLongerHidePause()
    {
        auto b = entryWindowBalloon();
        b->setHintTime(50);
        b->setHintPause(700);
        hover(m_button, QPoint(30, 12));
        QTRY_VERIFY_WITH_TIMEOUT(balloonUp(), 3000);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(!balloonUp(), 3000);
        QVERIFY2(clock.elapsed() >= 650 && clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    void noHintNoBalloon()
    {
        auto b = entryWindowBalloon();
        b->setHintTime(10);
        QTest::mouseMove(m_plain, QPoint(5, 5));
        QCOMPARE(ApplicationHints::hintControl(), nullptr);
        QVERIFY(!ApplicationHints::hintPending());
        // A hint emptied while the pointer waits shows nothing.
        hover(m_button, QPoint(30, 12));
        QVERIFY(ApplicationHints::hintPending());
        m_button->setToolTip(QString());
        QTRY_VERIFY(!ApplicationHints::hintPending());
        QVERIFY(!balloonUp());
    }
};

QTEST_MAIN(TestOxHintBalloon)
#include "tst_oxhintballoon.moc"
