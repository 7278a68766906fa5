#include "BLApplication.h"

#include "paradox/PxError.h"

#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

#include <exception>

BLApplication::BLApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // The windows are designed in MS Sans Serif 8 pt; Liberation Sans has its metrics.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    // Qt's own dialogs (file dialogs above all) speak the clerk's language whatever the
    // machine's locale.
    auto *qtTexts = new QTranslator(this);
    if (qtTexts->load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qtTexts);
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
