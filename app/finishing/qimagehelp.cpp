#include "qimagehelp.h"

#include "logger.h"
#include "qimageheader.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QVector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>

// The 32-bit routines read a BGRA pixel as one little-endian word: B in the low
// byte, alpha in the high byte, the same layout QImage::Format_ARGB32 has.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "BGRA pixels are read as little-endian words");

namespace {

constexpr quint32 bgra(quint32 b, quint32 g, quint32 r, quint32 a)
{
    return b | (g << 8) | (r << 16) | (a << 24);
}

constexpr quint32 kOverlayShown = bgra(0, 0, 255, 100);
constexpr quint32 kOverlayHidden = bgra(0, 0, 255, 0);
constexpr int kOverlayAlphaFrom = 100;
const cv::Scalar kKeepColour(10, 0, 255, 100);
const cv::Scalar kEraseColour(0, 0, 0, 0);

// A photo file larger than this is not read into memory at all.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

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

const QVector<QRgb>& greyTable()
{
    static const QVector<QRgb> table = [] {
        QVector<QRgb> t(256);
        for (int i = 0; i < 256; ++i)
            t[i] = qRgb(i, i, i);
        return t;
    }();
    return table;
}

bool readWholeFile(const QString& path, std::vector<uchar>* bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= 0 || size > kMaxFileBytes)
        return false;
    bytes->resize(size_t(size));
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(reinterpret_cast<char*>(bytes->data()) + done, size - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Decodes only what the header check lets through, so a forged or cut-off header
// never reaches the decoder's allocation; anything the decoder still rejects gives
// an empty matrix instead of an exception.
cv::Mat decode(const uchar* data, size_t size, int flags)
{
    if (!QImageHeader::acceptable(data, size))
        return {};
    cv::Mat image;
    try {
        image = cv::imdecode(cv::Mat(1, int(size), CV_8UC1, const_cast<uchar*>(data)), flags);
    } catch (const cv::Exception&) {
        return {};
    }
    if (image.empty() || image.depth() == CV_8U)
        return image;
    if (image.depth() != CV_16U) // floating-point TIFFs and the like: not a photo
        return {};
    cv::Mat eightBit;
    image.convertTo(eightBit, CV_8U, 1.0 / 257.0);
    return eightBit;
}

void saveMat(const std::string& ext, const QString& path, const cv::Mat& mat)
{
    QByteArray bytes;
    if (QImageHelp::encodeImage(mat, ext, {}, &bytes))
        QImageHelp::writeFileAtomically(path, bytes);
}

cv::Mat percentTable()
{
    cv::Mat table(1, 256, CV_8UC4);
    for (int v = 0; v < 256; ++v) {
        // v * 2.55 in integers: the double 2.55 is slightly low and would give 254 for 100.
        const auto scaled = uchar((v * 255 / 100) & 0xFF);
        table.at<cv::Vec4b>(0, v) = cv::Vec4b(scaled, scaled, scaled, uchar(v));
    }
    return table;
}

} // namespace

QImage QImageHelp::matToImage(const cv::Mat& mat)
{
    QImage::Format format = QImage::Format_Invalid;
    switch (mat.type()) {
    case CV_8UC1: format = QImage::Format_Indexed8; break;
    case CV_8UC3: format = QImage::Format_RGB888; break;
    case CV_8UC4: format = QImage::Format_ARGB32; break;
    default: return {};
    }
    if (mat.empty() || mat.dims != 2)
        return {};
    QImage image(mat.cols, mat.rows, format);
    if (image.isNull())
        return {};
    cv::Mat target(image.height(), image.width(), mat.type(), image.bits(),
                   size_t(image.bytesPerLine()));
    if (mat.type() == CV_8UC3)
        cv::cvtColor(mat, target, cv::COLOR_BGR2RGB);
    else
        mat.copyTo(target);
    if (format == QImage::Format_Indexed8)
        image.setColorTable(greyTable());
    return image;
}

cv::Mat QImageHelp::imageToMat(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Indexed8:
        return shareImage(image, CV_8UC1);
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return shareImage(image, CV_8UC4);
    case QImage::Format_RGB888: {
        cv::Mat bgr;
        cv::cvtColor(wrapImage(image, CV_8UC3), bgr, cv::COLOR_RGB2BGR);
        return bgr;
    }
    default:
        return {};
    }
}

cv::Mat QImageHelp::readImageFile(const QString& path)
{
    std::vector<uchar> bytes;
    if (!readWholeFile(path, &bytes))
        return {};
    return decode(bytes.data(), bytes.size(), cv::IMREAD_COLOR);
}

cv::Mat QImageHelp::decodeImageBytes(const QByteArray& bytes)
{
    return decode(reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size()),
                  cv::IMREAD_UNCHANGED);
}

void QImageHelp::saveImageFile(const std::string& ext, const QString& path, const QImage& image)
{
    saveMat(ext, path, imageToMat(image));
}

void QImageHelp::saveImageFileResized(const std::string& ext, const QString& path, const QSize& size,
                                      const QImage& image)
{
    const cv::Mat mat = imageToMat(image);
    if (mat.empty() || size.isEmpty())
        return;
    cv::Mat resized;
    cv::resize(mat, resized, cv::Size(size.width(), size.height()), 0, 0, cv::INTER_LINEAR);
    saveMat(ext, path, resized);
}

bool QImageHelp::encodeImage(const cv::Mat& mat, const std::string& ext, std::vector<int> params,
                             QByteArray* out)
{
    if (mat.empty() || !out)
        return false;
    // Settings store the format without the dot ("png"); the encoder wants ".png".
    const std::string dotted = !ext.empty() && ext[0] == '.' ? ext : "." + ext;
    std::vector<uchar> buffer;
    try {
        if (!cv::imencode(dotted, mat, buffer, params))
            return false;
    } catch (const cv::Exception&) {
        return false;
    }
    if (buffer.size() > size_t(INT_MAX))
        return false;
    *out = QByteArray(reinterpret_cast<const char*>(buffer.data()), int(buffer.size()));
    return true;
}

bool QImageHelp::writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    // QSaveFile writes beside the target and renames on commit; a failed write or
    // commit removes the temporary file and leaves the target as it was.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = tr("Could not save \"%1\": %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

cv::Mat QImageHelp::floodFillMask(const cv::Mat& image, const cv::Mat& overlay, const QPoint& seed,
                                  int tolerance, bool erase)
{
    cv::Mat result = overlay.clone();
    if (image.empty() || !QRect(0, 0, image.cols, image.rows).contains(seed))
        return result;
    cv::Mat mask = cv::Mat::zeros(image.rows + 2, image.cols + 2, CV_8UC1);
    const cv::Scalar diff(tolerance, tolerance, tolerance, 0);
    const int flags = 4 | (255 << 8) | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY;
    cv::Rect filled;
    cv::floodFill(image, mask, cv::Point(seed.x(), seed.y()), cv::Scalar(0, 0, 255), &filled, diff,
                  diff, flags);
    // Marked cells lie only inside the flood's bounding box; the mask is offset by
    // its one-cell border.
    filled &= cv::Rect(0, 0, result.cols, result.rows);
    if (!filled.empty())
        result(filled).setTo(erase ? kEraseColour : kKeepColour, mask(filled + cv::Point(1, 1)));
    return result;
}

cv::Mat QImageHelp::makeRedOverlay(const cv::Mat& cutout)
{
    if (cutout.type() != CV_8UC4)
        return {};
    constexpr quint32 shownFrom = quint32(kOverlayAlphaFrom) << 24;
    cv::Mat result(cutout.size(), CV_8UC4);
    for (int r = 0; r < cutout.rows; ++r) {
        const auto* in = cutout.ptr<quint32>(r);
        auto* out = result.ptr<quint32>(r);
        for (int c = 0; c < cutout.cols; ++c)
            out[c] = in[c] >= shownFrom ? kOverlayShown : kOverlayHidden;
    }
    return result;
}

cv::Mat QImageHelp::mergeAlpha(const cv::Mat& colour, const cv::Mat& alphaSource)
{
    if (colour.type() != CV_8UC3 || alphaSource.type() != CV_8UC4 ||
        alphaSource.rows < colour.rows || alphaSource.cols < colour.cols)
        return {};
    cv::Mat result(colour.size(), CV_8UC4);
    for (int r = 0; r < colour.rows; ++r) {
        const uchar* in = colour.ptr<uchar>(r);
        const uchar* alpha = alphaSource.ptr<uchar>(r);
        uchar* out = result.ptr<uchar>(r);
        for (int c = 0; c < colour.cols; ++c) {
            out[4 * c] = in[3 * c];
            out[4 * c + 1] = in[3 * c + 1];
            out[4 * c + 2] = in[3 * c + 2];
            out[4 * c + 3] = alpha[4 * c + 3];
        }
    }
    return result;
}

cv::Mat QImageHelp::dropAlpha(const cv::Mat& mat)
{
    if (mat.type() != CV_8UC4)
        return {};
    cv::Mat result;
    cv::cvtColor(mat, result, cv::COLOR_BGRA2BGR);
    return result;
}

cv::Mat QImageHelp::applyMask(const cv::Mat& image, const cv::Mat& base, const cv::Mat& mask)
{
    cv::Mat result = base.clone();
    const int channels = image.type() == CV_8UC3 ? 3 : image.type() == CV_8UC4 ? 4 : 0;
    if (base.type() != CV_8UC4 || mask.type() != CV_8UC4 || channels == 0)
        return result;
    const int rows = std::min({mask.rows, image.rows, base.rows});
    const int cols = std::min({mask.cols, image.cols, base.cols});
    for (int r = 0; r < rows; ++r) {
        const auto* m = mask.ptr<quint32>(r);
        const uchar* in = image.ptr<uchar>(r);
        auto* out = result.ptr<quint32>(r);
        for (int c = 0; c < cols; ++c) {
            const quint32 maskPixel = m[c];
            if (maskPixel & 0xFFu) {
                const uchar* p = in + channels * c;
                out[c] = bgra(p[0], p[1], p[2], channels == 4 ? p[3] : 255);
            } else if ((maskPixel >> 24) == 0) {
                out[c] &= 0x00FFFFFFu;
            }
        }
    }
    return result;
}

cv::Mat QImageHelp::percentImageToMat(const QImage& image)
{
    if (image.isNull() || image.depth() != 32)
        return {};
    static const cv::Mat table = percentTable();
    // Rows are taken as tightly packed, whatever bytesPerLine says.
    const cv::Mat packed(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()));
    cv::Mat result;
    cv::LUT(packed, table, result);
    return result;
}

QRect QImageHelp::contentRect(const cv::Mat& mat)
{
    if (mat.type() != CV_8UC4 || mat.empty())
        return {};
    // As a word, a pixel is subject when it exceeds threshold alpha with all colour bits set.
    constexpr quint32 limit = (quint32(kSubjectThreshold) << 24) | 0x00FFFFFFu;
    int minRow = mat.rows, minCol = mat.cols, maxRow = 0, maxCol = 0;
    for (int r = 0; r < mat.rows; ++r) {
        const auto* p = mat.ptr<quint32>(r);
        int first = 0;
        while (first < mat.cols && p[first] <= limit)
            ++first;
        if (first == mat.cols)
            continue;
        int last = mat.cols - 1;
        while (p[last] <= limit)
            --last;
        minRow = std::min(minRow, r);
        maxRow = r;
        minCol = std::min(minCol, first);
        maxCol = std::max(maxCol, last);
    }
    if (minRow == mat.rows) // no subject at all
        return QRect(0, 0, mat.cols, mat.rows);
    return QRect(minCol, minRow, maxCol - minCol, maxRow - minRow);
}

cv::CascadeClassifier QImageHelp::loadCascade(const std::string& path)
{
    cv::CascadeClassifier classifier;
    if (path.empty())
        return classifier;
    bool loaded = false;
    try {
        loaded = classifier.load(path);
    } catch (const cv::Exception&) {
        // a malformed file: reported below like a missing one
    }
    if (!loaded)
        BRISEL_LOG(1, QStringLiteral("ERROR: Could not load classifier cascade"));
    return classifier;
}
