#pragma once

// The receiving agency's details: logo, legal and trade names, address and contact lines.
// A never-shown holder of fixed design data. A reader creates it, reads what it needs and
// deletes it at once; nothing ever changes a value.

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QString>

class QLabel;
class QLineEdit;

class TF_Endereco : public QDialog
{
    Q_OBJECT
public:
    explicit TF_Endereco(QWidget *parent = nullptr);
    // The same holder with another logo (tests feed damaged pictures through this).
    TF_Endereco(QWidget *parent, const QByteArray &logoJpeg);
    ~TF_Endereco() override;

    // The controls by their design names.
    QLabel *ImageEmpresa = nullptr;   // the logo, 106 x 67 pixels
    QLineEdit *EditRazao = nullptr;   // legal company name
    QLineEdit *EditFanta = nullptr;   // trade name
    QLabel *LabelEndereco = nullptr;  // street address
    QLabel *LabelCidade = nullptr;    // city, state and country
    QLabel *LabelTeleFax = nullptr;   // postal code, telephone and fax; may be empty
    QLabel *LabelInternet = nullptr;  // web address; may be empty
    QLabel *LabelEmail = nullptr;     // e-mail address with its label; may be empty

    // The logo as decoded; a null image when the picture could not be decoded.
    QImage logo() const { return m_logo; }
    // Why the logo could not be decoded; empty when it was.
    const QString &logoError() const { return m_logoError; }

private:
    void build(const QByteArray &logoJpeg);

    QImage m_logo;
    QString m_logoError;
};

// The built-in logo's JPEG bytes.
QByteArray agencyLogoJpeg();
