#include "qviewport.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float kSameFactor = 0.000001f;
// A factor this close to a step counts as on it, so float noise never skips a step.
constexpr double kOnStep = 0.001;
} // namespace

float QViewport::factor() const
{
    return m_fitted ? fitFactor() : m_factor;
}

float QViewport::fitFactor() const
{
    if (m_image.isEmpty() || m_widget.isEmpty())
        return 1.0f;
    return float(
        std::min(double(m_widget.width()) / m_image.width(), double(m_widget.height()) / m_image.height()));
}

float QViewport::minFactor() const
{
    return std::min(kMinFactor, fitFactor());
}

float QViewport::maxFactor() const
{
    return std::max({1.0f, fitFactor(), std::min(kMaxFactor, float(kMaxOverFit * fitFactor()))});
}

bool QViewport::setFactor(float factor)
{
    const float clamped = std::clamp(factor, minFactor(), maxFactor());
    if (!m_fitted && std::fabs(clamped - m_factor) < kSameFactor)
        return false;
    m_factor = clamped;
    m_fitted = false;
    return true;
}

float QViewport::zoomIn()
{
    setFactor(float((std::floor(factor() / kStep + kOnStep) + 1.0) * kStep));
    return factor();
}

float QViewport::zoomOut()
{
    setFactor(float((std::ceil(factor() / kStep - kOnStep) - 1.0) * kStep));
    return factor();
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
    return factor();
}

QSize QViewport::shownSize() const
{
    if (m_image.isEmpty() || m_widget.isEmpty())
        return QSize();
    const double f = factor();
    return QSize(std::max(1, int(std::lround(m_image.width() * f))),
                 std::max(1, int(std::lround(m_image.height() * f))));
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
