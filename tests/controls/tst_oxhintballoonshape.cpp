// The balloon's shape without a window: lines, size, place, picture, region, drop-down lists.

#include "OxHintBalloonShape.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTest>

using namespace balloon;

namespace {

const QColor Fill(255, 255, 225);
const QColor TextColour(0, 0, 255);

Picture pictureFor(const QStringList &lines, int dx, int dy)
{
    Picture p;
    p.font = QFont(QStringLiteral("MS Sans Serif"));
    p.font.setPixelSize(11);
    p.font.setBold(true);
    const QImage probe(1, 1, QImage::Format_RGB32);
    const QFontMetrics fm(p.font, &probe);
    p.lines = lines;
    p.textColour = TextColour;
    p.fill = Fill;
    p.lineHeight = fm.height();
    p.size = balloonSize(lines, [&fm](const QString &t) { return fm.horizontalAdvance(t); }, p.lineHeight);
    p.dx = dx;
    p.dy = dy;
    return p;
}

} // namespace

class TestOxHintBalloonShape : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    }

    void linesAndSize()
    {
        const QChar amp = QLatin1Char('&');
        QCOMPARE(splitLines(QStringLiteral("Incluir&Novo BL"), amp), (QStringList{"Incluir", "Novo BL"}));
        QCOMPARE(splitLines(QStringLiteral("Fechar&"), amp), (QStringList{"Fechar", ""}));
        QCOMPARE(splitLines(QStringLiteral("Copia&&BL"), amp), (QStringList{"Copia", "", "BL"}));
        QCOMPARE(splitLines(QString(), amp), QStringList{""});

        // The narrowest balloon is "HHH" + 12 wide, for one letter and for nothing.
        const AdvanceFn sevenEach = [](const QString &t) { return 7 * int(t.size()); };
        QCOMPARE(balloonSize({"I"}, sevenEach, 13), QSize(21 + 12, 13 + 32));
        QCOMPARE(balloonSize({""}, sevenEach, 13), QSize(21 + 12, 13 + 32));
        QCOMPARE(balloonSize({"Incluir", "", "Novo BL"}, sevenEach, 13), QSize(49 + 12, 3 * 13 + 32));
    }

    void placement_data()
    {
        QTest::addColumn<QPoint>("proposed");
        QTest::addColumn<QRect>("desktop");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        const QRect d(0, 0, 1280, 1024);
        const QSize s(60, 44);
        QTest::newRow("middle") << QPoint(400, 500) << d << QRect(QPoint(400, 438), s) << 1 << 1;
        QTest::newRow("top just fits") << QPoint(400, 62) << d << QRect(QPoint(400, 0), s) << 1 << 1;
        QTest::newRow("near top") << QPoint(400, 61) << d << QRect(QPoint(405, 43), s) << 1 << -1;
        QTest::newRow("right just fits") << QPoint(1220, 500) << d << QRect(QPoint(1220, 438), s) << 1 << 1;
        QTest::newRow("near right") << QPoint(1221, 500) << d << QRect(QPoint(1161, 438), s) << -1 << 1;
        QTest::newRow("both, no shift") << QPoint(1250, 40) << d << QRect(QPoint(1190, 22), s) << -1 << -1;
        // The whole virtual desktop counts, wherever its origin is.
        QTest::newRow("screen on the right") << QPoint(1250, 500) << QRect(0, 0, 2560, 1024)
                                             << QRect(QPoint(1250, 438), s) << 1 << 1;
        QTest::newRow("screen on the left") << QPoint(1250, 500) << QRect(-1280, 0, 2560, 1024)
                                            << QRect(QPoint(1190, 438), s) << -1 << 1;
    }
    void placement()
    {
        QFETCH(QPoint, proposed);
        QFETCH(QRect, desktop);
        QFETCH(QRect, rect);
        QFETCH(int, dx);
        QFETCH(int, dy);
        const Placement p = placeBalloon(proposed, QSize(60, 44), desktop);
        QCOMPARE(p, (Placement{rect, dx, dy}));
        // The tip: the window's corner on the tail's side, 18 above the proposed corner.
        const int shift = (dy < 0 && dx > 0) ? 5 : 0;
        QCOMPARE(p.rect.topLeft() + tailOf(p.rect.size(), dx, dy).tip,
                 QPoint(proposed.x() + shift, proposed.y() - 18));
    }

    void picture_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::newRow("above right") << 1 << 1;
        QTest::newRow("below right") << 1 << -1;
        QTest::newRow("above left") << -1 << 1;
        QTest::newRow("below left") << -1 << -1;
    }
    // Outline black, body and tail one shape in the fill colour without a line across the
    // joint, key colour outside and out of the region; the text where it belongs.
    void picture()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        const Picture blank = pictureFor({"", "", ""}, dx, dy);
        const QImage img = drawBalloon(blank);
        const int w = img.width();
        const QRect body = bodyOutline(blank.size, dy);
        const QRgb black = qRgb(0, 0, 0);
        QCOMPARE(img.pixel(w / 2, dy > 0 ? body.top() : body.bottom()), black);
        QCOMPARE(img.pixel(0, body.center().y()), black);
        QCOMPARE(img.pixel(w - 1, body.center().y()), black);
        QCOMPARE(img.pixel(body.topLeft()), KeyColour);   // round corner
        QCOMPARE(img.pixel(w - 4, body.center().y()), Fill.rgb());

        const Tail t = tailOf(blank.size, dx, dy);
        for (int x = t.base1.x(); x != t.base2.x(); x += dx)
            QCOMPARE(img.pixel(x, t.base1.y()), Fill.rgb());
        QCOMPARE(img.pixel(t.tip.x() + 18 * dx, t.base1.y() + 2 * dy), Fill.rgb());
        QCOMPARE(img.pixel(dx > 0 ? w - 2 : 1, t.base1.y() + 2 * dy), KeyColour);

        const QRegion r = balloonRegion(img, dx, dy);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < w; ++x)
                QVERIFY2(r.contains(QPoint(x, y)) == (img.pixel(x, y) != KeyColour),
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        // Where the black tip is the corner (0, 0), the background comes from the other corner.
        QCOMPARE(r.contains(QPoint(0, 0)), dx > 0 && dy < 0);

        // A second line "HHH": only its box changes, and it is in the text colour.
        Picture second = blank;
        second.lines[1] = QStringLiteral("HHH");
        const QImage with = drawBalloon(second);
        const QRect box(6, textTop(dy) + 4 + blank.lineHeight, w - 12, blank.lineHeight);
        bool solid = false;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < w; ++x)
                if (with.pixel(x, y) != img.pixel(x, y)) {
                    QVERIFY2(box.contains(x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
                    solid = solid || with.pixel(x, y) == TextColour.rgb();
                }
        QVERIFY(solid);
    }

    // A combo box's list is checked where the balloon window uses it; here a completer's.
    void completerListIsADropDownList()
    {
        QLineEdit edit;
        auto *completer = new QCompleter(QStringList{"Santos", "Santa Cruz"}, &edit);
        edit.setCompleter(completer);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QVERIFY(!isDropDownList(&edit) && !isDropDownList(nullptr));
        completer->setCompletionPrefix(QStringLiteral("San"));
        completer->complete();
        QTRY_VERIFY(completer->popup()->isVisible());
        QVERIFY(isDropDownList(completer->popup()->viewport()));
    }
};

QTEST_MAIN(TestOxHintBalloonShape)
#include "tst_oxhintballoonshape.moc"
