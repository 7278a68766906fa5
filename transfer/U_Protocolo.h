#pragma once

// The delivery receipt window: the booking numbers of the transfer file, the agency that
// receives it, and the city and company the clerk types; its print button fills the receipt
// report and prints or previews it as often as the copies dialog says.

#include <QDateTime>
#include <QDialog>

#include <functional>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QToolButton;
class Table;
class TF_ProtocoloPrint;
class TMsgDlg;

class TF_Protocolo : public QDialog
{
    Q_OBJECT
public:
    // transfer: the open transfer table, standing on its last record.
    TF_Protocolo(QWidget *owner, Table &transfer);
    ~TF_Protocolo() override;

    QScrollArea *ScrollBox1 = nullptr;
    QFrame *Panel1 = nullptr;
    QLabel *Label9 = nullptr;   // "Data:"
    QLabel *Label10 = nullptr;  // today's date
    QToolButton *SB_Impressao = nullptr;
    QPushButton *BB_Fechar = nullptr;
    QLabel *Label2 = nullptr;
    QListWidget *ListBox2 = nullptr;  // the booking numbers
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;  // the agency's trade name
    QLabel *Label4 = nullptr;
    QLineEdit *Edit3 = nullptr;  // city of issue
    QLabel *Label1 = nullptr;
    QLineEdit *Edit2 = nullptr;  // the transfer file line
    QLabel *Label3 = nullptr;
    QLineEdit *Edit1 = nullptr;  // client company
    TMsgDlg *MsgDlg1 = nullptr;

    void FormShow();
    void SB_ImpressaoClick();
    void BB_FecharClick();

    // The moment of issue and today's date come from here; empty: the system clock.
    using Clock = std::function<QDateTime()>;
    static Clock setClock(Clock clock);  // returns the previous one
    static QDateTime now();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void runCopies(TF_ProtocoloPrint &report);

    Table &m_transfer;
    bool m_shown = false;
};

// The transfer window's "Protocolo de Entrega": the receipt window made with the transfer
// file's booking numbers, from the first record to the end, and the count caption; shown
// modally, then its list cleared and the window freed. The transfer table must hold records.
void openDeliveryReceipt(QWidget *owner, Table &transfer, const QString &countCaption);
