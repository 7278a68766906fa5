#pragma once

// The transfer-file chooser: makes a new, empty transfer file from the template pair or picks
// an existing one, points the data module's transfer table at it, opens it exclusively and
// runs the transfer window over it.

#include <QDialog>

class QButtonGroup;
class QFileDialog;
class QGroupBox;
class QRadioButton;
class QScrollArea;
class QShowEvent;
class QToolButton;
class TActivityStrip;
class TMsgDlg;

class TF_PreDisquete : public QDialog
{
    Q_OBJECT
public:
    explicit TF_PreDisquete(QWidget *owner = nullptr);
    ~TF_PreDisquete() override;

    // The marked option: 0 new file, 1 existing file, -1 none.
    int itemIndex() const;
    void setItemIndex(int index);

    // The text of the failed-copy message.
    static QString failureMessage();

    QScrollArea *ScrollBox1 = nullptr;
    TActivityStrip *Animate1 = nullptr;
    QGroupBox *RadioGroup1 = nullptr;
    QRadioButton *RadioNovo = nullptr;   // option 0
    QRadioButton *RadioAbrir = nullptr;  // option 1
    QToolButton *SpeedButton1 = nullptr;
    QFileDialog *SaveDialog1 = nullptr;
    QFileDialog *OpenDialog1 = nullptr;
    TMsgDlg *MsgDlg1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void RadioGroup1Click();
    void SpeedButton1Click();
    void CriaArquivoNovo();
    void AbreArquivoExistente();
    // Opens the transfer window over the open transfer table and waits until it closes.
    void openTransferWindow(const QString &fileName);

    QButtonGroup *m_options = nullptr;
    bool m_placed = false;
};
