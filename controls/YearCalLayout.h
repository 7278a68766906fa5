#pragma once

// The year calendar's geometry, apart from any widget: metrics from the digit size and the
// gaps, where each month and date sits, which date a press hits, and the setters' ranges.
// The widget paints from these; tests check them with exact numbers.

#include <QPolygon>
#include <QRect>
#include <QSize>

namespace yearcal {

// Gaps and columns as the control stores them.
struct Settings
{
    int numColumns = 4;
    int vertDayGap = 0;
    int horzDayGap = 8;
    int vertMonthGap = 8;
    int horzMonthGap = 10;
};

// Everything derived from the digit "0" (dw × dh) and the settings.
struct Metrics
{
    int dw = 0, dh = 0;
    int numColumns = 4;
    int cp = 0;   // day column pitch: 2 dw + HorzDayGap
    int rp = 0;   // text row pitch: dh + VertDayGap
    int mw = 0;   // month block width: 7 cp + HorzMonthGap
    int mh = 0;   // month block height: 8 rp + VertMonthGap
    int gw = 0;   // a month's day grid: 7 cp - HorzDayGap
    int ox = 0, oy = 0;  // half the month gaps
    int sx = 0, sy = 0;  // half of month gap plus day gap
    int rows = 0;        // month rows: 12 / NumColumns
    int width = 0, height = 0;
    int horzDayGap = 0, vertDayGap = 0;
};

Metrics metrics(const Settings &settings, int digitWidth, int digitHeight);

// The digit's size as the designs measured it: the advance rounded, the height in whole
// pixels above and below the baseline. Liberation Sans at 11 pixels (advance 6.11, ascent
// 9.95, descent 2.33) gives 6 by 13, as "MS Sans Serif" 8 pt did.
QSize digitSize(double advance, double ascent, double descent);

// Setter ranges. Each returns true when the value is accepted.
bool acceptsNumColumns(int value);    // 1, 2, 3, 4, 6
bool acceptsVertDayGap(int value);    // 0..50
bool acceptsHorzDayGap(int value);    // 1..255
bool acceptsMonthGap(int value);      // 2..255, both month gaps
// A year below 100 is taken as 1900 + year.
int normalizedYear(int value);

// Gregorian calendar for any year, independent of QDate (which has no year 0).
bool isLeapYear(int year);
int daysInMonth(int year, int month);
// Weekday of a date, Sunday = 0 .. Saturday = 6.
int weekday(int year, int month, int day);

// Top-left of month m (1..12).
QPoint monthOrigin(const Metrics &m, int month);

// A date's cell within its month: day column k (Sunday = 0) and week row j (0..5).
struct Cell
{
    int column = 0;
    int week = 0;
};
Cell dateCell(int year, int month, int day);
// Where date d's text starts: single digits move right by one digit to line up with units.
QPoint datePosition(const Metrics &m, int year, int month, int day);
// Where the weekday letter k (Sunday = 0) of month m starts.
QPoint weekdayPosition(const Metrics &m, int month, int k);
// Where the title texts start: the month name and, with DisplayYear, the year.
// Widths are the texts' pixel widths in the font.
QPoint monthNamePosition(const Metrics &m, int month, int nameWidth, bool displayYear);
QPoint yearPosition(const Metrics &m, int month, int yearWidth);

// Which colour a date takes.
enum class DayColour { Weekday, Sunday, Saturday, Today };
DayColour dayColour(int year, int month, int day, int todayYear, int todayMonth, int todayDay);

// The date under a press, with the raw cell the press fell in.
struct Hit
{
    int monthColumn = 0, monthRow = 0;
    int column = 0, week = 0;  // limited to 0..6 and 0..5
    int month = 1;             // limited to 1..12
    int day = 1;               // limited to 1..month length
};
Hit hitTest(const Metrics &m, int year, int x, int y);

// The selection box around date d's cell.
QPolygon selectionBox(const Metrics &m, int year, int month, int day);

// Separators. Months framed in 3-D: the rectangle of month row r, column c (1-based), with
// exclusive right and bottom as the frame functions take it.
QRect monthFrame(const Metrics &m, int row, int column);
// Flat lines: vertical at x for k = 1..NumColumns-1; horizontal at y for k = 1..rows-1.
int verticalLineX(const Metrics &m, int k);
int horizontalLineY(const Metrics &m, int k);

} // namespace yearcal
