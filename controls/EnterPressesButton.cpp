#include "EnterPressesButton.h"

#include <QKeyEvent>
#include <QPushButton>

TEnterPressesButton::TEnterPressesButton(QObject *parent) : QObject(parent) {}

bool TEnterPressesButton::handles(const QPushButton *button, const QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    return button->isEnabled() && button->isVisible() && button->hasFocus() && !button->autoDefault()
           && !button->isDefault();
}

bool TEnterPressesButton::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *button = qobject_cast<QPushButton *>(watched);
        if (button && handles(button, static_cast<QKeyEvent *>(event))) {
            button->click();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
