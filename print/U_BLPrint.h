#pragma once

// The B/L report form: the printed Bill of Lading on one A4 portrait page, headings and
// values alike. Never shown; the print dialog creates it for one print or preview, fills its
// value labels and memos and destroys it.

#include "QuickRep.h"

#include <QWidget>

class TF_BLPrint : public QWidget
{
    Q_OBJECT
public:
    explicit TF_BLPrint(QWidget *parent = nullptr);
    ~TF_BLPrint() override;

    report::TQuickRep *QuickRep1 = nullptr;
    report::TQRBand *ColumnHeaderBand1 = nullptr;  // title band
    report::TQRBand *QRBand1 = nullptr;            // detail band
    report::TQRMemo *QRMemo1 = nullptr;            // marks and numbers
    report::TQRMemo *QRMemo2 = nullptr;            // packages and goods

    // QRLabel1 ... QRLabel45 by number; nullptr for a number the form does not have.
    report::TQRLabel *label(int number) const;
};
