#pragma once

// The application object. An engine or conversion error (DataError) that reaches the event
// loop ends the user's action and is shown in the standard error box (ErrorBox.h), and the
// program goes on with the tables in whatever state they had.

#include "ErrorBox.h"

#include <QApplication>

namespace blapp {

// Loads Qt's own Brazilian Portuguese catalogue (qtbase_pt_BR) into app; false when the
// catalogue is not installed, and Qt's texts then stay English.
bool installQtTranslation(QCoreApplication *app);

// The busy cursor while the table engine waits for a lock another program holds.
void lockWaitCursor(bool waiting);

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
