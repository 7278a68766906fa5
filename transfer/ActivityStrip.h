#pragma once

// The activity indicator of the transfer-file chooser: a sheet of paper flying from one
// folder to another, drawn here in place of the desktop's copy-files clip. It stands still
// until started and plays while the files are copied and opened.

#include <QBasicTimer>
#include <QPointF>
#include <QWidget>

namespace activity {

inline constexpr int FrameCount = 35;
inline constexpr int StillFrame = 34;  // shown while nothing runs

// Where the flying sheet's centre is in frame n, in a strip of the given size: an arc from
// the left folder's mouth to the right one's. The last frame has no sheet in flight.
QPointF sheetCentre(int frame, int width, int height);
bool sheetInFlight(int frame);

} // namespace activity

class TActivityStrip : public QWidget
{
    Q_OBJECT
public:
    explicit TActivityStrip(QWidget *parent = nullptr);

    bool isActive() const { return m_timer.isActive(); }
    int frame() const { return m_frame; }
    // Starting shows the first frame at once; stopping goes back to the still frame.
    void start();
    void stop();

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QBasicTimer m_timer;
    int m_frame = activity::StillFrame;
};
