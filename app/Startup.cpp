#include "Startup.h"

#include "BLApplication.h"
#include "SafetyCopyNotice.h"
#include "SingleInstance.h"
#include "U_DM_BL.h"
#include "U_Principal.h"

#include <QMessageBox>

namespace blapp {

QString alreadyRunningText()
{
    return QStringLiteral("VOCÊ JÁ TEM UMA CÓPIA ABERTA.\n\nEmissão de Bill of Lading.\n\nCORVANE do Brasil Ltda\n");
}

std::unique_ptr<QMessageBox> makeAlreadyRunningBox()
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Warning"),
                                             alreadyRunningText(), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("AlreadyRunningBox"));
    return box;
}

int runProgram(BLApplication &app)
{
    SingleInstance single(currentDesktopKey());
    if (single.acquire() == SingleInstance::Outcome::AnotherCopy) {
        makeAlreadyRunningBox()->exec();
        return 0;
    }
    // Named only now: the lock file records the name the program had when it took the lock,
    // and a later start compares that with the running program's executable name.
    app.setApplicationName(appTitle());

    // The window first, then the data module; the window binds its fields when first shown.
    auto window = std::make_unique<TF_Principal>();
    auto dataModule = std::make_unique<TDM_BL>();
    installSafetyCopyNotice(*dataModule, *window);
    window->show();
    const int code = app.exec();
    window.reset();
    return code;
}

} // namespace blapp
