#pragma once

// The B/L print dialog: prints the current B/L of the register at once on the default
// printer, through the printer dialog, or shows it in the preview. Every action builds one
// fresh B/L report form, fills it from the current record, runs it and destroys it.

#include "PrintDialog.h"

class QLabel;
class QPushButton;
class QToolButton;
class TDBMemo;
class TF_BLPrint;
class TMsgDlg;

class TF_PortaImpressora : public TPrintDialog
{
    Q_OBJECT
public:
    explicit TF_PortaImpressora(QWidget *parent = nullptr);
    ~TF_PortaImpressora() override;

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;  // the agency's trade name, set by the caller
    QLabel *Label5 = nullptr;  // the selected printer
    QPushButton *BB_OK = nullptr;
    QPushButton *BB_Cancela = nullptr;
    QToolButton *SB_Setup = nullptr;
    QToolButton *SB_Preview = nullptr;
    TDBMemo *DBMemo1 = nullptr;  // hidden line breakers for the two memo fields
    TDBMemo *DBMemo2 = nullptr;
    TMsgDlg *MsgDlg1 = nullptr;

    void BB_OKClick();
    void SB_SetupClick();
    void SB_PreviewClick();
    void BB_CancelaClick();

    // Fills a report form from the current record as every action does: memos, then labels.
    void fillReport(TF_BLPrint &form);

    // The report instance of the running action; nullptr between actions.
    TF_BLPrint *report() const { return m_report; }

protected:
    void FormShow() override;

private:
    void fillMemos(TF_BLPrint &form);
    void PreencheRelatorio(TF_BLPrint &form);
    // With no printer installed the clerk is told so and may preview instead. True when
    // this answered the action.
    bool offerPreviewWithoutPrinter();

    TF_BLPrint *m_report = nullptr;
};
