#include "OxHintBalloonShape.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QVector>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace balloon {

namespace {

// Room around the lines: 6 pixels each side, 4 above and below, and the tail's 24.
constexpr int SideRoom = 12;
constexpr int HeightRoom = 32;
// The tail's tip sits this far above the proposed top edge.
constexpr int TipRise = 18;
// Shift to the right when only the balloon's vertical direction flips, so the tail on top
// clears the cursor.
constexpr int BelowShift = 5;
constexpr int TailDepth = 25;
// Corners of a 16 by 16 ellipse: a radius of 7 around the eighth pixel from each edge.
constexpr int CornerRadius = 7;

void plot(QImage &image, int x, int y, QRgb colour)
{
    if (image.rect().contains(x, y))
        reinterpret_cast<QRgb *>(image.scanLine(y))[x] = colour;
}

// A one-pixel outline of a rectangle with round corners, drawn pixel by pixel: the toolkit's
// aliased round rectangles come out lopsided at this size, and the fill that follows needs
// an outline closed to four-way steps.
void roundRectOutline(QImage &image, const QRect &r, QRgb colour)
{
    const int radius = std::max(0, std::min({CornerRadius, (r.width() - 1) / 2, (r.height() - 1) / 2}));
    const int cl = r.left() + radius, cr = r.right() - radius;
    const int ct = r.top() + radius, cb = r.bottom() - radius;
    for (int x = cl; x <= cr; ++x) {
        plot(image, x, r.top(), colour);
        plot(image, x, r.bottom(), colour);
    }
    for (int y = ct; y <= cb; ++y) {
        plot(image, r.left(), y, colour);
        plot(image, r.right(), y, colour);
    }
    // Midpoint circle, one octant mirrored into the four corners.
    int x = 0, y = radius, d = 1 - radius;
    while (x <= y) {
        for (auto [px, py] : {std::pair{x, y}, std::pair{y, x}}) {
            plot(image, cr + px, cb + py, colour);
            plot(image, cl - px, cb + py, colour);
            plot(image, cr + px, ct - py, colour);
            plot(image, cl - px, ct - py, colour);
        }
        if (d < 0) {
            d += 2 * x + 3;
        } else {
            d += 2 * (x - y) + 5;
            --y;
        }
        ++x;
    }
}

} // namespace

QStringList splitLines(const QString &text, QChar separator)
{
    QStringList lines;
    QString rest = text;
    for (qsizetype at; !rest.isEmpty() && (at = rest.indexOf(separator)) >= 0;) {
        lines.append(rest.left(at));
        rest = rest.mid(at + 1);
    }
    lines.append(rest);
    return lines;
}

QSize balloonSize(const QStringList &lines, const AdvanceFn &advance, int lineHeight)
{
    int widest = advance(QStringLiteral("HHH"));
    for (const QString &line : lines)
        widest = std::max(widest, advance(line));
    return {widest + SideRoom, int(lines.size()) * lineHeight + HeightRoom};
}

Placement placeBalloon(QPoint proposed, QSize size, const QRect &desktop)
{
    const int x0 = proposed.x();
    const int y0 = proposed.y();
    Placement p;
    int left = x0;
    int bottom = y0 - TipRise;
    int top = bottom - size.height();
    if (desktop.x() + desktop.width() < x0 + size.width()) {
        left = x0 - size.width();
        p.dx = -1;
    }
    if (top < desktop.y()) {
        top = y0 - TipRise;
        p.dy = -1;
        if (p.dx == 1)
            left += BelowShift;
    }
    p.rect = QRect(left, top, size.width(), size.height());
    return p;
}

Tail tailOf(QSize size, int dx, int dy)
{
    Tail t;
    t.tip = QPoint(dx > 0 ? 0 : size.width(), dy > 0 ? size.height() : 0);
    t.base1 = QPoint(t.tip.x() + 13 * dx, t.tip.y() - TailDepth * dy);
    t.base2 = QPoint(t.tip.x() + 25 * dx, t.base1.y());
    return t;
}

QRect bodyOutline(QSize size, int dy)
{
    if (dy > 0)
        return QRect(QPoint(0, 0), QPoint(size.width() - 1, size.height() - TailDepth));
    return QRect(QPoint(0, TailDepth), QPoint(size.width() - 1, size.height() - 1));
}

int textTop(int dy)
{
    return dy > 0 ? 0 : TailDepth;
}

QImage drawBalloon(const Picture &pic)
{
    QImage image(pic.size, QImage::Format_RGB32);
    image.fill(KeyColour);
    if (pic.size.isEmpty())
        return image;

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor key = QColor::fromRgb(KeyColour);
    // One-pixel lines that include both end points.
    QPen outline(Qt::black, 0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(outline);
    p.setBrush(key);

    const Tail tail = tailOf(pic.size, pic.dx, pic.dy);
    p.drawPolygon(QPolygon({tail.tip, tail.base1, tail.base2}));

    p.end();
    // The body: its inside is already the key colour, and the tail touches it only along
    // the border, so the outline is all there is to draw.
    roundRectOutline(image, bodyOutline(pic.size, pic.dy), qRgb(0, 0, 0));

    // Open the body's border where the tail meets it, up to the pixel next to the tail's far
    // corner, so body and tail are one shape and the fill can start on that pixel.
    const QPoint joint(tail.base2.x() - pic.dx, tail.base2.y());
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    outline.setColor(key);
    p.setPen(outline);
    p.drawLine(tail.base1, joint);
    p.end();

    floodFill(image, joint, pic.fill.rgb());

    p.begin(&image);
    p.setFont(pic.font);
    p.setPen(pic.textColour);
    const QFontMetrics fm(pic.font, &image);
    const int top = textTop(pic.dy) + 4;
    for (int i = 0; i < pic.lines.size(); ++i)
        p.drawText(QPoint(6, top + i * pic.lineHeight + fm.ascent()), pic.lines.at(i));
    return image;
}

void floodFill(QImage &image, QPoint start, QRgb colour)
{
    if (!image.rect().contains(start))
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    const QRgb target = image.pixel(start);
    if (target == colour)
        return;
    const int w = image.width();
    const int h = image.height();
    auto row = [&image](int y) { return reinterpret_cast<QRgb *>(image.scanLine(y)); };

    // Span fill: each entry is a pixel whose whole run along its row is still to be filled.
    QVector<QPoint> pending{start};
    while (!pending.isEmpty()) {
        const QPoint at = pending.takeLast();
        QRgb *line = row(at.y());
        if (line[at.x()] != target)
            continue;
        int left = at.x();
        while (left > 0 && line[left - 1] == target)
            --left;
        int right = at.x();
        while (right + 1 < w && line[right + 1] == target)
            ++right;
        std::fill(line + left, line + right + 1, colour);
        for (int ny : {at.y() - 1, at.y() + 1}) {
            if (ny < 0 || ny >= h)
                continue;
            const QRgb *next = row(ny);
            bool inRun = false;
            for (int x = left; x <= right; ++x) {
                const bool match = next[x] == target;
                if (match && !inRun)
                    pending.append(QPoint(x, ny));
                inRun = match;
            }
        }
    }
}

QRegion balloonRegion(const QImage &picture, int dx, int dy)
{
    QRegion region;
    const QImage img = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB32);
    const int w = img.width();
    const int h = img.height();
    if (w <= 0 || h <= 0)
        return region;
    const QRgb background = (dx > 0 && dy < 0) ? img.pixel(w - 1, 0) : img.pixel(0, 0);
    // What the row scan keeps: the runs of pixels that are not the background, row by row,
    // which gives the bands QRegion wants in order.
    QVector<QRect> kept;
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        int x = 0;
        while (x < w) {
            while (x < w && line[x] == background)
                ++x;
            const int start = x;
            while (x < w && line[x] != background)
                ++x;
            if (x > start)
                kept.append(QRect(start, y, x - start, 1));
        }
    }
    region.setRects(kept.constData(), int(kept.size()));
    return region;
}

bool isDropDownList(const QWidget *w)
{
    if (!w)
        return false;
    const QWidget *win = w->window();
    // A combo box shows its list in this private container window.
    if (QString::fromLatin1(win->metaObject()->className())
            .compare(QLatin1String("QComboBoxPrivateContainer"), Qt::CaseInsensitive) == 0)
        return true;
    // A completer shows its list view itself as the popup window.
    return qobject_cast<const QAbstractItemView *>(win) && (win->windowFlags() & Qt::Popup) == Qt::Popup;
}

} // namespace balloon
