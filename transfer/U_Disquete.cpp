#include "U_Disquete.h"

#include "BLTransfer.h"
#include "DBGrid.h"
#include "ErrorBox.h"
#include "MsgDlg.h"
#include "ProtocoloLogic.h"
#include "U_DM_BL.h"
#include "U_Protocolo.h"
#include "WindowPlacement.h"
#include "WindowStyle.h"

#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

using namespace winstyle;

namespace disquete {

QString countCaption(const QString &fileName, quint32 count)
{
    return fileName + QStringLiteral(" - Quantidade de BL: ") + QString::number(count);
}

QString transferHint(const QString &fileName)
{
    return QStringLiteral("Copia BL para - ") + fileName;
}

QString deleteHint(const QString &fileName)
{
    return QStringLiteral("Deleta BL de - ") + fileName;
}

QString duplicateMessage(const QString &fileName)
{
    return QStringLiteral("Este BL já está em ") + fileName;
}

QString goneMessage()
{
    return QStringLiteral("Este BL não está mais no seu computador: outra cópia do programa o apagou ou alterou."
                          "\rA lista acima mostra agora os BLs que o seu computador tem.");
}

QString emptyRegisterMessage()
{
    return QStringLiteral("Não há nenhum BL no seu computador para transferir.");
}

} // namespace disquete

namespace {

TDBGrid *transferGrid(QWidget *parent, const char *name, const QList<TDBGridColumn> &columns)
{
    auto *g = new TDBGrid(parent);
    g->setObjectName(QLatin1String(name));
    g->setGeometry(8, 16, 705, 183);
    g->setFont(windowFont());
    setTextColour(g, clBlack);
    QPalette cells = g->palette();
    cells.setColor(QPalette::Text, clBlack);
    g->setPalette(cells);
    QHeaderView *titles = g->horizontalHeader();
    titles->setFont(windowFont(true));
    setTextColour(titles, clNavy);
    // Rows can be marked several at a time; transfer and delete still act on the current one.
    g->setSelectionMode(QAbstractItemView::ExtendedSelection);
    g->setTabKeyNavigation(true);
    g->setColumns(columns);
    return g;
}

} // namespace

TF_Disquete::TF_Disquete(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("F_Disquete"));
    setWindowTitle(QStringLiteral("Salvar em Disquete"));
    // Single fixed border, no title-bar buttons: only "Fechar" closes it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(734, 519);
    setFont(windowFont());

    MsgDlg1 = TMsgDlg::createStandard(this, QStringLiteral("MsgDlg1"));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 734, 45);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFocusPolicy(Qt::NoFocus);

    SB_Transf = toolButton(Panel1, "SB_Transf", {8, 5, 193, 35}, QStringLiteral("Transfere para Arquivo"), QString(),
                           Glyph::Transfer);
    SB_Transf->setFont(windowFont(true));
    SB_Protocolo = toolButton(Panel1, "SB_Protocolo", {224, 5, 169, 35}, QStringLiteral("Protocolo de Entrega"),
                              QStringLiteral("Protocolo"), Glyph::Receipt);
    SB_Protocolo->setFont(windowFont(true));
    SB_Delete = toolButton(Panel1, "SB_Delete", {504, 5, 97, 35}, QStringLiteral("Delete"), QString(),
                           Glyph::Eraser);
    SB_Delete->setFont(windowFont(true));
    BB_Fechar = pushButton(Panel1, "BB_Fechar", {688, 8, 33, 33}, QString(), QStringLiteral("Fechar"), Glyph::Door);

    GroupBox2 = groupBox(this, "GroupBox2", QStringLiteral("Seu Computador:"), {7, 48, 722, 209});
    GroupBox2->setFont(windowFont(true));
    setTextColour(GroupBox2, clNavy);
    DBGrid1 = transferGrid(GroupBox2, "DBGrid1",
                           {
                               {QStringLiteral("Bl_AgentRef"), QStringLiteral("Ref. Reserva"), 99, {}},
                               {QStringLiteral("Bl_DataRef"), QStringLiteral("Ref."), 73, Qt::AlignHCenter},
                               {QStringLiteral("Bl_LocalVessel"), QStringLiteral("Local Vessel"), -1, {}},
                               {QStringLiteral("Bl_LocalLoading"), QStringLiteral("From"), 127, {}},
                               {QStringLiteral("Bl_PortDischarg"), QStringLiteral("Port Discharg"), 122, {}},
                               {QStringLiteral("Bl_Shipper1"), QStringLiteral("Shipper1"), 210, {}},
                               {QStringLiteral("Bl_Cnee1"), QStringLiteral("Cnee1"), 210, {}},
                               {QStringLiteral("Bl_Notify1"), QStringLiteral("Notify1"), 210, {}},
                           });

    GroupBox3 = groupBox(this, "GroupBox3", QString(), {368, 261, 361, 35});
    Label1 = new QLabel(QStringLiteral("Clicar em Transfere para incluir no arquivo abaixo"), GroupBox3);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(windowFont(true, 10));
    setTextColour(Label1, clNavy);
    Label1->move(8, 12);
    Label1->adjustSize();

    GroupBox1 = groupBox(this, "GroupBox1", QString(), {7, 300, 722, 209});
    GroupBox1->setFont(windowFont(true));
    setTextColour(GroupBox1, clRed);
    DBGrid2 = transferGrid(GroupBox1, "DBGrid2",
                           {
                               {QStringLiteral("Di_Agentref"), QStringLiteral("Ref. Reserva"), 99, {}},
                               {QStringLiteral("Di_LocalVessel"), QStringLiteral("Local Vessel"), -1, {}},
                               {QStringLiteral("Di_LocalLoading"), QStringLiteral("From"), -1, {}},
                               {QStringLiteral("Di_PortDischarg"), QStringLiteral("Port Discharg"), -1, {}},
                               {QStringLiteral("Di_Shipper1"), QStringLiteral("Shipper1"), 210, {}},
                               {QStringLiteral("Di_Cnee1"), QStringLiteral("Cnee1"), 210, {}},
                               {QStringLiteral("Di_Notify1"), QStringLiteral("Notify1"), 210, {}},
                           });

    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->hide();

    if (DM_BL) {
        DBGrid1->setDataSource(DM_BL->DS_Cliente);
        DBGrid2->setDataSource(DM_BL->DS_BLDisquete);
    }

    setTabOrder(DBGrid1, DBGrid2);
    setTabOrder(DBGrid2, BB_Fechar);

    blapp::connectAction(SB_Transf, &QToolButton::clicked, this, [this] { SB_TransfClick(); });
    blapp::connectAction(SB_Protocolo, &QToolButton::clicked, this, [this] { SB_ProtocoloClick(); });
    blapp::connectAction(SB_Delete, &QToolButton::clicked, this, [this] { SB_DeleteClick(); });
    blapp::connectAction(BB_Fechar, &QPushButton::clicked, this, [this] { BB_FecharClick(); });
}

TF_Disquete::~TF_Disquete() = default;

QString TF_Disquete::fileName() const
{
    return Edit2->text();
}

void TF_Disquete::setFileName(const QString &name)
{
    Edit2->setText(name);
}

void TF_Disquete::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!placement::firstShow(this, event, m_shown))
        return;
    blapp::runGuarded([this] { FormShow(); });
}

void TF_Disquete::keyPressEvent(QKeyEvent *event)
{
    // Only "Fechar" closes this window; Escape does not.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TF_Disquete::FormShow()
{
    setCountCaption();
    SB_Transf->setToolTip(disquete::transferHint(fileName()));
    SB_Delete->setToolTip(disquete::deleteHint(fileName()));
    DM_BL->Tbl_BLCliente->last();
    DBGrid1->setFocus();
}

void TF_Disquete::setCountCaption()
{
    GroupBox1->setTitle(disquete::countCaption(fileName(), DM_BL->Tbl_BLDisquete->recordCount()));
}

void TF_Disquete::SB_TransfClick()
{
    Table *local = DM_BL->Tbl_BLCliente;
    Table *transfer = DM_BL->Tbl_BLDisquete;
    // Another copy of the program sharing the register may have deleted the B/L shown: copy
    // nothing (the record now in its place is another B/L) and show the register as it is.
    if (local->currentRecordGone()) {
        local->resync();
        MsgDlg1->DisplayMessage(disquete::goneMessage(), mtInformation, {mbOK});
        return;
    }
    // An empty register has no B/L to copy; a blank record must not reach the file.
    if (local->isEmpty() || local->recNo() < 0) {
        MsgDlg1->DisplayMessage(disquete::emptyRegisterMessage(), mtInformation, {mbOK});
        return;
    }
    const QString booking = DM_BL->Tbl_BLClienteBl_AgentRef->asString();
    if (transfer->locate(u"Di_AgentRef", booking)) {
        MsgDlg1->DisplayMessage(disquete::duplicateMessage(fileName()), mtInformation, {mbOK});
        return;
    }
    bltransfer::copyCurrent(*local, *transfer);
    setCountCaption();
}

void TF_Disquete::SB_DeleteClick()
{
    Table *transfer = DM_BL->Tbl_BLDisquete;
    if (transfer->recordCount() < 1)
        return;
    transfer->deleteRecord();
    setCountCaption();
}

void TF_Disquete::SB_ProtocoloClick()
{
    if (DM_BL->Tbl_BLDisquete->recordCount() < 1) {
        MsgDlg1->DisplayMessage(protocolo::emptyTransferMessage(), mtInformation, {mbOK});
        return;
    }
    openDeliveryReceipt(this, *DM_BL->Tbl_BLDisquete, GroupBox1->title());
}

void TF_Disquete::BB_FecharClick()
{
    accept();
}

void TF_Disquete::done(int result)
{
    // However the window closes, the transfer file is let go with everything posted so far.
    auto closeTransfer = [] {
        if (DM_BL)
            DM_BL->Tbl_BLDisquete->close();
    };
    blapp::runGuarded(closeTransfer);
    QDialog::done(result);
}
