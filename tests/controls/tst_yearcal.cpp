// The year calendar: its geometry as plain numbers, then the control's setters, picture and
// mouse handling.

#include "DRYearCal.h"
#include "YearCalLayout.h"

#include <QFontMetricsF>
#include <QtTest>

using namespace yearcal;

namespace {

// The calendar window's configuration.
Settings windowSettings()
{
    return Settings{4, 0, 8, 8, 10};
}

QFont windowFont()
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    return f;
}

// Pixels of colour c inside r.
int count(const QImage &img, const QRect &r, const QColor &c)
{
    int n = 0;
    const QRect in = r.intersected(img.rect());
    for (int y = in.top(); y <= in.bottom(); ++y)
        for (int x = in.left(); x <= in.right(); ++x)
            n += (img.pixel(x, y) & 0xffffff) == (c.rgb() & 0xffffff) ? 1 : 0;
    return n;
}

// The text cell of date d: two digits wide, one row high.
QRect cellRect(const Metrics &m, int year, int month, int day)
{
    QPoint p = datePosition(m, year, month, day);
    if (day <= 9)
        p.rx() -= m.dw;
    return QRect(p, QSize(2 * m.dw, m.dh));
}

QDate pinnedToday;

QRgb at(const QImage &img, int x, int y)
{
    return img.pixel(x, y) & 0xffffff;
}

QRgb rgb(const QColor &c)
{
    return c.rgb() & 0xffffff;
}

} // namespace

class TestYearCal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        TDRYearCal::setClock([] { return pinnedToday; });
    }
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        pinnedToday = QDate(2026, 12, 6);
    }

    void metricsOfTheCalendarWindow()
    {
        const Metrics m = metrics(windowSettings(), 6, 13);
        QCOMPARE(m.cp, 20);
        QCOMPARE(m.rp, 13);
        QCOMPARE(m.mw, 150);
        QCOMPARE(m.mh, 112);
        QCOMPARE(m.gw, 132);
        QCOMPARE(QPoint(m.ox, m.oy), QPoint(5, 4));
        QCOMPARE(QPoint(m.sx, m.sy), QPoint(9, 4));
        QCOMPARE(m.rows, 3);
        QCOMPARE(QSize(m.width, m.height), QSize(596, 336));
    }

    void digitMeasure()
    {
        QCOMPARE(digitSize(6.109375, 9.953125, 2.328125), QSize(6, 13));
        QCOMPARE(digitSize(6.5, 10.0, 3.0), QSize(7, 13));
        QCOMPARE(digitSize(5.4, 10.01, 2.0), QSize(5, 13));
    }

    void columnsAndGapsChangeTheSize()
    {
        Settings s = windowSettings();
        s.numColumns = 6;
        Metrics m = metrics(s, 6, 13);
        QCOMPARE(m.rows, 2);
        QCOMPARE(QSize(m.width, m.height), QSize(6 * 150 - 9 + 5, 2 * 112 - 8 + 8));
        s.numColumns = 1;
        m = metrics(s, 6, 13);
        QCOMPARE(m.rows, 12);
        QCOMPARE(QSize(m.width, m.height), QSize(150 - 9 + 5, 12 * 112));
        s = Settings{3, 5, 1, 2, 2};
        m = metrics(s, 7, 14);
        QCOMPARE(m.cp, 15);
        QCOMPARE(m.rp, 19);
        QCOMPARE(QSize(m.width, m.height), QSize(3 * (7 * 15 + 2) - 1 + 1, 4 * (8 * 19 + 2) - 2 + 2 - 5));
    }

    void setterRanges()
    {
        for (int v : {1, 2, 3, 4, 6})
            QVERIFY(acceptsNumColumns(v));
        for (int v : {0, 5, 7, 12, -1, 255})
            QVERIFY(!acceptsNumColumns(v));
        QVERIFY(acceptsVertDayGap(0) && acceptsVertDayGap(50));
        QVERIFY(!acceptsVertDayGap(51) && !acceptsVertDayGap(-1));
        QVERIFY(acceptsHorzDayGap(1) && acceptsHorzDayGap(255));
        QVERIFY(!acceptsHorzDayGap(0) && !acceptsHorzDayGap(256));
        QVERIFY(acceptsMonthGap(2) && acceptsMonthGap(255));
        QVERIFY(!acceptsMonthGap(1) && !acceptsMonthGap(0) && !acceptsMonthGap(256));
        QCOMPARE(normalizedYear(99), 1999);
        QCOMPARE(normalizedYear(0), 1900);
        QCOMPARE(normalizedYear(100), 100);
        QCOMPARE(normalizedYear(-5), 1895);
        QCOMPARE(normalizedYear(2026), 2026);
    }

    void calendarRules()
    {
        QCOMPARE(daysInMonth(2000, 2), 29);
        QCOMPARE(daysInMonth(1900, 2), 28);
        QCOMPARE(daysInMonth(2100, 2), 28);
        QCOMPARE(daysInMonth(2024, 2), 29);
        QCOMPARE(daysInMonth(2026, 4), 30);
        QCOMPARE(daysInMonth(2026, 12), 31);
        // Against QDate over a span of years, including before the common era's start.
        for (int y : {-401, -1, 1, 100, 1582, 1899, 1900, 1999, 2000, 2026, 2100, 9999})
            for (int mo = 1; mo <= 12; ++mo) {
                // QDate has no year 0: its year -1 is the astronomical year 0.
                const QDate d(y <= 0 ? y - 1 : y, mo, 1);
                QCOMPARE(weekday(y, mo, 1), d.dayOfWeek() % 7);
                QCOMPARE(daysInMonth(y, mo), d.daysInMonth());
            }
        // Year 0 (1900 - 1900 after the year rule) still has weekdays: 1 January of year 0
        // is a Saturday in the proleptic calendar.
        QCOMPARE(weekday(0, 1, 1), 6);
        QCOMPARE(daysInMonth(0, 2), 29);
    }

    void datePlacement()
    {
        const Metrics m = metrics(windowSettings(), 6, 13);
        // January 2022 starts on Saturday and has 31 days: six week rows.
        QCOMPARE(weekday(2022, 1, 1), 6);
        QCOMPARE(dateCell(2022, 1, 1).column, 6);
        QCOMPARE(dateCell(2022, 1, 1).week, 0);
        QCOMPARE(dateCell(2022, 1, 31).column, 1);
        QCOMPARE(dateCell(2022, 1, 31).week, 5);
        // Single digits shift one digit right to line up with the units of two-digit dates.
        QCOMPARE(datePosition(m, 2022, 1, 1), QPoint(5 + 6 * 20 + 6, 4 + 2 * 13));
        QCOMPARE(datePosition(m, 2022, 1, 10), QPoint(5 + 1 * 20, 4 + 4 * 13));
        // Month 7 sits in the second month row, third column.
        QCOMPARE(monthOrigin(m, 7), QPoint(5 + 2 * 150, 4 + 112));
        QCOMPARE(monthOrigin(m, 12), QPoint(5 + 3 * 150, 4 + 2 * 112));
        QCOMPARE(weekdayPosition(m, 1, 0), QPoint(5 + 6, 4 + 13));
        QCOMPARE(weekdayPosition(m, 2, 6), QPoint(155 + 6 + 120, 4 + 13));
        // Titles: centred over the day grid, or the name at the left and the year at the right.
        QCOMPARE(monthNamePosition(m, 2, 40, false), QPoint(155 + (132 - 40) / 2, 4));
        QCOMPARE(monthNamePosition(m, 2, 40, true), QPoint(155, 4));
        QCOMPARE(yearPosition(m, 2, 24), QPoint(155 + 132 - 24, 4));
    }

    void dayColours()
    {
        // 6 December 2026 is a Sunday; as today it takes today's colour.
        QCOMPARE(dayColour(2026, 12, 6, 2026, 12, 6), DayColour::Today);
        QCOMPARE(dayColour(2025, 12, 6, 2026, 12, 6), DayColour::Saturday);
        QCOMPARE(dayColour(2026, 12, 13, 2026, 12, 6), DayColour::Sunday);
        QCOMPARE(dayColour(2026, 12, 12, 2026, 12, 6), DayColour::Saturday);
        QCOMPARE(dayColour(2026, 12, 7, 2026, 12, 6), DayColour::Weekday);
    }

    void hitTests()
    {
        const Metrics m = metrics(windowSettings(), 6, 13);
        // January 2022: 1st on Saturday. A press on the first week's Sunday, before the 1st.
        QPoint p = datePosition(m, 2022, 1, 2);  // Sunday 2 January, week row 1
        Hit h = hitTest(m, 2022, 5 + 2, 4 + 2 * 13 + 3);
        QCOMPARE(h.month, 1);
        QCOMPARE(h.column, 0);
        QCOMPARE(h.week, 0);
        QCOMPARE(h.day, 1);
        // On the 2nd itself.
        h = hitTest(m, 2022, p.x() - 6 + 1, p.y() + 1);
        QCOMPARE(h.day, 2);
        // February 2022 ends on Monday the 28th (week row 4); a press on week row 5 gives the 28th.
        h = hitTest(m, 2022, 155 + 6 * 20 + 2, 4 + 7 * 13 + 2);
        QCOMPARE(h.month, 2);
        QCOMPARE(h.week, 5);
        QCOMPARE(h.day, 28);
        // The title and the weekday letters count as the first week.
        h = hitTest(m, 2022, 155 + 2 * 20 + 2, 5);
        QCOMPARE(h.week, 0);
        QCOMPARE(h.day, 1);  // Tuesday 1 February
        h = hitTest(m, 2022, 155 + 2 * 20 + 2, 4 + 13 + 2);
        QCOMPARE(h.day, 1);

        // The gap of 8 between day columns is split in the middle: in month 1 the text of
        // column 0 spans x 5..16, the gap 17..24, column 1 starts at 25.
        QCOMPARE(hitTest(m, 2026, 16, 40).column, 0);
        const int lastLeft = 5 + 20 - 4 - 1;  // x + HorzDayGap/2 below the next pitch
        QCOMPARE(hitTest(m, 2026, lastLeft, 40).column, 0);
        QCOMPARE(hitTest(m, 2026, lastLeft + 1, 40).column, 1);

        // Rows with a gap of 10 between text rows: split at the middle too.
        Settings s = windowSettings();
        s.vertDayGap = 10;
        const Metrics g = metrics(s, 6, 13);
        QCOMPARE(g.rp, 23);
        // Week row j starts at oy + (j + 2) * rp; with the half-gap shift, the boundary between
        // week 0 and week 1 lies at y = 4 + 3 * 23 - 5.
        const int boundary = 4 + 3 * 23 - 5;
        QCOMPARE(hitTest(g, 2026, 30, boundary - 1).week, 0);
        QCOMPARE(hitTest(g, 2026, 30, boundary).week, 1);

        // Between two month columns: the right edge of January belongs to January.
        QCOMPARE(hitTest(m, 2026, 149 - 4, 60).month, 1);
        QCOMPARE(hitTest(m, 2026, 150 - 4, 60).month, 2);
        // Between two month rows.
        QCOMPARE(hitTest(m, 2026, 30, 111).month, 1);
        QCOMPARE(hitTest(m, 2026, 30, 112).month, 5);
        // The last pixel of the control lies in December.
        const Hit last = hitTest(m, 2026, m.width - 1, m.height - 1);
        QCOMPARE(last.month, 12);
        QCOMPARE(last.column, 6);
        QCOMPARE(last.day, 31);  // past the last date: the last day
    }

    void selectionBoxAroundTheCell()
    {
        const Metrics m = metrics(windowSettings(), 6, 13);
        // 1 January 2022: column 6, week 0 of the first month.
        const QPolygon box = selectionBox(m, 2022, 1, 1);
        const int x = 5 + 6 * 20, y = 4 + 2 * 13;
        QCOMPARE(box, QPolygon({QPoint(x - 1, y), QPoint(x + 13, y), QPoint(x + 13, y + 13), QPoint(x - 1, y + 13)}));
    }

    void separators()
    {
        const Metrics m = metrics(windowSettings(), 6, 13);
        // The first month's frame starts outside the control; the last ones end on its edge.
        QCOMPARE(monthFrame(m, 1, 1), QRect(QPoint(-4, 0), QPoint(145, 111)));
        QCOMPARE(monthFrame(m, 3, 4), QRect(QPoint(446, 224), QPoint(595, 335)));
        QCOMPARE(verticalLineX(m, 1), 146);
        QCOMPARE(horizontalLineY(m, 2), 223);
    }

    // The control itself.

    void initialValues()
    {
        TDRYearCal c;
        QCOMPARE(c.year(), 1997);
        QCOMPARE(c.numColumns(), 4);
        QCOMPARE(c.vertDayGap(), 0);
        QCOMPARE(c.horzDayGap(), 8);
        QCOMPARE(c.vertMonthGap(), 8);
        QCOMPARE(c.horzMonthGap(), 10);
        QVERIFY(!c.displayYear());
        QVERIFY(c.ctl3D());
        QVERIFY(c.lines());
        QCOMPARE(c.border(), boLowered);
        QCOMPARE(c.monthColor(), QColor(0, 0, 128));
        QCOMPARE(c.saturdayColor(), QColor(0, 0, 0));
        QCOMPARE(c.sundayColor(), QColor(255, 0, 0));
        QCOMPARE(c.weekColor(), QColor(128, 0, 0));
        QCOMPARE(c.curDayColor(), QColor(0, 0, 255));
        QCOMPARE(c.lineColor(), QColor(0, 0, 0));
        QCOMPARE(c.fontColor(), QColor(0, 0, 0));
        QVERIFY(!c.selectedDate().isValid());
    }

    void sizeFromTheWindowFont()
    {
        TDRYearCal c;
        c.setFont(windowFont());
        const QFontMetricsF fm(c.font());
        QCOMPARE(digitSize(fm.horizontalAdvance(QLatin1Char('0')), fm.ascent(), fm.descent()), QSize(6, 13));
        QCOMPARE(c.size(), QSize(596, 336));
        // A size given from outside is replaced at the next paint.
        c.resize(50, 50);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        c.repaint();
        QCOMPARE(c.size(), QSize(596, 336));
        c.setNumColumns(6);
        QCOMPARE(c.size(), QSize(896, 224));
        c.setNumColumns(1);
        QCOMPARE(c.size(), QSize(146, 1344));
    }

    void settersIgnoreOutOfRangeAndRepaintOnlyOnChange()
    {
        TDRYearCal c;
        c.setFont(windowFont());
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        int n = c.repaintCount();
        c.setNumColumns(5);
        c.setNumColumns(0);
        c.setNumColumns(4);  // unchanged
        c.setHorzDayGap(0);
        c.setVertDayGap(51);
        c.setVertMonthGap(1);
        c.setHorzMonthGap(1);
        c.setYear(1997);
        c.setYear(97);       // 1997 again
        c.setMonthColor(QColor(0, 0, 128));
        QCOMPARE(c.repaintCount(), n);
        QCOMPARE(c.numColumns(), 4);
        QCOMPARE(c.horzDayGap(), 8);
        QCOMPARE(c.vertDayGap(), 0);
        QCOMPARE(c.vertMonthGap(), 8);
        QCOMPARE(c.horzMonthGap(), 10);

        c.setVertDayGap(50);
        c.setHorzDayGap(1);
        c.setVertMonthGap(2);
        c.setHorzMonthGap(255);
        c.setNumColumns(6);
        c.setYear(99);
        QCOMPARE(c.repaintCount(), n + 6);
        QCOMPARE(c.year(), 1999);
        c.setYear(100);
        c.setYear(c.year() - 1);
        QCOMPARE(c.year(), 1999);
        // The border waits for the next paint.
        n = c.repaintCount();
        c.setBorder(boRaised);
        QCOMPARE(c.repaintCount(), n);
        QCOMPARE(c.border(), boRaised);
    }

    void februaryFollowsEachControlsYear()
    {
        TDRYearCal leap, plain, century;
        for (TDRYearCal *c : {&leap, &plain, &century}) {
            c->setFont(windowFont());
            c->setColor(QColor(255, 255, 255));
        }
        leap.setYear(2000);
        plain.setYear(1900);
        century.setYear(2100);
        const Metrics m = leap.metrics();
        const QImage a = leap.picture();
        const QImage b = plain.picture();
        const QImage c = century.picture();
        // The 29th of February has ink in 2000 only; its cell is in the same place in 1900
        // and 2100 only if the weekday of the 1st agrees, so check each year's own cell.
        QVERIFY(count(a, cellRect(m, 2000, 2, 29), QColor(255, 255, 255)) < 2 * m.dw * m.dh);
        QCOMPARE(count(b, cellRect(m, 1900, 2, 29), QColor(255, 255, 255)), 2 * m.dw * m.dh);
        QCOMPARE(count(c, cellRect(m, 2100, 2, 29), QColor(255, 255, 255)), 2 * m.dw * m.dh);
        QVERIFY(count(b, cellRect(m, 1900, 2, 28), QColor(255, 255, 255)) < 2 * m.dw * m.dh);
    }

    void todayColouredOnlyInTheCurrentYear()
    {
        const QColor fuchsia(255, 0, 255);
        TDRYearCal c;
        c.setFont(windowFont());
        c.setColor(QColor(255, 255, 255));
        c.setCurDayColor(fuchsia);
        c.setYear(2026);
        const Metrics m = c.metrics();
        QImage img = c.picture();
        QVERIFY(count(img, cellRect(m, 2026, 12, 6), fuchsia) > 0);
        QCOMPARE(count(img, img.rect(), fuchsia), count(img, cellRect(m, 2026, 12, 6), fuchsia));
        c.setYear(2025);
        img = c.picture();
        QCOMPARE(count(img, img.rect(), fuchsia), 0);
        // Today is read at every paint.
        pinnedToday = QDate(2025, 3, 3);
        img = c.picture();
        QVERIFY(count(img, cellRect(m, 2025, 3, 3), fuchsia) > 0);
    }

    void framesAndLines()
    {
        TDRYearCal c;
        c.setFont(windowFont());
        const QColor white(255, 255, 255);
        c.setColor(white);
        const QColor shadow = c.palette().color(QPalette::Dark);
        const QColor light = c.palette().color(QPalette::Light);
        QImage img = c.picture();
        // Lowered: shadow at top and left, highlight at bottom and right.
        QCOMPARE(at(img, 0, 50), rgb(shadow));
        QCOMPARE(at(img, 300, 0), rgb(shadow));
        QCOMPARE(at(img, 595, 50), rgb(light));
        QCOMPARE(at(img, 300, 335), rgb(light));
        // Lowered month frames: January's right edge light, February's left edge shadow.
        QCOMPARE(at(img, 145, 50), rgb(light));
        QCOMPARE(at(img, 146, 50), rgb(shadow));
        QCOMPARE(at(img, 50, 111), rgb(light));
        QCOMPARE(at(img, 50, 112), rgb(shadow));

        // Flat lines in LineColor.
        const QColor green(0, 128, 0);
        c.setCtl3D(false);
        c.setLineColor(green);
        img = c.picture();
        QCOMPARE(at(img, 146, 1), rgb(green));
        QCOMPARE(at(img, 146, 334), rgb(green));
        QCOMPARE(at(img, 146, 335), rgb(light));  // the outer frame stays
        QCOMPARE(at(img, 1, 111), rgb(green));
        QCOMPARE(at(img, 594, 223), rgb(green));
        QCOMPARE(count(img, QRect(145, 20, 1, 60), green), 0);

        // No border with 3-D months: the outer edges are hidden in the background colour.
        c.setCtl3D(true);
        c.setBorder(boNone);
        img = c.picture();
        QCOMPARE(at(img, 300, 0), rgb(white));
        QCOMPARE(at(img, 595, 50), rgb(white));
        QCOMPARE(at(img, 146, 50), rgb(shadow));
        // A single border draws flat lines even with 3-D on.
        c.setBorder(boSingle);
        img = c.picture();
        QCOMPARE(at(img, 300, 0), rgb(QColor(0, 0, 0)));
        QCOMPARE(at(img, 146, 50), rgb(green));
    }

    void pressesSelectOnlyWithHandlers()
    {
        TDRYearCal c;
        c.setFont(windowFont());
        c.setYear(2022);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        const QImage before = c.picture();
        const QPoint onTenth = datePosition(c.metrics(), 2022, 1, 10) + QPoint(3, 3);
        QTest::mousePress(&c, Qt::LeftButton, {}, onTenth);
        QVERIFY(!c.selectedDate().isValid());
        QVERIFY(!c.selectionShown());
        QCOMPARE(c.picture(), before);
        QTest::mouseRelease(&c, Qt::LeftButton, {}, onTenth);

        QList<QDate> clicks;
        QList<QString> order;
        c.setOnClick([&](QObject *sender, const QDate &d) {
            QCOMPARE(sender, &c);
            clicks << d;
            order << QStringLiteral("click");
        });
        QTest::mousePress(&c, Qt::LeftButton, {}, onTenth);
        QCOMPARE(c.selectedDate(), QDate(2022, 1, 10));
        QVERIFY(c.selectionShown());
        const QImage boxed = c.picture();
        const QRect cell = cellRect(c.metrics(), 2022, 1, 10);
        QVERIFY(boxed != before);
        // Only the box changed; the box is the inverse of the background there.
        for (int y = 0; y < before.height(); ++y)
            for (int x = 0; x < before.width(); ++x) {
                const bool inBox = QRect(cell.left() - 1, cell.top(), cell.width() + 2, cell.height()).contains(x, y);
                if (!inBox)
                    QCOMPARE(boxed.pixel(x, y), before.pixel(x, y));
                else
                    QCOMPARE(boxed.pixel(x, y) & 0xffffff, (before.pixel(x, y) ^ c.color().rgb()) & 0xffffff);
            }
        QTest::mouseRelease(&c, Qt::LeftButton, {}, onTenth);
        QVERIFY(!c.selectionShown());
        QCOMPARE(c.picture(), before);
        QCOMPARE(clicks, QList<QDate>{QDate(2022, 1, 10)});

        // Mouse down and up report the position, the button and the date of the press.
        QList<QString> events;
        c.setOnMouseDown([&](QObject *, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y, const QDate &d) {
            events << QStringLiteral("down %1 %2,%3 %4").arg(int(b)).arg(x).arg(y).arg(d.toString(Qt::ISODate));
        });
        c.setOnMouseUp([&](QObject *, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y, const QDate &d) {
            events << QStringLiteral("up %1 %2,%3 %4").arg(int(b)).arg(x).arg(y).arg(d.toString(Qt::ISODate));
        });
        // A right press selects but draws no box; its release makes no click.
        const QPoint beforeFirst(5 + 2, 4 + 2 * 13 + 2);
        QTest::mousePress(&c, Qt::RightButton, {}, beforeFirst);
        QVERIFY(!c.selectionShown());
        // The release reports the press's date even when it happens elsewhere.
        QTest::mouseRelease(&c, Qt::RightButton, {}, onTenth);
        QCOMPARE(events, (QList<QString>{QStringLiteral("down 2 7,32 2022-01-01"),
                                         QStringLiteral("up 2 %1,%2 2022-01-01").arg(onTenth.x()).arg(onTenth.y())}));
        QCOMPARE(clicks.size(), 1);
    }

    void doubleClickOrder()
    {
        TDRYearCal c;
        c.setFont(windowFont());
        c.setYear(2026);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        QStringList order;
        c.setOnMouseDown([&](QObject *, Qt::MouseButton, Qt::KeyboardModifiers, int, int, const QDate &d) {
            order << QStringLiteral("down ") + d.toString(Qt::ISODate);
        });
        c.setOnMouseUp([&](QObject *, Qt::MouseButton, Qt::KeyboardModifiers, int, int, const QDate &) {
            order << QStringLiteral("up");
        });
        c.setOnClick([&](QObject *, const QDate &) { order << QStringLiteral("click"); });
        c.setOnDblClick([&](QObject *, const QDate &d) { order << QStringLiteral("dbl ") + d.toString(Qt::ISODate); });
        // 25 December 2026: a Friday, week row 3 of the last month.
        const QPoint at = datePosition(c.metrics(), 2026, 12, 25) + QPoint(2, 2);
        // What the platform sends for a double click: press, release, double click, release.
        QTest::mousePress(&c, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&c, Qt::LeftButton, {}, at);
        QTest::mouseDClick(&c, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&c, Qt::LeftButton, {}, at);
        QCOMPARE(order, (QStringList{"down 2026-12-25", "up", "click", "dbl 2026-12-25", "down 2026-12-25", "up"}));
        // Every press drew the box and every release took it away again.
        QVERIFY(!c.selectionShown());
    }
};

QTEST_MAIN(TestYearCal)
#include "tst_yearcal.moc"
