#pragma once

// What a second start on the same desktop shows before it ends with exit code 0.

#include <QString>

#include <memory>

class QMessageBox;

namespace blapp {

QString alreadyRunningText();
// The warning box: title "Warning", warning icon, one OK button.
std::unique_ptr<QMessageBox> makeAlreadyRunningBox();

} // namespace blapp
