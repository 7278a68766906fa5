#pragma once

// What the print and copies dialogs share: the fixed "Impressão" window with its scroll box
// filling the client area, bold picture buttons, Esc pressing the cancel button (so it acts
// exactly as that button does), and FormShow run once, centred, at the first show.

#include <QDialog>
#include <QIcon>
#include <QRect>

class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;

class TPrintDialog : public QDialog
{
    Q_OBJECT
public:
    QScrollArea *ScrollBox1 = nullptr;

protected:
    TPrintDialog(const QString &name, const QSize &client, QWidget *parent);

    // The scroll box's contents, where every control lies.
    QWidget *box() const { return m_box; }
    // A navy label; a geometry with a width keeps that width (a longer text is cut),
    // otherwise the label fits its text.
    QLabel *addLabel(const char *name, const QString &text, const QRect &geometry, bool bold);
    QPushButton *addButton(const char *name, const QString &caption, const QString &hint, const QIcon &icon,
                           const QRect &geometry);
    // A tool button: it acts on a click and never takes the keyboard focus.
    QToolButton *addTool(const char *name, const QString &caption, const QString &hint, const QIcon &icon,
                         const QRect &geometry);

    virtual void FormShow() = 0;
    // The button Esc presses.
    QPushButton *m_cancel = nullptr;

    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *m_box = nullptr;
    bool m_shown = false;
};
