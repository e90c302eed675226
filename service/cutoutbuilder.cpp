#include "cutoutbuilder.h"

#include "colourmaps.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

using colourmaps::sampleBilinear;
using colourmaps::weightedMean;

cv::Mat CutoutBuilder::compose(const cv::Mat& bgr, const cv::Mat& alpha)
{
    CV_Assert(bgr.type() == CV_8UC3 && (alpha.type() == CV_32F || alpha.type() == CV_8U) && !alpha.empty());
    cv::Mat a8 = alpha;
    if (alpha.type() == CV_32F)
        alpha.convertTo(a8, CV_8U, 255.0);
    if (a8.size() != bgr.size())
        cv::resize(a8, a8, bgr.size(), 0, 0, cv::INTER_LINEAR);

    // Subject and background colour near each pixel, from a small copy.
    const double f = std::min(1.0, double(kColourSide) / std::max(bgr.cols, bgr.rows));
    cv::Mat small = colourmaps::shrink(bgr, f);
    cv::Mat smallAlpha = colourmaps::shrink(a8, small.size());
    small.convertTo(small, CV_32FC3);
    smallAlpha.convertTo(smallAlpha, CV_32F, 1.0 / 255.0);
    cv::Mat fgWeight, bgWeight;
    cv::threshold(smallAlpha, fgWeight, 0.9, 1.0, cv::THRESH_BINARY);
    cv::threshold(smallAlpha, bgWeight, 0.1, 1.0, cv::THRESH_BINARY_INV);
    const int radius = std::max(2, std::max(small.cols, small.rows) / 40);
    cv::Mat fgMean, bgMean;
    const bool haveFg = weightedMean(small, fgWeight, radius, fgMean);
    const bool haveBg = weightedMean(small, bgWeight, radius, bgMean);

    // Transparent pixels near the subject take its colour, for programs that
    // scale the cut-out without premultiplying; the rest are (0, 0, 0, 0).
    cv::Mat near;
    cv::dilate(smallAlpha > 0, near, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(13, 13)));

    cv::Mat out;
    cv::cvtColor(bgr, out, cv::COLOR_BGR2BGRA);
    const float sx = float(small.cols) / float(bgr.cols), sy = float(small.rows) / float(bgr.rows);
    const std::vector<int> nearX = colourmaps::nearestCells(bgr.cols, sx, small.cols);
    cv::parallel_for_(cv::Range(0, bgr.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uchar* a = a8.ptr<uchar>(y);
            auto* o = out.ptr<cv::Vec4b>(y);
            const float fy = colourmaps::toMap(y, sy);
            const uchar* nearRow = near.ptr<uchar>(colourmaps::nearest(fy, small.rows));
            for (int x = 0; x < bgr.cols; ++x) {
                if (a[x] == 0) {
                    const bool show = haveFg && nearRow[nearX[std::size_t(x)]];
                    const cv::Vec3f fg =
                        show ? sampleBilinear(fgMean, colourmaps::toMap(x, sx), fy) : cv::Vec3f();
                    o[x] = {cv::saturate_cast<uchar>(fg[0]), cv::saturate_cast<uchar>(fg[1]),
                            cv::saturate_cast<uchar>(fg[2]), 0};
                    continue;
                }
                o[x][3] = a[x];
                if (a[x] == 255 || !haveBg)
                    continue;
                const float fx = colourmaps::toMap(x, sx);
                const float al = float(a[x]) / 255.0f;
                const cv::Vec3f pixel(o[x][0], o[x][1], o[x][2]);
                // The photo is al * F + (1 - al) * B; solve for F. The solution
                // gets noisy as al falls, so lean on the nearby subject colour there.
                cv::Vec3f fg = (pixel - sampleBilinear(bgMean, fx, fy) * (1.0f - al)) / al;
                if (haveFg) {
                    const float trust = std::min(1.0f, 2.0f * al);
                    fg = fg * trust + sampleBilinear(fgMean, fx, fy) * (1.0f - trust);
                }
                for (int c = 0; c < 3; ++c)
                    o[x][c] = cv::saturate_cast<uchar>(fg[c]);
            }
        }
    });
    return out;
}
