// The message dialog: its geometry as a plain computation, and real dialogs answered
// through the modal helper.

#include "MsgDlg.h"
#include "MsgDlgLayout.h"
#include "ModalHelper.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <climits>

Q_DECLARE_METATYPE(TMsgDlgBtn)

namespace {

// What a running dialog looked like when the test saw it.
struct Snapshot {
    QString objectName;
    QString title;
    Qt::WindowFlags flags;
    QSize size, minimumSize, maximumSize;
    QPoint pos;
    QRect frame;
    QColor background;
    bool hasIcon = false;
    QRect iconRect;
    QSize iconPixmapSize;
    QRect labelRect;
    QString labelText;
    QColor labelColor;
    QFont labelFont;
    QImage labelImage;
    QStringList buttonNames;       // creation order
    QStringList captions;
    QVector<QRect> buttonRects;
    QVector<bool> glyphs;
    QFont buttonFont;
    QColor buttonColor;
    QString focus;
    QStringList tabOrder;          // from the focused button round the chain
    QVariant helpContext;
};

Snapshot snap(QDialog *w)
{
    Snapshot s;
    s.objectName = w->objectName();
    s.title = w->windowTitle();
    s.flags = w->windowFlags();
    s.size = w->size();
    s.minimumSize = w->minimumSize();
    s.maximumSize = w->maximumSize();
    s.pos = w->pos();
    s.frame = w->frameGeometry();
    s.background = w->palette().color(QPalette::Window);
    if (auto *icon = w->findChild<QLabel *>(QStringLiteral("Icon"))) {
        s.hasIcon = true;
        s.iconRect = icon->geometry();
        const QPixmap pm = icon->pixmap();
        s.iconPixmapSize = pm.isNull() ? QSize() : (pm.deviceIndependentSize().toSize());
    }
    if (auto *label = w->findChild<QLabel *>(QStringLiteral("Message"))) {
        s.labelRect = label->geometry();
        s.labelText = label->text();
        s.labelColor = label->palette().color(QPalette::WindowText);
        s.labelFont = label->font();
        s.labelImage = label->grab().toImage();
    }
    for (QPushButton *b : w->findChildren<QPushButton *>()) {
        s.buttonNames << b->objectName();
        s.captions << b->text();
        s.buttonRects << b->geometry();
        s.glyphs << !b->icon().isNull();
        s.buttonFont = b->font();
        s.buttonColor = b->palette().color(QPalette::ButtonText);
        if (b->objectName() == QLatin1String("mbHelp"))
            s.helpContext = b->property("HelpContext");
    }
    if (QWidget *f = w->focusWidget()) {
        s.focus = f->objectName();
        QWidget *x = f;
        do {
            if (qobject_cast<QPushButton *>(x))
                s.tabOrder << x->objectName();
            x = x->nextInFocusChain();
        } while (x && x != f);
    }
    return s;
}

constexpr int NotAnswered = -999;

// Runs call() while answer() acts on the dialog it opens. Should answer() leave the dialog
// open by mistake, it is closed with -1 after a while so the test fails instead of hanging.
int runDialog(const std::function<int()> &call, const std::function<void(QDialog *)> &answer,
              modaltest::WatchOptions options = {})
{
    auto watch = modaltest::whenModal(
        [answer](QWidget *w) {
            auto *dlg = qobject_cast<QDialog *>(w);
            if (!dlg)
                return;
            QTimer::singleShot(5000, dlg, [dlg] { dlg->done(-1); });
            answer(dlg);
        },
        options);
    const int result = call();
    if (!watch->acted) {
        qWarning("no modal dialog was answered");
        return NotAnswered;
    }
    return result;
}

QPushButton *button(QDialog *w, TMsgDlgBtn b)
{
    return w->findChild<QPushButton *>(TMsgDlg::buttonName(b));
}

void click(QDialog *w, TMsgDlgBtn b)
{
    if (QPushButton *btn = button(w, b))
        QTest::mouseClick(btn, Qt::LeftButton);
}

// Shows the dialog, takes a snapshot and presses Escape.
Snapshot look(TMsgDlg &d, bool display = false, const QString &text = QString(),
              TMsgDlgType type = mtInformation, TMsgDlgButtons set = {mbOK})
{
    Snapshot s;
    runDialog([&] { return display ? d.DisplayMessage(text, type, set, 0) : d.ShowDialog(); },
              [&](QDialog *w) {
                  s = snap(w);
                  QTest::keyClick(w, Qt::Key_Escape);
              });
    return s;
}

int widest(const QFontMetrics &fm, const QStringList &lines)
{
    int w = 0;
    for (const QString &l : lines)
        w = std::max(w, fm.horizontalAdvance(l));
    return w;
}

// Counts pixels clearly bluer than they are red in a band of rows: the navy message text.
int navyPixels(const QImage &img, int top, int bottom)
{
    int n = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, img.height()); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.blue() - c.red() > 60 && c.blue() - c.green() > 60)
                ++n;
        }
    return n;
}

struct BeepLog {
    QVector<TBeepSound> sounds;
    QVector<bool> dialogVisible;
};
BeepLog beepLog;

}  // namespace

class TestMsgDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        QCoreApplication::setApplicationName(QStringLiteral("Bill of Lading"));
        TMsgDlg::setBeepHandler([](TBeepSound s) {
            bool visible = false;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == QLatin1String("MsgDlgWindow") && w->isVisible())
                    visible = true;
            beepLog.sounds << s;
            beepLog.dialogVisible << visible;
        });
    }

    void init() { beepLog = {}; }

    void enumerationsAndSets()
    {
        QCOMPARE(int(mtCustom), 4);
        QCOMPARE(int(mtConfirmation), 3);
        QCOMPARE(int(mbYes), 0);
        QCOMPARE(int(mbOK), 2);
        QCOMPARE(int(mbCancel), 3);
        QCOMPARE(int(mbAll), 7);
        QCOMPARE(int(mbHelp), 10);
        QCOMPARE(int(msPosition), 1);
        QCOMPARE(int(bsAsterix), 1);
        QCOMPARE(int(bsQuestion), 5);

        QCOMPARE(TMsgDlgButtons{mbOK}.bits(), quint16(4));
        QCOMPARE((TMsgDlgButtons{mbOK, mbCancel}).bits(), quint16(12));
        QCOMPARE((TMsgDlgButtons{mbOK} | mbCancel), (TMsgDlgButtons{mbCancel, mbOK}));
        QCOMPARE((TMsgDlgButtons{mbYes, mbHelp}).bits(), quint16(0x401));
        QCOMPARE((TMsgDlgButtons{mbOK, mbCancel, mbOK}).count(), 2);
        QVERIFY(TMsgDlgButtons{}.isEmpty());
        QVERIFY(!(TMsgDlgButtons{mbOK}).contains(mbCancel));
        // Bits that name no button never count as buttons.
        const TMsgDlgButtons raw = TMsgDlgButtons::fromBits(0xFFFF);
        QCOMPARE(raw.count(), 11);
        QCOMPARE(raw.bits(), quint16(0x07FF));
        QVERIFY(raw.contains(mbHelp));
    }

    void initialValues()
    {
        QObject owner;
        auto *d = new TMsgDlg(&owner);
        QCOMPARE(d->parent(), &owner);
        QCOMPARE(d->beepSound(), bsNone);
        QCOMPARE(d->btnHeight(), 25);
        QCOMPARE(d->btnSpace(), 15);
        QCOMPARE(d->btnWidth(), 75);
        QCOMPARE(d->buttonFont().font, QGuiApplication::font());
        QCOMPARE(d->messageFont().font, QGuiApplication::font());
        QCOMPARE(d->buttons(), TMsgDlgButtons{mbOK});
        QCOMPARE(d->color(), QGuiApplication::palette().color(QPalette::Button));
        QCOMPARE(d->defaultButton(), mbYes);
        QCOMPARE(int(d->indent()), 14);
        QCOMPARE(d->helpContext(), 0);
        QCOMPARE(d->lineSeparator(), QChar(124));
        QCOMPARE(d->messageType(), mtWarning);
        QCOMPARE(d->posLeft(), 0);
        QCOMPARE(d->posTop(), 0);
        QVERIFY(d->showIcon());
        QVERIFY(d->showGlyph());
        QCOMPARE(d->style(), msCenter);
        QVERIFY(d->text().isEmpty());
        QVERIFY(d->title().isEmpty());
        QVERIFY(!d->onShow());
    }

    void standardSettings()
    {
        QObject owner;
        TMsgDlg *d = TMsgDlg::createStandard(&owner);
        QCOMPARE(d->parent(), &owner);
        QCOMPARE(d->objectName(), QStringLiteral("MsgDlg1"));
        QCOMPARE(d->beepSound(), bsAsterix);
        QCOMPARE(d->btnHeight(), 26);
        QCOMPARE(d->btnWidth(), 95);
        QCOMPARE(d->btnSpace(), 20);
        for (const TMsgDlgFont &f : {d->buttonFont(), d->messageFont()}) {
            QCOMPARE(f.font.family(), QStringLiteral("MS Sans Serif"));
            QCOMPARE(f.font.pixelSize(), 13);
            QVERIFY(f.font.bold());
        }
        QCOMPARE(d->buttonFont().color, QGuiApplication::palette().color(QPalette::WindowText));
        QCOMPARE(d->messageFont().color, QColor(0, 0, 128));
        QCOMPARE(d->buttons(), TMsgDlgButtons{mbOK});
        QCOMPARE(d->defaultButton(), mbYes);
        QCOMPARE(int(d->indent()), 14);
        QCOMPARE(d->helpContext(), 0);
        QCOMPARE(d->lineSeparator(), QChar(92));
        QCOMPARE(d->messageType(), mtWarning);
        QVERIFY(d->showIcon() && d->showGlyph());
        QCOMPARE(d->style(), msCenter);
    }

    void captionsResultsTitles()
    {
        const char *captions[] = {"&Sim", "&Não", "&OK", "&Cancelar", "&Abortar", "&Repetir",
                                  "&Ignorar", "&Todos", "Não To&dos", "S&im Todos", "A&juda"};
        const int results[] = {6, 7, 1, 2, 3, 4, 5, 8, 7, 6, 0};
        for (int b = 0; b < MsgDlgBtnCount; ++b) {
            QCOMPARE(TMsgDlg::buttonCaption(TMsgDlgBtn(b)), QString::fromUtf8(captions[b]));
            QCOMPARE(TMsgDlg::buttonResult(TMsgDlgBtn(b)), results[b]);
        }
        QCOMPARE(TMsgDlg::defaultTitle(mtWarning), QStringLiteral("Atenção"));
        QCOMPARE(TMsgDlg::defaultTitle(mtError), QStringLiteral("Erro"));
        QCOMPARE(TMsgDlg::defaultTitle(mtInformation), QStringLiteral("Informação"));
        QCOMPARE(TMsgDlg::defaultTitle(mtConfirmation), QStringLiteral("Confirmação"));
        QCOMPARE(TMsgDlg::defaultTitle(mtCustom), QStringLiteral("Bill of Lading"));
    }

    // ---- text into lines ---------------------------------------------------------------

    void messageLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QStringList>("lines");
        const QChar bs(92), bar(124);
        QTest::newRow("empty text is one line") << QString() << bs << QStringList{QString()};
        QTest::newRow("carriage return") << QStringLiteral("Novo BL não foi gravado.\rConfirme")
                                         << bs << QStringList{"Novo BL não foi gravado.", "Confirme"};
        QTest::newRow("doubled CR gives an empty line")
            << QStringLiteral("Falha.\r\rEscolha.\r\rOu") << bs
            << QStringList{"Falha.", "", "Escolha.", "", "Ou"};
        QTest::newRow("backslash of a path") << QStringLiteral("Este BL já está em C:\\BL\\BL010524.DB")
                                             << bs << QStringList{"Este BL já está em C:", "BL", "BL010524.DB"};
        QTest::newRow("trailing separator adds an empty line") << QStringLiteral("a|b|") << bar
                                                                << QStringList{"a", "b", ""};
        QTest::newRow("only the configured separator breaks")
            << QStringLiteral("a\\b|c") << bar << QStringList{"a\\b", "c"};
        QTest::newRow("CR LF counts once") << QStringLiteral("a\r\nb") << bs << QStringList{"a", "b"};
        QTest::newRow("a lone line feed is no break") << QStringLiteral("a\nb") << bs
                                                      << QStringList{"a\nb"};
        QTest::newRow("separator and CR mixed") << QStringLiteral("\\x\r") << bs
                                                << QStringList{"", "x", ""};
    }

    void messageLines()
    {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QFETCH(QStringList, lines);
        QCOMPARE(msgdlg::messageLines(text, separator), lines);
        QVERIFY(!msgdlg::messageText(text, separator).contains(separator) || separator == QChar('\r'));
    }

    void lineWidthAndLabelSize()
    {
        const msgdlg::AdvanceFn sevenEach = [](const QString &s) { return int(s.size()) * 7; };
        QCOMPARE(msgdlg::lineWidth(QStringLiteral("abc"), sevenEach, 56), 21);
        QCOMPARE(msgdlg::lineWidth(QStringLiteral("ab\tc"), sevenEach, 56), 63);
        QCOMPARE(msgdlg::lineWidth(QStringLiteral("abcdefgh\tc"), sevenEach, 56), 119);  // 56 exactly: next stop
        QCOMPARE(msgdlg::lineWidth(QStringLiteral("\t\t"), sevenEach, 56), 112);
        QCOMPARE(msgdlg::lineWidth(QStringLiteral("a\t"), sevenEach, 56), 56);
        QCOMPARE(msgdlg::lineWidth(QStringLiteral("a\tb"), sevenEach, 0), 14);
        const QVector<msgdlg::Segment> segs = msgdlg::lineSegments(QStringLiteral("ab\tcd\te"), sevenEach, 56);
        QCOMPARE(segs.size(), 3);
        QCOMPARE(segs[1].x, 56);
        QCOMPARE(segs[1].text, QStringLiteral("cd"));
        QCOMPARE(segs[2].x, 112);

        QCOMPARE(msgdlg::labelSize({"ab", "abcde", ""}, sevenEach, 56, 15), QSize(35, 45));
        QCOMPARE(msgdlg::labelSize({""}, sevenEach, 56, 15), QSize(0, 15));
    }

    // ---- geometry ----------------------------------------------------------------------

    void layout_data()
    {
        QTest::addColumn<int>("indent");
        QTest::addColumn<bool>("showIcon");
        QTest::addColumn<QSize>("label");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("bw");
        QTest::addColumn<int>("bh");
        QTest::addColumn<int>("bs");
        QTest::addColumn<QPoint>("labelPos");
        QTest::addColumn<int>("firstX");
        QTest::addColumn<int>("buttonTop");
        QTest::addColumn<QSize>("client");

        // The application's settings: indent 14, buttons 95 x 26, gap 20. With the icon the
        // label starts at 60 and the provisional width is 60 + label + 28.
        QTest::newRow("one button centred") << 14 << true << QSize(200, 15) << 1 << 95 << 26 << 20
                                            << QPoint(60, 14) << 96 << 60 << QSize(288, 100);
        QTest::newRow("two buttons centred") << 14 << true << QSize(300, 30) << 2 << 95 << 26 << 20
                                             << QPoint(60, 14) << 89 << 60 << QSize(388, 100);
        QTest::newRow("tall text pushes the buttons down")
            << 14 << true << QSize(200, 45) << 1 << 95 << 26 << 20 << QPoint(60, 14) << 96 << 73
            << QSize(288, 113);
        QTest::newRow("row wider than text starts at indent")
            << 14 << true << QSize(100, 15) << 11 << 95 << 26 << 20 << QPoint(60, 14) << 14 << 60
            << QSize(14 + 1245 + 14, 100);
        QTest::newRow("two buttons, short text") << 14 << true << QSize(50, 15) << 2 << 95 << 26 << 20
                                                 << QPoint(60, 14) << 14 << 60 << QSize(238, 100);
        // room = 220 - 210 = 10 < 2 x gap: starts at 5, window 5 + 210 + 14.
        QTest::newRow("small room: not centred, widened")
            << 14 << true << QSize(132, 15) << 2 << 95 << 26 << 20 << QPoint(60, 14) << 5 << 60
            << QSize(229, 100);
        // room 39: start 19, last x 249 equals the width, so nothing changes.
        QTest::newRow("room 2 x gap - 1: unchanged")
            << 14 << true << QSize(161, 15) << 2 << 95 << 26 << 20 << QPoint(60, 14) << 19 << 60
            << QSize(249, 100);
        // room 38: start 19, last x 249 > 248: width 19 + 210 + 14 = 243, narrower than before.
        QTest::newRow("room 2 x gap - 2: narrows by the rule")
            << 14 << true << QSize(160, 15) << 2 << 95 << 26 << 20 << QPoint(60, 14) << 19 << 60
            << QSize(243, 100);
        QTest::newRow("room 2 x gap: centred") << 14 << true << QSize(162, 15) << 2 << 95 << 26 << 20
                                               << QPoint(60, 14) << 20 << 60 << QSize(250, 100);
        // room -1 halves to 0 (truncation toward zero), which is not negative.
        QTest::newRow("room -1 starts at 0") << 14 << true << QSize(121, 15) << 2 << 95 << 26 << 20
                                             << QPoint(60, 14) << 0 << 60 << QSize(224, 100);
        QTest::newRow("room -2 starts at indent") << 14 << true << QSize(120, 15) << 2 << 95 << 26 << 20
                                                  << QPoint(60, 14) << 14 << 60 << QSize(238, 100);
        QTest::newRow("no icon: text at 2 x indent") << 14 << false << QSize(200, 15) << 1 << 95 << 26
                                                     << 20 << QPoint(28, 14) << 80 << 43
                                                     << QSize(256, 83);
        QTest::newRow("no buttons: strip still reserved")
            << 14 << true << QSize(200, 15) << 0 << 95 << 26 << 20 << QPoint(60, 14) << -1 << 60
            << QSize(288, 100);
        QTest::newRow("component defaults") << 14 << true << QSize(150, 13) << 2 << 75 << 25 << 15
                                            << QPoint(60, 14) << 36 << 60 << QSize(238, 99);
        QTest::newRow("indent 0, no icon") << 0 << false << QSize(10, 10) << 1 << 75 << 25 << 15
                                           << QPoint(0, 0) << 0 << 10 << QSize(75, 35);
        // A gap far wider than the indent would narrow the window over the text; it keeps
        // indent beside the text instead. Width 228, room 58: start 29, last x 249 > 228,
        // rule 249 + 14 - 50 = 213, but the text ends at 200.
        QTest::newRow("narrowing never cuts the text")
            << 14 << true << QSize(140, 15) << 2 << 60 << 26 << 50 << QPoint(60, 14) << 29 << 60
            << QSize(214, 100);
    }

    void layout()
    {
        QFETCH(int, indent);
        QFETCH(bool, showIcon);
        QFETCH(QSize, label);
        QFETCH(int, n);
        QFETCH(int, bw);
        QFETCH(int, bh);
        QFETCH(int, bs);
        QFETCH(QPoint, labelPos);
        QFETCH(int, firstX);
        QFETCH(int, buttonTop);
        QFETCH(QSize, client);

        msgdlg::LayoutInput in;
        in.indent = indent;
        in.showIcon = showIcon;
        in.labelSize = label;
        in.buttonCount = n;
        in.btnWidth = bw;
        in.btnHeight = bh;
        in.btnSpace = bs;
        const msgdlg::Layout out = msgdlg::computeLayout(in);

        if (showIcon)
            QCOMPARE(out.icon, QRect(indent, indent, 32, 32));
        else
            QVERIFY(out.icon.isNull());
        QCOMPARE(out.label, QRect(labelPos, label));
        QCOMPARE(out.buttons.size(), n);
        for (int i = 0; i < n; ++i)
            QCOMPARE(out.buttons[i], QRect(firstX + i * (bw + bs), buttonTop, bw, bh));
        QCOMPARE(out.client, client);
        // The buttons sit indent above the bottom edge.
        QCOMPARE(out.client.height(), buttonTop + bh + indent);
    }

    void layoutSaturates()
    {
        msgdlg::LayoutInput in;
        in.labelSize = QSize(100, 15);
        in.buttonCount = 11;
        in.btnWidth = INT_MAX;
        in.btnSpace = INT_MAX;
        in.btnHeight = INT_MAX;
        const msgdlg::Layout out = msgdlg::computeLayout(in);
        QCOMPARE(out.client.width(), msgdlg::CoordLimit);
        QCOMPARE(out.client.height(), msgdlg::CoordLimit);
        QCOMPARE(out.buttons.first().x(), 14);
        for (const QRect &r : out.buttons)
            QVERIFY(r.x() >= 0 && r.width() > 0);
    }

    void windowPosition()
    {
        const QRect screen(0, 0, 1280, 1024);
        QCOMPARE(msgdlg::windowPosition(true, QPoint(5, 6), QSize(301, 100), screen), QPoint(489, 462));
        QCOMPARE(msgdlg::windowPosition(true, QPoint(), QSize(300, 100), QRect(1280, 0, 800, 600)),
                 QPoint(1530, 250));
        QCOMPARE(msgdlg::windowPosition(false, QPoint(-5, 6), QSize(300, 100), screen), QPoint(-5, 6));
    }

    // ---- the running dialog ------------------------------------------------------------

    void eachButtonGivesItsResult_data()
    {
        QTest::addColumn<TMsgDlgBtn>("button");
        QTest::addColumn<int>("result");
        const int results[] = {6, 7, 1, 2, 3, 4, 5, 8, 7, 6};
        for (int b = 0; b < mbHelp; ++b)
            QTest::newRow(qPrintable(TMsgDlg::buttonName(TMsgDlgBtn(b)))) << TMsgDlgBtn(b) << results[b];
    }

    void eachButtonGivesItsResult()
    {
        QFETCH(TMsgDlgBtn, button);
        QFETCH(int, result);
        TMsgDlg d;
        d.setButtons(TMsgDlgButtons{button, mbHelp});
        QString caption;
        const int r = runDialog([&] { return d.ShowDialog(); }, [&](QDialog *w) {
            if (QPushButton *b = ::button(w, button))
                caption = b->text();
            click(w, button);
        });
        QCOMPARE(r, result);
        QCOMPARE(caption, TMsgDlg::buttonCaption(button));
    }

    void allButtonsInEnumerationOrder()
    {
        TMsgDlg d;
        d.setButtons(TMsgDlgButtons::fromBits(0x07FF));
        d.setDefaultButton(mbCancel);
        const Snapshot s = look(d);
        QStringList names;
        for (int b = 0; b < MsgDlgBtnCount; ++b)
            names << TMsgDlg::buttonName(TMsgDlgBtn(b));
        QCOMPARE(s.buttonNames, names);
        for (int i = 1; i < s.buttonRects.size(); ++i)
            QCOMPARE(s.buttonRects[i].x() - s.buttonRects[i - 1].x(), 75 + 15);
        // The default button leads the tab order, the others follow in creation order.
        QCOMPARE(s.focus, QStringLiteral("mbCancel"));
        QStringList order = names;
        order.move(order.indexOf(QStringLiteral("mbCancel")), 0);
        QCOMPARE(s.tabOrder, order);
    }

    void escapeAndCloseBoxGiveCancel()
    {
        TMsgDlg d;
        d.setButtons({mbOK});
        // Escape typed on the focused OK button still reaches the window.
        QCOMPARE(runDialog([&] { return d.ShowDialog(); },
                           [](QDialog *w) { QTest::keyClick(w->focusWidget(), Qt::Key_Escape); }),
                 2);
        QCOMPARE(runDialog([&] { return d.ShowDialog(); },
                           [](QDialog *w) { w->windowHandle()->close(); }),
                 2);

        d.setButtons({});
        QString focus = QStringLiteral("unset");
        int buttons = -1;
        QCOMPARE(runDialog([&] { return d.ShowDialog(); },
                           [&](QDialog *w) {
                               buttons = int(w->findChildren<QPushButton *>().size());
                               focus = w->focusWidget() ? w->focusWidget()->objectName() : QString();
                               QTest::keyClick(w, Qt::Key_Return);  // nothing to press
                               if (w->isVisible())
                                   QTest::keyClick(w, Qt::Key_Escape);
                           }),
                 2);
        QCOMPARE(buttons, 0);
        QVERIFY(focus.isEmpty());
        QCOMPARE(runDialog([&] { return d.ShowDialog(); },
                           [](QDialog *w) { w->windowHandle()->close(); }),
                 2);
    }

    void defaultButtonAndEnter()
    {
        // The application's mbYes is not in OK/Cancel: the focus stays on OK, Enter gives 1.
        TMsgDlg *d = TMsgDlg::createStandard(nullptr);
        std::unique_ptr<TMsgDlg> owner(d);
        QString focus;
        int r = runDialog([&] { return d->DisplayMessage(QStringLiteral("Deleja deletar ref \"X\""),
                                                         mtConfirmation, {mbOK, mbCancel}); },
                          [&](QDialog *w) {
                              focus = w->focusWidget() ? w->focusWidget()->objectName() : QString();
                              QTest::keyClick(w->focusWidget(), Qt::Key_Return);
                          });
        QCOMPARE(focus, QStringLiteral("mbOK"));
        QCOMPARE(r, 1);

        d->setDefaultButton(mbCancel);
        QStringList order;
        r = runDialog([&] { return d->DisplayMessage(QStringLiteral("?"), mtConfirmation, {mbOK, mbCancel}); },
                      [&](QDialog *w) {
                          const Snapshot s = snap(w);
                          focus = s.focus;
                          order = s.tabOrder;
                          QTest::keyClick(w->focusWidget(), Qt::Key_Return);
                      });
        QCOMPARE(focus, QStringLiteral("mbCancel"));
        QCOMPARE(order, (QStringList{"mbCancel", "mbOK"}));
        QCOMPARE(r, 2);

        // Tab moves on to OK; Enter on it presses OK.
        r = runDialog([&] { return d->DisplayMessage(QStringLiteral("?"), mtConfirmation, {mbOK, mbCancel}); },
                      [&](QDialog *w) {
                          QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
                          focus = w->focusWidget() ? w->focusWidget()->objectName() : QString();
                          QTest::keyClick(w->focusWidget(), Qt::Key_Return);
                      });
        QCOMPARE(focus, QStringLiteral("mbOK"));
        QCOMPARE(r, 1);
    }

    void mnemonicPressesButton()
    {
        TMsgDlg d;
        d.setButtons({mbOK, mbCancel});
        modaltest::WatchOptions active;
        active.waitActive = true;
        const int r = runDialog([&] { return d.ShowDialog(); },
                                [](QDialog *w) { QTest::keyClick(w, Qt::Key_C, Qt::AltModifier); }, active);
        QCOMPARE(r, 2);
    }

    void helpButtonKeepsDialogOpen()
    {
        QVector<int> topics;
        auto previous = TMsgDlg::setHelpHandler([&topics](int topic) { topics << topic; });
        TMsgDlg d;
        bool openAfterHelp = false;
        QVariant carried;
        auto answer = [&](QDialog *w) {
            carried = snap(w).helpContext;
            click(w, mbHelp);
            openAfterHelp = w->isVisible();
            click(w, mbOK);
        };
        QCOMPARE(runDialog([&] { return d.DisplayMessage(QStringLiteral("x"), mtInformation, {mbOK, mbHelp}, 77); },
                           answer),
                 1);
        QVERIFY(openAfterHelp);
        QCOMPARE(carried, QVariant(77));
        QCOMPARE(topics, QVector<int>{77});

        // Topic 0 asks nothing of the help system.
        QCOMPARE(runDialog([&] { return d.DisplayMessage(QStringLiteral("x"), mtInformation, {mbOK, mbHelp}, 0); },
                           answer),
                 1);
        QVERIFY(openAfterHelp);
        QCOMPARE(topics, QVector<int>{77});
        TMsgDlg::setHelpHandler(previous);
    }

    void standardDialogGeometry()
    {
        // The confirmation the entry window shows on close during an insert.
        TMsgDlg *d = TMsgDlg::createStandard(nullptr);
        std::unique_ptr<TMsgDlg> owner(d);
        const QStringList lines{QStringLiteral("Novo BL não foi gravado."),
                                QStringLiteral("Confirme ou Cancele esta inclusão.")};
        const Snapshot s = look(*d, true, lines.join(QLatin1Char('\r')), mtConfirmation, {mbOK, mbCancel});

        const QFontMetrics fm(d->messageFont().font);
        const int lineHeight = fm.height();
        const int labelWidth = widest(fm, lines);
        QCOMPARE(s.iconRect, QRect(14, 14, 32, 32));
        QCOMPARE(s.iconPixmapSize, QSize(32, 32));
        QCOMPARE(s.labelRect, QRect(60, 14, labelWidth, 2 * lineHeight));
        QCOMPARE(s.labelText, lines.join(QLatin1Char('\r')));

        const int width = 60 + labelWidth + 28;
        const int top = std::max(46, 14 + 2 * lineHeight) + 14;
        const int rowWidth = 2 * 95 + 20;
        QVERIFY2(width - rowWidth >= 40, "the text is expected to be wide enough to centre the row");
        const int x = (width - rowWidth) / 2;
        QCOMPARE(s.buttonNames, (QStringList{"mbOK", "mbCancel"}));
        QCOMPARE(s.captions, (QStringList{"&OK", "&Cancelar"}));
        QCOMPARE(s.buttonRects, (QVector<QRect>{QRect(x, top, 95, 26), QRect(x + 115, top, 95, 26)}));
        QCOMPARE(s.size, QSize(width, top + 26 + 14));
        QCOMPARE(s.minimumSize, s.size);
        QCOMPARE(s.maximumSize, s.size);

        QCOMPARE(s.title, QStringLiteral("Confirmação"));
        QVERIFY(s.flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(s.flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(s.flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(!s.flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!s.flags.testFlag(Qt::WindowContextHelpButtonHint));

        QCOMPARE(s.labelColor, QColor(0, 0, 128));
        QCOMPARE(s.labelFont.pixelSize(), 13);
        QVERIFY(s.labelFont.bold());
        QCOMPARE(s.buttonFont.pixelSize(), 13);
        QVERIFY(s.buttonFont.bold());
        QCOMPARE(s.buttonColor, QGuiApplication::palette().color(QPalette::WindowText));
        QCOMPARE(s.background, d->color());
        QCOMPARE(s.glyphs, (QVector<bool>{true, true}));

        // Both lines are painted, each in its own band of the label.
        QVERIFY(navyPixels(s.labelImage, 0, lineHeight) > 20);
        QVERIFY(navyPixels(s.labelImage, lineHeight, 2 * lineHeight) > 20);

        // The whole window, frame included, is centred on the screen.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(s.frame.topLeft(), QPoint((screen.width() - s.frame.width()) / 2,
                                           (screen.height() - s.frame.height()) / 2));
    }

    void lineSeparatorMakesLines()
    {
        TMsgDlg *d = TMsgDlg::createStandard(nullptr);
        std::unique_ptr<TMsgDlg> owner(d);
        const QFontMetrics fm(d->messageFont().font);
        Snapshot s = look(*d, true, QStringLiteral("Este BL já está em C:\\BL\\BL010524.DB"));
        QCOMPARE(s.labelText, QStringLiteral("Este BL já está em C:\rBL\rBL010524.DB"));
        QCOMPARE(s.labelRect.height(), 3 * fm.height());
        QVERIFY(navyPixels(s.labelImage, 2 * fm.height(), 3 * fm.height()) > 20);

        s = look(*d, true, QStringLiteral("a\\"));
        QCOMPARE(s.labelRect.height(), 2 * fm.height());
        s = look(*d, true, QString());
        QCOMPARE(s.labelRect.size(), QSize(0, fm.height()));

        // The component's own separator is the bar; a backslash then stays in the line.
        TMsgDlg plain;
        plain.setText(QStringLiteral("a\\b|c"));
        s = look(plain);
        QCOMPARE(s.labelText, QStringLiteral("a\\b\rc"));
    }

    void ampersandShownAsTyped()
    {
        TMsgDlg *d = TMsgDlg::createStandard(nullptr);
        std::unique_ptr<TMsgDlg> owner(d);
        const Snapshot s = look(*d, true, QStringLiteral("Deleja deletar ref \"A&&B&C\""));
        QCOMPARE(s.labelText, QStringLiteral("Deleja deletar ref \"A&&B&C\""));
        QCOMPARE(s.labelRect.width(), QFontMetrics(d->messageFont().font).horizontalAdvance(s.labelText));
    }

    void titlesAndStoredValues()
    {
        TMsgDlg d;
        d.setTitle(QStringLiteral("Própria"));
        d.setMessageType(mtError);
        QCOMPARE(look(d).title, QStringLiteral("Própria"));  // ShowDialog honours Title
        d.setMessageType(mtCustom);
        d.setTitle(QString());
        QCOMPARE(look(d).title, QStringLiteral("Bill of Lading"));

        d.setTitle(QStringLiteral("Própria"));
        const Snapshot s = look(d, true, QStringLiteral("texto"), mtInformation, {mbOK, mbCancel});
        QCOMPARE(s.title, QStringLiteral("Informação"));
        QVERIFY(d.title().isEmpty());
        QCOMPARE(d.text(), QStringLiteral("texto"));
        QCOMPARE(d.messageType(), mtInformation);
        QCOMPARE(d.buttons(), (TMsgDlgButtons{mbOK, mbCancel}));
        QCOMPARE(look(d, true, QStringLiteral("x"), mtWarning).title, QStringLiteral("Atenção"));
        QCOMPARE(look(d, true, QStringLiteral("x"), mtError).title, QStringLiteral("Erro"));
    }

    void iconAndGlyphSwitches()
    {
        TMsgDlg d;
        d.setShowIcon(false);
        d.setShowGlyph(false);
        d.setButtons({mbOK, mbCancel});
        d.setText(QStringLiteral("sem ícone"));
        const Snapshot s = look(d);
        QVERIFY(!s.hasIcon);
        QCOMPARE(s.labelRect.topLeft(), QPoint(28, 14));
        QCOMPARE(s.glyphs, (QVector<bool>{false, false}));

        d.setShowIcon(true);
        d.setShowGlyph(true);
        for (TMsgDlgType t : {mtWarning, mtError, mtInformation, mtConfirmation}) {
            d.setMessageType(t);
            const Snapshot withIcon = look(d);
            QVERIFY(withIcon.hasIcon);
            QCOMPARE(withIcon.iconPixmapSize, QSize(32, 32));
            QCOMPARE(withIcon.labelRect.topLeft(), QPoint(60, 14));
        }
    }

    void placementByStyle()
    {
        TMsgDlg d;
        d.setStyle(msPosition);
        d.setPosLeft(30);
        d.setPosTop(40);
        const Snapshot s = look(d);
        QCOMPARE(s.pos, QPoint(30, 40));
        QCOMPARE(s.frame.topLeft(), QPoint(30, 40));  // the frame's corner, not the client's
    }

    void beepBeforeShowOnShowWhenVisible()
    {
        TMsgDlg *d = TMsgDlg::createStandard(nullptr);
        std::unique_ptr<TMsgDlg> owner(d);
        QObject *sender = nullptr;
        bool visibleInOnShow = false;
        int shows = 0;
        d->setOnShow([&](QObject *s) {
            sender = s;
            ++shows;
            if (auto *w = qobject_cast<QWidget *>(s))
                visibleInOnShow = w->isVisible();
        });
        QPointer<QWidget> seen;
        runDialog([&] { return d->DisplayMessage(QStringLiteral("x"), mtInformation, {mbOK}); },
                  [&](QDialog *w) {
                      seen = w;
                      click(w, mbOK);
                  });
        QCOMPARE(beepLog.sounds, QVector<TBeepSound>{bsAsterix});
        QCOMPARE(beepLog.dialogVisible, QVector<bool>{false});
        QCOMPARE(shows, 1);
        QVERIFY(visibleInOnShow);
        QVERIFY(sender && sender->objectName() == QLatin1String("MsgDlgWindow"));
        QVERIFY(seen.isNull());  // the window is gone once ShowDialog returns

        d->setBeepSound(bsNone);
        d->setOnShow({});
        runDialog([&] { return d->ShowDialog(); }, [&](QDialog *w) { click(w, mbOK); });
        QCOMPARE(beepLog.sounds.size(), 1);
        QCOMPARE(shows, 1);
    }

    void nestedDialogs()
    {
        // A second message asked while the first is up answers and closes in turn.
        TMsgDlg outer, inner;
        inner.setButtons({mbYes, mbNo});
        int innerResult = -1;
        outer.setButtons({mbOK, mbCancel});
        const int r = runDialog([&] { return outer.ShowDialog(); }, [&](QDialog *w) {
            innerResult = runDialog([&] { return inner.ShowDialog(); },
                                    [](QDialog *w2) { click(w2, mbNo); });
            click(w, mbCancel);
        });
        QCOMPARE(innerResult, 7);
        QCOMPARE(r, 2);
    }
};

QTEST_MAIN(TestMsgDlg)
#include "tst_msgdlg.moc"
