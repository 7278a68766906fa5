#pragma once

// TDRYearCal: the twelve months of one year as a grid of small month calendars, today's date
// marked, and a press turned into a date. It sizes itself from its font and gaps; the geometry
// comes from yearcal:: (YearCalLayout.h). Month and weekday names come from QLocale().

#include "YearCalLayout.h"

#include <QColor>
#include <QDate>
#include <QImage>
#include <QPolygon>
#include <QWidget>

#include <functional>

enum TDRBorder { boNone, boSingle, boRaised, boLowered };

class TDRYearCal : public QWidget
{
    Q_OBJECT
public:
    using TMyMouseEvent = std::function<void(QObject *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                             int x, int y, const QDate &selectedDate)>;
    using TMyNotifyEvent = std::function<void(QObject *sender, const QDate &selectedDate)>;

    explicit TDRYearCal(QWidget *parent = nullptr);
    ~TDRYearCal() override;

    // Enabled, Visible, Font and ShowHint are the widget's own. The font's colour, which Qt
    // fonts do not carry, is the colour of Monday to Friday.
    QColor fontColor() const { return m_fontColor; }
    void setFontColor(const QColor &c);
    QColor color() const { return m_color; }
    void setColor(const QColor &c);
    bool displayYear() const { return m_displayYear; }
    void setDisplayYear(bool on);
    bool ctl3D() const { return m_ctl3D; }
    void setCtl3D(bool on);
    QColor monthColor() const { return m_monthColor; }
    void setMonthColor(const QColor &c);
    QColor saturdayColor() const { return m_saturdayColor; }
    void setSaturdayColor(const QColor &c);
    QColor sundayColor() const { return m_sundayColor; }
    void setSundayColor(const QColor &c);
    QColor weekColor() const { return m_weekColor; }
    void setWeekColor(const QColor &c);
    QColor curDayColor() const { return m_curDayColor; }
    void setCurDayColor(const QColor &c);
    QColor lineColor() const { return m_lineColor; }
    void setLineColor(const QColor &c);
    int numColumns() const { return m_settings.numColumns; }
    void setNumColumns(int value);       // 1, 2, 3, 4, 6; others ignored
    int year() const { return m_year; }
    void setYear(int value);             // below 100: 1900 + value
    int vertDayGap() const { return m_settings.vertDayGap; }
    void setVertDayGap(int value);       // 0..50
    int horzDayGap() const { return m_settings.horzDayGap; }
    void setHorzDayGap(int value);       // 1..255
    int vertMonthGap() const { return m_settings.vertMonthGap; }
    void setVertMonthGap(int value);     // 2..255
    int horzMonthGap() const { return m_settings.horzMonthGap; }
    void setHorzMonthGap(int value);     // 2..255
    bool lines() const { return m_lines; }
    void setLines(bool on);
    TDRBorder border() const { return m_border; }
    void setBorder(TDRBorder b);         // repaints later, not at once

    void setOnMouseDown(TMyMouseEvent f) { m_onMouseDown = std::move(f); }
    void setOnMouseUp(TMyMouseEvent f) { m_onMouseUp = std::move(f); }
    void setOnClick(TMyNotifyEvent f) { m_onClick = std::move(f); }
    void setOnDblClick(TMyNotifyEvent f) { m_onDblClick = std::move(f); }

    // The date under the last press; invalid before the first.
    QDate selectedDate() const { return m_selected; }
    // True while the selection box is drawn.
    bool selectionShown() const { return m_boxShown; }

    // The geometry for the current font and settings.
    yearcal::Metrics metrics() const;
    // The whole picture, as painted.
    QImage picture() const;
    // Immediate repaints so far (the setters' rule: only for accepted, changed values).
    int repaintCount() const { return m_repaints; }

    // The system date by default; tests pin it.
    using Clock = std::function<QDate()>;
    static Clock setClock(Clock clock);  // returns the previous one
    static QDate today();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void changed();       // store done: size, then repaint at once
    void applySize();
    bool selects() const { return m_onMouseDown || m_onClick || m_onDblClick; }
    void press(QMouseEvent *event);
    void toggleBox();

    QColor m_fontColor;
    QColor m_color;
    bool m_displayYear = false;
    bool m_ctl3D = true;
    QColor m_monthColor;
    QColor m_saturdayColor;
    QColor m_sundayColor;
    QColor m_weekColor;
    QColor m_curDayColor;
    QColor m_lineColor;
    yearcal::Settings m_settings;
    int m_year = 1997;
    bool m_lines = true;
    TDRBorder m_border = boLowered;

    TMyMouseEvent m_onMouseDown;
    TMyMouseEvent m_onMouseUp;
    TMyNotifyEvent m_onClick;
    TMyNotifyEvent m_onDblClick;

    QDate m_selected;
    QPolygon m_box;
    bool m_boxShown = false;
    bool m_clickPending = false;
    int m_repaints = 0;
};
