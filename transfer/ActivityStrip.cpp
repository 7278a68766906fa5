#include "ActivityStrip.h"

#include "WindowStyle.h"

#include <QPainter>
#include <QTimerEvent>

#include <cmath>

using namespace winstyle;

namespace activity {

namespace {
constexpr int FolderWidth = 40;
constexpr int FolderHeight = 30;
constexpr int Margin = 20;
} // namespace

bool sheetInFlight(int frame)
{
    return frame >= 0 && frame < StillFrame;
}

QPointF sheetCentre(int frame, int width, int height)
{
    const double t = double(std::clamp(frame, 0, StillFrame - 1)) / (StillFrame - 1);
    const double x0 = Margin + FolderWidth / 2.0;
    const double x1 = width - Margin - FolderWidth / 2.0;
    const double base = height - FolderHeight;
    const double lift = base - 6;
    return {x0 + (x1 - x0) * t, base - lift * std::sin(M_PI * t)};
}

} // namespace activity

TActivityStrip::TActivityStrip(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void TActivityStrip::start()
{
    m_frame = 0;
    m_timer.start(40, this);
    repaint();
}

void TActivityStrip::stop()
{
    m_timer.stop();
    m_frame = activity::StillFrame;
    update();
}

void TActivityStrip::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_frame = (m_frame + 1) % activity::StillFrame;
    update();
}

void TActivityStrip::paintEvent(QPaintEvent *)
{
    using namespace activity;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int h = height();
    auto folder = [&](int x, bool open) {
        const int y = h - FolderHeight - 2;
        p.setPen(clBlack);
        p.setBrush(clYellow);
        p.drawRect(x, y + 4, FolderWidth, FolderHeight - 4);
        p.drawRect(x, y, FolderWidth / 3, 4);
        if (open) {
            p.setBrush(clOlive);
            p.drawPolygon(QPolygon({QPoint(x, y + 4), QPoint(x + 6, y + 12), QPoint(x + FolderWidth + 6, y + 12),
                                    QPoint(x + FolderWidth, y + 4)}));
        }
    };
    folder(Margin, true);
    folder(width() - Margin - FolderWidth, true);
    if (sheetInFlight(m_frame)) {
        const QPointF c = sheetCentre(m_frame, width(), h);
        const QRect sheet(int(c.x()) - 6, int(c.y()) - 8, 12, 16);
        p.setPen(clBlack);
        p.setBrush(clWhite);
        p.drawRect(sheet);
        p.setPen(clGray);
        for (int y = sheet.top() + 4; y < sheet.bottom() - 2; y += 3)
            p.drawLine(sheet.left() + 2, y, sheet.right() - 2, y);
    }
}
