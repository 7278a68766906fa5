#pragma once

// Every window of the program opens centred on the screen. Without a window manager nobody
// else places it, so the program does it itself.

class QShowEvent;
class QWidget;

namespace placement {

// Centres the window on the available area of its screen (the primary one when it has none yet).
void centreOnScreen(QWidget *window);

// For a window's showEvent: on its first own show (not one the window system repeats) marks
// shown, centres the window and returns true, so the caller runs its show handler once.
bool firstShow(QWidget *window, QShowEvent *event, bool &shown);

} // namespace placement
