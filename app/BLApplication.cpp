#include "BLApplication.h"

#include "paradox/PxError.h"

#include <QFont>
#include <QMessageBox>
#include <QWidget>

#include <exception>

namespace blapp {

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
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, appTitle(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

void reportError(const DataError &error)
{
    showErrorBox(withFullStop(error.message()));
}

} // namespace blapp

BLApplication::BLApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // The windows are designed in MS Sans Serif 8 pt; Liberation Sans has its metrics.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
}

BLApplication::~BLApplication() = default;

bool BLApplication::notify(QObject *receiver, QEvent *event)
{
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const DataError &e) {
        message = blapp::withFullStop(e.message());
    } catch (const std::exception &e) {
        // Not expected from this program's code; still better shown than ending the
        // program with a B/L half typed.
        message = blapp::withFullStop(QString::fromLocal8Bit(e.what()));
    }
    blapp::showErrorBox(message);
    return true;
}
