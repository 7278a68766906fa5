#pragma once

// The balloon hint's shape, computed without any window: the lines of a hint, the balloon's
// size and place on the desktop, its picture and the window region cut from that picture.
// The balloon window only shows what these compute.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace balloon {

// The colour the picture starts in and the region cuts away (clPurple).
inline constexpr QRgb KeyColour = 0xFF800080u;

// Pixel advance of a line of text in the balloon's font.
using AdvanceFn = std::function<int(const QString &)>;

// Cuts the hint at every separator; the text after the last one is the last line, even when
// empty. An empty text is one empty line.
QStringList splitLines(const QString &text, QChar separator);

// Width: the widest of "HHH" and the lines, plus 12; height: one line height per line, plus
// 32 for the margins and the tail.
QSize balloonSize(const QStringList &lines, const AdvanceFn &advance, int lineHeight);

// Where the balloon goes and which way it points. dx +1: to the right of the anchor, tail on
// the left; -1: to the left, tail on the right. dy +1: above the anchor, tail at the bottom;
// -1: below it, tail on top.
struct Placement {
    QRect rect;
    int dx = 1;
    int dy = 1;
    bool operator==(const Placement &) const = default;
};

// proposed: the hint's proposed top-left corner (the cursor's x, and its y plus the cursor's
// height). desktop: the whole virtual desktop, whose right and top edges make it flip.
Placement placeBalloon(QPoint proposed, QSize size, const QRect &desktop);

// The tail: its tip (a corner of the window) and the two ends of its base, which lies on
// the body's border.
struct Tail {
    QPoint tip;
    QPoint base1;   // 13 pixels along from the tip's side
    QPoint base2;   // 25 pixels along
};
Tail tailOf(QSize size, int dx, int dy);

// The body's rounded rectangle as pixels covered by its outline (right and bottom inclusive).
QRect bodyOutline(QSize size, int dy);

// The y of the first line's text box.
int textTop(int dy);

struct Picture {
    QSize size;
    int dx = 1;
    int dy = 1;
    QStringList lines;
    QFont font;
    QColor textColour = Qt::black;
    QColor fill;          // the component's Color
    int lineHeight = 0;   // height of "H" in the font
};

// The balloon on a key-coloured background: black outline, body and tail one shape in fill,
// the lines of text at x 6, y textTop + 4 + i * lineHeight, on the fill colour.
QImage drawBalloon(const Picture &picture);

// Replaces every pixel of the start pixel's colour connected to it through its four
// neighbours. Nothing happens when the start lies outside the image.
void floodFill(QImage &image, QPoint start, QRgb colour);

// The window's region: the whole picture less every pixel of the background colour, which
// is taken at (0, 0), or at (width - 1, 0) when the tail's black tip is at (0, 0).
QRegion balloonRegion(const QImage &picture, int dx, int dy);

// True when w belongs to the popup list of a combo box or of a completer.
bool isDropDownList(const QWidget *w);

} // namespace balloon
