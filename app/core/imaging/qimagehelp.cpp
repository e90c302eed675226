#include "qimagehelp.h"
#include "qbeautify.h"

#include "logger.h"
#include "qbufferrecycler.h"
#include "qimageheader.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QVector>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cstring>

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
constexpr quint32 kKeepColour = bgra(10, 0, 255, 100);
constexpr quint32 kEraseColour = bgra(0, 0, 0, 0);

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

// A copy in recycled storage (see QBufferRecycler).
cv::Mat recycledCopy(const cv::Mat& mat)
{
    cv::Mat copy = QBufferRecycler::createMat(mat.rows, mat.cols, mat.type());
    mat.copyTo(copy);
    return copy;
}

// v * 2.55 in integers, since the double 2.55 is slightly low and would give 254
// for 100: v * 255 / 100 = (v * 51) / 20, and x / 20 for x up to 13005 is exactly
// (x * 52429) >> 20, a multiply and shift that fits 16-bit lanes.
constexpr unsigned kPercentFactor = 51;
constexpr unsigned kDivideBy20 = 52429;

inline uchar percentToByte(uchar v)
{
    return uchar((v * kPercentFactor * kDivideBy20) >> 20); // the low byte: values above 100 wrap
}

// Colour bytes of BGRA pixels from percentages to bytes, alpha copied; bytes is a
// multiple of 4.
void percentPixels(const uchar* in, uchar* out, size_t bytes)
{
    size_t i = 0;
#if CV_SIMD128
    const cv::v_uint16x8 factor = cv::v_setall_u16(kPercentFactor);
    const cv::v_uint16x8 divide = cv::v_setall_u16(kDivideBy20);
    const cv::v_uint16x8 lowByte = cv::v_setall_u16(0xFF);
    const cv::v_uint8x16 alpha(0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255);
    for (; i + 16 <= bytes; i += 16) {
        const cv::v_uint8x16 src = cv::v_load(in + i);
        cv::v_uint16x8 lo, hi;
        cv::v_expand(src, lo, hi);
        lo = (cv::v_mul_hi(cv::v_mul_wrap(lo, factor), divide) >> 4) & lowByte;
        hi = (cv::v_mul_hi(cv::v_mul_wrap(hi, factor), divide) >> 4) & lowByte;
        cv::v_store(out + i, cv::v_select(alpha, src, cv::v_pack(lo, hi)));
    }
#endif
    for (; i < bytes; i += 4) {
        out[i] = percentToByte(in[i]);
        out[i + 1] = percentToByte(in[i + 1]);
        out[i + 2] = percentToByte(in[i + 2]);
        out[i + 3] = in[i + 3];
    }
}

// One row of applyMask over the columns image, base and mask share.
template <int Channels>
void maskRow(const uchar* image, const quint32* base, const quint32* mask, quint32* out, int cols)
{
    for (int c = 0; c < cols; ++c) {
        const uchar* p = image + Channels * c;
        const quint32 taken = bgra(p[0], p[1], p[2], Channels == 4 ? p[3] : 255);
        const quint32 kept = (mask[c] >> 24) == 0 ? (base[c] & 0x00FFFFFFu) : base[c];
        out[c] = (mask[c] & 0xFFu) ? taken : kept;
    }
}

} // namespace

QImage QImageHelp::matToImage(const cv::Mat& mat)
{
    QImage::Format format = QImage::Format_Invalid;
    switch (mat.type()) {
    case CV_8UC1:
        format = QImage::Format_Indexed8;
        break;
    case CV_8UC3:
        format = QImage::Format_RGB888;
        break;
    case CV_8UC4:
        format = QImage::Format_ARGB32;
        break;
    default:
        return {};
    }
    if (mat.empty() || mat.dims != 2)
        return {};
    QImage image = QBufferRecycler::createImage(mat.cols, mat.rows, format);
    if (image.isNull())
        return {};
    cv::Mat target(image.height(), image.width(), mat.type(), image.bits(), size_t(image.bytesPerLine()));
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
        cv::Mat bgr = QBufferRecycler::createMat(image.height(), image.width(), CV_8UC3);
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
    if (image.empty() || overlay.type() != CV_8UC4 || !QRect(0, 0, image.cols, image.rows).contains(seed))
        return recycledCopy(overlay);
    cv::Mat mask = QBufferRecycler::createMat(image.rows + 2, image.cols + 2, CV_8UC1);
    mask.setTo(0);
    const cv::Scalar diff(tolerance, tolerance, tolerance, 0);
    const int flags = 4 | (255 << 8) | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY;
    cv::Rect filled;
    cv::floodFill(image, mask, cv::Point(seed.x(), seed.y()), cv::Scalar(0, 0, 255), &filled, diff, diff,
                  flags);
    filled &= cv::Rect(0, 0, overlay.cols, overlay.rows);

    // Copy the overlay and paint the flood in one pass; marked cells lie only inside
    // the flood's bounding box (mask cell (r + 1, c + 1) belongs to pixel (r, c)).
    // The user waits for this click, so the pass is split over OpenCV's threads.
    const quint32 paint = erase ? kEraseColour : kKeepColour;
    cv::Mat result = QBufferRecycler::createMat(overlay.rows, overlay.cols, CV_8UC4);
    cv::parallel_for_(cv::Range(0, overlay.rows), [&](const cv::Range& rows) {
        for (int r = rows.start; r < rows.end; ++r) {
            const auto* in = overlay.ptr<quint32>(r);
            auto* out = result.ptr<quint32>(r);
            const bool flooded = r >= filled.y && r < filled.y + filled.height;
            const int from = flooded ? filled.x : overlay.cols;
            const int to = flooded ? filled.x + filled.width : overlay.cols;
            const uchar* marked = mask.ptr<uchar>(r + 1) + 1;
            std::memcpy(out, in, size_t(from) * sizeof(quint32));
            for (int c = from; c < to; ++c) { // branch-free so that it vectorises
                const quint32 select = 0u - quint32(marked[c] != 0);
                out[c] = (in[c] & ~select) | (paint & select);
            }
            std::memcpy(out + to, in + to, size_t(overlay.cols - to) * sizeof(quint32));
        }
    });
    return result;
}

cv::Mat QImageHelp::makeRedOverlay(const cv::Mat& cutout)
{
    if (cutout.type() != CV_8UC4)
        return {};
    constexpr quint32 shownFrom = quint32(kOverlayAlphaFrom) << 24;
    cv::Mat result = QBufferRecycler::createMat(cutout.rows, cutout.cols, CV_8UC4);
    const int cols = cutout.cols; // a local: the writes below could alias the member
    for (int r = 0; r < cutout.rows; ++r) {
        const auto* in = cutout.ptr<quint32>(r);
        auto* out = result.ptr<quint32>(r);
        for (int c = 0; c < cols; ++c)
            out[c] = in[c] >= shownFrom ? kOverlayShown : kOverlayHidden;
    }
    return result;
}

cv::Mat QImageHelp::mergeAlpha(const cv::Mat& colour, const cv::Mat& alphaSource)
{
    if (colour.type() != CV_8UC3 || alphaSource.type() != CV_8UC4 || alphaSource.rows < colour.rows ||
        alphaSource.cols < colour.cols)
        return {};
    cv::Mat result = QBufferRecycler::createMat(colour.rows, colour.cols, CV_8UC4);
    // OpenCV's vectorised conversion spreads the colour to four bytes, then the alpha
    // bytes are replaced word by word, band by band while the band is still in cache.
    constexpr int bandRows = 32;
    const int cols = colour.cols; // a local: the writes below could alias the member
    for (int top = 0; top < colour.rows; top += bandRows) {
        const cv::Range band(top, std::min(colour.rows, top + bandRows));
        cv::Mat out = result.rowRange(band);
        cv::cvtColor(colour.rowRange(band), out, cv::COLOR_BGR2BGRA);
        for (int r = band.start; r < band.end; ++r) {
            const auto* alpha = alphaSource.ptr<quint32>(r);
            auto* merged = result.ptr<quint32>(r);
            for (int c = 0; c < cols; ++c)
                merged[c] = (merged[c] & 0x00FFFFFFu) | (alpha[c] & 0xFF000000u);
        }
    }
    return result;
}

cv::Mat QImageHelp::dropAlpha(const cv::Mat& mat)
{
    if (mat.type() != CV_8UC4)
        return {};
    cv::Mat result = QBufferRecycler::createMat(mat.rows, mat.cols, CV_8UC3);
    cv::cvtColor(mat, result, cv::COLOR_BGRA2BGR);
    return result;
}

cv::Mat QImageHelp::applyMask(const cv::Mat& image, const cv::Mat& base, const cv::Mat& mask)
{
    const int channels = image.type() == CV_8UC3 ? 3 : image.type() == CV_8UC4 ? 4 : 0;
    if (base.type() != CV_8UC4 || mask.type() != CV_8UC4 || channels == 0)
        return recycledCopy(base);
    const int rows = std::min({mask.rows, image.rows, base.rows});
    const int cols = std::min({mask.cols, image.cols, base.cols});
    // One pass: masked pixels are computed, the rest copied from base.
    cv::Mat result = QBufferRecycler::createMat(base.rows, base.cols, CV_8UC4);
    for (int r = 0; r < base.rows; ++r) {
        const auto* in = base.ptr<quint32>(r);
        auto* out = result.ptr<quint32>(r);
        const int done = r < rows ? cols : 0;
        if (channels == 3 && done > 0)
            maskRow<3>(image.ptr<uchar>(r), in, mask.ptr<quint32>(r), out, done);
        else if (done > 0)
            maskRow<4>(image.ptr<uchar>(r), in, mask.ptr<quint32>(r), out, done);
        std::memcpy(out + done, in + done, size_t(base.cols - done) * sizeof(quint32));
    }
    return result;
}

cv::Mat QImageHelp::percentImageToMat(const QImage& image)
{
    if (image.isNull() || image.depth() != 32)
        return {};
    cv::Mat result = QBufferRecycler::createMat(image.height(), image.width(), CV_8UC4);
    // Pixels taken as tightly packed, whatever bytesPerLine says.
    percentPixels(image.constBits(), result.data, result.total() * 4);
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

cv::Mat QImageHelp::adjustTone(const cv::Mat& colour, int level)
{
    return QBeautify::adjustTone(colour, level);
}

cv::Mat QImageHelp::beautify(const cv::Mat& colour, int strength)
{
    return QBeautify::beautify(colour, strength);
}

void QImageHelp::smoothRegion(cv::Mat& m, int strength)
{
    QBeautify::smoothRegion(m, strength);
}

bool QImageHelp::beautifyFaces(cv::Mat& image, cv::CascadeClassifier& faceCascade, double scale, int strength)
{
    return QBeautify::beautifyFaces(image, faceCascade, scale, strength);
}

cv::Mat QImageHelp::beautifyCutout(const cv::Mat& source, const cv::Mat& current, int tone, int smooth)
{
    return QBeautify::beautifyCutout(source, current, tone, smooth);
}
