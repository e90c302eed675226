#pragma once

#include <QPoint>
#include <QRect>

#include <opencv2/core.hpp>

// The editor's per-pixel routines on cut-outs, overlays and masks. Stateless;
// every function touches only its arguments and may run on any thread. New
// pictures live in QBufferRecycler's storage, so editing one photo over and over
// reuses the same few buffers.
//
// Matrices are 8 bits per channel, blue-green-red(-alpha). Edit overlay / mask
// pixels (B, G, R, A): (0, 0, 255, 100) the service's cut-out, (10, 0, 255, 100)
// kept by the user, alpha 0 removed.
class QMaskOps
{
public:
    QMaskOps() = delete;

    // Alpha strictly above this counts as subject.
    static constexpr int kSubjectThreshold = 50;

    // The magic brush: floods image (a colour matrix) from seed with 4-connectivity,
    // every pixel within +-tolerance per channel of the seed pixel; the flooded
    // pixels of a copy of overlay become (0, 0, 0, 0) when erase, else the keep
    // colour (10, 0, 255, 100). A seed outside the image, or an overlay that is not
    // CV_8UC4, returns the overlay copy unchanged.
    static cv::Mat floodFillMask(const cv::Mat& image, const cv::Mat& overlay, const QPoint& seed,
                                 int tolerance, bool erase);
    // (0, 0, 255, 100) where the cut-out's alpha is at least 100, else (0, 0, 255, 0).
    static cv::Mat makeRedOverlay(const cv::Mat& cutout);
    // Colour of colour (CV_8UC3) with the alpha of alphaSource (CV_8UC4, at least as
    // large); empty when the types or sizes do not fit.
    static cv::Mat mergeAlpha(const cv::Mat& colour, const cv::Mat& alphaSource);
    // CV_8UC4 -> CV_8UC3.
    static cv::Mat dropAlpha(const cv::Mat& mat);
    // A copy of photo (CV_8UC3) with the colours of after (CV_8UC4) wherever they
    // differ from before's (CV_8UC4): an erase carried over to the photo a brush
    // view keeps strokes from. Sizes that differ give the photo unchanged.
    static cv::Mat takeChanges(const cv::Mat& photo, const cv::Mat& before, const cv::Mat& after);
    // A copy of base (CV_8UC4) changed by mask (CV_8UC4) over the area the mask,
    // image and base share: mask blue != 0 takes the image pixel (alpha 255 for a
    // CV_8UC3 image), mask blue and alpha both 0 clears the alpha, anything else
    // keeps base.
    static cv::Mat applyMask(const cv::Mat& image, const cv::Mat& base, const cv::Mat& mask);
    // Box of the pixels with alpha above kSubjectThreshold, from the first subject
    // row/column to the last one, exclusive of the last (a single pixel gives a
    // 0 x 0 rectangle at it). Without any subject pixel: the whole image. A matrix
    // that is not CV_8UC4 gives a null rectangle.
    static QRect contentRect(const cv::Mat& mat);
};
