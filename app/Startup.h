#pragma once

// What a second start on the same desktop shows before it ends with exit code 0.

#include <QString>

#include <memory>

class BLApplication;
class QMessageBox;

namespace blapp {

// The program on app: a second start on the same desktop shows the warning and returns 0;
// otherwise the entry window, then the data module, until the window ends the event loop.
int runProgram(BLApplication &app);

QString alreadyRunningText();
// The warning box: title "Warning", warning icon, one OK button.
std::unique_ptr<QMessageBox> makeAlreadyRunningBox();

} // namespace blapp
