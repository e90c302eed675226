#pragma once
// Encoded pictures and pictures whose header claims a size their data does not
// have, for the suites that read image bytes.

#include <QByteArray>

#include <opencv2/imgcodecs.hpp>

#include <vector>

namespace forged {

inline QByteArray encoded(const cv::Mat& mat, const char* ext, const std::vector<int>& params = {})
{
    std::vector<uchar> buffer;
    cv::imencode(ext, mat, buffer, params);
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), int(buffer.size()));
}

inline void put(QByteArray& bytes, int at, quint32 value, int width, bool bigEndian)
{
    for (int i = 0; i < width; ++i)
        bytes[at + i] = char((value >> (8 * (bigEndian ? width - 1 - i : i))) & 0xFF);
}

// A valid 16 x 16 picture of the given kind with the size fields of its header
// rewritten; decoders would happily produce the claimed picture, filling what the
// data lacks with grey.
inline QByteArray claiming(const char* ext, quint32 width, quint32 height)
{
    QByteArray bytes = encoded(cv::Mat(16, 16, CV_8UC3, cv::Scalar(10, 20, 30)), ext);
    if (QByteArray(ext) == ".png") {
        put(bytes, 16, width, 4, true);
        put(bytes, 20, height, 4, true);
    } else if (QByteArray(ext) == ".bmp") {
        put(bytes, 18, width, 4, false);
        put(bytes, 22, height, 4, false);
    } else { // JPEG: the baseline frame header
        const int sof = bytes.indexOf("\xFF\xC0");
        put(bytes, sof + 5, height, 2, true);
        put(bytes, sof + 7, width, 2, true);
    }
    return bytes;
}

} // namespace forged
