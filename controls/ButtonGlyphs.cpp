#include "ButtonGlyphs.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace winstyle {

namespace {

// The classic 16-colour palette.
const QColor Black(0, 0, 0);
const QColor Maroon(128, 0, 0);
const QColor Green(0, 128, 0);
const QColor Navy(0, 0, 128);
const QColor Grey(128, 128, 128);
const QColor Silver(192, 192, 192);
const QColor Red(255, 0, 0);
const QColor Lime(0, 255, 0);
const QColor Yellow(255, 255, 0);
const QColor Blue(0, 0, 255);
const QColor Pink(255, 192, 203);
const QColor White(255, 255, 255);

// Pixel painting: rectangles and lines without anti-aliasing.
class Pixels
{
public:
    explicit Pixels(QImage &image) : m_p(&image) { m_p.setRenderHint(QPainter::Antialiasing, false); }
    void rect(int x, int y, int w, int h, const QColor &c) { m_p.fillRect(x, y, w, h, c); }
    void dot(int x, int y, const QColor &c) { m_p.fillRect(x, y, 1, 1, c); }
    void line(int x1, int y1, int x2, int y2, const QColor &c)
    {
        m_p.setPen(c);
        m_p.drawLine(x1, y1, x2, y2);
    }
    void frame(int x, int y, int w, int h, const QColor &c)
    {
        rect(x, y, w, 1, c);
        rect(x, y + h - 1, w, 1, c);
        rect(x, y, 1, h, c);
        rect(x + w - 1, y, 1, h, c);
    }
    void polygon(const QPolygon &points, const QColor &fill, const QColor &outline)
    {
        m_p.setPen(outline);
        m_p.setBrush(fill);
        m_p.drawPolygon(points);
    }

private:
    QPainter m_p;
};

void drawPlus(Pixels &p)
{
    p.rect(6, 2, 4, 12, Navy);
    p.rect(2, 6, 12, 4, Navy);
    p.rect(7, 3, 2, 10, Blue);
    p.rect(3, 7, 10, 2, Blue);
}

void drawSheet(Pixels &p, int x, int y, int w, int h)
{
    p.rect(x, y, w, h, White);
    p.frame(x, y, w, h, Black);
}

// A small pointing or holding hand: white glove outlined in black.
void drawHand(Pixels &p, int x, int y)
{
    p.polygon(QPolygon({QPoint(x, y + 2), QPoint(x + 4, y + 2), QPoint(x + 4, y),
                        QPoint(x + 6, y), QPoint(x + 6, y + 6), QPoint(x + 1, y + 6),
                        QPoint(x, y + 5)}),
              White, Black);
}

void drawWriting(Pixels &p)
{
    drawSheet(p, 1, 1, 10, 13);
    for (int y = 4; y <= 10; y += 2)
        p.line(3, y, 8, y, Grey);
    // The pen, held in the hand below it.
    p.line(13, 2, 7, 10, Navy);
    p.line(14, 3, 8, 11, Blue);
    p.dot(7, 11, Black);
    drawHand(p, 9, 9);
}

void drawCheck(Pixels &p)
{
    const QPolygon mark({QPoint(1, 8), QPoint(4, 5), QPoint(6, 8), QPoint(12, 1), QPoint(15, 4),
                         QPoint(6, 14)});
    p.polygon(mark, Lime, Green);
}

void drawCross(Pixels &p)
{
    for (int i = 0; i < 3; ++i) {
        p.line(2 + i, 2, 13, 13 - i, Red);
        p.line(2, 2 + i, 13 - i, 13, Red);
        p.line(13 - i, 2, 2, 13 - i, Red);
        p.line(13, 2 + i, 2 + i, 13, Red);
    }
    p.line(2, 1, 14, 13, Maroon);
    p.line(14, 1, 2, 13, Maroon);
}

void drawList(Pixels &p)
{
    drawSheet(p, 5, 0, 11, 15);
    for (int y = 3; y <= 12; y += 3) {
        p.rect(7, y, 2, 2, Navy);
        p.line(10, y, 14, y, Black);
    }
    // The hand points from the left at the second line.
    p.polygon(QPolygon({QPoint(0, 5), QPoint(3, 5), QPoint(3, 6), QPoint(8, 6), QPoint(8, 7),
                        QPoint(4, 7), QPoint(4, 10), QPoint(0, 10)}),
              White, Black);
}

void drawDiskette(Pixels &p)
{
    p.rect(1, 1, 14, 14, Navy);
    p.rect(4, 1, 8, 5, Silver);
    p.rect(9, 2, 2, 3, Navy);
    p.rect(3, 8, 10, 7, White);
    p.line(4, 10, 11, 10, Grey);
    p.line(4, 12, 11, 12, Grey);
}

void drawCalendar(Pixels &p)
{
    drawSheet(p, 1, 2, 14, 13);
    p.rect(1, 2, 14, 4, Red);
    p.dot(4, 1, Black);
    p.dot(11, 1, Black);
    p.rect(4, 2, 1, 2, Silver);
    p.rect(11, 2, 1, 2, Silver);
    for (int y = 7; y <= 12; y += 2)
        for (int x = 3; x <= 12; x += 3)
            p.rect(x, y, 2, 1, Navy);
}

void drawPrinter(Pixels &p)
{
    drawSheet(p, 4, 1, 8, 6);
    p.rect(1, 6, 14, 6, Silver);
    p.frame(1, 6, 14, 6, Black);
    p.rect(3, 8, 2, 1, Lime);
    p.rect(3, 11, 10, 4, White);
    p.frame(3, 11, 10, 4, Black);
    p.line(2, 12, 2, 12, Grey);
}

void drawDoor(Pixels &p)
{
    // Frame of the doorway, the door swung open towards the viewer, and the way out.
    p.rect(3, 2, 12, 20, Black);
    p.rect(4, 3, 10, 18, Yellow);
    p.polygon(QPolygon({QPoint(4, 3), QPoint(9, 5), QPoint(9, 23), QPoint(4, 21)}), Maroon, Black);
    p.dot(8, 13, Yellow);
    p.rect(12, 11, 7, 3, Green);
    p.polygon(QPolygon({QPoint(18, 8), QPoint(22, 12), QPoint(18, 16)}), Lime, Green);
    p.rect(12, 12, 7, 1, Lime);
}

void drawEraser(QImage &image)
{
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Black);
    p.setBrush(Pink);
    p.drawPolygon(QPolygon({QPoint(1, 10), QPoint(7, 4), QPoint(11, 8), QPoint(5, 14)}));
    p.setBrush(Blue);
    p.drawPolygon(QPolygon({QPoint(7, 4), QPoint(10, 1), QPoint(14, 5), QPoint(11, 8)}));
    p.setPen(Grey);
    p.drawLine(2, 15, 13, 15);
}

// Drawn pointing left; the right-hand picture is its mirror image.
void drawGlove(QImage &image)
{
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Black);
    p.setBrush(White);
    // The pointing finger, then the fist with its cuff.
    p.drawRect(1, 5, 7, 2);
    p.drawPolygon(QPolygon({QPoint(7, 4), QPoint(12, 4), QPoint(12, 12), QPoint(7, 12), QPoint(6, 10), QPoint(6, 7)}));
    // The curled fingers' knuckles.
    p.drawLine(7, 9, 11, 9);
    p.drawLine(7, 11, 11, 11);
    p.drawPoint(9, 8);
    p.setBrush(Navy);
    p.drawRect(12, 3, 2, 10);
}

void drawTransfer(Pixels &p)
{
    // A written sheet at the top left, an arrow down to the right, a small diskette below.
    drawSheet(p, 0, 0, 7, 9);
    p.line(2, 3, 4, 3, Grey);
    p.line(2, 5, 4, 5, Grey);
    p.rect(8, 3, 3, 2, Green);
    p.polygon(QPolygon({QPoint(11, 1), QPoint(14, 4), QPoint(11, 7)}), Lime, Green);
    p.rect(6, 7, 10, 9, Navy);
    p.rect(8, 7, 6, 3, Silver);
    p.rect(12, 7, 1, 2, Navy);
    p.rect(7, 11, 8, 5, White);
    p.line(8, 13, 13, 13, Grey);
}

void drawReceipt(Pixels &p)
{
    drawSheet(p, 2, 0, 12, 16);
    for (int y = 3; y <= 9; y += 2)
        p.line(4, y, 11, y, Black);
    // The stamp at the foot of the list.
    p.rect(8, 11, 5, 4, Red);
    p.frame(8, 11, 5, 4, Maroon);
}

} // namespace

int glyphSize(Glyph glyph)
{
    return glyph == Glyph::Door ? 24 : 16;
}

QImage glyphImage(Glyph glyph)
{
    const int n = glyphSize(glyph);
    QImage image(n, n, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    // These two paint with outlined shapes of their own.
    if (glyph == Glyph::Eraser) {
        drawEraser(image);
        return image;
    }
    if (glyph == Glyph::HandLeft || glyph == Glyph::HandRight) {
        drawGlove(image);
        return glyph == Glyph::HandRight ? image.mirrored(true, false) : image;
    }
    Pixels p(image);
    switch (glyph) {
    case Glyph::Plus: drawPlus(p); break;
    case Glyph::Writing: drawWriting(p); break;
    case Glyph::Check: drawCheck(p); break;
    case Glyph::Cross: drawCross(p); break;
    case Glyph::List: drawList(p); break;
    case Glyph::Diskette: drawDiskette(p); break;
    case Glyph::Calendar: drawCalendar(p); break;
    case Glyph::Printer: drawPrinter(p); break;
    case Glyph::Door: drawDoor(p); break;
    case Glyph::Eraser: break;
    case Glyph::HandLeft: break;
    case Glyph::HandRight: break;
    case Glyph::Transfer: drawTransfer(p); break;
    case Glyph::Receipt: drawReceipt(p); break;
    }
    return image;
}

bool hasGreyedVariant(Glyph glyph)
{
    switch (glyph) {
    case Glyph::Writing:
    case Glyph::Check:
    case Glyph::Cross:
    case Glyph::List:
    case Glyph::Calendar:
    case Glyph::Receipt:
        return true;
    default:
        return false;
    }
}

QImage greyedImage(const QImage &image)
{
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const QRgb shadow = QColor(Grey).rgb();
    const QRgb light = QColor(White).rgb();
    auto dark = [&](int x, int y) {
        const QRgb c = src.pixel(x, y);
        return qAlpha(c) >= 128 && qGray(c) < 192;
    };
    // Relief first, so the grey shape lies on top of it.
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            if (dark(x, y) && x + 1 < src.width() && y + 1 < src.height())
                out.setPixel(x + 1, y + 1, light);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            if (dark(x, y))
                out.setPixel(x, y, shadow);
    return out;
}

QIcon glyphIcon(Glyph glyph)
{
    const QImage image = glyphImage(glyph);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(image), QIcon::Normal);
    if (hasGreyedVariant(glyph))
        icon.addPixmap(QPixmap::fromImage(greyedImage(image)), QIcon::Disabled);
    return icon;
}

} // namespace winstyle
