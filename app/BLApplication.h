#pragma once

// The application object. It owns the standard error box: an engine or conversion error
// (DataError) that reaches the event loop ends the user's action and is shown there, and the
// program goes on with the tables in whatever state they had.

#include "paradox/PxError.h"

#include <QApplication>
#include <QString>

#include <utility>

namespace blapp {

// The application's title: the error box's caption and the application name. Not the
// display name, which Qt would append to every window caption.
QString appTitle();

// The error box's text: a full stop is appended when the last character sorts after ".".
QString withFullStop(const QString &text);

// Loads Qt's own Brazilian Portuguese catalogue (qtbase_pt_BR) into app; false when the
// catalogue is not installed, and Qt's texts then stay English.
bool installQtTranslation(QCoreApplication *app);

// The busy cursor while the table engine waits for a lock another program holds.
void lockWaitCursor(bool waiting);

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

class BLApplication : public QApplication
{
    Q_OBJECT
public:
    BLApplication(int &argc, char **argv);
    ~BLApplication() override;

    // Catches what event handlers throw, where events are dispatched.
    bool notify(QObject *receiver, QEvent *event) override;
};
