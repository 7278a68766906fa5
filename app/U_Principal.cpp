#include "U_Principal.h"
#include "WindowPlacement.h"

#include "BLApplication.h"
#include "CompletionPopup.h"
#include "DBControls.h"
#include "MsgDlg.h"
#include "OxHintBalloon.h"
#include "PartyBook.h"
#include "StatusBar.h"
#include "U_AboutBox.h"
#include "U_Calendario.h"
#include "U_DM_BL.h"
#include "U_Endereco.h"
#include "U_PortaImpressora.h"
#include "U_PreDisquete.h"
#include "U_Procura.h"
#include "WindowStyle.h"

#include <QCloseEvent>
#include <QDate>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

TF_Principal *F_Principal = nullptr;

using namespace winstyle;

namespace {

// The party lines' flat look: a single dark line instead of the sunken frame.
// How long after the first show the register starts to be read for the lists of earlier
// values, a slice at a time whenever the event loop is idle.
constexpr int BackgroundDelayMs = 300;

const char *const FlatEditStyle = "TDBEdit { border: 1px solid #808080; background: white; color: black;"
                                  " padding: 0px 1px; }";

} // namespace

TF_Principal::TF_Principal(QWidget *parent) : QWidget(parent)
{
    if (!F_Principal)
        F_Principal = this;
    setObjectName(QStringLiteral("F_Principal"));
    setWindowTitle(QStringLiteral("Emissão de Bill of Lading"));
    // Single fixed border; close and context-help boxes, no minimize or maximize box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(739, 467);
    setFont(windowFont());

    MsgDlg1 = TMsgDlg::createStandard(this, QStringLiteral("MsgDlg1"));

    OxHintBalloon1 = new TOxHintBalloon(this);
    OxHintBalloon1->setObjectName(QStringLiteral("OxHintBalloon1"));
    OxHintBalloon1->setColor(TOxHintBalloon::infoBackground());
    QFont hintFont(QStringLiteral("MS Sans Serif"));
    hintFont.setPixelSize(11);
    hintFont.setBold(true);
    OxHintBalloon1->setFont(hintFont, QApplication::palette().color(QPalette::WindowText));
    OxHintBalloon1->setHintPause(5000);
    OxHintBalloon1->setHintTime(500);
    OxHintBalloon1->setLineSeparator(QLatin1Char('&'));

    buildToolbar();

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 41, 739, 408);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Initial Page"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Particulars of goods are those declared by shippers"));
    buildFirstPage();
    buildSecondPage();
    PageControl1->setCurrentIndex(0);

    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, height() - 19, width(), 19);
    StatusBar1->setFont(windowFont(true));
    StatusBar1->setPanelWidths({60, 80, 90, 50, 380, 100});
    StatusBar1->setPanelText(5, principal::modeText(principal::Mode::Browse));
    StatusBar1->raise();
    blapp::connectAction(StatusBar1, &TStatusBar::clicked, this, [this] { StatusBar1Click(); });

    buildKeyboardOrder();
    buildCompletion();
    buildNewFromMenu();
    setMode(principal::Mode::Browse);
}

TF_Principal::~TF_Principal()
{
    if (F_Principal == this)
        F_Principal = nullptr;
}

void TF_Principal::buildToolbar()
{
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 739, 41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    // Never reached by the mouse or Tab; the window parks the focus here so no field has it.
    Panel1->setFocusPolicy(Qt::NoFocus);

    QWidget *bar = Panel1;
    SB_Inclusao = toolButton(bar, "SB_Inclusao", {16, 8, 97, 25}, QStringLiteral("Novo"),
                             QStringLiteral("Incluir Novo BL"), Glyph::Plus);
    SB_Inclusao->setFont(windowFont(true));
    SB_Edit = toolButton(bar, "SB_Edit", {128, 8, 97, 25}, QStringLiteral("Edita"), QStringLiteral("Editar BL Atual"),
                         Glyph::Writing);
    SB_Grava = toolButton(bar, "SB_Grava", {240, 8, 97, 25}, QStringLiteral("Confirma"),
                          QStringLiteral("Confirma BL Atual"), Glyph::Check);
    SB_Cancela = toolButton(bar, "SB_Cancela", {352, 8, 97, 25}, QStringLiteral("Cancela"),
                            QStringLiteral("Cancelar edição ou Inclusão"), Glyph::Cross);
    SB_Procura = toolButton(bar, "SB_Procura", {464, 8, 89, 25}, QStringLiteral("Procura"),
                            QStringLiteral("Listagem de BL"), Glyph::List);
    BB_Disquete = pushButton(bar, "BB_Disquete", {576, 8, 25, 25}, QString(), QStringLiteral("Disquete"),
                             Glyph::Diskette);
    SB_Calendario = toolButton(bar, "SB_Calendario", {620, 8, 25, 25}, QString(), QStringLiteral("Calendário"),
                               Glyph::Calendar);
    SB_Impressao = toolButton(bar, "SB_Impressao", {660, 8, 25, 25}, QString(), QStringLiteral("Impressão"),
                              Glyph::Printer);
    BB_Fechar = pushButton(bar, "BB_Fechar", {696, 4, 33, 33}, QString(), QStringLiteral("Fechar"), Glyph::Door);

    blapp::connectAction(SB_Inclusao, &QToolButton::clicked, this, [this] { SB_InclusaoClick(); });
    blapp::connectAction(SB_Edit, &QToolButton::clicked, this, [this] { SB_EditClick(); });
    blapp::connectAction(SB_Grava, &QToolButton::clicked, this, [this] { SB_GravaClick(); });
    blapp::connectAction(SB_Cancela, &QToolButton::clicked, this, [this] { SB_CancelaClick(); });
    blapp::connectAction(BB_Fechar, &QPushButton::clicked, this, [this] { BB_FecharClick(); });
    blapp::connectAction(SB_Procura, &QToolButton::clicked, this, [this] { SB_ProcuraClick(); });
    blapp::connectAction(SB_Calendario, &QToolButton::clicked, this, [this] { SB_CalendarioClick(); });
    blapp::connectAction(SB_Impressao, &QToolButton::clicked, this, [this] { SB_ImpressaoClick(); });
    blapp::connectAction(BB_Disquete, &QPushButton::clicked, this, [this] { BB_DisqueteClick(); });
}

TDBEdit *TF_Principal::addEdit(QWidget *parent, const QString &fieldName, const QRect &geometry, int limit,
                               bool upper)
{
    auto *e = new TDBEdit(parent);
    e->setObjectName(fieldName);
    e->setGeometry(geometry);
    e->setFont(windowFont());
    e->setDataField(fieldName);
    e->setMaxLength(limit);
    e->setCharCase(upper ? dbcontrols::CharCase::Upper : dbcontrols::CharCase::Normal);
    m_edits.insert(fieldName, e);
    return e;
}

TDBMemo *TF_Principal::addMemo(QWidget *parent, const QString &fieldName, const QRect &geometry)
{
    auto *m = new TDBMemo(parent);
    m->setObjectName(fieldName);
    m->setGeometry(geometry);
    m->setFont(windowFont());
    m->setDataField(fieldName);
    m_memos.insert(fieldName, m);
    return m;
}

QLabel *TF_Principal::addLabel(QWidget *parent, const QString &name, const QString &text, const QPoint &pos,
                               bool bold)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setFont(windowFont(bold));
    l->move(pos);
    l->adjustSize();
    return l;
}

QGroupBox *TF_Principal::addBox(QWidget *parent, const QString &name, const QString &title,
                                const QRect &geometry, bool navyBold)
{
    QGroupBox *g = groupBox(parent, name.toLatin1().constData(), title, geometry);
    if (navyBold) {
        // Only the caption is navy and bold; the controls inside set their own font and colour.
        g->setFont(windowFont(true));
        setTextColour(g, clNavy);
    }
    return g;
}

void TF_Principal::buildFirstPage()
{
    QWidget *page = TabSheet1;
    struct Party
    {
        const char *box;
        const char *title;
        int top;
        const char *prefix;
    };
    const Party parties[] = {
        {"GroupBox1", "Shipper:", 8, "Bl_Shipper"},
        {"GroupBox2", "Consignee:", 128, "Bl_Cnee"},
        {"GroupBox3", "Notify Party:", 248, "Bl_Notify"},
    };
    for (const Party &p : parties) {
        QGroupBox *box = addBox(page, QLatin1String(p.box), QLatin1String(p.title), {8, p.top, 329, 113}, true);
        for (int i = 0; i < 5; ++i) {
            TDBEdit *e = addEdit(box, QLatin1String(p.prefix) + QString::number(i + 1),
                                 {8, 16 + 19 * i, 313, 19}, 36, false);
            e->setStyleSheet(QLatin1String(FlatEditStyle));
            m_fieldOrder.append(e);
        }
    }

    QGroupBox *nameBox = addBox(page, QStringLiteral("GroupBox4"), QString(), {352, 8, 369, 40}, false);
    Label1 = new QLabel(nameBox);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(windowFontPixels(24, true));
    setTextColour(Label1, clRed);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(2, 4, 365, 34);

    Image1 = new QLabel(page);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(352, 58, 369, 91);
    Image1->setAlignment(Qt::AlignCenter);

    struct Entry
    {
        const char *label;
        const char *caption;
        QPoint labelPos;
        const char *field;
        QRect geometry;
        int limit;  // 0: the field's own size
        bool upper;
        bool bold;
    };
    const Entry entries[] = {
        {"Label2", "Shippers Ref.", {352, 160}, "Bl_ShipperRef", {352, 176, 193, 21}, 18, true, false},
        {"Label3", "Nr.da Reserva", {559, 160}, "Bl_AgentRef", {560, 176, 161, 21}, 18, false, true},
        {"Label4", "Local vessel:", {352, 216}, "Bl_LocalVessel", {352, 232, 193, 21}, 0, true, false},
        {"Label5", "Bill of Lading No.", {560, 216}, "Bl_BillofLading", {560, 232, 161, 21}, 18, true, false},
        {"Label6", "From (local port of loading):", {352, 272}, "Bl_LocalLoading", {352, 288, 193, 21}, 18, true,
         false},
        {"Label7", "Port of Discharge:", {560, 272}, "Bl_PortDischarg", {560, 288, 161, 21}, 0, true, false},
        {"Label8", "Freight payable at:", {352, 328}, "Bl_FreightPayable", {352, 344, 193, 21}, 0, true, false},
        {"Label9", "Final destination (if on-carriage):", {560, 328}, "Bl_FinalDestination",
         {560, 344, 161, 21}, 17, true, false},
    };
    for (const Entry &en : entries) {
        QLabel *l = addLabel(page, QLatin1String(en.label), QString::fromUtf8(en.caption), en.labelPos, en.bold);
        setTextColour(l, clNavy);
        addEdit(page, QLatin1String(en.field), en.geometry, en.limit, en.upper);
    }
    // Keyboard order of the right column differs from the order on the page.
    for (const char *name : {"Bl_AgentRef", "Bl_ShipperRef", "Bl_BillofLading", "Bl_LocalVessel",
                             "Bl_LocalLoading", "Bl_PortDischarg", "Bl_FreightPayable", "Bl_FinalDestination"})
        m_fieldOrder.append(m_edits.value(QLatin1String(name)));
}

void TF_Principal::buildSecondPage()
{
    QWidget *page = TabSheet2;
    QGroupBox *marks = addBox(page, QStringLiteral("GroupBox5"), QStringLiteral("Marks and Numbers:"),
                              {8, 16, 145, 353}, false);
    m_fieldOrder.append(addMemo(marks, QStringLiteral("Bl_Marks1"), {8, 16, 129, 329}));
    QGroupBox *goods = addBox(page, QStringLiteral("GroupBox6"),
                              QStringLiteral("Number and kind of packages description of goods:"),
                              {160, 16, 321, 353}, false);
    m_fieldOrder.append(addMemo(goods, QStringLiteral("Bl_Marks2"), {8, 16, 305, 329}));

    struct Pair
    {
        const char *box;
        const char *title;
        QRect geometry;
        const char *valueLabel;
        const char *valueField;
        QRect valueRect;
        const char *unitLabel;
        const char *unitField;
        QRect unitRect;
    };
    // Value above unit in the two narrow boxes, side by side in the wide one.
    const Pair pairs[] = {
        {"GroupBox7", "Gross Weight:", {496, 16, 105, 137}, "Label10", "Bl_Gross1", {8, 36, 89, 21}, "Label11",
         "Bl_Gross2", {8, 88, 89, 21}},
        {"GroupBox8", "Measurement:", {618, 16, 103, 137}, "Label12", "Bl_Measu1", {8, 36, 87, 21}, "Label13",
         "Bl_Measu2", {8, 88, 87, 21}},
        {"GroupBox9", "Net Weight:", {496, 168, 225, 89}, "Label14", "Bl_Gross3", {8, 36, 97, 21}, "Label15",
         "Bl_Gross4", {120, 36, 97, 21}},
    };
    for (const Pair &p : pairs) {
        QGroupBox *box = addBox(page, QLatin1String(p.box), QLatin1String(p.title), p.geometry, false);
        addLabel(box, QLatin1String(p.valueLabel), QStringLiteral("Valor:"), p.valueRect.topLeft() - QPoint(0, 16),
                 false);
        m_fieldOrder.append(addEdit(box, QLatin1String(p.valueField), p.valueRect, 0, false));
        addLabel(box, QLatin1String(p.unitLabel), QStringLiteral("Unidade:"), p.unitRect.topLeft() - QPoint(0, 16),
                 false);
        m_fieldOrder.append(addEdit(box, QLatin1String(p.unitField), p.unitRect, 0, true));
    }

    Image2 = new QLabel(page);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(496, 272, 225, 97);
    Image2->setAlignment(Qt::AlignCenter);
}

void TF_Principal::buildKeyboardOrder()
{
    // The toolbar's push buttons, the page tabs, then the fields in their order; fields of
    // the page not shown are skipped.
    QList<QWidget *> chain = {BB_Disquete, BB_Fechar, PageControl1};
    chain += m_fieldOrder;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        setTabOrder(chain.at(i), chain.at(i + 1));
}

void TF_Principal::buildCompletion()
{
    // The first line of each party box offers whole parties, shown by their first two lines.
    for (const QString &group : PartyBook::registerPartyGroups()) {
        TDBEdit *first = edit(group + QLatin1Char('1'));
        auto *popup = new TCompletionPopup(
            first, 2,
            [this, group](const QString &typed) {
                return m_book ? m_book->parties(group, typed) : QList<QStringList>();
            },
            [this, group](const QStringList &lines) { fillParty(group, lines); });
        m_completions.insert(first->objectName(), popup);
    }
    for (const QString &name : PartyBook::registerValueFields()) {
        TDBEdit *e = edit(name);
        auto *popup = new TCompletionPopup(
            e, 1,
            [this, e, name](const QString &typed) {
                QList<QStringList> out;
                if (!m_book)
                    return out;
                const int limit = dbcontrols::effectiveMaxLength(e->maxLength(), e->field(), 0);
                const bool upper = e->charCase() == dbcontrols::CharCase::Upper;
                for (const QString &v : completion::offeredValues(m_book->values(name, typed), typed, limit, upper))
                    out.append(QStringList{v});
                return out;
            },
            [this, name](const QStringList &entry) { fillValue(name, entry.value(0)); });
        m_completions.insert(name, popup);
    }
}

void TF_Principal::buildNewFromMenu()
{
    PM_Inclusao = new QMenu(this);
    PM_Inclusao->setObjectName(QStringLiteral("PM_Inclusao"));
    MI_NovoDeste = new QAction(QStringLiteral("Novo a partir deste B/L"), this);
    MI_NovoDeste->setObjectName(QStringLiteral("MI_NovoDeste"));
    MI_NovoDeste->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    PM_Inclusao->addAction(MI_NovoDeste);
    // On the window as well, so the shortcut works without the menu.
    addAction(MI_NovoDeste);
    blapp::connectAction(MI_NovoDeste, &QAction::triggered, this, [this] { NovoDesteClick(); });
    SB_Inclusao->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SB_Inclusao, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PM_Inclusao->popup(SB_Inclusao->mapToGlobal(pos)); });
}

TCompletionPopup *TF_Principal::completion(const QString &fieldName) const
{
    return m_completions.value(fieldName);
}

void TF_Principal::fillParty(const QString &group, const QStringList &lines)
{
    Table *t = DM_BL ? DM_BL->Tbl_BLCliente : nullptr;
    if (!t || !t->isEditing())
        return;
    for (int i = 0; i < 5; ++i)
        t->fieldByName(group + QString::number(i + 1))->setAsString(lines.value(i));
}

void TF_Principal::fillValue(const QString &fieldName, const QString &value)
{
    Table *t = DM_BL ? DM_BL->Tbl_BLCliente : nullptr;
    if (t && t->isEditing())
        t->fieldByName(fieldName)->setAsString(value);
}

TDBEdit *TF_Principal::edit(const QString &fieldName) const
{
    return m_edits.value(fieldName);
}

TDBMemo *TF_Principal::memo(const QString &fieldName) const
{
    return m_memos.value(fieldName);
}

Table::State TF_Principal::registerState() const
{
    return DM_BL ? DM_BL->DS_Cliente->state() : Table::State::Inactive;
}

void TF_Principal::setMode(principal::Mode mode)
{
    StatusBar1->setPanelText(5, principal::modeText(mode));
    const principal::ButtonPattern p = principal::buttonPattern(mode);
    SB_Inclusao->setEnabled(p.inclusao);
    SB_Edit->setEnabled(p.edit);
    SB_Grava->setEnabled(p.grava);
    SB_Cancela->setEnabled(p.cancela);
    SB_Procura->setEnabled(p.procura);
    BB_Disquete->setEnabled(p.disquete);
    SB_Calendario->setEnabled(p.calendario);
    SB_Impressao->setEnabled(p.impressao);
    BB_Fechar->setEnabled(p.fechar);
    MI_NovoDeste->setEnabled(p.inclusao);
}

void TF_Principal::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (placement::firstShow(this, event, m_shown))
        blapp::runGuarded([this] { FormShow(); });
}

void TF_Principal::bindFields()
{
    // The data module is made after this window, so the bindings wait for the first show.
    if (!DM_BL)
        return;
    for (TDBEdit *e : std::as_const(m_edits))
        e->setDataSource(DM_BL->DS_Cliente);
    for (TDBMemo *m : std::as_const(m_memos))
        m->setDataSource(DM_BL->DS_Cliente);
}

void TF_Principal::FormShow()
{
    bindFields();
    // Reads nothing until the first list is asked for.
    if (DM_BL && !m_book)
        m_book = new PartyBook(DM_BL->Tbl_BLCliente, this);
    {
        TF_Endereco details(this);
        const QPixmap logo = QPixmap::fromImage(details.logo());
        Image1->setPixmap(logo);
        Image2->setPixmap(logo);
        Label1->setText(details.EditFanta->text());
    }
    Panel1->setFocus();
    StatusBar1->setPanelText(0, QStringLiteral("Corvane"));
    StatusBar1->setPanelText(1, QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    {
        TAboutBox about(this);
        StatusBar1->setPanelText(2, QStringLiteral("Versão ") + about.versionText());
    }
    StatusBar1->setPanelText(3, QStringLiteral("About"));
    if (!DM_BL)
        throw DataError(QStringLiteral("O módulo de dados não foi criado"));
    DM_BL->Tbl_BLCliente->open();
    DM_BL->Tbl_BLCliente->last();
    // The lists are read while the clerk reaches for the keyboard, well after the first show.
    m_book->buildInBackground(BackgroundDelayMs);
}

void TF_Principal::SB_InclusaoClick()
{
    DM_BL->Tbl_BLCliente->insert();
    setMode(principal::Mode::Insert);
    PageControl1->setCurrentIndex(0);
    edit(QStringLiteral("Bl_Shipper1"))->setFocus();
}

void TF_Principal::NovoDesteClick()
{
    if (!SB_Inclusao->isEnabled())
        return;
    Table *t = DM_BL->Tbl_BLCliente;
    QList<std::pair<Field *, px::Value>> copied;
    for (const QString &name : principal::copiedFields()) {
        Field *f = t->fieldByName(name);
        copied.append({f, f->value()});
    }
    SB_InclusaoClick();
    for (const auto &[f, v] : std::as_const(copied))
        f->setValue(v);
    // What differs from B/L to B/L starts with the booking number.
    edit(QStringLiteral("Bl_AgentRef"))->setFocus();
}

void TF_Principal::SB_EditClick()
{
    // On an empty register this starts a new record, while the panel still reads "Editar".
    DM_BL->Tbl_BLCliente->edit();
    setMode(principal::Mode::Edit);
}

void TF_Principal::SB_GravaClick()
{
    // The field being typed in still has the focus (tool buttons take none); leaving it
    // writes its text into the record.
    Panel1->setFocus();
    if (focusWidget() != Panel1)
        return;  // the field refused its text and kept the focus; the error box has said why
    TDBEdit *booking = edit(QStringLiteral("Bl_AgentRef"));
    if (booking->text().isEmpty()) {
        MsgDlg1->DisplayMessage(principal::bookingMissingMessage(), mtInformation, {mbOK});
        PageControl1->setCurrentIndex(0);
        booking->setFocus();
        return;
    }
    DM_BL->Tbl_BLClienteBl_DataRef->setAsDate(QDate::currentDate());
    DM_BL->Tbl_BLCliente->post();
    setMode(principal::Mode::Browse);
}

void TF_Principal::SB_CancelaClick()
{
    DM_BL->Tbl_BLCliente->cancel();
    setMode(principal::Mode::Browse);
}

void TF_Principal::BB_FecharClick()
{
    // The close event runs the close check.
    close();
}

void TF_Principal::SB_ImpressaoClick()
{
    const QString booking = DM_BL->Tbl_BLClienteBl_AgentRef->asString();
    {
        TF_PortaImpressora dialog(this);
        {
            TF_Endereco details(this);
            dialog.Label2->setText(details.EditFanta->text());
            dialog.Label2->adjustSize();
        }
        dialog.exec();
    }
    // The first B/L with that booking number, in natural order; when none, the record stays.
    DM_BL->Tbl_BLCliente->locate(u"Bl_AgentRef", booking);
}

void TF_Principal::SB_ProcuraClick()
{
    auto *list = new TF_Procura(this);
    list->exec();
    delete list;
}

void TF_Principal::SB_CalendarioClick()
{
    auto *calendar = new TF_Calendario(this);
    calendar->exec();
    delete calendar;
}

void TF_Principal::BB_DisqueteClick()
{
    auto *chooser = new TF_PreDisquete(this);
    chooser->exec();
    delete chooser;
}

void TF_Principal::StatusBar1Click()
{
    TAboutBox about(this);
    about.exec();
}

bool TF_Principal::VerificaEncerramento()
{
    const principal::CloseCheck check = principal::closeCheck(registerState());
    if (!check.message.isEmpty())
        MsgDlg1->DisplayMessage(check.message, check.type, {mbOK});
    if (check.closeTable)
        DM_BL->Tbl_BLCliente->close();
    return check.endProgram;
}

void TF_Principal::closeEvent(QCloseEvent *event)
{
    bool end = false;
    blapp::runGuarded([&] { end = VerificaEncerramento(); });
    if (end)
        event->accept();
    else
        event->ignore();
}
