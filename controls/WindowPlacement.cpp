#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>

namespace placement {

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

bool firstShow(QWidget *window, QShowEvent *event, bool &shown)
{
    if (shown || event->spontaneous())
        return false;
    shown = true;
    centreOnScreen(window);
    return true;
}

} // namespace placement
