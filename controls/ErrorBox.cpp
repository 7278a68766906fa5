#include "ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace blapp {

namespace {

struct Pending
{
    QString text;
    std::function<void()> after;
};

// Failures met inside event handlers, waiting for the queued call that shows them.
QList<Pending> &pending()
{
    static QList<Pending> list;
    return list;
}

bool showing = false;  // the queued call is showing its boxes

void showPending()
{
    showing = true;
    while (!pending().isEmpty()) {
        // Taken off the list before the box opens: events the box delivers may report anew.
        Pending p = pending().takeFirst();
        if (p.after)
            p.after();
        showErrorBox(p.text);
    }
    showing = false;
}

} // namespace

QString appTitle()
{
    return QStringLiteral("Bill of Lading");
}

QString withFullStop(const QString &text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void showErrorBox(const QString &text)
{
    // The same failure, met in an event handler and again by the action that followed: one box.
    for (qsizetype i = pending().size() - 1; i >= 0; --i) {
        if (pending().at(i).text != text)
            continue;
        const std::function<void()> after = pending().takeAt(i).after;
        if (after)
            after();
    }
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, appTitle(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

void reportLater(const QString &text, std::function<void()> after)
{
    for (const Pending &p : std::as_const(pending()))
        if (p.text == text)
            return;
    const bool first = pending().isEmpty() && !showing;
    pending().append({text, std::move(after)});
    // While a box is up, the loop that shows it takes this one next.
    if (first && qApp)
        QMetaObject::invokeMethod(qApp, &showPending, Qt::QueuedConnection);
}

int pendingReports()
{
    return int(pending().size());
}

} // namespace blapp
