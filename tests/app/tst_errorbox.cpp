// The standard error box and the guard that leads errors into it: a guarded action ends in
// one box with the application's title, an error met inside an event handler is shown once the
// event is done, once, and nothing reaches the event loop.

#include "CountingApp.h"
#include "BLApplication.h"
#include "ErrorBoxWatch.h"
#include "Formats.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace {

using errorboxtest::ErrorBoxWatch;

// A widget whose key handler fails the way a field write does, inside the event.
class Failing : public QWidget
{
public:
    int handled = 0;
    bool eventDone = false;  // the key handler has returned
    QString message = QStringLiteral("O campo 'Bl_Gross1' não pode ser lido como número");

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        eventDone = false;
        if (event->key() == Qt::Key_F) {
            blapp::runGuardedLater([this] { throw ConversionError(message); });
        } else if (event->key() == Qt::Key_T) {
            // One failure met twice in one event (a grid's model and its view).
            for (int i = 0; i < 2; ++i)
                blapp::runGuardedLater([this] { throw ConversionError(message); });
        } else {
            ++handled;
        }
        eventDone = true;
    }
};

using errorboxtest::CountingApp;
using errorboxtest::escaped;

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

    void errorInAnEventHandlerIsShownAfterTheEvent()
    {
        Failing w;
        w.show();
        ErrorBoxWatch boxes;
        boxes.onShown = [&] { return w.eventDone ? QStringLiteral("after") : QStringLiteral("inside"); };
        QTest::keyClick(&w, Qt::Key_F);
        // Nothing is shown inside the event; the queued report shows it afterwards.
        QCOMPARE(boxes.seen.size(), 0);
        QCOMPARE(blapp::pendingReports(), 1);
        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().note, QStringLiteral("after"));
        QCOMPARE(boxes.seen.first().title, QStringLiteral("Bill of Lading"));
        QCOMPARE(boxes.seen.first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.seen.first().buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(boxes.seen.first().text, w.message + QLatin1Char('.'));
        QTRY_COMPARE(boxes.open, 0);
        // The next event is delivered as usual.
        QTest::keyClick(&w, Qt::Key_A);
        QCOMPARE(w.handled, 1);
        QCOMPARE(escaped(), 0);
    }

    void oneFailureMetTwiceIsOneBox()
    {
        Failing w;
        w.message = formats::invalidNumberMessage(QStringLiteral("1,2,3"), QStringLiteral("Bl_Gross1"));
        w.show();
        ErrorBoxWatch boxes;
        QTest::keyClick(&w, Qt::Key_T);
        QTRY_COMPARE(blapp::pendingReports(), 0);
        QTRY_COMPARE(boxes.open, 0);
        // The text ends in a quote: no full stop.
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("'1,2,3' is not a valid floating point value for field 'Bl_Gross1'")});

        // Reported inside an event and met again by the action that follows: one box.
        QTest::keyClick(&w, Qt::Key_F);
        auto again = [&] { throw ConversionError(w.message); };
        blapp::runGuarded(again);
        QTRY_COMPARE(blapp::pendingReports(), 0);
        QCOMPARE(boxes.seen.size(), 2);
    }

    void reportsWhileABoxIsUpFollowItInsteadOfStacking()
    {
        ErrorBoxWatch boxes;
        // While the first box is up, its event loop meets two more failures.
        boxes.onShown = [&] {
            if (boxes.seen.size() == 1) {
                blapp::reportLater(QStringLiteral("segunda."));
                blapp::reportLater(QStringLiteral("terceira."));
            }
            return QString();
        };
        blapp::reportLater(QStringLiteral("primeira."));
        QTRY_COMPARE(boxes.seen.size(), 3);
        QTRY_COMPARE(boxes.open, 0);
        QCOMPARE(boxes.texts(), (QStringList{"primeira.", "segunda.", "terceira."}));
        QCOMPARE(boxes.mostOpen, 1);
    }

    void errorFromAGuardedSlotEndsOnlyThatAction()
    {
        QPushButton button;
        int reached = 0, ended = 0;
        blapp::connectAction(&button, &QPushButton::clicked, &button, [&] {
            ++reached;
            if (reached == 1)
                throw px::EngineError(px::EngineError::Kind::InUse, QStringLiteral("BlCorvane.DB is in use"));
            ++ended;
        });
        button.show();
        ErrorBoxWatch boxes;
        button.click();
        // The box came and went inside the click, after the slot had unwound.
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, QStringLiteral("Bill of Lading"));
        QCOMPARE(boxes.seen.first().text, QStringLiteral("BlCorvane.DB is in use."));
        QCOMPARE(ended, 0);
        // The button works again and, when nothing fails, shows nothing, now or later.
        button.click();
        QCOMPARE(ended, 1);
        QCOMPARE(blapp::pendingReports(), 0);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(escaped(), 0);
    }

    void connectedActionGetsTheSignalsArguments()
    {
        QSpinBox spin;
        QList<int> values;
        blapp::connectAction(&spin, &QSpinBox::valueChanged, &spin, [&](int v) { values << v; });
        int bare = 0;
        blapp::connectAction(&spin, &QSpinBox::valueChanged, &spin, [&] { ++bare; });
        spin.setValue(7);
        QCOMPARE(values, QList<int>{7});
        QCOMPARE(bare, 1);
    }
};

int main(int argc, char **argv)
{
    CountingApp app(argc, argv);
    TestErrorBox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorbox.moc"
