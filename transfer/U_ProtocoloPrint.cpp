#include "U_ProtocoloPrint.h"

#include "U_Endereco.h"

#include <QLabel>
#include <QLineEdit>

using namespace report;

namespace {

// Label heights by font size, in tenths of a millimetre.
constexpr double Height8 = 39.7;
constexpr double Height10 = 45.0;
constexpr double Height14 = 66.1;

constexpr double BandWidth = 1846.8;

struct LabelDef
{
    int number;
    const char *text;  // fixed text, or nullptr for a value label
    double left;
    double top;
    double size;  // points; 0 for the report font
    bool bold;
    bool underline = false;
};

const LabelDef TitleLabels[] = {
    {1, nullptr, 42.3, 84.7, 14, true},
    {2, nullptr, 42.3, 169.3, 8, false},
    {3, nullptr, 42.3, 211.7, 8, false},
    {4, nullptr, 42.3, 254.0, 8, false},
    {5, nullptr, 42.3, 296.3, 8, false},
    {15, "Emissão:", 42.3, 635.0, 10, true},
    {20, nullptr, 359.8, 635.0, 0, false},
    {8, "Cliente:", 42.3, 719.7, 10, true},
    {9, nullptr, 359.8, 719.7, 0, false},
};

const LabelDef HeaderLabels[] = {
    {10, "Ref. de Reservas:", 42.3, 21.2, 10, true},
};

const LabelDef SummaryLabels[] = {
    {16, "Recebemos do Cliente acima um arquivo contendo as ref. de reservas mencionadas neste documento.",
     42.3, 21.2, 10, false},
    {17, "Este protocolo não  garante  os dados  gravados  no  disquete em anexo, até que se faça a verificação ",
     42.3, 84.7, 10, false},
    {23, "física do mesmo no sistema da  ", 42.3, 148.2, 10, false},
    {7, nullptr, 563.6, 148.2, 10, true},
    {22, "Disquete:", 42.3, 359.8, 10, true},
    {21, "___________________", 254.0, 359.8, 0, false},
    {13, "Data:", 42.3, 486.8, 10, true},
    {14, "______/______/______", 254.0, 486.8, 0, false},
    {18, "Arquivo:", 719.7, 486.8, 10, true},
    {19, nullptr, 889.0, 486.8, 0, false},
    {26, "Hora:", 42.3, 613.8, 10, true},
    {25, "______:______:______", 254.0, 613.8, 0, false},
    {12, "Assinatura:", 42.3, 740.8, 10, true},
    {24, "________________________________________________________", 254.0, 740.8, 0, false},
};

TQRLabel *addLabel(TQRBand *band, const LabelDef &d)
{
    auto *l = new TQRLabel(band, QStringLiteral("QRLabel%1").arg(d.number));
    l->left = d.left;
    l->top = d.top;
    l->width = 0;
    l->wordWrap = true;
    l->color = Qt::white;
    const double size = d.size > 0 ? d.size : 10;
    l->height = size >= 14 ? Height14 : size >= 10 ? Height10 : Height8;
    if (d.size > 0) {
        FontSpec f;
        f.pointSize = d.size;
        f.bold = d.bold;
        f.underline = d.underline;
        l->setFont(f);
    }
    l->setCaption(d.text ? QString::fromUtf8(d.text) : QString());
    return l;
}

template <size_t N>
void addLabels(TQRBand *band, const LabelDef (&defs)[N])
{
    for (const LabelDef &d : defs)
        addLabel(band, d);
}

} // namespace

TF_ProtocoloPrint::TF_ProtocoloPrint(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("F_ProtocoloPrint"));
    setWindowTitle(QStringLiteral("impressao do protocolo"));
    QuickRep1 = new TQuickRep(this, QStringLiteral("QuickRep1"));
    QuickRep1->setPaperSize(PaperSize::A4);
    QuickRep1->orientation = Orientation::Portrait;
    QuickRep1->topMargin = QuickRep1->bottomMargin = QuickRep1->leftMargin = QuickRep1->rightMargin = 127;
    QuickRep1->printIfEmpty = true;
    QuickRep1->font = FontSpec{};  // Arial 10 pt

    QRBand1 = new TQRBand(QuickRep1, QStringLiteral("QRBand1"), BandKind::Title, 785.8);
    addLabels(QRBand1, TitleLabels);
    QRShape1 = new TQRShape(QRBand1, QStringLiteral("QRShape1"), TQRShape::Shape::HorLine);
    QRShape1->left = 42.3;
    QRShape1->top = 148.2;
    QRShape1->width = 1738.3;
    QRShape1->height = 23.8;
    // "Protocolo" keeps its centre on the band's centre whatever its width.
    auto *title = addLabel(QRBand1, {6, "Protocolo", BandWidth / 2, 444.5, 16, true, true});
    title->alignment = Alignment::Center;
    title->width = 0;
    title->left = BandWidth / 2;
    title->adjustSize();

    ColumnHeaderBand1 = new TQRBand(QuickRep1, QStringLiteral("ColumnHeaderBand1"), BandKind::ColumnHeader, 84.7);
    addLabels(ColumnHeaderBand1, HeaderLabels);
    auto *list = addLabel(ColumnHeaderBand1, {11, nullptr, 359.8, 21.2, 0, false});
    list->autoSize = false;
    list->width = 1420.8;
    list->wordWrap = true;
    list->autoStretch = true;

    QRBand2 = new TQRBand(QuickRep1, QStringLiteral("QRBand2"), BandKind::Summary, 825.5);
    addLabels(QRBand2, SummaryLabels);
}

TF_ProtocoloPrint::~TF_ProtocoloPrint() = default;

TQRLabel *TF_ProtocoloPrint::label(int number) const
{
    return QuickRep1->control<TQRLabel>(QStringLiteral("QRLabel%1").arg(number));
}

void TF_ProtocoloPrint::fillHeading(const protocolo::Heading &h)
{
    label(1)->setCaption(h.line1);
    label(2)->setCaption(h.line2);
    label(3)->setCaption(h.line3);
    label(4)->setCaption(h.line4);
    label(5)->setCaption(h.line5);
    label(7)->setCaption(h.disclaimerEnd);
}

void TF_ProtocoloPrint::fill(const ReceiptData &data, const QLocale &locale)
{
    label(20)->setCaption(protocolo::issueMoment(data.city, data.moment, locale));
    label(9)->setCaption(data.company);
    label(19)->setCaption(data.fileLine);
    label(11)->setCaption(protocolo::bookingListLine(data.bookings));
    fillHeading(protocolo::heading(agencyDetails()));
}

protocolo::AgencyDetails agencyDetails()
{
    TF_Endereco block;
    protocolo::AgencyDetails a;
    a.razao = block.EditRazao->text();
    a.endereco = block.LabelEndereco->text();
    a.cidade = block.LabelCidade->text();
    a.teleFax = block.LabelTeleFax->text();
    a.email = block.LabelEmail->text();
    a.internet = block.LabelInternet->text();
    return a;
}
