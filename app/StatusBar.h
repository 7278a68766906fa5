#pragma once

// A status bar of fixed-width text panels, as the entry window's bottom line. Each panel has
// its width; the last one reaches the right edge whatever its width. A click anywhere on the
// bar is reported.

#include <QList>
#include <QRect>
#include <QStringList>
#include <QWidget>

class QMouseEvent;
class QPaintEvent;

// Where the panels lie in a bar of the given size: one after another from the left, the last
// stretched or cut to end at the right edge.
QList<QRect> statusPanelRects(const QList<int> &widths, const QSize &bar);

class TStatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit TStatusBar(QWidget *parent = nullptr);

    void setPanelWidths(const QList<int> &widths);
    const QList<int> &panelWidths() const { return m_widths; }
    int panelCount() const { return int(m_widths.size()); }
    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);
    QRect panelRect(int index) const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QList<int> m_widths;
    QStringList m_texts;
};
