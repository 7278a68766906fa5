// The about box: its fixed contents where the design puts them, the version of the build,
// and the one way to close it.

#include "U_AboutBox.h"

#include "ModalHelper.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QRegularExpression>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void windowFrame()
    {
        TAboutBox box;
        QCOMPARE(box.size(), QSize(289, 338));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QCOMPARE(box.windowTitle(), box.Copyright->text());
        QVERIFY(!box.windowTitle().isEmpty());
        const Qt::WindowFlags flags = box.windowFlags();
        QVERIFY(!(flags & Qt::WindowCloseButtonHint));
        QVERIFY(!(flags & Qt::WindowSystemMenuHint));
        QVERIFY(!(flags & Qt::WindowMinMaxButtonsHint));
        QCOMPARE(box.Panel1->geometry(), QRect(8, 8, 273, 321));
    }

    void versionComesFromTheBuild()
    {
        TAboutBox box;
        // The number the box shows is the one the project declares, read from the build's
        // own description rather than from the value compiled in.
        QFile cmake(QStringLiteral(BL_SOURCE_DIR "/CMakeLists.txt"));
        QVERIFY(cmake.open(QIODevice::ReadOnly));
        const auto declared = QRegularExpression(QStringLiteral("project\\(bl-emissao VERSION ([0-9.]+)"))
                                  .match(QString::fromUtf8(cmake.readAll()));
        QVERIFY(declared.hasMatch());
        QCOMPARE(box.Version->text(), declared.captured(1));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(box.versionText()).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^(0[1-9]|1[0-2])/\\d{4}$")).match(box.StartDate->text()).hasMatch());
    }

    void pictureIsDrawnUnscaled()
    {
        TAboutBox box;
        QVERIFY2(box.pictureError().isEmpty(), qPrintable(box.pictureError()));
        QCOMPARE(box.ProgramIcon->parentWidget(), box.Panel1);
        QCOMPARE(box.ProgramIcon->geometry(), QRect(8, 8, 257, 177));
        QCOMPARE(box.ProgramIcon->pixmap().size(), QSize(255, 172));
        QVERIFY(!box.ProgramIcon->hasScaledContents());
        QCOMPARE(box.ProgramIcon->alignment(), Qt::AlignLeft | Qt::AlignTop);
    }

    void captionsAndValuesWhereTheDesignPutsThem()
    {
        TAboutBox box;
        struct Item
        {
            const char *name;
            QPoint pos;
            const char *text;  // null: a value of the product
        };
        const Item items[] = {
            {"Label1", {8, 200}, "Copyright:"}, {"Copyright", {64, 200}, nullptr},
            {"Label2", {8, 224}, "Software:"},  {"ProductName", {64, 224}, nullptr},
            {"Label3", {8, 248}, "Start:"},     {"StartDate", {64, 248}, nullptr},
            {"Label4", {136, 248}, "Version:"}, {"Version", {184, 246}, nullptr},
            {"Label5", {8, 272}, "Internet:"},  {"Internet", {64, 272}, nullptr},
            {"Label6", {8, 296}, "E-mail: "},   {"EMail", {64, 296}, nullptr},
        };
        for (const Item &it : items) {
            auto *l = box.Panel1->findChild<QLabel *>(QLatin1String(it.name));
            QVERIFY2(l, it.name);
            QCOMPARE(l->pos(), it.pos);
            if (it.text)
                QCOMPARE(l->text(), QLatin1String(it.text));
            QVERIFY2(!l->text().isEmpty(), it.name);
            // Fitted to the text, and inside the panel.
            QCOMPARE(l->size(), l->sizeHint());
            QVERIFY2(l->geometry().right() < box.Panel1->width() - 2, it.name);
        }
        // Nothing runs under the close button.
        QVERIFY(box.EMail->geometry().right() < box.OKButton->x());
        QVERIFY(box.Internet->geometry().right() < box.OKButton->x());
        QVERIFY(box.Version->geometry().right() < box.Panel1->width() - 2);
    }

    void fontsAndColours()
    {
        TAboutBox box;
        const QColor navy(0, 0, 128), red(255, 0, 0);
        for (QLabel *v : {box.Copyright, box.ProductName, box.StartDate, box.Internet, box.EMail}) {
            QCOMPARE(v->palette().color(QPalette::WindowText), navy);
            QVERIFY(v->font().bold());
            QCOMPARE(QFontInfo(v->font()).pixelSize(), 11);
        }
        QCOMPARE(box.Version->palette().color(QPalette::WindowText), red);
        QVERIFY(box.Version->font().bold());
        QCOMPARE(QFontInfo(box.Version->font()).pixelSize(), 13);
        auto *caption = box.Panel1->findChild<QLabel *>(QStringLiteral("Label1"));
        QVERIFY(!caption->font().bold());
        QCOMPARE(QFontInfo(caption->font()).pixelSize(), 11);
        QCOMPARE(caption->palette().color(QPalette::WindowText), box.palette().color(QPalette::WindowText));
    }

    void closeButton()
    {
        TAboutBox box;
        QCOMPARE(box.OKButton->geometry(), QRect(224, 288, 41, 27));
        QCOMPARE(box.OKButton->focusPolicy(), Qt::NoFocus);
        const QIcon icon = box.OKButton->icon();
        const QImage normal = icon.pixmap(16, 16, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(16, 16, QIcon::Disabled).toImage();
        QCOMPARE(normal.size(), QSize(16, 16));
        QVERIFY(normal != disabled);
        // The check mark is red.
        bool red = false;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QColor c = normal.pixelColor(x, y);
                red |= c.alpha() > 200 && c.red() > 200 && c.green() < 60 && c.blue() < 60;
            }
        QVERIFY(red);
    }

    void onlyTheButtonCloses()
    {
        TAboutBox box;
        bool stillOpenAfterEscape = false, stillOpenAfterWmClose = false;
        auto watch = modaltest::whenModal([&](QWidget *w) {
            QTest::keyClick(w, Qt::Key_Escape);
            stillOpenAfterEscape = w->isVisible();
            // A close asked through the window system (Alt+F4) reaches the native window.
            QCloseEvent close;
            QCoreApplication::sendEvent(w->windowHandle(), &close);
            stillOpenAfterWmClose = !close.isAccepted() && w->isVisible();
            QTest::mouseClick(w->findChild<QToolButton *>(QStringLiteral("OKButton")), Qt::LeftButton);
        });
        const int result = box.exec();
        QVERIFY(watch->acted);
        QVERIFY(stillOpenAfterEscape);
        QVERIFY(stillOpenAfterWmClose);
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
