#pragma once

// The delivery receipt's texts, computed without any window: the line of booking numbers,
// the heading lines taken from the agency details, the moment of issue and the file line.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace protocolo {

// Every booking number followed by "  -  ", the last one included.
QString bookingListLine(const QStringList &bookings);

// The agency details as the receipt reads them.
struct AgencyDetails
{
    QString razao;     // legal name
    QString endereco;  // street address
    QString cidade;    // city, state and country
    QString teleFax;   // postal code, telephone and fax; may be empty
    QString email;     // may be empty
    QString internet;  // web address; may be empty
};

// The five heading lines and the end of the disclaimer.
struct Heading
{
    QString line1, line2, line3, line4, line5;
    QString disclaimerEnd;  // the legal name followed by "."
};
Heading heading(const AgencyDetails &agency);

// "CURITIBA, domingo, 6  de dezembro de 2026,  as  06:34 PM": the city, then the date with the
// locale's long weekday and month names and the time on the 12-hour clock. The blanks are the
// printed form's own and stay as they are.
QString issueMoment(const QString &city, const QDateTime &now, const QLocale &locale);

// The transfer table's directory, with one trailing separator, followed by its table name as
// it was set: without extension for a file made in this run, with ".DB" for an opened one.
QString fileLine(const QString &directory, const QString &tableName);

// The messages of the receipt.
QString missingCompanyMessage();
QString missingCityMessage();
QString emptyTransferMessage();
// The clerk is told this when there is no printer, and offered the preview instead.
QString noPrinterMessage();

} // namespace protocolo

class Table;

namespace protocolo {

// The booking numbers of the transfer table, from the first record to the end, in the
// table's order. The cursor is left on the last record.
QStringList bookingNumbers(Table &transfer);

} // namespace protocolo
