// The grid's text painter against QPainter::drawText itself: the same pixels for the same
// texts, fonts, colours and clips, nothing written outside the clip or the image, and a
// refusal (for QPainter to take over) wherever it could not match.

#include "GridText.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QtTest>

#include <climits>
#include <vector>

namespace {

QFont pixelFont(bool bold = false)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(bold);
    return f;
}

QFont pointFont()
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    return f;
}

const QRgb Navy = qRgb(0, 0, 128);
const QRgb Background = qRgb(0x12, 0x34, 0x56);

QImage reference(const QImage &bg, const QFont &font, int x, int baseline, const QString &text, QRgb colour,
                 const QRect &clip)
{
    QImage img = bg.copy();
    QPainter p(&img);
    QFont f = font;
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
    p.setFont(f);
    p.setPen(QColor(colour));
    p.setClipRect(clip);
    p.drawText(x, baseline, text);
    return img;
}

// Draws both ways over bg; on a difference saves both pictures and says where.
bool sameAsQt(const QImage &bg, const QFont &font, int x, int baseline, const QString &text, QRgb colour,
              const QRect &clip)
{
    const QImage want = reference(bg, font, x, baseline, text, colour, clip);
    // Where the text's start is in sight, Qt drew something: the comparison is not vacuous.
    if (!text.trimmed().isEmpty() && (clip & bg.rect()).contains(QRect(x, baseline - 8, 30, 10)) && want == bg) {
        qWarning("Qt drew nothing for \"%s\"", qPrintable(text));
        return false;
    }
    QImage got = bg.copy();
    GridTextPainter painter(font);
    if (!painter.draw(got, x, baseline, text, colour, clip)) {
        qWarning("refused to draw \"%s\"", qPrintable(text));
        return false;
    }
    if (got == want)
        return true;
    static int n = 0;
    const QString dir = QDir::temp().filePath(QStringLiteral("tst_gridtext"));
    QDir().mkpath(dir);
    const QString base = QDir(dir).filePath(QString::number(++n));
    want.save(base + QStringLiteral("-qt.png"));
    got.save(base + QStringLiteral("-ours.png"));
    qWarning("\"%s\" at (%d, %d) in %s differs: see %s-qt.png and %s-ours.png", qPrintable(text), x, baseline,
             qPrintable(font.toString()), qPrintable(base), qPrintable(base));
    return false;
}

QImage filled(int w, int h, QRgb c, QImage::Format format = QImage::Format_RGB32)
{
    QImage img(w, h, format);
    img.fill(c);
    return img;
}

// A background no text colour equals, so a stray write shows.
QImage patterned(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, 77));
    return img;
}

bool unchangedOutside(const QImage &before, const QImage &after, const QRect &clip)
{
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (!clip.contains(x, y) && before.pixel(x, y) != after.pixel(x, y)) {
                qWarning("pixel (%d, %d) outside the clip changed", x, y);
                return false;
            }
    return true;
}

QStringList cellTexts()
{
    return {QStringLiteral("EXPORTADORA DE CAFÉ SANTOS LTDA"),
            QStringLiteral("exportadora de café santos ltda"),
            QStringLiteral("ÁÂÃÀÇÉÊÍÓÔÕÚÜ áâãàçéêíóôõúü"),
            QStringLiteral("31/12/2026"),
            QStringLiteral("1.234,500"),
            QStringLiteral("0123456789 -+*/=()[]{}<>!?@#$%&_;:'\"`~^|\\"),
            QStringLiteral("AVATAR To Yo LT P. WA Te Vo ff fi fl"),  // kerning and ligature pairs
            QStringLiteral("ORDER Nº 2024/0815 – FRÁGIL “OK” €"),
            QStringLiteral("  two  spaces\u00a0nbsp"),
            QStringLiteral("i"),
            QStringLiteral("MÓVEIS BRASÍLIA INDÚSTRIA E COMÉRCIO DE MÓVEIS PLANEJADOS LTDA"),
            QString()};
}

} // namespace

class TestGridText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        QCOMPARE(QFontInfo(pixelFont()).family(), QStringLiteral("Liberation Sans"));
    }

    void matchesQPainter_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("baseline");
        QTest::addColumn<QRect>("clip");
        QTest::newRow("inside") << 3 << 14 << QRect(0, 0, 400, 40);
        QTest::newRow("clipped at a column edge") << 5 << 14 << QRect(2, 3, 97, 14);
        QTest::newRow("clip cuts ascenders and descenders") << 5 << 14 << QRect(0, 8, 400, 8);
        QTest::newRow("starts left of the image") << -23 << 14 << QRect(-50, 0, 500, 40);
        QTest::newRow("starts left of the clip") << 10 << 14 << QRect(40, 0, 60, 40);
        QTest::newRow("baseline on the bottom row") << 3 << 39 << QRect(0, 0, 400, 40);
        QTest::newRow("baseline below the image") << 3 << 43 << QRect(0, 0, 400, 40);
        QTest::newRow("above the image") << 3 << 2 << QRect(0, 0, 400, 40);
        QTest::newRow("clip beyond the image") << 300 << 20 << QRect(-100, -100, 1000, 1000);
    }

    // Every cell text, in three fonts and two colour schemes, pixel for pixel.
    void matchesQPainter()
    {
        QFETCH(int, x);
        QFETCH(int, baseline);
        QFETCH(QRect, clip);
        const QList<QFont> fonts{pixelFont(), pixelFont(true), pointFont()};
        const QList<QPair<QRgb, QRgb>> schemes{{qRgb(255, 255, 255), qRgb(0, 0, 0)}, {Navy, qRgb(255, 255, 255)}};
        for (const QFont &font : fonts)
            for (const auto &[bg, fg] : schemes)
                for (const QString &text : cellTexts())
                    QVERIFY(sameAsQt(filled(400, 40, bg), font, x, baseline, text, fg, clip));
    }

    void matchesQPainterOnImagesWithAlpha()
    {
        for (const auto format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32}) {
            const QImage bg = filled(300, 30, qRgba(0, 0, 0, 0), format);
            for (const QString &text : cellTexts())
                QVERIFY(sameAsQt(bg, pixelFont(), 4, 15, text, qRgb(200, 10, 30), QRect(0, 0, 120, 30)));
        }
    }

    // Every character the grid may meet in Latin-1, Windows-1252 and Latin Extended, and a
    // little Greek and Cyrillic, in runs of consecutive characters.
    void matchesQPainterForTheWholeRepertoire()
    {
        QString chars;
        for (char16_t c = 0x20; c < 0x250; ++c)
            chars += QChar(c);
        chars += QStringLiteral("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ αβγΔΩ ЖЯжя");
        GridTextPainter painter(pixelFont());
        QString run;
        int drawn = 0;
        for (const QChar ch : chars) {
            if (!painter.canDraw(QStringView(&ch, 1)))
                continue;
            run += ch;
            ++drawn;
            if (run.size() == 16) {
                QVERIFY(sameAsQt(filled(300, 24, qRgb(255, 255, 255)), pixelFont(), 2, 15, run, qRgb(0, 0, 0),
                                 QRect(0, 0, 300, 24)));
                run.clear();
            }
        }
        QVERIFY(sameAsQt(filled(300, 24, qRgb(255, 255, 255)), pixelFont(), 2, 15, run, qRgb(0, 0, 0),
                         QRect(0, 0, 300, 24)));
        // The grid's texts are Latin-1 and Windows-1252: all of those must take the fast path.
        QVERIFY2(drawn > 500, qPrintable(QString::number(drawn)));
        for (char16_t c = 0x20; c <= 0xFF; ++c)
            if (c < 0x7F || (c >= 0xA0 && c != 0xAD))
                QVERIFY2(painter.canDraw(QStringView(reinterpret_cast<const QChar *>(&c), 1)),
                         qPrintable(QString::number(c, 16)));
    }

    // Other sizes, styles and hinting: the painter either draws exactly as Qt or refuses the
    // font altogether (its sample check catches placements the model does not cover).
    void neverDrawsDifferently()
    {
        QList<QFont> fonts;
        for (int size = 8; size <= 20; size += 3) {
            for (const auto hinting : {QFont::PreferDefaultHinting, QFont::PreferNoHinting,
                                       QFont::PreferVerticalHinting, QFont::PreferFullHinting}) {
                QFont f = pixelFont(size % 2);
                f.setPixelSize(size);
                f.setItalic(size % 3 == 0);
                f.setHintingPreference(hinting);
                fonts << f;
            }
        }
        QFont serif(QStringLiteral("Liberation Serif"));
        serif.setPointSize(9);
        fonts << serif;
        int fast = 0;
        for (const QFont &font : fonts) {
            const GridTextPainter painter(font);
            if (!painter.canDraw(u"abc"))
                continue;
            ++fast;
            for (const QString &text : cellTexts())
                QVERIFY(sameAsQt(filled(500, 30, qRgb(255, 255, 255)), font, 3, 20, text, qRgb(0, 0, 0),
                                 QRect(0, 0, 300, 30)));
        }
        qInfo("%d of %lld fonts take the fast path", fast, qlonglong(fonts.size()));
        QVERIFY(fast > 0);
    }

    // Big glyphs fill the cache's pixel budget; after it starts over the texts still come out
    // as Qt draws them.
    void matchesQPainterWhileTheCacheStartsOver()
    {
        QFont big = pixelFont();
        big.setPixelSize(48);
        const GridTextPainter painter(big);
        QString chars;
        for (char16_t c = 0x21; c < 0x250; ++c)
            if (painter.canDraw(QStringView(reinterpret_cast<const QChar *>(&c), 1)))
                chars += QChar(c);
        QVERIFY2(chars.size() > 400, qPrintable(QString::number(chars.size())));
        const QImage bg = filled(400, 70, qRgb(255, 255, 255));
        for (int i = 0; i < chars.size(); i += 6)
            QVERIFY(sameAsQt(bg, big, 10, 50, chars.mid(i, 6), qRgb(0, 0, 0), bg.rect()));
    }

    void widthIsQtsAdvance()
    {
        for (const QFont &font : {pixelFont(), pixelFont(true), pointFont()}) {
            GridTextPainter painter(font);
            const QFontMetrics fm(painter.font());
            QStringList texts = cellTexts();
            texts << QStringLiteral("e\u0301") << QStringLiteral("tab\there") << QStringLiteral("a😀b");
            for (const QString &text : texts)
                QCOMPARE(painter.width(text), fm.horizontalAdvance(text));
        }
    }

    // Whatever it could draw differently from Qt, it refuses, and writes nothing.
    void refusesWhatItCannotMatch()
    {
        GridTextPainter painter(pixelFont());
        const QStringList refused{QStringLiteral("smile 😀"), QStringLiteral("e\u0301"), QStringLiteral("tab\t"),
                                  QStringLiteral("line\nbreak"), QStringLiteral("soft\u00adhyphen"),
                                  QStringLiteral("שלום"), QStringLiteral("\u200e"), QString(QChar(0xD800))};
        const QImage bg = patterned(100, 20);
        for (const QString &text : refused) {
            QVERIFY2(!painter.canDraw(text), qPrintable(text));
            QImage img = bg;
            QVERIFY(!painter.draw(img, 2, 14, text, qRgb(0, 0, 0), img.rect()));
            QCOMPARE(img, bg);
        }

        QImage img = bg;
        QVERIFY2(!painter.draw(img, 2, 14, u"abc", qRgba(0, 0, 0, 128), img.rect()), "translucent colour");
        QImage rgb16 = bg.convertToFormat(QImage::Format_RGB16);
        const QImage rgb16Before = rgb16;
        QVERIFY2(!painter.draw(rgb16, 2, 14, u"abc", qRgb(0, 0, 0), img.rect()), "16-bit image");
        QCOMPARE(rgb16, rgb16Before);
        QImage scaled = bg;
        scaled.setDevicePixelRatio(2);
        QVERIFY2(!painter.draw(scaled, 2, 14, u"abc", qRgb(0, 0, 0), img.rect()), "scaled image");
        QImage none;
        QVERIFY(!painter.draw(none, 0, 10, u"abc", qRgb(0, 0, 0), QRect(0, 0, 10, 10)));
        QImage lowDpi = bg;
        lowDpi.setDotsPerMeterY(lowDpi.dotsPerMeterY() / 2);
        QVERIFY2(!GridTextPainter(pointFont()).draw(lowDpi, 2, 14, u"abc", qRgb(0, 0, 0), img.rect()),
                 "point-sized font on an image of another DPI");
        QVERIFY2(GridTextPainter(pixelFont()).draw(lowDpi, 2, 14, u"abc", qRgb(0, 0, 0), img.rect()),
                 "a pixel-sized font does not depend on DPI");

        QFont underlined = pixelFont();
        underlined.setUnderline(true);
        QFont spaced = pixelFont();
        spaced.setLetterSpacing(QFont::AbsoluteSpacing, 1);
        QFont capitals = pixelFont();
        capitals.setCapitalization(QFont::AllUppercase);
        QFont huge = pixelFont();
        huge.setPixelSize(200);  // Qt fills outlines at fractional positions
        for (const QFont &f : {underlined, spaced, capitals, huge})
            QVERIFY2(!GridTextPainter(f).canDraw(u"abc"), qPrintable(f.toString()));
        QVERIFY(painter.canDraw(u"abc"));
        QVERIFY(painter.canDraw(u""));
    }

    // Hostile coordinates and clips: no write outside the clip and the image, and where
    // anything shows, the same as Qt.
    void staysInsideClipAndImage_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("baseline");
        QTest::addColumn<QRect>("clip");
        QTest::addColumn<bool>("compareWithQt");
        QTest::newRow("empty clip") << 2 << 14 << QRect(10, 5, 0, 0) << true;
        QTest::newRow("inverted clip") << 2 << 14 << QRect(QPoint(60, 15), QPoint(10, 5)) << false;
        QTest::newRow("clip left of the image") << 2 << 14 << QRect(-100, 0, 90, 30) << true;
        QTest::newRow("clip below the image") << 2 << 14 << QRect(0, 40, 100, 30) << true;
        QTest::newRow("one pixel clip") << 2 << 14 << QRect(5, 10, 1, 1) << true;
        QTest::newRow("huge clip") << 2 << 14 << QRect(-1000000, -1000000, 2000000, 2000000) << true;
        QTest::newRow("extreme clip") << 2 << 14 << QRect(QPoint(INT_MIN / 2, INT_MIN / 2), QPoint(INT_MAX / 2, INT_MAX / 2)) << false;
        QTest::newRow("x at the right edge") << 79 << 14 << QRect(0, 0, 80, 30) << true;
        QTest::newRow("x far right") << 100000 << 14 << QRect(0, 0, 80, 30) << true;
        QTest::newRow("x far left") << -100000 << 14 << QRect(0, 0, 80, 30) << true;
        QTest::newRow("x minimum") << INT_MIN << 14 << QRect(0, 0, 80, 30) << false;
        QTest::newRow("x maximum") << INT_MAX << 14 << QRect(0, 0, 80, 30) << false;
        QTest::newRow("baseline minimum") << 2 << INT_MIN << QRect(0, 0, 80, 30) << false;
        QTest::newRow("baseline maximum") << 2 << INT_MAX << QRect(0, 0, 80, 30) << false;
        QTest::newRow("baseline just above") << 2 << -1 << QRect(0, 0, 80, 30) << true;
    }

    void staysInsideClipAndImage()
    {
        QFETCH(int, x);
        QFETCH(int, baseline);
        QFETCH(QRect, clip);
        QFETCH(bool, compareWithQt);
        GridTextPainter painter(pixelFont());
        const QImage bg = patterned(80, 30);
        for (const QString &text : cellTexts()) {
            QImage img = bg;
            QVERIFY(painter.draw(img, x, baseline, text, qRgb(255, 255, 255), clip));
            QVERIFY(unchangedOutside(bg, img, clip.normalized() & bg.rect()));
            if (compareWithQt)
                QVERIFY(sameAsQt(bg, pixelFont(), x, baseline, text, qRgb(255, 255, 255), clip));
        }
    }

    // An image over a buffer whose lines are padded and which is followed by guard bytes:
    // neither the padding nor the guard is touched.
    void keepsToTheImageBuffer()
    {
        const int w = 40, h = 16, bpl = w * 4 + 12;
        std::vector<uchar> buffer(bpl * h + 64, 0xA5);
        const std::vector<uchar> before = buffer;
        QImage img(buffer.data(), w, h, bpl, QImage::Format_RGB32);
        GridTextPainter painter(pixelFont());
        for (const int x : {-5, 0, 20, 35})
            for (const int baseline : {3, 10, 15, 20})
                QVERIFY(painter.draw(img, x, baseline, u"WMÁÇÉjgpq|_ WWWW", qRgb(255, 0, 0),
                                     QRect(-10, -10, 100, 100)));
        bool wrote = false;
        for (int y = 0; y < h; ++y) {
            for (int i = w * 4; i < bpl; ++i)
                QCOMPARE(buffer[y * bpl + i], before[y * bpl + i]);
            wrote = wrote || !std::equal(buffer.begin() + y * bpl, buffer.begin() + y * bpl + w * 4,
                                         before.begin() + y * bpl);
        }
        for (size_t i = size_t(bpl) * h; i < buffer.size(); ++i)
            QCOMPARE(buffer[i], before[i]);
        QVERIFY(wrote);
    }

    // Painters of an equal font share one cache, so a grid opened again renders no glyph twice;
    // the registry keeps only a few fonts.
    void sharesCachesBetweenPainters()
    {
        GridTextPainter a(pixelFont());
        QFont already = pixelFont();
        already.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
        const GridTextPainter b(already);
        QCOMPARE(a.cacheId(), b.cacheId());
        QVERIFY(a.cacheId() != GridTextPainter(pixelFont(true)).cacheId());
        QVERIFY(a.cacheId() != GridTextPainter(pointFont()).cacheId());

        // a still works after its font leaves the registry, and its font comes back as a new cache.
        for (int size = 12; size < 40; ++size) {
            QFont f = pixelFont();
            f.setPixelSize(size);
            QVERIFY(GridTextPainter(f).canDraw(u"x"));
        }
        const GridTextPainter c(pixelFont());
        QVERIFY(c.cacheId() != a.cacheId());
        QCOMPARE(GridTextPainter(pixelFont()).cacheId(), c.cacheId());
        QImage img1 = filled(100, 20, qRgb(255, 255, 255)), img2 = img1;
        QVERIFY(a.draw(img1, 2, 14, u"Não há", qRgb(0, 0, 0), img1.rect()));
        QVERIFY(c.draw(img2, 2, 14, u"Não há", qRgb(0, 0, 0), img2.rect()));
        QCOMPARE(img1, img2);
    }
};

QTEST_MAIN(TestGridText)
#include "tst_gridtext.moc"
