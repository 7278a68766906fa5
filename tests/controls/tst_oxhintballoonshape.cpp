// The balloon's shape without a window: lines, size, place on the desktop, picture, region,
// and which windows count as drop-down lists.

#include "OxHintBalloonShape.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListView>
#include <QTest>

using namespace balloon;

namespace {

const QRect Desktop(0, 0, 1280, 1024);
const QColor Fill(255, 255, 225);
const QColor TextColour(0, 0, 255);

QFont hintFont()
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(true);
    return f;
}

Picture pictureFor(const QStringList &lines, int dx, int dy)
{
    const QImage probe(1, 1, QImage::Format_RGB32);
    const QFontMetrics fm(hintFont(), &probe);
    Picture p;
    p.lines = lines;
    p.font = hintFont();
    p.textColour = TextColour;
    p.fill = Fill;
    p.lineHeight = fm.height();
    p.size = balloonSize(lines, [&fm](const QString &t) { return fm.horizontalAdvance(t); }, p.lineHeight);
    p.dx = dx;
    p.dy = dy;
    return p;
}

// The pixels where two pictures differ.
QRect differences(const QImage &a, const QImage &b, int *count = nullptr)
{
    QRect box;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                box |= QRect(x, y, 1, 1);
                ++n;
            }
    if (count)
        *count = n;
    return box;
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

    void lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("plain") << "Fechar" << QStringList{"Fechar"};
        QTest::newRow("middle") << "Incluir&Novo BL" << QStringList{"Incluir", "Novo BL"};
        QTest::newRow("trailing") << "Fechar&" << QStringList{"Fechar", ""};
        QTest::newRow("leading") << "&Fechar" << QStringList{"", "Fechar"};
        QTest::newRow("double") << "Copia&&BL" << QStringList{"Copia", "", "BL"};
        QTest::newRow("only separators") << "&&" << QStringList{"", "", ""};
        QTest::newRow("empty") << "" << QStringList{""};
    }
    void lines()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(splitLines(text, QLatin1Char('&')), lines);
    }

    void otherSeparatorKeepsAmpersands()
    {
        QCOMPARE(splitLines(QStringLiteral("P&B|Fim"), QLatin1Char('|')), (QStringList{"P&B", "Fim"}));
    }

    void size()
    {
        const AdvanceFn sevenEach = [](const QString &t) { return 7 * int(t.size()); };
        // The narrowest balloon is "HHH" wide, whatever the hint.
        QCOMPARE(balloonSize({"I"}, sevenEach, 13), QSize(21 + 12, 13 + 32));
        QCOMPARE(balloonSize({""}, sevenEach, 13), QSize(21 + 12, 13 + 32));
        QCOMPARE(balloonSize({"Incluir", "", "Novo BL"}, sevenEach, 13), QSize(49 + 12, 3 * 13 + 32));

        // With the real font: a one-letter and an empty hint as wide as "HHH" + 12.
        const QImage probe(1, 1, QImage::Format_RGB32);
        const QFontMetrics fm(hintFont(), &probe);
        const AdvanceFn real = [&fm](const QString &t) { return fm.horizontalAdvance(t); };
        const QSize narrowest(fm.horizontalAdvance(QStringLiteral("HHH")) + 12, fm.height() + 32);
        QCOMPARE(balloonSize(splitLines(QStringLiteral("I"), QLatin1Char('&')), real, fm.height()), narrowest);
        QCOMPARE(balloonSize(splitLines(QString(), QLatin1Char('&')), real, fm.height()), narrowest);
        QVERIFY(balloonSize({"Incluir Novo BL"}, real, fm.height()).width() > narrowest.width());
    }

    void placement_data()
    {
        QTest::addColumn<QPoint>("proposed");
        QTest::addColumn<QRect>("desktop");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        const QSize s(60, 44);
        // Above the anchor, to its right: the tip 18 above the proposed corner.
        QTest::newRow("middle") << QPoint(400, 500) << Desktop << QRect(QPoint(400, 438), s) << 1 << 1;
        QTest::newRow("top just fits") << QPoint(400, 62) << Desktop << QRect(QPoint(400, 0), s) << 1 << 1;
        // Near the top: below the anchor, tail on top, 5 pixels further right.
        QTest::newRow("near top") << QPoint(400, 61) << Desktop << QRect(QPoint(405, 43), s) << 1 << -1;
        QTest::newRow("at the top") << QPoint(0, 32) << Desktop << QRect(QPoint(5, 14), s) << 1 << -1;
        QTest::newRow("right just fits") << QPoint(1220, 500) << Desktop << QRect(QPoint(1220, 438), s) << 1 << 1;
        // Near the right edge: to the left, tail on the right.
        QTest::newRow("near right") << QPoint(1221, 500) << Desktop << QRect(QPoint(1161, 438), s) << -1 << 1;
        // Both: below and to the left, without the shift.
        QTest::newRow("top right") << QPoint(1250, 40) << Desktop << QRect(QPoint(1190, 22), s) << -1 << -1;
        // The whole virtual desktop counts: a second screen to the right leaves room.
        QTest::newRow("two screens") << QPoint(1250, 500) << QRect(0, 0, 2560, 1024)
                                     << QRect(QPoint(1250, 438), s) << 1 << 1;
        QTest::newRow("screen left of the primary")
            << QPoint(1250, 500) << QRect(-1280, 0, 2560, 1024) << QRect(QPoint(1190, 438), s) << -1 << 1;
    }
    void placement()
    {
        QFETCH(QPoint, proposed);
        QFETCH(QRect, desktop);
        QFETCH(QRect, rect);
        QFETCH(int, dx);
        QFETCH(int, dy);
        const Placement p = placeBalloon(proposed, QSize(60, 44), desktop);
        QCOMPARE(p.rect, rect);
        QCOMPARE(p.dx, dx);
        QCOMPARE(p.dy, dy);

        // The tail's tip is the window corner on the tail's side, 18 above the proposed
        // corner (5 to the right when only the vertical direction flipped).
        const Tail t = tailOf(p.rect.size(), p.dx, p.dy);
        const int shift = (dy < 0 && dx > 0) ? 5 : 0;
        QCOMPARE(p.rect.topLeft() + t.tip, QPoint(proposed.x() + shift, proposed.y() - 18));
        QCOMPARE(t.tip.y() == 0, dy < 0);            // tail on top when below
        QCOMPARE(t.tip.x() == 0, dx > 0);            // tail on the left when to the right
    }

    // Outline black, body and tail one shape in the fill colour, key colour outside.
    void picture_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::newRow("above right") << 1 << 1;
        QTest::newRow("below right") << 1 << -1;
        QTest::newRow("above left") << -1 << 1;
        QTest::newRow("below left") << -1 << -1;
    }
    void picture()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        const Picture pic = pictureFor({"Fechar"}, dx, dy);
        const QImage img = drawBalloon(pic);
        QCOMPARE(img.size(), pic.size);
        const int w = img.width();
        const QRgb black = qRgb(0, 0, 0);
        const QRgb fill = Fill.rgb();
        const QRect body = bodyOutline(pic.size, dy);

        // The body's straight edges are black; the rounded corners leave the key colour.
        QCOMPARE(img.pixel(w / 2, dy > 0 ? body.top() : body.bottom()), black);   // away from the tail
        QCOMPARE(img.pixel(0, body.center().y()), black);
        QCOMPARE(img.pixel(w - 1, body.center().y()), black);
        QCOMPARE(img.pixel(body.left(), body.top()), KeyColour);
        QCOMPARE(img.pixel(body.right(), body.bottom()), KeyColour);
        QCOMPARE(img.pixel(body.left() + 1, body.top() + 1), KeyColour);
        // Inside, beyond the text, the fill colour.
        QCOMPARE(img.pixel(w - 4, body.center().y()), fill);
        QCOMPARE(img.pixel(3, body.top() + 3), fill);

        // The tail: its base is open (fill colour, no line across) from its near corner up
        // to the pixel before its far corner; inside it is filled; beside it, key colour.
        const Tail t = tailOf(pic.size, dx, dy);
        for (int x = t.base1.x(); x != t.base2.x(); x += dx)
            QVERIFY2(img.pixel(x, t.base1.y()) == fill, qPrintable(QStringLiteral("base x %1").arg(x)));
        QCOMPARE(img.pixel(t.base2.x(), t.base2.y()), black);
        const QPoint inTail(t.tip.x() + 18 * dx, t.base1.y() + 2 * dy);
        QCOMPARE(img.pixel(inTail), fill);
        const QPoint belowBodyFarSide(dx > 0 ? w - 2 : 1, t.base1.y() + 2 * dy);
        QCOMPARE(img.pixel(belowBodyFarSide), KeyColour);
        // The tail reaches the picture's corner on its side.
        const int cx = dx > 0 ? 0 : w - 2;
        const int cy = dy > 0 ? img.height() - 2 : 0;
        int blackInCorner = 0;
        for (int y = cy; y < cy + 2; ++y)
            for (int x = cx; x < cx + 2; ++x)
                blackInCorner += img.pixel(x, y) == black;
        QVERIFY(blackInCorner > 0);

        // The fill never leaks: no key-coloured pixel is inside the body's straight part.
        for (int y = body.top() + 8; y <= body.bottom() - 8; ++y)
            for (int x = 1; x < w - 1; ++x)
                QVERIFY2(img.pixel(x, y) != KeyColour, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    }

    // The region is the picture less its background: outline, fill, text and tail stay.
    void region_data() { picture_data(); }
    void region()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        const QImage img = drawBalloon(pictureFor({"Incluir", "Novo BL"}, dx, dy));
        const QRegion r = balloonRegion(img, dx, dy);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                QVERIFY2(r.contains(QPoint(x, y)) == (img.pixel(x, y) != KeyColour),
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        QVERIFY(!r.contains(QPoint(-1, 0)));
        QVERIFY(!r.contains(QPoint(img.width(), img.height() - 1)));
        // Where the tip is the picture's corner (0, 0), that corner stays in the region.
        QCOMPARE(r.contains(QPoint(0, 0)), dx > 0 && dy < 0);
    }

    // The background is whatever colour the corner without the tail has.
    void regionTakesBackgroundFromThePicture()
    {
        QImage img(8, 3, QImage::Format_RGB32);
        img.fill(Qt::white);
        img.setPixel(0, 0, qRgb(0, 0, 0));
        img.setPixel(3, 1, qRgb(0, 0, 0));
        img.setPixel(4, 1, qRgb(1, 1, 1));
        // (0, 0) is the tip: white is the background.
        QRegion r = balloonRegion(img, 1, -1);
        QCOMPARE(r.rectCount(), 2);
        QVERIFY(r.contains(QPoint(0, 0)) && r.contains(QPoint(3, 1)) && r.contains(QPoint(4, 1)));
        QVERIFY(!r.contains(QPoint(5, 1)) && !r.contains(QPoint(7, 0)));
        // Otherwise (0, 0) is the background: black goes, everything white stays.
        r = balloonRegion(img, 1, 1);
        QVERIFY(!r.contains(QPoint(0, 0)) && !r.contains(QPoint(3, 1)));
        QVERIFY(r.contains(QPoint(1, 0)) && r.contains(QPoint(4, 1)) && r.contains(QPoint(7, 2)));
        QVERIFY(balloonRegion(QImage(), 1, 1).isEmpty());
    }

    // The lines at x 6 and y textTop + 4 + i * lineHeight, in the text colour.
    void textAtItsPlaces_data() { picture_data(); }
    void textAtItsPlaces()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        const Picture blank = pictureFor({"", "", ""}, dx, dy);
        Picture second = blank;
        second.lines = QStringList{"", "HHH", ""};
        const QImage without = drawBalloon(blank);
        const QImage with = drawBalloon(second);
        int changed = 0;
        const QRect box = differences(without, with, &changed);
        QVERIFY(changed > 0);
        const int h = blank.lineHeight;
        const QRect lineBox(6, textTop(dy) + 4 + h, blank.size.width() - 12, h);
        QVERIFY2(lineBox.contains(box), qPrintable(QStringLiteral("text at %1,%2 %3x%4")
                                                       .arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
        // The first stem of the first H starts at the line's left edge.
        QVERIFY(box.left() <= 8);
        bool solid = false;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                solid = solid || with.pixel(x, y) == TextColour.rgb();
        QVERIFY(solid);
    }

    void floodFillFollowsFourNeighbours()
    {
        // A diagonal wall: four-way steps never cross it.
        QImage img(5, 5, QImage::Format_RGB32);
        img.fill(Qt::white);
        for (int i = 0; i < 5; ++i)
            img.setPixel(4 - i, i, qRgb(0, 0, 0));
        floodFill(img, QPoint(0, 0), qRgb(255, 0, 0));
        QCOMPARE(img.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(img.pixel(3, 0), qRgb(255, 0, 0));
        QCOMPARE(img.pixel(0, 3), qRgb(255, 0, 0));
        QCOMPARE(img.pixel(4, 4), qRgb(255, 255, 255));
        QCOMPARE(img.pixel(1, 4), qRgb(255, 255, 255));
        QCOMPARE(img.pixel(2, 2), qRgb(0, 0, 0));
        // A start outside the picture does nothing.
        const QImage before = img;
        floodFill(img, QPoint(5, 0), qRgb(0, 255, 0));
        QCOMPARE(img, before);
    }

    void floodFillReachesAroundCorners()
    {
        // A U-shaped room: the fill goes down, along and up the other side.
        QImage img(7, 5, QImage::Format_RGB32);
        img.fill(Qt::white);
        for (int y = 0; y < 4; ++y)
            img.setPixel(3, y, qRgb(0, 0, 0));
        floodFill(img, QPoint(0, 0), qRgb(9, 9, 9));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                QCOMPARE(img.pixel(x, y), (x == 3 && y < 4) ? qRgb(0, 0, 0) : qRgb(9, 9, 9));
    }

    void dropDownLists()
    {
        QWidget window;
        auto *combo = new QComboBox(&window);
        combo->addItems({"ABC", "DEF"});
        auto *edit = new QLineEdit(&window);
        edit->move(0, 40);
        auto *completer = new QCompleter(QStringList{"Santos", "Santa Cruz"}, edit);
        edit->setCompleter(completer);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(!isDropDownList(nullptr));
        QVERIFY(!isDropDownList(combo));
        QVERIFY(!isDropDownList(edit));
        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        QVERIFY(isDropDownList(combo->view()));
        QVERIFY(isDropDownList(combo->view()->viewport()));
        combo->hidePopup();

        completer->setCompletionPrefix(QStringLiteral("San"));
        completer->complete();
        QTRY_VERIFY(completer->popup()->isVisible());
        QVERIFY(isDropDownList(completer->popup()->viewport()));
        completer->popup()->hide();

        // A list in an ordinary window is not a drop-down list.
        QListView list;
        QVERIFY(!isDropDownList(list.viewport()));
    }
};

QTEST_MAIN(TestOxHintBalloonShape)
#include "tst_oxhintballoonshape.moc"
