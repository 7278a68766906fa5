// The agency details holder: its values, its logo, and what a damaged logo does.

#include "U_Endereco.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class TestEndereco : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void valuesAreThereWithoutShowing()
    {
        TF_Endereco f;
        QVERIFY(!f.isVisible());
        QCOMPARE(f.windowTitle(), QStringLiteral("F_Endereco"));
        QCOMPARE(f.size(), QSize(374, 401));
        QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(f.windowFlags() & Qt::WindowSystemMenuHint));

        // Every value sits in the control of its design name.
        const char *names[] = {"EditRazao", "EditFanta", "LabelEndereco", "LabelCidade",
                               "LabelTeleFax", "LabelInternet", "LabelEmail"};
        for (const char *name : names) {
            QWidget *w = f.findChild<QWidget *>(QLatin1String(name));
            QVERIFY2(w, name);
            const QString text = qobject_cast<QLineEdit *>(w) ? qobject_cast<QLineEdit *>(w)->text()
                                                              : qobject_cast<QLabel *>(w)->text();
            QVERIFY2(!text.trimmed().isEmpty(), name);
        }
        QCOMPARE(f.findChild<QLineEdit *>(QStringLiteral("EditFanta")), f.EditFanta);
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("ImageEmpresa")), f.ImageEmpresa);
        // The receipt appends "." to the legal name: it carries none of its own.
        QVERIFY(!f.EditRazao->text().endsWith(QLatin1Char('.')));
        QVERIFY(f.EditRazao->isReadOnly() && f.EditFanta->isReadOnly());
        // The e-mail line carries its own label.
        QVERIFY(f.LabelEmail->text().startsWith(QLatin1String("E-mail")));

        // The five lines are centred labels 340 pixels wide; the logo is centred in its area.
        for (QLabel *l : {f.LabelEndereco, f.LabelCidade, f.LabelTeleFax, f.LabelInternet, f.LabelEmail}) {
            QCOMPARE(l->width(), 340);
            QVERIFY(l->alignment() & Qt::AlignHCenter);
            QVERIFY2(l->sizeHint().width() <= 340, qPrintable(l->text()));
        }
        QCOMPARE(f.ImageEmpresa->size(), QSize(233, 169));
        QVERIFY(f.ImageEmpresa->alignment() & Qt::AlignHCenter);
    }

    void logoIsTheBuiltInJpeg()
    {
        TF_Endereco f;
        QVERIFY2(f.logoError().isEmpty(), qPrintable(f.logoError()));
        QCOMPARE(f.logo().size(), QSize(106, 67));
        QCOMPARE(f.ImageEmpresa->pixmap().size(), QSize(106, 67));
        QVERIFY(agencyLogoJpeg().startsWith("\xFF\xD8"));
        // Not a blank picture: it carries more than one colour.
        const QImage logo = f.logo();
        QSet<QRgb> colours;
        for (int y = 0; y < logo.height(); y += 4)
            for (int x = 0; x < logo.width(); x += 4)
                colours.insert(logo.pixel(x, y) & 0xF0F0F0);
        QVERIFY(colours.size() > 3);
    }

    void damagedLogoGivesAnErrorNotACrash_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        const QByteArray good = agencyLogoJpeg();
        QTest::newRow("truncated") << good.left(good.size() / 3);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a picture") << QByteArray("GIF89a...");
    }

    void damagedLogoGivesAnErrorNotACrash()
    {
        QFETCH(QByteArray, jpeg);
        TF_Endereco f(nullptr, jpeg);
        QVERIFY(f.logo().isNull());
        QVERIFY2(f.logoError().contains(QLatin1String("JPEG")), qPrintable(f.logoError()));
        QVERIFY(f.ImageEmpresa->pixmap().isNull());
        // The names and lines still serve.
        QCOMPARE(f.EditFanta->text(), TF_Endereco().EditFanta->text());
    }
};

QTEST_MAIN(TestEndereco)
#include "tst_endereco.moc"
