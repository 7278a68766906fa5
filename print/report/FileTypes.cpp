#include "FileTypes.h"

#include <QFileInfo>

namespace report {

QString PortugueseFileTypes::type(const QFileInfo &info) const
{
    // Also asked from the file system model's own thread: reads nothing but the name.
    if (!info.isFile())
        return QFileIconProvider::type(info);
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("db"))
        return QStringLiteral("Tabela Paradox");
    if (suffix == QLatin1String("mb"))
        return QStringLiteral("Memorandos de tabela Paradox");
    if (suffix == QLatin1String("qrp"))
        return QStringLiteral("Relatório salvo");
    if (suffix == QLatin1String("pdf"))
        return QStringLiteral("Documento PDF");
    return suffix.isEmpty() ? QStringLiteral("Arquivo") : QStringLiteral("Arquivo ") + suffix.toUpper();
}

QAbstractFileIconProvider *portugueseFileTypes()
{
    static PortugueseFileTypes provider;
    return &provider;
}

} // namespace report
