#include "OxHintBalloon.h"

#include "OxHintBalloonShape.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QToolTip>

// ---------------------------------------------------------------------------------------
// THintWindow

THintWindow::THintWindow(QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus
                          | Qt::WindowTransparentForInput)
{
    // A hint never takes the focus from the window the user works in, and the pointer goes
    // through it to the control underneath, whose hint it is.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

// ---------------------------------------------------------------------------------------
// ApplicationHints

namespace {
QPointer<ApplicationHints> &hintsInstance()
{
    static QPointer<ApplicationHints> p;
    return p;
}
} // namespace

ApplicationHints::ApplicationHints() : QObject(qApp)
{
    m_showTimer.setSingleShot(true);
    m_showTimer.setTimerType(Qt::PreciseTimer);
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_showTimer, &QTimer::timeout, this, &ApplicationHints::showTimerExpired);
    connect(&m_hideTimer, &QTimer::timeout, this, &ApplicationHints::hideTimerExpired);
}

// Lives as long as the application object, which owns it.
ApplicationHints &ApplicationHints::instance()
{
    QPointer<ApplicationHints> &p = hintsInstance();
    if (!p)
        p = new ApplicationHints;
    return *p;
}

HintWindowClass ApplicationHints::windowClass()
{
    return instance().m_class;
}

void ApplicationHints::setWindowClass(HintWindowClass windowClass)
{
    ApplicationHints &self = instance();
    if (self.m_class == windowClass)
        return;
    self.m_class = windowClass;
    if (windowClass) {
        QToolTip::hideText();
        if (qApp)
            qApp->installEventFilter(&self);
    } else {
        if (qApp)
            qApp->removeEventFilter(&self);
        cancelHint();
    }
    // A window of another class is made anew for the next hint.
    if (self.m_window && self.m_windowMadeFrom != windowClass)
        self.dropWindow();
}

int ApplicationHints::showDelay()
{
    return instance().m_showDelay;
}

void ApplicationHints::setShowDelay(int ms)
{
    instance().m_showDelay = ms;
}

int ApplicationHints::hidePause()
{
    return instance().m_hidePause;
}

void ApplicationHints::setHidePause(int ms)
{
    instance().m_hidePause = ms;
}

THintWindow *ApplicationHints::hintWindow()
{
    return instance().m_window;
}

QWidget *ApplicationHints::hintControl()
{
    return instance().m_control;
}

bool ApplicationHints::hintPending()
{
    return instance().m_showTimer.isActive();
}

int ApplicationHints::showWaitMs()
{
    const QTimer &t = instance().m_showTimer;
    return t.isActive() ? t.interval() : -1;
}

int ApplicationHints::hideWaitMs()
{
    const QTimer &t = instance().m_hideTimer;
    return t.isActive() ? t.interval() : -1;
}

void ApplicationHints::cancelHint()
{
    ApplicationHints &self = instance();
    self.m_showTimer.stop();
    self.m_hideTimer.stop();
    self.hideHint();
    self.m_control = nullptr;
    self.m_done = false;
}

bool ApplicationHints::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_class || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    switch (event->type()) {
    case QEvent::ToolTip:
        // The balloon shows the hint instead of Qt's plain tooltip.
        return true;
    case QEvent::MouseMove: {
        const auto *move = static_cast<QMouseEvent *>(event);
        if (move->buttons() == Qt::NoButton)
            pointerAt(widget, move->globalPosition().toPoint());
        break;
    }
    case QEvent::Enter:
        pointerAt(widget, static_cast<QEnterEvent *>(event)->globalPosition().toPoint());
        break;
    case QEvent::Leave:
        if (m_control && (widget == m_control || widget->isAncestorOf(m_control)))
            cancelHint();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        // The user acts: the hint goes, and comes back only when the pointer rests again.
        m_showTimer.stop();
        m_hideTimer.stop();
        hideHint();
        m_done = false;
        break;
    case QEvent::WindowDeactivate:
        if (m_control && m_control->window() == widget)
            cancelHint();
        break;
    default:
        break;
    }
    return false;
}

void ApplicationHints::pointerAt(QWidget *receiver, QPoint globalPos)
{
    if (receiver->window() == m_window)
        return;
    // A move reaches every parent of the widget under the pointer in turn; each finds the
    // same widget again.
    QWidget *under = receiver->childAt(receiver->mapFromGlobal(globalPos));
    if (!under)
        under = receiver;
    // As with Qt's tooltips: the nearest widget with a hint, within its window.
    QWidget *control = nullptr;
    for (QWidget *w = under; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (!w->toolTip().isEmpty()) {
            control = w;
            break;
        }
    }
    if (control != m_control) {
        cancelHint();
        m_control = control;
        if (control)
            m_showTimer.start(m_showDelay);
        return;
    }
    // Waiting: the delay counts from the moment the pointer comes to rest.
    if (control && !m_done && !m_hideTimer.isActive())
        m_showTimer.start(m_showDelay);
}

void ApplicationHints::showTimerExpired()
{
    if (!m_class || !m_control || !m_control->isVisible())
        return;
    // Read now: windows change their hints while they run.
    const QString hint = m_control->toolTip();
    if (hint.isEmpty())
        return;
    if (!m_window || m_windowMadeFrom != m_class) {
        dropWindow();
        m_window = m_class();
        m_windowMadeFrom = m_class;
    }
    const QPoint cursor = QCursor::pos();
    m_window->ActivateHint(QRect(cursor.x(), cursor.y() + CursorHeight, 0, 0), hint);
    m_hideTimer.start(m_hidePause);
}

void ApplicationHints::hideTimerExpired()
{
    hideHint();
    // Stays hidden until the pointer goes to another control.
    m_done = true;
}

void ApplicationHints::hideHint()
{
    if (m_window && m_window->isVisible())
        m_window->hide();
}

void ApplicationHints::dropWindow()
{
    delete m_window.data();
    m_window = nullptr;
    m_windowMadeFrom = nullptr;
}

// ---------------------------------------------------------------------------------------
// TOxHintBalloon

namespace {
QPointer<TOxHintBalloon> &activeBalloon()
{
    static QPointer<TOxHintBalloon> p;
    return p;
}
} // namespace

TOxHintBalloon::TOxHintBalloon(QObject *owner, bool designing)
    : QObject(owner),
      m_designing(designing),
      m_color(infoBackground()),
      m_font(QApplication::font()),
      m_fontColor(QApplication::palette().color(QPalette::WindowText))
{
    if (m_designing)
        return;
    m_savedClass = ApplicationHints::windowClass();
    ApplicationHints::setWindowClass(&TOxHintBalloonWindow::create);
    ApplicationHints::setShowDelay(m_hintTime);
    m_previousActive = activeBalloon();
    activeBalloon() = this;
}

TOxHintBalloon::~TOxHintBalloon()
{
    if (m_designing)
        return;
    ApplicationHints::setWindowClass(m_savedClass);
    // The balloon window must never read the settings of a component that is gone.
    if (activeBalloon() == this)
        activeBalloon() = m_previousActive;
}

TOxHintBalloon *TOxHintBalloon::active()
{
    return activeBalloon();
}

void TOxHintBalloon::setFont(const QFont &font, const QColor &color)
{
    m_font = font;
    m_fontColor = color;
}

void TOxHintBalloon::setHintPause(quint16 v)
{
    if (v == m_hintPause)
        return;
    m_hintPause = v;
    if (!m_designing)
        ApplicationHints::setHidePause(v);
}

void TOxHintBalloon::setHintTime(quint16 v)
{
    if (v == m_hintTime)
        return;
    m_hintTime = v;
    if (!m_designing)
        ApplicationHints::setShowDelay(v);
}

QColor TOxHintBalloon::infoBackground()
{
    return QApplication::palette().color(QPalette::Inactive, QPalette::ToolTipBase);
}

// ---------------------------------------------------------------------------------------
// TOxHintBalloonWindow

namespace {
QImage &processBalloonImage()
{
    static QImage image;
    return image;
}
} // namespace

TOxHintBalloonWindow::TOxHintBalloonWindow(QWidget *parent) : THintWindow(parent)
{
    setObjectName(QStringLiteral("OxHintBalloonWindow"));
    // The picture covers every pixel the region lets through.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TOxHintBalloonWindow::~TOxHintBalloonWindow()
{
    processBalloonImage() = QImage();
}

THintWindow *TOxHintBalloonWindow::create()
{
    return new TOxHintBalloonWindow;
}

const QImage &TOxHintBalloonWindow::balloonImage()
{
    return processBalloonImage();
}

void TOxHintBalloonWindow::ShowBalloon(const QRect &rect, const QString &hint)
{
    // Over a drop-down list the balloon that is up stays as it is.
    if (m_shown && balloon::isDropDownList(QApplication::widgetAt(QCursor::pos())))
        return;
    m_shown = true;

    const TOxHintBalloon *settings = TOxHintBalloon::active();
    balloon::Picture pic;
    pic.font = settings ? settings->font() : QApplication::font();
    pic.textColour = settings ? settings->fontColor() : QApplication::palette().color(QPalette::WindowText);
    pic.fill = settings ? settings->color() : TOxHintBalloon::infoBackground();
    const QChar separator = settings ? settings->lineSeparator() : QLatin1Char('&');

    m_lines = balloon::splitLines(hint, separator);
    // Measured as the picture will be drawn: on an image, not on the screen.
    const QImage probe(1, 1, QImage::Format_RGB32);
    const QFontMetrics fm(pic.font, &probe);
    pic.lineHeight = fm.height();
    pic.lines = m_lines;
    pic.size = balloon::balloonSize(
        m_lines, [&fm](const QString &t) { return fm.horizontalAdvance(t); }, pic.lineHeight);

    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->virtualGeometry() : QRect();
    const balloon::Placement place = balloon::placeBalloon(rect.topLeft(), pic.size, desktop);
    m_dx = place.dx;
    m_dy = place.dy;
    pic.dx = m_dx;
    pic.dy = m_dy;

    hide();
    setGeometry(place.rect);
    processBalloonImage() = balloon::drawBalloon(pic);
    m_region = balloon::balloonRegion(processBalloonImage(), m_dx, m_dy);
    setMask(m_region);
    show();
    update();
}

void TOxHintBalloonWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, processBalloonImage());
}

void TOxHintBalloonWindow::showEvent(QShowEvent *event)
{
    THintWindow::showEvent(event);
    m_shown = true;
}

void TOxHintBalloonWindow::hideEvent(QHideEvent *event)
{
    THintWindow::hideEvent(event);
    m_shown = false;
}
