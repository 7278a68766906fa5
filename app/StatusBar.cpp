#include "StatusBar.h"

#include <QMouseEvent>
#include <QPainter>

QList<QRect> statusPanelRects(const QList<int> &widths, const QSize &bar)
{
    QList<QRect> rects;
    int x = 0;
    for (qsizetype i = 0; i < widths.size(); ++i) {
        const bool last = i + 1 == widths.size();
        const int w = last ? std::max(0, bar.width() - x) : std::max(0, widths.at(i));
        rects.append(QRect(x, 0, w, bar.height()));
        x += w;
    }
    return rects;
}

TStatusBar::TStatusBar(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

void TStatusBar::setPanelWidths(const QList<int> &widths)
{
    m_widths = widths;
    while (m_texts.size() < m_widths.size())
        m_texts.append(QString());
    while (m_texts.size() > m_widths.size())
        m_texts.removeLast();
    update();
}

QString TStatusBar::panelText(int index) const
{
    return index >= 0 && index < m_texts.size() ? m_texts.at(index) : QString();
}

void TStatusBar::setPanelText(int index, const QString &text)
{
    if (index < 0 || index >= m_texts.size())
        return;
    m_texts[index] = text;
    update(panelRect(index));
}

QRect TStatusBar::panelRect(int index) const
{
    const QList<QRect> rects = statusPanelRects(m_widths, size());
    return index >= 0 && index < rects.size() ? rects.at(index) : QRect();
}

void TStatusBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QList<QRect> rects = statusPanelRects(m_widths, size());
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    p.setPen(palette().color(QPalette::WindowText));
    for (qsizetype i = 0; i < rects.size(); ++i) {
        // Each panel is sunk, with a two-pixel gap to the next one.
        const QRect r = rects.at(i).adjusted(0, 2, -2, 0);
        if (r.width() <= 0)
            continue;
        p.setPen(shadow);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(light);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r.adjusted(3, 1, -2, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   m_texts.at(i));
    }
}

void TStatusBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}
