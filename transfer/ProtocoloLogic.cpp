#include "ProtocoloLogic.h"

#include "PrintLogic.h"

namespace protocolo {

QString bookingListLine(const QStringList &bookings)
{
    QString line;
    for (const QString &b : bookings)
        line += b + QStringLiteral("  -  ");
    return line;
}

Heading heading(const AgencyDetails &agency)
{
    Heading h;
    h.line1 = agency.razao;
    h.line2 = agency.endereco;
    h.line3 = agency.cidade;
    h.line4 = agency.teleFax;
    if (!agency.email.isEmpty())
        h.line5 = agency.email + QStringLiteral("    ") + agency.internet;
    else
        h.line5 = agency.internet;
    h.disclaimerEnd = agency.razao + QLatin1Char('.');
    return h;
}

QString issueMoment(const QString &city, const QDateTime &now, const QLocale &locale)
{
    const QDate d = now.date();
    const QTime t = now.time();
    const int hour12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
    return city + QStringLiteral(", ") + locale.dayName(d.dayOfWeek(), QLocale::LongFormat) + QStringLiteral(", ")
           + QString::number(d.day()) + QStringLiteral("  de ") + locale.monthName(d.month(), QLocale::LongFormat)
           + QStringLiteral(" de ") + QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'))
           + QStringLiteral(",  as  ") + QStringLiteral("%1:%2").arg(hour12, 2, 10, QLatin1Char('0')).arg(t.minute(), 2, 10, QLatin1Char('0'))
           + (t.hour() < 12 ? QStringLiteral(" AM") : QStringLiteral(" PM"));
}

QString fileLine(const QString &directory, const QString &tableName)
{
    if (directory.isEmpty() || directory.endsWith(QLatin1Char('/')))
        return directory + tableName;
    return directory + QLatin1Char('/') + tableName;
}

QString missingCompanyMessage()
{
    return QStringLiteral("Necessário nome da Empresa.");
}

QString missingCityMessage()
{
    return QStringLiteral("Necessário Cidade.");
}

QString emptyTransferMessage()
{
    return QStringLiteral("Não existe ref. de Reserva para este protocolo.");
}

QString noPrinterMessage()
{
    return printlogic::noPrinterMessage(QStringLiteral("o protocolo"));
}

} // namespace protocolo

#include "Table.h"

namespace protocolo {

QStringList bookingNumbers(Table &transfer)
{
    QStringList out;
    Field *ref = transfer.fieldByName(u"Di_Agentref");
    for (transfer.first(); !transfer.eof(); transfer.next())
        out.append(ref->asString());
    return out;
}

} // namespace protocolo
