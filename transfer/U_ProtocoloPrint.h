#pragma once

// The delivery receipt report: one A4 portrait page that names the agency, lists the booking
// numbers of a transfer file, names the client company and the file, and leaves blanks for
// the agency's clerk to fill in by hand. Never shown; created for one print or preview.

#include "ProtocoloLogic.h"
#include "QuickRep.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QWidget>

// What the receipt window hands to the report.
struct ReceiptData
{
    QString city;        // "Cidade:"
    QString company;     // "Empresa:"
    QString fileLine;    // the transfer table's directory and name
    QStringList bookings;
    QDateTime moment;    // the moment of issue
};

class TF_ProtocoloPrint : public QWidget
{
    Q_OBJECT
public:
    explicit TF_ProtocoloPrint(QWidget *parent = nullptr);
    ~TF_ProtocoloPrint() override;

    report::TQuickRep *QuickRep1 = nullptr;
    report::TQRBand *QRBand1 = nullptr;            // title
    report::TQRBand *ColumnHeaderBand1 = nullptr;  // the booking numbers; stretches
    report::TQRBand *QRBand2 = nullptr;            // summary: disclaimer and blanks
    report::TQRShape *QRShape1 = nullptr;

    // QRLabel1 ... QRLabel26 by number; nullptr for a number the form does not have.
    report::TQRLabel *label(int number) const;

    // Fills the value labels: the moment of issue, the client, the file, the list of
    // booking numbers, and the heading read from the agency details.
    void fill(const ReceiptData &data, const QLocale &locale);
    // The heading and the end of the disclaimer alone.
    void fillHeading(const protocolo::Heading &heading);
};

// The agency details block's lines as the receipt reads them.
protocolo::AgencyDetails agencyDetails();
