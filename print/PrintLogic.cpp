#include "PrintLogic.h"

#include "Formats.h"


namespace printlogic {

QString numberText(std::optional<double> value, const QLocale &locale)
{
    return formats::formatNumber(value.value_or(0.0), locale);
}

int copiesFromText(const QString &text, const QLocale &locale)
{
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const qlonglong n = strict.toLongLong(text.trimmed(), &ok);
    if (!ok)
        return MinCopies;
    return int(std::clamp<qlonglong>(n, MinCopies, MaxCopies));
}

QString noPrinterMessage(const QString &document)
{
    return QStringLiteral("Não há nenhuma impressora instalada neste computador.\r"
                          "Deseja visualizar %1 na tela? Na visualização ele pode ser salvo em PDF.")
        .arg(document);
}

QString noPrinterName()
{
    return QStringLiteral("(nenhuma impressora instalada)");
}

} // namespace printlogic
