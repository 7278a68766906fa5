// The B/L entry window, driven by its control names over real registers in temporary folders.

#include "BLApplication.h"
#include "BLRecord.h"
#include "DBControls.h"
#include "MsgDlg.h"
#include "PxTable.h"
#include "RegisterRows.h"
#include "StatusBar.h"
#include "U_AboutBox.h"
#include "U_DM_BL.h"
#include "U_Endereco.h"
#include "U_Principal.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

using testregister::Row;
using testregister::makeRegister;
using testregister::registerPath;

// The register as another program reads it.
QList<Row> readRegister(const QString &dir)
{
    px::Table t(registerPath(dir), px::Table::Mode::ReadOnly);
    QList<Row> rows;
    for (auto pos = t.first(); pos; pos = t.next(*pos)) {
        const QVector<px::Value> values = t.readValues(*pos);
        Row r;
        for (int i = 0; i < t.fields().size(); ++i)
            r.insert(t.fields().at(i).name, values.at(i));
        rows.append(r);
    }
    return rows;
}

QString text(const Row &r, const char *field)
{
    const px::Value v = r.value(QLatin1String(field));
    return std::holds_alternative<QString>(v) ? std::get<QString>(v) : QString();
}

const QDate OldDate(2009, 3, 6);

Row oldBL(const QString &booking, const QString &shipper)
{
    return {{QStringLiteral("Bl_AgentRef"), booking},
            {QStringLiteral("Bl_Shipper1"), shipper},
            {QStringLiteral("Bl_Measu2"), QStringLiteral("CBM")},
            {QStringLiteral("Bl_Gross1"), 1234.5},
            {QStringLiteral("Bl_DataRef"), OldDate}};
}

// One modal window the test met, and how it looked.
struct Seen
{
    QString kind;     // "error" (standard error box), "msgdlg", "about", "other"
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Answers every modal window as it appears (OK, or the about box's button) and records it.
// Polls QApplication::activeModalWidget(); no fixed sleeps.
class Answerer : public QObject
{
public:
    QList<Seen> seen;

    Answerer()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &Answerer::poll);
        m_timer.start();
    }

    QStringList kinds() const
    {
        QStringList k;
        for (const Seen &s : seen)
            k << s.kind;
        return k;
    }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || m_done.contains(w))
            return;
        m_done.append(w);
        Seen s;
        s.title = w->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            s.kind = box->objectName() == QLatin1String("ErrorBox") ? QStringLiteral("error") : QStringLiteral("other");
            s.text = box->text();
            s.icon = box->icon();
            s.buttons = int(box->buttons().size());
            seen.append(s);
            box->button(QMessageBox::Ok)->click();
        } else if (w->objectName() == QLatin1String("MsgDlgWindow")) {
            s.kind = QStringLiteral("msgdlg");
            if (auto *label = w->findChild<QLabel *>(QStringLiteral("Message")))
                s.text = label->text();
            s.buttons = int(w->findChildren<QPushButton *>().size());
            seen.append(s);
            w->findChild<QPushButton *>(TMsgDlg::buttonName(mbOK))->click();
        } else if (auto *about = qobject_cast<TAboutBox *>(w)) {
            s.kind = QStringLiteral("about");
            seen.append(s);
            about->OKButton->click();
        } else {
            s.kind = QStringLiteral("other");
            seen.append(s);
            w->close();
        }
    }

    QTimer m_timer;
    QList<QPointer<QWidget>> m_done;
};

// A window over a register in a fresh folder, made as the program makes it: window first,
// then the data module, then the first show.
struct Session
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<TF_Principal> w;
    std::unique_ptr<TDM_BL> dm;
    Answerer answers;

    explicit Session(const std::optional<QList<Row>> &rows)
    {
        if (rows)
            makeRegister(dir.path(), *rows);
        QDir::setCurrent(dir.path());
        w = std::make_unique<TF_Principal>();
        dm = std::make_unique<TDM_BL>();
    }
    ~Session()
    {
        w.reset();
        dm.reset();
        QDir::setCurrent(previousDir);
    }
    bool show()
    {
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }

    TDBEdit *edit(const char *name) const { return w->findChild<TDBEdit *>(QLatin1String(name)); }
    TDBMemo *memo(const char *name) const { return w->findChild<TDBMemo *>(QLatin1String(name)); }
    Table *table() const { return dm->Tbl_BLCliente; }
    QString mode() const { return w->StatusBar1->panelText(5); }
    // The window's focus widget: the one that has the focus whenever the window is active
    // (a closing dialog hands the activation back a moment later).
    QString focused() const
    {
        QWidget *f = w->focusWidget();
        if (f && qobject_cast<QTabBar *>(f) && f->parent() == w->PageControl1)
            return QStringLiteral("PageControl1");
        return f ? f->objectName() : QString();
    }
    // Puts the focus in a field and types there, as the user does.
    void type(QWidget *field, const QString &s) const
    {
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(field, s);
    }
    // Which of the nine toolbar buttons are enabled, in toolbar order.
    QList<bool> enabled() const
    {
        QList<bool> e;
        for (QWidget *b : QList<QWidget *>{w->SB_Inclusao, w->SB_Edit, w->SB_Grava, w->SB_Cancela, w->SB_Procura,
                                           w->BB_Disquete, w->SB_Calendario, w->SB_Impressao, w->BB_Fechar})
            e << b->isEnabled();
        return e;
    }
};

const QList<bool> BrowsePattern = {true, true, false, false, true, true, true, true, true};
const QList<bool> EditPattern = {false, false, true, true, false, false, true, false, true};

} // namespace

class TestPrincipal : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    }

    void windowAsDesigned()
    {
        Session s(QList<Row>{});
        TF_Principal *w = s.w.get();
        QCOMPARE(w->windowTitle(), QStringLiteral("Emissão de Bill of Lading"));
        QCOMPARE(w->size(), QSize(739, 467));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        const Qt::WindowFlags f = w->windowFlags();
        QVERIFY(f & Qt::WindowCloseButtonHint);
        QVERIFY(f & Qt::WindowContextHelpButtonHint);
        QVERIFY(!(f & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(f & Qt::WindowMaximizeButtonHint));

        struct Button
        {
            const char *name;
            QRect geometry;
            const char *caption;
            const char *hint;
            bool tool;
        };
        const Button buttons[] = {
            {"SB_Inclusao", {16, 8, 97, 25}, "Novo", "Incluir Novo BL", true},
            {"SB_Edit", {128, 8, 97, 25}, "Edita", "Editar BL Atual", true},
            {"SB_Grava", {240, 8, 97, 25}, "Confirma", "Confirma BL Atual", true},
            {"SB_Cancela", {352, 8, 97, 25}, "Cancela", "Cancelar edição ou Inclusão", true},
            {"SB_Procura", {464, 8, 89, 25}, "Procura", "Listagem de BL", true},
            {"BB_Disquete", {576, 8, 25, 25}, "", "Disquete", false},
            {"SB_Calendario", {620, 8, 25, 25}, "", "Calendário", true},
            {"SB_Impressao", {660, 8, 25, 25}, "", "Impressão", true},
            {"BB_Fechar", {696, 4, 33, 33}, "", "Fechar", false},
        };
        for (const Button &b : buttons) {
            auto *btn = w->Panel1->findChild<QAbstractButton *>(QLatin1String(b.name));
            QVERIFY2(btn, b.name);
            QCOMPARE(btn->geometry(), b.geometry);
            QCOMPARE(btn->text(), QString::fromUtf8(b.caption));
            QCOMPARE(btn->toolTip(), QString::fromUtf8(b.hint));
            QVERIFY2(!btn->icon().isNull(), b.name);
            // Tool buttons never take the focus; the two push buttons do.
            QCOMPARE(btn->focusPolicy() == Qt::NoFocus, b.tool);
            QCOMPARE(qobject_cast<QToolButton *>(btn) != nullptr, b.tool);
        }
        // The edit, confirm, cancel, list and calendar pictures bring their own greyed look.
        for (QAbstractButton *b : w->Panel1->findChildren<QAbstractButton *>()) {
            const bool own = b == w->SB_Edit || b == w->SB_Grava || b == w->SB_Cancela || b == w->SB_Procura
                             || b == w->SB_Calendario;
            QCOMPARE(!b->icon().availableSizes(QIcon::Disabled).isEmpty(), own);
            if (own) {
                const QImage normal = b->icon().pixmap(16, QIcon::Normal).toImage();
                const QImage greyed = b->icon().pixmap(16, QIcon::Disabled).toImage();
                QVERIFY(normal != greyed);
                // Grey and white only.
                for (int y = 0; y < greyed.height(); ++y)
                    for (int x = 0; x < greyed.width(); ++x) {
                        const QRgb px = greyed.pixel(x, y);
                        QVERIFY(qAlpha(px) == 0 || (qRed(px) == qGreen(px) && qGreen(px) == qBlue(px)));
                    }
            }
        }
        QVERIFY(w->SB_Inclusao->font().bold());
        QVERIFY(!w->SB_Edit->font().bold());
        QCOMPARE(w->Panel1->geometry(), QRect(0, 0, 739, 41));
        QCOMPARE(s.enabled(), BrowsePattern);

        QCOMPARE(w->PageControl1->geometry(), QRect(0, 41, 739, 408));
        QCOMPARE(w->PageControl1->count(), 2);
        QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("Initial Page"));
        QCOMPARE(w->PageControl1->tabText(1), QStringLiteral("Particulars of goods are those declared by shippers"));
        QCOMPARE(w->PageControl1->currentWidget(), w->TabSheet1);

        struct Box
        {
            const char *name;
            const char *title;
            QPoint pos;
        };
        for (const Box &b : {Box{"GroupBox1", "Shipper:", {8, 8}}, Box{"GroupBox2", "Consignee:", {8, 128}},
                             Box{"GroupBox3", "Notify Party:", {8, 248}}}) {
            auto *g = w->TabSheet1->findChild<QGroupBox *>(QLatin1String(b.name));
            QVERIFY2(g, b.name);
            QCOMPARE(g->title(), QLatin1String(b.title));
            QCOMPARE(g->pos(), b.pos);
            QVERIFY(g->font().bold());
            QCOMPARE(g->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            const QList<TDBEdit *> lines = g->findChildren<TDBEdit *>();
            QCOMPARE(lines.size(), 5);
            for (TDBEdit *e : lines) {
                QCOMPARE(e->width(), 313);
                QCOMPARE(e->maxLength(), 36);
                QCOMPARE(e->charCase(), dbcontrols::CharCase::Normal);
                QVERIFY(!e->font().bold());
            }
        }
        QCOMPARE(w->Label1->parentWidget()->geometry(), QRect(352, 8, 369, 40));
        QCOMPARE(w->Label1->font().pixelSize(), 24);
        QVERIFY(w->Label1->font().bold());
        QCOMPARE(w->Label1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(w->Image1->geometry(), QRect(352, 58, 369, 91));
        QCOMPARE(w->Image2->geometry(), QRect(496, 272, 225, 97));
        QCOMPARE(w->Image2->parentWidget(), w->TabSheet2);

        struct Entry
        {
            const char *caption;
            QPoint labelPos;
            const char *field;
            QRect geometry;
            int limit;
            bool upper;
        };
        const Entry entries[] = {
            {"Shippers Ref.", {352, 160}, "Bl_ShipperRef", {352, 176, 193, 0}, 18, true},
            {"Nr.da Reserva", {559, 160}, "Bl_AgentRef", {560, 176, 161, 0}, 18, false},
            {"Local vessel:", {352, 216}, "Bl_LocalVessel", {352, 232, 193, 0}, 0, true},
            {"Bill of Lading No.", {560, 216}, "Bl_BillofLading", {560, 232, 161, 0}, 18, true},
            {"From (local port of loading):", {352, 272}, "Bl_LocalLoading", {352, 288, 193, 0}, 18, true},
            {"Port of Discharge:", {560, 272}, "Bl_PortDischarg", {560, 288, 161, 0}, 0, true},
            {"Freight payable at:", {352, 328}, "Bl_FreightPayable", {352, 344, 193, 0}, 0, true},
            {"Final destination (if on-carriage):", {560, 328}, "Bl_FinalDestination", {560, 344, 161, 0}, 17, true},
        };
        const QList<QLabel *> labels = w->TabSheet1->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
        for (const Entry &en : entries) {
            QLabel *label = nullptr;
            for (QLabel *l : labels)
                if (l->text() == QLatin1String(en.caption))
                    label = l;
            QVERIFY2(label, en.caption);
            QCOMPARE(label->pos(), en.labelPos);
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            QCOMPARE(label->font().bold(), QByteArray(en.field) == "Bl_AgentRef");
            TDBEdit *e = s.edit(en.field);
            QVERIFY2(e && e->parentWidget() == w->TabSheet1, en.field);
            QCOMPARE(e->pos(), en.geometry.topLeft());
            QCOMPARE(e->width(), en.geometry.width());
            QCOMPARE(e->maxLength(), en.limit);
            QCOMPARE(e->charCase() == dbcontrols::CharCase::Upper, en.upper);
        }

        struct PageTwoBox
        {
            const char *title;
            QRect geometry;
        };
        for (const PageTwoBox &b : {PageTwoBox{"Marks and Numbers:", {8, 16, 145, 353}},
                                    PageTwoBox{"Number and kind of packages description of goods:", {160, 16, 321, 353}},
                                    PageTwoBox{"Gross Weight:", {496, 16, 105, 137}},
                                    PageTwoBox{"Measurement:", {618, 16, 103, 137}},
                                    PageTwoBox{"Net Weight:", {496, 168, 225, 89}}}) {
            QGroupBox *found = nullptr;
            for (QGroupBox *g : w->TabSheet2->findChildren<QGroupBox *>())
                if (g->title() == QLatin1String(b.title))
                    found = g;
            QVERIFY2(found, b.title);
            QCOMPARE(found->geometry(), b.geometry);
        }
        QCOMPARE(s.memo("Bl_Marks1")->size(), QSize(129, 329));
        QCOMPARE(s.memo("Bl_Marks2")->size(), QSize(305, 329));
        for (const char *unit : {"Bl_Gross2", "Bl_Measu2", "Bl_Gross4"})
            QCOMPARE(s.edit(unit)->charCase(), dbcontrols::CharCase::Upper);
        for (const char *value : {"Bl_Gross1", "Bl_Measu1", "Bl_Gross3"})
            QCOMPARE(s.edit(value)->charCase(), dbcontrols::CharCase::Normal);
        // Every field but the reference date has its control.
        for (const px::FieldDef &d : blrecord::registerFields()) {
            const bool bound = s.edit(d.name.toLatin1().constData()) || s.memo(d.name.toLatin1().constData());
            QCOMPARE(bound, d.name != QLatin1String("Bl_DataRef"));
        }

        QCOMPARE(w->StatusBar1->geometry(), QRect(0, 448, 739, 19));
        QCOMPARE(w->StatusBar1->panelWidths(), (QList<int>{60, 80, 90, 50, 380, 100}));
        QVERIFY(w->StatusBar1->font().bold());
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        QVERIFY(w->findChild<TMsgDlg *>(QStringLiteral("MsgDlg1")));
    }

    void statusPanelsReachTheRightEdge()
    {
        const QList<QRect> r = statusPanelRects({60, 80, 90, 50, 380, 100}, QSize(739, 19));
        QCOMPARE(r.size(), 6);
        QCOMPARE(r.at(4), QRect(280, 0, 380, 19));
        // The last panel is cut at the window's edge.
        QCOMPARE(r.at(5), QRect(660, 0, 79, 19));
        QCOMPARE(statusPanelRects({60, 80}, QSize(300, 19)).at(1), QRect(60, 0, 240, 19));
    }

    void firstShowFillsTheWindowAndShowsTheLastBL()
    {
        Session s(QList<Row>{oldBL(QStringLiteral("FIRST-1"), QStringLiteral("ALPHA")),
                             oldBL(QStringLiteral("LAST-2"), QStringLiteral("OMEGA"))});
        // Nothing reads the register before the window is shown.
        QCOMPARE(s.table()->state(), Table::State::Inactive);
        QVERIFY(s.show());
        QCOMPARE(s.answers.seen.size(), 0);
        QCOMPARE(s.table()->state(), Table::State::Browse);
        QCOMPARE(s.edit("Bl_AgentRef")->text(), QStringLiteral("LAST-2"));
        QCOMPARE(s.edit("Bl_Shipper1")->text(), QStringLiteral("OMEGA"));
        QCOMPARE(s.edit("Bl_Gross1")->text(), QStringLiteral("1.234,500"));
        // No field has the focus.
        QCOMPARE(s.focused(), QStringLiteral("Panel1"));

        TF_Endereco details;
        QCOMPARE(s.w->Label1->text(), details.EditFanta->text());
        QVERIFY(!details.logo().isNull());
        QCOMPARE(s.w->Image1->pixmap().toImage(), details.logo());
        QCOMPARE(s.w->Image2->pixmap().toImage(), details.logo());

        TStatusBar *bar = s.w->StatusBar1;
        QCOMPARE(bar->panelText(0), QStringLiteral("Corvane"));
        QCOMPARE(bar->panelText(1), QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QCOMPARE(bar->panelText(2), QStringLiteral("Versão ") + TAboutBox::versionNumber());
        QCOMPARE(bar->panelText(3), QStringLiteral("About"));
        QCOMPARE(bar->panelText(4), QString());
        QCOMPARE(bar->panelText(5), QStringLiteral("Visualizar"));

        // Browse state: the fields show the record but take no typing.
        s.type(s.edit("Bl_Shipper1"), QStringLiteral("XYZ"));
        QCOMPARE(s.edit("Bl_Shipper1")->text(), QStringLiteral("OMEGA"));
        QCOMPARE(s.table()->state(), Table::State::Browse);
    }

    void statusBarClickOpensTheAboutBox()
    {
        Session s(QList<Row>{});
        QVERIFY(s.show());
        QTest::mouseClick(s.w->StatusBar1, Qt::LeftButton, {}, QPoint(500, 9));
        QCOMPARE(s.answers.kinds(), QStringList{QStringLiteral("about")});
        // Nothing of it survives.
        QVERIFY(!s.w->findChild<TAboutBox *>());
    }

    void keyboardOrder()
    {
        Session s(QList<Row>{});
        QVERIFY(s.show());
        s.w->SB_Inclusao->click();
        QCOMPARE(s.focused(), QStringLiteral("Bl_Shipper1"));
        QStringList order{s.focused()};
        for (int i = 0; i < 25; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << s.focused();
        }
        QStringList expected;
        for (const char *prefix : {"Bl_Shipper", "Bl_Cnee", "Bl_Notify"})
            for (int i = 1; i <= 5; ++i)
                expected << QLatin1String(prefix) + QString::number(i);
        expected << "Bl_AgentRef" << "Bl_ShipperRef" << "Bl_BillofLading" << "Bl_LocalVessel" << "Bl_LocalLoading"
                 << "Bl_PortDischarg" << "Bl_FreightPayable" << "Bl_FinalDestination"
                 // The diskette is off while editing; the other page's fields are not reached.
                 << "BB_Fechar" << "PageControl1" << "Bl_Shipper1";
        QCOMPARE(order, expected);

        s.w->PageControl1->setCurrentIndex(1);
        s.memo("Bl_Marks1")->setFocus();
        order = QStringList{s.focused()};
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << s.focused();
        }
        QCOMPARE(order, (QStringList{"Bl_Marks1", "Bl_Marks2", "Bl_Gross1", "Bl_Gross2", "Bl_Measu1", "Bl_Measu2",
                                     "Bl_Gross3", "Bl_Gross4"}));
    }

    void roadOfOneBL()
    {
        Session s(QList<Row>{oldBL(QStringLiteral("OLD-1"), QStringLiteral("OLD SHIPPER"))});
        QVERIFY(s.show());
        s.w->PageControl1->setCurrentIndex(1);

        s.w->SB_Inclusao->click();
        QCOMPARE(s.table()->state(), Table::State::Insert);
        QCOMPARE(s.mode(), QStringLiteral("Inclusão"));
        QCOMPARE(s.enabled(), EditPattern);
        QCOMPARE(s.w->PageControl1->currentIndex(), 0);
        QCOMPARE(s.focused(), QStringLiteral("Bl_Shipper1"));
        QCOMPARE(s.edit("Bl_Shipper1")->text(), QString());

        // Party lines keep the letters as typed and stop at 36 characters.
        const QString longLine = QStringLiteral("Exportadora Sertao Ltda, Rua das Flores 1234");
        s.type(s.edit("Bl_Shipper1"), longLine);
        QCOMPARE(s.edit("Bl_Shipper1")->text(), longLine.left(36));
        s.type(s.edit("Bl_Cnee1"), QStringLiteral("to order"));
        s.type(s.edit("Bl_AgentRef"), QStringLiteral("png-0909/a"));
        s.type(s.edit("Bl_ShipperRef"), QStringLiteral("soj-17/09"));
        QCOMPARE(s.edit("Bl_ShipperRef")->text(), QStringLiteral("SOJ-17/09"));
        s.type(s.edit("Bl_LocalVessel"), QStringLiteral("nordic alvorada express"));
        QCOMPARE(s.edit("Bl_LocalVessel")->text(), QStringLiteral("NORDIC ALVORADA EXPR"));
        s.type(s.edit("Bl_FinalDestination"), QStringLiteral("sao paulo interior"));
        QCOMPARE(s.edit("Bl_FinalDestination")->text(), QStringLiteral("SAO PAULO INTERIO"));

        s.w->PageControl1->setCurrentIndex(1);
        TDBMemo *marks = s.memo("Bl_Marks1");
        marks->setFocus();
        QTest::keyClicks(marks, QStringLiteral("N/M"));
        QTest::keyClick(marks, Qt::Key_Return);
        QTest::keyClicks(marks, QStringLiteral("lote 7"));
        // Tab leaves the memo instead of typing a tab.
        QTest::keyClick(marks, Qt::Key_Tab);
        QCOMPARE(s.focused(), QStringLiteral("Bl_Marks2"));
        s.type(s.edit("Bl_Gross1"), QStringLiteral("1234,5"));
        s.type(s.edit("Bl_Gross2"), QStringLiteral("kgs"));
        QCOMPARE(s.edit("Bl_Gross2")->text(), QStringLiteral("KGS"));

        s.w->SB_Grava->click();
        QCOMPARE(s.answers.seen.size(), 0);
        QCOMPARE(s.table()->state(), Table::State::Browse);
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        QCOMPARE(s.enabled(), BrowsePattern);

        const QList<Row> rows = readRegister(s.dir.path());
        QCOMPARE(rows.size(), 2);
        const Row &r = rows.last();
        QCOMPARE(text(r, "Bl_Shipper1"), longLine.left(36));
        QCOMPARE(text(r, "Bl_Cnee1"), QStringLiteral("to order"));
        QCOMPARE(text(r, "Bl_AgentRef"), QStringLiteral("png-0909/a"));
        QCOMPARE(text(r, "Bl_ShipperRef"), QStringLiteral("SOJ-17/09"));
        QCOMPARE(text(r, "Bl_LocalVessel"), QStringLiteral("NORDIC ALVORADA EXPR"));
        QCOMPARE(text(r, "Bl_Marks1"), QStringLiteral("N/M\r\nlote 7"));
        QCOMPARE(text(r, "Bl_Gross2"), QStringLiteral("KGS"));
        QCOMPARE(std::get<double>(r.value(QStringLiteral("Bl_Gross1"))), 1234.5);
        QCOMPARE(std::get<QDate>(r.value(QStringLiteral("Bl_DataRef"))), QDate::currentDate());
        // The old B/L is as it was.
        QCOMPARE(text(rows.first(), "Bl_AgentRef"), QStringLiteral("OLD-1"));
        QCOMPARE(std::get<QDate>(rows.first().value(QStringLiteral("Bl_DataRef"))), OldDate);
        // The fields show the B/L just written.
        QCOMPARE(s.edit("Bl_AgentRef")->text(), QStringLiteral("png-0909/a"));
    }

    void confirmRefusesAnEmptyBookingNumber()
    {
        Session s(QList<Row>{});
        QVERIFY(s.show());
        s.w->SB_Inclusao->click();
        s.type(s.edit("Bl_Shipper1"), QStringLiteral("SHIPPER"));
        s.w->PageControl1->setCurrentIndex(1);
        s.type(s.memo("Bl_Marks2"), QStringLiteral("GOODS"));

        s.w->SB_Grava->click();
        QCOMPARE(s.answers.seen.size(), 1);
        const Seen &msg = s.answers.seen.first();
        QCOMPARE(msg.kind, QStringLiteral("msgdlg"));
        QCOMPARE(msg.title, QStringLiteral("Informação"));
        QCOMPARE(msg.text, QStringLiteral("Cadastre Número da Reserva."));
        QCOMPARE(msg.buttons, 1);
        QCOMPARE(s.w->PageControl1->currentIndex(), 0);
        QCOMPARE(s.focused(), QStringLiteral("Bl_AgentRef"));
        QCOMPARE(s.table()->state(), Table::State::Insert);
        QCOMPARE(s.mode(), QStringLiteral("Inclusão"));
        QCOMPARE(s.enabled(), EditPattern);
        QCOMPARE(readRegister(s.dir.path()).size(), 0);
        QCOMPARE(s.edit("Bl_Shipper1")->text(), QStringLiteral("SHIPPER"));
        QCOMPARE(s.memo("Bl_Marks2")->toPlainText(), QStringLiteral("GOODS"));

        // One blank is a booking number.
        QTest::keyClicks(s.edit("Bl_AgentRef"), QStringLiteral(" "));
        s.w->SB_Grava->click();
        QCOMPARE(s.answers.seen.size(), 1);
        QCOMPARE(s.table()->state(), Table::State::Browse);
        const QList<Row> rows = readRegister(s.dir.path());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(text(rows.first(), "Bl_Shipper1"), QStringLiteral("SHIPPER"));
        QCOMPARE(text(rows.first(), "Bl_Marks2"), QStringLiteral("GOODS"));
    }

    void editOfAnOldBLSetsTodaysDate()
    {
        Session s(QList<Row>{oldBL(QStringLiteral("A-1"), QStringLiteral("FIRST")),
                             oldBL(QStringLiteral("A-2"), QStringLiteral("SECOND"))});
        QVERIFY(s.show());
        s.w->PageControl1->setCurrentIndex(1);
        s.edit("Bl_Measu2")->setFocus();

        s.w->SB_Edit->click();
        QCOMPARE(s.table()->state(), Table::State::Edit);
        QCOMPARE(s.mode(), QStringLiteral("Editar"));
        QCOMPARE(s.enabled(), EditPattern);
        // Page and focus stay where they were.
        QCOMPARE(s.w->PageControl1->currentIndex(), 1);
        QCOMPARE(s.focused(), QStringLiteral("Bl_Measu2"));

        s.edit("Bl_Measu2")->selectAll();
        QTest::keyClicks(s.edit("Bl_Measu2"), QStringLiteral("m3"));
        s.w->SB_Grava->click();
        QCOMPARE(s.answers.seen.size(), 0);
        QCOMPARE(s.table()->state(), Table::State::Browse);

        const QList<Row> rows = readRegister(s.dir.path());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(text(rows.at(1), "Bl_Measu2"), QStringLiteral("M3"));
        QCOMPARE(std::get<QDate>(rows.at(1).value(QStringLiteral("Bl_DataRef"))), QDate::currentDate());
        // An untouched weight is not rewritten from its three shown decimals.
        QCOMPARE(std::get<double>(rows.at(1).value(QStringLiteral("Bl_Gross1"))), 1234.5);
        QCOMPARE(std::get<QDate>(rows.at(0).value(QStringLiteral("Bl_DataRef"))), OldDate);

        // Confirming again without a change still dates the B/L today (and writes nothing else).
        s.w->SB_Edit->click();
        s.w->SB_Grava->click();
        QCOMPARE(readRegister(s.dir.path()).size(), 2);
    }

    void cancelRestoresTheRecord()
    {
        Session s(QList<Row>{oldBL(QStringLiteral("KEEP-1"), QStringLiteral("ORIGINAL"))});
        QVERIFY(s.show());
        const QList<Row> before = readRegister(s.dir.path());

        s.w->SB_Edit->click();
        QLineEdit *shipper = s.edit("Bl_Shipper1");
        shipper->setFocus();
        shipper->selectAll();
        QTest::keyClicks(shipper, QStringLiteral("CHANGED"));
        s.type(s.edit("Bl_Gross1"), QStringLiteral("9"));
        s.w->SB_Cancela->click();
        QCOMPARE(s.answers.seen.size(), 0);
        QCOMPARE(s.table()->state(), Table::State::Browse);
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        QCOMPARE(s.enabled(), BrowsePattern);
        QCOMPARE(shipper->text(), QStringLiteral("ORIGINAL"));
        QCOMPARE(readRegister(s.dir.path()), before);

        s.w->SB_Inclusao->click();
        s.type(s.edit("Bl_AgentRef"), QStringLiteral("DROPPED"));
        s.w->SB_Cancela->click();
        QCOMPARE(s.table()->state(), Table::State::Browse);
        QCOMPARE(s.edit("Bl_AgentRef")->text(), QStringLiteral("KEEP-1"));
        QCOMPARE(shipper->text(), QStringLiteral("ORIGINAL"));
        QCOMPARE(readRegister(s.dir.path()), before);
    }

    void closingWhileEnteringKeepsTheWindowAndTheTypedValues()
    {
        Session s(QList<Row>{oldBL(QStringLiteral("B-1"), QStringLiteral("SHIPPER ONE"))});
        QVERIFY(s.show());

        s.w->SB_Inclusao->click();
        s.type(s.edit("Bl_Shipper1"), QStringLiteral("NEW ONE"));
        s.type(s.edit("Bl_AgentRef"), QStringLiteral("B-2"));
        s.w->close();
        QCOMPARE(s.answers.seen.size(), 1);
        QCOMPARE(s.answers.seen.at(0).kind, QStringLiteral("msgdlg"));
        QCOMPARE(s.answers.seen.at(0).title, QStringLiteral("Confirmação"));
        QCOMPARE(s.answers.seen.at(0).text, QStringLiteral("Novo BL não foi gravado.\rConfirme ou Cancele esta inclusão."));
        QVERIFY(s.w->isVisible());
        QCOMPARE(s.table()->state(), Table::State::Insert);
        QCOMPARE(s.edit("Bl_Shipper1")->text(), QStringLiteral("NEW ONE"));
        QCOMPARE(s.edit("Bl_AgentRef")->text(), QStringLiteral("B-2"));
        // The button runs the same check.
        s.w->BB_Fechar->click();
        QCOMPARE(s.answers.seen.size(), 2);
        QVERIFY(s.w->isVisible());
        QCOMPARE(s.edit("Bl_AgentRef")->text(), QStringLiteral("B-2"));
        // The entry goes on to its end.
        s.w->SB_Grava->click();
        QCOMPARE(readRegister(s.dir.path()).size(), 2);

        s.w->SB_Edit->click();
        s.edit("Bl_Cnee1")->setFocus();
        QTest::keyClicks(s.edit("Bl_Cnee1"), QStringLiteral("EDITED"));
        s.w->BB_Fechar->click();
        QCOMPARE(s.answers.seen.size(), 3);
        QCOMPARE(s.answers.seen.at(2).title, QStringLiteral("Informação"));
        QCOMPARE(s.answers.seen.at(2).text,
                 QStringLiteral("Edição deste BL não foi gravada.\rConfirme ou Cancele esta inclusão."));
        QVERIFY(s.w->isVisible());
        QCOMPARE(s.table()->state(), Table::State::Edit);
        QCOMPARE(s.edit("Bl_Cnee1")->text(), QStringLiteral("EDITED"));

        // In browse state the window closes and the register with it.
        s.w->SB_Cancela->click();
        s.w->BB_Fechar->click();
        QCOMPARE(s.answers.seen.size(), 3);
        QVERIFY(!s.w->isVisible());
        QCOMPARE(s.table()->state(), Table::State::Inactive);
        QCOMPARE(readRegister(s.dir.path()).size(), 2);
    }

    void editOnAnEmptyRegisterStartsANewBL()
    {
        Session s(QList<Row>{});
        QVERIFY(s.show());
        s.w->SB_Edit->click();
        QCOMPARE(s.table()->state(), Table::State::Insert);
        QCOMPARE(s.mode(), QStringLiteral("Editar"));
        QCOMPARE(s.enabled(), EditPattern);
        s.w->close();
        QCOMPARE(s.answers.seen.size(), 1);
        QCOMPARE(s.answers.seen.at(0).text, QStringLiteral("Novo BL não foi gravado.\rConfirme ou Cancele esta inclusão."));
        QVERIFY(s.w->isVisible());

        s.type(s.edit("Bl_AgentRef"), QStringLiteral("FIRST"));
        s.w->SB_Grava->click();
        QCOMPARE(s.table()->state(), Table::State::Browse);
        QCOMPARE(readRegister(s.dir.path()).size(), 1);
    }

    void missingRegisterIsReportedAndTheWindowStillShows()
    {
        Session s(std::nullopt);
        // The full path where the register was looked for, so the clerk can find the folder.
        const QString expected = QStringLiteral("Arquivo não encontrado: %1.")
                                     .arg(QDir::toNativeSeparators(QFileInfo(registerPath(s.dir.path())).absoluteFilePath()));

        QVERIFY(s.show());
        QCOMPARE(s.answers.seen.size(), 1);
        const Seen &err = s.answers.seen.first();
        QCOMPARE(err.kind, QStringLiteral("error"));
        QCOMPARE(err.title, QStringLiteral("Bill of Lading"));
        QCOMPARE(err.icon, QMessageBox::Critical);
        QCOMPARE(err.buttons, 1);
        QCOMPARE(err.text, expected);

        QVERIFY(s.w->isVisible());
        QCOMPARE(s.table()->state(), Table::State::Inactive);
        QCOMPARE(s.w->StatusBar1->panelText(0), QStringLiteral("Corvane"));
        QVERIFY(s.w->StatusBar1->panelText(2).startsWith(QStringLiteral("Versão ")));
        QCOMPARE(s.w->StatusBar1->panelText(3), QStringLiteral("About"));
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        QCOMPARE(s.enabled(), BrowsePattern);
        for (TDBEdit *e : s.w->findChildren<TDBEdit *>())
            QCOMPARE(e->text(), QString());

        // Actions that need the register report the same way and change nothing.
        s.w->SB_Inclusao->click();
        s.w->SB_Edit->click();
        QCOMPARE(s.answers.kinds(), (QStringList{"error", "error", "error"}));
        QCOMPARE(s.answers.seen.at(1).text, QStringLiteral("BlCorvane.DB: a tabela não está aberta."));
        QCOMPARE(s.answers.seen.at(2).text, QStringLiteral("BlCorvane.DB: a tabela não está aberta."));
        QCOMPARE(s.mode(), QStringLiteral("Visualizar"));
        QCOMPARE(s.enabled(), BrowsePattern);

        // "Fechar" ends the program, as the close box does.
        s.w->BB_Fechar->click();
        QVERIFY(!s.w->isVisible());
        QCOMPARE(s.answers.seen.size(), 3);
    }

    void damagedRegisterIsReported()
    {
        QTemporaryDir dir;
        QFile f(registerPath(dir.path()));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3000, '\x7f'));
        f.close();
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        {
            Answerer answers;
            TF_Principal w;
            TDM_BL dm;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(answers.kinds(), QStringList{QStringLiteral("error")});
            QVERIFY(answers.seen.first().text.contains(QStringLiteral("BlCorvane.DB")));
            QCOMPARE(dm.Tbl_BLCliente->state(), Table::State::Inactive);
        }
        QDir::setCurrent(previous);
    }

    void numberThatDoesNotConvertStopsTheConfirm()
    {
        Session s(QList<Row>{});
        QVERIFY(s.show());
        s.w->SB_Inclusao->click();
        s.type(s.edit("Bl_AgentRef"), QStringLiteral("N-1"));
        s.w->PageControl1->setCurrentIndex(1);
        s.type(s.edit("Bl_Gross1"), QStringLiteral("1,2,3"));

        // Leaving the field reports it once the key is done; the focus comes back.
        QTest::keyClick(s.edit("Bl_Gross1"), Qt::Key_Tab);
        QTRY_COMPARE(s.answers.kinds(), QStringList{QStringLiteral("error")});
        QTRY_COMPARE(blapp::pendingReports(), 0);
        const QString message = QStringLiteral("'1,2,3' is not a valid floating point value for field 'Bl_Gross1'");
        QCOMPARE(s.answers.seen.at(0).text, message);
        QCOMPARE(s.focused(), QStringLiteral("Bl_Gross1"));
        // The desktop hands the activation back once the box has gone.
        s.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.w.get()));
        QCOMPARE(QApplication::focusWidget(), s.edit("Bl_Gross1"));

        // Confirming reports it once more, once, and does not complete.
        s.w->SB_Grava->click();
        QCOMPARE(s.answers.kinds(), (QStringList{"error", "error"}));
        QCOMPARE(s.answers.seen.at(1).text, message);
        QCOMPARE(s.table()->state(), Table::State::Insert);
        QCOMPARE(s.mode(), QStringLiteral("Inclusão"));
        QCOMPARE(s.enabled(), EditPattern);
        QCOMPARE(s.focused(), QStringLiteral("Bl_Gross1"));
        QCOMPARE(s.edit("Bl_Gross1")->text(), QStringLiteral("1,2,3"));
        QCOMPARE(readRegister(s.dir.path()).size(), 0);

        // Corrected, the B/L goes in.
        s.edit("Bl_Gross1")->selectAll();
        QTest::keyClicks(s.edit("Bl_Gross1"), QStringLiteral("12,5"));
        s.w->SB_Grava->click();
        QCOMPARE(s.answers.seen.size(), 2);
        QCOMPARE(s.table()->state(), Table::State::Browse);
        const QList<Row> rows = readRegister(s.dir.path());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(std::get<double>(rows.first().value(QStringLiteral("Bl_Gross1"))), 12.5);
    }

    void postThatFailsKeepsTheStateAndTheButtons()
    {
        Session s(QList<Row>{oldBL(QStringLiteral("C-1"), QStringLiteral("MINE"))});
        QVERIFY(s.show());
        s.w->SB_Edit->click();
        s.edit("Bl_Shipper1")->setFocus();
        s.edit("Bl_Shipper1")->selectAll();
        QTest::keyClicks(s.edit("Bl_Shipper1"), QStringLiteral("MY CHANGE"));

        // Meanwhile another program rewrites the same B/L.
        {
            px::Table other(registerPath(s.dir.path()));
            const auto pos = other.first();
            QVERIFY(pos);
            QVector<px::Value> values = other.readValues(*pos);
            values[other.fieldIndex(u"Bl_Shipper1")] = QStringLiteral("THEIRS");
            other.update(*pos, other.readRaw(*pos), values);
        }

        s.w->SB_Grava->click();
        QCOMPARE(s.answers.kinds(), QStringList{QStringLiteral("error")});
        QCOMPARE(s.answers.seen.first().title, QStringLiteral("Bill of Lading"));
        QCOMPARE(s.table()->state(), Table::State::Edit);
        QCOMPARE(s.mode(), QStringLiteral("Editar"));
        QCOMPARE(s.enabled(), EditPattern);
        // The reference date was set before the post and stays set.
        QCOMPARE(s.dm->Tbl_BLClienteBl_DataRef->asDate(), QDate::currentDate());
        QCOMPARE(s.edit("Bl_Shipper1")->text(), QStringLiteral("MY CHANGE"));
        // The other program's write is not overwritten.
        const QList<Row> rows = readRegister(s.dir.path());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(text(rows.first(), "Bl_Shipper1"), QStringLiteral("THEIRS"));
        QCOMPARE(std::get<QDate>(rows.first().value(QStringLiteral("Bl_DataRef"))), OldDate);

        // The user can still cancel and close.
        s.w->SB_Cancela->click();
        QCOMPARE(s.table()->state(), Table::State::Browse);
        QCOMPARE(s.answers.seen.size(), 1);
    }
};

int main(int argc, char **argv)
{
    BLApplication app(argc, argv);
    app.setApplicationName(blapp::appTitle());
    // A closed window must not end the test run.
    app.setQuitOnLastWindowClosed(false);
    TestPrincipal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_principal.moc"
