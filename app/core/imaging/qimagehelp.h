#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <string>
#include <vector>

// The pixel toolbox: moves pictures between QImage and cv::Mat, reads and writes
// image files through Qt's file layer (so any path works), and holds the small
// per-pixel routines of the editor. Stateless; every operation is static, touches
// only its arguments and may run on any thread.
//
// Matrices are 8 bits per channel, blue-green-red(-alpha). On little-endian
// machines a CV_8UC4 pixel has the byte layout of a QImage::Format_ARGB32 pixel.
//
// Edit overlay / mask pixels (B, G, R, A): (0, 0, 255, 100) the service's cut-out,
// (10, 0, 255, 100) kept by the user, alpha 0 removed.
//
// New pictures of the conversions and editor routines live in QBufferRecycler's
// storage, so editing one photo over and over reuses the same few buffers.
class QImageHelp : public QObject
{
    Q_OBJECT

public:
    // Alpha strictly above this counts as subject.
    static constexpr int kSubjectThreshold = 50;

    // --- QImage <-> cv::Mat -----------------------------------------------------

    // Deep copy. CV_8UC1 -> Indexed8 with a grey palette, CV_8UC3 -> RGB888 in true
    // colours, CV_8UC4 -> ARGB32; any other type gives a null image.
    static QImage matToImage(const cv::Mat& mat);
    // Indexed8 -> CV_8UC1 (palette ignored); RGB32 / ARGB32 / ARGB32_Premultiplied ->
    // CV_8UC4 without copying or unpremultiplying; RGB888 -> CV_8UC3 (own copy,
    // blue-green-red); other formats give an empty matrix.
    // The shared cases keep the image's pixel buffer alive for as long as the matrix
    // (or any copy of it) lives, so passing a temporary is safe. Writing through the
    // matrix writes into that buffer, which other QImage copies may share: clone
    // before changing it.
    static cv::Mat imageToMat(QImage image);

    // --- Files and bytes --------------------------------------------------------

    // The photo at path as CV_8UC3, turned upright by its EXIF orientation; empty
    // when the file cannot be read or is not a complete PNG, JPEG, BMP, WebP or TIFF
    // of at most QImageHeader::kMaxPixels pixels.
    static cv::Mat readImageFile(const QString& path);
    // The image as stored (alpha kept, no EXIF turn), 8 bits per channel; empty on
    // the same failures as readImageFile.
    static cv::Mat decodeImageBytes(const QByteArray& bytes);

    // Encodes image (through imageToMat) by the extension (".png", ".jpg"; "png"
    // works too) with the encoder's default quality and writes it atomically.
    // Failures are silent: callers that need to know check the file afterwards.
    static void saveImageFile(const std::string& ext, const QString& path, const QImage& image);
    // As saveImageFile, resized to exactly size first (aspect ratio not kept).
    static void saveImageFileResized(const std::string& ext, const QString& path, const QSize& size,
                                     const QImage& image);

    // Encodes mat into *out by the extension; false (and *out untouched) when the
    // matrix is empty, the extension unknown or the encoder refuses it.
    static bool encodeImage(const cv::Mat& mat, const std::string& ext, std::vector<int> params,
                            QByteArray* out);
    // Writes bytes to a temporary file in path's folder and renames it over path,
    // so path holds either its old content or all of bytes, never a part. On failure
    // returns false with a readable, translated reason in *error.
    static bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

    // --- Editor routines --------------------------------------------------------

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
    // A copy of base (CV_8UC4) changed by mask (CV_8UC4) over the area the mask,
    // image and base share: mask blue != 0 takes the image pixel (alpha 255 for a
    // CV_8UC3 image), mask blue and alpha both 0 clears the alpha, anything else
    // keeps base.
    static cv::Mat applyMask(const cv::Mat& image, const cv::Mat& base, const cv::Mat& mask);
    // The 32-bit image's bytes as tightly packed pixels whose colour channels hold
    // percentages: each becomes int(value * 2.55) modulo 256, alpha is copied.
    static cv::Mat percentImageToMat(const QImage& image);
    // Box of the pixels with alpha above kSubjectThreshold, from the first subject
    // row/column to the last one, exclusive of the last (a single pixel gives a
    // 0 x 0 rectangle at it). Without any subject pixel: the whole image. A matrix
    // that is not CV_8UC4 gives a null rectangle.
    static QRect contentRect(const cv::Mat& mat);

    // A classifier loaded from path; empty (and an error logged) when it fails.
    static cv::CascadeClassifier loadCascade(const std::string& path);

    // --- Beautify (implemented in QBeautify / QFaceDetector) ---------------------

    // Each colour channel becomes saturate(round(value * 1.2 + level)).
    static cv::Mat adjustTone(const cv::Mat& colour, int level);
    // A smoothed copy of colour (CV_8UC3): around detected faces, or all of it when
    // none is found; unsmoothed when a cascade file is missing.
    static cv::Mat beautify(const cv::Mat& colour, int strength);
    // The edge-preserving smoothing formula on m in place (m may be a view).
    static void smoothRegion(cv::Mat& m, int strength);
    // Smooths every face region of image in place; true when a face was found.
    static bool beautifyFaces(cv::Mat& image, cv::CascadeClassifier& faceCascade, double scale, int strength);
    // The beautify job on a cut-out: see QBeautify::beautifyCutout. Pool thread.
    static cv::Mat beautifyCutout(const cv::Mat& source, const cv::Mat& current, int tone, int smooth);
};
