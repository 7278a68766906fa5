#include "Startup.h"

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

} // namespace blapp
