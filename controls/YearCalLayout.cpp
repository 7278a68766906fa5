#include "YearCalLayout.h"

#include <algorithm>
#include <cmath>

namespace yearcal {

Metrics metrics(const Settings &s, int digitWidth, int digitHeight)
{
    Metrics m;
    m.dw = digitWidth;
    m.dh = digitHeight;
    m.numColumns = s.numColumns > 0 ? s.numColumns : 1;
    m.horzDayGap = s.horzDayGap;
    m.vertDayGap = s.vertDayGap;
    m.cp = 2 * digitWidth + s.horzDayGap;
    m.rp = digitHeight + s.vertDayGap;
    m.mw = 7 * m.cp + s.horzMonthGap;
    m.mh = 8 * m.rp + s.vertMonthGap;
    m.gw = 7 * m.cp - s.horzDayGap;
    m.ox = s.horzMonthGap / 2;
    m.oy = s.vertMonthGap / 2;
    m.sx = (s.horzMonthGap + s.horzDayGap) / 2;
    m.sy = (s.vertMonthGap + s.vertDayGap) / 2;
    m.rows = 12 / m.numColumns;
    m.height = m.rows * m.mh - s.vertMonthGap + 2 * m.oy - s.vertDayGap;
    m.width = m.numColumns * m.mw - m.sx + m.ox;
    return m;
}

QSize digitSize(double advance, double ascent, double descent)
{
    return QSize(qRound(advance), int(std::ceil(ascent)) + int(std::ceil(descent)));
}

bool acceptsNumColumns(int v)
{
    return v == 1 || v == 2 || v == 3 || v == 4 || v == 6;
}

bool acceptsVertDayGap(int v)
{
    return v >= 0 && v <= 50;
}

bool acceptsHorzDayGap(int v)
{
    return v >= 1 && v <= 255;
}

bool acceptsMonthGap(int v)
{
    return v >= 2 && v <= 255;
}

int normalizedYear(int v)
{
    return v < 100 ? v + 1900 : v;
}

bool isLeapYear(int year)
{
    const long long y = year;
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

int daysInMonth(int year, int month)
{
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    if (month == 2)
        return isLeapYear(year) ? 29 : 28;
    return lengths[month - 1];
}

int weekday(int year, int month, int day)
{
    // Sakamoto's method on the proleptic Gregorian calendar, in 64 bits so any int year works.
    static const int t[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    long long y = year;
    if (month < 3)
        y -= 1;
    auto floorDiv = [](long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const long long w = y + floorDiv(y, 4) - floorDiv(y, 100) + floorDiv(y, 400) + t[month - 1] + day;
    return int(((w % 7) + 7) % 7);
}

QPoint monthOrigin(const Metrics &m, int month)
{
    return {m.ox + ((month - 1) % m.numColumns) * m.mw, m.oy + ((month - 1) / m.numColumns) * m.mh};
}

Cell dateCell(int year, int month, int day)
{
    const int n = day - 1 + weekday(year, month, 1);
    return {n % 7, n / 7};
}

QPoint datePosition(const Metrics &m, int year, int month, int day)
{
    const QPoint o = monthOrigin(m, month);
    const Cell c = dateCell(year, month, day);
    return {o.x() + c.column * m.cp + (day <= 9 ? m.dw : 0), o.y() + (c.week + 2) * m.rp};
}

QPoint weekdayPosition(const Metrics &m, int month, int k)
{
    const QPoint o = monthOrigin(m, month);
    return {o.x() + m.dw + k * m.cp, o.y() + m.rp};
}

QPoint monthNamePosition(const Metrics &m, int month, int nameWidth, bool displayYear)
{
    const QPoint o = monthOrigin(m, month);
    return {displayYear ? o.x() : o.x() + (m.gw - nameWidth) / 2, o.y()};
}

QPoint yearPosition(const Metrics &m, int month, int yearWidth)
{
    const QPoint o = monthOrigin(m, month);
    return {o.x() + m.gw - yearWidth, o.y()};
}

DayColour dayColour(int year, int month, int day, int todayYear, int todayMonth, int todayDay)
{
    if (year == todayYear && month == todayMonth && day == todayDay)
        return DayColour::Today;
    const int column = dateCell(year, month, day).column;
    if (column == 0)
        return DayColour::Sunday;
    if (column == 6)
        return DayColour::Saturday;
    return DayColour::Weekday;
}

Hit hitTest(const Metrics &m, int year, int x, int y)
{
    Hit h;
    // The gap between two day columns or text rows is split in the middle: shifting by half
    // the gap puts each boundary on a pitch multiple. Division truncates toward zero.
    const int sx = x + m.horzDayGap / 2;
    h.monthColumn = m.mw > 0 ? sx / m.mw : 0;
    const int restX = m.mw > 0 ? sx % m.mw : 0;
    h.column = std::clamp(m.cp > 0 ? (restX - m.ox) / m.cp : 0, 0, 6);
    const int sy = y + m.vertDayGap / 2;
    h.monthRow = m.mh > 0 ? sy / m.mh : 0;
    const int restY = m.mh > 0 ? sy % m.mh : 0;
    // A press on the title or the weekday letters counts as the first week.
    h.week = std::clamp((m.rp > 0 ? (restY - m.oy) / m.rp : 0) - 2, 0, 5);
    h.month = std::clamp(m.numColumns * h.monthRow + h.monthColumn + 1, 1, 12);
    const int s = weekday(year, h.month, 1);
    h.day = std::clamp(h.column + 7 * h.week + 1 - s, 1, daysInMonth(year, h.month));
    return h;
}

QPolygon selectionBox(const Metrics &m, int year, int month, int day)
{
    const Cell c = dateCell(year, month, day);
    const int x = m.ox + ((month - 1) % m.numColumns) * m.mw + c.column * m.cp;
    const int y = m.oy + ((month - 1) / m.numColumns) * m.mh + (c.week + 2) * m.rp;
    return QPolygon({QPoint(x - 1, y), QPoint(x + 2 * m.dw + 1, y), QPoint(x + 2 * m.dw + 1, y + m.dh),
                     QPoint(x - 1, y + m.dh)});
}

QRect monthFrame(const Metrics &m, int row, int column)
{
    const int left = (column - 1) * m.mw - m.sx + m.ox;
    const int top = (row - 1) * m.mh - m.sy + m.oy;
    const int right = column * m.mw - m.sx + m.ox;
    const int bottom = row * m.mh - m.sy + m.oy;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

int verticalLineX(const Metrics &m, int k)
{
    return k * m.mw - m.sx + m.ox;
}

int horizontalLineY(const Metrics &m, int k)
{
    return k * m.mh - m.sy + m.oy - 1;
}

} // namespace yearcal
