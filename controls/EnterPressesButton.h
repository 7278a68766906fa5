#pragma once

// The desktop's habit that Enter presses the push button that has the keyboard focus, as
// Space does. Qt does this only for a dialog's default and auto-default buttons; the
// program's windows keep their buttons off the auto-default list so that the dialogs'
// default buttons keep their meaning, and this filter fills the gap for every window.

#include <QObject>

class QPushButton;
class QKeyEvent;

class TEnterPressesButton : public QObject
{
    Q_OBJECT
public:
    explicit TEnterPressesButton(QObject *parent = nullptr);

    // Whether Enter (or Return) on button is handed to the button as a press by this filter;
    // false where Qt already presses it (default and auto-default buttons).
    static bool handles(const QPushButton *button, const QKeyEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
