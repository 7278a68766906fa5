#include "U_Procura.h"
#include "WindowPlacement.h"

#include "BLApplication.h"
#include "DBGrid.h"
#include "MsgDlg.h"
#include "U_Calendario.h"
#include "U_DM_BL.h"
#include "WindowStyle.h"

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

namespace procura {

QString deleteQuestion(const QString &booking)
{
    return QStringLiteral("Deleja deletar ref \"") + booking + QLatin1Char('"');
}

QString definitiveQuestion()
{
    return QStringLiteral("Este BL será deletado DEFINITIVAMENTE!\r\rConfirma?");
}

} // namespace procura

using namespace winstyle;

TF_Procura::TF_Procura(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("F_Procura"));
    setWindowTitle(QStringLiteral("Procura BL "));
    // Single fixed border and no title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(780, 473);
    setFont(windowFont());

    MsgDlg1 = TMsgDlg::createStandard(this, QStringLiteral("MsgDlg1"));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 780, 41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFocusPolicy(Qt::NoFocus);

    Label1 = new QLabel(QStringLiteral("Dê um duplo click em cima do BL desejado"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(windowFont(true, 14));
    setTextColour(Label1, clNavy);
    Label1->move(16, 8);
    Label1->adjustSize();

    SB_Calendario = toolButton(Panel1, "SB_Calendario", {496, 8, 25, 25}, QString(), QStringLiteral("Calendário"),
                               Glyph::Calendar);
    BB_Delete = pushButton(Panel1, "BB_Delete", {584, 8, 113, 25}, QStringLiteral("Delete"),
                           QStringLiteral("Apaga BL selecionado"), Glyph::Eraser);
    BB_Delete->setFont(windowFont(true));
    BB_Fechar = pushButton(Panel1, "BB_Fechar", {728, 4, 33, 33}, QString(), QStringLiteral("Fechar"), Glyph::Door);

    DBGrid1 = new TDBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 48, 769, 417);
    QHeaderView *titles = DBGrid1->horizontalHeader();
    titles->setFont(windowFont(true));
    setTextColour(titles, clNavy);
    DBGrid1->setColumns({
        {QStringLiteral("Bl_AgentRef"), QStringLiteral("Ref."), 112, {}},
        {QStringLiteral("Bl_DataRef"), QStringLiteral("Data Ref."), -1, Qt::AlignHCenter},
        {QStringLiteral("Bl_LocalVessel"), QStringLiteral("Local Vessel"), -1, {}},
        {QStringLiteral("Bl_LocalLoading"), QStringLiteral("From"), -1, {}},
        {QStringLiteral("Bl_PortDischarg"), QStringLiteral("Port Discharg"), -1, {}},
        {QStringLiteral("Bl_Shipper1"), QStringLiteral("Shipper1"), 210, {}},
        {QStringLiteral("Bl_Cnee1"), QStringLiteral("Cnee1"), 210, {}},
        {QStringLiteral("Bl_Notify1"), QStringLiteral("Notify1"), 210, {}},
    });
    if (DM_BL)
        DBGrid1->setDataSource(DM_BL->DS_Cliente);

    // Typing in the grid looks for a booking number (see BookingSearch); the text shows in
    // a small label over the grid's lower right corner while there is one.
    LabelBusca = new QLabel(this);
    LabelBusca->setObjectName(QStringLiteral("LabelBusca"));
    LabelBusca->setGeometry(538, 424, 222, 20);
    LabelBusca->setFont(windowFont(true));
    LabelBusca->setFrameStyle(QFrame::Box | QFrame::Plain);
    LabelBusca->setAutoFillBackground(true);
    LabelBusca->setBackgroundRole(QPalette::ToolTipBase);
    LabelBusca->setForegroundRole(QPalette::WindowText);
    LabelBusca->hide();
    if (DM_BL)
        m_search = std::make_unique<procura::BookingSearch>(DM_BL->Tbl_BLCliente);
    m_clock.start();
    m_searchPause.setObjectName(QStringLiteral("SearchPause"));
    m_searchPause.setSingleShot(true);
    m_searchPause.setInterval(int(procura::BookingSearch::PauseMs));
    blapp::connectAction(&m_searchPause, &QTimer::timeout, this, [this] {
        if (m_search)
            m_search->clear();
        showSearch();
    });
    DBGrid1->installEventFilter(this);

    setTabOrder(DBGrid1, BB_Delete);
    setTabOrder(BB_Delete, BB_Fechar);
    DBGrid1->setFocus();

    blapp::connectAction(BB_Delete, &QPushButton::clicked, this, [this] { BB_DeleteClick(); });
    blapp::connectAction(BB_Fechar, &QPushButton::clicked, this, [this] { BB_FecharClick(); });
    blapp::connectAction(SB_Calendario, &QToolButton::clicked, this, [this] { SB_CalendarioClick(); });
    blapp::connectAction(DBGrid1, &TDBGrid::dblClick, this, [this] { DBGrid1DblClick(); });
}

TF_Procura::~TF_Procura() = default;

void TF_Procura::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    placement::firstShow(this, event, m_placed);
}

void TF_Procura::keyPressEvent(QKeyEvent *event)
{
    // No button of this window answers Escape; only "Fechar" and a double click close it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TF_Procura::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress && m_search) {
        bool used = false;
        auto handle = [&] { used = searchKey(static_cast<QKeyEvent *>(event)); };
        blapp::runGuarded(handle);
        if (used) {
            showSearch();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TF_Procura::searchKey(const QKeyEvent *event)
{
    const qint64 now = m_clock.elapsed();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    switch (event->key()) {
    case Qt::Key_F3:
        if (mods != Qt::NoModifier)
            return false;
        m_search->next(now);
        m_searchPause.start();
        return true;
    case Qt::Key_Backspace:
        m_search->backspace(now);
        if (m_search->text().isEmpty())
            m_searchPause.stop();
        else
            m_searchPause.start();
        return true;
    case Qt::Key_Escape:
        if (m_search->text().isEmpty())
            return false;
        m_search->clear();
        m_searchPause.stop();
        return true;
    default:
        break;
    }
    const QString typed = event->text();
    if (mods != Qt::NoModifier || typed.isEmpty() || !typed.at(0).isPrint())
        return false;
    m_search->type(typed, now);
    m_searchPause.start();
    return true;
}

void TF_Procura::showSearch()
{
    const QString text = m_search ? m_search->text() : QString();
    LabelBusca->setText(QStringLiteral(" Busca: ") + text);
    QPalette p = LabelBusca->palette();
    p.setColor(QPalette::WindowText, m_search && m_search->failed() ? clRed : clNavy);
    LabelBusca->setPalette(p);
    LabelBusca->setVisible(!text.isEmpty());
    LabelBusca->raise();
}

void TF_Procura::BB_DeleteClick()
{
    Table *t = DM_BL->Tbl_BLCliente;
    if (t->recordCount() < 1)
        return;
    const QString booking = DM_BL->Tbl_BLClienteBl_AgentRef->asString();
    if (MsgDlg1->DisplayMessage(procura::deleteQuestion(booking), mtConfirmation, {mbOK, mbCancel}) != 1)
        return;
    if (MsgDlg1->DisplayMessage(procura::definitiveQuestion(), mtConfirmation, {mbOK, mbCancel}) != 1)
        return;
    t->deleteRecord();
}

void TF_Procura::BB_FecharClick()
{
    // Whatever row is selected stays current: the entry window shows it.
    accept();
}

void TF_Procura::DBGrid1DblClick()
{
    accept();
}

void TF_Procura::SB_CalendarioClick()
{
    auto *calendar = new TF_Calendario(this);
    calendar->exec();
    delete calendar;
}
