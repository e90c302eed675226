#include "qloadingctrl.h"

#include <QPainter>
#include <QtMath>

QLoadingCtrl::QLoadingCtrl(QWidget* parent) : QWidget(parent)
{
    connect(&timer, &QTimer::timeout, this, &QLoadingCtrl::refresh);
}

void QLoadingCtrl::setColor(const QColor& color)
{
    dotColor = color;
    update();
}

void QLoadingCtrl::setLargestDot(qreal diameter)
{
    largest = diameter;
    update();
}

void QLoadingCtrl::setText(const QString& text)
{
    caption = text;
    update();
}

void QLoadingCtrl::start()
{
    timer.setInterval(IntervalMs);
    timer.start();
}

void QLoadingCtrl::stop()
{
    timer.stop();
}

void QLoadingCtrl::refresh()
{
    ++tick;
    update();
}

int QLoadingCtrl::headPosition() const
{
    // The head walks against the ring's numbering (counter-clockwise on screen) so
    // that the shrinking tail, which follows the numbering, trails behind it.
    return (DotCount - tick % DotCount) % DotCount;
}

qreal QLoadingCtrl::ringRadius() const
{
    const qreal side = qMin(width(), height());
    return side / 2.0 - largest / 2.0 - 1.0;
}

qreal QLoadingCtrl::diameterAt(int position) const
{
    const int rank = ((position - headPosition()) % DotCount + DotCount) % DotCount;
    return largest - rank * (largest - SmallestDot) / (DotCount - 1);
}

QRectF QLoadingCtrl::dotRect(int position) const
{
    const qreal step = 360.0 / DotCount;
    const qreal angle = qDegreesToRadians(-position * step);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const qreal r = ringRadius();
    const QPointF at(centre.x() + r * qCos(angle), centre.y() - r * qSin(angle));
    const qreal d = diameterAt(position);
    return QRectF(at.x() - d / 2.0, at.y() - d / 2.0, d, d);
}

void QLoadingCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dotColor);
    for (int i = 0; i < DotCount; ++i)
        painter.drawEllipse(dotRect(i));
    if (!caption.isEmpty()) {
        QFont font(QStringLiteral("Microsoft YaHei"));
        font.setPixelSize(16);
        painter.setFont(font);
        painter.setPen(dotColor);
        painter.drawText(rect(), Qt::AlignCenter, caption);
    }
}
