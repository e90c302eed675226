#pragma once
// The system frame a frameless window lacks: moving it by its title bar, resizing
// it from every edge and corner with the matching cursor, maximising it by a
// double click on the title bar, and the drop shadow around its visible frame.
// Lives on the GUI thread as a child of the window.

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>

class QMouseEvent;
class QPaintEvent;
class QWidget;

class QFramelessFrame : public QObject
{
    Q_OBJECT

public:
    static constexpr double ShadowBlur = 6.0;

    // window: the top-level widget; titleBar: where a press starts moving it;
    // frame: the visible frame inside the window's transparent margins.
    QFramelessFrame(QWidget* window, QWidget* titleBar, QWidget* frame);

    // Draws the shadow into the margins; the window calls it from its paintEvent.
    void paintShadow(QPaintEvent* event);

signals:
    void signal_title_double_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handleMouse(QObject* watched, QMouseEvent* mouse);

    QWidget* window = nullptr;
    QWidget* titleBar = nullptr;
    QWidget* frame = nullptr;
    QImage shadow; // blurred once per size, see paintShadow
    QRect shadowFrame;
    QPoint dragStart;
    QRect dragStartGeometry;
    int dragEdges = 0;
    bool pressed = false;
};
