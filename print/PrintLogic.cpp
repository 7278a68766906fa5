#include "PrintLogic.h"

#include "Formats.h"

#include <QPalette>
#include <QWidget>

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

QFont windowFont(bool bold)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(bold);
    return f;
}

void setNavy(QWidget *w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 128));
    p.setColor(QPalette::ButtonText, QColor(0, 0, 128));
    w->setPalette(p);
}

} // namespace printlogic
