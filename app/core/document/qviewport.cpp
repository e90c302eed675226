#include "qviewport.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kSameFactor = 0.000001f;
} // namespace

bool QViewport::setFactor(float factor)
{
    if (std::fabs(factor - m_factor) < kSameFactor)
        return false;
    m_factor = factor;
    return true;
}

float QViewport::zoomIn()
{
    double next = double(m_factor) + kStep;
    if (next > kJumpAbove)
        next = kMaxFactor;
    setFactor(float(next));
    return m_factor;
}

float QViewport::zoomOut()
{
    setFactor(float(std::max(double(m_factor) - kStep, double(kMinFactor))));
    return m_factor;
}

float QViewport::zoomAbout(QPointF widgetPos, bool in)
{
    // The picture point under the cursor stays under it: its distance from the
    // picture's centre grows with the picture.
    const QPointF centre = imageRect().center();
    const double before = std::max(1, shownSize().width());
    if (in)
        zoomIn();
    else
        zoomOut();
    const double grown = shownSize().width() / before;
    const QPointF newCentre = widgetPos - (widgetPos - centre) * grown;
    m_pan += (newCentre - QPointF(imageRect().center())).toPoint();
    return m_factor;
}

QSize QViewport::shownSize() const
{
    if (m_image.isEmpty() || m_widget.isEmpty())
        return QSize();
    const QSize box = m_fit == Fit::Enlarge ? m_widget : m_widget.boundedTo(m_image);
    return m_image.scaled(std::max(1, int(box.width() * m_factor)), std::max(1, int(box.height() * m_factor)),
                          Qt::KeepAspectRatio);
}

QRect QViewport::placed(QSize size) const
{
    return QRect(
        QPoint((m_widget.width() - size.width()) / 2, (m_widget.height() - size.height()) / 2) + m_pan, size);
}

double QViewport::imagePerWidgetPixel() const
{
    const QSize shown = shownSize();
    return shown.isEmpty() ? 1.0 : double(m_image.width()) / shown.width();
}

QPointF QViewport::toImage(QPointF widgetPos) const
{
    return (widgetPos - imageRect().topLeft()) * imagePerWidgetPixel();
}

QPointF QViewport::toWidget(QPointF imagePos) const
{
    return imagePos / imagePerWidgetPixel() + imageRect().topLeft();
}
