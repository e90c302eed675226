#include "qmaskrefine.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

namespace {

// GrabCut's cost grows with the pixels it sees; this long side keeps a refine of a
// 12-megapixel photo within a second while a missed object still has hundreds of
// pixels to be told apart by.
constexpr int kWorkSide = 360;
constexpr int kIterations = 3;
constexpr int kMinMargin = 16;
constexpr double kGuideEps = 1e-3;

// Edge-preserving smoothing of `input` (CV_32F, 0..1) steered by `guide` (CV_32F):
// the outline moves onto the guide's edges.
cv::Mat guidedFilter(const cv::Mat& guide, const cv::Mat& input, int radius)
{
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    const auto mean = [&](const cv::Mat& m) {
        cv::Mat out;
        cv::boxFilter(m, out, CV_32F, box, cv::Point(-1, -1), true, cv::BORDER_REFLECT);
        return out;
    };
    const cv::Mat meanI = mean(guide), meanP = mean(input);
    const cv::Mat varI = mean(guide.mul(guide)) - meanI.mul(meanI);
    const cv::Mat covIP = mean(guide.mul(input)) - meanI.mul(meanP);
    cv::Mat a = covIP / (varI + kGuideEps);
    cv::Mat b = meanP - a.mul(meanI);
    return mean(a).mul(guide) + mean(b);
}

// Pixels of `changed` whose 8-connected component (counted together with the
// stroke pixels) touches `stroke`.
cv::Mat reachedFrom(const cv::Mat& changed, const cv::Mat& stroke)
{
    cv::Mat labels;
    const int count = cv::connectedComponents(changed | stroke, labels, 8, CV_32S);
    std::vector<uchar> touched(size_t(count), 0);
    for (int r = 0; r < labels.rows; ++r) {
        const int* label = labels.ptr<int>(r);
        const uchar* s = stroke.ptr<uchar>(r);
        for (int c = 0; c < labels.cols; ++c)
            if (s[c])
                touched[size_t(label[c])] = 1;
    }
    cv::Mat reached(changed.size(), CV_8UC1);
    for (int r = 0; r < labels.rows; ++r) {
        const int* label = labels.ptr<int>(r);
        const uchar* ch = changed.ptr<uchar>(r);
        uchar* out = reached.ptr<uchar>(r);
        for (int c = 0; c < labels.cols; ++c)
            out[c] = ch[c] && touched[size_t(label[c])] ? 255 : 0;
    }
    return reached;
}

// GrabCut's answer for the region (CV_8UC1, 255 subject), reduced and solved,
// brought back to the region's size and sharpened there; empty when the region
// holds no sample of one side and nothing can be learnt.
cv::Mat solve(const cv::Mat& photo, const cv::Mat& subject, const cv::Mat& keep, const cv::Mat& remove)
{
    const double scale = std::min(1.0, double(kWorkSide) / std::max(photo.cols, photo.rows));
    const cv::Size small(std::max(1, int(photo.cols * scale)), std::max(1, int(photo.rows * scale)));
    cv::Mat smallPhoto, smallSubject, smallKeep, smallRemove;
    cv::resize(photo, smallPhoto, small, 0, 0, cv::INTER_AREA);
    cv::resize(subject, smallSubject, small, 0, 0, cv::INTER_AREA);
    // Area averaging keeps a stroke thinner than a reduced pixel: any share counts.
    cv::resize(keep, smallKeep, small, 0, 0, cv::INTER_AREA);
    cv::resize(remove, smallRemove, small, 0, 0, cv::INTER_AREA);

    cv::Mat labels(small, CV_8UC1, cv::Scalar(cv::GC_PR_BGD));
    labels.setTo(cv::GC_PR_FGD, smallSubject >= 128);
    labels.setTo(cv::GC_FGD, smallKeep > 0);
    labels.setTo(cv::GC_BGD, smallRemove > 0);
    const int foreground = cv::countNonZero(labels & 1);
    if (foreground == 0 || foreground == int(labels.total()))
        return cv::Mat();
    cv::Mat bgdModel, fgdModel;
    try {
        cv::grabCut(smallPhoto, labels, cv::Rect(), bgdModel, fgdModel, kIterations, cv::GC_INIT_WITH_MASK);
    } catch (const cv::Exception&) {
        return cv::Mat(); // too few samples of a side for its colour model
    }

    cv::Mat solved = cv::Mat(labels & 1) * 255;
    cv::Mat soft;
    cv::resize(solved, soft, photo.size(), 0, 0, cv::INTER_LINEAR);
    if (scale >= 1.0)
        return soft;
    // The enlarged outline is a ramp as wide as a reduced pixel; only that band is
    // filtered, so the cost follows the outline, not the area.
    const int radius = std::max(2, int(std::ceil(1.0 / scale)));
    cv::Mat band = (soft > 0) & (soft < 255);
    cv::dilate(band, band,
               cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * radius + 1, 2 * radius + 1)));
    cv::Mat grey, guide, input;
    cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
    grey.convertTo(guide, CV_32F, 1.0 / 255);
    soft.convertTo(input, CV_32F, 1.0 / 255);
    const cv::Mat filtered = guidedFilter(guide, input, radius);
    cv::Mat sharp = soft.clone();
    sharp.setTo(0, band);
    sharp.setTo(255, band & (filtered >= 0.5f));
    return sharp >= 128;
}

} // namespace

cv::Rect QMaskRefine::regionAround(const cv::Rect& strokeBox, cv::Size image)
{
    const int margin = std::max(strokeBox.width, strokeBox.height) / 2 + kMinMargin;
    const cv::Rect grown(strokeBox.x - margin, strokeBox.y - margin, strokeBox.width + 2 * margin,
                         strokeBox.height + 2 * margin);
    return grown & cv::Rect(cv::Point(0, 0), image);
}

QMaskRefine::Result QMaskRefine::refine(const cv::Mat& photo, const cv::Mat& subject, const cv::Mat& strokes)
{
    if (photo.type() != CV_8UC3 || subject.type() != CV_8UC1 || strokes.type() != CV_8UC1 ||
        subject.size() != photo.size() || strokes.size() != photo.size())
        return {};
    const cv::Rect strokeBox = cv::boundingRect(strokes);
    if (strokeBox.empty())
        return {};
    Result result;
    result.region = regionAround(strokeBox, photo.size());
    const cv::Mat part = strokes(result.region);
    const cv::Mat keep = part == KeepStroke, remove = part == RemoveStroke;
    const cv::Mat before = subject(result.region) != 0;

    cv::Mat after = solve(photo(result.region), before, keep, remove);
    if (after.empty())
        after = before.clone();
    after.setTo(255, keep);
    after.setTo(0, remove);
    result.subject = before.clone();
    result.subject.setTo(255, reachedFrom(after & ~before, keep));
    result.subject.setTo(0, reachedFrom(before & ~after, remove));
    return result;
}
