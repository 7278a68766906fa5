#pragma once

// Every window of the program opens centred on the screen. Without a window manager nobody
// else places it, so the program does it itself.

class QWidget;

namespace placement {

// Centres the window on the available area of its screen (the primary one when it has none yet).
void centreOnScreen(QWidget *window);

} // namespace placement
