#include "U_BLPrint.h"

using namespace report;

namespace {

// One line of the report font: 4.5 mm.
constexpr double LabelHeight = 44.98;

struct LabelDef
{
    int number;
    const char *text;  // fixed heading, or nullptr for a value label
    Alignment align;
    double edge;  // the kept edge: left for left-aligned, right for right-aligned
    double top;
    bool bold;
};

// Title band: headings, then value labels.
const LabelDef TitleLabels[] = {
    {1, "Shipper:", Alignment::Left, 42, 21, false},
    {2, "Consignee:", Alignment::Left, 42, 318, false},
    {3, "Notify:", Alignment::Left, 995, 318, false},
    {14, "Bill of Lading No.:", Alignment::Right, 1548, 42, false},
    {15, "Shippers Ref.:", Alignment::Right, 1548, 138, false},
    {16, "Nr. da Reserva:", Alignment::Right, 1548, 212, false},
    {9, "Local vessel:", Alignment::Right, 249, 614, false},
    {10, "Local port of loading:", Alignment::Right, 368, 677, false},
    {11, "Port of discharge:", Alignment::Right, 320, 733, false},
    {12, "Final destination (if on-carriage):", Alignment::Right, 1421, 614, false},
    {13, "Freight payable at:", Alignment::Right, 1421, 677, false},
    {17, nullptr, Alignment::Left, 42, 63, false},
    {18, nullptr, Alignment::Left, 42, 106, false},
    {19, nullptr, Alignment::Left, 42, 148, false},
    {20, nullptr, Alignment::Left, 42, 191, false},
    {21, nullptr, Alignment::Left, 42, 233, false},
    {22, nullptr, Alignment::Left, 42, 360, false},
    {23, nullptr, Alignment::Left, 42, 402, false},
    {24, nullptr, Alignment::Left, 42, 445, false},
    {25, nullptr, Alignment::Left, 42, 487, false},
    {26, nullptr, Alignment::Left, 42, 529, false},
    {27, nullptr, Alignment::Left, 995, 360, false},
    {28, nullptr, Alignment::Left, 995, 402, false},
    {29, nullptr, Alignment::Left, 995, 445, false},
    {30, nullptr, Alignment::Left, 995, 487, false},
    {31, nullptr, Alignment::Left, 995, 529, false},
    {32, nullptr, Alignment::Left, 1585, 42, false},
    {33, nullptr, Alignment::Left, 1585, 138, false},
    {34, nullptr, Alignment::Left, 1585, 212, false},
    {35, nullptr, Alignment::Left, 381, 614, false},
    {36, nullptr, Alignment::Left, 381, 677, false},
    {37, nullptr, Alignment::Left, 381, 733, false},
    {38, nullptr, Alignment::Left, 1437, 614, false},
    {39, nullptr, Alignment::Left, 1437, 677, false},
};

const LabelDef DetailLabels[] = {
    {7, "Marks and Numbers:", Alignment::Left, 42, 21, true},
    {8, "Description of packages and goods", Alignment::Left, 529, 21, true},
    {4, "Gross Weight", Alignment::Right, 1844, 21, false},
    {40, nullptr, Alignment::Right, 1844, 85, false},
    {41, nullptr, Alignment::Right, 1844, 127, false},
    {5, "Measurement", Alignment::Right, 1844, 212, false},
    {42, nullptr, Alignment::Right, 1844, 275, false},
    {43, nullptr, Alignment::Right, 1844, 318, false},
    {6, "Net Weight", Alignment::Right, 1844, 402, false},
    {44, nullptr, Alignment::Right, 1844, 466, false},
    {45, nullptr, Alignment::Right, 1844, 508, false},
};

void addLabels(TQRBand *band, const LabelDef *defs, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const LabelDef &d = defs[i];
        auto *l = new TQRLabel(band, QStringLiteral("QRLabel%1").arg(d.number));
        l->alignment = d.align;
        l->left = d.edge;  // zero width: the kept edge is both edges until the text comes
        l->width = 0;
        l->top = d.top;
        l->height = LabelHeight;
        l->color = Qt::white;
        if (d.bold) {
            FontSpec f;
            f.bold = true;
            l->setFont(f);
        }
        l->setCaption(d.text ? QString::fromLatin1(d.text) : QString());
    }
}

TQRMemo *addMemo(TQRBand *band, const char *name, double left, double width)
{
    auto *m = new TQRMemo(band, QLatin1String(name));
    m->left = left;
    m->top = 85;
    m->width = width;
    m->height = 1823;
    m->wordWrap = true;
    m->autoStretch = true;
    m->color = Qt::white;
    return m;
}

} // namespace

TF_BLPrint::TF_BLPrint(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("F_BLPrint"));
    QuickRep1 = new TQuickRep(this, QStringLiteral("QuickRep1"));
    QuickRep1->setPaperSize(PaperSize::A4);
    QuickRep1->orientation = Orientation::Portrait;
    QuickRep1->topMargin = QuickRep1->bottomMargin = QuickRep1->leftMargin = QuickRep1->rightMargin = 100;
    QuickRep1->printIfEmpty = true;
    QuickRep1->font = FontSpec{};  // Arial 10 pt

    ColumnHeaderBand1 = new TQRBand(QuickRep1, QStringLiteral("ColumnHeaderBand1"), BandKind::Title, 791);
    QRBand1 = new TQRBand(QuickRep1, QStringLiteral("QRBand1"), BandKind::Detail, 1926);
    addLabels(ColumnHeaderBand1, TitleLabels, std::size(TitleLabels));
    addLabels(QRBand1, DetailLabels, std::size(DetailLabels));
    QRMemo1 = addMemo(QRBand1, "QRMemo1", 42, 341);
    QRMemo2 = addMemo(QRBand1, "QRMemo2", 529, 807);
    // A long goods text runs onto further pages; each says which B/L it belongs to.
    QuickRep1->continuationHeader = [this](int page, int count) {
        return std::pair{QStringLiteral("B/L: %1    Nr. da Reserva: %2").arg(label(32)->caption(), label(34)->caption()),
                         QStringLiteral("Página %1 de %2").arg(page).arg(count)};
    };
}

TF_BLPrint::~TF_BLPrint() = default;

TQRLabel *TF_BLPrint::label(int number) const
{
    return QuickRep1->control<TQRLabel>(QStringLiteral("QRLabel%1").arg(number));
}
