#pragma once

// The look every window shares: the designed font, the named colours of the window
// descriptions, toolbar and picture buttons, and the group box whose frame runs through its
// caption. Windows build their controls through these so the look lives in one place.

#include "ButtonGlyphs.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QRect>
#include <QString>

class QGroupBox;
class QPushButton;
class QScrollArea;
class QToolButton;
class QWidget;

namespace winstyle {

// The 16 colours of the classic palette, named as in the window descriptions.
inline const QColor clBlack(0, 0, 0);
inline const QColor clMaroon(128, 0, 0);
inline const QColor clGreen(0, 128, 0);
inline const QColor clOlive(128, 128, 0);
inline const QColor clNavy(0, 0, 128);
inline const QColor clPurple(128, 0, 128);
inline const QColor clTeal(0, 128, 128);
inline const QColor clGray(128, 128, 128);
inline const QColor clSilver(192, 192, 192);
inline const QColor clRed(255, 0, 0);
inline const QColor clLime(0, 255, 0);
inline const QColor clYellow(255, 255, 0);
inline const QColor clBlue(0, 0, 255);
inline const QColor clFuchsia(255, 0, 255);
inline const QColor clAqua(0, 255, 255);
inline const QColor clWhite(255, 255, 255);

// A point size at 96 dpi as whole pixels, rounded as the designer did: 8 pt is 11 pixels,
// 10 pt 13, 14 pt 19.
int pointsToPixels(int points);

// "MS Sans Serif" (Liberation Sans stands in) at the given point size; 8 pt unless stated.
QFont windowFont(bool bold = false, int points = 8);
// The same face at an exact pixel size, for the few captions designed in pixels.
QFont windowFontPixels(int pixels, bool bold = false);

// The text colour of a label, button or group caption (window and button text roles).
void setTextColour(QWidget *w, const QColor &colour);

// A tool button: acts on a click and never takes the focus. Caption beside the picture, or
// the picture alone when the caption is empty.
QToolButton *toolButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, const QIcon &icon, int iconSide = 16);
QToolButton *toolButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, Glyph glyph);

// A push button with a picture; never the dialog's default button by itself.
QPushButton *pushButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, const QIcon &icon, int iconSide = 16);
QPushButton *pushButton(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                        const QString &hint, Glyph glyph);

// A group box drawn in the classic style: the frame runs through the middle of the caption,
// so controls placed 16 pixels down sit inside it.
QGroupBox *groupBox(QWidget *parent, const char *name, const QString &title, const QRect &geometry);

// A designed scroll box: a frame without scroll bars of its own and not a stop in the tab order.
QScrollArea *scrollBox(QWidget *parent, const char *name, const QRect &geometry);
// Its contents widget ("ScrollBoxContents"), exactly the visible area: whatever lies below it is
// cut off and cannot be scrolled to.
QWidget *scrollBoxContents(QScrollArea *box);

} // namespace winstyle
