#include "U_CopiasPrint.h"

#include "ErrorBox.h"
#include "PrintLogic.h"
#include "PrinterServices.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

using namespace printlogic;

int CopiasImpressao = 0;
QString ModoImpressao;

TSpinEdit::TSpinEdit(QWidget *parent) : QSpinBox(parent)
{
    setRange(MinCopies, MaxCopies);
}

QValidator::State TSpinEdit::validate(QString &input, int &) const
{
    const QLocale l = locale();
    for (const QChar c : input)
        if (!c.isDigit() && c != u'+' && c != u'-' && c != l.decimalPoint().at(0))
            return QValidator::Invalid;
    return QValidator::Acceptable;
}

int TSpinEdit::valueFromText(const QString &text) const
{
    return copiesFromText(text, locale());
}

TF_CopiasPrint::TF_CopiasPrint(QWidget *parent)
    : TPrintDialog(QStringLiteral("F_CopiasPrint"), QSize(274, 141), parent)
{
    Label1 = addLabel("Label1", QStringLiteral("Selecione o número de cópias:"), {8, 23, 0, 0}, true);
    SpinEdit1 = new TSpinEdit(box());
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setGeometry(199, 16, 57, 26);
    QFont spinFont(QStringLiteral("MS Sans Serif"));
    spinFont.setPointSize(10);
    spinFont.setBold(true);
    SpinEdit1->setFont(spinFont);
    SpinEdit1->setValue(1);
    Label2 = addLabel("Label2", QStringLiteral("Impressora:"), {8, 48, 0, 0}, false);
    Label6 = addLabel("Label6", QStringLiteral("Tipo:"), {8, 64, 0, 0}, false);
    // Fixed widths: a longer name is cut at the right edge.
    Label5 = addLabel("Label5", QString(), {42, 64, 223, 13}, true);
    Label3 = addLabel("Label3", QStringLiteral("Onde:"), {8, 80, 0, 0}, false);
    Label4 = addLabel("Label4", QString(), {42, 80, 223, 13}, true);

    BB_OK = addButton("BB_OK", QStringLiteral("&Print"), QStringLiteral("Impressão"),
                      style()->standardIcon(QStyle::SP_DialogOkButton), {8, 104, 81, 25});
    BB_OK->setDefault(true);
    BB_Cancela = addButton("BB_Cancela", QStringLiteral("&Cancela"), QStringLiteral("Cancela impressão"),
                           style()->standardIcon(QStyle::SP_DialogCancelButton), {96, 104, 81, 25});
    m_cancel = BB_Cancela;
    SB_Preview = addTool("SB_Preview", QStringLiteral("Preview"), QStringLiteral("Visualiza impressão"),
                         style()->standardIcon(QStyle::SP_FileDialogContentsView), {183, 104, 81, 25});

    setTabOrder(BB_OK, BB_Cancela);
    setTabOrder(BB_Cancela, SpinEdit1);

    blapp::connectAction(BB_OK, &QPushButton::clicked, this, [this] { BB_OKClick(); });
    blapp::connectAction(BB_Cancela, &QPushButton::clicked, this, [this] { BB_CancelaClick(); });
    blapp::connectAction(SB_Preview, &QToolButton::clicked, this, [this] { SB_PreviewClick(); });
}

TF_CopiasPrint::~TF_CopiasPrint() = default;

void TF_CopiasPrint::FormShow()
{
    report::PrinterServices &services = report::printerServices();
    const int current = services.currentPrinter();
    if (current < 0) {
        Label5->setText(noPrinterName());
        Label4->clear();
    } else {
        // Each text is kept within 255 characters, as the printer services hand them over.
        Label5->setText(services.deviceName(current).left(255));
        Label4->setText(services.port(current).left(255));
    }
    BB_OK->setFocus();
}

void TF_CopiasPrint::BB_OKClick()
{
    ModoImpressao.clear();
    CopiasImpressao = copiesFromText(SpinEdit1->text(), SpinEdit1->locale());
    accept();
}

void TF_CopiasPrint::BB_CancelaClick()
{
    ModoImpressao.clear();
    CopiasImpressao = 0;
    reject();
}

void TF_CopiasPrint::SB_PreviewClick()
{
    ModoImpressao = ModoPreview;
    CopiasImpressao = 1;
    accept();
}
