#pragma once

// Answers modal windows in tests. Arm whenModal() before the call that runs a modal window;
// a timer polls QApplication::activeModalWidget() every few milliseconds and runs the action
// on the first new modal window that is visible. No fixed sleeps. Check ModalWatch::acted
// afterwards: a watch that timed out never ran its action.
//
// Header-only on purpose: the shared test library links only QtCore and QtTest, while this
// helper needs QtWidgets, which every test that includes it already links.

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace modaltest {

struct ModalWatch {
    bool acted = false;          // the action ran
    bool timedOut = false;       // no modal window appeared in time
    QPointer<QWidget> window;    // the window acted on; null again once it is deleted
    QString windowTitle;         // its caption when acted on
};

struct WatchOptions {
    int timeoutMs = 10000;
    int intervalMs = 5;
    // Also wait until the window is the active window (needed for keyboard shortcuts).
    bool waitActive = false;
};

inline std::shared_ptr<ModalWatch> whenModal(std::function<void(QWidget *)> action,
                                             WatchOptions options = {})
{
    auto watch = std::make_shared<ModalWatch>();
    QPointer<QWidget> before = QApplication::activeModalWidget();
    auto *timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(options.intervalMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=]() {
        QWidget *w = QApplication::activeModalWidget();
        const bool ready = w && w != before && w->isVisible()
                           && (!options.waitActive || w->isActiveWindow());
        if (!ready) {
            if (clock->elapsed() > options.timeoutMs) {
                watch->timedOut = true;
                timer->stop();
                timer->deleteLater();
                // A window that came up but never became ready would block the test for good.
                if (w && w != before)
                    w->close();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        watch->acted = true;
        watch->window = w;
        watch->windowTitle = w->windowTitle();
        action(w);
    });
    timer->start();
    return watch;
}

}  // namespace modaltest
