// The data-aware edit and memo: what they show in each state, what they let the user type,
// and what reaches the register, on real tables in a temporary folder.

#include "BLRecord.h"
#include "DBControls.h"
#include "ErrorBox.h"
#include "ErrorBoxWatch.h"
#include "Formats.h"
#include "PxTestUtil.h"
#include "U_DM_BL.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QPlainTextDocumentLayout>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

#include <memory>

using dbcontrols::CharCase;

namespace {

const QLocale Brazil(QLocale::Portuguese, QLocale::Brazil);
const QLocale English(QLocale::English, QLocale::UnitedStates);

// Reads a field of the last record straight from the file, past every cache of the controls.
px::Value storedValue(const QString &dbPath, const QString &fieldName)
{
    px::Table t(dbPath, px::Table::Mode::ReadOnly);
    const auto pos = t.last();
    if (!pos)
        return {};
    return t.readValues(*pos).at(t.fieldIndex(fieldName));
}

// A window with the controls of the tests, bound to the register of a data module.
struct Fixture
{
    QTemporaryDir dir;
    QString dbPath;
    std::unique_ptr<TDM_BL> dm;
    std::unique_ptr<QWidget> window;
    TDBEdit *shipper = nullptr;     // Bl_Shipper1, limit 36, as typed
    TDBEdit *shipperRef = nullptr;  // Bl_ShipperRef, limit 18, upper
    TDBEdit *vessel = nullptr;      // Bl_LocalVessel, the field's own limit (20), upper
    TDBEdit *gross = nullptr;       // Bl_Gross1, a number
    TDBMemo *marks = nullptr;       // Bl_Marks1
    QLineEdit *other = nullptr;     // somewhere to move the focus to

    Table *table() const { return dm->Tbl_BLCliente; }

    bool setUp()
    {
        if (!dir.isValid())
            return false;
        dbPath = pxtest::makeTable(dir.path(), QStringLiteral("BlCorvane.DB"), blrecord::registerFields());
        dm = std::make_unique<TDM_BL>();
        table()->setDirectory(dir.path());
        table()->open();

        window = std::make_unique<QWidget>();
        window->resize(400, 300);
        shipper = new TDBEdit(window.get());
        shipper->setObjectName(QStringLiteral("Bl_Shipper1"));
        shipper->setMaxLength(36);
        shipperRef = new TDBEdit(window.get());
        shipperRef->setMaxLength(18);
        shipperRef->setCharCase(CharCase::Upper);
        vessel = new TDBEdit(window.get());
        vessel->setCharCase(CharCase::Upper);
        gross = new TDBEdit(window.get());
        marks = new TDBMemo(window.get());
        marks->setGeometry(10, 100, 129, 150);
        other = new QLineEdit(window.get());
        other->move(200, 10);
        const std::pair<QWidget *, const char *> binds[] = {
            {shipper, "Bl_Shipper1"}, {shipperRef, "bl_shipperref"}, {vessel, "BL_LOCALVESSEL"},
            {gross, "Bl_Gross1"},     {marks, "Bl_Marks1"}};
        for (auto [w, name] : binds) {
            if (auto *e = qobject_cast<TDBEdit *>(w)) {
                e->setDataSource(dm->DS_Cliente);
                e->setDataField(QLatin1String(name));
            } else if (auto *m = qobject_cast<TDBMemo *>(w)) {
                m->setDataSource(dm->DS_Cliente);
                m->setDataField(QLatin1String(name));
            }
        }
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }

    // One posted B/L, through the field objects.
    void addRecord(const QString &shipper1, double grossValue, const QString &marksText = {})
    {
        table()->insert();
        dm->Tbl_BLClienteBl_Shipper1->setAsString(shipper1);
        dm->Tbl_BLClienteBl_Gross1->setAsFloat(grossValue);
        if (!marksText.isEmpty())
            dm->Tbl_BLClienteBl_Marks1->setAsString(marksText);
        table()->post();
    }

    void focus(QWidget *w)
    {
        // Not by Tab, which would select the whole text.
        w->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
    }
};

// Types text key by key as the keyboard would, accents included (QTest::keyClicks takes
// only ASCII).
void typeText(QWidget *w, const QString &text)
{
    for (QChar c : text) {
        const ushort u = c.toUpper().unicode();
        const int key = u < 0x80 ? int(u) : int(Qt::Key_unknown);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}

QString conversionMessage(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const ConversionError &e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestDBControls : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(Brazil);
        m_beeps = 0;
        m_previousBeep = dbcontrols::setBeepHandler([this] { ++m_beeps; });
    }
    void cleanup() { dbcontrols::setBeepHandler(m_previousBeep); }

    // --- decisions without a window ---

    void upperCasingKeepsLengthAndCodePage()
    {
        QCOMPARE(dbcontrols::upperCased(u"santos, são paulo"), QStringLiteral("SANTOS, SÃO PAULO"));
        QCOMPARE(dbcontrols::upperCased(u"çéñüÿ 12-ab"), QStringLiteral("ÇÉÑÜŸ 12-AB"));
        // The sharp s has no one-letter capital; the micro sign's capital is Greek, which
        // Windows-1252 cannot store.
        QCOMPARE(dbcontrols::upperCased(u"straße µm"), QStringLiteral("STRAßE µM"));
    }

    void numberFieldsTakeOnlyNumberCharacters()
    {
        Table t;
        Field number(&t, QStringLiteral("N"), px::FieldType::Number, 0);
        Field text(&t, QStringLiteral("T"), px::FieldType::Alpha, 20);
        for (QStringView ok : {u"0", u"9", u"+", u"-", u"E", u"e", u","})
            QVERIFY2(dbcontrols::acceptsTyped(&number, ok, Brazil), qPrintable(ok.toString()));
        for (QStringView bad : {u"a", u".", u" ", u"x", u"/", u"1a"})
            QVERIFY2(!dbcontrols::acceptsTyped(&number, bad, Brazil), qPrintable(bad.toString()));
        QVERIFY(dbcontrols::acceptsTyped(&number, u".", English));
        QVERIFY(!dbcontrols::acceptsTyped(&number, u",", English));
        QVERIFY(dbcontrols::acceptsTyped(&text, u"a.,/x", Brazil));
        QVERIFY(dbcontrols::acceptsTyped(nullptr, u"a", Brazil));
    }

    void limitComesFromEditOrField()
    {
        Table t;
        Field alpha(&t, QStringLiteral("A"), px::FieldType::Alpha, 40);
        Field number(&t, QStringLiteral("N"), px::FieldType::Number, 0);
        QCOMPARE(dbcontrols::effectiveMaxLength(36, &alpha, 0), 36);
        QCOMPARE(dbcontrols::effectiveMaxLength(0, &alpha, 0), 40);
        QCOMPARE(dbcontrols::effectiveMaxLength(0, &number, 0), 0);
        QCOMPARE(dbcontrols::effectiveMaxLength(0, nullptr, 5), 0);
        // A stored text longer than the edit's limit is shown whole.
        QCOMPARE(dbcontrols::effectiveMaxLength(36, &alpha, 40), 40);
    }

    void memoLineBreaks()
    {
        QCOMPARE(dbcontrols::memoTextFromField(QStringLiteral("A\r\nB\r\n\r\nC")), QStringLiteral("A\nB\n\nC"));
        QCOMPARE(dbcontrols::memoTextToField(QStringLiteral("A\nB\n\nC")), QStringLiteral("A\r\nB\r\n\r\nC"));
        // What the text document makes of Enter and Shift+Enter.
        QCOMPARE(dbcontrols::memoTextToField(QStringLiteral("A") + QChar::ParagraphSeparator + QStringLiteral("B")
                                             + QChar::LineSeparator + QStringLiteral("C")),
                 QStringLiteral("A\r\nB\r\nC"));
        // Lone breaks from elsewhere become the register's own.
        QCOMPARE(dbcontrols::memoTextToField(dbcontrols::memoTextFromField(QStringLiteral("A\rB\nC\r\n"))),
                 QStringLiteral("A\r\nB\r\nC\r\n"));
    }

    // --- the controls on a table ---

    void browseStateRefusesTyping()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("Acme Exportadora"), 10, QStringLiteral("X"));
        QCOMPARE(f.shipper->text(), QStringLiteral("Acme Exportadora"));
        QVERIFY(f.shipper->isReadOnly());
        QVERIFY(f.marks->isReadOnly());

        f.focus(f.shipper);
        typeText(f.shipper, QStringLiteral("zz"));
        QCOMPARE(f.shipper->text(), QStringLiteral("Acme Exportadora"));
        f.focus(f.marks);
        typeText(f.marks, QStringLiteral("zz"));
        QTest::keyClick(f.marks, Qt::Key_Return);
        QCOMPARE(f.marks->toPlainText(), QStringLiteral("X"));
        f.focus(f.other);
        QCOMPARE(f.table()->state(), Table::State::Browse);
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Shipper1")), px::Value(QStringLiteral("Acme Exportadora")));

        // Edit state opens them, cancel closes them again and drops what was typed.
        f.table()->edit();
        QVERIFY(!f.shipper->isReadOnly());
        QVERIFY(!f.marks->isReadOnly());
        f.focus(f.shipper);
        typeText(f.shipper, QStringLiteral("zz"));
        QCOMPARE(f.shipper->text(), QStringLiteral("Acme Exportadorazz"));
        f.table()->cancel();
        QVERIFY(f.shipper->isReadOnly());
        QCOMPARE(f.shipper->text(), QStringLiteral("Acme Exportadora"));
    }

    // A text wider than its box is read from its beginning while the field is only looked at,
    // and a click into it in edit state puts the caret where it lands, the text unscrolled.
    void longTextShowsItsBeginningAndTheCaretGoesWhereClicked()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.shipper->resize(120, f.shipper->sizeHint().height());
        f.focus(f.other);  // as the entry window leaves it: no field focused
        const QString text = QStringLiteral("MSC WWWWWWWWWWWWWWWWWWWWWWWWWW");  // under the limit of 36
        f.addRecord(text, 1);
        QVERIFY(f.shipper->fontMetrics().horizontalAdvance(text) > 2 * f.shipper->width());
        const QPoint start(4, f.shipper->height() / 2);
        const QPoint middle(f.shipper->width() / 2, f.shipper->height() / 2);
        auto shownFromStart = [&] {
            f.shipper->repaint();  // the line edit scrolls when it paints
            return f.shipper->cursorPositionAt(start) == 0;
        };
        QVERIFY(shownFromStart());
        // Another record and back: each one shows from its beginning.
        f.addRecord(text + QStringLiteral("X"), 2);
        QVERIFY(shownFromStart());
        f.table()->prior();
        QVERIFY(shownFromStart());

        f.table()->edit();
        QVERIFY(shownFromStart());
        const int under = f.shipper->cursorPositionAt(middle);
        QVERIFY(under > 2 && under < text.size() - 2);
        QTest::mouseClick(f.shipper, Qt::LeftButton, {}, middle);
        QVERIFY(f.shipper->hasFocus());
        QCOMPARE(f.shipper->cursorPosition(), under);
        QVERIFY(shownFromStart());
        typeText(f.shipper, QStringLiteral("a"));
        QCOMPARE(f.shipper->text(), text.left(under) + QStringLiteral("a") + text.mid(under));
        f.table()->cancel();
        f.focus(f.other);
        QVERIFY(shownFromStart());
    }

    void closedTableShowsNothing()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("Acme"), 1);
        QCOMPARE(f.shipper->text(), QStringLiteral("Acme"));
        f.table()->close();
        QCOMPARE(f.shipper->text(), QString());
        QCOMPARE(f.gross->text(), QString());
        QCOMPARE(f.marks->toPlainText(), QString());
        QVERIFY(f.shipper->isReadOnly());

        // Unbound controls are read-only and empty, whatever is typed.
        TDBEdit loose(f.window.get());
        QVERIFY(loose.isReadOnly());
        loose.setDataSource(f.dm->DS_Cliente);
        loose.setDataField(QStringLiteral("NoSuchField"));
        f.table()->open();
        f.table()->edit();
        QVERIFY(loose.isReadOnly());
        QVERIFY(loose.field() == nullptr);
        loose.updateRecord();  // nothing to write, nothing thrown
    }

    void insertUpperCasesAndStopsAtLimit()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.table()->insert();
        QVERIFY(!f.shipperRef->isReadOnly());

        f.focus(f.shipperRef);
        typeText(f.shipperRef, QStringLiteral("ref-ação 12345678901234"));
        QCOMPARE(f.shipperRef->text(), QStringLiteral("REF-AÇÃO 123456789"));  // 18 characters

        f.focus(f.vessel);  // no limit of its own: the field's 20
        typeText(f.vessel, QStringLiteral("maersk lima 1234567890"));
        QCOMPARE(f.vessel->text(), QStringLiteral("MAERSK LIMA 12345678"));

        f.focus(f.shipper);  // limit 36, letters as typed
        typeText(f.shipper, QStringLiteral("Companhia de exportação do nordeste SA"));
        QCOMPARE(f.shipper->text(), QStringLiteral("Companhia de exportação do nordeste "));
        f.focus(f.other);

        // Focus-out wrote each into the record buffer before any post.
        QCOMPARE(f.dm->Tbl_BLClienteBl_ShipperRef->asString(), QStringLiteral("REF-AÇÃO 123456789"));
        QCOMPARE(f.dm->Tbl_BLClienteBl_LocalVessel->asString(), QStringLiteral("MAERSK LIMA 12345678"));
        QCOMPARE(f.dm->Tbl_BLClienteBl_Shipper1->asString(), QStringLiteral("Companhia de exportação do nordeste "));
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_ShipperRef")), px::Value(QStringLiteral("REF-AÇÃO 123456789")));
    }

    void pasteIsUpperCasedToo()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.table()->insert();
        f.focus(f.shipperRef);
        QApplication::clipboard()->setText(QStringLiteral("colado aqui"));
        if (QApplication::clipboard()->text() != QStringLiteral("colado aqui"))
            QSKIP("no clipboard on this platform");
        f.shipperRef->paste();
        QCOMPARE(f.shipperRef->text(), QStringLiteral("COLADO AQUI"));
        QVERIFY(f.shipperRef->isTextModified());
    }

    void storedTextShowsAsStored()
    {
        // An upper-case edit over a text stored in lower case (imported) shows it unchanged,
        // and a long stored line is not cut to the edit's limit.
        Fixture f;
        QVERIFY(f.setUp());
        const QString forty = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCD");
        f.table()->insert();
        f.dm->Tbl_BLClienteBl_ShipperRef->setAsString(QStringLiteral("lower ref"));
        f.dm->Tbl_BLClienteBl_Shipper1->setAsString(forty);
        f.table()->post();
        QCOMPARE(f.shipperRef->text(), QStringLiteral("lower ref"));
        QCOMPARE(f.shipper->text(), forty);

        // Editing elsewhere in the long line keeps the rest of it.
        f.table()->edit();
        f.focus(f.shipper);
        QCOMPARE(f.shipper->text(), forty);
        f.shipper->setCursorPosition(0);
        QTest::keyClick(f.shipper, Qt::Key_Delete);
        typeText(f.shipper, QStringLiteral("#!"));  // one fits back in, the other not
        f.focus(f.other);
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Shipper1")), px::Value(QStringLiteral("#") + forty.mid(1)));
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_ShipperRef")), px::Value(QStringLiteral("lower ref")));
    }

    void postWritesTheFieldStillBeingTyped()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.table()->insert();
        f.focus(f.shipper);
        typeText(f.shipper, QStringLiteral("Still focused"));
        f.focus(f.marks);
        typeText(f.marks, QStringLiteral("Marks"));
        QVERIFY(f.marks->hasFocus());
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Shipper1")), px::Value(QStringLiteral("Still focused")));
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Marks1")), px::Value(QStringLiteral("Marks")));
        QCOMPARE(f.table()->state(), Table::State::Browse);
        QVERIFY(f.shipper->isReadOnly());
    }

    void controlsFollowTheCursorAndEachOther()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("First"), 1.5, QStringLiteral("one"));
        f.addRecord(QStringLiteral("Second"), 2, QStringLiteral("two"));
        QCOMPARE(f.shipper->text(), QStringLiteral("Second"));
        f.table()->first();
        QCOMPARE(f.shipper->text(), QStringLiteral("First"));
        QCOMPARE(f.gross->text(), QStringLiteral("1,500"));
        QCOMPARE(f.marks->toPlainText(), QStringLiteral("one"));
        f.table()->next();
        QCOMPARE(f.marks->toPlainText(), QStringLiteral("two"));

        // A second control on the same field shows what the first one wrote.
        TDBEdit twin(f.window.get());
        twin.setDataSource(f.dm->DS_Cliente);
        twin.setDataField(QStringLiteral("Bl_Shipper1"));
        QCOMPARE(twin.text(), QStringLiteral("Second"));
        f.table()->edit();
        f.focus(f.shipper);
        f.shipper->selectAll();
        typeText(f.shipper, QStringLiteral("Changed"));
        QCOMPARE(twin.text(), QStringLiteral("Second"));
        f.focus(f.other);
        QCOMPARE(twin.text(), QStringLiteral("Changed"));
        f.table()->cancel();
        QCOMPARE(twin.text(), QStringLiteral("Second"));
        QCOMPARE(f.shipper->text(), QStringLiteral("Second"));
    }

    void memoKeepsLinesAsTheRegisterStoresThem()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("A"), 1, QStringLiteral("CONTAINER 1\r\nSEAL 22\r\n\r\nEND"));
        QCOMPARE(f.marks->document()->blockCount(), 4);
        QCOMPARE(f.marks->document()->findBlockByNumber(3).text(), QStringLiteral("END"));
        QCOMPARE(f.marks->fieldText(), QStringLiteral("CONTAINER 1\r\nSEAL 22\r\n\r\nEND"));

        f.table()->edit();
        f.focus(f.marks);
        f.marks->moveCursor(QTextCursor::End);
        QTest::keyClick(f.marks, Qt::Key_Return);
        typeText(f.marks, QStringLiteral("NEW LINE"));
        // Tab moves on and types nothing.
        QTest::keyClick(f.marks, Qt::Key_Tab);
        QVERIFY(!f.marks->hasFocus());
        QVERIFY(!f.marks->toPlainText().contains(QLatin1Char('\t')));
        // Leaving wrote the memo.
        QCOMPARE(f.dm->Tbl_BLClienteBl_Marks1->asString(), QStringLiteral("CONTAINER 1\r\nSEAL 22\r\n\r\nEND\r\nNEW LINE"));
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Marks1")),
                 px::Value(QStringLiteral("CONTAINER 1\r\nSEAL 22\r\n\r\nEND\r\nNEW LINE")));
    }

    void memoKeepsLongTextAndUnusualCharacters()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.table()->insert();
        f.focus(f.marks);
        // Well beyond the 100 characters kept inside the record; a no-break space stays one.
        const QString line = QStringLiteral("20 PALLETS") + QChar(0xA0) + QStringLiteral("WITH MACHINE PARTS; ");
        QString typed;
        for (int i = 0; i < 12; ++i)
            typed += line;
        f.marks->insertPlainText(typed);
        f.focus(f.other);
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Marks1")), px::Value(typed));
        // The long text wraps at the memo's width; wrapping adds no line break to the text.
        QVERIFY(f.marks->displayLines().size() > 5);
        QCOMPARE(f.marks->displayLines().join(QString()), typed);
    }

    void memoDisplayLinesMatchWhatIsShown()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("A"), 1,
                    QStringLiteral("1 X 40' HC CONTAINER SAID TO CONTAIN 1.200 CARTONS OF FROZEN CHICKEN\r\n"
                                   "\r\nAVERYLONGWORDWITHOUTANYBLANKTHATCANNOTBREAKATAWORDBOUNDARY\r\nEND\r\n"));
        const QStringList lines = f.marks->displayLines();
        // The lines the shown control laid out.
        QStringList shown;
        auto *layout = qobject_cast<QPlainTextDocumentLayout *>(f.marks->document()->documentLayout());
        QVERIFY(layout);
        for (QTextBlock b = f.marks->document()->firstBlock(); b.isValid(); b = b.next()) {
            layout->blockBoundingRect(b);  // lays the block out
            QTextLayout *tl = b.layout();
            for (int i = 0; i < tl->lineCount(); ++i)
                shown << b.text().mid(tl->lineAt(i).textStart(), tl->lineAt(i).textLength());
        }
        QCOMPARE(shown.last(), QString());  // the empty last paragraph ...
        shown.removeLast();                 // ... is dropped from the display lines
        QCOMPARE(lines, shown);
        QVERIFY(lines.size() >= 7);
        QCOMPARE(lines.at(lines.size() - 1), QStringLiteral("END"));
        QVERIFY(lines.contains(QString()));  // the empty line in the middle stays

        // The same lines from a control that is never shown, of the same width and font.
        TDBMemo hidden;
        hidden.setFont(f.marks->font());
        hidden.setGeometry(0, 0, 129, 20);
        hidden.setDataSource(f.dm->DS_Cliente);
        hidden.setDataField(QStringLiteral("Bl_Marks1"));
        QCOMPARE(hidden.displayLines(), lines);

        f.table()->insert();
        QCOMPARE(f.marks->displayLines(), QStringList());
    }

    void numberShowsAndReadsBackItsFormat()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("A"), 1234.5);
        QCOMPARE(f.gross->text(), QStringLiteral("1.234,500"));
        QVERIFY(f.gross->alignment() & Qt::AlignRight);
        f.table()->edit();
        f.focus(f.gross);
        QCOMPARE(f.gross->text(), QStringLiteral("1.234,500"));
        QVERIFY(f.gross->alignment() & Qt::AlignLeft);

        // Retyped in the shown form, the value reads back.
        f.gross->selectAll();
        typeText(f.gross, QStringLiteral("2"));
        QTest::keyClick(f.gross, Qt::Key_Backspace);
        typeText(f.gross, QStringLiteral("1234,5"));
        f.focus(f.other);
        QCOMPARE(f.gross->text(), QStringLiteral("1.234,500"));
        QCOMPARE(f.dm->Tbl_BLClienteBl_Gross1->asFloat(), 1234.5);

        // Plain decimals, signs and exponents.
        f.focus(f.gross);
        f.gross->selectAll();
        typeText(f.gross, QStringLiteral("-2,5e3"));
        f.focus(f.other);
        QCOMPARE(f.dm->Tbl_BLClienteBl_Gross1->asFloat(), -2500.0);
        QCOMPARE(f.gross->text(), QStringLiteral("-2.500,000"));

        // Empty text empties the field.
        f.focus(f.gross);
        f.gross->selectAll();
        QTest::keyClick(f.gross, Qt::Key_Delete);
        f.focus(f.other);
        QVERIFY(f.dm->Tbl_BLClienteBl_Gross1->isNull());
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Gross1")), px::Value());
        QCOMPARE(f.gross->text(), QString());
    }

    void numberUnderEnglishSettings()
    {
        QLocale::setDefault(English);
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("A"), 1234.5);
        QCOMPARE(f.gross->text(), QStringLiteral("1,234.500"));
        f.table()->edit();
        f.focus(f.gross);
        f.gross->selectAll();
        typeText(f.gross, QStringLiteral("7,5"));  // the comma is refused here
        QCOMPARE(m_beeps, 1);
        QCOMPARE(f.gross->text(), QStringLiteral("75"));
        typeText(f.gross, QStringLiteral(".25"));
        f.focus(f.other);
        QCOMPARE(f.dm->Tbl_BLClienteBl_Gross1->asFloat(), 75.25);
    }

    void numberRefusesOtherKeysWithABeep()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.table()->insert();
        f.focus(f.gross);
        typeText(f.gross, QStringLiteral("1a2.3 x"));
        QCOMPARE(m_beeps, 4);  // a . space x
        QCOMPARE(f.gross->text(), QStringLiteral("123"));
        // Editing keys and shortcuts are no typing.
        QTest::keyClick(f.gross, Qt::Key_Backspace);
        QTest::keyClick(f.gross, Qt::Key_Left);
        QTest::keyClick(f.gross, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(m_beeps, 4);
        QCOMPARE(f.gross->text(), QStringLiteral("12"));
        // Text fields take anything.
        f.focus(f.shipper);
        typeText(f.shipper, QStringLiteral("a.b, x"));
        QCOMPARE(m_beeps, 4);
    }

    void untouchedNumberIsNotRounded()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("A"), 1234.5678);
        QCOMPARE(f.gross->text(), QStringLiteral("1.234,568"));
        f.table()->edit();
        f.focus(f.gross);
        f.focus(f.shipper);
        typeText(f.shipper, QStringLiteral("!"));
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Gross1")), px::Value(1234.5678));
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Shipper1")), px::Value(QStringLiteral("A!")));
    }

    void badNumberThrowsAndKeepsTheText()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("A"), 1234.5);
        f.table()->edit();
        f.focus(f.gross);
        f.gross->selectAll();
        typeText(f.gross, QStringLiteral("12,3,4"));

        // Leaving the field reports the error once the focus change is done, and brings the
        // focus back to it, its text selected.
        errorboxtest::ErrorBoxWatch boxes;
        f.other->setFocus(Qt::TabFocusReason);
        QCOMPARE(boxes.seen.size(), 0);
        QTRY_COMPARE(boxes.seen.size(), 1);
        QTRY_COMPARE(boxes.open, 0);
        const QString message = boxes.seen.first().text;
        QCOMPARE(message, QStringLiteral("'12,3,4' is not a valid floating point value for field 'Bl_Gross1'"));
        QCOMPARE(f.gross->window()->focusWidget(), f.gross);
        QCOMPARE(f.gross->text(), QStringLiteral("12,3,4"));
        QCOMPARE(f.gross->selectedText(), QStringLiteral("12,3,4"));
        QCOMPARE(f.dm->Tbl_BLClienteBl_Gross1->asFloat(), 1234.5);

        // Posting reports it too; the record stays in edit state and the file unchanged.
        const QString atPost = conversionMessage([&] { f.table()->post(); });
        QCOMPARE(atPost, message);
        QCOMPARE(f.table()->state(), Table::State::Edit);
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Gross1")), px::Value(1234.5));

        // Corrected, the focus moves on normally and the post goes through.
        f.gross->selectAll();
        typeText(f.gross, QStringLiteral("12,5"));
        f.focus(f.other);
        QCOMPARE(f.other->window()->focusWidget(), f.other);
        QCOMPARE(blapp::pendingReports(), 0);
        f.table()->post();
        QCOMPARE(storedValue(f.dbPath, QStringLiteral("Bl_Gross1")), px::Value(12.5));
    }

    void switchingWindowsWritesNothing()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.addRecord(QStringLiteral("A"), 1);
        f.table()->edit();
        f.focus(f.gross);
        f.gross->selectAll();
        typeText(f.gross, QStringLiteral("1,2,3"));
        // Another window comes up: no write, no error; the typed text waits.
        QWidget popup;
        popup.show();
        popup.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&popup));
        QCOMPARE(f.gross->text(), QStringLiteral("1,2,3"));
        QCOMPARE(f.dm->Tbl_BLClienteBl_Gross1->asFloat(), 1.0);
        popup.close();
        f.table()->cancel();
    }

    void textOutsideTheCodePageIsRefused()
    {
        Fixture f;
        QVERIFY(f.setUp());
        f.table()->insert();
        f.focus(f.shipper);
        f.shipper->insert(QStringLiteral("Ωmega"));
        errorboxtest::ErrorBoxWatch boxes;
        f.other->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(boxes.seen.size(), 1);
        QTRY_COMPARE(boxes.open, 0);
        QVERIFY2(boxes.seen.first().text.contains(QStringLiteral("BlCorvane")), qPrintable(boxes.seen.first().text));
        QCOMPARE(f.shipper->window()->focusWidget(), f.shipper);
        QCOMPARE(f.shipper->text(), QStringLiteral("Ωmega"));
    }

private:
    int m_beeps = 0;
    dbcontrols::BeepHandler m_previousBeep;
};

QTEST_MAIN(TestDBControls)
#include "tst_dbcontrols.moc"
