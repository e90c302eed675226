#include "qimageconvert.h"

#include "qbufferrecycler.h"

#include <opencv2/imgproc.hpp>

namespace {

// Hands a QImage's pixels to a cv::Mat without copying. The matrix's reference
// count owns a QImage copy, so the buffer lives exactly as long as some matrix
// refers to it, however short-lived the caller's image is.
class SharedImageAllocator : public cv::MatAllocator
{
public:
    cv::UMatData* allocate(int, const int*, int, void*, size_t*, cv::AccessFlag,
                           cv::UMatUsageFlags) const override
    {
        return nullptr; // only adopts buffers, never creates them
    }
    bool allocate(cv::UMatData*, cv::AccessFlag, cv::UMatUsageFlags) const override { return false; }
    void deallocate(cv::UMatData* u) const override
    {
        delete static_cast<QImage*>(u->userdata);
        delete u;
    }
};

cv::Mat wrapImage(const QImage& image, int type)
{
    return cv::Mat(image.height(), image.width(), type, const_cast<uchar*>(image.constBits()),
                   size_t(image.bytesPerLine()));
}

cv::Mat shareImage(const QImage& image, int type)
{
    // Never destroyed: matrices may outlive static destruction.
    static const auto* allocator = new SharedImageAllocator;
    auto* holder = new QImage(image);
    cv::Mat mat = wrapImage(*holder, type);
    auto* u = new cv::UMatData(allocator);
    u->data = u->origdata = mat.data;
    u->size = size_t(holder->sizeInBytes());
    u->userdata = holder;
    u->refcount = 1;
    mat.u = u;
    return mat;
}

} // namespace

cv::Mat QImageConvert::imageToMat(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Indexed8:
        return shareImage(image, CV_8UC1);
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return shareImage(image, CV_8UC4);
    case QImage::Format_RGB888: {
        cv::Mat bgr = QBufferRecycler::createMat(image.height(), image.width(), CV_8UC3);
        cv::cvtColor(wrapImage(image, CV_8UC3), bgr, cv::COLOR_RGB2BGR);
        return bgr;
    }
    default:
        return {};
    }
}

QImage QImageConvert::matToImage(const cv::Mat& bgra)
{
    auto* keep = new cv::Mat(bgra);
    return QImage(
        keep->data, keep->cols, keep->rows, int(keep->step), QImage::Format_ARGB32,
        [](void* mat) { delete static_cast<cv::Mat*>(mat); }, keep);
}
