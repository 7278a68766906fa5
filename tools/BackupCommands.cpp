// bl-tool backups and restore: the register's daily safety copies, for support staff.

#include "Commands.h"

#include "PxError.h"
#include "SafetyCopy.h"

#include <QDir>
#include <QRegularExpression>

#include <cstdio>

namespace bltool {

namespace {

// Lines to standard output; false (told on standard error) when they could not be written.
bool printLines(const QStringList &lines)
{
    const QByteArray out = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()) || std::fflush(stdout) != 0) {
        printError(QStringLiteral("falha ao escrever na saída padrão"));
        return false;
    }
    return true;
}

} // namespace

int backups(const QString &registerDb)
{
    const QVector<safetycopy::Copy> copies = safetycopy::dailyCopies(registerDb);
    if (copies.isEmpty())
        return printLines({QStringLiteral("Nenhuma cópia de segurança em %1")
                               .arg(QDir::toNativeSeparators(safetycopy::folderOf(registerDb)))})
                   ? Ok
                   : Error;
    QStringList lines;
    bool allSound = true;
    for (const safetycopy::Copy &c : copies) {
        const safetycopy::Check check = safetycopy::checkCopy(c.db);
        const QString day = c.day.toString(QStringLiteral("yyyy-MM-dd"));
        if (check.sound) {
            lines.append(QStringLiteral("%1  %2 registro(s)  OK").arg(day).arg(check.records));
        } else {
            lines.append(QStringLiteral("%1  danificada: %2").arg(day, check.problem));
            allSound = false;
        }
    }
    if (!printLines(lines))
        return Error;
    return allSound ? Ok : Problems;
}

int restore(const QString &registerDb, const QString &dayText)
{
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QDate day = QDate::fromString(dayText, QStringLiteral("yyyy-MM-dd"));
    if (!iso.match(dayText).hasMatch() || !day.isValid()) {
        printError(QStringLiteral("data inválida \"%1\" (esperado AAAA-MM-DD)").arg(dayText));
        return Error;
    }
    QString kept;
    try {
        kept = safetycopy::restore(registerDb, day, QDateTime::currentDateTime());
    } catch (const DataError &e) {
        printError(e.message());
        return Error;
    }
    const safetycopy::Check now = safetycopy::checkCopy(registerDb);
    QStringList lines{QStringLiteral("Cópia de %1 restaurada em %2: %3 registro(s)")
                          .arg(dayText, QDir::toNativeSeparators(registerDb))
                          .arg(now.records)};
    if (!kept.isEmpty())
        lines.append(QStringLiteral("O cadastro anterior foi guardado em %1").arg(QDir::toNativeSeparators(kept)));
    return printLines(lines) ? Ok : Error;
}

} // namespace bltool
