// The standard error box: errors of the data layer that reach the event loop end the user's
// action, are shown with the application's title, and the program goes on.

#include "BLApplication.h"
#include "Formats.h"
#include "ModalHelper.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <stdexcept>

namespace {

// A widget whose key handler fails the way a field write does.
class Failing : public QWidget
{
public:
    int handled = 0;
    QString message = QStringLiteral("O campo 'Bl_Gross1' não pode ser lido como número");

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_F)
            throw ConversionError(message);
        if (event->key() == Qt::Key_S)
            throw std::runtime_error("disk exploded");
        ++handled;
    }
};

struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Answers the next modal window, which must be the standard error box, with its OK button.
std::shared_ptr<modaltest::ModalWatch> answerErrorBox(SeenBox &seen)
{
    return modaltest::whenModal([&seen](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box) {
            w->close();
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            seen.buttons.append(b->text());
        box->button(QMessageBox::Ok)->click();
    });
}

} // namespace

class TestErrorBox : public QObject
{
    Q_OBJECT
private slots:
    void fullStopRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Table is busy" << "Table is busy.";
        QTest::newRow("digit") << "error 42" << "error 42.";
        QTest::newRow("slash sorts after the stop") << "C:/BL/" << "C:/BL/.";
        QTest::newRow("accented letter") << "Não gravado" << "Não gravado.";
        QTest::newRow("already a stop") << "Done." << "Done.";
        QTest::newRow("quote sorts before") << "for field 'Bl_Gross1'" << "for field 'Bl_Gross1'";
        QTest::newRow("bracket sorts before") << "(read only)" << "(read only)";
        QTest::newRow("exclamation") << "Stop!" << "Stop!";
        QTest::newRow("comma sorts before") << "a," << "a,";
        QTest::newRow("line break") << "two\nlines\n" << "two\nlines\n";
        QTest::newRow("empty") << "" << "";
    }
    void fullStopRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(blapp::withFullStop(text), shown);
    }

    void errorFromAnEventHandlerIsShownAndTheProgramGoesOn()
    {
        Failing w;
        w.show();
        SeenBox seen;
        auto watch = answerErrorBox(seen);
        QTest::keyClick(&w, Qt::Key_F);
        QVERIFY(watch->acted);
        QCOMPARE(seen.title, QStringLiteral("Bill of Lading"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(seen.text, w.message + QLatin1Char('.'));
        // The next event is delivered as usual.
        QTest::keyClick(&w, Qt::Key_A);
        QCOMPARE(w.handled, 1);
    }

    void textEndingInQuoteGetsNoStop()
    {
        Failing w;
        w.message = formats::invalidNumberMessage(QStringLiteral("1,2,3"), QStringLiteral("Bl_Gross1"));
        w.show();
        SeenBox seen;
        auto watch = answerErrorBox(seen);
        QTest::keyClick(&w, Qt::Key_F);
        QVERIFY(watch->acted);
        QCOMPARE(seen.text, QStringLiteral("'1,2,3' is not a valid floating point value for field 'Bl_Gross1'"));
    }

    void otherExceptionsDoNotEndTheProgram()
    {
        Failing w;
        w.show();
        SeenBox seen;
        auto watch = answerErrorBox(seen);
        QTest::keyClick(&w, Qt::Key_S);
        QVERIFY(watch->acted);
        QCOMPARE(seen.text, QStringLiteral("disk exploded."));
    }

    void errorFromAGuardedSlotEndsOnlyThatAction()
    {
        QPushButton button;
        int reached = 0, ended = 0;
        QObject::connect(&button, &QPushButton::clicked, &button, blapp::guarded([&] {
            ++reached;
            if (reached == 1)
                throw px::EngineError(px::EngineError::Kind::InUse, QStringLiteral("BlCorvane.DB is in use"));
            ++ended;
        }));
        button.show();
        SeenBox seen;
        auto watch = answerErrorBox(seen);
        button.click();
        QVERIFY(watch->acted);
        QCOMPARE(seen.title, QStringLiteral("Bill of Lading"));
        QCOMPARE(seen.text, QStringLiteral("BlCorvane.DB is in use."));
        QCOMPARE(ended, 0);
        // The button works again and, when nothing fails, shows nothing.
        auto none = modaltest::whenModal([](QWidget *w) { w->close(); }, {500, 5, false});
        button.click();
        QCOMPARE(ended, 1);
        QTRY_VERIFY(none->timedOut);
        QVERIFY(!none->acted);
    }
};

int main(int argc, char **argv)
{
    BLApplication app(argc, argv);
    TestErrorBox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorbox.moc"
