#pragma once

// The standard error box, and the one guard that leads an engine or conversion error
// (DataError) into it. A window connects each of its actions with connectAction(), which runs
// the slot through runGuarded(): the error ends the action once the slot has unwound, the box
// shows it, and the program goes on with the tables in whatever state they had.
//
// Nothing may be thrown through a Qt frame: Debian's QtGui and QtWidgets are built without
// exception tables, so their cleanups would not run. Code that runs inside an event handler
// (paint, a model's data(), focus changes, show handlers) catches the error there and hands it
// to reportLater(), which shows it by a queued call once the event is done.

#include "paradox/PxError.h"

#include <QObject>
#include <QString>

#include <functional>
#include <type_traits>
#include <utility>

namespace blapp {

// The application's title: the error box's caption and the application name. Not the
// display name, which Qt would append to every window caption.
QString appTitle();

// The error box's text: a full stop is appended when the last character sorts after ".".
QString withFullStop(const QString &text);

// Shows text in the standard error box (title, error icon, one OK button) and waits. A report
// of the same text that reportLater() still holds is dropped: it is this failure.
void showErrorBox(const QString &text);

// Shows a failure met inside an event handler once the event is done, then runs after (the
// control that failed takes the focus back, say). While the same text waits to be shown, a
// second report of it is dropped, so one failure met in two places shows one box.
void reportLater(const QString &text, std::function<void()> after = {});
// Reports waiting to be shown (for tests).
int pendingReports();

// Runs f; a DataError it throws ends it and is shown in the standard error box once f has
// unwound. False when it failed.
template <class F>
bool runGuarded(F &&f)
{
    QString message;
    bool failed = false;
    try {
        f();
    } catch (const DataError &e) {
        message = e.message();
        failed = true;
    }
    // Shown outside the handler: the box runs an event loop of its own.
    if (failed)
        showErrorBox(withFullStop(message));
    return !failed;
}

// As runGuarded(), for code inside an event handler: the error is shown after the event.
template <class F>
bool runGuardedLater(F &&f, std::function<void()> after = {})
{
    try {
        f();
        return true;
    } catch (const DataError &e) {
        reportLater(withFullStop(e.message()), std::move(after));
        return false;
    }
}

// Wraps a slot so that a DataError it throws ends it in the standard error box. The slot may
// take the signal's arguments or none.
template <class F>
auto guarded(F f)
{
    return [f = std::move(f)](auto &&...args) mutable {
        if constexpr (std::is_invocable_v<F &, decltype(args)...>)
            runGuarded([&] { f(std::forward<decltype(args)>(args)...); });
        else
            runGuarded(f);
    };
}

// How a window connects an action: the signal runs the slot through the guard.
template <class Sender, class Signal, class F>
QMetaObject::Connection connectAction(const Sender *sender, Signal signal, const QObject *context, F slot)
{
    return QObject::connect(sender, signal, context, guarded(std::move(slot)));
}

} // namespace blapp
