#include "qcustomshadoweffect.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One running-sum box blur of half width `half` along every row of `src` into
// `dst`; outside the image counts as transparent so the shadow fades at the border.
// Averages are rounded, not truncated: six passes of truncation would erase faint
// shadows.
void boxRows(const uchar* src, uchar* dst, int w, int h, int half)
{
    const int window = 2 * half + 1;
    for (int y = 0; y < h; ++y) {
        const uchar* in = src + y * w;
        uchar* out = dst + y * w;
        int sum = 0;
        for (int x = 0; x <= std::min(half, w - 1); ++x)
            sum += in[x];
        for (int x = 0; x < w; ++x) {
            out[x] = uchar((sum + window / 2) / window);
            if (x + half + 1 < w)
                sum += in[x + half + 1];
            if (x - half >= 0)
                sum -= in[x - half];
        }
    }
}

// The same along columns, walking the rows in order (one running sum per column)
// so the memory is read front to back.
void boxColumns(const uchar* src, uchar* dst, int w, int h, int half, std::vector<int>& sums)
{
    const int window = 2 * half + 1;
    sums.assign(w, 0);
    for (int y = 0; y <= std::min(half, h - 1); ++y)
        for (int x = 0; x < w; ++x)
            sums[x] += src[y * w + x];
    for (int y = 0; y < h; ++y) {
        uchar* out = dst + y * w;
        const uchar* add = y + half + 1 < h ? src + (y + half + 1) * w : nullptr;
        const uchar* drop = y - half >= 0 ? src + (y - half) * w : nullptr;
        for (int x = 0; x < w; ++x) {
            out[x] = uchar((sums[x] + window / 2) / window);
            sums[x] += (add ? add[x] : 0) - (drop ? drop[x] : 0);
        }
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
    std::vector<uchar> alpha(size_t(w) * h);
    std::vector<uchar> scratch(alpha.size());
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            alpha[size_t(y) * w + x] = uchar(qAlpha(line[x]));
    }
    std::vector<int> sums;
    for (int pass = 0; pass < 3; ++pass) {
        boxRows(alpha.data(), scratch.data(), w, h, half);
        boxColumns(scratch.data(), alpha.data(), w, h, half, sums);
    }
    // Colour channels are left as they are: the shadow only uses the alpha.
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = (line[x] & 0x00FFFFFFu) | (QRgb(alpha[size_t(y) * w + x]) << 24);
    }
}

void QCustomShadowEffect::draw(QPainter* painter)
{
    if (m_blurRadius + m_distance <= 0) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap source =
        sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
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
