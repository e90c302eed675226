#pragma once
// The progress spinner: a ring of dots whose sizes fall from the largest to the
// smallest around the ring, with the largest dot stepping on every timer tick.

#include <QColor>
#include <QRectF>
#include <QTimer>
#include <QWidget>

class QLoadingCtrl : public QWidget
{
    Q_OBJECT

public:
    static constexpr int DotCount = 14;
    static constexpr qreal LargestDot = 24.0;
    static constexpr qreal SmallestDot = 5.0;
    static constexpr int IntervalMs = 100;

    explicit QLoadingCtrl(QWidget* parent = nullptr);

    void setColor(const QColor& color);
    QColor color() const { return dotColor; }
    // The batch tiles use a smaller spinner; LargestDot is the default.
    void setLargestDot(qreal diameter);
    qreal largestDot() const { return largest; }
    void setText(const QString& text);
    QString text() const { return caption; }

    bool isRunning() const { return timer.isActive(); }
    // Number of ticks since construction; the ring position of the largest dot is
    // derived from it.
    int frame() const { return tick; }
    // Ring position (0 = 3 o'clock, increasing clockwise) of the largest dot.
    int headPosition() const;
    // Where dot number `position` of the ring is drawn with the current frame.
    QRectF dotRect(int position) const;
    qreal ringRadius() const;

public slots:
    void start();
    void stop();
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal diameterAt(int position) const;

    QTimer timer;
    QColor dotColor{49, 177, 190, 255};
    QString caption;
    qreal largest = LargestDot;
    int tick = 0;
};
