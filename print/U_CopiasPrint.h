#pragma once

// The copies dialog: how often the caller is to print its report, or whether to preview it
// instead, with the printer currently selected on the desktop. It prints nothing itself; the
// caller reads the two results after it closes.

#include "PrintDialog.h"

#include <QSpinBox>
#include <QString>

class QLabel;
class QPushButton;
class QToolButton;

// Results kept between uses: how many times to run the report (0: nothing), and empty to
// print or "Mostra o Formulario" to preview.
extern int CopiasImpressao;
extern QString ModoImpressao;
inline const QString ModoPreview = QStringLiteral("Mostra o Formulario");

// The numeric spin field: the arrows step within its range, while typing accepts any
// integer-like text, which the dialog brings into range itself.
class TSpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget *parent = nullptr);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    int valueFromText(const QString &text) const override;
};

class TF_CopiasPrint : public TPrintDialog
{
    Q_OBJECT
public:
    explicit TF_CopiasPrint(QWidget *parent = nullptr);
    ~TF_CopiasPrint() override;

    QLabel *Label1 = nullptr;
    TSpinEdit *SpinEdit1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label5 = nullptr;  // device name
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;  // port
    QPushButton *BB_OK = nullptr;
    QPushButton *BB_Cancela = nullptr;
    QToolButton *SB_Preview = nullptr;

    void BB_OKClick();
    void BB_CancelaClick();
    void SB_PreviewClick();

protected:
    void FormShow() override;
};
