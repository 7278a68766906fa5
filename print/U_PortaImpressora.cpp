#include "U_PortaImpressora.h"

#include "ErrorBox.h"
#include "DBControls.h"
#include "MsgDlg.h"
#include "PrintLogic.h"
#include "WindowStyle.h"
#include "PrinterServices.h"
#include "U_BLPrint.h"
#include "U_DM_BL.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

using namespace printlogic;
using namespace winstyle;

namespace {

// Lives for one action of the dialog, so the report exists only while it runs.
class ReportInstance
{
public:
    explicit ReportInstance(TF_BLPrint *&slot, QWidget *owner) : m_slot(slot)
    {
        m_slot = new TF_BLPrint(owner);
    }
    ~ReportInstance()
    {
        delete m_slot;
        m_slot = nullptr;
    }
    TF_BLPrint &operator*() const { return *m_slot; }
    TF_BLPrint *operator->() const { return m_slot; }

private:
    TF_BLPrint *&m_slot;
};

} // namespace

TF_PortaImpressora::TF_PortaImpressora(QWidget *parent)
    : TPrintDialog(QStringLiteral("F_PortaImpressora"), QSize(366, 111), parent)
{
    MsgDlg1 = TMsgDlg::createStandard(this, QStringLiteral("MsgDlg1"));

    Label1 = addLabel("Label1", QStringLiteral("Emissão de B/L:"), {8, 16, 0, 0}, false);
    Label2 = addLabel("Label2", QString(), {96, 16, 0, 0}, true);
    Label5 = addLabel("Label5", QString(), {8, 40, 0, 0}, true);

    BB_OK = addButton("BB_OK", QStringLiteral("&Print"), QStringLiteral("Impressão"),
                      style()->standardIcon(QStyle::SP_DialogOkButton), {8, 72, 81, 25});
    BB_OK->setDefault(true);
    BB_OK->setAutoDefault(true);
    BB_Cancela = addButton("BB_Cancela", QStringLiteral("&Cancel"), QStringLiteral("Cancela Impressão"),
                           style()->standardIcon(QStyle::SP_DialogCancelButton), {96, 72, 81, 25});
    BB_Cancela->setAutoDefault(true);
    m_cancel = BB_Cancela;
    SB_Setup = addTool("SB_Setup", QStringLiteral("&Setup"), QStringLiteral("Configura Impressora"),
                       style()->standardIcon(QStyle::SP_FileDialogDetailedView), {184, 72, 81, 25});
    // A tool button's mnemonic is not bound by Qt; Alt+S reaches it through a shortcut.
    SB_Setup->setShortcut(QKeySequence(QStringLiteral("Alt+S")));
    SB_Preview = addTool("SB_Preview", QStringLiteral("Preview"), QString(),
                         style()->standardIcon(QStyle::SP_FileDialogContentsView), {272, 72, 81, 25});

    auto memo = [this](const char *name, const char *field, const QRect &geometry) {
        auto *m = new TDBMemo(box());
        m->setObjectName(QLatin1String(name));
        m->setGeometry(geometry);
        m->setFont(windowFont());
        m->setDataField(QLatin1String(field));
        m->setFocusPolicy(Qt::NoFocus);
        m->setReadOnly(true);
        if (DM_BL)
            m->setDataSource(DM_BL->DS_Cliente);
        return m;
    };
    // The widths of the entry window's memos, below the visible area, so the lines break
    // where the clerk saw them.
    DBMemo1 = memo("DBMemo1", "Bl_Marks1", {8, 118, 129, 329});
    DBMemo2 = memo("DBMemo2", "Bl_Marks2", {162, 118, 305, 329});

    setTabOrder(BB_OK, BB_Cancela);

    blapp::connectAction(BB_OK, &QPushButton::clicked, this, [this] { BB_OKClick(); });
    blapp::connectAction(BB_Cancela, &QPushButton::clicked, this, [this] { BB_CancelaClick(); });
    blapp::connectAction(SB_Setup, &QToolButton::clicked, this, [this] { SB_SetupClick(); });
    blapp::connectAction(SB_Preview, &QToolButton::clicked, this, [this] { SB_PreviewClick(); });
}

TF_PortaImpressora::~TF_PortaImpressora() = default;

void TF_PortaImpressora::FormShow()
{
    report::PrinterServices &services = report::printerServices();
    const int current = services.currentPrinter();
    Label5->setText(current >= 0 ? services.printerName(current) : noPrinterName());
    Label5->adjustSize();
    Label2->adjustSize();
    BB_Cancela->setFocus();
}

void TF_PortaImpressora::fillMemos(TF_BLPrint &form)
{
    form.QRMemo1->setLines(DBMemo1->displayLines());
    form.QRMemo2->setLines(DBMemo2->displayLines());
}

void TF_PortaImpressora::PreencheRelatorio(TF_BLPrint &form)
{
    const QLocale locale;
    auto text = [&](int label, Field *field) { form.label(label)->setCaption(field->asString()); };
    auto number = [&](int label, Field *field) {
        std::optional<double> v;
        if (!field->isNull())
            v = field->asFloat();
        form.label(label)->setCaption(numberText(v, locale));
    };
    TDM_BL &dm = *DM_BL;
    Field *const parties[] = {
        dm.Tbl_BLClienteBl_Shipper1, dm.Tbl_BLClienteBl_Shipper2, dm.Tbl_BLClienteBl_Shipper3,
        dm.Tbl_BLClienteBl_Shipper4, dm.Tbl_BLClienteBl_Shipper5, dm.Tbl_BLClienteBl_Cnee1,
        dm.Tbl_BLClienteBl_Cnee2,    dm.Tbl_BLClienteBl_Cnee3,    dm.Tbl_BLClienteBl_Cnee4,
        dm.Tbl_BLClienteBl_Cnee5,    dm.Tbl_BLClienteBl_Notify1,  dm.Tbl_BLClienteBl_Notify2,
        dm.Tbl_BLClienteBl_Notify3,  dm.Tbl_BLClienteBl_Notify4,  dm.Tbl_BLClienteBl_Notify5,
    };
    for (int i = 0; i < 15; ++i)
        text(17 + i, parties[i]);
    text(32, dm.Tbl_BLClienteBl_BillofLading);
    text(33, dm.Tbl_BLClienteBl_ShipperRef);
    text(34, dm.Tbl_BLClienteBl_AgentRef);
    text(35, dm.Tbl_BLClienteBl_LocalVessel);
    text(36, dm.Tbl_BLClienteBl_LocalLoading);
    text(37, dm.Tbl_BLClienteBl_PortDischarg);
    text(38, dm.Tbl_BLClienteBl_FinalDestination);
    text(39, dm.Tbl_BLClienteBl_FreightPayable);
    number(40, dm.Tbl_BLClienteBl_Gross1);
    text(41, dm.Tbl_BLClienteBl_Gross2);
    number(42, dm.Tbl_BLClienteBl_Measu1);
    text(43, dm.Tbl_BLClienteBl_Measu2);
    number(44, dm.Tbl_BLClienteBl_Gross3);
    text(45, dm.Tbl_BLClienteBl_Gross4);
}

void TF_PortaImpressora::fillReport(TF_BLPrint &form)
{
    fillMemos(form);
    PreencheRelatorio(form);
}

bool TF_PortaImpressora::offerPreviewWithoutPrinter()
{
    if (report::printerServices().hasPrinter())
        return false;
    // A print that silently does nothing would leave the clerk believing the B/L printed.
    if (MsgDlg1->DisplayMessage(noPrinterMessage(), mtConfirmation, {mbOK, mbCancel}) == 1) {
        ReportInstance form(m_report, this);
        fillMemos(*form);
        PreencheRelatorio(*form);
        form->QuickRep1->preview(this);
    }
    accept();
    return true;
}

void TF_PortaImpressora::BB_OKClick()
{
    if (offerPreviewWithoutPrinter())
        return;
    {
        ReportInstance form(m_report, this);
        fillMemos(*form);
        PreencheRelatorio(*form);
        form->QuickRep1->print(this);
    }
    accept();
}

void TF_PortaImpressora::SB_SetupClick()
{
    if (offerPreviewWithoutPrinter())
        return;
    report::PrinterServices &services = report::printerServices();
    report::PrinterChoice choice;
    choice.index = services.printerIndex();
    choice.copies = services.copies();
    if (!services.printerDialog(this, choice))
        return;  // cancelled: the dialog stays open
    {
        ReportInstance form(m_report, this);
        fillMemos(*form);
        // Only the printer and the copies pass; paper, orientation and source stay the report's.
        form->QuickRep1->printerIndex = services.printerIndex();
        form->QuickRep1->copies = services.copies();
        PreencheRelatorio(*form);
        form->QuickRep1->print(this);
    }
    // The choice holds for this one print.
    services.setPrinterIndex(-1);
    services.setCopies(1);
    accept();
}

void TF_PortaImpressora::SB_PreviewClick()
{
    {
        ReportInstance form(m_report, this);
        fillMemos(*form);
        PreencheRelatorio(*form);
        form->QuickRep1->preview(this);
    }
    accept();
}

void TF_PortaImpressora::BB_CancelaClick()
{
    reject();
}
