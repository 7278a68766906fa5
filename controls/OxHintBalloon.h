#pragma once

// Balloon hints. TOxHintBalloon is a non-visual component: while one exists (built for run
// time), every hint of every window of the application shows as a speech balloon, a rounded
// rectangle whose tail points at the mouse cursor, drawn by TOxHintBalloonWindow.
//
// The application's hint machinery is ApplicationHints below: an application-wide event
// filter that follows the pointer, waits the show delay, shows the hint of the widget under
// the pointer in a hint window of the installed class and hides it after the hide pause.
// With no class installed (the plain class) it stays out of the way and Qt shows its own
// plain tooltips.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class TOxHintBalloon;

// A hint window: a popup the application shows without activating it.
class THintWindow : public QWidget
{
    Q_OBJECT
public:
    explicit THintWindow(QWidget *parent = nullptr);
    // Shows hint; of rect only the top-left corner counts: the proposed place of the hint.
    virtual void ActivateHint(const QRect &rect, const QString &hint) = 0;
};

// The class from which the application makes its hint window; nullptr is Qt's plain tooltip.
using HintWindowClass = THintWindow *(*)();

// The application's hint settings and machinery, one per process.
class ApplicationHints : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultShowDelay = 500;
    static constexpr int DefaultHidePause = 2500;
    // Qt has no public query of the platform's cursor size; 32 is the standard cursor
    // height on a 96 dpi desktop, so the hint comes just below the arrow.
    static constexpr int CursorHeight = 32;

    static HintWindowClass windowClass();
    // Installing a class takes over every tooltip; nullptr gives them back to Qt.
    static void setWindowClass(HintWindowClass windowClass);
    static int showDelay();
    static void setShowDelay(int ms);
    static int hidePause();
    static void setHidePause(int ms);

    // The window made from the installed class, once a hint has been shown; else nullptr.
    static THintWindow *hintWindow();
    // The widget whose hint is pending or shown.
    static QWidget *hintControl();
    // The show delay is running for hintControl().
    static bool hintPending();
    // The wait now running before the hint shows, or before it hides; -1 when none. Tests
    // check these waits instead of timing them.
    static int showWaitMs();
    static int hideWaitMs();
    // Hides the hint and forgets the control, as a click does.
    static void cancelHint();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ApplicationHints();
    static ApplicationHints &instance();
    void pointerAt(QWidget *receiver, QPoint globalPos);
    void showTimerExpired();
    void hideTimerExpired();
    void hideHint();
    void dropWindow();

    HintWindowClass m_class = nullptr;
    HintWindowClass m_windowMadeFrom = nullptr;
    // Guarded: the application deletes the top-level widgets it still has when it ends.
    QPointer<THintWindow> m_window;
    int m_showDelay = DefaultShowDelay;
    int m_hidePause = DefaultHidePause;
    QPointer<QWidget> m_control;
    bool m_done = false;   // this control's hint was shown and hidden again
    QTimer m_showTimer;
    QTimer m_hideTimer;
};

class TOxHintBalloon : public QObject
{
    Q_OBJECT
public:
    // designing: only edited, as in a form designer; the application is left alone.
    explicit TOxHintBalloon(QObject *owner = nullptr, bool designing = false);
    ~TOxHintBalloon() override;

    // The component whose settings the balloon window uses; nullptr when none is alive.
    static TOxHintBalloon *active();

    // Properties, in their declared order.
    QColor color() const { return m_color; }
    void setColor(const QColor &v) { m_color = v; }
    // The font, with its text colour; assigning copies both.
    const QFont &font() const { return m_font; }
    QColor fontColor() const { return m_fontColor; }
    void setFont(const QFont &font, const QColor &color);
    quint16 hintPause() const { return m_hintPause; }
    void setHintPause(quint16 v);
    quint16 hintTime() const { return m_hintTime; }
    void setHintTime(quint16 v);
    QChar lineSeparator() const { return m_lineSeparator; }
    void setLineSeparator(QChar v) { m_lineSeparator = v; }

    // The info-tip background of the desktop's colour scheme (clInfoBk).
    static QColor infoBackground();

private:
    bool m_designing;
    QColor m_color;
    QFont m_font;
    QColor m_fontColor;
    quint16 m_hintPause = 5000;
    quint16 m_hintTime = 500;
    QChar m_lineSeparator = QLatin1Char('&');
    HintWindowClass m_savedClass = nullptr;
    QPointer<TOxHintBalloon> m_previousActive;
};

class TOxHintBalloonWindow : public THintWindow
{
    Q_OBJECT
public:
    explicit TOxHintBalloonWindow(QWidget *parent = nullptr);
    ~TOxHintBalloonWindow() override;

    // The class to install: makes a balloon window.
    static THintWindow *create();

    void ActivateHint(const QRect &rect, const QString &hint) override { ShowBalloon(rect, hint); }
    void ShowBalloon(const QRect &rect, const QString &hint);

    int horizontalDirection() const { return m_dx; }
    int verticalDirection() const { return m_dy; }
    const QStringList &lines() const { return m_lines; }
    const QRegion &region() const { return m_region; }
    bool shown() const { return m_shown; }

    // The picture of the balloon last shown, one for the process like the window.
    static const QImage &balloonImage();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int m_dy = 1;
    int m_dx = 1;
    QStringList m_lines;
    QRegion m_region;
    bool m_shown = false;
};
