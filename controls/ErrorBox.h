#pragma once

// The standard error box: an engine or conversion error (DataError) ends the user's action
// and is shown here, and the program goes on with the tables in whatever state they had.
// Every window's slots run through guarded(), so no error unwinds through the toolkit.

#include "paradox/PxError.h"

#include <QString>

#include <utility>

namespace blapp {

// The application's title: the error box's caption and the application name. Not the
// display name, which Qt would append to every window caption.
QString appTitle();

// The error box's text: a full stop is appended when the last character sorts after ".".
QString withFullStop(const QString &text);

// Shows text in the standard error box (title, error icon, one OK button) and waits.
void showErrorBox(const QString &text);

// Runs f; a DataError it throws ends it and is shown in the standard error box.
template <class F>
void runGuarded(F &f)
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
}

// Wraps a slot so that a DataError it throws ends it in the standard error box instead of
// unwinding through the toolkit, whose frames are built without exception support.
template <class F>
auto guarded(F f)
{
    return [f = std::move(f)]() mutable { runGuarded(f); };
}

} // namespace blapp
