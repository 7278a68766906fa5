// Everything the program says is Portuguese: Qt's own texts through its catalogue, every
// text literal of the program's sources, and the messages a clerk meets without a register.

#include "BLApplication.h"
#include "MsgDlg.h"
#include "QRPreview.h"
#include "QuickRep.h"
#include "U_DM_BL.h"
#include "U_PreDisquete.h"
#include "U_Principal.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

// Words of English messages that are not Portuguese words as well ("a", "no", "for",
// "data", "total" are both, so they are not here).
const QSet<QString> &englishWords()
{
    static const QSet<QString> words = [] {
        QSet<QString> s;
        const QString list = QStringLiteral(
            "the is are not cannot can't has have been be was were of with from into field fields table tables "
            "value values valid invalid file files open opened closed close printer printers installed save "
            "load found missing error errors wrong kind type size expected too long most characters character "
            "record records being edited edit confirm cancel first empty name given range out read write "
            "number date time boolean integer floating point page pages exist exists does instead while mode "
            "insert only belongs bound module created unknown failed denied permission disk full locked lock "
            "another program this that it an and or please select print printing report reports zoom width "
            "fit next previous last setup all in on at by to yes off line lines text left right top bottom "
            "preview already running copy copies busy wait waiting search found damaged version "
            "folder drive shortcut alias directory look detail list view back forward parent new create "
            "computer recent places");
        for (const QString &w : list.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            s.insert(w);
        return s;
    }();
    return words;
}

QStringList englishIn(const QString &text)
{
    QString plain = text;
    plain.remove(QLatin1Char('&'));  // accelerator marks split no word
    QStringList found;
    static const QRegularExpression word(QStringLiteral("[A-Za-z']+"));
    for (auto it = word.globalMatch(plain); it.hasNext();) {
        const QString w = it.next().captured(0);
        if (englishWords().contains(w.toLower()))
            found << w;
    }
    return found;
}

// Texts the program shows in English by design: window and report captions, headings and
// buttons as designed, and the preview's and progress window's own texts.
const QSet<QString> &designedEnglish()
{
    static const QSet<QString> texts = {
        QStringLiteral("Bill of Lading"),
        QStringLiteral("Emissão de Bill of Lading"),
        QStringLiteral("Emissão de Bill of Lading."),
        QStringLiteral("VOCÊ JÁ TEM UMA CÓPIA ABERTA.\\n\\nEmissão de Bill of Lading.\\n\\nCORVANE do Brasil Ltda\\n"),
        QStringLiteral("Initial Page"),
        QStringLiteral("Particulars of goods are those declared by shippers"),
        QStringLiteral("Bill of Lading No."),
        QStringLiteral("Bill of Lading No.:"),
        QStringLiteral("From (local port of loading):"),
        QStringLiteral("Local port of loading:"),
        QStringLiteral("Port of Discharge:"),
        QStringLiteral("Port of discharge:"),
        QStringLiteral("Freight payable at:"),
        QStringLiteral("Final destination (if on-carriage):"),
        QStringLiteral("Marks and Numbers:"),
        QStringLiteral("Number and kind of packages description of goods:"),
        QStringLiteral("Description of packages and goods"),
        QStringLiteral("From"),
        QStringLiteral("&Print"),
        QStringLiteral("&Cancel"),
        QStringLiteral("&Setup"),
        QStringLiteral("Preview"),
        QStringLiteral("Print Preview"),
        QStringLiteral("Printing progress"),
        QStringLiteral("Cancel"),
        QStringLiteral("&Close"),
        QStringLiteral("Save report"),
        QStringLiteral("Load report"),
        QStringLiteral("File does not exist"),
        QStringLiteral("Warning"),
        QStringLiteral("About"),
        QStringLiteral("Version:"),
        QStringLiteral("NEW - Bill of Lading - Emissão"),
        QStringLiteral("'%1' is not a valid floating point value for field '%2'"),
        QStringLiteral("OPEN - Bill of Lading - Emissão"),
        // A source text of Qt's that the program's own translator answers; never shown.
        QStringLiteral("File Folder"),
        // Portuguese, but "at" reads as an English word to the scanner.
        QStringLiteral("Este protocolo não  garante  os dados  gravados  no  disquete em anexo, até que se faça a verificação "),
    };
    return texts;
}

// The string literals of one C++ source, with their line numbers; comments, character
// literals, #include lines and compile-time diagnostics are skipped.
QList<std::pair<int, QString>> literals(const QString &src)
{
    QList<std::pair<int, QString>> out;
    int line = 1;
    bool lineStart = true;
    bool skipLine = false;
    for (qsizetype i = 0; i < src.size(); ++i) {
        const QChar c = src.at(i);
        if (c == QLatin1Char('\n')) {
            ++line;
            lineStart = true;
            skipLine = false;
            continue;
        }
        if (lineStart && !c.isSpace()) {
            lineStart = false;
            skipLine = src.mid(i, 8) == QLatin1String("#include") || src.mid(i, 6) == QLatin1String("#error")
                       || src.mid(i, 13) == QLatin1String("static_assert");
        }
        if (src.mid(i, 2) == QLatin1String("//")) {
            while (i < src.size() && src.at(i) != QLatin1Char('\n'))
                ++i;
            --i;
            continue;
        }
        if (src.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = src.indexOf(QLatin1String("*/"), i + 2);
            line += int(src.mid(i, end - i).count(QLatin1Char('\n')));
            i = end + 1;
            continue;
        }
        if (c == QLatin1Char('\'')) {
            // A character literal, or a digit separator, which has no closing quote nearby.
            if (i + 2 < src.size() && src.at(i + 1) == QLatin1Char('\\'))
                i = src.indexOf(QLatin1Char('\''), i + 2);
            else if (i + 2 < src.size() && src.at(i + 2) == QLatin1Char('\''))
                i += 2;
            continue;
        }
        if (c == QLatin1Char('"')) {
            QString text;
            qsizetype j = i + 1;
            for (; j < src.size() && src.at(j) != QLatin1Char('"'); ++j) {
                if (src.at(j) == QLatin1Char('\\')) {
                    text += src.at(j);
                    ++j;
                }
                text += src.at(j);
            }
            if (!skipLine)
                out.append({line, text});
            i = j;
        }
    }
    return out;
}

// An identifier used as an object or member name ("SB_Preview", "Zoom100", "Print"
// as a control's name), not a text.
bool isName(const QString &text, const QString &src, int line)
{
    static const QRegularExpression ident(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z]+$"));  // a file name's suffix
    if (suffix.match(text).hasMatch())
        return true;
    if (!ident.match(text).hasMatch())
        return false;
    if (text.contains(QLatin1Char('_')) || text.contains(QRegularExpression(QStringLiteral("[a-z][A-Z0-9]"))))
        return true;
    // A plain word: a name where the line hands it to an object-name setter, or passes it as
    // a bare C string, which is how controls get their names here; texts for the user are
    // QStrings from the start.
    const QString code = src.section(QLatin1Char('\n'), line - 1, line - 1);
    const qsizetype at = code.indexOf(QLatin1Char('"') + text + QLatin1Char('"'));
    const QString before = code.left(at).trimmed();
    return code.contains(QLatin1String("ObjectName"))
           || (at >= 0 && !before.endsWith(QLatin1String("QStringLiteral(")) && !before.endsWith(QLatin1String("QLatin1String("))
               && !before.endsWith(QLatin1String("tr(")) && !before.endsWith(QLatin1String("fromUtf8(")));
}

struct Seen
{
    QString kind;
    QString text;
};

// Answers every modal window with OK (or closes it) and keeps its text.
class Answerer : public QObject
{
public:
    QList<Seen> seen;
    Answerer()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || m_done.contains(w))
                return;
            m_done.append(w);
            if (auto *box = qobject_cast<QMessageBox *>(w)) {
                seen.append({box->objectName(), box->text()});
                box->button(QMessageBox::Ok)->click();
            } else if (w->objectName() == QLatin1String("MsgDlgWindow")) {
                auto *label = w->findChild<QLabel *>(QStringLiteral("Message"));
                seen.append({QStringLiteral("msgdlg"), label ? label->text() : QString()});
                w->findChild<QPushButton *>(TMsgDlg::buttonName(mbOK))->click();
            } else {
                seen.append({w->objectName(), w->windowTitle()});
                w->close();
            }
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
    QList<QPointer<QWidget>> m_done;
};

// Everything a file dialog shows: its labels, buttons and their tips, lists, and every row and
// heading of its views (the type column included, whichever view is shown).
QStringList dialogTexts(QFileDialog *d)
{
    QStringList out;
    for (QWidget *w : d->findChildren<QWidget *>()) {
        out << w->toolTip();
        if (auto *l = qobject_cast<QLabel *>(w)) {
            out << l->text();
        } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            out << b->text();
        } else if (auto *c = qobject_cast<QComboBox *>(w)) {
            for (int i = 0; i < c->count(); ++i)
                out << c->itemText(i);
        } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
            out << e->placeholderText();
        } else if (auto *v = qobject_cast<QAbstractItemView *>(w)) {
            const QAbstractItemModel *m = v->model();
            if (!m)
                continue;
            for (int col = 0; col < m->columnCount(v->rootIndex()); ++col) {
                out << m->headerData(col, Qt::Horizontal).toString();
                for (int row = 0; row < m->rowCount(v->rootIndex()); ++row) {
                    const QModelIndex i = m->index(row, col, v->rootIndex());
                    out << i.data().toString() << i.data(Qt::ToolTipRole).toString();
                }
            }
        }
    }
    for (QAction *a : d->findChildren<QAction *>())
        out << a->text() << a->toolTip();
    out.removeAll(QString());
    return out;
}

// A folder with what a clerk's stick holds: a folder, a transfer file pair, a saved report.
struct Medium
{
    QTemporaryDir dir;
    Medium()
    {
        QDir(dir.path()).mkdir(QStringLiteral("BL2026"));
        for (const char *name : {"BL010327.DB", "BL010327.MB", "Relatorio.qrp"}) {
            QFile f(QDir(dir.path()).filePath(QLatin1String(name)));
            if (f.open(QIODevice::WriteOnly))
                f.write("x");
        }
    }
};

// Shows the dialog over the medium until its file view lists the folder with its type (the
// file system model fills in the background), then gives its texts.
QStringList shownTexts(QFileDialog *d, const QString &folder)
{
    d->setDirectory(folder);
    const bool wasShown = d->isVisible();  // a dialog in exec() stays for its caller to end
    d->show();
    QStringList texts;
    const bool listed = QTest::qWaitFor([&] {
        texts = dialogTexts(d);
        return texts.contains(QStringLiteral("BL2026")) && texts.contains(QStringLiteral("Pasta"));
    });
    if (!wasShown)
        d->hide();
    if (!listed)
        texts << QStringLiteral("(the folder was never listed with its type)");
    return texts;
}

QStringList englishTexts(const QStringList &texts)
{
    QStringList out;
    for (const QString &t : texts)
        if (!designedEnglish().contains(t) && !englishIn(t).isEmpty())
            out << t;
    return out;
}

} // namespace

class TestPortuguese : public QObject
{
    Q_OBJECT
private slots:
    void qtOwnTextsArePortugueseWhateverLangSays()
    {
        // main() below set LANG=C before the application object loaded the catalogue.
        QMessageBox box(QMessageBox::Question, QStringLiteral("x"), QStringLiteral("y"),
                        QMessageBox::Save | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancelar"));
        QCOMPARE(box.button(QMessageBox::Save)->text(), QStringLiteral("Salvar"));
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Sim"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Não"));
        // Numbers keep following the regional settings, not the catalogue.
        QCOMPARE(QLocale().name(), QStringLiteral("C"));
    }

    // Every text literal of the program's sources: a new message anywhere is met here
    // without being listed first. The table engine's own texts are its own business.
    // The chooser's and the preview's file dialogs: Qt's catalogue lacks the type names
    // ("Folder" and its kin), which the program's own translator supplies.
    void fileDialogsSpeakPortuguese()
    {
        QCOMPARE(QCoreApplication::translate("QAbstractFileIconProvider", "Folder", "All other platforms"),
                 QStringLiteral("Pasta"));
        Medium medium;
        QVERIFY(medium.dir.isValid());
        {
            TF_PreDisquete chooser;
            for (QFileDialog *d : {chooser.SaveDialog1, chooser.OpenDialog1}) {
                const QStringList english = englishTexts(shownTexts(d, medium.dir.path()));
                QVERIFY2(english.isEmpty(),
                         qPrintable(d->objectName() + QLatin1String(": ") + english.join(QLatin1String(" | "))));
            }
        }

        report::TQuickRep rep(nullptr);
        auto *band = new report::TQRBand(&rep, QStringLiteral("Band"), report::BandKind::Detail, 100);
        new report::TQRLabel(band, QStringLiteral("Label"), QStringLiteral("BL"));
        rep.printIfEmpty = true;
        report::TQRPreview preview(&rep);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        for (QToolButton *button : {preview.SaveReport, preview.LoadReport}) {
            QStringList texts;
            QTimer::singleShot(0, &preview, [&] {
                auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                if (!d)
                    return;
                texts = shownTexts(d, medium.dir.path());
                d->reject();
            });
            button->click();
            QVERIFY2(!texts.isEmpty(), qPrintable(button->objectName()));
            const QStringList english = englishTexts(texts);
            QVERIFY2(english.isEmpty(),
                     qPrintable(button->objectName() + QLatin1String(": ") + english.join(QLatin1String(" | "))));
        }
    }

    void sourceTextsArePortuguese()
    {
        const QDir root(QStringLiteral(BL_SOURCE_DIR));
        QStringList problems;
        int files = 0, texts = 0;
        for (const char *folder : {"app", "controls", "data", "print", "transfer"}) {
            QDirIterator it(root.filePath(QLatin1String(folder)), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                if (path.contains(QLatin1String("/data/paradox/")))
                    continue;
                QFile f(path);
                QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
                const QString src = QString::fromUtf8(f.readAll());
                ++files;
                for (const auto &[line, text] : literals(src)) {
                    ++texts;
                    if (designedEnglish().contains(text) || isName(text, src, line))
                        continue;
                    const QStringList english = englishIn(text);
                    if (!english.isEmpty())
                        problems << QStringLiteral("%1:%2: \"%3\" (%4)")
                                        .arg(root.relativeFilePath(path))
                                        .arg(line)
                                        .arg(text, english.join(QLatin1Char(',')));
                }
            }
        }
        QVERIFY(files > 50);
        QVERIFY(texts > 500);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void theScannerFindsWhatItShould()
    {
        const QString src = QStringLiteral(
            "#include \"Table.h\"\n"
            "// \"the table is open\" in a comment\n"
            "x = QStringLiteral(\"the table is not open\"); c = '\"';\n"
            "y = tr(\"Não To&dos\") + \"a \\\"quoted\\\" word\";\n"
            "/* \"not this\"\n either */ z = \"Page %1 of %2\";\n");
        const auto found = literals(src);
        QCOMPARE(found.size(), 4);
        QCOMPARE(found.at(0).first, 3);
        QCOMPARE(englishIn(found.at(0).second), (QStringList{"the", "table", "is", "not", "open"}));
        QCOMPARE(englishIn(found.at(1).second), QStringList());
        QCOMPARE(found.at(3).first, 6);
        QCOMPARE(englishIn(found.at(3).second), (QStringList{"Page", "of"}));
    }

    // What a clerk meets when the register is missing: the path in the first box, and every
    // action after it says in Portuguese that the register is not open.
    void messagesWithoutARegister()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        Answerer answers;
        {
            auto w = std::make_unique<TF_Principal>();
            auto dm = std::make_unique<TDM_BL>();
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            QTRY_COMPARE(answers.seen.size(), 1);
            for (QAbstractButton *b : {static_cast<QAbstractButton *>(w->SB_Inclusao),
                                       static_cast<QAbstractButton *>(w->SB_Edit),
                                       static_cast<QAbstractButton *>(w->SB_Procura),
                                       static_cast<QAbstractButton *>(w->SB_Impressao)}) {
                const qsizetype before = answers.seen.size();
                b->click();
                QTRY_VERIFY2(answers.seen.size() > before, qPrintable(b->objectName()));
            }
        }
        QDir::setCurrent(previous);
        QVERIFY(answers.seen.first().text.contains(QDir::toNativeSeparators(dir.path())));
        QVERIFY(answers.seen.first().text.contains(QLatin1String("BlCorvane.DB")));
        QStringList problems;
        for (const Seen &s : std::as_const(answers.seen))
            if (!englishIn(s.text).isEmpty() && !designedEnglish().contains(s.text))
                problems << s.kind + QLatin1String(": ") + s.text;
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        QStringList all;
        for (const Seen &s : std::as_const(answers.seen))
            all << s.kind + QLatin1String(": ") + s.text;
        QVERIFY2(answers.seen.at(1).text.contains(QStringLiteral("não está aberta")), qPrintable(all.join(QLatin1Char('\n'))));
    }
};

int main(int argc, char **argv)
{
    // Whatever the desktop's language, the interface is Portuguese.
    qputenv("LANG", "C");
    qputenv("LC_ALL", "C");
    qputenv("LANGUAGE", "en");
    BLApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    TestPortuguese t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_portuguese.moc"
