#include "qcustomshadoweffect.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One running-sum box blur of the given half width over a strided line of alpha
// values; edges are treated as transparent so the shadow fades out at the border.
void boxLine(uchar* first, int count, int stride, int half, std::vector<int>& scratch)
{
    scratch.assign(count, 0);
    for (int i = 0; i < count; ++i)
        scratch[i] = first[i * stride];
    const int window = 2 * half + 1;
    int sum = 0;
    for (int i = 0; i <= std::min(half, count - 1); ++i)
        sum += scratch[i];
    for (int i = 0; i < count; ++i) {
        // Rounded, not truncated: six passes of truncation would erase faint shadows.
        first[i * stride] = uchar((sum + window / 2) / window);
        const int add = i + half + 1;
        const int drop = i - half;
        if (add < count)
            sum += scratch[add];
        if (drop >= 0)
            sum -= scratch[drop];
    }
}

} // namespace

QCustomShadowEffect::QCustomShadowEffect(QObject* parent) : QGraphicsEffect(parent) {}

void QCustomShadowEffect::setDistance(double distance)
{
    m_distance = distance;
    updateBoundingRect();
}

void QCustomShadowEffect::setBlurRadius(double radius)
{
    m_blurRadius = radius;
    updateBoundingRect();
}

void QCustomShadowEffect::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QRectF QCustomShadowEffect::boundingRectFor(const QRectF& rect) const
{
    const double d = m_blurRadius + m_distance;
    return rect.united(rect.adjusted(-d, -d, d, d));
}

void QCustomShadowEffect::blurAlpha(QImage& image, double radius)
{
    if (radius <= 0 || image.isNull())
        return;
    Q_ASSERT(image.format() == QImage::Format_ARGB32_Premultiplied);
    // Three box passes of width w approximate a gaussian whose sigma is radius / 2,
    // which is how Qt's own shadow blur reads its radius.
    const double sigma = radius / 2.0;
    const int half = std::max(1, int(std::lround(std::sqrt(sigma * sigma + 1.0))));
    const int w = image.width();
    const int h = image.height();
    const int bpl = image.bytesPerLine();
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    const int alphaByte = 3;
#else
    const int alphaByte = 0;
#endif
    uchar* bits = image.bits();
    std::vector<int> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            boxLine(bits + y * bpl + alphaByte, w, 4, half, scratch);
        for (int x = 0; x < w; ++x)
            boxLine(bits + x * 4 + alphaByte, h, bpl, half, scratch);
    }
}

void QCustomShadowEffect::draw(QPainter* painter)
{
    if (m_blurRadius + m_distance <= 0) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
    if (source.isNull())
        return;

    const QTransform saved = painter->worldTransform();
    painter->setWorldTransform(QTransform());

    const int grow = int(std::lround(2 * m_distance));
    const QSize size(source.width() + grow, source.height() + grow);
    QImage shadow(size, QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter p(&shadow);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawPixmap(QRect(QPoint(int(-m_distance), int(-m_distance)), size), source);
    }
    blurAlpha(shadow, m_blurRadius);
    {
        QPainter p(&shadow);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(shadow.rect(), m_color);
    }
    painter->drawImage(offset, shadow);
    painter->drawPixmap(offset, source);
    painter->setWorldTransform(saved);
}
