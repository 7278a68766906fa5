#pragma once

// The transfer window: the local register above, the open transfer file below. Copies the
// current B/L into the transfer file (never a booking number twice), deletes from the
// transfer file, and opens the delivery receipt. The local register is never changed here.

#include <QDialog>

class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QToolButton;
class TDBGrid;
class TMsgDlg;

namespace disquete {

// "<file> - Quantidade de BL: <count>"
QString countCaption(const QString &fileName, quint32 count);
QString transferHint(const QString &fileName);
QString deleteHint(const QString &fileName);
QString duplicateMessage(const QString &fileName);
QString emptyRegisterMessage();
// The B/L shown as current is no longer in the register as shown (another copy deleted or
// rewrote it); nothing was copied.
QString goneMessage();

} // namespace disquete

class TF_Disquete : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Disquete(QWidget *owner = nullptr);
    ~TF_Disquete() override;

    // The transfer file's name as the chooser's dialog returned it; set before showing.
    QString fileName() const;
    void setFileName(const QString &name);

    QFrame *Panel1 = nullptr;
    QToolButton *SB_Transf = nullptr;
    QToolButton *SB_Protocolo = nullptr;
    QToolButton *SB_Delete = nullptr;
    QPushButton *BB_Fechar = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    TDBGrid *DBGrid1 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QLabel *Label1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    TDBGrid *DBGrid2 = nullptr;
    QLineEdit *Edit2 = nullptr;
    TMsgDlg *MsgDlg1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void done(int result) override;

private:
    void FormShow();
    void SB_TransfClick();
    void SB_DeleteClick();
    void SB_ProtocoloClick();
    void BB_FecharClick();
    void setCountCaption();

    bool m_shown = false;
};
