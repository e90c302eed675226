#pragma once

#include <QImage>

#include <opencv2/core.hpp>

// Hands a QImage's pixels to OpenCV. Stateless; may run on any thread.
//
// Matrices are 8 bits per channel, blue-green-red(-alpha). On little-endian
// machines a CV_8UC4 pixel has the byte layout of a QImage::Format_ARGB32 pixel.
class QImageConvert
{
public:
    QImageConvert() = delete;

    // Indexed8 -> CV_8UC1 (palette ignored); RGB32 / ARGB32 / ARGB32_Premultiplied ->
    // CV_8UC4 without copying or unpremultiplying; RGB888 -> CV_8UC3 (own copy in
    // QBufferRecycler's storage, blue-green-red); other formats give an empty matrix.
    // The shared cases keep the image's pixel buffer alive for as long as the matrix
    // (or any copy of it) lives, so passing a temporary is safe. Writing through the
    // matrix writes into that buffer, which other QImage copies may share: clone
    // before changing it.
    static cv::Mat imageToMat(QImage image);
    // CV_8UC4 -> Format_ARGB32 over the matrix's pixels, keeping the matrix alive as
    // long as the image (or a copy) lives: a 96 MB mask or photo becomes an image
    // without a copy.
    static QImage matToImage(const cv::Mat& bgra);
};
