#include "qmaskstroke.h"

#include <QPainter>
#include <QPen>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Fixed-point bilinear weights: 8 bits per axis, 16 bits for the product.
constexpr int kWeightBits = 8;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int kRound = 1 << (2 * kWeightBits - 1);

double coreFraction(int hardness)
{
    const int h = std::clamp(hardness, 0, QMaskStroke::kMaxHardness);
    return 0.75 + h / 200.0;
}

void preparePainter(QPainter& painter, bool keep)
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setCompositionMode(keep ? QPainter::CompositionMode_Source : QPainter::CompositionMode_Clear);
}

// Paints `shape` once at full diameter (half strength when the brush is soft) and
// once at the core diameter at full strength.
template <typename Shape> void paintSoft(QImage& display, int diameter, bool keep, int hardness, Shape shape)
{
    const QColor color = keep ? QMaskStroke::keepColor() : QMaskStroke::removeColor();
    QPainter painter(&display);
    preparePainter(painter, keep);
    const double core = diameter * coreFraction(hardness);
    if (core < diameter) {
        painter.setOpacity(0.5);
        if (keep) {
            shape(painter, color, double(diameter));
        } else {
            // Clear ignores the opacity; erasing half the alpha takes DestinationOut
            // with an opaque source.
            painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            shape(painter, QColor(Qt::black), double(diameter));
            painter.setCompositionMode(QPainter::CompositionMode_Clear);
        }
        painter.setOpacity(1.0);
    }
    shape(painter, color, core);
}

struct Tap
{
    int i0 = 0;
    int i1 = 0;
    int w1 = 0; // weight of i1, out of kWeightOne
};

// Bilinear taps for every destination index in [from, to) when `src` pixels are
// stretched over `dst` pixels (pixel centres aligned, edges clamped).
std::vector<Tap> taps(int from, int to, int src, int dst)
{
    std::vector<Tap> out(std::max(0, to - from));
    const double scale = double(src) / dst;
    for (int d = from; d < to; ++d) {
        const double s = std::clamp((d + 0.5) * scale - 0.5, 0.0, double(src - 1));
        Tap& t = out[d - from];
        t.i0 = int(s);
        t.i1 = std::min(t.i0 + 1, src - 1);
        t.w1 = int(std::lround((s - t.i0) * kWeightOne));
    }
    return out;
}

inline int blend(quint32 a, quint32 b, quint32 c, quint32 d, int shift, int wx, int wy)
{
    const int va = (a >> shift) & 0xff, vb = (b >> shift) & 0xff;
    const int vc = (c >> shift) & 0xff, vd = (d >> shift) & 0xff;
    const int top = va * (kWeightOne - wx) + vb * wx;
    const int bottom = vc * (kWeightOne - wx) + vd * wx;
    return (top * (kWeightOne - wy) + bottom * wy + kRound) >> (2 * kWeightBits);
}

// Full-size span covered by display pixels [first, last] (inclusive), widened by
// one display pixel each side because bilinear sampling reaches that far.
std::pair<int, int> coveredSpan(int first, int last, int display, int full)
{
    const double scale = double(full) / display;
    const int lo = int(std::floor((first - 1) * scale));
    const int hi = int(std::ceil((last + 2) * scale));
    return {std::clamp(lo, 0, full), std::clamp(hi, 0, full)};
}

} // namespace

QRect QMaskStroke::paintLine(QImage& display, QPointF from, QPointF to, int diameter, bool keep, int hardness)
{
    paintSoft(display, diameter, keep, hardness, [&](QPainter& p, const QColor& c, double d) {
        p.setPen(QPen(QBrush(c), d, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin));
        p.setBrush(c);
        p.drawLine(from, to);
    });
    const int reach = diameter / 2 + 2;
    return QRectF(from, to).normalized().toAlignedRect().adjusted(-reach, -reach, reach, reach) &
           display.rect();
}

QRect QMaskStroke::paintDisc(QImage& display, QPointF centre, int diameter, bool keep, int hardness)
{
    paintSoft(display, diameter, keep, hardness, [&](QPainter& p, const QColor& c, double d) {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(centre, d / 2, d / 2);
    });
    const int reach = diameter / 2 + 2;
    return QRect(centre.toPoint(), QSize()).adjusted(-reach, -reach, reach, reach) & display.rect();
}

QRect QMaskStroke::applyDisplayMask(QImage& full, const QImage& start, const QImage& display,
                                    QRect displayRect)
{
    const QRect area = displayRect & display.rect();
    if (area.isEmpty() || full.isNull() || start.size() != full.size())
        return QRect();
    const auto [x0, x1] = coveredSpan(area.left(), area.right(), display.width(), full.width());
    const auto [y0, y1] = coveredSpan(area.top(), area.bottom(), display.height(), full.height());
    const std::vector<Tap> cols = taps(x0, x1, display.width(), full.width());
    const std::vector<Tap> rows = taps(y0, y1, display.height(), full.height());

    for (int y = y0; y < y1; ++y) {
        const Tap& ty = rows[y - y0];
        const auto* r0 = reinterpret_cast<const quint32*>(display.constScanLine(ty.i0));
        const auto* r1 = reinterpret_cast<const quint32*>(display.constScanLine(ty.i1));
        const auto* src = reinterpret_cast<const quint32*>(start.constScanLine(y));
        auto* dst = reinterpret_cast<quint32*>(full.scanLine(y));
        for (int x = x0; x < x1; ++x) {
            const Tap& tx = cols[x - x0];
            const quint32 a = r0[tx.i0], b = r0[tx.i1], c = r1[tx.i0], d = r1[tx.i1];
            int blue, alpha;
            if (a == b && a == c && a == d) { // inside a flat area: nothing to blend
                blue = a & 0xff;
                alpha = a >> 24;
            } else {
                blue = blend(a, b, c, d, 0, tx.w1, ty.w1);
                alpha = blend(a, b, c, d, 24, tx.w1, ty.w1);
            }
            if (blue != 0)
                dst[x] = kTagPixel;
            else if (alpha == 0)
                dst[x] = src[x] & 0x00ffffffu;
            else
                dst[x] = src[x];
        }
    }
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

QImage QMaskStroke::scaledMask(const QImage& full, QSize size)
{
    if (full.isNull() || size.isEmpty())
        return QImage();
    const QImage argb = full.convertToFormat(QImage::Format_ARGB32);
    const cv::Mat in(argb.height(), argb.width(), CV_8UC4, const_cast<uchar*>(argb.constBits()),
                     argb.bytesPerLine());
    QImage out(size, QImage::Format_ARGB32);
    cv::Mat dst(out.height(), out.width(), CV_8UC4, out.bits(), out.bytesPerLine());
    cv::resize(in, dst, dst.size(), 0, 0, cv::INTER_AREA);
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void QMaskStroke::refreshDisplay(QImage& display, const QImage& full, QRect fullRect)
{
    const QRect area = fullRect & full.rect();
    if (area.isEmpty() || display.isNull())
        return;
    const double sx = double(display.width()) / full.width();
    const double sy = double(display.height()) / full.height();
    const QRect target =
        QRect(QPoint(int(std::floor(area.left() * sx)) - 1, int(std::floor(area.top() * sy)) - 1),
              QPoint(int(std::ceil((area.right() + 1) * sx)), int(std::ceil((area.bottom() + 1) * sy)))) &
        display.rect();
    const QRect source =
        QRect(QPoint(int(std::floor(target.left() / sx)), int(std::floor(target.top() / sy))),
              QPoint(int(std::ceil((target.right() + 1) / sx)) - 1,
                     int(std::ceil((target.bottom() + 1) / sy)) - 1)) &
        full.rect();
    if (target.isEmpty() || source.isEmpty())
        return;
    const QImage part = scaledMask(full.copy(source), target.size());
    QPainter painter(&display);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(target.topLeft(), part);
}

QImage QMaskStroke::scaledPhoto(const cv::Mat& photo, QSize size)
{
    if (photo.empty() || size.isEmpty() || (photo.type() != CV_8UC3 && photo.type() != CV_8UC4))
        return QImage();
    // Shrink first, then add the alpha channel: converting the small result is
    // cheaper than converting 24 megapixels.
    cv::Mat small;
    cv::resize(photo, small, cv::Size(size.width(), size.height()), 0, 0, cv::INTER_AREA);
    QImage out(size, QImage::Format_RGB32);
    cv::Mat dst(out.height(), out.width(), CV_8UC4, out.bits(), out.bytesPerLine());
    if (small.channels() == 4)
        cv::cvtColor(small, small, cv::COLOR_BGRA2BGR); // the photo's own alpha is not shown
    cv::cvtColor(small, dst, cv::COLOR_BGR2BGRA);
    return out;
}
