#include "DRYearCal.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QFontMetrics>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <cmath>

namespace {

TDRYearCal::Clock &clockRef()
{
    static TDRYearCal::Clock clock;
    return clock;
}


// A one-pixel 3-D frame inside r: top and left in tl, right and bottom (the last column and
// row) in br, which also takes the two corners it shares with tl.
void frame3D(QPainter &p, const QRect &r, const QColor &tl, const QColor &br)
{
    p.fillRect(r.left(), r.top(), 1, r.height() - 1, tl);
    p.fillRect(r.left(), r.top(), r.width() - 1, 1, tl);
    p.fillRect(r.right(), r.top(), 1, r.height(), br);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, br);
}

// Stores a new value; false when it is the one already held.
template <class T>
bool store(T &member, const T &value)
{
    if (member == value)
        return false;
    member = value;
    return true;
}

void frameRect(QPainter &p, const QRect &r, const QColor &c)
{
    frame3D(p, r, c, c);
}

} // namespace

TDRYearCal::TDRYearCal(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_fontColor = QColor(0, 0, 0);
    m_color = palette().color(QPalette::Base);  // clWindow
    m_monthColor = QColor(0, 0, 128);
    m_saturdayColor = QColor(0, 0, 0);
    m_sundayColor = QColor(255, 0, 0);
    m_weekColor = QColor(128, 0, 0);
    m_curDayColor = QColor(0, 0, 255);
    m_lineColor = QColor(0, 0, 0);
    resize(100, 100);
    applySize();
}

TDRYearCal::~TDRYearCal() = default;

TDRYearCal::Clock TDRYearCal::setClock(Clock clock)
{
    Clock previous = std::move(clockRef());
    clockRef() = std::move(clock);
    return previous;
}

QDate TDRYearCal::today()
{
    const Clock &c = clockRef();
    return c ? c() : QDate::currentDate();
}

yearcal::Metrics TDRYearCal::metrics() const
{
    const QFontMetricsF fm(font());
    const QSize digit = yearcal::digitSize(fm.horizontalAdvance(QLatin1Char('0')), fm.ascent(), fm.descent());
    return yearcal::metrics(m_settings, digit.width(), digit.height());
}

void TDRYearCal::applySize()
{
    const yearcal::Metrics m = metrics();
    if (size() != QSize(m.width, m.height))
        resize(m.width, m.height);
}

void TDRYearCal::changed()
{
    applySize();
    ++m_repaints;
    repaint();
}

void TDRYearCal::setFontColor(const QColor &v)
{
    if (store(m_fontColor, v))
        changed();
}

void TDRYearCal::setColor(const QColor &v)
{
    if (store(m_color, v))
        changed();
}

void TDRYearCal::setDisplayYear(bool v)
{
    if (store(m_displayYear, v))
        changed();
}

void TDRYearCal::setCtl3D(bool v)
{
    if (store(m_ctl3D, v))
        changed();
}

void TDRYearCal::setMonthColor(const QColor &v)
{
    if (store(m_monthColor, v))
        changed();
}

void TDRYearCal::setSaturdayColor(const QColor &v)
{
    if (store(m_saturdayColor, v))
        changed();
}

void TDRYearCal::setSundayColor(const QColor &v)
{
    if (store(m_sundayColor, v))
        changed();
}

void TDRYearCal::setWeekColor(const QColor &v)
{
    if (store(m_weekColor, v))
        changed();
}

void TDRYearCal::setCurDayColor(const QColor &v)
{
    if (store(m_curDayColor, v))
        changed();
}

void TDRYearCal::setLineColor(const QColor &v)
{
    if (store(m_lineColor, v))
        changed();
}

void TDRYearCal::setLines(bool v)
{
    if (store(m_lines, v))
        changed();
}


void TDRYearCal::setNumColumns(int v)
{
    if (!yearcal::acceptsNumColumns(v) || v == m_settings.numColumns)
        return;
    m_settings.numColumns = v;
    changed();
}

void TDRYearCal::setYear(int v)
{
    v = yearcal::normalizedYear(v);
    if (v == m_year)
        return;
    m_year = v;
    changed();
}

void TDRYearCal::setVertDayGap(int v)
{
    if (!yearcal::acceptsVertDayGap(v) || v == m_settings.vertDayGap)
        return;
    m_settings.vertDayGap = v;
    changed();
}

void TDRYearCal::setHorzDayGap(int v)
{
    if (!yearcal::acceptsHorzDayGap(v) || v == m_settings.horzDayGap)
        return;
    m_settings.horzDayGap = v;
    changed();
}

void TDRYearCal::setVertMonthGap(int v)
{
    if (!yearcal::acceptsMonthGap(v) || v == m_settings.vertMonthGap)
        return;
    m_settings.vertMonthGap = v;
    changed();
}

void TDRYearCal::setHorzMonthGap(int v)
{
    if (!yearcal::acceptsMonthGap(v) || v == m_settings.horzMonthGap)
        return;
    m_settings.horzMonthGap = v;
    changed();
}

void TDRYearCal::setBorder(TDRBorder b)
{
    if (b == m_border)
        return;
    m_border = b;
    update();
}

QImage TDRYearCal::picture() const
{
    using namespace yearcal;
    const Metrics m = metrics();
    QImage img(qMax(m.width, 1), qMax(m.height, 1), QImage::Format_RGB32);
    const QRect all(0, 0, m.width, m.height);
    const QPalette pal = palette();
    const QColor btnHighlight = pal.color(QPalette::Light);
    const QColor btnShadow = pal.color(QPalette::Dark);
    const QColor windowFrame(0, 0, 0);

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Crisp text in exact colours on whole-pixel advances, as the classic desktop drew it.
    QFont f = font();
    f.setStyleStrategy(QFont::NoAntialias);
    f.setHintingPreference(QFont::PreferFullHinting);
    p.setFont(f);
    const QFontMetrics fm(f);
    const QDate now = today();

    p.fillRect(all, m_color);
    switch (m_border) {
    case boSingle: frameRect(p, all, windowFrame); break;
    case boRaised: frame3D(p, all, btnHighlight, btnShadow); break;
    case boLowered: frame3D(p, all, btnShadow, btnHighlight); break;
    case boNone: break;
    }

    if (m_lines) {
        if (m_ctl3D && m_border != boSingle) {
            const bool raised = m_border == boRaised;
            for (int r = 1; r <= m.rows; ++r)
                for (int c = 1; c <= m.numColumns; ++c)
                    frame3D(p, monthFrame(m, r, c), raised ? btnHighlight : btnShadow,
                            raised ? btnShadow : btnHighlight);
            if (m_border == boNone)
                frameRect(p, all, m_color);
        } else {
            for (int k = 1; k <= m.numColumns - 1; ++k)
                p.fillRect(verticalLineX(m, k), 1, 1, m.height - 2, m_lineColor);
            for (int k = 1; k <= m.rows - 1; ++k)
                p.fillRect(1, horizontalLineY(m, k), m.width - 2, 1, m_lineColor);
        }
    }

    const QLocale locale;
    const int ascent = int(std::ceil(QFontMetricsF(f).ascent()));
    auto text = [&](const QPoint &at, const QString &s, const QColor &c) {
        p.setPen(c);
        p.drawText(at.x(), at.y() + ascent, s);
    };
    for (int month = 1; month <= 12; ++month) {
        const QString name = locale.monthName(month, QLocale::LongFormat);
        if (m_displayYear) {
            const QString y = QString::number(m_year);
            text(yearPosition(m, month, fm.horizontalAdvance(y)), y, m_monthColor);
            text(monthNamePosition(m, month, fm.horizontalAdvance(name), true), name, m_monthColor);
        } else {
            text(monthNamePosition(m, month, fm.horizontalAdvance(name), false), name, m_monthColor);
        }
        for (int k = 0; k < 7; ++k) {
            // Qt numbers the weekdays from Monday = 1 to Sunday = 7.
            const QString abbr = locale.dayName(k == 0 ? 7 : k, QLocale::ShortFormat);
            text(weekdayPosition(m, month, k), abbr.left(1), m_weekColor);
        }
        const int length = daysInMonth(m_year, month);
        for (int d = 1; d <= length; ++d) {
            QColor c = m_fontColor;
            switch (dayColour(m_year, month, d, now.year(), now.month(), now.day())) {
            case DayColour::Today: c = m_curDayColor; break;
            case DayColour::Sunday: c = m_sundayColor; break;
            case DayColour::Saturday: c = m_saturdayColor; break;
            case DayColour::Weekday: break;
            }
            text(datePosition(m, m_year, month, d), QString::number(d), c);
        }
    }
    p.end();

    if (m_boxShown && !m_box.isEmpty()) {
        // Exclusive-or with the background colour: drawing it twice restores the picture.
        const QRect box = m_box.boundingRect().adjusted(0, 0, -1, -1).intersected(img.rect());
        const QRgb x = m_color.rgb() & 0x00ffffff;
        for (int yy = box.top(); yy <= box.bottom(); ++yy) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(yy));
            for (int xx = box.left(); xx <= box.right(); ++xx)
                line[xx] ^= x;
        }
    }
    return img;
}

void TDRYearCal::paintEvent(QPaintEvent *)
{
    // The size follows the font and gaps at every paint, whatever was set from outside.
    applySize();
    QPainter p(this);
    p.drawImage(0, 0, picture());
}

void TDRYearCal::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applySize();
}

void TDRYearCal::toggleBox()
{
    m_boxShown = !m_boxShown;
    repaint();
}

void TDRYearCal::press(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (selects()) {
        const yearcal::Metrics m = metrics();
        const yearcal::Hit h = yearcal::hitTest(m, m_year, pos.x(), pos.y());
        m_selected = QDate(m_year, h.month, h.day);
        if (event->button() == Qt::LeftButton) {
            if (!m_boxShown)
                m_box = yearcal::selectionBox(m, m_year, h.month, h.day);
            toggleBox();
        }
    }
    if (m_onMouseDown)
        m_onMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y(), m_selected);
}

void TDRYearCal::mousePressEvent(QMouseEvent *event)
{
    m_clickPending = event->button() == Qt::LeftButton;
    press(event);
}

void TDRYearCal::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click: the double click first, then the press; its
    // release makes no click.
    m_clickPending = false;
    if (event->button() == Qt::LeftButton && m_onDblClick)
        m_onDblClick(this, m_selected);
    press(event);
}

void TDRYearCal::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (selects() && event->button() == Qt::LeftButton && m_boxShown)
        toggleBox();
    if (m_onMouseUp)
        m_onMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y(), m_selected);
    const bool click = m_clickPending && event->button() == Qt::LeftButton && rect().contains(pos);
    m_clickPending = false;
    if (click && m_onClick)
        m_onClick(this, m_selected);
}
