#pragma once

// The application object. It catches nothing: every action runs through the guard of
// ErrorBox.h, which shows an engine or conversion error in the standard error box.

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
};
