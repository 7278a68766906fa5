#pragma once

// Geometry of the message dialog, computed without any window so it can be tested plainly.
// All lengths are pixels of the dialog's client area.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace msgdlg {

// The text the label shows: every lineSeparator becomes a carriage return.
QString messageText(const QString &text, QChar lineSeparator);

// The lines of messageText(): every carriage return ends a line. A carriage return followed
// by a line feed counts once, so texts with Windows line ends show no stray character. An
// empty text, or a text ending in a break, still has its last (empty) line.
QStringList messageLines(const QString &text, QChar lineSeparator);

// Pixel advance of a run of text without tabs (normally QFontMetrics::horizontalAdvance).
using AdvanceFn = std::function<int(const QString &)>;

// One run of a line between tabs and the x where it starts.
struct Segment {
    int x = 0;
    QString text;
};

// Cuts a line at its tabs; each tab moves x to the next multiple of tabStop (a tabStop
// of 0 or less makes tabs take no room).
QVector<Segment> lineSegments(const QString &line, const AdvanceFn &advance, int tabStop);
int lineWidth(const QString &line, const AdvanceFn &advance, int tabStop);

// The label's size: the widest line by the number of lines times the line height.
QSize labelSize(const QStringList &lines, const AdvanceFn &advance, int tabStop, int lineHeight);

struct LayoutInput {
    int indent = 14;
    bool showIcon = true;
    QSize labelSize;      // from labelSize()
    int buttonCount = 1;  // number of buttons in the set
    int btnWidth = 75;
    int btnHeight = 25;
    int btnSpace = 15;
};

struct Layout {
    QRect icon;               // null when there is no icon
    QRect label;
    QVector<QRect> buttons;   // in creation order
    QSize client;             // the window's client size
};

inline constexpr int IconSize = 32;

// Places icon, label and button row, and sizes the client area. Arithmetic runs in 64 bits
// and results saturate to +-CoordLimit, so absurd property values cannot overflow.
inline constexpr int CoordLimit = 1 << 28;
Layout computeLayout(const LayoutInput &in);

// Top-left of the window frame: centred on the screen, or at pos.
QPoint windowPosition(bool centre, QPoint pos, QSize frameSize, const QRect &screen);

}  // namespace msgdlg
