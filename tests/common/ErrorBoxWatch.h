#pragma once

// Watches the standard error box in tests: every time one is shown, it records what it says
// and what the test says is true at that moment, then presses OK once the box's own event
// loop runs. Driven by the box's show event, no polling and no sleeps.
//
// Header-only, as ModalHelper.h: it needs QtWidgets, which every test that includes it links.

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace errorboxtest {

struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString note;  // what onShown() returned while the box was up
};

class ErrorBoxWatch : public QObject
{
public:
    QList<SeenBox> seen;
    int open = 0;        // boxes up right now
    int mostOpen = 0;    // most boxes up at one time
    // Called while the box is up, before OK: what the test wants to know about that moment.
    std::function<QString()> onShown;

    ErrorBoxWatch() { qApp->installEventFilter(this); }
    ~ErrorBoxWatch() override { qApp->removeEventFilter(this); }

    QStringList texts() const
    {
        QStringList t;
        for (const SeenBox &s : seen)
            t << s.text;
        return t;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (!box || box->objectName() != QLatin1String("ErrorBox"))
            return false;
        if (event->type() == QEvent::Show) {
            SeenBox s;
            s.title = box->windowTitle();
            s.text = box->text();
            s.icon = box->icon();
            for (QAbstractButton *b : box->buttons())
                s.buttons << b->text();
            seen.append(s);
            mostOpen = qMax(mostOpen, ++open);
            const qsizetype index = seen.size() - 1;
            QPointer<QMessageBox> p(box);
            // Answered from inside the box's own event loop.
            QTimer::singleShot(0, box, [this, p, index] {
                if (onShown)
                    seen[index].note = onShown();
                if (p)
                    p->button(QMessageBox::Ok)->click();
            });
        } else if (event->type() == QEvent::Hide) {
            --open;
        }
        return false;
    }
};

} // namespace errorboxtest
