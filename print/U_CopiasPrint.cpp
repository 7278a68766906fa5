#include "U_CopiasPrint.h"

#include "PrintLogic.h"
#include "PrinterServices.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
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

TF_CopiasPrint::TF_CopiasPrint(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_CopiasPrint"));
    setWindowTitle(QStringLiteral("Impressão"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(274, 141);
    setFont(windowFont());

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setGeometry(0, 0, 274, 141);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *box = new QWidget;
    box->setObjectName(QStringLiteral("ScrollBoxContents"));
    box->resize(274, 141);
    ScrollBox1->setWidget(box);

    auto label = [box](const char *name, const QString &text, QRect geometry, bool bold) {
        auto *l = new QLabel(text, box);
        l->setObjectName(QLatin1String(name));
        l->setFont(windowFont(bold));
        setNavy(l);
        if (geometry.width() > 0) {
            l->setGeometry(geometry);  // fixed width: a longer name is cut at the right edge
        } else {
            l->move(geometry.topLeft());
            l->adjustSize();
        }
        return l;
    };
    Label1 = label("Label1", QStringLiteral("Selecione o número de cópias:"), {8, 23, 0, 0}, true);
    SpinEdit1 = new TSpinEdit(box);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setGeometry(199, 16, 57, 26);
    QFont spinFont(QStringLiteral("MS Sans Serif"));
    spinFont.setPointSize(10);
    spinFont.setBold(true);
    SpinEdit1->setFont(spinFont);
    SpinEdit1->setValue(1);
    Label2 = label("Label2", QStringLiteral("Impressora:"), {8, 48, 0, 0}, false);
    Label6 = label("Label6", QStringLiteral("Tipo:"), {8, 64, 0, 0}, false);
    Label5 = label("Label5", QString(), {42, 64, 223, 13}, true);
    Label3 = label("Label3", QStringLiteral("Onde:"), {8, 80, 0, 0}, false);
    Label4 = label("Label4", QString(), {42, 80, 223, 13}, true);

    BB_OK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("&Print"), box);
    BB_OK->setObjectName(QStringLiteral("BB_OK"));
    BB_OK->setGeometry(8, 104, 81, 25);
    BB_OK->setFont(windowFont(true));
    BB_OK->setToolTip(QStringLiteral("Impressão"));
    BB_OK->setDefault(true);
    BB_Cancela =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("&Cancela"), box);
    BB_Cancela->setObjectName(QStringLiteral("BB_Cancela"));
    BB_Cancela->setGeometry(96, 104, 81, 25);
    BB_Cancela->setFont(windowFont(true));
    BB_Cancela->setToolTip(QStringLiteral("Cancela impressão"));
    SB_Preview = new QToolButton(box);
    SB_Preview->setObjectName(QStringLiteral("SB_Preview"));
    SB_Preview->setText(QStringLiteral("Preview"));
    SB_Preview->setToolTip(QStringLiteral("Visualiza impressão"));
    SB_Preview->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    SB_Preview->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SB_Preview->setGeometry(183, 104, 81, 25);
    SB_Preview->setFont(windowFont(true));
    SB_Preview->setFocusPolicy(Qt::NoFocus);

    setTabOrder(BB_OK, BB_Cancela);
    setTabOrder(BB_Cancela, SpinEdit1);

    connect(BB_OK, &QPushButton::clicked, this, [this] { BB_OKClick(); });
    connect(BB_Cancela, &QPushButton::clicked, this, [this] { BB_CancelaClick(); });
    connect(SB_Preview, &QToolButton::clicked, this, [this] { SB_PreviewClick(); });
}

TF_CopiasPrint::~TF_CopiasPrint() = default;

void TF_CopiasPrint::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BB_Cancela->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TF_CopiasPrint::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown || event->spontaneous())
        return;
    m_shown = true;
    centreOnScreen(this);
    FormShow();
}

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
