#include "U_Protocolo.h"

#include "DBControls.h"
#include "ErrorBox.h"
#include "MsgDlg.h"
#include "PrinterServices.h"
#include "ProtocoloLogic.h"
#include "Table.h"
#include "U_CopiasPrint.h"
#include "U_Endereco.h"
#include "U_ProtocoloPrint.h"
#include "WindowPlacement.h"
#include "WindowStyle.h"

#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>
#include <QValidator>

#include <memory>

namespace {

using namespace winstyle;

TF_Protocolo::Clock &clockRef()
{
    static TF_Protocolo::Clock clock;
    return clock;
}

// A bold label; with a width it keeps that width and centres its text.
QLabel *label(QWidget *parent, const char *name, const QString &text, QPoint at, const QColor &colour, int points,
              int width = 0)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(windowFont(true, points));
    setTextColour(l, colour);
    l->move(at);
    l->adjustSize();
    if (width > 0) {
        l->resize(width, l->height());
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    return l;
}

// Turns what the clerk types or pastes into upper case.
class UpperCase : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        input = dbcontrols::upperCased(input);
        return Acceptable;
    }
};

QLineEdit *edit(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setGeometry(geometry);
    e->setFont(windowFont());
    return e;
}

} // namespace

TF_Protocolo::Clock TF_Protocolo::setClock(Clock clock)
{
    Clock previous = std::move(clockRef());
    clockRef() = std::move(clock);
    return previous;
}

QDateTime TF_Protocolo::now()
{
    const Clock &c = clockRef();
    return c ? c() : QDateTime::currentDateTime();
}

TF_Protocolo::TF_Protocolo(QWidget *owner, Table &transfer) : QDialog(owner), m_transfer(transfer)
{
    setObjectName(QStringLiteral("F_Protocolo"));
    setWindowTitle(QStringLiteral("Protocolo da Relação de B/L"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(windowFont());
    const QSize client(394, 333);
    setFixedSize(client);

    ScrollBox1 = scrollBox(this, "ScrollBox1", QRect(QPoint(0, 0), client));
    QWidget *box = scrollBoxContents(ScrollBox1);

    Panel1 = new QFrame(box);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, client.width(), 41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Label9 = label(Panel1, "Label9", QStringLiteral("Data:"), {8, 12}, clRed, 12);
    Label10 = label(Panel1, "Label10", QString(), {56, 12}, clNavy, 12);
    SB_Impressao = toolButton(Panel1, "SB_Impressao", {285, 8, 25, 25}, QString(), QStringLiteral("Impressão"),
                              Glyph::Printer);
    BB_Fechar = pushButton(Panel1, "BB_Fechar", {347, 4, 33, 33}, QString(), QStringLiteral("Fechar"), Glyph::Door);

    Label2 = label(box, "Label2", QStringLiteral("Ref. da Reserva:"), {8, 48}, clNavy, 8, 145);
    ListBox2 = new QListWidget(box);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->setGeometry(8, 64, 145, 161);
    ListBox2->setSortingEnabled(false);

    GroupBox1 = groupBox(box, "GroupBox1", QString(), {160, 64, 225, 73});
    Label6 = label(GroupBox1, "Label6", QStringLiteral("Recebimento"), {4, 16}, clNavy, 10, 213);
    Label7 = label(GroupBox1, "Label7", QString(), {4, 40}, clRed, 10, 213);

    Label4 = label(box, "Label4", QStringLiteral("Cidade:"), {160, 188}, clRed, 8);
    Edit3 = edit(box, "Edit3", {160, 204, 225, 21});
    Edit3->setValidator(new UpperCase(Edit3));
    Label1 = label(box, "Label1", QStringLiteral("Arquivo:"), {8, 232}, clRed, 8);
    Edit2 = edit(box, "Edit2", {8, 248, 377, 21});
    Edit2->setReadOnly(true);
    Edit2->setEnabled(false);
    Label3 = label(box, "Label3", QStringLiteral("Empresa:"), {8, 280}, clRed, 8);
    Edit1 = edit(box, "Edit1", {8, 296, 377, 21});
    Edit1->setValidator(new UpperCase(Edit1));

    MsgDlg1 = TMsgDlg::createStandard(this, QStringLiteral("MsgDlg1"));

    setTabOrder(ListBox2, Edit3);
    setTabOrder(Edit3, Edit1);
    setTabOrder(Edit1, BB_Fechar);

    blapp::connectAction(SB_Impressao, &QToolButton::clicked, this, [this] { SB_ImpressaoClick(); });
    blapp::connectAction(BB_Fechar, &QPushButton::clicked, this, [this] { BB_FecharClick(); });
}

TF_Protocolo::~TF_Protocolo() = default;

void TF_Protocolo::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (placement::firstShow(this, event, m_shown))
        blapp::runGuarded([this] { FormShow(); });
}

void TF_Protocolo::keyPressEvent(QKeyEvent *event)
{
    // Only "Fechar" closes the window; Esc does not.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TF_Protocolo::FormShow()
{
    Label10->setText(QLocale().toString(now().date(), QLocale::ShortFormat));
    Label10->adjustSize();
    Edit3->setText(dbcontrols::upperCased(m_transfer.fieldByName(u"Di_LocalLoading")->asString()));
    TF_Endereco agency;
    Label7->setText(agency.EditFanta->text());
}

void TF_Protocolo::SB_ImpressaoClick()
{
    if (Edit1->text().isEmpty()) {
        MsgDlg1->DisplayMessage(protocolo::missingCompanyMessage(), mtInformation, {mbOK});
        Edit1->setFocus();
        return;
    }
    if (Edit3->text().isEmpty()) {
        MsgDlg1->DisplayMessage(protocolo::missingCityMessage(), mtInformation, {mbOK});
        Edit3->setFocus();
        return;
    }
    auto report = std::make_unique<TF_ProtocoloPrint>(this);
    ReceiptData data;
    data.city = Edit3->text();
    data.company = Edit1->text();
    data.fileLine = protocolo::fileLine(m_transfer.directory(), m_transfer.tableName());
    for (int i = 0; i < ListBox2->count(); ++i)
        data.bookings.append(ListBox2->item(i)->text());
    data.moment = now();
    report->fill(data, QLocale());
    runCopies(*report);
}

void TF_Protocolo::runCopies(TF_ProtocoloPrint &report)
{
    {
        TF_CopiasPrint copies(this);
        copies.exec();
    }
    // A print that silently does nothing would leave the clerk believing the receipt printed.
    if (CopiasImpressao > 0 && ModoImpressao.isEmpty() && !report::printerServices().hasPrinter()) {
        CopiasImpressao = 0;
        if (MsgDlg1->DisplayMessage(protocolo::noPrinterMessage(), mtConfirmation, {mbOK, mbCancel}) == mrOk)
            report.QuickRep1->preview(this);
        return;
    }
    while (CopiasImpressao > 0) {
        if (ModoImpressao.isEmpty())
            report.QuickRep1->print(this);
        else
            report.QuickRep1->preview(this);
        --CopiasImpressao;
    }
}

void TF_Protocolo::BB_FecharClick()
{
    close();
}

void openDeliveryReceipt(QWidget *owner, Table &transfer, const QString &countCaption)
{
    auto window = std::make_unique<TF_Protocolo>(owner, transfer);
    // Walking to the end leaves the table on its last record, whose city the window shows.
    window->ListBox2->addItems(protocolo::bookingNumbers(transfer));
    window->Edit2->setText(countCaption);
    window->exec();
    window->ListBox2->clear();
}
