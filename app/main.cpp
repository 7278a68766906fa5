// bl-emissao: one copy per desktop, the entry window as main window, then the data module.

#include "BLApplication.h"
#include "SafetyCopyNotice.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "U_DM_BL.h"
#include "U_Principal.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

void showAlreadyRunning()
{
    const std::unique_ptr<QMessageBox> box = blapp::makeAlreadyRunningBox();
    // For the program's own tests only: a second copy started by a test has nobody to press
    // OK, so it reports what it shows on standard error and presses OK itself.
    if (qEnvironmentVariableIsSet("BL_EMISSAO_TEST_ANSWER")) {
        QMessageBox *b = box.get();
        QTimer::singleShot(0, b, [b] {
            const QString report = b->windowTitle() + QLatin1Char('|')
                                   + (b->icon() == QMessageBox::Warning ? QStringLiteral("warning")
                                                                        : QStringLiteral("other"))
                                   + QLatin1Char('|') + b->text();
            std::fputs(report.toUtf8().constData(), stderr);
            std::fflush(stderr);
            if (QAbstractButton *ok = b->button(QMessageBox::Ok))
                ok->click();
        });
    }
    box->exec();
}

} // namespace

int main(int argc, char **argv)
{
    BLApplication app(argc, argv);

    blapp::SingleInstance single(blapp::currentDesktopKey());
    if (single.acquire() == blapp::SingleInstance::Outcome::AnotherCopy) {
        showAlreadyRunning();
        return 0;
    }
    // Named only now: the lock file records the name the program had when it took the lock,
    // and a later start compares that with the running program's executable name.
    app.setApplicationName(blapp::appTitle());

    // The window first, then the data module; the window binds its fields when first shown.
    auto window = std::make_unique<TF_Principal>();
    auto dataModule = std::make_unique<TDM_BL>();
    blapp::installSafetyCopyNotice(*dataModule, *window);
    window->show();
    const int code = app.exec();
    window.reset();
    return code;
}
