#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRect>

#include <opencv2/core.hpp>

// The pixel work of the brush view, kept apart from the widget so that it runs
// without a window (tests, benchmarks).
//
// Two masks take part. The full-size mask has the photo's size in
// QImage::Format_ARGB32, whose bytes are exactly the B, G, R, A pixels of a
// CV_8UC4 matrix: alpha 0 removed, (0, 0, 255, 100) the service's cut-out,
// (10, 0, 255, 100) kept by the user. The display mask is the same mask scaled to
// the screen in Format_ARGB32_Premultiplied, the format the painter draws fastest;
// strokes are painted on it and later carried over to the full-size mask.
class QMaskStroke
{
public:
    QMaskStroke() = delete;

    static QColor keepColor() { return QColor(255, 0, 10, 100); }
    static QColor removeColor() { return QColor(255, 10, 0, 100); }
    static constexpr quint32 kTagPixel = 0x64FF000Au; // ARGB32 of keepColor()
    static constexpr int kMaxHardness = 50;

    // Hardness (0 to kMaxHardness) softens the edge of the brush: the outer ring of
    // the brush, from (0.75 + hardness / 200) of its diameter outwards, is painted
    // at half strength, so a soft brush shows a graded rim on screen while a brush
    // at kMaxHardness is the plain hard antialiased one. The mask has no partial
    // states, so at full size the rim follows the rule of applyDisplayMask: a Keep
    // rim counts as kept (any tag colour does) while a Remove rim, erased only
    // halfway, leaves the cut-out as it was. A soft brush thus keeps generously and
    // removes conservatively, which is the forgiving choice along hair and fur.
    //
    // A line from `from` to `to` with round caps and the given diameter, painted in
    // the Keep colour (composition Source, the pixels become exactly that colour)
    // or cleared (Remove). Returns the display pixels it may have touched.
    static QRect paintLine(QImage& display, QPointF from, QPointF to, int diameter, bool keep, int hardness);
    // One disc of the given diameter centred on `centre`.
    static QRect paintDisc(QImage& display, QPointF centre, int diameter, bool keep, int hardness);

    // Carries the display mask over to the full-size mask inside the part of the
    // photo that the display rectangle `displayRect` covers: each full-size pixel
    // samples the display mask bilinearly; a sampled blue above 0 makes it the tag
    // pixel, a sampled alpha of 0 makes it removed (start pixel with alpha 0), and
    // anything else gives the start mask's pixel, so untouched service pixels keep
    // their full-resolution outline. Pixels outside the covered part are left
    // alone, which gives the same mask as carrying the whole display mask over
    // whenever only that rectangle changed since the last carry. Returns the
    // full-size rectangle it wrote.
    static QRect applyDisplayMask(QImage& full, const QImage& start, const QImage& display,
                                  QRect displayRect);

    // `full` scaled to `size` (area averaging) in the display format.
    static QImage scaledMask(const QImage& full, QSize size);
    // Redraws the part of `display` that shows the full-size rectangle
    // `fullRect` of `full` (after an undo, redo or magic fill changed only there).
    static void refreshDisplay(QImage& display, const QImage& full, QRect fullRect);
    // A colour (CV_8UC3) or BGRA photo matrix scaled to `size` as an RGB32 image.
    static QImage scaledPhoto(const cv::Mat& photo, QSize size);
};
