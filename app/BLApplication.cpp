#include "BLApplication.h"

#include "EnterPressesButton.h"
#include "QtTextsTranslator.h"
#include "paradox/PxTable.h"

#include <QFont>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QThread>
#include <QTranslator>

namespace blapp {

bool installQtTranslation(QCoreApplication *app)
{
    // The interface is Portuguese by design, whatever LANG says; only Qt's own texts
    // (standard buttons, file and printer dialogs, edit menus) need a catalogue.
    auto *translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    if (!QCoreApplication::installTranslator(translator))
        return false;
    // Asked before the catalogue, for the few texts it lacks.
    return QCoreApplication::installTranslator(new QtTextsTranslator(app));
}

void lockWaitCursor(bool waiting)
{
    // Only the user-interface thread may touch the cursor. No events are processed while
    // waiting: a repaint would read the very table the engine is in the middle of.
    if (!qApp || QThread::currentThread() != qApp->thread())
        return;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

} // namespace blapp

BLApplication::BLApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // The windows are designed in MS Sans Serif 8 pt; Liberation Sans has its metrics.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    blapp::installQtTranslation(this);
    installEventFilter(new TEnterPressesButton(this));
    px::setLockWaitHook(&blapp::lockWaitCursor);
}

BLApplication::~BLApplication()
{
    px::setLockWaitHook(nullptr);
}
